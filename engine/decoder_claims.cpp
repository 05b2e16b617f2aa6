// Chunk walks over PNG and MNG streams, and the segments of a JPEG up to
// its first scan.
#include "decoder_claims.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kestova {

namespace {

constexpr char PngSignature[] = "\x89PNG\r\n\x1A\n";
constexpr char MngSignature[] = "\x8AMNG\r\n\x1A\n";
constexpr qint64 SignatureSize = 8;
constexpr quint32 MaxChunkLength = 0x7FFFFFFF;

bool Is(const uchar *type, const char *name)
{
    return std::memcmp(type, name, 4) == 0;
}

} // namespace

bool IsPng(const uchar *prefix, qint64 size)
{
    return StartsWith(prefix, size, PngSignature, SignatureSize);
}

bool IsMng(const uchar *prefix, qint64 size)
{
    return StartsWith(prefix, size, MngSignature, SignatureSize);
}

bool IsIconFile(const uchar *prefix, qint64 size)
{
    return StartsWith(prefix, size, "\0\0\1\0", 4) || StartsWith(prefix, size, "\0\0\2\0", 4)
        || StartsWith(prefix, size, "icns", 4);
}

PngChunks CheckPngChunks(ImageSource &source, qint64 start, qint64 end)
{
    PngChunks result;
    end = std::min(end, source.size());
    bool imageData = false; // IDAT chunks seen
    qint64 pos = start + SignatureSize;
    for (;;) {
        uchar c[8];
        const bool headerFits = pos + 8 <= end && source.read(pos, c, 8);
        const quint32 length = headerFits ? GetU32(c, true) : 0;
        const bool fits = headerFits && length <= MaxChunkLength && end - pos - 12 >= qint64(length);
        if (!fits) {
            // The image data is complete once a chunk other than IDAT follows it.
            if (imageData && !(headerFits && Is(c + 4, "IDAT"))) {
                result.fit = PngChunks::ImageThenCut;
                result.cut = pos;
            }
            return result;
        }
        if (Is(c + 4, "IHDR") && length >= 8 && pos == start + SignatureSize) {
            uchar size[8];
            if (!source.read(pos + 8, size, 8))
                return result;
            result.pixels = quint64(GetU32(size, true)) * GetU32(size + 4, true);
        } else if (Is(c + 4, "IDAT")) {
            imageData = true;
        } else if (Is(c + 4, "IEND")) {
            result.fit = imageData ? PngChunks::Whole : PngChunks::Damaged;
            return result;
        }
        pos += 12 + qint64(length); // length, type, data, CRC
    }
}

bool EmbeddedPngsFit(ImageSource &source, quint64 maxPixels)
{
    // Blocks overlap by the signature's length less one, so that a
    // signature across two blocks is found in the second.
    constexpr qint64 Block = 64 * 1024;
    std::vector<uchar> block(Block);
    for (qint64 offset = 0; source.size() - offset >= SignatureSize; offset += Block - (SignatureSize - 1)) {
        const qint64 n = std::min(Block, source.size() - offset);
        if (!source.read(offset, block.data(), n))
            return false;
        const uchar *first = block.data();
        const uchar *last = first + n;
        const auto signature = reinterpret_cast<const uchar *>(PngSignature);
        for (const uchar *p = first; (p = std::search(p, last, signature, signature + SignatureSize)) != last; ++p) {
            const PngChunks png = CheckPngChunks(source, offset + (p - first), source.size());
            if (png.fit != PngChunks::Whole || png.pixels > maxPixels)
                return false;
        }
        if (offset + n >= source.size())
            break;
    }
    return true;
}

