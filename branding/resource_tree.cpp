#include "resource_tree.h"

#include "text.h"

#include <algorithm>

namespace brand {
namespace {

constexpr uint32_t high_bit = 0x80000000u;
constexpr size_t directory_header = 16;
constexpr size_t directory_entry = 8;
constexpr size_t data_entry = 16;

struct Walk {
    View section;
    uint32_t section_rva;
    // Entries that may still be visited: a tree whose entries share subdirectories could
    // otherwise name far more resources than its section holds.
    size_t entries_left;
    List<Resource>& resources;
    Error& error;
};

bool damaged(Error& error)
{
    return fail(error, "damaged resource directory");
}

bool read_key(Walk& walk, uint32_t raw, ResourceKey& key)
{
    key = {};
    if ((raw & high_bit) == 0) {
        key.id = raw;
        return true;
    }
    Reader reader{walk.section};
    size_t at = raw & ~high_bit;
    key.length = reader.u16(at);
    key.name = reader.bytes(at + 2, 2 * static_cast<size_t>(key.length)).data;
    if (!reader.ok || key.length == 0)
        return damaged(walk.error);
    return true;
}

// Level 0 lists types, level 1 names, level 2 languages, whose entries lead to the data.
bool walk_directory(Walk& walk, size_t at, int level, Resource& path)
{
    Reader reader{walk.section};
    size_t count = static_cast<size_t>(reader.u16(at + 12)) + reader.u16(at + 14);
    if (!reader.ok || count > walk.entries_left)
        return damaged(walk.error);
    walk.entries_left -= count;

    for (size_t i = 0; i < count; ++i) {
        size_t entry = at + directory_header + directory_entry * i;
        uint32_t raw_key = reader.u32(entry);
        uint32_t target = reader.u32(entry + 4);
        if (!reader.ok)
            return damaged(walk.error);
        ResourceKey key;
        if (!read_key(walk, raw_key, key))
            return false;
        bool subdirectory = (target & high_bit) != 0;
        if (subdirectory != (level < 2))
            return damaged(walk.error);
        if (level == 0) {
            path.type = key;
        } else if (level == 1) {
            path.name = key;
        } else {
            if (key.name != nullptr)
                return damaged(walk.error);
            path.language = key.id;
        }
        if (subdirectory) {
            if (!walk_directory(walk, target & ~high_bit, level + 1, path))
                return false;
            continue;
        }
        uint32_t rva = reader.u32(target);
        uint32_t size = reader.u32(target + 4);
        path.code_page = reader.u32(target + 8);
        if (!reader.ok)
            return damaged(walk.error);
        path.data = {};
        if (size != 0) {
            path.data = sub_view(walk.section, static_cast<size_t>(rva) - walk.section_rva, size);
            if (rva < walk.section_rva || path.data.data == nullptr)
                return fail(walk.error, "damaged resource directory: resource data outside the resource section");
        }
        if (!walk.resources.push(path))
            return out_of_memory(walk.error);
    }
    return true;
}

// Named keys first, in the order of their code units (Windows upper-cases a name it looks
// for and searches the names as they are stored, which compilers store upper-cased), then
// numbers ascending.
int compare_keys(const ResourceKey& a, const ResourceKey& b)
{
    if ((a.name == nullptr) != (b.name == nullptr))
        return a.name != nullptr ? -1 : 1;
    if (a.name == nullptr)
        return a.id < b.id ? -1 : a.id > b.id ? 1 : 0;
    size_t common = std::min(a.length, b.length);
    for (size_t i = 0; i < common; ++i) {
        uint16_t x = load_u16(a.name + 2 * i);
        uint16_t y = load_u16(b.name + 2 * i);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
}

int compare_resources(const Resource& a, const Resource& b)
{
    if (int c = compare_keys(a.type, b.type))
        return c;
    if (int c = compare_keys(a.name, b.name))
        return c;
    return a.language < b.language ? -1 : a.language > b.language ? 1 : 0;
}

size_t string_size(const ResourceKey& key)
{
    return key.name == nullptr ? 0 : 2 + 2 * static_cast<size_t>(key.length);
}

// Writes a directory header; false when a count does not fit its field.
bool write_header(uint8_t* at, size_t named, size_t numbered, Error& error)
{
    if (named > UINT16_MAX || numbered > UINT16_MAX)
        return fail(error, "too many resources in one directory");
    store_u16(at + 12, static_cast<uint16_t>(named));
    store_u16(at + 14, static_cast<uint16_t>(numbered));
    return true;
}

// Writes one entry whose key is a number or a string appended to section.
bool write_entry(Bytes& section, size_t entry, const ResourceKey& key, uint32_t target, Error& error)
{
    uint32_t raw_key = key.id;
    if (key.name != nullptr) {
        raw_key = high_bit | static_cast<uint32_t>(section.size());
        if (!section.append_u16(key.length) || !section.append(key.name, 2 * static_cast<size_t>(key.length)))
            return out_of_memory(error);
    }
    store_u32(section.data() + entry, raw_key);
    store_u32(section.data() + entry + 4, target);
    return true;
}

}  // namespace

ResourceKey id_key(uint32_t id)
{
    ResourceKey key;
    key.id = id;
    return key;
}

bool is_id(const ResourceKey& key, uint32_t id)
{
    return key.name == nullptr && key.id == id;
}

bool is_name(const ResourceKey& key, const char* name)
{
    return key.name != nullptr && equals_ascii(key.name, key.length, name);
}

bool parse_resources(View section, uint32_t section_rva, List<Resource>& resources, Error& error)
{
    Walk walk{section, section_rva, section.size / directory_entry, resources, error};
    Resource path;
    return walk_directory(walk, 0, 0, path);
}

bool build_resources(List<Resource>& resources, uint32_t section_rva, Bytes& section, Error& error)
{
    std::sort(resources.begin(), resources.end(),
              [](const Resource& a, const Resource& b) { return compare_resources(a, b) < 0; });
    size_t count = resources.size();
    for (size_t i = 1; i < count; ++i)
        if (compare_resources(resources[i - 1], resources[i]) == 0)
            return fail(error, "damaged resource directory: two resources of one type, name and language");

    // Sizes first, so every offset is known before anything is written.
    size_t types = 0;
    size_t names = 0;
    size_t strings = 0;
    for (size_t i = 0; i < count; ++i) {
        bool new_type = i == 0 || compare_keys(resources[i - 1].type, resources[i].type) != 0;
        if (new_type) {
            ++types;
            strings += string_size(resources[i].type);
        }
        if (new_type || compare_keys(resources[i - 1].name, resources[i].name) != 0) {
            ++names;
            strings += string_size(resources[i].name);
        }
    }
    size_t root_size = directory_header + directory_entry * types;
    size_t tables_end = root_size + directory_header * (types + names) + directory_entry * (names + count);
    size_t data_entries = (tables_end + strings + 3) & ~static_cast<size_t>(3);

    section.truncate(0);
    if (!section.append_zeros(tables_end))
        return out_of_memory(error);
    // Each type's table is followed by the language tables of its names.
    size_t next_table = root_size;
    size_t named_types = 0;
    for (size_t first = 0, type_index = 0; first < count; ++type_index) {
        size_t last = first;
        size_t name_count = 0;
        size_t named_names = 0;
        for (; last < count && compare_keys(resources[last].type, resources[first].type) == 0; ++last) {
            if (last == first || compare_keys(resources[last - 1].name, resources[last].name) != 0) {
                ++name_count;
                named_names += resources[last].name.name != nullptr;
            }
        }
        named_types += resources[first].type.name != nullptr;
        size_t type_table = next_table;
        next_table += directory_header + directory_entry * name_count;
        if (!write_entry(section, directory_header + directory_entry * type_index, resources[first].type,
                         high_bit | static_cast<uint32_t>(type_table), error) ||
            !write_header(section.data() + type_table, named_names, name_count - named_names, error))
            return false;

        for (size_t group = first, name_index = 0; group < last; ++name_index) {
            size_t end = group;
            while (end < last && compare_keys(resources[end].name, resources[group].name) == 0)
                ++end;
            size_t name_table = next_table;
            next_table += directory_header + directory_entry * (end - group);
            if (!write_entry(section, type_table + directory_header + directory_entry * name_index,
                             resources[group].name, high_bit | static_cast<uint32_t>(name_table), error) ||
                !write_header(section.data() + name_table, 0, end - group, error))
                return false;
            for (size_t i = group; i < end; ++i) {
                uint8_t* entry = section.data() + name_table + directory_header + directory_entry * (i - group);
                store_u32(entry, resources[i].language);
                store_u32(entry + 4, static_cast<uint32_t>(data_entries + data_entry * i));
            }
            group = end;
        }
        first = last;
    }
    if (!write_header(section.data(), named_types, types - named_types, error))
        return false;

    if (!section.align(4) || !section.append_zeros(data_entry * count))
        return out_of_memory(error);
    for (size_t i = 0; i < count; ++i) {
        if (!section.align(8))
            return out_of_memory(error);
        uint8_t* entry = section.data() + data_entries + data_entry * i;
        uint64_t rva = static_cast<uint64_t>(section_rva) + section.size();
        if (rva > UINT32_MAX)
            return fail(error, "the resources are too large");
        store_u32(entry, static_cast<uint32_t>(rva));
        store_u32(entry + 4, static_cast<uint32_t>(resources[i].data.size));
        store_u32(entry + 8, resources[i].code_page);
        if (!section.append(resources[i].data))
            return out_of_memory(error);
    }
    // The linker ends the section on a four-byte boundary, whatever the last data's length.
    if (!section.align(4))
        return out_of_memory(error);
    if (section.size() > 0x7fffffff || static_cast<uint64_t>(section_rva) + section.size() > UINT32_MAX)
        return fail(error, "the resources are too large");
    return true;
}

}  // namespace brand
