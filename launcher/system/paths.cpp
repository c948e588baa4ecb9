#include "system/paths.h"

#include "system/diagnostics.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace {

// Copies at most path_max_length characters of text and terminates; longer text is cut.
void copy_path_cut(PathBuffer out, const wchar_t* text)
{
    wcsncpy(out, text, path_max_length);
    out[path_max_length] = L'\0';
}

} // namespace

bool file_exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool is_absolute_path(const wchar_t* path)
{
    size_t length = wcslen(path);
    if (length >= 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\')
        return true;
    return length >= 4 && path[0] == L'\\' && path[1] == L'\\' && iswalpha(path[2]);
}

bool join_path(PathBuffer out, const wchar_t* dir, int dir_length, const wchar_t* name)
{
    size_t name_length = wcslen(name);
    // One unit stays reserved for the separator whether or not it is written.
    if (dir_length < 0 || static_cast<size_t>(dir_length) + name_length + 1 > path_max_length)
        return false;
    wcsncpy(out, dir, static_cast<size_t>(dir_length));
    size_t at = static_cast<size_t>(dir_length);
    if (dir_length > 0 && name_length > 0 && dir[dir_length - 1] != L'\\' && name[0] != L'\\')
        out[at++] = L'\\';
    wmemcpy(out + at, name, name_length + 1);
    return true;
}

bool resolve_relative_to_exe(PathBuffer out, const wchar_t* path, const wchar_t* launcher_path)
{
    if (is_absolute_path(path)) {
        copy_path_cut(out, path);
        return true;
    }
    copy_path_cut(out, launcher_path);
    wchar_t* separator = wcsrchr(out, L'\\');
    if (separator == nullptr)
        return false;
    size_t at = static_cast<size_t>(separator - out) + 1;
    size_t length = wcslen(path);
    if (length > path_max_length - at)
        return false;
    wmemcpy(out + at, path, length + 1);
    return true;
}

bool replace_extension(const wchar_t* path, const wchar_t* extension, PathBuffer out)
{
    copy_path_cut(out, path);
    size_t at = wcslen(out);
    const wchar_t* dot = wcsrchr(out, L'.');
    const wchar_t* separator = wcsrchr(out, L'\\');
    if (dot != nullptr && (separator == nullptr || separator < dot))
        at = static_cast<size_t>(dot - out);
    size_t length = wcslen(extension);
    if (length > path_max_length - at)
        return false;
    wmemcpy(out + at, extension, length + 1);
    return true;
}

void* checked_realloc(void* block, size_t size)
{
    void* result = block == nullptr ? malloc(size == 0 ? 1 : size) : realloc(block, size == 0 ? 1 : size);
    if (result == nullptr)
        fatal_error(L"Out of memory");
    return result;
}

size_t checked_wide_size(size_t count)
{
    if (count > SIZE_MAX / sizeof(wchar_t))
        fatal_error(L"Out of memory");
    return count * sizeof(wchar_t);
}

void wide_buffer_init(WideBuffer* buffer)
{
    buffer->data = nullptr;
    buffer->length = 0;
    buffer->capacity = 0;
}

void wide_buffer_release(WideBuffer* buffer)
{
    free(buffer->data);
    wide_buffer_init(buffer);
}

void wide_buffer_append(WideBuffer* buffer, int count, const wchar_t* text)
{
    if (count <= 0)
        return;
    if (count > INT_MAX - buffer->length)
        fatal_error(L"Out of memory");
    int need = buffer->length + count;
    if (need > buffer->capacity) {
        int64_t grown = 2 * static_cast<int64_t>(buffer->capacity < 128 ? 128 : buffer->capacity);
        if (grown > INT_MAX)
            grown = INT_MAX;
        int capacity = need > grown ? need : static_cast<int>(grown);
        buffer->data = static_cast<wchar_t*>(
            checked_realloc(buffer->data, checked_wide_size(static_cast<size_t>(capacity))));
        buffer->capacity = capacity;
    }
    wmemcpy(buffer->data + buffer->length, text, static_cast<size_t>(count));
    buffer->length = need;
}

void wide_buffer_append_char(WideBuffer* buffer, wchar_t c)
{
    wide_buffer_append(buffer, 1, &c);
}

wchar_t* wide_buffer_copy(const WideBuffer* buffer)
{
    size_t length = static_cast<size_t>(buffer->length);
    auto* copy = static_cast<wchar_t*>(checked_realloc(nullptr, checked_wide_size(length + 1)));
    if (length > 0)
        wmemcpy(copy, buffer->data, length);
    copy[length] = L'\0';
    return copy;
}

wchar_t* wide_buffer_take(WideBuffer* buffer)
{
    wchar_t* text = wide_buffer_copy(buffer);
    wide_buffer_release(buffer);
    return text;
}
