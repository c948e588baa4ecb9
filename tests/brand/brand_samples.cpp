#include "brand_samples.h"

#include "pe_file.h"
#include "resource_tree.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace samples {

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

ToolRun captured(const std::function<int(FILE* out, FILE* err)>& tool)
{
    char* texts[2] = {};
    size_t sizes[2] = {};
    FILE* out = open_memstream(&texts[0], &sizes[0]);
    FILE* err = open_memstream(&texts[1], &sizes[1]);
    int code = tool(out, err);
    std::fclose(out);
    std::fclose(err);
    ToolRun run{code, std::string(texts[0], sizes[0]), std::string(texts[1], sizes[1])};
    std::free(texts[0]);
    std::free(texts[1]);
    return run;
}
namespace {

void add_u16(std::string& s, uint16_t v)
{
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>(v >> 8);
}

void add_u32(std::string& s, uint32_t v)
{
    add_u16(s, static_cast<uint16_t>(v));
    add_u16(s, static_cast<uint16_t>(v >> 16));
}

void add_big_u32(std::string& s, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        s += static_cast<char>(v >> shift);
}

void pad4(std::string& s)
{
    while (s.size() % 4 != 0)
        s += '\0';
}

void add_wide(std::string& s, const std::string& ascii)
{
    for (char c : ascii)
        add_u16(s, static_cast<unsigned char>(c));
    add_u16(s, 0);
}

void put_u16(std::string& s, size_t at, uint16_t v)
{
    s[at] = static_cast<char>(v & 0xff);
    s[at + 1] = static_cast<char>(v >> 8);
}

// A node: length, value length, type, key; value and children appended by the caller, whose
// length is patched by end_node.
size_t begin_node(std::string& s, const std::string& key, uint16_t value_length, uint16_t type)
{
    pad4(s);
    size_t at = s.size();
    add_u16(s, 0);
    add_u16(s, value_length);
    add_u16(s, type);
    add_wide(s, key);
    pad4(s);
    return at;
}

void end_node(std::string& s, size_t at)
{
    put_u16(s, at, static_cast<uint16_t>(s.size() - at));
}

std::string wide_value(const std::string& ascii)
{
    std::string s;
    add_wide(s, ascii);
    return s;
}

struct Key {
    std::string text;
    uint32_t id;
};

brand::ResourceKey key_of(const Key& key, std::vector<std::string>& names)
{
    if (key.text.empty())
        return brand::id_key(key.id);
    std::string units;
    for (char c : key.text)
        add_u16(units, static_cast<unsigned char>(c));
    names.push_back(units);
    brand::ResourceKey k;
    k.name = reinterpret_cast<const uint8_t*>(names.back().data());
    k.length = static_cast<uint16_t>(key.text.size());
    return k;
}

uint32_t align(uint32_t value, uint32_t to)
{
    return (value + to - 1) / to * to;
}

}  // namespace

