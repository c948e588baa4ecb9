#include "in_process/hand_over.h"

#include "system/diagnostics.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

constexpr uint32_t message_tag = 0x3176686Bu;  // "khv1"
constexpr size_t header_size = 8;

void put(unsigned char* out, size_t at, const void* value, size_t size)
{
    if (out != nullptr)
        memcpy(out + at, value, size);
}

} // namespace

bool valid_instance_method(const wchar_t* text)
{
    // Every part between dots is an identifier, and there are at least two: a class and its method.
    int parts = 0;
    bool first = true;
    for (const wchar_t* p = text;; ++p) {
        if (*p == L'.' || *p == L'\0') {
            if (first)
                return false;
            ++parts;
            if (*p == L'\0')
                return parts >= 2;
            first = true;
        } else if (*p != L'_' && *p != L'$' && !iswctype(*p, first ? _ALPHA : _ALPHA | _DIGIT)) {
            return false;
        } else {
            first = false;
        }
    }
}

size_t sid_size(const void* sid)
{
    return 8 + 4 * static_cast<size_t>(static_cast<const unsigned char*>(sid)[1]);
}

void instance_pipe_name(wchar_t* out, unsigned long session, const wchar_t* launcher_path, const void* user_sid)
{
    // FNV-1a over the path's units, then the SID's bytes.
    uint64_t hash = 0xCBF29CE484222325u;
    for (const wchar_t* p = launcher_path; *p != L'\0'; ++p)
        hash = (hash ^ static_cast<uint16_t>(*p >= L'a' && *p <= L'z' ? *p - 32 : *p)) * 0x100000001B3u;
    auto* bytes = static_cast<const unsigned char*>(user_sid);
    for (size_t i = 0; i < sid_size(user_sid); ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3u;
    format_fitting(out, pipe_name_capacity, L"\\\\.\\pipe\\kelvo-%lu-%08lx%08lx", session,
                   static_cast<unsigned long>(hash >> 32), static_cast<unsigned long>(hash));
}

size_t pipe_security(unsigned char* out, const void* user_sid)
{
    // Revision 1, control: self-relative, DACL present and protected from inheritance, the DACL
    // at 20; then the ACL (revision 2, two entries) and its entries, each allowing all access.
    static constexpr unsigned char head[28] = {1, 0, 4, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,
                                               2, 0, 0, 0, 2, 0, 0, 0};
    static constexpr unsigned char local_system[12] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    memcpy(out, head, sizeof head);
    size_t at = sizeof head;
    const void* sids[] = {user_sid, local_system};
    for (const void* sid : sids) {
        size_t size = sid_size(sid);
        const unsigned char entry[8] = {0, 0, static_cast<unsigned char>(8 + size), 0, 0xFF, 0x01, 0x1F, 0};
        memcpy(out + at, entry, 8);
        memcpy(out + at + 8, sid, size);
        at += 8 + size;
    }
    out[22] = static_cast<unsigned char>(at - 20);
    return at;
}

size_t write_hand_over(unsigned char* out, const wchar_t* folder, const wchar_t* const* arguments, int count)
{
    const uint32_t header[2] = {message_tag, static_cast<uint32_t>(count) + 1};
    put(out, 0, header, header_size);
    size_t at = header_size;
    for (int i = -1; i < count; ++i) {
        const wchar_t* text = i < 0 ? folder : arguments[i];
        size_t size = (wcslen(text) + 1) * sizeof(wchar_t);
        put(out, at, text, size);
        at += size;
    }
    return at;
}

int read_hand_over(const unsigned char* bytes, size_t size, MessageText* texts)
{
    uint32_t header[2];
    if (size < header_size || size > hand_over_limit || size % 2 != 0)
        return -1;
    memcpy(header, bytes, header_size);
    const auto* unit = reinterpret_cast<const wchar_t*>(bytes + header_size);
    const wchar_t* end = unit + (size - header_size) / 2;
    uint32_t count = 0;
    for (const wchar_t* text = unit; unit < end; ++unit) {
        if (*unit == L'\0') {
            texts[count++] = {text, static_cast<int>(unit - text)};
            text = unit + 1;
        }
    }
    // Every text ends with its null unit, and there are as many as the header says.
    bool whole = size > header_size && end[-1] == L'\0';
    return header[0] == message_tag && whole && count == header[1] ? static_cast<int>(count) : -1;
}
