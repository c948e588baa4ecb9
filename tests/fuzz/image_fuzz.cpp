// Mutated metafiles through vecraster-32.dll: valid EMF, EMF+ and WMF files drawn here, then
// truncated, bit-flipped, their sizes and record lengths overwritten, with a fixed seed. Every
// call must answer null or one of the library's error texts, without a crash, and a failed call
// leaves no output file. KELVO_FUZZ_SECONDS, KELVO_FUZZ_SEED, KELVO_FUZZ_FROM and
// KELVO_FUZZ_COUNT as for the other fuzzers.
#include "render.h"

#include "fuzz_kit.h"
#include "kit.h"
#include "raster_kit.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;
using raster::Shape;

const std::vector<Shape> shapes = {{Shape::Kind::rectangle, {10, 10, 120, 60}, RGB(200, 30, 30)},
                                   {Shape::Kind::ellipse, {60, 40, 180, 110}, RGB(30, 120, 200)},
                                   {Shape::Kind::triangle, {20, 60, 100, 118}, RGB(20, 160, 60)}};

// An EMF+ (dual) file recorded by GDI+: solid fills of a rectangle, an ellipse and a polygon.
void write_emf_plus(const std::wstring& path)
{
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    HDC screen = GetDC(nullptr);
    GpMetafile* metafile = nullptr;
    GpRectF frame{0, 0, 200, 120};
    ASSERT_EQ(GdipRecordMetafileFileName(path.c_str(), screen, EmfTypeEmfPlusDual, &frame, MetafileFrameUnitPixel,
                                         L"fuzz", &metafile),
              Ok);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(metafile, &graphics);
    GpSolidFill* brush = nullptr;
    GdipCreateSolidFill(0xFFC81E1E, &brush);
    GdipFillRectangleI(graphics, brush, 10, 10, 110, 50);
    GdipFillEllipseI(graphics, brush, 60, 40, 120, 70);
    GpPointF triangle[] = {{20, 118}, {60, 60}, {100, 118}};
    GdipFillPolygon2(graphics, brush, triangle, 3);
    GdipDeleteBrush(brush);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(metafile);
    ReleaseDC(nullptr, screen);
    GdiplusShutdown(token);
}

uint32_t read32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

uint16_t read16(const std::string& bytes, size_t at)
{
    uint16_t value = 0;
    std::memcpy(&value, bytes.data() + at, 2);
    return value;
}

// Wine's own gdi32 and gdiplus crash on these records whatever the caller does; mutations that
// create one are passed over.
constexpr uint32_t emr_gdicomment = 70;
const std::set<uint32_t> wine_crashing_emf_records = {
    71 /* EMR_FILLRGN */, 100 /* EMR_SETCOLORSPACE */,
    // Records with a bitmap, none in the seeds, so only a mutated type makes one: Wine reads
    // their bitmap wherever their offsets point, also past the record.
    76, 77, 78, 79, 80, 81, 114, 116};
// Records naming a slot of the handle table in their first field: Wine's playback indexes the
// table without comparing with its size (Windows does compare).
const std::set<uint32_t> handle_records = {37, 38, 39, 40, 48, 49, 50, 51, 82, 93, 94, 95, 99, 101, 122};
constexpr size_t emf_header_handles = 56;
constexpr uint32_t emr_selectobject = 37;
constexpr uint32_t stock_object_flag = 0x80000000;
constexpr uint16_t emf_plus_object = 0x4008;
const std::set<uint16_t> wine_crashing_emf_plus_records = {0x401C /* DrawString */, 0x4036 /* DrawDriverString */};
constexpr unsigned custom_line_cap_object = 9;

// Wine's EMF+ playback trusts the sizes of the records inside a comment.
bool emf_plus_records_avoid_wine_crashes(const std::string& bytes, size_t at, size_t end)
{
    while (at < end) {
        if (end - at < 12)
            return false;
        uint16_t type = read16(bytes, at);
        uint16_t flags = read16(bytes, at + 2);
        uint32_t size = read32(bytes, at + 4);
        uint32_t data_size = read32(bytes, at + 8);
        if (wine_crashing_emf_plus_records.count(type) != 0)
            return false;
        if (type == emf_plus_object && ((flags >> 8) & 0x7F) == custom_line_cap_object)
            return false;
        if (size < 12 || size > end - at || data_size > size - 12)
            return false;
        at += size;
    }
    return true;
}

