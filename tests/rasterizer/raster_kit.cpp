#include "raster_kit.h"

#include "kit.h"

#include <objidl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace raster {

static_assert(offsetof(JNINativeInterface_, NewString) == 163 * sizeof(void*));
static_assert(offsetof(JNINativeInterface_, GetStringLength) == 164 * sizeof(void*));
static_assert(offsetof(JNINativeInterface_, GetStringChars) == 165 * sizeof(void*));
static_assert(offsetof(JNINativeInterface_, ReleaseStringChars) == 166 * sizeof(void*));

VecrasterFunction vecraster_export()
{
    HMODULE library = LoadLibraryW(kit::bin_path(L"vecraster-32.dll").c_str());
    if (library == nullptr)
        return nullptr;
    return reinterpret_cast<VecrasterFunction>(reinterpret_cast<void*>(GetProcAddress(library, export_name)));
}

FakeJni* owner_of(JNIEnv* env)
{
    return reinterpret_cast<FakeJni::Box*>(env)->owner;
}

namespace {

FakeString* fake(jstring string)
{
    return reinterpret_cast<FakeString*>(string);
}

// Every table entry but the four string functions: records which one was called. All JNI
// functions take the JNIEnv first. On x64 the caller cleans the stack, so the other arguments
// do no harm; on x86 (standard call) a trap taking fewer arguments than its caller passed
// unbalances the stack, so the test fails there too, if less politely.
template <size_t Index>
void JNICALL forbidden_entry(JNIEnv* env)
{
    owner_of(env)->violations.push_back("called JNI table entry " + std::to_string(Index));
}

template <size_t... Indexes>
void fill_with_traps(void** entries, std::index_sequence<Indexes...>)
{
    ((entries[Indexes] = reinterpret_cast<void*>(&forbidden_entry<Indexes>)), ...);
}

constexpr size_t table_entries = sizeof(JNINativeInterface_) / sizeof(void*);

}  // namespace

struct Callbacks {
    static jstring JNICALL new_string(JNIEnv* env, const jchar* units, jsize length)
    {
        FakeJni* self = owner_of(env);
        if (length < 0) {
            self->violations.push_back("NewString with a negative length");
            return nullptr;
        }
        std::wstring text(reinterpret_cast<const wchar_t*>(units), static_cast<size_t>(length));
        self->created.push_back(text);
        return self->string(text);
    }
    static jsize JNICALL get_string_length(JNIEnv* env, jstring string)
    {
        FakeString* s = fake(string);
        if (s == nullptr) {
            owner_of(env)->violations.push_back("GetStringLength of null");
            return 0;
        }
        return s->reported_length.value_or(static_cast<jsize>(s->units.size()));
    }
    static const jchar* JNICALL get_string_chars(JNIEnv* env, jstring string, jboolean* is_copy)
    {
        FakeJni* self = owner_of(env);
        FakeString* s = fake(string);
        if (s == nullptr) {
            self->violations.push_back("GetStringChars of null");
            return nullptr;
        }
        if (is_copy != nullptr)
            self->violations.push_back("GetStringChars asked for the is-copy flag");
        if (s->refuse_borrow)
            return nullptr;
        // A fresh copy per borrow, so that a release of anything else is caught.
        auto* units = new jchar[s->units.size() + 1];
        std::memcpy(units, s->units.c_str(), (s->units.size() + 1) * sizeof(jchar));
        self->outstanding.insert(units);
        ++self->borrows;
        return units;
    }
    static void JNICALL release_string_chars(JNIEnv* env, jstring, const jchar* units)
    {
        FakeJni* self = owner_of(env);
        if (self->outstanding.erase(units) == 0) {
            self->violations.push_back("ReleaseStringChars of units not borrowed (or released twice)");
            return;
        }
        ++self->releases;
        delete[] units;
    }
};

FakeJni::FakeJni()
{
    fill_with_traps(reinterpret_cast<void**>(&table_), std::make_index_sequence<table_entries>{});
    table_.NewString = &Callbacks::new_string;
    table_.GetStringLength = &Callbacks::get_string_length;
    table_.GetStringChars = &Callbacks::get_string_chars;
    table_.ReleaseStringChars = &Callbacks::release_string_chars;
    box_.env.functions = &table_;
    box_.owner = this;
}

jstring FakeJni::string(std::wstring units)
{
    return string(FakeString{std::move(units), false, std::nullopt});
}

jstring FakeJni::string(FakeString value)
{
    strings_.push_back(std::move(value));
    return reinterpret_cast<jstring>(&strings_.back());
}

std::optional<std::wstring> FakeJni::text_of(jstring string) const
{
    if (string == nullptr)
        return std::nullopt;
    return fake(string)->units;
}

