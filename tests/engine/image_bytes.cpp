// The byte builders and expectations of image_bytes.h.
#include "image_bytes.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>

namespace kestova::test {

// ---- Byte building -------------------------------------------------------

QByteArray U16(quint16 v, bool bigEndian)
{
    QByteArray b(2, '\0');
    bigEndian ? qToBigEndian(v, b.data()) : qToLittleEndian(v, b.data());
    return b;
}
QByteArray U32(quint32 v, bool bigEndian)
{
    QByteArray b(4, '\0');
    bigEndian ? qToBigEndian(v, b.data()) : qToLittleEndian(v, b.data());
    return b;
}
QByteArray U64(quint64 v, bool bigEndian)
{
    QByteArray b(8, '\0');
    bigEndian ? qToBigEndian(v, b.data()) : qToLittleEndian(v, b.data());
    return b;
}
QByteArray Be16(quint16 v) { return U16(v, true); }
QByteArray Be32(quint32 v) { return U32(v, true); }
QByteArray Le16(quint16 v) { return U16(v, false); }
QByteArray Le32(quint32 v) { return U32(v, false); }
QByteArray Bytes(std::initializer_list<int> bytes)
{
    QByteArray b;
    for (int v : bytes)
        b.append(char(v));
    return b;
}
QByteArray Text(const char *s, int n) { return QByteArray(s, n); }

// ---- TIFF structures (files and EXIF blocks) -----------------------------

Tag Rat(quint16 tag, quint32 numerator, quint32 denominator) { return {tag, Rational, {numerator, denominator}}; }
Tag Sh(quint16 tag, quint16 v) { return {tag, Short, {v}}; }
Tag Lg(quint16 tag, quint32 v) { return {tag, Long, {v}}; }

namespace {

QByteArray TypeBytes(const Tag &t, bool be)
{
    QByteArray out;
    for (qsizetype i = 0; i < t.values.size(); ++i) {
        const quint64 v = t.values[i];
        switch (t.type) {
        case Byte: case Ascii: out.append(char(v)); break;
        case Short: out += U16(quint16(v), be); break;
        case Long: case Float: case Rational: case SRational: out += U32(quint32(v), be); break;
        default: out += U64(v, be); break;
        }
    }
    return out;
}

qsizetype ValueCount(const Tag &t)
{
    return t.type == Rational || t.type == SRational ? t.values.size() / 2 : t.values.size();
}

} // namespace

QByteArray TiffBytes(const QList<QList<Tag>> &ifds, const TiffLayout &l)
{
    const bool be = l.bigEndian;
    const int headerSize = l.bigTiff ? 16 : 8;
    const int countSize = l.bigTiff ? 8 : 2;
    const int entrySize = l.bigTiff ? 20 : 12;
    const int fieldSize = l.bigTiff ? 8 : 4;

    // Values too large for their entry go to a data block.
    QByteArray data;
    QList<QList<qsizetype>> dataOffsets;
    for (const auto &ifd : ifds) {
        QList<qsizetype> offsets;
        for (const Tag &t : ifd) {
            const QByteArray v = TypeBytes(t, be);
            offsets.append(v.size() > fieldSize ? data.size() : -1);
            if (v.size() > fieldSize) {
                data += v;
                if (data.size() % 2)
                    data.append('\0');
            }
        }
        dataOffsets.append(offsets);
    }
    QList<qsizetype> ifdStart;
    qsizetype pos = l.ifdsAtEnd ? headerSize + l.filler + data.size() : headerSize;
    for (const auto &ifd : ifds) {
        ifdStart.append(pos);
        pos += countSize + ifd.size() * entrySize + fieldSize;
    }
    const qsizetype dataStart = l.ifdsAtEnd ? headerSize + l.filler : pos;

    QByteArray out = be ? "MM" : "II";
    if (l.bigTiff)
        out += U16(43, be) + U16(8, be) + U16(0, be) + U64(ifds.isEmpty() ? 0 : ifdStart[0], be);
    else
        out += U16(42, be) + U32(ifds.isEmpty() ? 0 : quint32(ifdStart[0]), be);
    QByteArray filler(l.filler, char(0x55));
    if (l.ifdsAtEnd)
        out += filler + data;
    for (qsizetype i = 0; i < ifds.size(); ++i) {
        const auto &ifd = ifds[i];
        out += l.bigTiff ? U64(ifd.size(), be) : U16(quint16(ifd.size()), be);
        for (qsizetype j = 0; j < ifd.size(); ++j) {
            const Tag &t = ifd[j];
            out += U16(t.tag, be) + U16(t.type, be);
            out += l.bigTiff ? U64(ValueCount(t), be) : U32(quint32(ValueCount(t)), be);
            QByteArray field = dataOffsets[i][j] >= 0
                ? (l.bigTiff ? U64(dataStart + dataOffsets[i][j], be) : U32(quint32(dataStart + dataOffsets[i][j]), be))
                : TypeBytes(t, be);
            field.resize(fieldSize, '\0');
            out += field;
        }
        qsizetype next = i + 1 < ifds.size() ? ifdStart[i + 1] : 0;
        if (i + 1 == ifds.size() && l.nextOfLast >= 0)
            next = ifdStart[l.nextOfLast];
        out += l.bigTiff ? U64(next, be) : U32(quint32(next), be);
    }
    if (!l.ifdsAtEnd)
        out += data + filler;
    return out;
}

QList<Tag> ImageTags(quint32 width, quint32 height, QList<Tag> more)
{
    QList<Tag> tags{Lg(ImageWidth, width), Lg(ImageLength, height), Sh(Photometric, 2)};
    tags += more;
    std::sort(tags.begin(), tags.end(), [](const Tag &a, const Tag &b) { return a.tag < b.tag; });
    return tags;
}

QList<Tag> ResolutionTags(quint32 x, quint32 y, int unit)
{
    QList<Tag> tags{Rat(XRes, x, 1), Rat(YRes, y, 1)};
    if (unit >= 0)
        tags.append(Sh(ResUnit, quint16(unit)));
    return tags;
}

// ---- JPEG ----------------------------------------------------------------

QByteArray Segment(quint8 marker, const QByteArray &payload)
{
    return Bytes({0xFF, marker}) + Be16(quint16(payload.size() + 2)) + payload;
}

QByteArray Jfif(int units, int x, int y)
{
    return Segment(0xE0, Text("JFIF\0", 5) + Bytes({1, 2, units}) + Be16(quint16(x)) + Be16(quint16(y)) + Bytes({0, 0}));
}

QByteArray ExifApp1(const QByteArray &tiff, const QByteArray &after)
{
    return Segment(0xE1, Text("Exif\0\0", 6) + tiff + after);
}

QByteArray ExifDpi(quint32 x, quint32 y, int unit, bool bigEndian)
{
    return ExifApp1(TiffBytes({ResolutionTags(x, y, unit)}, {.bigEndian = bigEndian}));
}

QByteArray Xmp()
{
    return Segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)
                             + "<x:xmpmeta xmlns:x='adobe:ns:meta/'><tiff:XResolution>600/1</tiff:XResolution>"
                               "<tiff:ImageWidth>9999</tiff:ImageWidth></x:xmpmeta>");
}

