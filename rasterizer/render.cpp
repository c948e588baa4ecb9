#include "render.h"

// GDI+ needs the COM declarations that a lean windows.h leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <cstdlib>
#include <cwchar>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

constexpr wchar_t out_of_memory_source[] = L"out of memory #01";
constexpr wchar_t cannot_load_input[] = L"cannot load input file";
constexpr wchar_t out_of_memory_bitmap[] = L"out of memory #02";
constexpr wchar_t no_png_encoder[] = L"no PNG encoder";
constexpr wchar_t cannot_save_output[] = L"cannot save output file";

constexpr ARGB transparent_white = 0x00FFFFFF;

// One axis of a scaled size: pixels x (r / dpi) + 0.5, truncated. Anything that is not a
// usable bitmap size -- a failed resolution query (0), an infinite r, a result that is not a
// number or does not fit a positive 32-bit size -- is 0, never a wrapped-around value.
int32_t scaled_length(uint32_t pixels, float dpi, double r)
{
    double length = static_cast<double>(pixels) * (r / static_cast<double>(dpi)) + 0.5;
    if (!std::isfinite(length) || length < 0.0 || length >= 2147483648.0)
        return 0;
    return static_cast<int32_t>(length);
}

// GDI+ session of one call; shut down only when it was started.
class GdiplusSession {
public:
    GdiplusSession()
    {
        GdiplusStartupInput input;  // version 1, no debug callback, background thread, external codecs
        started_ = GdiplusStartup(&token_, &input, nullptr) == Ok;
    }
    ~GdiplusSession()
    {
        if (started_)
            GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    bool started() const { return started_; }

private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

// A GDI+ image kept in a holder from the GDI+ heap: the image is disposed before the holder
// goes back to the heap.
class ImageHolder {
public:
    ImageHolder() : slot_(static_cast<GpImage**>(GdipAlloc(sizeof(GpImage*))))
    {
        if (slot_ != nullptr)
            *slot_ = nullptr;
    }
    ~ImageHolder()
    {
        if (slot_ == nullptr)
            return;
        if (*slot_ != nullptr)
            GdipDisposeImage(*slot_);
        GdipFree(slot_);
    }
    ImageHolder(const ImageHolder&) = delete;
    ImageHolder& operator=(const ImageHolder&) = delete;

    bool allocated() const { return slot_ != nullptr; }
    GpImage** slot() { return slot_; }
    GpImage* image() const { return *slot_; }

private:
    GpImage** slot_;
};

class GraphicsGuard {
public:
    GraphicsGuard() = default;
    ~GraphicsGuard()
    {
        if (graphics_ != nullptr)
            GdipDeleteGraphics(graphics_);
    }
    GraphicsGuard(const GraphicsGuard&) = delete;
    GraphicsGuard& operator=(const GraphicsGuard&) = delete;

    GpGraphics** slot() { return &graphics_; }
    GpGraphics* get() const { return graphics_; }

private:
    GpGraphics* graphics_ = nullptr;
};

// Draws the source onto a new transparent bitmap and saves it. The graphics context is declared
// after the bitmap so that it is deleted before the bitmap it draws on is disposed.
const wchar_t* draw_and_save(GpImage* source, const OutputSize& size, const wchar_t* output_path)
{
    ImageHolder bitmap;
    if (!bitmap.allocated())
        return out_of_memory_bitmap;
    GpBitmap* created = nullptr;
    GdipCreateBitmapFromScan0(size.width, size.height, 0, PixelFormat32bppARGB, nullptr, &created);
    *bitmap.slot() = created;
    GraphicsGuard graphics;
    if (bitmap.image() != nullptr)
        GdipGetImageGraphicsContext(bitmap.image(), graphics.slot());
    if (graphics.get() != nullptr) {
        GdipSetInterpolationMode(graphics.get(), InterpolationModeHighQualityBicubic);
        GdipSetSmoothingMode(graphics.get(), SmoothingModeHighQuality);
        GdipSetTextRenderingHint(graphics.get(), TextRenderingHintClearTypeGridFit);
        GdipGraphicsClear(graphics.get(), transparent_white);
        GdipDrawImageRectI(graphics.get(), source, 0, 0, size.width, size.height);
    }

    CLSID png_clsid;
    if (find_encoder_clsid(L"image/png", &png_clsid) < 0)
        return no_png_encoder;
    if (bitmap.image() == nullptr)
        return cannot_save_output;
    GdipBitmapSetResolution(static_cast<GpBitmap*>(bitmap.image()), size.dpi_x, size.dpi_y);
    if (GdipSaveImageToFile(bitmap.image(), output_path, &png_clsid, nullptr) != Ok)
        return cannot_save_output;
    return nullptr;
}

} // namespace

OutputSize compute_output_size(uint32_t width, uint32_t height, float dpi_x, float dpi_y, double r)
{
    OutputSize own{static_cast<int32_t>(width), static_cast<int32_t>(height), dpi_x, dpi_y};
    if (r == 0.0 || std::isnan(r))
        return own;
    if (r < 0.0) {
        if (!(-r > static_cast<double>(dpi_x) && -r > static_cast<double>(dpi_y)))
            return own;
        r = -r;
    }
    float dpi = static_cast<float>(r);
    return OutputSize{scaled_length(width, dpi_x, r), scaled_length(height, dpi_y, r), dpi, dpi};
}

int find_encoder_clsid(const wchar_t* mime_type, CLSID* clsid)
{
    UINT count = 0;
    UINT byte_size = 0;
    GdipGetImageEncodersSize(&count, &byte_size);
    if (byte_size == 0)
        return -1;
    auto* codecs = static_cast<ImageCodecInfo*>(malloc(byte_size));
    if (codecs == nullptr)
        return -1;
    int found = -1;
    if (GdipGetImageEncoders(count, byte_size, codecs) == Ok) {
        // The records come first in the buffer, their strings after them.
        UINT capacity = static_cast<UINT>(byte_size / sizeof(ImageCodecInfo));
        UINT usable = count < capacity ? count : capacity;
        for (UINT i = 0; i < usable; ++i) {
            if (codecs[i].MimeType != nullptr && wcscmp(codecs[i].MimeType, mime_type) == 0) {
                *clsid = codecs[i].Clsid;
                found = static_cast<int>(i);
                break;
            }
        }
    }
    free(codecs);
    return found;
}

const wchar_t* render_metafile_to_png(const wchar_t* input_path, const wchar_t* output_path, double r)
{
    GdiplusSession session;
    // Without a running GDI+ no holder can be had from its heap, so this is the text that the
    // first allocation would give.
    if (!session.started())
        return out_of_memory_source;
    ImageHolder source;
    if (!source.allocated())
        return out_of_memory_source;
    if (GdipLoadImageFromFile(input_path, source.slot()) != Ok) {
        // Whatever a failed load left in the slot is no image to dispose.
        *source.slot() = nullptr;
        return cannot_load_input;
    }

    UINT width = 0;
    UINT height = 0;
    REAL dpi_x = 0.0f;
    REAL dpi_y = 0.0f;
    GdipGetImageWidth(source.image(), &width);
    GdipGetImageHeight(source.image(), &height);
    GdipGetImageHorizontalResolution(source.image(), &dpi_x);
    GdipGetImageVerticalResolution(source.image(), &dpi_y);

    return draw_and_save(source.image(), compute_output_size(width, height, dpi_x, dpi_y, r), output_path);
}