// Wine also allocates the total size that an EMF header declares before comparing it with the
// file: a mutated size of gigabytes costs seconds and gigabytes per call, in Wine alone.
constexpr size_t emf_header_total_size = 48;
constexpr uint32_t largest_declared_total = 1u << 24;
constexpr size_t wmf_total_size = 22 + 6;
constexpr size_t wmf_largest_record = 22 + 12;
// Without the key of its placeable header a Windows metafile is no image GDI+ knows, and Wine's
// then tries its other decoders: one such file of 274 bytes took it 20 s to refuse.
constexpr uint32_t wmf_placeable_key = 0x9AC6CDD7;
constexpr size_t wmf_placeable_size = 22;

// Whether an arc, chord, pie or arc-to record holds its box and two points, all within a
// million units: Wine reads them past a shorter record, and writes past its bitmap when it
// draws an arc far beyond it (a whole record with a box from -2147483640 does that).
bool arc_fits(const std::string& bytes, size_t at, uint32_t type, uint32_t size)
{
    static const std::set<uint32_t> arcs = {45, 46, 47, 55};
    if (arcs.count(type) == 0)
        return true;
    if (size < 40 || at + 40 > bytes.size())
        return false;
    for (size_t field = at + 8; field < at + 40; field += 4) {
        auto value = static_cast<int32_t>(read32(bytes, field));
        if (value < -(1 << 20) || value > 1 << 20)
            return false;
    }
    return true;
}

// Whether the points that a poly record counts lie inside it: Wine reads them as counted.
bool points_fit(const std::string& bytes, size_t at, uint32_t type, uint32_t size)
{
    static const std::set<uint32_t> poly32 = {2, 3, 4, 5, 6}, poly16 = {85, 86, 87, 88, 89},
                                     polypoly32 = {7, 8}, polypoly16 = {90, 91}, polydraw = {56, 92};
    if (polydraw.count(type) != 0)
        return false;
    bool single = poly32.count(type) != 0 || poly16.count(type) != 0;
    bool multiple = polypoly32.count(type) != 0 || polypoly16.count(type) != 0;
    if (!single && !multiple)
        return true;
    uint64_t point = poly32.count(type) != 0 || polypoly32.count(type) != 0 ? 8 : 4;
    if (at + 36 > bytes.size())
        return false;
    uint64_t need = single ? 28 + point * read32(bytes, at + 24)
                           : 32 + 4ull * read32(bytes, at + 24) + point * read32(bytes, at + 28);
    return need <= size;
}

// Whether Wine's gdi32 and gdiplus can play the file without crashing on their own: Wine passes
// records shorter than their header on with a negative data size, and indexes the handle table
// and reads EMF+ records without checking them (Windows checks).
bool avoids_wine_crashes(const std::string& bytes, bool enhanced)
{
    // The same for the sizes in words of a Windows metafile and of its largest record. And Wine
    // plays a metafile's records from a copy as long as its header declares, reading past that
    // copy where the records run longer: the heap it damages ends the process at its exit.
    if (!enhanced)
        return (bytes.size() < 4 || read32(bytes, 0) == wmf_placeable_key) &&
               (bytes.size() < wmf_largest_record + 4 ||
                (read32(bytes, wmf_total_size) <= largest_declared_total &&
                 read32(bytes, wmf_largest_record) <= largest_declared_total &&
                 read32(bytes, wmf_total_size) * 2ULL >= bytes.size() - wmf_placeable_size));
    if (bytes.size() >= emf_header_total_size + 4 && read32(bytes, emf_header_total_size) > largest_declared_total)
        return false;
    // Wine puts the metafile itself into slot 0 of a handle table sized by the header, also when
    // the header counts no slot at all (Windows refuses such a file); 32-bit Wine then dies later.
    if (bytes.size() >= emf_header_handles + 2 && read16(bytes, emf_header_handles) == 0)
        return false;
    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        uint32_t type = read32(bytes, at);
        uint32_t size = read32(bytes, at + 4);
        // A record may run past the end of a cut file, but one of 2 GB is read as far by Wine.
        if (size < 8 || size % 4 != 0 || size > largest_declared_total)
            return false;
        if (wine_crashing_emf_records.count(type) != 0)
            return false;
        // Wine takes a handle slot from past a record too short to hold it, and a header
        // after the first resets what it plays by one read past its record.
        if ((handle_records.count(type) != 0 && size < 12) || (type == 1 && at != 0))
            return false;
        if (handle_records.count(type) != 0 && at + 12 <= bytes.size()) {
            uint32_t slot = read32(bytes, at + 8);
            bool stock = type == emr_selectobject && (slot & stock_object_flag) != 0;
            if (!stock && (bytes.size() < emf_header_handles + 2 || slot >= read16(bytes, emf_header_handles)))
                return false;
        }
        if (!points_fit(bytes, at, type, size) || !arc_fits(bytes, at, type, size))
            return false;
        size_t end = size > bytes.size() - at ? bytes.size() : at + size;
        // An EMF+ comment: data size, then the "EMF+" signature, then EMF+ records.
        if (type == emr_gdicomment && (at + 12 > end || read32(bytes, at + 8) > size - 12))
            return false;
        if (type == emr_gdicomment && at + 16 <= end && read32(bytes, at + 12) == 0x2B464D45 &&
            !emf_plus_records_avoid_wine_crashes(bytes, at + 16, end))
            return false;
        if (size > bytes.size() - at)
            return true;
        at += size;
    }
    return true;
}

