// The headers of a PE file (PE32 or PE32+): where its resource section lies, and the file
// written again with another resource section.
#pragma once

#include "bytes.h"

namespace brand {

struct Section {
    uint8_t name[8];
    uint32_t virtual_size;
    uint32_t virtual_address;
    uint32_t raw_size;
    uint32_t raw_offset;
    uint32_t characteristics;
};

struct PeFile {
    View file;
    size_t optional_at = 0;      // the optional header
    size_t directories_at = 0;   // the data directories inside it
    uint32_t directory_count = 0;
    size_t sections_at = 0;      // the section table
    uint32_t section_alignment = 0;
    uint32_t file_alignment = 0;
    List<Section> sections;
    size_t resource_index = 0;   // the section that the resource directory opens
};

// Reads the headers and finds the resource section. Refuses what this program cannot edit
// safely: a file that is no PE file or is damaged, one without resources, a signed one, and one
// whose resource section is followed by anything but the base relocations.
bool read_pe(View file, PeFile& pe, Error& error);

// The resource section's bytes as loaded (at most its virtual size).
View resource_section(const PeFile& pe);

// Writes the file with resources (built for the resource section's address) in place of its
// resource section: the sections after it moved, the headers (section table, image and data
// sizes, data directories, checksum) fixed, anything after the last section kept.
bool replace_resources(const PeFile& pe, View resources, Bytes& out, Error& error);

// The PE checksum of a file, whose own checksum field lies at checksum_at.
uint32_t pe_checksum(View file, size_t checksum_at);

}  // namespace brand
