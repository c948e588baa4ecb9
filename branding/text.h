// Text conversions between the command line (UTF-8) and resources (UTF-16LE).
#pragma once

#include "bytes.h"

namespace brand {

enum class Converted { ok, invalid, out_of_memory };
// Appends text as UTF-16LE code units. Unless ok, out is left as it was.
Converted utf8_to_utf16(const char* text, Bytes& out);
// Appends UTF-16 code units as UTF-8 and a terminating zero. Unless ok, out is left as it was.
Converted utf16_to_utf8(const uint16_t* units, size_t count, Bytes& out);

// True when count UTF-16LE code units (unaligned) read ascii, ASCII letters in either case.
bool equals_ascii(const uint8_t* units, size_t count, const char* ascii);

}  // namespace brand
