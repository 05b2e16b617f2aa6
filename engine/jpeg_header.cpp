// JPEG: the frame header gives the pixel size; the JFIF APP0 density or
// else the EXIF APP1 IFD0 gives the resolution. Segments are skipped by
// their length, so an EXIF thumbnail (a whole JPEG with its own frame header
// inside APP1) is never mistaken for the image.
#include "image_formats.h"

namespace kestova {

namespace {

// More segments before the frame header, or more stray bytes between
// segments, than any real file has: the file is garbage.
constexpr int MaxSegments = 4096;
constexpr int MaxStrayBytes = 65536;

// SOF0-SOF15 except DHT (C4), JPG (C8) and DAC (CC), plus DHP (DE), whose
// frame size is the size of a hierarchical image.
bool IsFrameHeader(quint8 marker)
{
    return (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) || marker == 0xDE;
}

// Markers that stand alone, without a length: TEM, RSTn, SOI.
bool HasNoLength(quint8 marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

std::optional<Dpi> JfifDpi(const uchar *app0)
{
    // "JFIF\0", version (2), units, X density (2), Y density (2).
    const quint8 units = app0[7];
    const quint16 x = GetU16(app0 + 8, true);
    const quint16 y = GetU16(app0 + 10, true);
    if (x == 0 || y == 0)
        return std::nullopt;
    if (units == 1)
        return UsableDpi(x, y);
    if (units == 2)
        return UsableDpi(x * CentimetresPerInch, y * CentimetresPerInch);
    return std::nullopt;
}

// The marker at or after pos, leaving pos after it. Like libjpeg, skips
// stray bytes before a marker and the 0xFF fill bytes that may pad one.
int NextMarker(ImageSource &source, qint64 *pos, int *stray)
{
    quint8 b = 0;
    for (;;) {
        if (!source.u8(*pos, &b))
            return -1;
        if (b == 0xFF) {
            quint8 code = 0xFF;
            while (code == 0xFF) {
                if (++*stray > MaxStrayBytes || !source.u8(++*pos, &code))
                    return -1;
            }
            ++*pos;
            if (code != 0) // FF 00 is a stuffed byte of entropy-coded data, no marker
                return code;
        } else {
            ++*pos;
        }
        if (++*stray > MaxStrayBytes)
            return -1;
    }
}

} // namespace

bool ReadJpegHeader(ImageSource &source, ImageHeader *header)
{
    std::optional<Dpi> jfif;
    std::optional<Dpi> exif;
    bool jfifSeen = false;
    bool exifSeen = false;
    qint64 pos = 2; // after SOI
    int stray = 0;
    for (int segment = 0; segment < MaxSegments; ++segment) {
        const int code = NextMarker(source, &pos, &stray);
        if (code < 0)
            return false;
        const quint8 marker = quint8(code);
        if (HasNoLength(marker))
            continue;
        // End of image or start of scan before any frame header.
        if (marker == 0xD9 || marker == 0xDA)
            return false;
        quint16 length = 0;
        if (!source.u16(pos, true, &length) || length < 2)
            return false;
        const qint64 body = pos + 2;
        const qint64 bodyLength = length - 2;
        if (IsFrameHeader(marker)) {
            // Precision, height, width; a height of 0 is only given later
            // by a DNL marker, after the first scan.
            uchar f[5];
            if (bodyLength < 5 || !source.read(body, f, 5))
                return false;
            if (!SetPixelSize(header, GetU16(f + 3, true), GetU16(f + 1, true)))
                return false;
            SetDpi(header, jfif ? jfif : exif);
            return true;
        }
        if (marker == 0xE0 && !jfifSeen && bodyLength >= 12) {
            uchar a[12];
            if (source.read(body, a, 12) && std::memcmp(a, "JFIF\0", 5) == 0) {
                jfifSeen = true;
                jfif = JfifDpi(a);
            }
        } else if (marker == 0xE1 && !exifSeen && bodyLength >= 14) {
            // "Exif\0" and a pad byte, then the TIFF header. Other APP1
            // blocks (XMP) are skipped like any segment.
            uchar a[5];
            if (source.read(body, a, 5) && std::memcmp(a, "Exif\0", 5) == 0) {
                exifSeen = true;
                exif = ReadExifDpi(source, body + 6, bodyLength - 6);
            }
        }
        pos = body + bodyLength;
    }
    return false;
}

} // namespace kestova