CallResult call_vecraster(const FakeString& input, const FakeString& output, double dpi)
{
    static VecrasterFunction function = vecraster_export();
    EXPECT_NE(function, nullptr) << "vecraster-32.dll or its export not found";
    if (function == nullptr)
        return CallResult{false, L"(no library)", 0};
    FakeJni jni;
    jstring in = jni.string(input);
    jstring out = jni.string(output);
    jstring result = function(jni.env(), nullptr, in, out, dpi);

    for (const std::string& violation : jni.violations)
        ADD_FAILURE() << violation;
    EXPECT_TRUE(jni.outstanding.empty()) << jni.outstanding.size() << " borrowed string(s) not released";
    EXPECT_EQ(jni.borrows, jni.releases);
    if (result == nullptr) {
        EXPECT_TRUE(jni.created.empty()) << "made a string but answered null";
        return CallResult{true, L"", jni.borrows};
    }
    EXPECT_EQ(jni.created.size(), 1u) << "one string is made for an error";
    return CallResult{false, *jni.text_of(result), jni.borrows};
}

CallResult call_vecraster(const std::wstring& input, const std::wstring& output, double dpi)
{
    return call_vecraster(FakeString{input, false, std::nullopt}, FakeString{output, false, std::nullopt}, dpi);
}

namespace {

void draw_shapes(HDC dc, const std::vector<Shape>& shapes)
{
    SelectObject(dc, GetStockObject(NULL_PEN));
    for (const Shape& shape : shapes) {
        HBRUSH brush = CreateSolidBrush(shape.colour);
        HGDIOBJ previous = SelectObject(dc, brush);
        const RECT& b = shape.box;
        switch (shape.kind) {
        case Shape::Kind::rectangle:
            Rectangle(dc, b.left, b.top, b.right, b.bottom);
            break;
        case Shape::Kind::ellipse:
            Ellipse(dc, b.left, b.top, b.right, b.bottom);
            break;
        case Shape::Kind::triangle: {
            POINT points[] = {{(b.left + b.right) / 2, b.top}, {b.right, b.bottom}, {b.left, b.bottom}};
            Polygon(dc, points, 3);
            break;
        }
        }
        SelectObject(dc, previous);
        DeleteObject(brush);
    }
}

// GDI+ for the test's own reading and writing, separate from the library's sessions.
class Session {
public:
    Session()
    {
        GdiplusStartupInput input;
        ok_ = GdiplusStartup(&token_, &input, nullptr) == Ok;
    }
    ~Session()
    {
        if (ok_)
            GdiplusShutdown(token_);
    }
    bool ok() const { return ok_; }

private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

bool png_encoder(CLSID* clsid)
{
    UINT count = 0, size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<char> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    if (size == 0 || GdipGetImageEncoders(count, size, codecs) != Ok)
        return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

}  // namespace

void write_emf(const std::wstring& path, int width, int height, int dpi_x, int dpi_y, const std::vector<Shape>& shapes)
{
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, L"raster test\0shapes\0");
    ASSERT_NE(dc, nullptr);
    draw_shapes(dc, shapes);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    ASSERT_NE(emf, nullptr);
    UINT size = GetEnhMetaFileBits(emf, 0, nullptr);
    std::string bits(size, '\0');
    GetEnhMetaFileBits(emf, size, reinterpret_cast<BYTE*>(bits.data()));
    DeleteEnhMetaFile(emf);

    // The screen's resolution is whatever the display says; the header is set to an exact one:
    // a reference device of dpi x 10 pixels on 254 mm, and a frame (0.01 mm) of width x height.
    ENHMETAHEADER header;
    ASSERT_GE(bits.size(), sizeof(header));
    std::memcpy(&header, bits.data(), sizeof(header));
    header.rclFrame = RECTL{0, 0, width * 2540 / dpi_x, height * 2540 / dpi_y};
    header.rclBounds = RECTL{0, 0, width - 1, height - 1};
    header.szlDevice = SIZEL{dpi_x * 10, dpi_y * 10};
    header.szlMillimeters = SIZEL{254, 254};
    header.szlMicrometers = SIZEL{254000, 254000};
    std::memcpy(bits.data(), &header, sizeof(header));
    kit::write_file_bytes(path, bits);
}

void write_wmf(const std::wstring& path, int width, int height, int units_per_inch, const std::vector<Shape>& shapes)
{
    HDC dc = CreateMetaFileW(nullptr);
    ASSERT_NE(dc, nullptr);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, width, height, nullptr);
    draw_shapes(dc, shapes);
    HMETAFILE wmf = CloseMetaFile(dc);
    ASSERT_NE(wmf, nullptr);
    UINT size = GetMetaFileBitsEx(wmf, 0, nullptr);
    std::string bits(size, '\0');
    GetMetaFileBitsEx(wmf, size, bits.data());
    DeleteMetaFile(wmf);