QByteArray Frame(int width, int height, quint8 marker, int components)
{
    QByteArray f = Bytes({8}) + Be16(quint16(height)) + Be16(quint16(width)) + Bytes({components});
    for (int c = 1; c <= components; ++c)
        f += Bytes({c, 0x11, 0});
    return Segment(marker, f);
}

QByteArray Quantisation()
{
    return Segment(0xDB, Bytes({0}) + QByteArray(64, char(1)));
}

QByteArray ScanToEnd()
{
    return Segment(0xDA, Bytes({1, 1, 0, 0, 63, 0})) + QByteArray(16, char(0x2A)) + Bytes({0xFF, 0xD9});
}

QByteArray Jpeg(std::initializer_list<QByteArray> beforeFrame, int width, int height, quint8 marker)
{
    QByteArray j = Bytes({0xFF, 0xD8});
    for (const QByteArray &s : beforeFrame)
        j += s;
    return j + Quantisation() + Frame(width, height, marker) + ScanToEnd();
}

QByteArray TinyExifDpi()
{
    return ExifApp1(TiffBytes({{Rat(XRes, 1, 1000000000), Rat(YRes, 1, 1000000000)}}));
}

QByteArray ExifWithThumbnail(quint32 dpi)
{
    const QByteArray thumbnail = Jpeg({Jfif(1, 72, 72)}, 160, 120);
    QByteArray tiff = TiffBytes({ResolutionTags(dpi, dpi, 2)}, {.bigEndian = true});
    return ExifApp1(tiff, thumbnail + QByteArray(40000 - thumbnail.size(), char(0x33)));
}

// ---- PNG, BMP, GIF, WebP -------------------------------------------------

QByteArray Chunk(const char *type, const QByteArray &data)
{
    // The readers do not check CRCs; a fixed value keeps the layout right.
    return Be32(quint32(data.size())) + QByteArray(type, 4) + data + Be32(0);
}

QByteArray Ihdr(quint32 width, quint32 height)
{
    return Chunk("IHDR", Be32(width) + Be32(height) + Bytes({8, 2, 0, 0, 0}));
}

QByteArray Phys(quint32 x, quint32 y, int unit)
{
    return Chunk("pHYs", Be32(x) + Be32(y) + Bytes({unit}));
}

