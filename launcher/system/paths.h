// Wide strings and paths: fixed path buffers, the one growable text buffer, and the few
// path operations the launcher needs. Nothing here normalises a path.
#pragma once

#include <cstddef>

constexpr int path_capacity = 2048;        // units, terminator included
constexpr int path_max_length = path_capacity - 1;

using PathBuffer = wchar_t[path_capacity];

// A growable wide text without terminator; data is null exactly when capacity is 0.
struct WideBuffer {
    wchar_t* data;
    int length;
    int capacity;
};

bool file_exists(const wchar_t* path);
bool is_absolute_path(const wchar_t* path);
bool join_path(PathBuffer out, const wchar_t* dir, int dir_length, const wchar_t* name);
bool resolve_relative_to_exe(PathBuffer out, const wchar_t* path, const wchar_t* launcher_path);
bool replace_extension(const wchar_t* path, const wchar_t* extension, PathBuffer out);

// Never returns null: a failed allocation ends the launcher with "Out of memory".
void* checked_realloc(void* block, size_t size);

// Bytes for count wide characters; a count whose size cannot be represented is "Out of memory".
size_t checked_wide_size(size_t count);

void wide_buffer_init(WideBuffer* buffer);
void wide_buffer_release(WideBuffer* buffer);
void wide_buffer_append(WideBuffer* buffer, int count, const wchar_t* text);
void wide_buffer_append_char(WideBuffer* buffer, wchar_t c);
wchar_t* wide_buffer_copy(const WideBuffer* buffer);
wchar_t* wide_buffer_take(WideBuffer* buffer);
