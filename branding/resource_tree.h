// A PE file's resource tree (type, name, language) as a flat list of resources, and the
// resource section built again from such a list.
#pragma once

#include "bytes.h"

namespace brand {

constexpr uint32_t rt_icon = 3;
constexpr uint32_t rt_group_icon = 14;
constexpr uint32_t rt_version = 16;

// A name or type: a number, or a string of UTF-16LE code units (stored unaligned, no terminator).
struct ResourceKey {
    const uint8_t* name = nullptr;  // nullptr: the key is id
    uint16_t length = 0;
    uint32_t id = 0;
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint32_t language = 0;
    uint32_t code_page = 0;
    View data;
};

ResourceKey id_key(uint32_t id);
bool is_id(const ResourceKey& key, uint32_t id);
// A string key that reads name (ASCII) in either case, as Windows finds names.
bool is_name(const ResourceKey& key, const char* name);

// Reads the tree that starts at the beginning of section, whose first byte has the address
// section_rva. Every resource's data must lie inside the section.
bool parse_resources(View section, uint32_t section_rva, List<Resource>& resources, Error& error);

// Sorts the resources and writes the section placed at section_rva: the directory tables (at
// each level named entries first, by name, then numbers ascending), the names, the data entries,
// then each resource's data, aligned to 8 bytes. Refuses two resources of one type, name and
// language.
bool build_resources(List<Resource>& resources, uint32_t section_rva, Bytes& section, Error& error);

}  // namespace brand
