// The version resource (VS_VERSIONINFO) with new version numbers and strings.
#pragma once

#include "bytes.h"

namespace brand {

struct VersionText {
    const char* key = nullptr;  // ASCII, as Explorer names it: "CompanyName", "FileDescription", ...
    View value;                 // UTF-16LE code units, no terminator
};

struct VersionEdit {
    bool numbers_given = false;
    uint16_t numbers[4] = {};  // major, minor, patch, build: file and product version alike
    VersionText texts[8];
    size_t text_count = 0;
};

// Writes block again with the edit applied: the numbers into the fixed file information, each
// text into every string table (replacing the string of that key, found in any case, or
// appended after the table's strings). Everything else, the string tables' languages and code
// pages included, is copied as it was.
bool rewrite_version(View block, const VersionEdit& edit, Bytes& out, Error& error);

}  // namespace brand
