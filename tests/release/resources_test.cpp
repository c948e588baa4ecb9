// The resources of this build's binaries, read back through the Windows API: the launcher's
// icon group and manifest, and the version information of every binary.
#include <windows.h>

#include <gtest/gtest.h>
#include <kit.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring from_build_path(const char* linux_path)
{
    std::wstring path = L"Z:" + kit::widen(linux_path);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colors;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

unsigned read_big_endian(const std::string& bytes, size_t at)
{
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3]));
}

struct IconImage {
    int size;
    bool png;
};

// Every image of the group, as a Windows program finds it, and a real icon made of it.
void check_icon_group(const std::wstring& path)
{
    SCOPED_TRACE(kit::utf8(path));
    kit::ResourceModule module(path);
    ASSERT_NE(module.handle, nullptr) << GetLastError();
    std::string group = kit::resource_bytes(module.handle, L"APPICON", MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    GroupIconHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 5);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + header.count * sizeof(GroupIconEntry));

    const IconImage expected[] = {{256, true}, {48, false}, {32, false}, {24, false}, {16, false}};
    for (size_t i = 0; i < header.count; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + sizeof header + i * sizeof entry, sizeof entry);
        const IconImage& want = expected[i];
        SCOPED_TRACE(want.size);
        EXPECT_EQ(entry.width == 0 ? 256 : entry.width, want.size);
        EXPECT_EQ(entry.height == 0 ? 256 : entry.height, want.size);
        EXPECT_EQ(entry.bit_count, 32);
        EXPECT_EQ(entry.planes, 1);

        std::string image = kit::resource_bytes(module.handle, MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3) /* RT_ICON */);
        ASSERT_EQ(image.size(), entry.bytes);
        if (want.png) {
            ASSERT_GT(image.size(), 33u);
            EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
            EXPECT_EQ(image.substr(12, 4), "IHDR");
            EXPECT_EQ(read_big_endian(image, 16), 256u);
            EXPECT_EQ(read_big_endian(image, 20), 256u);
            EXPECT_EQ(image[24], 8);  // bits per channel
            EXPECT_EQ(image[25], 6);  // RGBA: 32 bits per pixel with alpha
        } else {
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER info;
            std::memcpy(&info, image.data(), sizeof info);
            EXPECT_EQ(info.biSize, sizeof info);
            EXPECT_EQ(info.biWidth, want.size);
            EXPECT_EQ(info.biHeight, 2 * want.size);  // colour and mask
            EXPECT_EQ(info.biBitCount, 32);
            EXPECT_EQ(info.biCompression, static_cast<DWORD>(BI_RGB));
            size_t pixels = static_cast<size_t>(want.size) * static_cast<size_t>(want.size);
            size_t mask = static_cast<size_t>((want.size + 31) / 32 * 4 * want.size);
            ASSERT_EQ(image.size(), sizeof info + pixels * 4 + mask);
            // The alpha channel is used: transparent corners, an opaque middle.
            auto alpha = [&](int x, int y) {
                return static_cast<unsigned char>(image[sizeof info + (static_cast<size_t>(y) * want.size + x) * 4 + 3]);
            };
            EXPECT_EQ(alpha(0, 0), 0);
            EXPECT_EQ(alpha(want.size / 2, want.size / 2), 255);
        }

        HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()), static_cast<DWORD>(image.size()),
                                              TRUE, 0x00030000, want.size, want.size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << "Windows cannot make an icon of this image";
        if (icon != nullptr)
            DestroyIcon(icon);
    }

    // Windows picks the 16 px image for a small icon and the 32 px one for a large one.
    auto* directory = reinterpret_cast<BYTE*>(group.data());
    auto id_of = [&](size_t index) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + sizeof header + index * sizeof entry, sizeof entry);
        return static_cast<int>(entry.id);
    };
    EXPECT_EQ(LookupIconIdFromDirectoryEx(directory, TRUE, 16, 16, LR_DEFAULTCOLOR), id_of(4));
    EXPECT_EQ(LookupIconIdFromDirectoryEx(directory, TRUE, 32, 32, LR_DEFAULTCOLOR), id_of(2));
}

TEST(ReleaseResources, LauncherIconGroupHasTheFiveImages)
{
    check_icon_group(kit::bin_path(L"kelvo.exe"));
    check_icon_group(kit::bin_path(L"kelvoc.exe"));
}

TEST(ReleaseResources, LauncherCarriesItsManifest)
{
    std::string source = kit::read_file_bytes(from_build_path(KELVO_MANIFEST));
    ASSERT_FALSE(source.empty());
    kit::ResourceModule module(kit::bin_path(L"kelvo.exe"));
    ASSERT_NE(module.handle, nullptr);
    // The process manifest: resource 1 of type RT_MANIFEST, the file as written.
    EXPECT_EQ(kit::resource_bytes(module.handle, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), source);
}

std::wstring version_string(const std::vector<BYTE>& block, const wchar_t* name)
{
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr)
        return L"(missing)";
    return std::wstring(value, wcsnlen(value, length));
}

struct VersionCase {
    const wchar_t* file;
    DWORD file_type;
    const wchar_t* description;
};

TEST(ReleaseResources, VersionInformationAsExplorerShowsIt)
{
    const VersionCase cases[] = {
        {L"kelvo.exe", VFT_APP, L"Tandrel kelvo Java launcher"},
        {L"kelvoc.exe", VFT_APP, L"Tandrel kelvo console Java launcher"},
        {L"vecraster-32.dll", VFT_DLL, L"Tandrel vecraster metafile to PNG converter (JNI library)"},
        {L"vecraster.exe", VFT_APP, L"Tandrel vecraster metafile to PNG converter"},
        {L"kelvo-brand.exe", VFT_APP, L"Tandrel kelvo launcher branding tool"},
        {L"kelvo-pack.exe", VFT_APP, L"Tandrel kelvo application packer"},
    };
    for (const VersionCase& c : cases) {
        std::wstring path = kit::bin_path(c.file);
        SCOPED_TRACE(kit::utf8(path));
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
        ASSERT_GT(size, 0u) << "no version resource";
        std::vector<BYTE> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(2, 2));
        EXPECT_EQ(fixed->dwFileVersionLS, 0u);
        EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(2, 2));
        EXPECT_EQ(fixed->dwProductVersionLS, 0u);
        EXPECT_EQ(fixed->dwFileType, c.file_type);
        EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug, pre-release or patched flag";

        WORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
        ASSERT_EQ(length, 4u);
        EXPECT_EQ(translation[0], 0x0409);
        EXPECT_EQ(translation[1], 1200);

        EXPECT_EQ(version_string(block, L"FileVersion"), L"2.2.0");
        EXPECT_EQ(version_string(block, L"ProductVersion"), L"2.2.0");
        EXPECT_EQ(version_string(block, L"ProductName"), L"Tandrel kelvo");
        EXPECT_EQ(version_string(block, L"CompanyName"), L"Tandrel");
        EXPECT_EQ(version_string(block, L"FileDescription"), c.description);
        EXPECT_EQ(version_string(block, L"OriginalFilename"), c.file);
    }
}

}  // namespace
