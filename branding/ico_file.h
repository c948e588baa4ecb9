// The images of an .ico file, as an icon group resource lists them.
#pragma once

#include "bytes.h"

namespace brand {

struct IconImage {
    // The directory entry's fields, as the group resource repeats them (0 stands for 256 px).
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t colors = 0;
    uint8_t reserved = 0;
    uint16_t planes = 0;
    uint16_t bit_count = 0;
    View data;  // the image: a PNG file or a bitmap (header, colours, mask), inside the .ico
};

// Reads every image of an .ico file. Fails on anything but an icon file of one or more images,
// each inside the file, each a PNG or bitmap of 1 to 256 px in either direction.
bool read_ico(View file, List<IconImage>& images, Error& error);

}  // namespace brand
