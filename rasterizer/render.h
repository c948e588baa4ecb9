// Renders an image file (meant for Windows metafiles) into a transparent 32-bit bitmap at a
// requested resolution and saves it as PNG, all through the GDI+ flat API.
#pragma once

#include <windows.h>

#include <cstdint>

// Pixel size and recorded resolution of the output bitmap. A size of 0 means that none can be
// made; the bitmap creation then fails and the conversion ends with "cannot save output file".
struct OutputSize {
    int32_t width;
    int32_t height;
    float dpi_x;
    float dpi_y;
};

// The sizing rule: r = 0 or not a number keeps the source's own size and resolution; r < 0 is a
// lower bound that scales only when -r exceeds both source resolutions; r > 0 scales each axis
// by r / source resolution, rounded half up, and records r on both axes.
OutputSize compute_output_size(uint32_t width, uint32_t height, float dpi_x, float dpi_y, double r);

// Index of the first installed image encoder whose MIME type equals mime_type exactly, with
// its class identifier stored in clsid; -1 when there is none or the list cannot be read.
// GDI+ must be running.
int find_encoder_clsid(const wchar_t* mime_type, CLSID* clsid);

// Null when the PNG was written, else a constant error text of static lifetime.
const wchar_t* render_metafile_to_png(const wchar_t* input_path, const wchar_t* output_path, double r);
