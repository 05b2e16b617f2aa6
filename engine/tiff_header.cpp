// TIFF structures: TIFF and BigTIFF files, and the EXIF blocks that JPEG,
// WebP and HEIF files carry (a TIFF header with IFD0 inside the block).
#include "image_formats.h"

#include <bit>
#include <cmath>

namespace kestova {

namespace {

enum Tag : quint16 {
    NewSubfileType = 254,
    OldSubfileType = 255,
    ImageWidth = 256,
    ImageLength = 257,
    PhotometricInterpretation = 262,
    XResolution = 282,
    YResolution = 283,
    ResolutionUnit = 296,
    DngVersion = 50706,
};

// Photometric interpretations that hold sensor data rather than a picture.
constexpr quint32 PhotometricCfa = 32803;
constexpr quint32 PhotometricLinearRaw = 34892;

// No real IFD has more entries than a classic TIFF can count, and no image
// has its first full-resolution picture further down the chain than this.
constexpr quint64 MaxEntries = 65535;
constexpr int MaxChainLength = 32;

int TypeSize(quint16 type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                   // SHORT, SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG, SLONG, FLOAT, IFD
    case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
    case 16: case 17: case 18: return 8;        // LONG8, SLONG8, IFD8
    default: return 0;
    }
}

// The tags of one IFD that measurement uses.
struct Ifd {
    std::optional<double> width;
    std::optional<double> height;
    std::optional<double> xResolution;
    std::optional<double> yResolution;
    std::optional<double> unit;
    quint32 newSubfileType = 0;
    quint32 oldSubfileType = 0;
    quint32 photometric = 0;
    bool dng = false;
    quint64 next = 0;

    // Bit 0 of NewSubfileType (or the old SubfileType 2) marks a
    // reduced-resolution copy of another image; bit 2 a transparency mask.
    bool isFullImage() const { return (newSubfileType & 5) == 0 && oldSubfileType != 2; }

    std::optional<Dpi> dpi() const
    {
        if (!xResolution || !yResolution)
            return std::nullopt;
        const double u = unit.value_or(2);
        if (u == 2)
            return UsableDpi(*xResolution, *yResolution);
        if (u == 3)
            return UsableDpi(*xResolution * CentimetresPerInch, *yResolution * CentimetresPerInch);
        return std::nullopt;
    }
};

// A TIFF structure lying in [base, base + length) of the source; all its
// offsets count from base and must stay inside.
class TiffStructure
{
public:
    TiffStructure(ImageSource &source, qint64 base, qint64 length)
        : m_source(source)
        , m_base(base)
        , m_length(length)
    {
    }

    bool readHeader();
    bool readIfd(quint64 offset, Ifd *ifd);

    bool bigTiff() const { return m_bigTiff; }
    quint64 firstIfd() const { return m_firstIfd; }

private:
    bool at(quint64 offset, void *out, qint64 n)
    {
        if (offset > quint64(m_length) || quint64(n) > quint64(m_length) - offset)
            return false;
        return m_source.read(m_base + qint64(offset), out, n);
    }
    enum class Value { Number, NotNumber, Unreadable };
    Value number(const uchar *entry, double *out);