const std::vector<uint32_t> extreme_values = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFF, 0x10000, 7};

// Starts of the records of an enhanced metafile, as far as their lengths lead, and its end.
std::vector<size_t> record_starts(const std::string& bytes)
{
    std::vector<size_t> starts;
    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        starts.push_back(at);
        uint32_t size = read32(bytes, at + 4);
        if (size < 8 || size > bytes.size() - at)
            return starts;
        at += size;
    }
    starts.push_back(at);
    return starts;
}

// Wine's playback reads the points, counts and handle slots of records as they come, so an
// EMF is mutated in its headers and its record framing only: the EMF header and its extensions,
// the first EMF+ comment with the EMF+ header, truncation, lengths, records doubled or left out.
constexpr uint32_t emf_headers = 108 + 44;

// Wine's playback of Windows metafile records checks nothing at all, so a WMF is only cut short
// or given other header fields (placeable header and metafile header, 40 bytes).
constexpr uint32_t wmf_headers = 40;

std::string mutate(fuzz::Rng& rng, std::string bytes, bool enhanced)
{
    for (uint32_t round = 1 + rng.below(3); round > 0 && !bytes.empty(); --round) {
        if (!enhanced) {
            uint32_t at = rng.below(wmf_headers - 1);
            switch (rng.below(3)) {
            case 0: bytes.resize(rng.below(static_cast<uint32_t>(bytes.size()))); break;
            case 1: bytes[at] ^= static_cast<char>(1 << rng.below(8)); break;
            default: {
                uint16_t value = static_cast<uint16_t>(rng.pick(extreme_values));
                std::memcpy(bytes.data() + (at & ~1u), &value, 2);
            }
            }
            continue;
        }
        std::vector<size_t> starts = record_starts(bytes);
        switch (rng.below(6)) {
        case 0:  // truncated, often inside the header
            bytes.resize(rng.chance(40) ? rng.below(120) : rng.below(static_cast<uint32_t>(bytes.size())));
            break;
        case 1:  // bits flipped in the headers
            for (uint32_t i = 1 + rng.below(8); i > 0; --i) {
                uint32_t at = rng.below(std::min<uint32_t>(emf_headers, static_cast<uint32_t>(bytes.size())));
                bytes[at] ^= static_cast<char>(1 << rng.below(8));
            }
            break;
        case 2:  // an extreme value over a word of the headers
            if (bytes.size() >= 4) {
                uint32_t at = 4 * rng.below(std::min<uint32_t>(emf_headers, static_cast<uint32_t>(bytes.size())) / 4);
                uint32_t value = rng.pick(extreme_values);
                std::memcpy(bytes.data() + at, &value, 4);
            }
            break;
        case 3: {  // a record's length overwritten
            size_t at = rng.pick(starts);
            if (at + 8 > bytes.size())
                break;
            uint32_t value = rng.chance(50) ? rng.pick(extreme_values) : read32(bytes, at + 4) + rng.below(9) - 4;
            std::memcpy(bytes.data() + at + 4, &value, 4);
            break;
        }
        case 4:  // a record twice
        case 5: {  // a record left out
            size_t index = 1 + rng.below(static_cast<uint32_t>(starts.size()));
            if (index >= starts.size())
                break;
            size_t at = starts[index - 1];
            size_t length = starts[index] - at;
            if (at == 0)
                break;
            if (rng.chance(50))
                bytes.insert(at, bytes.substr(at, length));
            else
                bytes.erase(at, length);
            break;
        }
        }
    }
    return bytes;
}

double seconds_setting()
{
    const char* value = getenv("KELVO_FUZZ_SECONDS");
    return value != nullptr && *value != '\0' ? atof(value) : 5.0;
}

