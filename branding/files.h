// Whole files in and out, by UTF-8 path: the one place that knows the platform's file system.
#pragma once

#include "bytes.h"

namespace brand {

// Reads a whole file of at most limit bytes.
bool read_file(const char* path, size_t limit, Bytes& out, Error& error);

// True when both paths name one existing file, however they are written.
bool same_file(const char* a, const char* b);

// Writes bytes to a temporary file beside path and renames it over path, so that path holds
// either what it held before or all of bytes.
bool write_file(const char* path, View bytes, Error& error);

}  // namespace brand