double MngClaimedPixels(ImageSource &source)
{
    constexpr double Refused = std::numeric_limits<double>::infinity();
    uchar h[8];
    if (!source.read(0, h, 8) || !IsMng(h, 8))
        return Refused;
    double frame = 0;
    double images = 0;
    double largest = 0;
    double magnification = 1;
    for (qint64 pos = SignatureSize;;) {
        uchar c[8];
        if (!source.read(pos, c, 8))
            return Refused;
        const quint32 length = GetU32(c, true);
        if (length > MaxChunkLength || source.size() - pos - 12 < qint64(length))
            return Refused;
        uchar d[19] = {};
        if (!source.read(pos + 8, d, std::min<qint64>(length, sizeof d)))
            return Refused;
        if (Is(c + 4, "MEND"))
            return frame + images * magnification;
        if (Is(c + 4, "MHDR") || Is(c + 4, "IHDR") || Is(c + 4, "JHDR") || Is(c + 4, "BASI")) {
            if (length < 8)
                return Refused;
            const double pixels = double(GetU32(d, true)) * GetU32(d + 4, true);
            if (Is(c + 4, "MHDR")) {
                frame = pixels;
            } else {
                images += pixels;
                largest = std::max(largest, pixels);
            }
        } else if (Is(c + 4, "CLON")) {
            images += largest;
        } else if (Is(c + 4, "MAGN")) {
            // Fields from offset 5: MX, MY, ML, MR, MT, MB, each two bytes;
            // absent ones repeat earlier ones, so the largest present bounds
            // both directions.
            quint32 factor = 1;
            for (qint64 at = 5; at + 2 <= std::min<qint64>(length, 17); at += 2)
                factor = std::max<quint32>(factor, GetU16(d + at, true));
            magnification = std::max(magnification, double(factor) * factor);
        }
        pos += 12 + qint64(length);
    }
}

double JpegBufferedBytes(ImageSource &source)
{
    constexpr int MaxStrayBytes = 65536;
    uchar h[3];
    if (!source.read(0, h, 3) || h[0] != 0xFF || h[1] != 0xD8 || h[2] != 0xFF)
        return 0;
    bool progressive = false;
    struct Component {
        int h = 1;
        int v = 1;
    };
    std::vector<Component> components;
    double width = 0;
    double height = 0;
    int stray = 0;
    for (qint64 pos = 2;;) {
        // The next marker, past stray bytes and 0xFF fill, as libjpeg finds it.
        quint8 b = 0;
        if (!source.u8(pos, &b))
            return 0;
        if (b != 0xFF) {
            if (++stray > MaxStrayBytes)
                return 0;
            ++pos;
            continue;
        }
        quint8 marker = 0xFF;
        while (marker == 0xFF)
            if (!source.u8(++pos, &marker))
                return 0;
        ++pos;
        if (marker == 0 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // stuffed byte, TEM, RSTn, SOI: no length
        quint16 length = 0;
        if (marker == 0xD9 || !source.u16(pos, true, &length) || length < 2)
            return 0;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            uchar f[6];
            if (!source.read(pos + 2, f, 6))
                return 0;
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            height = GetU16(f + 1, true);
            width = GetU16(f + 3, true);
            components.assign(f[5], Component());
            for (size_t i = 0; i < components.size(); ++i) {
                quint8 sampling = 0;
                if (!source.u8(pos + 8 + 3 * qint64(i) + 1, &sampling))
                    return 0;
                components[i] = {std::max(1, sampling >> 4), std::max(1, sampling & 0x0F)};
            }
        } else if (marker == 0xDA) {
            quint8 inScan = 0;
            if (components.empty() || !source.u8(pos + 2, &inScan))
                return 0;
            if (!progressive && inScan >= components.size())
                return 0; // one scan, decoded as it is read
            int hMax = 1;
            int vMax = 1;
            for (const Component &c : components) {
                hMax = std::max(hMax, c.h);
                vMax = std::max(vMax, c.v);
            }
            // 64 coefficients of two bytes per 8 × 8 block of each
            // component, its rows and columns of blocks rounded up to its
            // sampling factors.
            double bytes = 0;
            for (const Component &c : components) {
                const double columns = std::ceil(std::ceil(width * c.h / hMax / 8) / c.h) * c.h;
                const double rows = std::ceil(std::ceil(height * c.v / vMax / 8) / c.v) * c.v;
                bytes += columns * rows * 128;
            }
            return bytes;
        }
        pos += length;
    }
}

} // namespace kestova