uint64_t number_setting(const char* variable, uint64_t fallback)
{
    const char* value = getenv(variable);
    return value != nullptr && *value != '\0' ? strtoull(value, nullptr, 10) : fallback;
}

TEST(ImageFuzz, MutatedMetafilesNeverCrashNorLeaveOutput)
{
    std::wstring dir = kit::scratch_dir(L"fuzz-images");
    struct Seed {
        const char* name;
        std::wstring path;
        bool enhanced;
        std::string bytes;
    };
    std::vector<Seed> seeds = {{"emf", dir + L"\\seed.emf", true, ""},
                               {"emf+", dir + L"\\seed-plus.emf", true, ""},
                               {"wmf", dir + L"\\seed.wmf", false, ""}};
    raster::write_emf(seeds[0].path, 200, 120, 96, 96, shapes);
    write_emf_plus(seeds[1].path);
    raster::write_wmf(seeds[2].path, 200, 120, 96, shapes);
    for (Seed& s : seeds) {
        s.bytes = kit::read_file_bytes(s.path);
        ASSERT_FALSE(s.bytes.empty()) << s.name;
        ASSERT_TRUE(raster::call_vecraster(s.path, dir + L"\\seed.png", 0).is_null) << s.name;
    }

    const std::set<std::wstring> known = {L"cannot load input file", L"cannot save output file",
                                          L"out of memory #01", L"out of memory #02", L"no PNG encoder"};
    const std::vector<double> resolutions = {0, 96, -300, 150, 30};
    uint64_t seed = number_setting("KELVO_FUZZ_SEED", 1);
    // KELVO_FUZZ_FROM and KELVO_FUZZ_COUNT replay iterations, as for the other fuzzers.
    uint64_t from = number_setting("KELVO_FUZZ_FROM", 0);
    uint64_t count = number_setting("KELVO_FUZZ_COUNT", 0);
    fuzz::report_crashes("images");
    fuzz::start_watchdog();
    auto limit = std::chrono::duration<double>(seconds_setting());
    auto start = std::chrono::steady_clock::now();
    std::wstring input = dir + L"\\mutated";
    std::wstring output = dir + L"\\out.png";
    int calls = 0, converted = 0, passed_over = 0, too_big = 0;
    for (uint64_t i = from; (count > 0 ? i < from + count : std::chrono::steady_clock::now() - start < limit) &&
                            !HasFailure();
         ++i) {
        fuzz::iteration_begins(seed, i);
        fuzz::Rng rng(seed * 0x9E3779B97F4A7C15ULL + i);
        const Seed& s = seeds[i % seeds.size()];
        std::string bytes = mutate(rng, s.bytes, s.enhanced);
        if (!avoids_wine_crashes(bytes, s.enhanced)) {
            ++passed_over;
            continue;
        }
        double r = rng.pick(resolutions);
        std::string what = std::string(s.name) + " seed " + std::to_string(seed) + " iteration " + std::to_string(i);
        fuzz::describe_input(kit::widen(what) + L", the input kept as " + input);
        kit::write_file_bytes(input, bytes);
        // The sizing rule may ask for a bitmap of gigabytes from a mutated header; such a call
        // would only measure the machine's memory.
        if (std::optional<raster::ImageInfo> info = raster::image_info(input)) {
            OutputSize size = compute_output_size(info->width, info->height, info->dpi_x, info->dpi_y, r);
            if (static_cast<int64_t>(size.width) * size.height > 1000000) {
                ++too_big;
                continue;
            }
        }
        DeleteFileW(output.c_str());
        raster::CallResult result = raster::call_vecraster(input, output, r);
        ++calls;
        if (result.is_null) {
            ++converted;
            EXPECT_TRUE(raster::image_info(output).has_value()) << what << ": null answer, no readable PNG";
        } else {
            EXPECT_EQ(known.count(result.text), 1u) << what << ": " << kit::utf8(result.text);
            EXPECT_FALSE(kit::file_present(output)) << what << ": failed, but left " << kit::utf8(result.text);
        }
        if (HasFailure()) {
            kit::copy_file(input, dir + L"\\failed-input");
            std::cout << "the input is kept as " << kit::utf8(dir) << "\\failed-input\nreplay: "
                      << fuzz::replay_command("images", seed, i) << "\n";
        }
    }
    std::cout << "images: " << calls << " calls (" << converted << " converted), " << passed_over
              << " mutations Wine cannot take passed over, " << too_big << " too big, seed " << seed
              << "\n";
}

}  // namespace
