// kelvo-brand as a user runs it, on small PE files laid out as MinGW's linker lays them out:
// the branded file's headers and resources, and every refusal with its message and no output.
#include "brand_samples.h"
#include "pe_file.h"
#include "tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using samples::read_file;
using samples::ToolRun;
using samples::u32_at;
using samples::write_file;

ToolRun run(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "kelvo-brand");
    std::vector<const char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(a.c_str());
    return samples::captured([&](FILE* out, FILE* err) {
        return brand::run_tool(static_cast<int>(argv.size()), argv.data(), out, err);
    });
}

class BrandTool : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("kelvo-brand-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const char* name) const { return (dir / name).string(); }
};

struct Section {
    std::string name;
    uint32_t virtual_size, address, raw_size, raw_offset;
};

std::vector<Section> sections_of(const std::string& pe, const samples::Pe& layout)
{
    std::vector<Section> sections;
    for (size_t i = 0; i < samples::u16_at(pe, 0x86); ++i) {
        size_t at = layout.sections_at + 40 * i;
        sections.push_back({pe.substr(at, 8).c_str(), u32_at(pe, at + 8), u32_at(pe, at + 12), u32_at(pe, at + 16),
                            u32_at(pe, at + 20)});
    }
    return sections;
}

std::string find(const std::vector<samples::Found>& found, const std::string& type, const std::string& name)
{
    for (const samples::Found& f : found)
        if (f.type == type && f.name == name)
            return f.data;
    return "(missing)";
}

TEST_F(BrandTool, BrandsPe32AndPe32Plus)
{
    using namespace samples;
    const std::string ico = ico_file({png_image(256, 256), bitmap_image(16, 16), bitmap_image(48, 48)});
    write_file(at("app.ico"), ico);
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        Pe input = make_pe({plus, true, "overlay bytes"});
        write_file(at("kelvo.exe"), input.bytes);
        ToolRun done = run({at("kelvo.exe"), at("MyApp.exe"), "--icon", at("app.ico"), "--version", "1.4.2", "--company",
                        "Example Ltd", "--copyright", "\xc2\xa9 2026 Example", "--product", "My App"});
        ASSERT_EQ(done.exit_code, 0) << done.err;
        EXPECT_EQ(done.err, "");
        EXPECT_FALSE(fs::exists(at("MyApp.exe.brand-tmp")));
        std::string out = read_file(at("MyApp.exe"));

        // The resource section grew by the icon images; .reloc moved behind it, page-aligned in
        // memory and file-aligned on disk; the image and data sizes followed; the checksum holds.
        std::vector<Section> before = sections_of(input.bytes, input);
        std::vector<Section> after = sections_of(out, input);
        ASSERT_EQ(after.size(), 3u);
        uint32_t directory = u32_at(out, input.directories_at + 20);
        EXPECT_EQ(u32_at(out, input.directories_at + 16), 0x2000u);
        EXPECT_EQ(after[1].virtual_size, directory);
        EXPECT_EQ(after[1].raw_size, (directory + 0x1ff) / 0x200 * 0x200);
        EXPECT_EQ(after[2].address, 0x2000 + (directory + 0xfff) / 0x1000 * 0x1000);
        EXPECT_GT(after[2].address, before[2].address);
        EXPECT_EQ(after[2].raw_offset, after[1].raw_offset + after[1].raw_size);
        EXPECT_EQ(u32_at(out, input.directories_at + 40), after[2].address) << "relocation directory";
        EXPECT_EQ(u32_at(out, input.directories_at + 44), u32_at(input.bytes, input.directories_at + 44));
        EXPECT_EQ(u32_at(out, input.optional_at + 56), after[2].address + 0x1000) << "SizeOfImage";
        EXPECT_EQ(u32_at(out, input.optional_at + 8) - u32_at(input.bytes, input.optional_at + 8),
                  after[1].raw_size - before[1].raw_size)
            << "SizeOfInitializedData";
        EXPECT_EQ(u32_at(out, input.optional_at + 64), brand::pe_checksum(as_view(out), input.optional_at + 64));
        EXPECT_EQ(out.substr(0x400, 0x200), input.bytes.substr(0x400, 0x200)) << ".text";
        EXPECT_EQ(out.substr(after[2].raw_offset, 0x200), input.bytes.substr(before[2].raw_offset, 0x200));
        EXPECT_EQ(out.substr(out.size() - 13), "overlay bytes");
        EXPECT_EQ(out.size(), after[2].raw_offset + 0x200 + 13);

        // APPICON lists the three images under ids that OTHER's image 3 does not have; the rest
        // is as it was.
        std::vector<Found> found = resources_of(out);
        std::vector<Found> original = resources_of(input.bytes);
        std::string group = find(found, "#14", "APPICON");
        ASSERT_EQ(group.size(), 6u + 3 * 14);
        EXPECT_EQ(u16_at(group, 4), 3);
        const uint16_t ids[] = {1, 2, 4};
        const char* const id_names[] = {"#1", "#2", "#4"};
        const std::string images[] = {png_image(256, 256), bitmap_image(16, 16), bitmap_image(48, 48)};
        for (size_t i = 0; i < 3; ++i) {
            size_t entry = 6 + 14 * i;
            EXPECT_EQ(group.substr(entry, 8), ico.substr(6 + 16 * i, 8)) << "size, colours, planes, bits";
            EXPECT_EQ(u32_at(group, entry + 8), images[i].size());
            EXPECT_EQ(u16_at(group, entry + 12), ids[i]);
            EXPECT_EQ(find(found, "#3", id_names[i]), images[i]);
        }
        EXPECT_EQ(find(found, "#3", "#3"), find(original, "#3", "#3"));
        for (const char* kept : {"#24/#1", "#14/OTHER", "CUSTOM/DATA"}) {
            std::string key(kept);
            std::string type = key.substr(0, key.find('/')), name = key.substr(key.find('/') + 1);
            EXPECT_EQ(find(found, type, name), find(original, type, name)) << kept;
        }
        EXPECT_EQ(found.size(), original.size() + 1);
        for (const Found& f : found)
            EXPECT_EQ(f.language, 1033u);

        VersionRead version = read_version(find(found, "#16", "#1"));
        ASSERT_TRUE(version.ok);
        EXPECT_EQ(version.file_ms, 0x00010004u);
        EXPECT_EQ(version.file_ls, 0x00020000u);
        const Strings strings = {
            {"CompanyName", "Example Ltd"}, {"OriginalFilename", "MyApp.exe"}, {"FileVersion", "1.4.2"},
            {"InternalName", "MyApp"},      {"LegalCopyright", "\xa9 2026 Example"},
            {"ProductName", "My App"},      {"ProductVersion", "1.4.2"},
        };
        EXPECT_EQ(version.strings, strings);

        ToolRun again = run({at("kelvo.exe"), at("MyApp.exe"), "--icon", at("app.ico"), "--version", "1.4.2", "--company",
                         "Example Ltd", "--copyright", "\xc2\xa9 2026 Example", "--product", "My App"});
        EXPECT_EQ(again.exit_code, 0);
        EXPECT_EQ(read_file(at("MyApp.exe")), out) << "the same inputs give the same bytes";
    }
}

