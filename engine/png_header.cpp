// PNG: IHDR gives the pixel size, pHYs (before the image data) the
// resolution in pixels per metre. MNG: its first chunk, MHDR, gives the
// frame size.
#include "decoder_claims.h"
#include "image_formats.h"

namespace kestova {

namespace {

constexpr int MaxChunks = 100000;
constexpr quint32 MaxChunkLength = 0x7FFFFFFF;

} // namespace

bool ReadPngHeader(ImageSource &source, ImageHeader *header)
{
    // Signature (8), IHDR length and type (8), width, height.
    uchar h[24];
    if (!source.read(0, h, 24) || GetU32(h + 8, true) < 8 || std::memcmp(h + 12, "IHDR", 4) != 0)
        return false;
    const quint32 width = GetU32(h + 16, true);
    const quint32 height = GetU32(h + 20, true);
    if (width > MaxChunkLength || height > MaxChunkLength)
        return false;

    // The chunks up to the first image data: a file cut short before it
    // holds no picture, and pHYs must come before it.
    std::optional<Dpi> dpi;
    qint64 pos = 8;
    for (int i = 0; i < MaxChunks; ++i) {
        uchar c[8];
        if (!source.read(pos, c, 8))
            return false;
        const quint32 length = GetU32(c, true);
        if (length > MaxChunkLength)
            return false;
        if (std::memcmp(c + 4, "IDAT", 4) == 0) {
            if (!SetPixelSize(header, width, height))
                return false;
            SetDpi(header, dpi);
            return true;
        }
        if (std::memcmp(c + 4, "IEND", 4) == 0)
            return false;
        if (std::memcmp(c + 4, "pHYs", 4) == 0 && length >= 9 && !dpi) {
            uchar p[9];
            if (!source.read(pos + 8, p, 9))
                return false;
            if (p[8] == 1)
                dpi = UsableDpi(GetU32(p, true) * MetresPerInch, GetU32(p + 4, true) * MetresPerInch);
        }
        pos += 12 + qint64(length); // length, type, data, CRC
    }
    return false;
}

bool ReadMngHeader(ImageSource &source, ImageHeader *header)
{
    // Signature (8), MHDR length and type (8), its 28 bytes from frame width
    // and height on, CRC.
    uchar h[24];
    if (source.size() < 48 || !source.read(0, h, 24) || !IsMng(h, 8) || GetU32(h + 8, true) < 28
        || std::memcmp(h + 12, "MHDR", 4) != 0)
        return false;
    return SetPixelSize(header, GetU32(h + 16, true), GetU32(h + 20, true));
}

} // namespace kestova