QByteArray Png(std::initializer_list<QByteArray> chunks)
{
    QByteArray p("\x89PNG\r\n\x1A\n", 8);
    for (const QByteArray &c : chunks)
        p += c;
    return p;
}

QByteArray Idat() { return Chunk("IDAT", Bytes({0x78, 0x9C, 3, 0, 0, 0, 0, 1})); }
QByteArray Iend() { return Chunk("IEND", QByteArray()); }

QByteArray Bmp(quint32 headerSize, qint32 width, qint32 height, qint32 xPerMetre, qint32 yPerMetre)
{
    QByteArray info;
    if (headerSize == 12) {
        info = Le32(12) + Le16(quint16(width)) + Le16(quint16(height)) + Le16(1) + Le16(24);
    } else {
        info = Le32(headerSize) + Le32(quint32(width)) + Le32(quint32(height)) + Le16(1) + Le16(24);
        if (headerSize >= 40)
            info += Le32(0) + Le32(0) + Le32(quint32(xPerMetre)) + Le32(quint32(yPerMetre)) + Le32(0) + Le32(0);
        info.resize(headerSize, '\0');
    }
    const QByteArray pixels(64, char(0x7F));
    return "BM" + Le32(quint32(14 + info.size() + pixels.size())) + Le32(0) + Le32(quint32(14 + info.size())) + info
           + pixels;
}

QByteArray Gif(const char *version, int screenWidth, int screenHeight, bool withImage, int imageWidth, int imageHeight)
{
    QByteArray g = QByteArray(version, 6) + Le16(quint16(screenWidth)) + Le16(quint16(screenHeight)) + Bytes({0x80, 0, 0})
                   + QByteArray(6, char(0)); // two-colour global table
    g += Bytes({0x21, 0xF9, 4, 0, 0, 0, 0, 0});          // graphic control extension
    g += Bytes({0x21, 0xFE, 3}) + "abc" + Bytes({0}); // comment extension
    if (withImage)
        g += Bytes({0x2C}) + Le16(0) + Le16(0) + Le16(quint16(imageWidth ? imageWidth : screenWidth))
             + Le16(quint16(imageHeight ? imageHeight : screenHeight)) + Bytes({0, 2, 2, 0x4C, 0x01, 0});
    return g + Bytes({0x3B});
}

QByteArray RiffChunk(const char *type, const QByteArray &data)
{
    QByteArray c = QByteArray(type, 4) + Le32(quint32(data.size())) + data;
    if (data.size() % 2)
        c.append('\0');
    return c;
}

QByteArray Webp(const QByteArray &chunks)
{
    return "RIFF" + Le32(quint32(4 + chunks.size())) + "WEBP" + chunks;
}

QByteArray Vp8(int width, int height)
{
    return RiffChunk("VP8 ", Bytes({0x30, 0x01, 0x00, 0x9D, 0x01, 0x2A}) + Le16(quint16(width)) + Le16(quint16(height))
                                 + QByteArray(20, char(0)));
}

QByteArray Vp8l(int width, int height)
{
    const quint32 bits = quint32(width - 1) | quint32(height - 1) << 14;
    return RiffChunk("VP8L", Bytes({0x2F}) + Le32(bits) + QByteArray(10, char(0)));
}

QByteArray Vp8x(int width, int height, quint8 flags)
{
    const quint32 w = quint32(width - 1);
    const quint32 h = quint32(height - 1);
    return RiffChunk("VP8X", Bytes({flags, 0, 0, 0, int(w & 0xFF), int(w >> 8 & 0xFF), int(w >> 16), int(h & 0xFF),
                                    int(h >> 8 & 0xFF), int(h >> 16)}));
}

// ---- Formats written by Qt -----------------------------------------------

QByteArray QtWritten(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    return writer.write(image) ? bytes : QByteArray();
}

QImage Picture(int width, int height, double dpi)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (dpi > 0) {
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    return image;
}

// ---- Expectations --------------------------------------------------------

void ExpectHeader(const ImageHeader &h, const Expect &e)
{
    ASSERT_EQ(h.valid, e.valid);
    if (!e.valid) {
        // A refused file says nothing about size.
        EXPECT_EQ(h.width, 0);
        EXPECT_EQ(h.height, 0);
        return;
    }
    EXPECT_EQ(h.width, e.width);
    EXPECT_EQ(h.height, e.height);
    EXPECT_FLOAT_EQ(h.horizontalDpi, e.x);
    EXPECT_FLOAT_EQ(h.verticalDpi, e.y);
}

bool Same(const ImageHeader &a, const ImageHeader &b)
{
    return a.valid == b.valid && a.width == b.width && a.height == b.height && a.horizontalDpi == b.horizontalDpi
           && a.verticalDpi == b.verticalDpi;
}

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

} // namespace kestova::test
