#include "ico_file.h"

#include <cstring>

namespace brand {
namespace {

constexpr uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint32_t largest_side = 256;

uint32_t load_big_endian(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | static_cast<uint32_t>(at[3]);
}

// The pixel size the image itself states: a PNG's header chunk, or a bitmap's header, whose
// height counts the colour rows and the mask rows.
bool image_size(View image, unsigned number, uint32_t& width, uint32_t& height, Error& error)
{
    if (image.size >= 8 && std::memcmp(image.data, png_signature, 8) == 0) {
        if (image.size < 24 || std::memcmp(image.data + 12, "IHDR", 4) != 0)
            return fail(error, "damaged icon file: image %u is a PNG without its header", number);
        width = load_big_endian(image.data + 16);
        height = load_big_endian(image.data + 20);
    } else {
        Reader bitmap{image};
        uint32_t header_size = bitmap.u32(0);
        int32_t signed_width = static_cast<int32_t>(bitmap.u32(4));
        int32_t signed_height = static_cast<int32_t>(bitmap.u32(8));
        // The headers of Windows bitmaps: BITMAPINFOHEADER, BITMAPV4HEADER, BITMAPV5HEADER.
        bool known = header_size == 40 || header_size == 108 || header_size == 124;
        if (!bitmap.ok || !known || header_size > image.size)
            return fail(error, "damaged icon file: image %u is neither a PNG nor a bitmap", number);
        if (signed_width <= 0 || signed_height <= 0)
            return fail(error, "damaged icon file: image %u has no pixels", number);
        width = static_cast<uint32_t>(signed_width);
        height = static_cast<uint32_t>(signed_height) / 2;
    }
    if (width == 0 || height == 0)
        return fail(error, "damaged icon file: image %u has no pixels", number);
    if (width > largest_side || height > largest_side)
        return fail(error, "image %u is %ux%u px; an icon image is at most 256x256 px", number, width, height);
    return true;
}

}  // namespace

bool read_ico(View file, List<IconImage>& images, Error& error)
{
    Reader ico{file};
    uint16_t reserved = ico.u16(0);
    uint16_t type = ico.u16(2);
    uint16_t count = ico.u16(4);
    if (!ico.ok || reserved != 0 || type != 1)
        return fail(error, "not an icon file");
    if (count == 0)
        return fail(error, "the icon file holds no image");
    if (!within(file.size, 6, 16 * static_cast<size_t>(count)))
        return fail(error, "damaged icon file: it ends inside its list of images");

    for (unsigned i = 0; i < count; ++i) {
        size_t entry = 6 + 16 * static_cast<size_t>(i);
        IconImage image;
        image.width = ico.u8(entry);
        image.height = ico.u8(entry + 1);
        image.colors = ico.u8(entry + 2);
        image.reserved = ico.u8(entry + 3);
        image.planes = ico.u16(entry + 4);
        image.bit_count = ico.u16(entry + 6);
        uint32_t size = ico.u32(entry + 8);
        uint32_t offset = ico.u32(entry + 12);
        unsigned number = i + 1;
        if (size == 0)
            return fail(error, "damaged icon file: image %u is empty", number);
        image.data = ico.bytes(offset, size);
        if (!ico.ok)
            return fail(error, "damaged icon file: image %u lies beyond the end of the file", number);
        uint32_t width = 0;
        uint32_t height = 0;
        if (!image_size(image.data, number, width, height, error))
            return false;
        if (!images.push(image))
            return out_of_memory(error);
    }
    return true;
}

}  // namespace brand
