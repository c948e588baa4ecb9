// kelvo-pack natively on sample files: the parameter file for each set of options, the main
// class read from jars, the launcher that the runtime's machine chooses, its branding, the same
// bytes from two runs, and every refusal: one line, exit code 2, no folder left behind.
#include "brand_samples.h"
#include "jar_manifest.h"
#include "pack.h"
#include "parameter_text.h"

#include <zlib.h>

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
using samples::write_file;

// Little-endian fields: (value, size in bytes).
void add(std::string& s, std::initializer_list<std::pair<uint32_t, int>> fields)
{
    for (auto [value, bytes] : fields)
        for (int i = 0; i < bytes; ++i)
            s += static_cast<char>(value >> (8 * i));
}

// A zip file of one entry, stored or deflated, as jar tools write it; with zip64 as they write
// a jar of more than 65535 entries.
std::string zip_of(const std::string& name, const std::string& data, bool deflated, bool zip64 = false)
{
    std::string packed = data;
    if (deflated) {
        uLongf size = compressBound(static_cast<uLong>(data.size()));
        packed.resize(size);
        compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), 9);
        packed = packed.substr(2, size - 6);  // the raw deflate stream inside zlib's header and checksum
    }
    auto crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    auto size = [](const std::string& s) { return static_cast<uint32_t>(s.size()); };
    std::string zip;
    add(zip, {{0x04034b50, 4}, {20, 2}, {0, 2}, {deflated ? 8 : 0, 2}, {0, 4}, {crc, 4}, {size(packed), 4},
              {size(data), 4}, {size(name), 2}, {0, 2}});
    zip += name + packed;
    uint32_t central_at = size(zip);
    // The central header: also a comment length, disk, attributes, the local header at 0.
    add(zip, {{0x02014b50, 4}, {20, 2}, {20, 2}, {0, 2}, {deflated ? 8 : 0, 2}, {0, 4}, {crc, 4}, {size(packed), 4},
              {size(data), 4}, {size(name), 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 4}, {0, 4}});
    zip += name;
    uint32_t central_size = size(zip) - central_at, record_at = size(zip);
    if (zip64)
        for (uint32_t value : {0x06064b50u, 44u, 0u, 20u | 20u << 16, 0u, 0u, 1u, 0u, 1u, 0u, central_size, 0u,
                               central_at, 0u, 0x07064b50u, 0u, record_at, 0u, 1u})
            add(zip, {{value, 4}});
    add(zip, {{0x06054b50, 4}, {0, 4}, {zip64 ? 0xffff : 1, 2}, {zip64 ? 0xffff : 1, 2}, {central_size, 4},
              {zip64 ? 0xffffffff : central_at, 4}, {0, 2}});
    return zip;
}

// The first bytes of a DLL of a machine: what decides the runtime's bitness.
std::string dll_head(uint16_t machine)
{
    std::string head(0x80, '\0');
    head[0] = 'M', head[1] = 'Z', head[0x3c] = 0x40;
    head.replace(0x40, 4, std::string("PE\0\0", 4));
    head[0x44] = static_cast<char>(machine), head[0x45] = static_cast<char>(machine >> 8);
    return head;
}

ToolRun pack_run(const std::vector<std::string>& arguments)
{
    return samples::captured([&](FILE* out, FILE* err) { return pack::run_pack(arguments, out, err); });
}

// A string of the version resource; "Comments" names which of the distribution's launchers a
// copy was made of.
std::string version_string(const std::string& exe, const std::string& wanted)
{
    for (const samples::Found& found : samples::resources_of(exe))
        if (found.type == "#16")
            for (auto& [key, value] : samples::read_version(found.data).strings)
                if (key == wanted)
                    return value;
    return "(none)";
}