TEST_F(BrandTool, LastSectionWithOverlay)
{
    samples::Pe input = samples::make_pe({false, false, std::string(0x300, 'o')});
    write_file(at("kelvo.exe"), input.bytes);
    write_file(at("app.ico"), samples::ico_file({samples::png_image(256, 256), samples::png_image(128, 128)}));
    ASSERT_EQ(run({at("kelvo.exe"), at("out.exe"), "--icon", at("app.ico")}).exit_code, 0);
    std::string out = read_file(at("out.exe"));
    std::vector<Section> after = sections_of(out, input);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(out.size(), after[1].raw_offset + after[1].raw_size + 0x300);
    EXPECT_EQ(out.substr(out.size() - 0x300), std::string(0x300, 'o'));
    EXPECT_EQ(u32_at(out, input.optional_at + 56), 0x2000 + (after[1].virtual_size + 0xfff) / 0x1000 * 0x1000);
}

TEST_F(BrandTool, RefusesWithOneLineAndNoOutput)
{
    using namespace samples;
    const Pe pe = make_pe();
    write_file(at("kelvo.exe"), pe.bytes);
    write_file(at("app.ico"), ico_file({png_image(256, 256)}));
    write_file(at("empty.ico"), ico_file({}));
    write_file(at("large.ico"), ico_file({png_image(16, 16), png_image(512, 512)}));
    write_file(at("damaged.ico"), ico_file({png_image(256, 256)}).substr(0, 30));
    write_file(at("notes.txt"), "These are notes, not a program.\n");
    auto variant = [&](const char* name, std::vector<std::pair<size_t, uint32_t>> patches) {
        std::string bytes = pe.bytes;
        for (auto [offset, value] : patches)
            put_u32(bytes, offset, value);
        write_file(dir / name, bytes);
        return (dir / name).string();
    };
    const size_t directories = pe.directories_at;
    const std::string signed_pe = variant("signed.exe", {{directories + 4 * 8 + 4, 0x100}});
    const std::string bare = variant("bare.exe", {{directories + 2 * 8 + 4, 0}});
    const std::string unmovable = variant("unmovable.exe", {{directories + 5 * 8 + 4, 0}});
    const std::string tls = variant("tls.exe", {{directories + 9 * 8, u32_at(pe.bytes, directories + 5 * 8)},
                                                {directories + 9 * 8 + 4, 0x18}});
    const std::string symbols = variant("symbols.exe", {{0x84 + 8, 0x800}});
    const std::string no_pe = variant("mz.exe", {{0x3c, 0x7ffffff0u}});
    write_file(dir / "cut.exe", pe.bytes.substr(0, 0x700));
    fs::create_symlink(at("kelvo.exe"), dir / "link.exe");
    fs::create_hard_link(at("kelvo.exe"), dir / "hard.exe");

    const std::string input = at("kelvo.exe");
    const std::string output = at("out.exe");
    const std::string k = "kelvo-brand: ";
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    const Case cases[] = {
        {{}, k + "an input and an output file are needed (kelvo-brand --help)"},
        {{input}, k + "an input and an output file are needed (kelvo-brand --help)"},
        {{input, output, "third.exe"}, k + "one input and one output file, not more (third.exe)"},
        {{input, output, "--colour", "red"}, k + "unknown option --colour"},
        {{input, output, "--icon"}, k + "--icon needs a value"},
        {{input, output, "--product", "A", "--product", "B"}, k + "--product is given twice"},
        {{input, output, "--version", "1", "--version", "2"}, k + "--version is given twice"},
        {{input, output, "--version", "1.65536"}, k + "--version 1.65536: a version number is at most 65535"},
        {{input, output, "--version", "99999999999999999999"},
         k + "--version 99999999999999999999: a version number is at most 65535"},
        {{input, output, "--version", "1.2.3.4.5"}, k + "--version 1.2.3.4.5: give 1 to 4 numbers separated by dots"},
        {{input, output, "--version", "1..2"}, k + "--version 1..2: give 1 to 4 numbers separated by dots"},
        {{input, output, "--version", "1.2."}, k + "--version 1.2.: give 1 to 4 numbers separated by dots"},
        {{input, output, "--version", "v1"}, k + "--version v1: give 1 to 4 numbers separated by dots"},
        {{input, output, "--version", ""}, k + "--version : give 1 to 4 numbers separated by dots"},
        {{input, output, "--company", "\xff"}, k + "--company is not UTF-8 text"},
        {{input, input}, k + input + ": the output is the input file; write the branded launcher to a new file"},
        {{input, (dir / "." / "kelvo.exe").string()},
         k + (dir / "." / "kelvo.exe").string() + ": the output is the input file; write the branded launcher to a new file"},
        {{input, at("link.exe")}, k + at("link.exe") + ": the output is the input file; write the branded launcher to a new file"},
        {{input, at("hard.exe")}, k + at("hard.exe") + ": the output is the input file; write the branded launcher to a new file"},
        {{at("missing.exe"), output}, k + at("missing.exe") + ": cannot read it: No such file or directory"},
        {{at("notes.txt"), output}, k + at("notes.txt") + ": not a Windows executable (PE) file"},
        {{no_pe, output}, k + no_pe + ": not a Windows executable (PE) file"},
        {{at("cut.exe"), output}, k + at("cut.exe") + ": damaged PE file: section .rsrc ends beyond the end of the file"},
        {{signed_pe, output},
         k + signed_pe + ": the file is signed, and branding would break its signature: brand the unsigned launcher, then sign"},
        {{bare, output}, k + bare + ": the file has no resource section"},
        {{unmovable, output}, k + unmovable + ": section .reloc follows the resource section and cannot be moved"},
        {{tls, output}, k + tls + ": data directory 9 points into or after the resource section"},
        {{symbols, output}, k + symbols + ": a symbol table follows the resources: strip the file first"},
        {{input, output, "--icon", at("missing.ico")}, k + at("missing.ico") + ": cannot read it: No such file or directory"},
        {{input, output, "--icon", at("notes.txt")}, k + at("notes.txt") + ": not an icon file"},
        {{input, output, "--icon", at("empty.ico")}, k + at("empty.ico") + ": the icon file holds no image"},
        {{input, output, "--icon", at("damaged.ico")},
         k + at("damaged.ico") + ": damaged icon file: image 1 lies beyond the end of the file"},
        {{input, output, "--icon", at("large.ico")},
         k + at("large.ico") + ": image 2 is 512x512 px; an icon image is at most 256x256 px"},
        {{input, at("no-such-folder/out.exe")}, k + at("no-such-folder/out.exe") + ": cannot write it: No such file or directory"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.arguments)
            line += a + " ";
        SCOPED_TRACE(line);
        ToolRun done = run(c.arguments);
        EXPECT_EQ(done.exit_code, 2);
        EXPECT_EQ(done.err, c.error + "\n");
        EXPECT_EQ(done.out, "");
        EXPECT_FALSE(fs::exists(output));
        EXPECT_FALSE(fs::exists(output + ".brand-tmp"));
    }
    EXPECT_EQ(read_file(input), pe.bytes);

    // A refused run leaves an output of an earlier run as it was.
    write_file(output, "an earlier launcher");
    EXPECT_EQ(run({input, output, "--icon", at("large.ico")}).exit_code, 2);
    EXPECT_EQ(read_file(output), "an earlier launcher");
    ToolRun help = run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("usage: kelvo-brand INPUT.exe OUTPUT.exe [--icon FILE.ico]", 0), 0u);
}

}  // namespace
