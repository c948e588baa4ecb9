// Test kit of the rasterizer: a fake JNI environment that implements only the four string
// functions the library may use, the library's export loaded the way a JVM loads it, images
// drawn by the tests themselves, and PNG files read back.
#pragma once

#include <windows.h>

#include <jni.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace raster {

using VecrasterFunction = jstring(JNICALL*)(JNIEnv*, jclass, jstring, jstring, jdouble);

// The names a JVM of this build's bitness looks up: the 32-bit one tries the decorated
// standard-call name first, then the plain one; the 64-bit one knows the plain name only.
constexpr char decorated_export_name[] = "_Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster@24";
constexpr char plain_export_name[] = "Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster";
#ifdef _WIN64
constexpr const char* export_name = plain_export_name;
#else
constexpr const char* export_name = decorated_export_name;
#endif

// The export of vecraster-32.dll beside the test program (LoadLibrary + GetProcAddress).
VecrasterFunction vecraster_export();

// A Java string of the fake VM, with ways to make the VM misbehave.
struct FakeString {
    std::wstring units;
    bool refuse_borrow = false;             // GetStringChars answers null
    std::optional<jsize> reported_length;   // GetStringLength answers this instead
};

// JNIEnv whose table implements NewString, GetStringLength, GetStringChars and
// ReleaseStringChars (entries 163-166); calling any other entry records a violation.
class FakeJni {
public:
    FakeJni();
    FakeJni(const FakeJni&) = delete;
    FakeJni& operator=(const FakeJni&) = delete;

    JNIEnv* env() { return &box_.env; }
    jstring string(std::wstring units);
    jstring string(FakeString value);

    std::vector<std::string> violations;  // what the library did that it must not
    int borrows = 0;
    int releases = 0;
    std::set<const jchar*> outstanding;   // borrowed and not yet released
    std::vector<std::wstring> created;    // texts of NewString, in order

    // Text of a string that NewString made; null for a null reference.
    std::optional<std::wstring> text_of(jstring string) const;

private:
    struct Box {
        JNIEnv env;
        FakeJni* owner;
    };
    friend FakeJni* owner_of(JNIEnv* env);
    friend struct Callbacks;

    JNINativeInterface_ table_{};
    Box box_;
    std::deque<FakeString> strings_;
};

// Result of one call of the export.
struct CallResult {
    bool is_null = false;
    std::wstring text;
    int borrows = 0;  // GetStringChars calls that answered units (each one was released once)
};

// Calls the export with a fresh fake VM and fails the current test on any JNI misuse: an entry
// other than 163-166, a release of what was not borrowed, a borrow left unreleased.
CallResult call_vecraster(const FakeString& input, const FakeString& output, double dpi);
CallResult call_vecraster(const std::wstring& input, const std::wstring& output, double dpi);

// Images the tests draw. Sizes are in pixels of the reference screen.
struct Shape {
    enum class Kind { rectangle, ellipse, triangle } kind;
    RECT box;
    COLORREF colour;
};
// An enhanced metafile of width x height pixels at dpi_x x dpi_y holding the shapes (solid
// brush, no pen). width x 2540 / dpi_x and height x 2540 / dpi_y should be whole numbers.
void write_emf(const std::wstring& path, int width, int height, int dpi_x, int dpi_y, const std::vector<Shape>& shapes);
// A placeable Windows metafile of width x height units at units_per_inch holding the shapes.
void write_wmf(const std::wstring& path, int width, int height, int units_per_inch, const std::vector<Shape>& shapes);
// A 24-bit BMP of one colour with the given pixels per metre on each axis.
void write_bmp(const std::wstring& path, int width, int height, int x_per_metre, int y_per_metre, COLORREF colour);
// A PNG of one opaque colour saved by GDI+ with the given resolution.
void write_png(const std::wstring& path, int width, int height, float dpi_x, float dpi_y, uint32_t argb);

// Size and resolution of an image as GDI+ reads it.
struct ImageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    float dpi_x = 0;
    float dpi_y = 0;
};
std::optional<ImageInfo> image_info(const std::wstring& path);

// Pixels of an image in 32-bit ARGB, row by row.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
    uint32_t at(int x, int y) const { return argb[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};
std::optional<Pixels> read_pixels(const std::wstring& path);

// The pHYs chunk of a PNG file: pixels per unit on each axis and the unit (1 = metre).
struct Phys {
    uint32_t x = 0;
    uint32_t y = 0;
    uint8_t unit = 0;
};
std::optional<Phys> png_phys(const std::string& bytes);
// Dots per inch of a pHYs value in pixels per metre.
double dots_per_inch(uint32_t per_metre);

}  // namespace raster