class Pack : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("kelvo-pack-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        // A kelvo distribution of sample launchers, told apart by a version string.
        for (const char* launcher : {"kelvo.exe", "kelvoc.exe", "x64/kelvo.exe", "x64/kelvoc.exe", "arm64/kelvo.exe"}) {
            samples::PeSpec spec;
            spec.plus = std::string(launcher).find('/') != std::string::npos;
            spec.version.push_back({"Comments", launcher});
            write_file(dir / "kelvo" / launcher, samples::make_pe(spec).bytes);
        }
        write_file(dir / "in/myapp.jar", zip_of("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\n\r\n", true));
        write_file(dir / "in/lib/util.jar", "jar");
        write_file(dir / "in/config/app.properties", "a=1");
        write_file(dir / "jre64/bin/server/jvm.dll", dll_head(0x8664));
        write_file(dir / "jre64/bin/javaw.exe", "exe");
        write_file(dir / "jre32/bin/client/jvm.dll", dll_head(0x14c));
        write_file(dir / "jre-arm64/bin/server/jvm.dll", dll_head(0xaa64));
        write_file(dir / "jre32/lib/jvm.cfg", "# the default first\n-client KNOWN\n-server KNOWN\n");
        write_file(dir / "app.ico", samples::ico_file({samples::png_image(32, 32)}));
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const char* name) const { return (dir / name).string(); }
    std::vector<std::string> basic() const
    {
        return {"--name", "MyApp", "--input", at("in"), "--main-jar", "myapp.jar", "--launcher-dir", at("kelvo"),
                "--dest", at("out")};
    }
};

