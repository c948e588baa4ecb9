// A launcher branded: its icon group APPICON and its version resource replaced, nothing else
// changed.
#pragma once

#include "bytes.h"
#include "ico_file.h"
#include "version_block.h"

namespace brand {

struct Branding {
    const List<IconImage>* icon = nullptr;  // nullptr: the launcher keeps its icon
    VersionEdit version;
};

// Writes the branded copy of the PE file input to output. Pure: the same input gives the same
// bytes.
bool brand_file(View input, const Branding& branding, Bytes& output, Error& error);

}  // namespace brand