uint32_t u32_at(const std::string& bytes, size_t at)
{
    return brand::load_u32(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

uint16_t u16_at(const std::string& bytes, size_t at)
{
    return brand::load_u16(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

void put_u32(std::string& bytes, size_t at, uint32_t value)
{
    brand::store_u32(reinterpret_cast<uint8_t*>(bytes.data()) + at, value);
}

std::string as_string(brand::View view)
{
    return std::string(reinterpret_cast<const char*>(view.data), view.size);
}

brand::View as_view(const std::string& bytes)
{
    return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

std::string png_image(uint32_t width, uint32_t height)
{
    std::string s("\x89PNG\r\n\x1a\n", 8);
    add_big_u32(s, 13);
    s += "IHDR";
    add_big_u32(s, width);
    add_big_u32(s, height);
    s += std::string("\x08\x06\x00\x00\x00", 5);
    s += "rest of the PNG file";
    return s;
}

std::string bitmap_image(int32_t width, int32_t height)
{
    std::string s;
    add_u32(s, 40);
    add_u32(s, static_cast<uint32_t>(width));
    add_u32(s, static_cast<uint32_t>(height * 2));
    add_u16(s, 1);
    add_u16(s, 32);
    s += std::string(24, '\0');
    // Colour rows of 32 bits, then the mask's rows of 1 bit padded to 32.
    size_t w = static_cast<size_t>(width < 0 ? -width : width), h = static_cast<size_t>(height < 0 ? -height : height);
    s += std::string(w * h * 4 + (w + 31) / 32 * 4 * h, '\x5a');
    return s;
}

std::string ico_file(const std::vector<std::string>& images)
{
    std::string s;
    add_u16(s, 0);
    add_u16(s, 1);
    add_u16(s, static_cast<uint16_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        s += static_cast<char>(16 + i);  // width and height as the directory states them
        s += static_cast<char>(16 + i);
        s += '\0';
        s += '\0';
        add_u16(s, 1);
        add_u16(s, 32);
        add_u32(s, static_cast<uint32_t>(images[i].size()));
        add_u32(s, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::string& image : images)
        s += image;
    return s;
}

std::string version_block(const Strings& strings, const char* table)
{
    std::string s;
    size_t root = begin_node(s, "VS_VERSION_INFO", 52, 0);
    uint32_t fixed[13] = {0xFEEF04BD, 0x10000, 0x20002, 0, 0x20002, 0, 0x3f, 0, 0x40004, 1, 0, 0, 0};
    for (uint32_t v : fixed)
        add_u32(s, v);
    size_t info = begin_node(s, "StringFileInfo", 0, 1);
    size_t tab = begin_node(s, table, 0, 1);
    for (const auto& [key, value] : strings) {
        size_t string = begin_node(s, key, static_cast<uint16_t>(value.size() + 1), 1);
        s += wide_value(value);
        end_node(s, string);
    }
    end_node(s, tab);
    end_node(s, info);
    size_t var = begin_node(s, "VarFileInfo", 0, 1);
    size_t translation = begin_node(s, "Translation", 4, 0);
    add_u16(s, 0x0409);
    add_u16(s, 1200);
    end_node(s, translation);
    end_node(s, var);
    end_node(s, root);
    return s;
}

VersionRead read_version(const std::string& block)
{
    VersionRead read;
    auto key_at = [&](size_t at, size_t& end) {
        std::string key;
        for (end = at + 6; end + 1 < block.size() && u16_at(block, end) != 0; end += 2)
            key += static_cast<char>(u16_at(block, end));
        end = (end + 2 + 3) & ~size_t{3};
        return key;
    };
    size_t value = 0;
    if (block.size() < 92 || key_at(0, value) != "VS_VERSION_INFO" || u16_at(block, 0) != block.size())
        return read;
    read.file_ms = u32_at(block, value + 8);
    read.file_ls = u32_at(block, value + 12);
    read.product_ms = u32_at(block, value + 16);
    read.product_ls = u32_at(block, value + 20);
    for (size_t at = (value + 52 + 3) & ~size_t{3}; at < block.size(); at = (at + u16_at(block, at) + 3) & ~size_t{3}) {
        size_t children = 0;
        std::string key = key_at(at, children);
        size_t end = at + u16_at(block, at);
        if (key == "VarFileInfo") {
            read.translation = block.substr(at, end - at);
            continue;
        }
        if (key != "StringFileInfo")
            return read;
        size_t strings = 0;
        read.table = key_at(children, strings);
        size_t table_end = children + u16_at(block, children);
        for (size_t s = strings; s < table_end; s = (s + u16_at(block, s) + 3) & ~size_t{3}) {
            size_t text = 0;
            std::string name = key_at(s, text);
            std::string value_text;
            for (size_t i = 0; i + 1 < u16_at(block, s + 2); ++i)
                value_text += static_cast<char>(u16_at(block, text + 2 * i));
            if (u16_at(block, text + 2 * (u16_at(block, s + 2) - 1)) != 0)
                return read;  // no terminator where the value length says
            read.strings.emplace_back(name, value_text);
        }
    }
    read.ok = true;
    return read;
}

Pe make_pe(const PeSpec& spec)
{
    constexpr uint32_t file_alignment = 0x200;
    constexpr uint32_t section_alignment = 0x1000;
    constexpr uint32_t resources_rva = 0x2000;
    Pe pe;

    // The resources, built by the tool's own writer from data kept here.
    std::vector<std::string> names;
    names.reserve(8);
    std::vector<std::string> data = {
        png_image(256, 256), bitmap_image(16, 16), bitmap_image(32, 32),
        "<assembly>the manifest</assembly>", version_block(spec.version), "custom data"};
    std::string group;
    add_u16(group, 0);
    add_u16(group, 1);
    add_u16(group, 2);
    for (uint16_t id : {1, 2}) {
        group += std::string(id == 1 ? "\0\0\0\0" : "\x10\x10\0\0", 4);
        add_u16(group, 1);
        add_u16(group, 32);
        add_u32(group, static_cast<uint32_t>(data[id - 1].size()));
        add_u16(group, id);
    }
    std::string other = group.substr(0, 6 + 14);
    put_u16(other, 4, 1);
    put_u16(other, 6 + 12, 3);
    pe.icon_group = group;
    data.push_back(group);
    data.push_back(other);

    struct Item {
        Key type, name;
        size_t data;
    };
    const Item items[] = {
        {{"", 3}, {"", 1}, 0},  {{"", 3}, {"", 2}, 1},        {{"", 3}, {"", 3}, 2},
        {{"", 24}, {"", 1}, 3}, {{"", 16}, {"", 1}, 4},       {{"CUSTOM", 0}, {"DATA", 0}, 5},
        {{"", 14}, {"APPICON", 0}, 6}, {{"", 14}, {"OTHER", 0}, 7},
    };
    brand::List<brand::Resource> list;
    for (const Item& item : items) {
        brand::Resource r;
        r.type = key_of(item.type, names);
        r.name = key_of(item.name, names);
        r.language = 1033;
        r.data = as_view(data[item.data]);
        if (!list.push(r))
            throw std::runtime_error("out of memory");
    }
    brand::Bytes section;
    brand::Error error;
    if (!brand::build_resources(list, resources_rva, section, error))
        throw std::runtime_error(error.text);
    std::string rsrc = as_string(section.view());

    bool plus = spec.plus;
    size_t optional_size = plus ? 240 : 224;
    std::string s(0x80, '\0');
    s[0] = 'M';
    s[1] = 'Z';
    put_u32(s, 0x3c, 0x80);
    s += std::string("PE\0\0", 4);
    uint16_t sections = spec.relocations ? 3 : 2;
    add_u16(s, plus ? 0x8664 : 0x14c);
    add_u16(s, sections);
    add_u32(s, 0);
    add_u32(s, 0);
    add_u32(s, 0);
    add_u16(s, static_cast<uint16_t>(optional_size));
    add_u16(s, plus ? 0x22 : 0x102);
    pe.optional_at = s.size();
    s += std::string(optional_size, '\0');
    put_u16(s, pe.optional_at, plus ? 0x20b : 0x10b);
    put_u32(s, pe.optional_at + 32, section_alignment);
    put_u32(s, pe.optional_at + 36, file_alignment);
    put_u32(s, pe.optional_at + 60, 0x400);
    put_u16(s, pe.optional_at + 68, 3);
    size_t count_at = pe.optional_at + (plus ? 108 : 92);
    put_u32(s, count_at, 16);
    pe.directories_at = count_at + 4;
    pe.sections_at = s.size();

    uint32_t rsrc_raw = align(static_cast<uint32_t>(rsrc.size()), file_alignment);
    std::string reloc;
    add_u32(reloc, 0x1000);
    add_u32(reloc, 12);
    add_u16(reloc, 0x3000);
    add_u16(reloc, 0);
    struct Layout {
        const char* name;
        uint32_t virtual_size, address, raw_size, raw_offset, characteristics;
    };
    std::vector<Layout> layout = {
        {".text", 0x10, 0x1000, 0x200, 0x400, 0x60000020},
        {".rsrc", static_cast<uint32_t>(rsrc.size()), resources_rva, rsrc_raw, 0x600, 0xc0000040},
    };
    uint32_t next_address = resources_rva + align(static_cast<uint32_t>(rsrc.size()), section_alignment);
    if (spec.relocations)
        layout.push_back({".reloc", static_cast<uint32_t>(reloc.size()), next_address, 0x200, 0x600 + rsrc_raw,
                          0x42000040});
    for (const Layout& l : layout) {
        std::string name(l.name);
        name.resize(8, '\0');
        s += name;
        add_u32(s, l.virtual_size);
        add_u32(s, l.address);
        add_u32(s, l.raw_size);
        add_u32(s, l.raw_offset);
        s += std::string(12, '\0');
        add_u32(s, l.characteristics);
    }
    s.resize(0x400, '\0');
    s += std::string("\xc3", 1) + std::string(0x1ff, '\0');
    s += rsrc + std::string(rsrc_raw - rsrc.size(), '\0');
    if (spec.relocations)
        s += reloc + std::string(0x200 - reloc.size(), '\0');
    s += spec.overlay;

    const Layout& last = layout.back();
    put_u32(s, pe.optional_at + 56, last.address + align(last.virtual_size, section_alignment));
    put_u32(s, pe.optional_at + 8, rsrc_raw + (spec.relocations ? 0x200 : 0));
    put_u32(s, pe.directories_at + 16, resources_rva);
    put_u32(s, pe.directories_at + 20, static_cast<uint32_t>(rsrc.size()));
    if (spec.relocations) {
        put_u32(s, pe.directories_at + 40, next_address);
        put_u32(s, pe.directories_at + 44, static_cast<uint32_t>(reloc.size()));
    }
    put_u32(s, pe.optional_at + 64, brand::pe_checksum(as_view(s), pe.optional_at + 64));
    pe.bytes = s;
    return pe;
}

std::vector<Found> resources_of(const std::string& file)
{
    brand::PeFile pe;
    brand::List<brand::Resource> list;
    brand::Error error;
    if (!brand::read_pe(as_view(file), pe, error) ||
        !brand::parse_resources(brand::resource_section(pe), pe.sections[pe.resource_index].virtual_address, list,
                                error))
        throw std::runtime_error(error.text);
    auto text = samples::key_text;
    std::vector<Found> found;
    for (const brand::Resource& r : list)
        found.push_back({text(r.type), text(r.name), r.language, as_string(r.data)});
    return found;
}

std::string key_text(const brand::ResourceKey& key)
{
    if (key.name == nullptr)
        return "#" + std::to_string(key.id);
    std::string text;
    for (size_t i = 0; i < key.length; ++i)
        text += static_cast<char>(brand::load_u16(key.name + 2 * i));
    return text;
}

}  // namespace samples