    // The placeable header: key, handle, bounding box, units per inch, reserved, checksum.
    uint16_t header[11] = {0xCDD7, 0x9AC6, 0, 0, 0, static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                           static_cast<uint16_t>(units_per_inch), 0, 0, 0};
    for (int i = 0; i < 10; ++i)
        header[10] ^= header[i];
    kit::write_file_bytes(path, std::string(reinterpret_cast<const char*>(header), sizeof(header)) + bits);
}

void write_bmp(const std::wstring& path, int width, int height, int x_per_metre, int y_per_metre, COLORREF colour)
{
    int stride = (width * 3 + 3) / 4 * 4;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride * height);
    info.biXPelsPerMeter = x_per_metre;
    info.biYPelsPerMeter = y_per_metre;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::string pixels(info.biSizeImage, '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            char* p = &pixels[static_cast<size_t>(y * stride + x * 3)];
            p[0] = static_cast<char>(GetBValue(colour));
            p[1] = static_cast<char>(GetGValue(colour));
            p[2] = static_cast<char>(GetRValue(colour));
        }
    }
    kit::write_file_bytes(path, std::string(reinterpret_cast<const char*>(&file), sizeof(file)) +
                                    std::string(reinterpret_cast<const char*>(&info), sizeof(info)) + pixels);
}

void write_png(const std::wstring& path, int width, int height, float dpi_x, float dpi_y, uint32_t argb)
{
    Session session;
    ASSERT_TRUE(session.ok());
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap), Ok);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(bitmap, &graphics);
    GdipGraphicsClear(graphics, argb);
    GdipDeleteGraphics(graphics);
    GdipBitmapSetResolution(bitmap, dpi_x, dpi_y);
    CLSID clsid;
    bool have_encoder = png_encoder(&clsid);
    EXPECT_TRUE(have_encoder);
    if (have_encoder) {
        EXPECT_EQ(GdipSaveImageToFile(bitmap, path.c_str(), &clsid, nullptr), Ok);
    }
    GdipDisposeImage(bitmap);
}

std::optional<ImageInfo> image_info(const std::wstring& path)
{
    Session session;
    GpImage* image = nullptr;
    if (!session.ok() || GdipLoadImageFromFile(path.c_str(), &image) != Ok)
        return std::nullopt;
    ImageInfo info;
    GdipGetImageWidth(image, &info.width);
    GdipGetImageHeight(image, &info.height);
    GdipGetImageHorizontalResolution(image, &info.dpi_x);
    GdipGetImageVerticalResolution(image, &info.dpi_y);
    GdipDisposeImage(image);
    return info;
}

std::optional<Pixels> read_pixels(const std::wstring& path)
{
    Session session;
    GpBitmap* bitmap = nullptr;
    if (!session.ok() || GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Ok)
        return std::nullopt;
    Pixels pixels;
    UINT width = 0, height = 0;
    GdipGetImageWidth(bitmap, &width);
    GdipGetImageHeight(bitmap, &height);
    pixels.width = static_cast<int>(width);
    pixels.height = static_cast<int>(height);
    pixels.argb.resize(static_cast<size_t>(width) * height);
    GpRect rect{0, 0, pixels.width, pixels.height};
    BitmapData data{};
    data.Width = width;
    data.Height = height;
    data.Stride = static_cast<INT>(width * 4);
    data.PixelFormat = PixelFormat32bppARGB;
    data.Scan0 = pixels.argb.data();
    Status status = GdipBitmapLockBits(bitmap, &rect, ImageLockModeRead | ImageLockModeUserInputBuf,
                                       PixelFormat32bppARGB, &data);
    if (status == Ok)
        GdipBitmapUnlockBits(bitmap, &data);
    GdipDisposeImage(bitmap);
    if (status != Ok)
        return std::nullopt;
    return pixels;
}

std::optional<Phys> png_phys(const std::string& bytes)
{
    auto be32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3]));
    };
    if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return std::nullopt;
    for (size_t at = 8; at + 8 <= bytes.size();) {
        uint32_t length = be32(at);
        std::string type = bytes.substr(at + 4, 4);
        if (type == "pHYs" && length == 9 && at + 17 <= bytes.size())
            return Phys{be32(at + 8), be32(at + 12), static_cast<uint8_t>(bytes[at + 16])};
        if (type == "IDAT" || type == "IEND")
            break;
        at += 12 + static_cast<size_t>(length);
    }
    return std::nullopt;
}

double dots_per_inch(uint32_t per_metre)
{
    return per_metre * 0.0254;
}

}  // namespace raster
