// WebP: a RIFF file whose first chunk is a lossy (VP8), lossless (VP8L) or
// extended (VP8X) image. Only the extended kind carries EXIF, and with it a
// resolution.
#include "image_formats.h"

namespace kestova {

namespace {

constexpr int MaxChunks = 100000;

bool Vp8Size(ImageSource &source, qint64 data, quint32 length, ImageHeader *header)
{
    // Frame tag (3 bytes, bit 0 clear on a key frame), start code, then the
    // 14-bit width and height, each with 2 bits of scaling above them.
    uchar d[10];
    if (length < 10 || !source.read(data, d, 10) || (d[0] & 1) != 0 || d[3] != 0x9D || d[4] != 0x01 || d[5] != 0x2A)
        return false;
    return SetPixelSize(header, GetU16(d + 6, false) & 0x3FFF, GetU16(d + 8, false) & 0x3FFF);
}

bool Vp8lSize(ImageSource &source, qint64 data, quint32 length, ImageHeader *header)
{
    // Signature 0x2F, then width - 1 and height - 1 in 14 bits each, the
    // alpha hint and a 3-bit version that must be 0.
    uchar d[5];
    if (length < 5 || !source.read(data, d, 5) || d[0] != 0x2F)
        return false;
    const quint32 bits = GetU32(d + 1, false);
    if (bits >> 29 != 0)
        return false;
    return SetPixelSize(header, (bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
}

std::optional<Dpi> ExifChunkDpi(ImageSource &source, qint64 data, quint32 length)
{
    // Some writers keep JPEG's "Exif\0\0" in front of the TIFF header.
    uchar e[6];
    if (length >= 6 && source.read(data, e, 6) && std::memcmp(e, "Exif\0", 5) == 0)
        return ReadExifDpi(source, data + 6, length - 6);
    return ReadExifDpi(source, data, length);
}

} // namespace

bool ReadWebpHeader(ImageSource &source, ImageHeader *header)
{
    uchar h[20];
    if (!source.read(0, h, 20) || std::memcmp(h + 8, "WEBP", 4) != 0)
        return false;
    const qint64 end = 8 + qint64(GetU32(h + 4, false));
    const quint32 firstLength = GetU32(h + 16, false);
    if (std::memcmp(h + 12, "VP8 ", 4) == 0)
        return Vp8Size(source, 20, firstLength, header);
    if (std::memcmp(h + 12, "VP8L", 4) == 0)
        return Vp8lSize(source, 20, firstLength, header);
    if (std::memcmp(h + 12, "VP8X", 4) != 0)
        return false;

    // Flags, 3 reserved bytes, canvas width - 1 and height - 1 in 24 bits
    // each.
    uchar x[10];
    if (firstLength < 10 || !source.read(20, x, 10))
        return false;
    const quint32 width = (x[4] | x[5] << 8 | x[6] << 16) + 1;
    const quint32 height = (x[7] | x[8] << 8 | x[9] << 16) + 1;

    // The other chunks, to find the EXIF block (often after the image data)
    // and to make sure there is image data at all. A file shorter than its
    // RIFF size was cut short, and may have lost its EXIF block.
    if (end > source.size())
        return false;
    std::optional<Dpi> dpi;
    bool hasImage = false;
    qint64 pos = 20 + qint64(firstLength) + (firstLength & 1);
    for (int i = 0; i < MaxChunks && pos + 8 <= end; ++i) {
        uchar c[8];
        if (!source.read(pos, c, 8))
            return false;
        const quint32 length = GetU32(c + 4, false);
        const qint64 data = pos + 8;
        if (qint64(length) > end - data)
            return false;
        if (std::memcmp(c, "VP8 ", 4) == 0 || std::memcmp(c, "VP8L", 4) == 0 || std::memcmp(c, "ANMF", 4) == 0)
            hasImage = true;
        else if (std::memcmp(c, "EXIF", 4) == 0 && !dpi)
            dpi = ExifChunkDpi(source, data, length);
        pos = data + qint64(length) + (length & 1);
    }
    if (!hasImage || !SetPixelSize(header, width, height))
        return false;
    SetDpi(header, dpi);
    return true;
}

} // namespace kestova
