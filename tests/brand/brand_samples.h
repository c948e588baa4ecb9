// Sample inputs for kelvo-brand's native tests: icon files, version blocks and small PE files
// built the way MinGW's linker lays them out, and a reader of version blocks.
#pragma once

#include "bytes.h"
#include "resource_tree.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace samples {

// A whole file's bytes; a file written whole, its folders made as needed.
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// A tool's exit code and what it wrote to its two streams.
struct ToolRun {
    int exit_code;
    std::string out;
    std::string err;
};
ToolRun captured(const std::function<int(FILE* out, FILE* err)>& tool);

using Strings = std::vector<std::pair<std::string, std::string>>;  // key, value (ASCII)

std::string png_image(uint32_t width, uint32_t height);
std::string bitmap_image(int32_t width, int32_t height);  // 32 bits, with a mask
std::string ico_file(const std::vector<std::string>& images);

// A version block as windres writes it: fixed information for 2.2.0.0, one string table, the
// translation 0409/1200.
std::string version_block(const Strings& strings, const char* table = "040904B0");

struct VersionRead {
    bool ok = false;
    uint32_t file_ms = 0, file_ls = 0, product_ms = 0, product_ls = 0;
    std::string table;
    Strings strings;           // in the order stored
    std::string translation;   // the VarFileInfo block's bytes
};
VersionRead read_version(const std::string& block);

struct PeSpec {
    bool plus = false;             // PE32+ (x64) instead of PE32
    bool relocations = true;       // a .reloc section after .rsrc
    std::string overlay;           // bytes after the last section
    Strings version = {{"CompanyName", "Tandrel"}, {"OriginalFilename", "kelvo.exe"}};
};

struct Pe {
    std::string bytes;
    size_t optional_at = 0;
    size_t directories_at = 0;
    size_t sections_at = 0;
    std::string icon_group;  // the data of APPICON as built
};

// .text, .rsrc (APPICON of two images, a group OTHER of a third, a manifest, a version
// resource, a resource of the named type CUSTOM), then .reloc, with a valid checksum.
Pe make_pe(const PeSpec& spec = {});

// The resources of a PE file as (type, name, language) -> data, names as "#id" or text.
struct Found {
    std::string type, name;
    uint32_t language;
    std::string data;
};
std::vector<Found> resources_of(const std::string& pe);

uint32_t u32_at(const std::string& bytes, size_t at);
uint16_t u16_at(const std::string& bytes, size_t at);

// A resource's name as text (ASCII names), or "#" and its number.
std::string key_text(const brand::ResourceKey& key);
void put_u32(std::string& bytes, size_t at, uint32_t value);
std::string as_string(brand::View view);
brand::View as_view(const std::string& bytes);

}  // namespace samples