// Each token is quoted as the launcher's tokenizer splits it, after the directories became
// launcher-relative (path lists keep plain paths) and % was doubled.
TEST(PackText, TokensAsTheLauncherReadsThem)
{
    struct Row {
        std::string (*write)(std::string_view);
        const char* text;
        const char* written;
    } rows[] = {
        {pack::quoted_token, "-Xmx1g", "-Xmx1g"},
        {pack::quoted_token, "", "\"\""},
        {pack::quoted_token, "full screen", "\"full screen\""},
        {pack::quoted_token, "#1", "\"#1\""},
        {pack::quoted_token, "a#1", "a#1"},
        {pack::quoted_token, "say \"hi\"", "\"say \\\"hi\\\"\""},
        {pack::quoted_token, "C:\\dir\\", "C:\\dir\\"},
        {pack::quoted_token, "C:\\my dir\\", "\"C:\\my dir\\\\\""},
        {pack::quoted_token, "a\\\"b", "\"a\\\\\\\"b\""},
        {pack::quoted_token, "line\nend", "\"line\nend\""},
        {pack::launcher_relative, "-Dapp=$APPDIR\\conf", "-Dapp=%KELVO_APPDIR|@app%\\conf"},
        {pack::launcher_relative, "--root=$ROOTDIR", "--root=%KELVO_ROOTDIR|@.%"},
        {pack::launcher_relative, "$BINDIR\\x", "%KELVO_ROOTDIR|@.%\\x"},
        {pack::launcher_relative, "100%", "100%%"},
        {pack::launcher_relative, "%PATH%", "%%PATH%%"},
        {pack::launcher_relative, "-Djava.library.path=$APPDIR\\native;$ROOTDIR;50%",
         "-Djava.library.path=app\\native;.;50%"},
        {pack::launcher_relative, "$APPDIRS", "%KELVO_APPDIR|@app%S"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.write(row.text), row.written) << row.text;
}

TEST(PackText, MainClassFromManifests)
{
    struct Row {
        const char* name;
        std::string manifest;
        const char* main_class;  // nullptr: none
    } rows[] = {
        {"plain", "Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\n", "com.example.Main"},
        {"continued", "Main-Class: com.example.very.lo\r\n ng.Main\r\nX: y\r\n", "com.example.very.long.Main"},
        {"lf-and-case", "Manifest-Version: 1.0\nmain-class:  a.B \n", "a.B"},
        {"other-section", "Manifest-Version: 1.0\r\n\r\nName: x\r\nMain-Class: a.B\r\n", nullptr},
        {"none", "Manifest-Version: 1.0\r\n", nullptr},
        {"empty-value", "Main-Class: \r\n", nullptr},
    };
    for (const Row& row : rows) {
        for (int kind = 0; kind < 3; ++kind) {
            SCOPED_TRACE(std::string(row.name) + (kind == 0 ? " stored" : kind == 1 ? " deflated" : " deflated, zip64"));
            std::optional<std::string> manifest =
                pack::jar_manifest(zip_of("META-INF/MANIFEST.MF", row.manifest, kind > 0, kind == 2));
            ASSERT_TRUE(manifest.has_value());
            EXPECT_EQ(*manifest, row.manifest);
            std::optional<std::string> found = pack::manifest_main_class(*manifest);
            EXPECT_EQ(found.value_or("(none)"), row.main_class != nullptr ? row.main_class : "(none)");
        }
    }
    EXPECT_FALSE(pack::jar_manifest(zip_of("META-INF/OTHER.MF", "Main-Class: a.B\r\n", true)).has_value());
}

TEST_F(Pack, ParameterFileAndLauncherForEachOptionSet)
{
    struct Row {
        const char* name;
        std::vector<std::string> options;
        const char* launcher;               // which of the distribution's launchers was copied
        std::vector<std::string> elements;  // the file's lines that are no comment, in order
    } rows[] = {
        {"installed-java", {}, "kelvo.exe",
         {"inprocess", "javaw", "-cp app\\lib\\util.jar;app\\myapp.jar", "com.example.Main"}},
        {"console-version-range", {"--win-console", "--java-version", "17+"}, "kelvoc.exe",
         {"inprocess", "java[17.0.0+]", "-cp app\\lib\\util.jar;app\\myapp.jar", "com.example.Main"}},
        {"runtime-64", {"--runtime-image", "jre64"}, "x64/kelvo.exe",
         {"inprocess", "runtime\\bin\\javaw.exe", "-cp app\\lib\\util.jar;app\\myapp.jar", "com.example.Main"}},
        {"runtime-32-jvm-cfg-console", {"--runtime-image", "jre32", "--win-console"}, "kelvoc.exe",
         {"inprocess", "runtime\\bin\\java.exe", "-cp app\\lib\\util.jar;app\\myapp.jar", "com.example.Main"}},
        {"runtime-arm64", {"--runtime-image", "jre-arm64"}, "arm64/kelvo.exe",
         {"inprocess", "runtime\\bin\\javaw.exe", "-cp app\\lib\\util.jar;app\\myapp.jar", "com.example.Main"}},
        {"options-and-arguments",
         {"--main-class", "org.Other", "--java-options", "-Xmx1g", "--java-options", "-Dhome=$APPDIR\\my data",
          "--java-options", "-Djava.library.path=$APPDIR\\native", "--arguments", "--mode=full", "--arguments",
          "say \"hi\"", "--arguments", "#tag", "--arguments", ""},
         "kelvo.exe",
         {"inprocess", "javaw", "-Xmx1g", "\"-Dhome=%KELVO_APPDIR|@app%\\my data\"", "-Djava.library.path=app\\native",
          "-cp app\\lib\\util.jar;app\\myapp.jar", "org.Other", "--mode=full", "\"say \\\"hi\\\"\"", "\"#tag\"", "\"\""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> arguments = basic();
        arguments[9] = at(row.name);
        for (const std::string& option : row.options)
            arguments.push_back(option.starts_with("jre") ? at(option.c_str()) : option);
        ToolRun run = pack_run(arguments);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        fs::path folder = dir / row.name / "MyApp";
        std::string text = read_file(folder / "MyApp.kelvo");
        std::vector<std::string> elements;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            ASSERT_TRUE(line.ends_with("\r")) << "Windows line ends";
            line.pop_back();
            if (!line.empty() && line[0] != '#')
                elements.push_back(line);
        }
        EXPECT_EQ(elements, row.elements) << text;
        std::string exe = read_file(folder / "MyApp.exe");
        EXPECT_EQ(version_string(exe, "Comments"), row.launcher);
        EXPECT_EQ(read_file(folder / "app/config/app.properties"), "a=1");
        EXPECT_EQ(fs::exists(folder / "runtime/bin"), row.options.size() > 1 && row.options[0] == "--runtime-image");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / row.name), fs::directory_iterator()), 1) << "no temporary folder";
    }
}

