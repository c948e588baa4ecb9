#include "jar_manifest.h"

#include "failure.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

namespace pack {
namespace {

constexpr uint32_t end_signature = 0x06054b50;
constexpr uint32_t zip64_locator_signature = 0x07064b50;
constexpr uint32_t zip64_end_signature = 0x06064b50;
constexpr uint32_t central_signature = 0x02014b50;
constexpr uint32_t local_signature = 0x04034b50;
constexpr std::string_view manifest_name = "META-INF/MANIFEST.MF";
// A manifest is text of a few kilobytes; this bounds what a hostile size makes us allocate.
constexpr uint32_t largest_manifest = 16u << 20;

std::string_view span(std::string_view bytes, size_t at, size_t size)
{
    if (at > bytes.size() || size > bytes.size() - at)
        throw Failure("the jar is damaged: a zip record lies outside the file");
    return bytes.substr(at, size);
}

// A little-endian number of size bytes.
uint64_t field(std::string_view bytes, size_t at, size_t size)
{
    std::string_view data = span(bytes, at, size);
    uint64_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(data[i]);
    return value;
}

size_t position(uint64_t value)
{
    if (value > SIZE_MAX)
        throw Failure("the jar is damaged: a zip record lies outside the file");
    return static_cast<size_t>(value);
}

// The end of central directory record: the last one, behind which only its comment lies.
size_t end_record(std::string_view zip)
{
    constexpr size_t record_size = 22;
    if (zip.size() < record_size)
        throw Failure("the main jar is no jar (zip) file");
    size_t lowest = zip.size() - std::min<size_t>(zip.size(), record_size + 0xffff);
    for (size_t at = zip.size() - record_size + 1; at-- > lowest;)
        if (field(zip, at, 4) == end_signature && at + record_size + field(zip, at + 20, 2) == zip.size())
            return at;
    throw Failure("the main jar is no jar (zip) file");
}

std::string inflated(std::string_view data, uint32_t size)
{
    std::string out(size, '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        throw Failure("out of memory");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = size;
    int result = inflate(&stream, Z_FINISH);
    bool whole = result == Z_STREAM_END && stream.total_out == size;
    inflateEnd(&stream);
    if (!whole)
        throw Failure("the jar is damaged: its manifest does not inflate to its size");
    return out;
}

}  // namespace

std::optional<std::string> jar_manifest(std::string_view zip)
{
    size_t end = end_record(zip);
    uint64_t count = field(zip, end + 10, 2);
    uint64_t directory = field(zip, end + 16, 4);
    // A jar of more than 65535 entries or 4 GiB keeps them in a zip64 record instead, which a
    // locator right before the end record points to.
    if ((count == 0xffff || directory == 0xffffffff) && end >= 20 &&
        field(zip, end - 20, 4) == zip64_locator_signature) {
        size_t record = position(field(zip, end - 20 + 8, 8));
        if (field(zip, record, 4) != zip64_end_signature)
            throw Failure("the jar is damaged: its zip64 record is broken");
        count = field(zip, record + 32, 8);
        directory = field(zip, record + 48, 8);
    }
    size_t at = position(directory);
    for (uint64_t i = 0; i < count; ++i) {
        if (field(zip, at, 4) != central_signature)
            throw Failure("the jar is damaged: its central directory is broken");
        auto name_length = static_cast<size_t>(field(zip, at + 28, 2));
        size_t next = at + 46 + name_length + static_cast<size_t>(field(zip, at + 30, 2) + field(zip, at + 32, 2));
        if (span(zip, at + 46, name_length) != manifest_name) {
            at = next;
            continue;
        }
        uint64_t flags = field(zip, at + 8, 2);
        uint64_t method = field(zip, at + 10, 2);
        uint64_t crc = field(zip, at + 16, 4);
        size_t packed = position(field(zip, at + 20, 4));
        auto size = static_cast<uint32_t>(field(zip, at + 24, 4));
        size_t local = position(field(zip, at + 42, 4));
        if ((flags & 1) != 0 || (method != 0 && method != 8) || size > largest_manifest)
            throw Failure("the jar's manifest is encrypted, too large or compressed in a way jars are not");
        if (field(zip, local, 4) != local_signature)
            throw Failure("the jar is damaged: its manifest's entry is broken");
        size_t data = local + 30 + static_cast<size_t>(field(zip, local + 26, 2) + field(zip, local + 28, 2));
        std::string_view stored = span(zip, data, packed);
        std::string text = method == 0 ? std::string(stored) : inflated(stored, size);
        if (text.size() != size ||
            crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())) != crc)
            throw Failure("the jar is damaged: its manifest does not match its checksum");
        return text;
    }
    return std::nullopt;
}

std::optional<std::string> manifest_main_class(std::string_view manifest)
{
    // Lines end with CR LF, LF or CR; a line that begins with a blank continues the one
    // before. The main section ends at the first empty line.
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < manifest.size()) {
        size_t end = manifest.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            end = manifest.size();
        std::string_view text = manifest.substr(at, end - at);
        at = end + (manifest.substr(end).starts_with("\r\n") ? 2 : 1);
        if (text.empty())
            break;
        if (text[0] == ' ' && !lines.empty())
            lines.back().append(text.substr(1));
        else
            lines.emplace_back(text);
    }
    constexpr std::string_view key = "main-class:";
    for (const std::string& line : lines) {
        if (line.size() < key.size() ||
            !std::equal(key.begin(), key.end(), line.begin(),
                        [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
            continue;
        std::string value = line.substr(key.size());
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of(' ') + 1);
        if (value.empty())
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

}  // namespace pack
