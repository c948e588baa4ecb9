#include "pe_file.h"

#include <cstring>

namespace brand {
namespace {

constexpr uint16_t pe32_magic = 0x10b;
constexpr uint16_t pe32_plus_magic = 0x20b;
constexpr uint32_t directory_resources = 2;
constexpr uint32_t directory_security = 4;
constexpr uint32_t directory_relocations = 5;
constexpr uint32_t initialized_data = 0x40;
constexpr size_t section_header = 40;

// Offsets inside the optional header, the same in PE32 and PE32+ up to the checksum.
constexpr size_t size_of_initialized_data = 8;
constexpr size_t section_alignment_at = 32;
constexpr size_t file_alignment_at = 36;
constexpr size_t size_of_image = 56;
constexpr size_t checksum_at = 64;

struct SectionName {
    char text[9];
};

// The name as the section table holds it, printable for a message.
SectionName printable(const Section& section)
{
    SectionName name{};
    for (size_t i = 0; i < 8 && section.name[i] != 0; ++i)
        name.text[i] = section.name[i] >= 0x20 && section.name[i] < 0x7f ? static_cast<char>(section.name[i]) : '?';
    return name;
}

bool power_of_two(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

Directory directory(const PeFile& pe, uint32_t index)
{
    if (index >= pe.directory_count)
        return {};
    const uint8_t* at = pe.file.data + pe.directories_at + 8 * static_cast<size_t>(index);
    return {load_u32(at), load_u32(at + 4)};
}

uint32_t loaded_size(const Section& section)
{
    return section.virtual_size != 0 ? section.virtual_size : section.raw_size;
}

bool damaged(Error& error)
{
    return fail(error, "damaged PE file headers");
}

// The sections after the resource section move to other addresses. Only the base relocation
// table may: nothing but its data directory refers to it, and that directory is fixed.
bool check_following_sections(const PeFile& pe, Error& error)
{
    const Section& resources = pe.sections[pe.resource_index];
    uint32_t raw_end = resources.raw_offset + resources.raw_size;
    Directory relocations = directory(pe, directory_relocations);
    for (size_t i = 0; i < pe.sections.size(); ++i) {
        const Section& section = pe.sections[i];
        if (i < pe.resource_index) {
            if (section.raw_size != 0 && section.raw_offset + section.raw_size > resources.raw_offset)
                return fail(error, "section %s lies after the resource section in the file", printable(section).text);
            continue;
        }
        if (i == pe.resource_index)
            continue;
        bool only_relocations = relocations.size != 0 && relocations.rva == section.virtual_address &&
                                relocations.size >= loaded_size(section);
        if (!only_relocations)
            return fail(error, "section %s follows the resource section and cannot be moved", printable(section).text);
        if (section.virtual_address < resources.virtual_address + loaded_size(resources) ||
            (section.raw_size != 0 && section.raw_offset < raw_end))
            return damaged(error);
    }
    for (uint32_t index = 0; index < pe.directory_count; ++index) {
        Directory entry = directory(pe, index);
        bool moved = index != directory_security && index != directory_resources && entry.size != 0 &&
                     entry.rva >= resources.virtual_address;
        bool in_following_section = entry.rva - resources.virtual_address >= loaded_size(resources);
        if (moved && (index != directory_relocations || !in_following_section))
            return fail(error, "data directory %u points into or after the resource section", index);
    }
    return true;
}

}  // namespace

bool read_pe(View file, PeFile& pe, Error& error)
{
    pe.file = file;
    Reader reader{file};
    size_t header_at = reader.u32(0x3c);
    if (reader.u16(0) != 0x5a4d || reader.u32(header_at) != 0x00004550 || !reader.ok)
        return fail(error, "not a Windows executable (PE) file");
    size_t coff_at = header_at + 4;  // the COFF file header, after "PE\0\0"
    uint16_t section_count = reader.u16(coff_at + 2);
    uint32_t symbol_table = reader.u32(coff_at + 8);
    size_t optional_size = reader.u16(coff_at + 16);
    pe.optional_at = coff_at + 20;
    uint16_t magic = reader.u16(pe.optional_at);
    size_t count_at = magic == pe32_plus_magic ? 108 : 92;
    if (!reader.ok || (magic != pe32_magic && magic != pe32_plus_magic) || optional_size < count_at + 4 ||
        !within(file.size, pe.optional_at, optional_size))
        return damaged(error);
    pe.section_alignment = reader.u32(pe.optional_at + section_alignment_at);
    pe.file_alignment = reader.u32(pe.optional_at + file_alignment_at);
    pe.directories_at = pe.optional_at + count_at + 4;
    uint32_t declared = reader.u32(pe.optional_at + count_at);
    size_t room = (optional_size - (count_at + 4)) / 8;
    pe.directory_count = declared < room ? declared : static_cast<uint32_t>(room);
    pe.sections_at = pe.optional_at + optional_size;
    if (!power_of_two(pe.section_alignment) || !power_of_two(pe.file_alignment) ||
        !within(file.size, pe.sections_at, section_header * section_count))
        return damaged(error);

    for (size_t i = 0; i < section_count; ++i) {
        size_t at = pe.sections_at + section_header * i;
        Section section;
        std::memcpy(section.name, file.data + at, 8);
        section.virtual_size = reader.u32(at + 8);
        section.virtual_address = reader.u32(at + 12);
        section.raw_size = reader.u32(at + 16);
        section.raw_offset = reader.u32(at + 20);
        section.characteristics = reader.u32(at + 36);
        if (section.raw_size != 0 && !within(file.size, section.raw_offset, section.raw_size))
            return fail(error, "damaged PE file: section %s ends beyond the end of the file", printable(section).text);
        if (!pe.sections.push(section))
            return out_of_memory(error);
    }

    if (directory(pe, directory_security).size != 0)
        return fail(error, "the file is signed, and branding would break its signature: brand the unsigned launcher, "
                           "then sign");
    Directory resources = directory(pe, directory_resources);
    if (resources.rva == 0 || resources.size == 0)
        return fail(error, "the file has no resource section");
    pe.resource_index = pe.sections.size();
    for (size_t i = 0; i < pe.sections.size(); ++i) {
        const Section& section = pe.sections[i];
        if (resources.rva >= section.virtual_address && resources.rva - section.virtual_address < loaded_size(section))
            pe.resource_index = i;
    }
    if (pe.resource_index == pe.sections.size())
        return fail(error, "the file has no resource section");
    const Section& section = pe.sections[pe.resource_index];
    if (section.virtual_address != resources.rva || section.raw_size == 0)
        return fail(error, "the resources share their section with other data");
    if (section.raw_offset % pe.file_alignment != 0 || section.raw_size % pe.file_alignment != 0)
        return damaged(error);
    if (symbol_table != 0 && symbol_table >= section.raw_offset)
        return fail(error, "a symbol table follows the resources: strip the file first");
    return check_following_sections(pe, error);
}

View resource_section(const PeFile& pe)
{
    const Section& section = pe.sections[pe.resource_index];
    uint32_t size = loaded_size(section) < section.raw_size ? loaded_size(section) : section.raw_size;
    return sub_view(pe.file, section.raw_offset, size);
}

bool replace_resources(const PeFile& pe, View resources, Bytes& out, Error& error)
{
    const Section& old = pe.sections[pe.resource_index];
    uint32_t new_raw_size = 0;
    uint32_t old_extent = 0;
    uint32_t new_extent = 0;
    if (!align_up(resources.size, pe.file_alignment, new_raw_size) ||
        !align_up(loaded_size(old), pe.section_alignment, old_extent) ||
        !align_up(resources.size, pe.section_alignment, new_extent))
        return fail(error, "the resources are too large");
    int64_t raw_shift = static_cast<int64_t>(new_raw_size) - old.raw_size;
    int64_t address_shift = static_cast<int64_t>(new_extent) - old_extent;
    size_t old_raw_end = static_cast<size_t>(old.raw_offset) + old.raw_size;
    if (static_cast<int64_t>(pe.file.size) + raw_shift > UINT32_MAX)
        return fail(error, "the branded file would be too large");

    out.truncate(0);
    if (!out.reserve(static_cast<size_t>(static_cast<int64_t>(pe.file.size) + raw_shift)) ||
        !out.append(pe.file.data, old.raw_offset) || !out.append(resources) ||
        !out.append_zeros(new_raw_size - resources.size) ||
        !out.append(pe.file.data + old_raw_end, pe.file.size - old_raw_end))
        return out_of_memory(error);

    uint8_t* headers = out.data();
    // Every shifted field below held a value inside a file or image under 4 GiB whose new size
    // was checked above, so each stays within 32 bits.
    auto shift = [](uint8_t* at, int64_t by) { store_u32(at, static_cast<uint32_t>(load_u32(at) + by)); };
    uint8_t* header = headers + pe.sections_at + section_header * pe.resource_index;
    store_u32(header + 8, static_cast<uint32_t>(resources.size));
    store_u32(header + 16, new_raw_size);
    for (size_t i = pe.resource_index + 1; i < pe.sections.size(); ++i) {
        header = headers + pe.sections_at + section_header * i;
        shift(header + 12, address_shift);
        if (pe.sections[i].raw_size != 0)
            shift(header + 20, raw_shift);
    }
    shift(headers + pe.optional_at + size_of_image, address_shift);
    if ((old.characteristics & initialized_data) != 0)
        shift(headers + pe.optional_at + size_of_initialized_data, raw_shift);
    store_u32(headers + pe.directories_at + 8 * directory_resources + 4, static_cast<uint32_t>(resources.size));
    Directory relocations = directory(pe, directory_relocations);
    if (relocations.size != 0 && relocations.rva > old.virtual_address)
        shift(headers + pe.directories_at + 8 * directory_relocations, address_shift);
    store_u32(headers + pe.optional_at + checksum_at, pe_checksum(out.view(), pe.optional_at + checksum_at));
    return true;
}

uint32_t pe_checksum(View file, size_t field_at)
{
    auto byte = [&](size_t at) -> uint32_t {
        bool in_field = at >= field_at && at - field_at < 4;
        return at < file.size && !in_field ? file.data[at] : 0;
    };
    uint64_t sum = 0;
    for (size_t at = 0; at < file.size; at += 2) {
        sum += byte(at) | byte(at + 1) << 8;
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint32_t>(sum + file.size);
}

}  // namespace brand