TEST_F(Pack, BrandsTheLauncherAndWritesTheSameBytesEachTime)
{
    std::vector<std::string> arguments = basic();
    arguments.insert(arguments.end(), {"--icon", at("app.ico"), "--app-version", "1.4.2", "--vendor", "Example Ltd",
                                       "--description", "My App"});
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    ToolRun first = pack_run(arguments);
    arguments[9] = at("again");
    ToolRun second = pack_run(arguments);
    unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(first.exit_code, 0) << first.err;
    ASSERT_EQ(second.exit_code, 0) << second.err;
    std::string exe = read_file(dir / "out/MyApp/MyApp.exe");
    const std::pair<const char*, const char*> strings[] = {
        {"ProductName", "MyApp"}, {"CompanyName", "Example Ltd"}, {"FileDescription", "My App"},
        {"FileVersion", "1.4.2"}, {"OriginalFilename", "MyApp.exe"}, {"LegalCopyright", ""}};
    for (auto [key, value] : strings)
        EXPECT_EQ(version_string(exe, key), value) << key;
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir / "out/MyApp")) {
        fs::path relative = entry.path().lexically_relative(dir / "out/MyApp");
        SCOPED_TRACE(relative.string());
        EXPECT_EQ(std::chrono::file_clock::to_sys(entry.last_write_time()).time_since_epoch(),
                  std::chrono::seconds(1700000000));
        if (entry.is_regular_file()) {
            ++files;
            EXPECT_TRUE(read_file(entry.path()) == read_file(dir / "again/MyApp" / relative));
        }
    }
    EXPECT_EQ(files, 5u);
}

