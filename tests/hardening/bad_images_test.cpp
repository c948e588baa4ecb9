// Images and requests no one should send, through vecraster-32.dll and the fake JNI
// environment: each call answers null or one of the library's texts, never crashes, and a
// failed call neither writes an output file nor touches an existing one or the input.
#include "kit.h"
#include "raster_kit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>

namespace {

using raster::Shape;

const std::vector<Shape> picture = {{Shape::Kind::rectangle, {0, 0, 200, 120}, RGB(200, 30, 30)}};

std::string emf_bytes(const std::wstring& dir)
{
    std::wstring path = dir + L"\\source.emf";
    raster::write_emf(path, 200, 120, 96, 96, picture);
    return kit::read_file_bytes(path);
}

void put32(std::string& bytes, size_t at, int32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

TEST(BadImages, DamagedAndStrangeInputs)
{
    std::wstring dir = kit::scratch_dir(L"bad-images");
    std::string emf = emf_bytes(dir);
    // Header fields: bounds at 8, frame at 24, total size at 48, record count at 52.
    std::string header_only = emf.substr(0, 108);
    put32(header_only, 48, 108);
    put32(header_only, 52, 1);
    std::string zero_frame = emf;
    for (size_t at = 8; at < 40; at += 4)
        put32(zero_frame, at, 0);
    std::string huge_frame = emf;
    put32(huge_frame, 32, INT32_MAX);
    put32(huge_frame, 36, INT32_MAX);
    put32(huge_frame, 16, INT32_MAX);
    put32(huge_frame, 20, INT32_MAX);
    std::string reversed_frame = emf;
    put32(reversed_frame, 24, 5000);
    put32(reversed_frame, 28, 3000);
    put32(reversed_frame, 32, 0);
    put32(reversed_frame, 36, 0);
    std::string zero_device = emf;
    for (size_t at = 72; at < 88; at += 4)
        put32(zero_device, at, 0);
    // A bitmap header that declares 100000 x 100000 pixels over a few bytes.
    std::string huge_bmp = "BM";
    huge_bmp += std::string(12, '\0');
    std::string info(40, '\0');
    put32(info, 0, 40);
    put32(info, 4, 100000);
    put32(info, 8, 100000);
    info[12] = 1;
    info[14] = 24;
    huge_bmp += info + std::string(64, '\x7F');

    struct Case {
        const char* name;
        const wchar_t* file;
        std::string bytes;
        const wchar_t* only;  // the one answer allowed; null: null or any of the library's texts
    };
    const Case cases[] = {
        {"empty-emf", L"empty.emf", "", L"cannot load input file"},
        {"empty-wmf", L"empty.wmf", "", L"cannot load input file"},
        {"empty-png", L"empty.png", "", L"cannot load input file"},
        {"text-as-wmf", L"text.wmf", "just some words\r\n", L"cannot load input file"},
        {"emf-signature-only", L"sig.emf", emf.substr(0, 44), L"cannot load input file"},
        {"emf-header-only", L"header.emf", header_only, nullptr},
        {"emf-zero-frame", L"zero.emf", zero_frame, nullptr},
        {"emf-huge-frame", L"huge.emf", huge_frame, nullptr},
        {"emf-reversed-frame", L"reversed.emf", reversed_frame, nullptr},
        {"emf-zero-device", L"device.emf", zero_device, nullptr},
        {"bmp-huge-declared", L"huge.bmp", huge_bmp, nullptr},
    };
    const std::wstring answers[] = {L"cannot load input file", L"cannot save output file", L"out of memory #01",
                                    L"out of memory #02"};
    for (const Case& c : cases) {
        std::wstring input = dir + L"\\" + c.file;
        std::wstring output = dir + L"\\" + kit::widen(c.name) + L".png";
        kit::write_file_bytes(input, c.bytes);
        for (double r : {0.0, 96.0, -300.0}) {
            DeleteFileW(output.c_str());
            raster::CallResult result = raster::call_vecraster(input, output, r);
            std::string what = std::string(c.name) + " r=" + std::to_string(r) + ": " + kit::utf8(result.text);
            if (c.only != nullptr) {
                EXPECT_EQ(result.text, c.only) << what;
            } else if (result.is_null) {
                EXPECT_TRUE(raster::image_info(output).has_value()) << what;
            } else {
                EXPECT_NE(std::find(std::begin(answers), std::end(answers), result.text), std::end(answers)) << what;
            }
            if (!result.is_null) {
                EXPECT_FALSE(kit::file_present(output)) << what;
            }
            EXPECT_EQ(kit::read_file_bytes(input), c.bytes) << what;
        }
    }
}

// Resolutions beyond the tests of the sizing rule: a request that keeps the own size converts,
// one that asks for no pixels or more than a bitmap holds fails without output.
TEST(BadImages, ExtremeResolutions)
{
    std::wstring dir = kit::scratch_dir(L"bad-resolutions");
    std::wstring input = dir + L"\\picture.emf";
    raster::write_emf(input, 200, 120, 96, 96, picture);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double r;
        bool converts;  // at the picture's own size
    };
    const Case cases[] = {
        {-0.0, true},           {nan, true},          {-nan, true},           {-DBL_MIN, true},
        {-1.0, true},           {-96.0, true},        {1e300, false},         {-1e300, false},
        {DBL_MAX, false},       {-DBL_MAX, false},    {DBL_MIN, false},       {4.9e-324, false},
        {1e-300, false},        {2147483648.0, false}, {std::numeric_limits<double>::signaling_NaN(), true},
    };
    std::wstring output = dir + L"\\out.png";
    ASSERT_TRUE(raster::call_vecraster(input, output, 0).is_null);
    std::optional<raster::ImageInfo> own = raster::image_info(output);
    ASSERT_TRUE(own.has_value());
    for (const Case& c : cases) {
        DeleteFileW(output.c_str());
        raster::CallResult result = raster::call_vecraster(input, output, c.r);
        std::string what = "r=" + std::to_string(c.r) + ": " + kit::utf8(result.text);
        if (c.converts) {
            ASSERT_TRUE(result.is_null) << what;
            std::optional<raster::ImageInfo> info = raster::image_info(output);
            ASSERT_TRUE(info.has_value()) << what;
            EXPECT_EQ(info->width, own->width) << what;
            EXPECT_EQ(info->height, own->height) << what;
        } else {
            EXPECT_EQ(result.text, L"cannot save output file") << what;
            EXPECT_FALSE(kit::file_present(output)) << what;
        }
    }
}

TEST(BadImages, OutputsThatCannotBeWritten)
{
    std::wstring dir = kit::scratch_dir(L"bad-outputs");
    std::wstring input = dir + L"\\picture.emf";
    raster::write_emf(input, 200, 120, 96, 96, picture);
    std::string input_bytes = kit::read_file_bytes(input);
    std::wstring read_only = dir + L"\\read-only.png";
    kit::write_file_bytes(read_only, "kept as it is");
    ASSERT_TRUE(SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring locked = dir + L"\\locked.png";
    kit::write_file_bytes(locked, "kept as it is");
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    // Wine keeps the read-only attribute in the Unix permissions, which do not bind root.
    HANDLE probe = CreateFileW(read_only.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    bool read_only_holds = probe == INVALID_HANDLE_VALUE;
    if (!read_only_holds) {
        CloseHandle(probe);
        std::cout << "read-only files can be written here (root under Wine): that case is left out\n";
    }
    for (const std::wstring& output : {read_only, locked}) {
        if (output == read_only && !read_only_holds)
            continue;
        raster::CallResult result = raster::call_vecraster(input, output, 0);
        EXPECT_EQ(result.text, L"cannot save output file") << kit::utf8(output);
    }
    CloseHandle(holder);
    EXPECT_EQ(kit::read_file_bytes(read_only), "kept as it is");
    EXPECT_EQ(kit::read_file_bytes(locked), "kept as it is");
    SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);

    for (const std::wstring& output : {std::wstring(), dir + L"\\bad<name>.png", dir + L"\\missing\\deeper\\out.png",
                                       std::wstring(L"\\\\no-such-server\\share\\out.png")}) {
        raster::CallResult result = raster::call_vecraster(input, output, 0);
        EXPECT_EQ(result.text, L"cannot save output file") << kit::utf8(output);
    }
    EXPECT_EQ(kit::read_file_bytes(input), input_bytes);

    // The input named as output: either written over as asked, or refused with the input whole.
    raster::CallResult same = raster::call_vecraster(input, input, 0);
    if (same.is_null)
        EXPECT_TRUE(raster::image_info(input).has_value());
    else
        EXPECT_EQ(kit::read_file_bytes(input), input_bytes) << kit::utf8(same.text);
}

}  // namespace