    ImageSource &m_source;
    qint64 m_base;
    qint64 m_length;
    bool m_bigEndian = false;
    bool m_bigTiff = false;
    quint64 m_firstIfd = 0;
};

bool TiffStructure::readHeader()
{
    uchar h[16];
    if (!at(0, h, 8))
        return false;
    if (h[0] == 'I' && h[1] == 'I')
        m_bigEndian = false;
    else if (h[0] == 'M' && h[1] == 'M')
        m_bigEndian = true;
    else
        return false;
    const quint16 version = GetU16(h + 2, m_bigEndian);
    if (version == 42) {
        m_firstIfd = GetU32(h + 4, m_bigEndian);
        return true;
    }
    // BigTIFF: 43, offset size 8, zero, then an 8-byte IFD offset.
    if (version != 43 || GetU16(h + 4, m_bigEndian) != 8 || GetU16(h + 6, m_bigEndian) != 0 || !at(8, h + 8, 8))
        return false;
    m_bigTiff = true;
    m_firstIfd = GetU64(h + 8, m_bigEndian);
    return true;
}

// The entry's first value as a number.
TiffStructure::Value TiffStructure::number(const uchar *entry, double *out)
{
    const quint16 type = GetU16(entry + 2, m_bigEndian);
    const int size = TypeSize(type);
    const quint64 count = m_bigTiff ? GetU64(entry + 4, m_bigEndian) : GetU32(entry + 4, m_bigEndian);
    if (size == 0 || type == 2 || type == 7 || count == 0)
        return Value::NotNumber;
    const uchar *field = entry + (m_bigTiff ? 12 : 8);
    const quint64 fieldSize = m_bigTiff ? 8 : 4;
    uchar value[8];
    if (count <= fieldSize / quint64(size)) {
        std::memcpy(value, field, size_t(size));
    } else {
        const quint64 offset = m_bigTiff ? GetU64(field, m_bigEndian) : GetU32(field, m_bigEndian);
        if (!at(offset, value, size))
            return Value::Unreadable;
    }
    const bool be = m_bigEndian;
    switch (type) {
    case 1: *out = value[0]; break;
    case 6: *out = qint8(value[0]); break;
    case 3: *out = GetU16(value, be); break;
    case 8: *out = qint16(GetU16(value, be)); break;
    case 4: case 13: *out = GetU32(value, be); break;
    case 9: *out = qint32(GetU32(value, be)); break;
    case 5: *out = double(GetU32(value, be)) / double(GetU32(value + 4, be)); break;
    case 10: *out = double(qint32(GetU32(value, be))) / double(qint32(GetU32(value + 4, be))); break;
    case 11: *out = std::bit_cast<float>(GetU32(value, be)); break;
    case 12: *out = std::bit_cast<double>(GetU64(value, be)); break;
    case 16: case 18: *out = double(GetU64(value, be)); break;
    case 17: *out = double(qint64(GetU64(value, be))); break;
    default: return Value::NotNumber;
    }
    return Value::Number;
}

// Reads the IFD at offset. False when its entries, or the value of a tag
// measurement needs, cannot be read: the structure is then broken or cut
// short, and what it would have said is unknown.
bool TiffStructure::readIfd(quint64 offset, Ifd *ifd)
{
    const int countSize = m_bigTiff ? 8 : 2;
    const int entrySize = m_bigTiff ? 20 : 12;
    quint64 count = 0;
    uchar c[8];
    if (!at(offset, c, countSize))
        return false;
    count = m_bigTiff ? GetU64(c, m_bigEndian) : GetU16(c, m_bigEndian);
    if (count > MaxEntries)
        return false;
    const quint64 first = offset + quint64(countSize);
    for (quint64 i = 0; i < count; ++i) {
        uchar entry[20];
        if (!at(first + i * quint64(entrySize), entry, entrySize))
            return false;
        const quint16 tag = GetU16(entry, m_bigEndian);
        std::optional<double> *slot = nullptr;
        switch (tag) {
        case ImageWidth: slot = &ifd->width; break;
        case ImageLength: slot = &ifd->height; break;
        case XResolution: slot = &ifd->xResolution; break;
        case YResolution: slot = &ifd->yResolution; break;
        case ResolutionUnit: slot = &ifd->unit; break;
        case DngVersion: ifd->dng = true; continue;
        case NewSubfileType: case OldSubfileType: case PhotometricInterpretation: break;
        default: continue;
        }
        double v = 0;
        const Value got = number(entry, &v);
        if (got == Value::Unreadable)
            return false;
        if (got == Value::NotNumber)
            continue;
        if (slot) {
            if (!*slot)
                *slot = v;
            continue;
        }
        const quint32 whole = v >= 0 && v <= 4294967295.0 ? quint32(v) : 0;
        if (tag == NewSubfileType)
            ifd->newSubfileType = whole;
        else if (tag == OldSubfileType)
            ifd->oldSubfileType = whole;
        else
            ifd->photometric = whole;
    }
    uchar next[8];
    const quint64 nextAt = first + count * quint64(entrySize);
    if (at(nextAt, next, countSize == 2 ? 4 : 8))
        ifd->next = m_bigTiff ? GetU64(next, m_bigEndian) : GetU32(next, m_bigEndian);
    return true;
}

// A pixel count from a tag value: a whole number, else nothing.
quint64 WholeSide(const std::optional<double> &v)
{
    if (!v || !(*v >= 1 && *v <= 4294967295.0) || std::floor(*v) != *v)
        return 0;
    return quint64(*v);
}

} // namespace

std::optional<Dpi> ReadExifDpi(ImageSource &source, qint64 start, qint64 length)
{
    TiffStructure tiff(source, start, length);
    Ifd ifd;
    if (!tiff.readHeader() || !tiff.readIfd(tiff.firstIfd(), &ifd))
        return std::nullopt;
    return ifd.dpi();
}

// Camera raw files are turned away, not measured: Canon CR2 ("CR" after
// the header) and Phase One IIQ ("IIII" there) by their signature, DNG by
// its version tag, sensor data by its photometric interpretation, and any
// file whose IFD chain holds no full-resolution image (a thumbnail first,
// the raw data in a SubIFD, as in NEF).
bool ReadTiffHeader(ImageSource &source, ImageHeader *header)
{
    TiffStructure tiff(source, 0, source.size());
    if (!tiff.readHeader())
        return false;
    const uchar *p = source.prefix();
    const qint64 n = source.prefixSize();
    if (!tiff.bigTiff() && n >= 12 && ((p[8] == 'C' && p[9] == 'R') || std::memcmp(p + 8, "IIII", 4) == 0))
        return false;

    quint64 visited[MaxChainLength];
    quint64 offset = tiff.firstIfd();
    for (int i = 0; i < MaxChainLength && offset != 0; ++i) {
        for (int j = 0; j < i; ++j) {
            if (visited[j] == offset)
                return false;
        }
        visited[i] = offset;
        Ifd ifd;
        if (!tiff.readIfd(offset, &ifd) || ifd.dng)
            return false;
        if (ifd.isFullImage()) {
            if (ifd.photometric == PhotometricCfa || ifd.photometric == PhotometricLinearRaw)
                return false;
            if (!SetPixelSize(header, WholeSide(ifd.width), WholeSide(ifd.height)))
                return false;
            SetDpi(header, ifd.dpi());
            return true;
        }
        offset = ifd.next;
    }
    return false;
}

} // namespace kestova