TEST_F(Pack, RefusesBadInputWithOneLineAndNoFolder)
{
    write_file(dir / "in-zip/myapp.jar", "PK no zip at all");
    write_file(dir / "in-noclass/myapp.jar", zip_of("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n", false));
    std::string broken = zip_of("META-INF/MANIFEST.MF", "Main-Class: a.B\r\n", false);
    broken[55] ^= 1;  // inside the stored manifest: its checksum no longer holds
    write_file(dir / "in-broken/myapp.jar", broken);
    write_file(dir / "in-badname/my:app.txt", "x");
    write_file(dir / "in-badname/myapp.jar", read_file(dir / "in/myapp.jar"));
    write_file(dir / "in-case/myapp.jar", read_file(dir / "in/myapp.jar"));
    write_file(dir / "in-case/lib/Util.jar", "jar");
    write_file(dir / "in-case/lib/util.jar", "jar");
    fs::create_directories(dir / "jre-nobin/lib");
    write_file(dir / "jre-arm/bin/server/jvm.dll", dll_head(0x1c4));
    write_file(dir / "jre-nodll/bin/java.exe", "exe");
    write_file(dir / "bad.ico", "not an icon");
    write_file(dir / "out/Taken/file", "x");
    write_file(dir / "no-extension.properties", "mime-type=image/emf\n");
    write_file(dir / "unknown-key.properties", "extension=emf\ncontent-type=image/emf\n");
    write_file(dir / "icon-no-icon.properties", "extension=emf\nicon=" + at("bad.ico") + "\n");
    struct Row {
        const char* name;
        std::vector<std::string> change;  // options and values replaced or added
        const char* message;
        const char* path = nullptr;       // PATH while it runs
    } rows[] = {
        {"no-input", {"--input", "missing"}, "--input"},
        {"no-main-jar", {"--main-jar", "other.jar"}, "--main-jar other.jar: no such file"},
        {"no-zip", {"--input", "in-zip"}, "no jar (zip) file"},
        {"no-main-class", {"--input", "in-noclass"}, "names no Main-Class; give --main-class"},
        {"damaged-manifest", {"--input", "in-broken"}, "checksum"},
        {"file-name-windows-refuses", {"--input", "in-badname"}, "Windows allows no file named my:app.txt"},
        {"names-differing-in-case", {"--input", "in-case"}, "lib/util.jar and another file differ in case alone"},
        {"name-windows-refuses", {"--name", "My|App"}, "Windows allows no such file name"},
        {"device-name", {"--name", "com1"}, "Windows allows no such file name"},
        {"runtime-without-bin", {"--runtime-image", "jre-nobin"}, "has no bin folder"},
        {"runtime-other-machine", {"--runtime-image", "jre-arm"}, "no Windows library for x86, x64 or ARM64"},
        {"installer-for-arm64", {"--type", "msi", "--runtime-image", "jre-arm64"}, "wixl makes packages for x86 and x64 only"},
        {"runtime-without-jvm", {"--runtime-image", "jre-nodll"}, "cannot read bin/server/jvm.dll"},
        {"destination-taken", {"--name", "Taken"}, "already there"},
        {"bad-icon", {"--icon", "bad.ico"}, "--icon"},
        {"bad-version", {"--app-version", "1.70000"}, "--app-version 1.70000: a version number is at most 65535"},
        {"class-path-option", {"--java-options", "-cp"}, "the class path is made of the input folder's jars"},
        {"bad-java-range", {"--java-version", "17.x"}, "--java-version 17.x"},
        {"no-launcher", {"--launcher-dir", "in"}, "no such launcher"},
        {"unknown-option", {"--kind", "msi"}, "unknown option --kind"},
        {"unknown-type", {"--type", "exe"}, "--type exe: kelvo-pack writes app-image or msi"},
        {"installer-option-for-a-folder", {"--win-menu-group", "Tools"}, "--win-menu-group is for an installer: give --type msi"},
        {"dialog-option", {"--type", "msi", "--license-file", "LICENSE"}, "--license-file needs an installer dialog"},
        {"installer-minor-over-255", {"--type", "msi", "--app-version", "1.256"}, "at most 255 for the first two numbers"},
        {"installer-fourth-number", {"--type", "msi", "--app-version", "1.2.3.4"}, "the fourth would be lost"},
        {"installer-name-outside-1252", {"--type", "msi", "--name", "Check\xe2\x9c\x93"}, "--name Check\xe2\x9c\x93: the installer carries Western"},
        {"installer-file-outside-1252", {"--type", "msi", "--input", "in-cyrillic"}, "the file app/\xd0\xb4.jar: the installer carries Western"},
        {"association-without-extension", {"--type", "msi", "--file-associations", "no-extension.properties"}, "it names no extension"},
        {"association-unknown-key", {"--type", "msi", "--file-associations", "unknown-key.properties"}, "unknown key \"content-type\""},
        {"association-icon-no-icon", {"--type", "msi", "--file-associations", "icon-no-icon.properties"}, "icon-no-icon.properties: icon"},
        {"installer-tool-missing", {"--type", "msi"}, "wixl is not on PATH (Debian: apt install wixl)", "/nonexistent"},
        {"certificate-no-pkcs12", {"--sign-pkcs12", "bad.ico"}, "osslsigncode cannot sign MyApp.exe with it: Failed to extract PKCS#12 data"},
    };
    write_file(dir / "in-cyrillic/myapp.jar", read_file(dir / "in/myapp.jar"));
    write_file(dir / "in-cyrillic/\xd0\xb4.jar", "jar");
    std::string path = std::getenv("PATH");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> arguments = basic();
        for (size_t i = 0; i < row.change.size(); i += 2) {
            const std::string& option = row.change[i];
            bool is_path = option == "--input" || option == "--runtime-image" || option == "--icon" ||
                           option == "--launcher-dir" || option == "--file-associations" || option == "--sign-pkcs12";
            std::string value = is_path ? at(row.change[i + 1].c_str()) : row.change[i + 1];
            auto given = std::find(arguments.begin(), arguments.end(), option);
            if (given != arguments.end())
                given[1] = value;
            else
                arguments.insert(arguments.end(), {option, value});
        }
        setenv("PATH", row.path ? row.path : path.c_str(), 1);
        ToolRun run = pack_run(arguments);
        setenv("PATH", path.c_str(), 1);
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_TRUE(run.err.starts_with("kelvo-pack: ") && run.err.find('\n') == run.err.size() - 1) << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        std::vector<std::string> left;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir / "out"))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"Taken"}) << "nothing left behind";
    }
}

}  // namespace
