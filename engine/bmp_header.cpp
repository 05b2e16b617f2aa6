// BMP: the info header after the 14-byte file header. OS/2 1.x (CORE, 12
// bytes) has 16-bit sides and no resolution; every later version (OS/2 2.x,
// INFO 40, V2-V5) has signed 32-bit sides and, from 40 bytes on, the
// resolution in pixels per metre.
#include "image_formats.h"

#include <cstdlib>

namespace kestova {

namespace {

// The header sizes that exist; "BM" alone is too short a signature to tell
// a bitmap from a text that happens to start with it.
bool KnownHeaderSize(quint32 size)
{
    switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: return true;
    default: return false;
    }
}

} // namespace

bool ReadBmpHeader(ImageSource &source, ImageHeader *header)
{
    uchar h[46];
    if (!source.read(0, h, 26))
        return false;
    const quint32 size = GetU32(h + 14, false);
    if (!KnownHeaderSize(size))
        return false;
    if (size == 12)
        return GetU16(h + 22, false) == 1 && SetPixelSize(header, GetU16(h + 18, false), GetU16(h + 20, false));
    if (!source.read(0, h, size >= 40 ? 46 : 30) || GetU16(h + 26, false) != 1)
        return false;
    const qint32 width = qint32(GetU32(h + 18, false));
    // A negative height stores the rows top-down.
    const qint64 height = std::llabs(qint64(qint32(GetU32(h + 22, false))));
    if (width <= 0 || !SetPixelSize(header, quint64(width), quint64(height)))
        return false;
    if (size >= 40) {
        const qint32 x = qint32(GetU32(h + 38, false));
        const qint32 y = qint32(GetU32(h + 42, false));
        SetDpi(header, UsableDpi(x * MetresPerInch, y * MetresPerInch));
    }
    return true;
}

} // namespace kestova
