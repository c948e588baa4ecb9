#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <wchar.h>

#include "text.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace brand {
namespace {

constexpr char temporary_suffix[] = ".brand-tmp";

bool temporary_name(const char* path, Bytes& name)
{
    return name.append(path, std::strlen(path)) && name.append(temporary_suffix, sizeof temporary_suffix);
}

#ifdef _WIN32
// A UTF-8 path as the C runtime's wide functions take it.
bool wide_path(const char* path, Bytes& wide)
{
    return utf8_to_utf16(path, wide) == Converted::ok && wide.append_u16(0);
}

const wchar_t* as_wide(const Bytes& wide)
{
    return reinterpret_cast<const wchar_t*>(wide.data());
}

FILE* open_file(const char* path, const wchar_t* mode)
{
    Bytes wide;
    if (!wide_path(path, wide)) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(as_wide(wide), mode);
}

// The C runtime's rename does not replace a file; removing the old one first leaves no
// half-written file either, only, for a moment, none.
int replace_file(const char* from, const char* to)
{
    Bytes wide_from;
    Bytes wide_to;
    if (!wide_path(from, wide_from) || !wide_path(to, wide_to)) {
        errno = EINVAL;
        return -1;
    }
    if (_wremove(as_wide(wide_to)) != 0 && errno != ENOENT)
        return -1;
    return _wrename(as_wide(wide_from), as_wide(wide_to));
}

int remove_file(const char* path)
{
    Bytes wide;
    return wide_path(path, wide) ? _wremove(as_wide(wide)) : -1;
}

bool flush_to_disk(FILE* file)
{
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}
#else
FILE* open_file(const char* path, const char* mode)
{
    return std::fopen(path, mode);
}

int replace_file(const char* from, const char* to)
{
    return std::rename(from, to);
}

int remove_file(const char* path)
{
    return std::remove(path);
}

bool flush_to_disk(FILE* file)
{
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}
#endif

#ifdef _WIN32
constexpr const wchar_t* read_mode = L"rb";
constexpr const wchar_t* write_mode = L"wb";
#else
constexpr const char* read_mode = "rb";
constexpr const char* write_mode = "wb";
#endif

struct FileCloser {
    FILE* file;
    ~FileCloser()
    {
        if (file != nullptr)
            std::fclose(file);
    }
};

}  // namespace

bool read_file(const char* path, size_t limit, Bytes& out, Error& error)
{
    out.truncate(0);
    FileCloser guard{open_file(path, read_mode)};
    if (guard.file == nullptr)
        return fail(error, "cannot read it: %s", std::strerror(errno));
    uint8_t chunk[65536];
    while (true) {
        size_t got = std::fread(chunk, 1, sizeof chunk, guard.file);
        if (got > limit - out.size())
            return fail(error, "the file is too large");
        if (!out.append(chunk, got))
            return out_of_memory(error);
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(guard.file))
        return fail(error, "cannot read it: %s", std::strerror(errno));
    return true;
}

bool same_file(const char* a, const char* b)
{
#ifdef _WIN32
    Bytes wide_a;
    Bytes wide_b;
    if (!wide_path(a, wide_a) || !wide_path(b, wide_b))
        return false;
    wchar_t* full_a = _wfullpath(nullptr, as_wide(wide_a), 0);
    wchar_t* full_b = _wfullpath(nullptr, as_wide(wide_b), 0);
    bool same = full_a != nullptr && full_b != nullptr && _wcsicmp(full_a, full_b) == 0;
    std::free(full_a);
    std::free(full_b);
    return same;
#else
    struct stat first;
    struct stat second;
    return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
#endif
}

bool write_file(const char* path, View bytes, Error& error)
{
    Bytes temporary;
    if (!temporary_name(path, temporary))
        return out_of_memory(error);
    const char* name = reinterpret_cast<const char*>(temporary.data());
    bool written = false;
    {
        FileCloser guard{open_file(name, write_mode)};
        if (guard.file == nullptr)
            return fail(error, "cannot write it: %s", std::strerror(errno));
        written = std::fwrite(bytes.data, 1, bytes.size, guard.file) == bytes.size && flush_to_disk(guard.file);
        int closed = std::fclose(guard.file);
        guard.file = nullptr;
        written = written && closed == 0;
    }
    if (!written || replace_file(name, path) != 0) {
        int cause = errno;
        remove_file(name);
        return fail(error, "cannot write it: %s", std::strerror(cause));
    }
    return true;
}

}  // namespace brand
