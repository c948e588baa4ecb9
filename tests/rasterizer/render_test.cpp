#include "raster_kit.h"
#include "render.h"

#include "kit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using raster::Shape;

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// Red rectangle, blue ellipse, green triangle on a 960 x 720 picture; the rest is empty.
const std::vector<Shape> picture = {
    {Shape::Kind::rectangle, {100, 100, 300, 200}, RGB(200, 30, 30)},
    {Shape::Kind::ellipse, {400, 300, 600, 500}, RGB(30, 120, 200)},
    {Shape::Kind::triangle, {700, 100, 900, 400}, RGB(20, 160, 60)},
};

// Wine keeps bitmaps premultiplied, so a transparent pixel loses its colour there.
bool under_wine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(OutputSize, SizingRule)
{
    struct Case {
        uint32_t w, h;
        float rx, ry;
        double r;
        int32_t want_w, want_h;
        float want_dx, want_dy;  // checked only for a size that can be made
    };
    const double wraps_to_100 = (4294967296.0 + 100.0) * 96.0 / 800.0;
    const Case cases[] = {
        {800, 600, 96, 96, 300, 2500, 1875, 300, 300},
        {800, 600, 96, 96, -300, 2500, 1875, 300, 300},
        {800, 600, 96, 96, -72, 800, 600, 96, 96},
        {800, 600, 96, 96, -96, 800, 600, 96, 96},  // the bound must be exceeded strictly
        {800, 600, 96, 96, -97, 808, 606, 97, 97},
        {800, 600, 96, 96, 0, 800, 600, 96, 96},
        {800, 600, 96, 96, nan_value, 800, 600, 96, 96},
        {800, 600, 96, 120, -100, 800, 600, 96, 120},  // must exceed both resolutions
        {800, 600, 96, 120, -121, 1008, 605, 121, 121},
        {800, 600, 96, 120, 300, 2500, 1500, 300, 300},
        {1, 3, 2, 2, 1, 1, 2, 1, 1},  // 0.5 and 1.5 round half up
        {960, 720, 96, 96, 0.05, 1, 0, 0.05f, 0.05f},
        // Sizes that cannot be made are 0, never undefined or wrapped around.
        {800, 600, 0, 96, 300, 0, 1875, 0, 0},
        {800, 600, 96, 0, 300, 2500, 0, 0, 0},
        {800, 600, 0, 0, -300, 0, 0, 0, 0},
        {800, 600, 96, 96, infinity, 0, 0, 0, 0},
        {800, 600, 96, 96, -infinity, 0, 0, 0, 0},
        {800, 600, 96, 96, 1e30, 0, 0, 0, 0},
        {800, 600, 96, 96, 1e12, 0, 0, 0, 0},
        {800, 600, 96, 96, wraps_to_100, 0, 0, 0, 0},
        {800, 600, -96, 96, 300, 0, 1875, 0, 0},
        {800, 600, std::numeric_limits<float>::quiet_NaN(), 96, 300, 0, 1875, 0, 0},
        {0, 0, 96, 96, infinity, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        OutputSize size = compute_output_size(c.w, c.h, c.rx, c.ry, c.r);
        EXPECT_EQ(size.width, c.want_w) << c.w << "x" << c.h << " at " << c.rx << "x" << c.ry << ", r=" << c.r;
        EXPECT_EQ(size.height, c.want_h) << c.w << "x" << c.h << " at " << c.rx << "x" << c.ry << ", r=" << c.r;
        if (size.width > 0 && size.height > 0) {
            EXPECT_EQ(size.dpi_x, c.want_dx) << "r=" << c.r;
            EXPECT_EQ(size.dpi_y, c.want_dy) << "r=" << c.r;
        }
    }
}

void expect_phys(const std::wstring& png, double dpi_x, double dpi_y, const std::string& what)
{
    std::optional<raster::Phys> phys = raster::png_phys(kit::read_file_bytes(png));
    ASSERT_TRUE(phys.has_value()) << what << ": no pHYs chunk";
    EXPECT_EQ(phys->unit, 1) << what;
    EXPECT_NEAR(phys->x, dpi_x / 0.0254, 1.0) << what;
    EXPECT_NEAR(phys->y, dpi_y / 0.0254, 1.0) << what;
}

TEST(Render, SizeAndResolutionFollowTheRequest)
{
    std::wstring dir = kit::scratch_dir(L"render_sizes");
    raster::write_emf(dir + L"\\square.emf", 960, 720, 96, 96, picture);
    raster::write_emf(dir + L"\\tall.emf", 960, 720, 96, 120, picture);
    struct Case {
        const wchar_t* source;
        double r;
        uint32_t want_w, want_h;
        double want_dx, want_dy;
    };
    const Case cases[] = {
        {L"square.emf", 0, 960, 720, 96, 96},
        {L"square.emf", 300, 3000, 2250, 300, 300},
        {L"square.emf", -96, 960, 720, 96, 96},
        {L"square.emf", -97, 970, 728, 97, 97},
        {L"square.emf", nan_value, 960, 720, 96, 96},
        {L"tall.emf", 0, 960, 720, 96, 120},
        {L"tall.emf", 300, 3000, 1800, 300, 300},
        {L"tall.emf", -96, 960, 720, 96, 120},
        {L"tall.emf", -97, 960, 720, 96, 120},
        {L"tall.emf", -121, 1210, 726, 121, 121},
        {L"tall.emf", nan_value, 960, 720, 96, 120},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string what = kit::utf8(c.source) + " r=" + std::to_string(c.r);
        std::wstring out = dir + L"\\out" + std::to_wstring(n++) + L".png";
        raster::CallResult result = raster::call_vecraster(dir + L"\\" + c.source, out, c.r);
        ASSERT_TRUE(result.is_null) << what << ": " << kit::utf8(result.text);
        std::optional<raster::ImageInfo> info = raster::image_info(out);
        ASSERT_TRUE(info.has_value()) << what;
        EXPECT_EQ(info->width, c.want_w) << what;
        EXPECT_EQ(info->height, c.want_h) << what;
        expect_phys(out, c.want_dx, c.want_dy, what);
    }
}

void expect_transparent(const raster::Pixels& pixels, int x, int y)
{
    uint32_t pixel = pixels.at(x, y);
    EXPECT_EQ(pixel >> 24, 0u) << "at " << x << "," << y;
    if (!under_wine()) {
        EXPECT_EQ(pixel, 0x00FFFFFFu) << "at " << x << "," << y;
    }
}

TEST(Render, EmptyAreasAreTransparentAndShapesOpaque)
{
    std::wstring dir = kit::scratch_dir(L"render_pixels");
    raster::write_emf(dir + L"\\picture.emf", 960, 720, 96, 96, picture);
    for (double r : {0.0, 300.0}) {
        std::wstring out = dir + L"\\picture" + std::to_wstring(static_cast<int>(r)) + L".png";
        ASSERT_TRUE(raster::call_vecraster(dir + L"\\picture.emf", out, r).is_null);
        std::optional<raster::Pixels> pixels = raster::read_pixels(out);
        ASSERT_TRUE(pixels.has_value());
        double scale = r == 0 ? 1.0 : r / 96.0;
        auto at = [&](int x, int y) { return pixels->at(static_cast<int>(x * scale), static_cast<int>(y * scale)); };
        SCOPED_TRACE("r=" + std::to_string(r));
        EXPECT_EQ(at(200, 150), 0xFFC81E1Eu);  // rectangle
        EXPECT_EQ(at(500, 400), 0xFF1E78C8u);  // ellipse
        EXPECT_EQ(at(800, 350), 0xFF14A03Cu);  // triangle
        for (auto [x, y] : {std::pair{2, 2}, {50, 600}, {500, 150}, {950, 710}, {700, 600}, {710, 120}})
            expect_transparent(*pixels, static_cast<int>(x * scale), static_cast<int>(y * scale));
    }
}

TEST(Render, OtherInputFormats)
{
    std::wstring dir = kit::scratch_dir(L"render_formats");
    // The metafile's rectangle covers it whole: Wine's playback of placeable metafiles is unreliable
    // in the details.
    raster::write_wmf(dir + L"\\in.wmf", 1440, 960, 1440, {{Shape::Kind::rectangle, {0, 0, 1441, 961}, RGB(255, 0, 0)}});
    raster::write_bmp(dir + L"\\in.bmp", 40, 30, 3780, 4724, RGB(0, 0, 255));  // 96 x 120 dpi
    raster::write_png(dir + L"\\in.png", 40, 30, 96.0f, 120.0f, 0xFF00FF00);
    struct Case {
        const wchar_t* source;
        double r;
        uint32_t want_w, want_h;
        double want_dx, want_dy;
        uint32_t centre;
    };
    const Case cases[] = {
        {L"in.wmf", 0, 1440, 960, 1440, 1440, 0xFFFF0000},
        {L"in.wmf", 96, 96, 64, 96, 96, 0xFFFF0000},
        {L"in.bmp", 0, 40, 30, 96.012, 119.9896, 0xFF0000FF},
        {L"in.bmp", 192, 80, 48, 192, 192, 0xFF0000FF},
        {L"in.png", 0, 40, 30, 96.012, 119.9896, 0xFF00FF00},
        {L"in.png", -121, 50, 30, 121, 121, 0xFF00FF00},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string what = kit::utf8(c.source) + " r=" + std::to_string(c.r);
        std::wstring out = dir + L"\\out" + std::to_wstring(n++) + L".png";
        raster::CallResult result = raster::call_vecraster(dir + L"\\" + c.source, out, c.r);
        ASSERT_TRUE(result.is_null) << what << ": " << kit::utf8(result.text);
        std::optional<raster::Pixels> pixels = raster::read_pixels(out);
        ASSERT_TRUE(pixels.has_value()) << what;
        EXPECT_EQ(static_cast<uint32_t>(pixels->width), c.want_w) << what;
        EXPECT_EQ(static_cast<uint32_t>(pixels->height), c.want_h) << what;
        EXPECT_EQ(pixels->at(pixels->width / 2, pixels->height / 2), c.centre) << what;
        expect_phys(out, c.want_dx, c.want_dy, what);
    }
}

TEST(Render, FailuresWriteNothing)
{
    std::wstring dir = kit::scratch_dir(L"render_failures");
    std::wstring emf = dir + L"\\picture.emf";
    raster::write_emf(emf, 960, 720, 96, 96, picture);
    kit::write_file_bytes(dir + L"\\not_an_image.emf", "This is plain text, not a picture.\r\n");
    kit::write_file_bytes(dir + L"\\kept.png", "earlier content");
    CreateDirectoryW((dir + L"\\folder.png").c_str(), nullptr);
    const double wraps_to_100 = (4294967296.0 + 100.0) * 96.0 / 960.0;

    struct Case {
        std::wstring input, output;
        double r;
        const wchar_t* error;
    };
    std::vector<Case> cases = {
        {dir + L"\\missing.emf", dir + L"\\new.png", 0, L"cannot load input file"},
        {dir + L"\\missing.emf", dir + L"\\kept.png", 0, L"cannot load input file"},
        {dir + L"\\not_an_image.emf", dir + L"\\new.png", 0, L"cannot load input file"},
        {dir, dir + L"\\new.png", 0, L"cannot load input file"},
        {emf, dir + L"\\no such folder\\out.png", 0, L"cannot save output file"},
        {emf, dir + L"\\folder.png", 0, L"cannot save output file"},
        {emf, dir + L"\\new.png", 1e-6, L"cannot save output file"},  // 0 x 0 pixels
        {emf, dir + L"\\new.png", 0.05, L"cannot save output file"},  // 1 x 0 pixels
        {emf, dir + L"\\new.png", 1e30, L"cannot save output file"},
        {emf, dir + L"\\new.png", -1e30, L"cannot save output file"},
        {emf, dir + L"\\new.png", wraps_to_100, L"cannot save output file"},
        {emf, dir + L"\\new.png", infinity, L"cannot save output file"},
        {emf, dir + L"\\new.png", -infinity, L"cannot save output file"},
    };
    // 30000 x 22500 pixels, 2.7 GB: a bitmap that a 32-bit process cannot hold.
    if (sizeof(void*) == 4)
        cases.push_back({emf, dir + L"\\new.png", 3000, L"cannot save output file"});
    for (const Case& c : cases) {
        std::string what = kit::utf8(c.input) + " -> " + kit::utf8(c.output) + " r=" + std::to_string(c.r);
        raster::CallResult result = raster::call_vecraster(c.input, c.output, c.r);
        EXPECT_FALSE(result.is_null) << what;
        EXPECT_EQ(result.text, c.error) << what;
        EXPECT_FALSE(kit::file_present(dir + L"\\new.png")) << what;
        EXPECT_EQ(kit::read_file_bytes(dir + L"\\kept.png"), "earlier content") << what;
    }
}

}  // namespace
