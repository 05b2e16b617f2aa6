// GIF: the logical screen size, as viewers and exiftool report it; when a
// writer left the screen 0 × 0, the size of the first image instead. GIF has
// no resolution.
#include "image_formats.h"

namespace kestova {

namespace {

constexpr int MaxBlocks = 100000;

} // namespace

bool ReadGifHeader(ImageSource &source, ImageHeader *header)
{
    // Signature (6), screen width, height, flags, background, aspect.
    uchar h[13];
    if (!source.read(0, h, 13))
        return false;
    const quint16 screenWidth = GetU16(h + 6, false);
    const quint16 screenHeight = GetU16(h + 8, false);
    if (screenWidth > 0 && screenHeight > 0)
        return SetPixelSize(header, screenWidth, screenHeight);

    qint64 pos = 13;
    if (h[10] & 0x80)
        pos += 3 << ((h[10] & 7) + 1); // global colour table
    for (int block = 0; block < MaxBlocks; ++block) {
        quint8 introducer = 0;
        if (!source.u8(pos, &introducer))
            return false;
        if (introducer == 0x2C) {
            // Left, top, width, height.
            uchar d[8];
            return source.read(pos + 1, d, 8) && SetPixelSize(header, GetU16(d + 4, false), GetU16(d + 6, false));
        }
        if (introducer != 0x21)
            return false; // trailer or garbage before any image
        // Extension: label, then data sub-blocks up to an empty one.
        pos += 2;
        for (;; ++block) {
            quint8 length = 0;
            if (block >= MaxBlocks || !source.u8(pos, &length))
                return false;
            pos += 1 + length;
            if (length == 0)
                break;
        }
    }
    return false;
}

} // namespace kestova
