// ReadImageHeader: pixel size and resolution of every format from files
// built byte by byte here, and its answers to broken, hostile and non-file
// input.
#include "image_headers.h"
#include "heif_bytes.h"
#include "image_formats.h"
#include "measure_photo.h"
#include "sandbox.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestova;
using kestova::test::HeifBytes;
using kestova::test::HeifFromPicture;
using kestova::test::Sandbox;

namespace {

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

enum TiffType : quint16 { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SRational = 10, Float = 11,
                          Double = 12, Long8 = 16 };

// One entry; a rational takes two values (numerator, denominator), a float
// or double its bit pattern.
struct Tag {
    quint16 tag;
    quint16 type;
    QList<quint64> values;
};

Tag Rat(quint16 tag, quint32 numerator, quint32 denominator) { return {tag, Rational, {numerator, denominator}}; }
Tag Sh(quint16 tag, quint16 v) { return {tag, Short, {v}}; }
Tag Lg(quint16 tag, quint32 v) { return {tag, Long, {v}}; }

constexpr quint16 NewSubfileType = 254, ImageWidth = 256, ImageLength = 257, Photometric = 262, XRes = 282,
                  YRes = 283, ResUnit = 296, DngVersion = 50706;

struct TiffLayout {
    bool bigEndian = false;
    bool bigTiff = false;
    bool ifdsAtEnd = false; // as libtiff writes: pixel data first, IFDs last
    int nextOfLast = -1;    // index of the IFD the last one points to (a loop), -1 for none
    int filler = 64;        // bytes of "pixel data"
};

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

QByteArray TiffBytes(const QList<QList<Tag>> &ifds, const TiffLayout &l = {})
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

// The tags of a plain RGB image.
QList<Tag> ImageTags(quint32 width, quint32 height, QList<Tag> more = {})
{
    QList<Tag> tags{Lg(ImageWidth, width), Lg(ImageLength, height), Sh(Photometric, 2)};
    tags += more;
    std::sort(tags.begin(), tags.end(), [](const Tag &a, const Tag &b) { return a.tag < b.tag; });
    return tags;
}

QList<Tag> ResolutionTags(quint32 x, quint32 y, int unit = -1)
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

QByteArray ExifApp1(const QByteArray &tiff, const QByteArray &after = QByteArray())
{
    return Segment(0xE1, Text("Exif\0\0", 6) + tiff + after);
}

QByteArray ExifDpi(quint32 x, quint32 y, int unit = 2, bool bigEndian = false)
{
    return ExifApp1(TiffBytes({ResolutionTags(x, y, unit)}, {.bigEndian = bigEndian}));
}

QByteArray Xmp()
{
    return Segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)
                             + "<x:xmpmeta xmlns:x='adobe:ns:meta/'><tiff:XResolution>600/1</tiff:XResolution>"
                               "<tiff:ImageWidth>9999</tiff:ImageWidth></x:xmpmeta>");
}

QByteArray Frame(int width, int height, quint8 marker = 0xC0, int components = 3)
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

QByteArray Jpeg(std::initializer_list<QByteArray> beforeFrame, int width, int height, quint8 marker = 0xC0)
{
    QByteArray j = Bytes({0xFF, 0xD8});
    for (const QByteArray &s : beforeFrame)
        j += s;
    return j + Quantisation() + Frame(width, height, marker) + ScanToEnd();
}

// EXIF of 1/1,000,000,000 dpi on both axes.
QByteArray TinyExifDpi()
{
    return ExifApp1(TiffBytes({{Rat(XRes, 1, 1000000000), Rat(YRes, 1, 1000000000)}}));
}

// An APP1 as cameras write it: IFD0 with the resolution, then a thumbnail
// (a complete JPEG with its own frame header) and padding, 40 KB in all.
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

QByteArray Bmp(quint32 headerSize, qint32 width, qint32 height, qint32 xPerMetre = 0, qint32 yPerMetre = 0)
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

QByteArray Gif(const char *version, int screenWidth, int screenHeight, bool withImage = true, int imageWidth = 0,
               int imageHeight = 0)
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

// ---- Expectations --------------------------------------------------------

struct Expect {
    bool valid;
    int width = 0;
    int height = 0;
    float x = DefaultDpi;
    float y = DefaultDpi;
};

const Expect NotAnImage{false};

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

struct Case {
    const char *name;
    const char *fileName;
    std::function<QByteArray()> bytes;
    Expect expect;
};

std::string CaseName(const ::testing::TestParamInfo<Case> &info)
{
    return info.param.name;
}

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class HeaderTable : public ::testing::TestWithParam<Case>
{
};

// Each row is read from a file and from memory; both must agree with the
// row.
TEST_P(HeaderTable, ReadsSizeAndResolution)
{
    const Case &c = GetParam();
    Sandbox box;
    const QByteArray bytes = c.bytes();
    const QString path = box.writeFile(QString::fromLatin1(c.fileName), bytes);
    {
        SCOPED_TRACE("from the file");
        ExpectHeader(ReadImageHeader(path), c.expect);
    }
    {
        SCOPED_TRACE("from memory");
        ExpectHeader(ReadImageHeader(bytes.constData(), bytes.size(), QString::fromLatin1(c.fileName)), c.expect);
    }
}

constexpr float Cm(float perCm) { return float(perCm * 2.54); }
constexpr float PerMetre(float perMetre) { return float(perMetre * 0.0254); }

// clang-format off
const Case JpegCases[] = {
    {"BaselineWithoutMetadata", "a.jpg", [] { return Jpeg({}, 1800, 1200); }, {true, 1800, 1200}},
    {"ExtendedSof1", "a.jpg", [] { return Jpeg({}, 640, 480, 0xC1); }, {true, 640, 480}},
    {"ProgressiveSof2", "a.jpg", [] { return Jpeg({Jfif(1, 300, 300)}, 640, 480, 0xC2); }, {true, 640, 480, 300, 300}},
    {"LosslessSof3", "a.jpg", [] { return Jpeg({}, 33, 17, 0xC3); }, {true, 33, 17}},
    {"ArithmeticSof9", "a.jpg", [] { return Jpeg({}, 700, 500, 0xC9); }, {true, 700, 500}},
    {"ArithmeticLosslessSof15", "a.jpg", [] { return Jpeg({}, 65535, 65535, 0xCF); }, {true, 65535, 65535}},
    {"HierarchicalDhpGivesImageSize", "a.jpg", [] { return Jpeg({}, 800, 600, 0xDE); }, {true, 800, 600}},
    {"DhtIsNoFrameHeader", "a.jpg", [] { return Jpeg({}, 800, 600, 0xC4); }, NotAnImage},
    {"JpgIsNoFrameHeader", "a.jpg", [] { return Jpeg({}, 800, 600, 0xC8); }, NotAnImage},
    {"DacIsNoFrameHeader", "a.jpg", [] { return Jpeg({}, 800, 600, 0xCC); }, NotAnImage},
    {"JfifDotsPerInch", "a.jpg", [] { return Jpeg({Jfif(1, 300, 300)}, 1800, 1200); }, {true, 1800, 1200, 300, 300}},
    {"JfifDotsPerCm", "a.jpg", [] { return Jpeg({Jfif(2, 118, 59)}, 100, 100); }, {true, 100, 100, Cm(118), Cm(59)}},
    {"JfifAspectRatioOnlyIsNoResolution", "a.jpg", [] { return Jpeg({Jfif(0, 72, 72)}, 100, 80); }, {true, 100, 80}},
    {"JfifAspectRatioFallsBackToExif", "a.jpg", [] { return Jpeg({Jfif(0, 1, 1), ExifDpi(240, 240)}, 100, 80); },
     {true, 100, 80, 240, 240}},
    {"JfifZeroDensityFallsBackToExif", "a.jpg", [] { return Jpeg({Jfif(1, 0, 0), ExifDpi(180, 180)}, 100, 80); },
     {true, 100, 80, 180, 180}},
    {"JfifOneZeroAxisFallsBackToExifForBoth", "a.jpg", [] { return Jpeg({Jfif(1, 300, 0), ExifDpi(72, 72)}, 10, 8); },
     {true, 10, 8, 72, 72}},
    {"JfifUnknownUnitFallsBackToExif", "a.jpg", [] { return Jpeg({Jfif(3, 300, 300), ExifDpi(72, 72)}, 10, 8); },
     {true, 10, 8, 72, 72}},
    {"JfifWinsOverExif", "a.jpg", [] { return Jpeg({Jfif(1, 72, 72), ExifDpi(300, 300)}, 100, 80); },
     {true, 100, 80, 72, 72}},
    {"ExifLittleEndian", "a.jpg", [] { return Jpeg({ExifDpi(300, 150, 2, false)}, 600, 600); },
     {true, 600, 600, 300, 150}},
    {"ExifBigEndian", "a.jpg", [] { return Jpeg({ExifDpi(350, 350, 2, true)}, 600, 400); }, {true, 600, 400, 350, 350}},
    {"ExifWithoutUnitIsInches", "a.jpg", [] { return Jpeg({ExifDpi(200, 200, -1)}, 60, 40); }, {true, 60, 40, 200, 200}},
    {"ExifCentimetres", "a.jpg", [] { return Jpeg({ExifDpi(118, 118, 3, true)}, 60, 40); },
     {true, 60, 40, Cm(118), Cm(118)}},
    {"ExifUnitNoneIsNoResolution", "a.jpg", [] { return Jpeg({ExifDpi(300, 300, 1)}, 60, 40); }, {true, 60, 40}},
    {"ExifUnitOutOfRangeIsNoResolution", "a.jpg", [] { return Jpeg({ExifDpi(300, 300, 4)}, 60, 40); }, {true, 60, 40}},
    {"ExifZeroResolution", "a.jpg", [] { return Jpeg({ExifDpi(0, 300)}, 60, 40); }, {true, 60, 40}},
    {"ExifZeroDenominator", "a.jpg",
     [] { return Jpeg({ExifApp1(TiffBytes({{Rat(XRes, 300, 0), Rat(YRes, 300, 0)}}))}, 60, 40); }, {true, 60, 40}},
    {"ExifNegativeResolution", "a.jpg",
     [] { return Jpeg({ExifApp1(TiffBytes({{{XRes, SRational, {quint32(-300), 1}}, {YRes, SRational, {300, 1}}}}))}, 60, 40); },
     {true, 60, 40}},
    {"ExifOnlyOneAxis", "a.jpg", [] { return Jpeg({ExifApp1(TiffBytes({{Rat(XRes, 300, 1)}}))}, 60, 40); }, {true, 60, 40}},
    {"ExifResolutionAsShort", "a.jpg",
     [] { return Jpeg({ExifApp1(TiffBytes({{Sh(XRes, 240), Sh(YRes, 120)}}))}, 60, 40); }, {true, 60, 40, 240, 120}},
    {"ExifFractionalResolution", "a.jpg",
     [] { return Jpeg({ExifApp1(TiffBytes({{Rat(XRes, 1024, 3), Rat(YRes, 1024, 3)}}, {.bigEndian = true}))}, 60, 40); },
     {true, 60, 40, 1024.0f / 3, 1024.0f / 3}},
    {"ExifValueBeyondItsSegmentIsIgnored", "a.jpg",
     [] {
         QByteArray tiff = TiffBytes({ResolutionTags(300, 300, 2)});
         tiff.chop(16 + 64); // the rationals (and filler) are gone; their offsets point past the block
         return Jpeg({ExifApp1(tiff)}, 60, 40);
     },
     {true, 60, 40}},
    {"ExifIfdOffsetOutsideIsIgnored", "a.jpg",
     [] { return Jpeg({ExifApp1(Text("II*\0", 4) + Le32(0x7FFFFFF0) + QByteArray(40, char(0)))}, 60, 40); },
     {true, 60, 40}},
    {"ThumbnailInExifIsNotTheFrame", "a.jpg", [] { return Jpeg({ExifWithThumbnail(300)}, 4000, 3000); },
     {true, 4000, 3000, 300, 300}},
    {"ThumbnailInExifAfterJfif", "a.jpg", [] { return Jpeg({Jfif(1, 240, 240), ExifWithThumbnail(300)}, 5000, 2000); },
     {true, 5000, 2000, 240, 240}},
    {"XmpBeforeExif", "a.jpg", [] { return Jpeg({Xmp(), ExifDpi(72, 72, 2, true)}, 64, 48); }, {true, 64, 48, 72, 72}},
    {"OnlyTheFirstExifCounts", "a.jpg", [] { return Jpeg({ExifDpi(72, 72), ExifDpi(300, 300)}, 64, 48); },
     {true, 64, 48, 72, 72}},
    // Only 1 to 100,000 dpi is a resolution; outside it the next source applies.
    {"ExifBelowOneDpiIsNoResolution", "a.jpg", [] { return Jpeg({TinyExifDpi()}, 60, 40); }, {true, 60, 40}},
    {"ExifAbove100000DpiIsNoResolution", "a.jpg", [] { return Jpeg({ExifDpi(300, 100001)}, 60, 40); }, {true, 60, 40}},
    {"ExifAtBothLimits", "a.jpg", [] { return Jpeg({ExifDpi(1, 100000)}, 60, 40); }, {true, 60, 40, 1, 100000}},
    {"JfifBeyondTheLimitFallsBackToExif", "a.jpg", [] { return Jpeg({Jfif(2, 40000, 40000), ExifDpi(300, 300)}, 60, 40); },
     {true, 60, 40, 300, 300}},
    {"AdobeCmyk", "a.jpg",
     [] {
         QByteArray j = Bytes({0xFF, 0xD8}) + Segment(0xEE, QByteArray("Adobe", 5) + Bytes({0, 100, 0, 0, 0, 0, 2}))
                        + Jfif(1, 200, 200) + Quantisation() + Frame(320, 200, 0xC0, 4);
         return j + ScanToEnd();
     },
     {true, 320, 200, 200, 200}},
    {"FillBytesBeforeMarkers", "a.jpg",
     [] { return Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF}) + Jfif(1, 96, 96) + Bytes({0xFF, 0xFF}) + Frame(12, 34) + ScanToEnd(); },
     {true, 12, 34}},
    {"HeightFromDnlIsNotKnown", "a.jpg", [] { return Jpeg({}, 800, 0); }, NotAnImage},
    {"ZeroWidth", "a.jpg", [] { return Jpeg({}, 0, 600); }, NotAnImage},
    {"ScanBeforeAnyFrame", "a.jpg", [] { return Bytes({0xFF, 0xD8}) + Jfif(1, 72, 72) + ScanToEnd(); }, NotAnImage},
    {"SegmentLengthBelowTwo", "a.jpg", [] { return Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 1}) + Frame(10, 10) + ScanToEnd(); },
     NotAnImage},
    {"SegmentLengthPastTheEnd", "a.jpg", [] { return Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xF0}) + Frame(10, 10); },
     NotAnImage},
    {"StrayBytesBetweenSegments", "a.jpg", [] { return Bytes({0xFF, 0xD8}) + Jfif(1, 72, 72) + Bytes({'x', 0xFF, 0, 'x'}) + Frame(10, 10); },
     {true, 10, 10, 72, 72}},
    {"OnlyStrayBytesAfterStart", "a.jpg", [] { return Bytes({0xFF, 0xD8}) + QByteArray(70000, 'x') + Frame(10, 10); },
     NotAnImage},
    {"OnlyFillBytesAfterStart", "a.jpg", [] { return Bytes({0xFF, 0xD8}) + QByteArray(70000, char(0xFF)) + Frame(10, 10); },
     NotAnImage},
    {"NamedPngButJpeg", "a.png", [] { return Jpeg({Jfif(1, 300, 300)}, 90, 60); }, {true, 90, 60, 300, 300}},
};

const Case PngCases[] = {
    {"WithoutPhys", "a.png", [] { return Png({Ihdr(1800, 1200), Idat(), Iend()}); }, {true, 1800, 1200}},
    {"PhysPerMetre", "a.png", [] { return Png({Ihdr(640, 480), Phys(11811, 5906, 1), Idat(), Iend()}); },
     {true, 640, 480, PerMetre(11811), PerMetre(5906)}},
    {"PhysAfterOtherChunks", "a.png",
     [] { return Png({Ihdr(64, 32), Chunk("gAMA", Be32(45455)), Chunk("iCCP", QByteArray(6000, 'c')), Phys(2835, 2835, 1), Idat(), Iend()}); },
     {true, 64, 32, PerMetre(2835), PerMetre(2835)}},
    {"PhysUnknownUnit", "a.png", [] { return Png({Ihdr(64, 32), Phys(1, 1, 0), Idat(), Iend()}); }, {true, 64, 32}},
    {"PhysZeroAxis", "a.png", [] { return Png({Ihdr(64, 32), Phys(0, 3780, 1), Idat(), Iend()}); }, {true, 64, 32}},
    {"PhysBelowOneDpi", "a.png", [] { return Png({Ihdr(64, 32), Phys(39, 39, 1), Idat(), Iend()}); }, {true, 64, 32}},
    {"PhysAfterImageDataIgnored", "a.png", [] { return Png({Ihdr(64, 32), Idat(), Phys(11811, 11811, 1), Iend()}); },
     {true, 64, 32}},
    {"NoImageData", "a.png", [] { return Png({Ihdr(64, 32), Phys(11811, 11811, 1), Iend()}); }, NotAnImage},
    {"ZeroWidth", "a.png", [] { return Png({Ihdr(0, 32), Idat(), Iend()}); }, NotAnImage},
    {"WidthBeyondSigned32Bits", "a.png", [] { return Png({Ihdr(0x80000000u, 32), Idat(), Iend()}); }, NotAnImage},
    {"LargestWidth", "a.png", [] { return Png({Ihdr(0x7FFFFFFF, 1), Idat(), Iend()}); }, {true, 0x7FFFFFFF, 1}},
    {"FirstChunkNotIhdr", "a.png", [] { return Png({Chunk("gAMA", Be32(45455)), Ihdr(64, 32), Idat(), Iend()}); },
     NotAnImage},
    {"ChunkLengthLies", "a.png",
     [] { return Png({Ihdr(64, 32)}) + Be32(0x7FFFFFF0) + "tEXt" + QByteArray(20, 't'); }, NotAnImage},
};

const Case TiffCases[] = {
    {"LittleEndianIfdFirst", "a.tif", [] { return TiffBytes({ImageTags(1200, 800, ResolutionTags(300, 300, 2))}); },
     {true, 1200, 800, 300, 300}},
    {"BigEndianIfdAtEnd", "a.tif",
     [] { return TiffBytes({ImageTags(800, 600, ResolutionTags(72, 72, 2))}, {.bigEndian = true, .ifdsAtEnd = true, .filler = 70000}); },
     {true, 800, 600, 72, 72}},
    {"ShortSides", "a.tif",
     [] { return TiffBytes({{Sh(ImageWidth, 640), Sh(ImageLength, 480), Sh(Photometric, 1)}}); }, {true, 640, 480}},
    {"Centimetres", "a.tif", [] { return TiffBytes({ImageTags(100, 100, ResolutionTags(118, 118, 3))}); },
     {true, 100, 100, Cm(118), Cm(118)}},
    {"NoResolution", "a.tif", [] { return TiffBytes({ImageTags(100, 100)}); }, {true, 100, 100}},
    {"UnitNone", "a.tif", [] { return TiffBytes({ImageTags(100, 100, ResolutionTags(300, 300, 1))}); }, {true, 100, 100}},
    {"ResolutionAsDouble", "a.tif",
     [] {
         return TiffBytes({ImageTags(10, 10, {{XRes, Double, {std::bit_cast<quint64>(299.5)}},
                                               {YRes, Double, {std::bit_cast<quint64>(150.25)}}})});
     },
     {true, 10, 10, 299.5f, 150.25f}},
    {"BigTiffLittleEndian", "a.tif",
     [] { return TiffBytes({ImageTags(5000, 4000, ResolutionTags(240, 240, 2))}, {.bigTiff = true}); },
     {true, 5000, 4000, 240, 240}},
    {"BigTiffBigEndianAtEnd", "a.btf",
     [] {
         return TiffBytes({{{ImageWidth, Long8, {70000}}, {ImageLength, Long8, {9}}, Sh(Photometric, 2), Rat(XRes, 300, 1), Rat(YRes, 300, 1)}},
                          {.bigEndian = true, .bigTiff = true, .ifdsAtEnd = true});
     },
     {true, 70000, 9, 300, 300}},
    {"ReducedFirstImageSkipped", "a.tif",
     [] {
         return TiffBytes({ImageTags(160, 120, {Lg(NewSubfileType, 1), Rat(XRes, 72, 1), Rat(YRes, 72, 1)}),
                           ImageTags(3000, 2000, ResolutionTags(300, 300, 2))});
     },
     {true, 3000, 2000, 300, 300}},
    {"TransparencyMaskSkipped", "a.tif",
     [] { return TiffBytes({ImageTags(160, 120, {Lg(NewSubfileType, 4)}), ImageTags(320, 240)}); }, {true, 320, 240}},
    {"MultiPageTakesFirstPage", "a.tif",
     [] { return TiffBytes({ImageTags(100, 50, {Lg(NewSubfileType, 2)}), ImageTags(200, 100)}); }, {true, 100, 50}},
    {"OnlyReducedImages", "a.tif",
     [] { return TiffBytes({ImageTags(160, 120, {Lg(NewSubfileType, 1)}), ImageTags(80, 60, {Lg(NewSubfileType, 1)})}); },
     NotAnImage},
    {"IfdLoop", "a.tif",
     [] { return TiffBytes({ImageTags(160, 120, {Lg(NewSubfileType, 1)}), ImageTags(80, 60, {Lg(NewSubfileType, 1)})}, {.nextOfLast = 0}); },
     NotAnImage},
    {"IfdPointsAtItself", "a.tif", [] { return TiffBytes({ImageTags(160, 120, {Lg(NewSubfileType, 1)})}, {.nextOfLast = 0}); },
     NotAnImage},
    {"SensorDataCfa", "a.tif", [] { return TiffBytes({{Lg(ImageWidth, 6000), Lg(ImageLength, 4000), Sh(Photometric, 32803)}}); },
     NotAnImage},
    {"DngVersionTag", "a.dng", [] { return TiffBytes({ImageTags(256, 171, {{DngVersion, Byte, {1, 4, 0, 0}}})}); },
     NotAnImage},
    {"CanonCr2Signature", "a.cr2",
     [] { return TiffBytes({ImageTags(1536, 1024, ResolutionTags(72, 72, 2))}, {.ifdsAtEnd = true}).replace(8, 4, Text("CR\x02\0", 4)); },
     NotAnImage},
    {"PhaseOneSignature", "a.iiq",
     [] { return TiffBytes({ImageTags(1, 1, ResolutionTags(72, 72, 2))}, {.ifdsAtEnd = true}).replace(8, 4, QByteArray("IIII")); },
     NotAnImage},
    {"SameLayoutWithoutRawSignature", "a.tif",
     [] { return TiffBytes({ImageTags(1536, 1024, ResolutionTags(72, 72, 2))}, {.ifdsAtEnd = true}); },
     {true, 1536, 1024, 72, 72}},
    {"NoWidth", "a.tif", [] { return TiffBytes({{Lg(ImageLength, 100), Sh(Photometric, 2)}}); }, NotAnImage},
    {"FractionalWidth", "a.tif", [] { return TiffBytes({{Rat(ImageWidth, 3, 2), Lg(ImageLength, 100)}}); }, NotAnImage},
    {"NoIfd", "a.tif", [] { return TiffBytes({}); }, NotAnImage},
    {"IfdOffsetBeyondEnd", "a.tif", [] { return Text("II*\0", 4) + Le32(100000) + QByteArray(100, char(0)); }, NotAnImage},
    {"ResolutionValueBeyondEnd", "a.tif",
     [] {
         QByteArray t = TiffBytes({ImageTags(100, 100, ResolutionTags(300, 300, 2))}, {.filler = 0});
         t.chop(16); // the two rationals
         return t;
     },
     NotAnImage},
    {"EntryCountBeyondEnd", "a.tif", [] { return Text("MM\0*", 4) + Be32(8) + Be16(65535) + QByteArray(24, char(0)); },
     NotAnImage},
    {"BigTiffHugeEntryCount", "a.tif",
     [] { return Text("II+\0", 4) + Le16(8) + Le16(0) + U64(16, false) + U64(quint64(1) << 40, false) + QByteArray(40, char(0)); },
     NotAnImage},
};

const Case BmpCases[] = {
    {"Os2CoreHeader", "a.bmp", [] { return Bmp(12, 320, 200); }, {true, 320, 200}},
    {"Os2Version2ShortHeader", "a.bmp", [] { return Bmp(16, 321, 201); }, {true, 321, 201}},
    {"InfoHeader", "a.bmp", [] { return Bmp(40, 640, 480, 2835, 2835); },
     {true, 640, 480, PerMetre(2835), PerMetre(2835)}},
    {"InfoHeaderWithoutResolution", "a.bmp", [] { return Bmp(40, 640, 480); }, {true, 640, 480}},
    {"V4Header", "a.bmp", [] { return Bmp(108, 100, 50, 11811, 5906); },
     {true, 100, 50, PerMetre(11811), PerMetre(5906)}},
    {"V5HeaderTopDown", "a.bmp", [] { return Bmp(124, 800, -600, 3780, 3780); },
     {true, 800, 600, PerMetre(3780), PerMetre(3780)}},
    {"NegativeResolution", "a.bmp", [] { return Bmp(40, 8, 8, -2835, 2835); }, {true, 8, 8}},
    {"ZeroWidth", "a.bmp", [] { return Bmp(40, 0, 8); }, NotAnImage},
    {"NegativeWidth", "a.bmp", [] { return Bmp(40, -8, 8); }, NotAnImage},
    {"LowestHeight", "a.bmp", [] { return Bmp(40, 8, qint32(0x80000000)); }, NotAnImage},
    {"UnknownHeaderSize", "a.bmp", [] { return Bmp(40, 8, 8).replace(14, 4, Le32(99)); }, NotAnImage},
    {"TextStartingWithBM", "a.bmp", [] { return QByteArray("BMW 320i, BMW 520d and other cars of the list\n"); },
     NotAnImage},
};

const Case GifCases[] = {
    {"Gif87a", "a.gif", [] { return Gif("GIF87a", 120, 80); }, {true, 120, 80}},
    {"Gif89aLogicalScreen", "a.gif", [] { return Gif("GIF89a", 300, 200, true, 10, 10); }, {true, 300, 200}},
    {"ZeroScreenTakesFirstImage", "a.gif", [] { return Gif("GIF89a", 0, 0, true, 44, 33); }, {true, 44, 33}},
    {"ZeroScreenWithoutImage", "a.gif", [] { return Gif("GIF89a", 0, 0, false); }, NotAnImage},
};

const Case WebpCases[] = {
    {"LossyVp8", "a.webp", [] { return Webp(Vp8(640, 480)); }, {true, 640, 480}},
    {"LossyVp8ScaleBitsIgnored", "a.webp", [] { return Webp(Vp8(0x4000 | 640, 0xC000 | 480)); }, {true, 640, 480}},
    {"LosslessVp8l", "a.webp", [] { return Webp(Vp8l(16384, 3)); }, {true, 16384, 3}},
    {"ExtendedWithExif", "a.webp",
     [] { return Webp(Vp8x(3000, 2000, 0x08) + Vp8(3000, 2000) + RiffChunk("EXIF", TiffBytes({ResolutionTags(300, 300, 2)}, {.bigEndian = true}))); },
     {true, 3000, 2000, 300, 300}},
    {"ExtendedExifWithJpegPrefix", "a.webp",
     [] { return Webp(Vp8x(20, 10, 0x08) + Vp8l(20, 10) + RiffChunk("EXIF", Text("Exif\0\0", 6) + TiffBytes({ResolutionTags(72, 72, 2)}))); },
     {true, 20, 10, 72, 72}},
    {"ExtendedWithoutExif", "a.webp", [] { return Webp(Vp8x(20, 10, 0x10) + RiffChunk("ALPH", QByteArray(7, 'a')) + Vp8(20, 10)); },
     {true, 20, 10}},
    {"ExtendedCanvasOf24Bits", "a.webp", [] { return Webp(Vp8x(1 << 24, 2, 0x02) + RiffChunk("ANMF", QByteArray(30, 'f'))); },
     {true, 1 << 24, 2}},
    {"ExtendedWithoutImageData", "a.webp", [] { return Webp(Vp8x(20, 10, 0)); }, NotAnImage},
    {"ExtendedCutShort", "a.webp",
     [] { QByteArray w = Webp(Vp8x(20, 10, 0x08) + Vp8(20, 10) + RiffChunk("EXIF", TiffBytes({ResolutionTags(72, 72, 2)}))); w.chop(30); return w; },
     NotAnImage},
    {"Vp8WithoutStartCode", "a.webp", [] { return Webp(Vp8(640, 480).replace(11, 1, "\x00")); }, NotAnImage},
    {"Vp8lWrongVersion", "a.webp", [] { return Webp(RiffChunk("VP8L", Bytes({0x2F}) + Le32(0xE0000000u) + QByteArray(8, 0))); },
     NotAnImage},
    {"RiffWaveIsNoImage", "a.webp", [] { return "RIFF" + Le32(36) + "WAVEfmt " + QByteArray(28, char(1)); }, NotAnImage},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Jpeg, HeaderTable, ::testing::ValuesIn(JpegCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Png, HeaderTable, ::testing::ValuesIn(PngCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Tiff, HeaderTable, ::testing::ValuesIn(TiffCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Bmp, HeaderTable, ::testing::ValuesIn(BmpCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Gif, HeaderTable, ::testing::ValuesIn(GifCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Webp, HeaderTable, ::testing::ValuesIn(WebpCases), CaseName);

// ---- Formats read through Qt ---------------------------------------------

QByteArray QtWritten(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    return writer.write(image) ? bytes : QByteArray();
}

QImage Picture(int width, int height, double dpi = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (dpi > 0) {
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    return image;
}

struct QtCase {
    const char *name;
    const char *format;   // Qt's writer
    const char *fileName;
    Expect expect;
};

void PrintTo(const QtCase &c, std::ostream *os)
{
    *os << c.name;
}

class QtFormats : public ::testing::TestWithParam<QtCase>
{
};

// Formats without a reader of our own are taken by extension and measured
// by Qt; the extension, not the content, decides whether Qt is asked.
TEST_P(QtFormats, SizeThroughQtByExtension)
{
    const QtCase &c = GetParam();
    const QByteArray bytes = QtWritten(Picture(37, 23), c.format);
    if (bytes.isEmpty())
        GTEST_SKIP() << "Qt cannot write " << c.format << " here";
    Sandbox box;
    ExpectHeader(ReadImageHeader(box.writeFile(QString::fromLatin1(c.fileName), bytes)), c.expect);
}

// clang-format off
const QtCase QtCases[] = {
    {"Icon", "ico", "a.ico", {true, 37, 23}},
    {"IconUpperCaseExtension", "ico", "A.ICO", {true, 37, 23}},
    {"PortablePixmap", "ppm", "a.ppm", {true, 37, 23}},
    {"PortableGraymap", "pgm", "a.pgm", {true, 37, 23}},
    {"PortableBitmap", "pbm", "a.pbm", {true, 37, 23}},
    {"XPixmap", "xpm", "a.xpm", {true, 37, 23}},
    {"XBitmap", "xbm", "a.xbm", {true, 37, 23}},
    {"WirelessBitmap", "wbmp", "a.wbmp", {true, 37, 23}},
    // Decoded to tell its size; Qt writes the largest square power of two.
    {"AppleIcon", "icns", "a.icns", {true, 16, 16}},
    {"PixmapWithUnknownExtension", "ppm", "a.dat", NotAnImage},
    {"PixmapWithoutExtension", "ppm", "pixmap", NotAnImage},
    {"PixmapNamedAsIcon", "ppm", "a.ico", NotAnImage},
    {"PixmapNamedAsJpegWithoutItsSignature", "ppm", "a.jpg", NotAnImage},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Qt, QtFormats, ::testing::ValuesIn(QtCases), [](const auto &info) {
    return std::string(info.param.name);
});

// Files from Qt's own encoders (libjpeg, libpng, libtiff, libwebp): our
// size is the size Qt decodes, our resolution the one Qt reads back (Qt
// stores whole dots per inch in JPEG and TIFF, so within half a dot).
TEST(ImageHeaders, AgreeWithQtOnFilesQtWrote)
{
    Sandbox box;
    const struct {
        const char *format;
        double dpi;
    } rows[] = {{"png", 300}, {"png", 0}, {"bmp", 150}, {"jpg", 300}, {"jpg", 72}, {"tif", 240}, {"tif", 0}, {"webp", 0}};
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.format) + " at " + std::to_string(row.dpi));
        const QByteArray bytes = QtWritten(Picture(173, 91, row.dpi), row.format);
        if (bytes.isEmpty())
            continue;
        // A name that does not say the format: the signature decides.
        const QString path = box.writeFile(QStringLiteral("written.bin"), bytes);
        const ImageHeader h = ReadImageHeader(path);
        QImage decoded;
        ASSERT_TRUE(decoded.loadFromData(bytes, row.format));
        ASSERT_TRUE(h.valid);
        EXPECT_EQ(h.width, decoded.width());
        EXPECT_EQ(h.height, decoded.height());
        const double qtDpi = row.dpi > 0 ? decoded.dotsPerMeterX() * 0.0254 : DefaultDpi;
        EXPECT_NEAR(h.horizontalDpi, qtDpi, 0.5);
        EXPECT_NEAR(h.verticalDpi, qtDpi, 0.5);
    }
}

// One such photo made the grand total 10^60 square metres.
TEST(ImageHeaders, ResolutionOutOfRangeIsMeasuredAtTheDefault)
{
    Sandbox box;
    const QString path = box.writeFile("tiny.jpg", Jpeg({TinyExifDpi()}, 960, 480));
    const PhotoMeasure m = MeasureFile(path, "0", "0", 4);
    EXPECT_TRUE(m.Succeeded);
    EXPECT_EQ(m.HorizontalDpi, DefaultDpi);
    EXPECT_EQ(m.VerticalDpi, DefaultDpi);
    EXPECT_DOUBLE_EQ(m.PrintWidth, 25.4);
    EXPECT_DOUBLE_EQ(m.Area, 0.0323);
}

TEST(ImageHeaders, VectorDrawingsAreNotMeasured)
{
    Sandbox box;
    const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='4in' height='3in'><rect width='10' height='10'/></svg>";
    EXPECT_FALSE(ReadImageHeader(box.writeFile(QStringLiteral("a.svg"), svg)).valid);
}

// ---- HEIF ----------------------------------------------------------------

TEST(ImageHeaders, Heif)
{
    const QByteArray plain = HeifBytes(64, 48, heif_orientation_normal, QByteArray());
    if (plain.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    Sandbox box;
    const QByteArray withExif = HeifBytes(64, 48, heif_orientation_normal, TiffBytes({ResolutionTags(300, 150, 2)}, {.bigEndian = true}));
    const QByteArray withCmExif = HeifBytes(64, 48, heif_orientation_normal, TiffBytes({ResolutionTags(118, 118, 3)}));
    const QByteArray rotated = HeifBytes(64, 48, heif_orientation_rotate_90_cw, QByteArray());
    QByteArray broken = plain;
    broken.truncate(40);
    const struct {
        const char *name;
        QByteArray bytes;
        Expect expect;
    } rows[] = {
        {"plain", plain, {true, 64, 48}},
        {"exif", withExif, {true, 64, 48, 300, 150}},
        {"exif in cm", withCmExif, {true, 64, 48, Cm(118), Cm(118)}},
        // The size as displayed: the irot turns the stored 64 × 48 upright.
        {"rotated", rotated, {true, 48, 64}},
        {"cut short", broken, NotAnImage},
        {"audio in the same box format", Be32(24) + "ftypM4A " + Be32(0) + "M4A mp42" + Be32(8) + "free", NotAnImage},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ExpectHeader(ReadImageHeader(box.writeFile(QStringLiteral("a.heic"), row.bytes)), row.expect);
        ExpectHeader(ReadImageHeader(row.bytes.constData(), row.bytes.size()), row.expect);
    }
}

// Bytes this process has read through system calls so far; -1 where the
// system does not say.
qint64 BytesReadSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// A HEIF photo is measured from its boxes and its EXIF: libheif copies the
// coded picture while it opens the file but does not look at it, so it is
// not read (on a share or a cold disk, most of the cost of the photo).
TEST(ImageHeaders, HeifCodedPictureIsNotRead)
{
    QImage noise(640, 480, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        random.fillRange(reinterpret_cast<quint32 *>(noise.scanLine(y)), noise.bytesPerLine() / 4);
    const QByteArray bytes = HeifFromPicture(noise, nullptr, TiffBytes({ResolutionTags(300, 150, 2)}, {.bigEndian = true}));
    if (bytes.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    ASSERT_GT(bytes.size(), 256 * 1024);
    Sandbox box;
    const QString path = box.writeFile(QStringLiteral("noise.heic"), bytes);
    const qint64 before = BytesReadSoFar();
    if (before < 0)
        GTEST_SKIP() << "no /proc/self/io here";
    const ImageHeader header = ReadImageHeader(path);
    const qint64 read = BytesReadSoFar() - before;
    ExpectHeader(header, {true, 640, 480, 300, 150});
    EXPECT_LT(read, 32 * 1024);
}

// What libheif makes of the bytes when it reads every one of them: the
// primary image's size and its EXIF's resolution.
ImageHeader LibheifReadingAll(const QByteArray &bytes)
{
    ImageHeader h;
    heif_context *context = heif_context_alloc();
    heif_image_handle *handle = nullptr;
    if (heif_context_read_from_memory_without_copy(context, bytes.constData(), size_t(bytes.size()), nullptr).code
            == heif_error_Ok
        && heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        h.width = heif_image_handle_get_width(handle);
        h.height = heif_image_handle_get_height(handle);
        h.valid = h.width > 0 && h.height > 0;
        heif_item_id id = 0;
        if (h.valid && heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) == 1) {
            QByteArray exif(qsizetype(heif_image_handle_get_metadata_size(handle, id)), '\0');
            if (exif.size() >= 4 && heif_image_handle_get_metadata(handle, id, exif.data()).code == heif_error_Ok) {
                const quint32 offset = qFromBigEndian<quint32>(exif.constData());
                ImageSource source(exif.constData(), exif.size());
                if (offset <= quint32(exif.size() - 4))
                    SetDpi(&h, ReadExifDpi(source, 4 + offset, exif.size() - 4 - offset));
            }
        }
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    if (!h.valid)
        return ImageHeader();
    return h;
}

// Damaged boxes, and files cut anywhere: the measure is libheif's reading
// every byte, though the coded picture is not read.
TEST(ImageHeaders, HeifDamagedAsLibheifReadsIt)
{
    const QByteArray exif = TiffBytes({ResolutionTags(300, 150, 2)}, {.bigEndian = true});
    const QByteArray file = HeifBytes(64, 48, heif_orientation_rotate_90_cw, exif);
    if (file.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    const qsizetype boxesEnd = file.indexOf("mdat") + 4;
    ASSERT_GT(boxesEnd, 100);
    const auto same = [](const QByteArray &bytes) {
        const ImageHeader ours = ReadImageHeader(bytes.constData(), bytes.size());
        const ImageHeader libheif = LibheifReadingAll(bytes);
        return ours.valid == libheif.valid && ours.width == libheif.width && ours.height == libheif.height
               && ours.horizontalDpi == libheif.horizontalDpi && ours.verticalDpi == libheif.verticalDpi;
    };
    ASSERT_TRUE(same(file));
    ExpectHeader(ReadImageHeader(file.constData(), file.size()), {true, 48, 64, 300, 150});
    // Every byte of the boxes after ftyp, changed three ways.
    const qsizetype ftypEnd = qFromBigEndian<quint32>(file.constData());
    for (qsizetype at = ftypEnd; at < boxesEnd; ++at) {
        for (const char value : {char(0), char(0xFF), char(file[at] ^ 1)}) {
            QByteArray damaged = file;
            damaged[at] = value;
            EXPECT_TRUE(same(damaged)) << "byte " << at << " set to " << int(uchar(value));
        }
    }
    for (qsizetype cut = ftypEnd; cut < file.size(); cut += std::max<qsizetype>(1, (file.size() - ftypEnd) / 64))
        EXPECT_TRUE(same(file.left(cut))) << "cut at " << cut;
}

// ---- What is not an image file ------------------------------------------

TEST(ImageHeaders, NotImageFiles)
{
    Sandbox box;
    QByteArray random(5000, '\0');
    quint32 seed = 12345;
    for (char &c : random) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    const struct {
        const char *name;
        QString path;
    } rows[] = {
        {"empty file", box.writeFile(QStringLiteral("empty.jpg"), QByteArray())},
        {"text", box.writeFile(QStringLiteral("notes.txt"), "Customer: Li Wei, 20 photos 6 inch\n")},
        {"text named as an icon", box.writeFile(QStringLiteral("notes.ico"), "Customer: Li Wei, 20 photos 6 inch\n")},
        {"text named as a pixmap", box.writeFile(QStringLiteral("notes.ppm"), "P6 is not how this starts\n")},
        {"random bytes", box.writeFile(QStringLiteral("noise.bin"), random)},
        {"random bytes named as a bitmap", box.writeFile(QStringLiteral("noise.tga"), random)},
        {"only a signature", box.writeFile(QStringLiteral("sig.jpg"), Bytes({0xFF, 0xD8, 0xFF}))},
        {"folder", box.mkdir(QStringLiteral("folder.jpg"))},
        {"missing file", box.path(QStringLiteral("missing.jpg"))},
        {"character device", QStringLiteral("/dev/null")},
        {"endless device", QStringLiteral("/dev/zero")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ExpectHeader(ReadImageHeader(row.path), NotAnImage);
    }
}

TEST(ImageHeaders, FifoIsRefusedWithoutWaitingForAWriter)
{
    Sandbox box;
    const QString path = box.path(QStringLiteral("pipe.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    std::atomic<int> state{0}; // 0 running, 1 valid, 2 refused
    std::thread reader([&] { state = ReadImageHeader(path).valid ? 1 : 2; });
    for (int i = 0; i < 500 && state == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (state == 0) {
        // Release a reader stuck in open() so the test can end.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    reader.join();
    EXPECT_EQ(state, 2) << "0 would mean it blocked on the FIFO";
}

TEST(ImageHeaders, UnreadableFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads a file whatever its permissions";
    Sandbox box;
    const QString path = box.writeFile(QStringLiteral("locked.png"), Png({Ihdr(10, 10), Idat(), Iend()}));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    EXPECT_FALSE(ReadImageHeader(path).valid);
}

TEST(ImageHeaders, LinkToAnImageIsFollowed)
{
    Sandbox box;
    const QString target = box.writeFile(QStringLiteral("a.png"), Png({Ihdr(10, 20), Idat(), Iend()}));
    const QString link = box.path(QStringLiteral("link.png"));
    ASSERT_TRUE(QFile::link(target, link));
    ExpectHeader(ReadImageHeader(link), {true, 10, 20});
}

// ---- Files cut short -----------------------------------------------------

// Every prefix of a complete file is either refused or read exactly as the
// whole file: a reader never guesses from half a header. The cuts come close
// together at the start, where the headers are, and around the first read
// and the end of the file; elsewhere every 53rd byte.
TEST(ImageHeaders, FilesCutShort)
{
    const struct {
        const char *name;
        QByteArray bytes;
    } files[] = {
        {"jpeg with jfif, xmp and exif", Jpeg({Jfif(0, 1, 1), Xmp(), ExifDpi(300, 300, 3, true)}, 1800, 1200)},
        {"jpeg with exif thumbnail", Jpeg({ExifWithThumbnail(240)}, 4000, 3000)},
        {"png with phys", Png({Ihdr(640, 480), Chunk("iCCP", QByteArray(5000, 'c')), Phys(11811, 11811, 1), Idat(), Iend()})},
        {"tiff with ifd at end", TiffBytes({ImageTags(800, 600, ResolutionTags(72, 72, 2))}, {.bigEndian = true, .ifdsAtEnd = true, .filler = 5000})},
        {"tiff with preview first", TiffBytes({ImageTags(160, 120, {Lg(NewSubfileType, 1)}), ImageTags(3000, 2000, ResolutionTags(300, 300, 2))})},
        {"bigtiff", TiffBytes({ImageTags(5000, 4000, ResolutionTags(240, 240, 2))}, {.bigTiff = true})},
        {"bmp v5", Bmp(124, 800, -600, 3780, 3780)},
        {"gif without screen size", Gif("GIF89a", 0, 0, true, 44, 33)},
        {"webp with exif", Webp(Vp8x(3000, 2000, 0x08) + Vp8(3000, 2000) + RiffChunk("EXIF", TiffBytes({ResolutionTags(300, 300, 2)})))},
    };
    Sandbox box;
    const QString path = box.path(QStringLiteral("cut"));
    for (const auto &file : files) {
        SCOPED_TRACE(file.name);
        const QByteArray &bytes = file.bytes;
        const ImageHeader whole = ReadImageHeader(box.writeFile(QStringLiteral("whole"), bytes));
        ASSERT_TRUE(whole.valid);
        const qsizetype n = bytes.size();
        for (qsizetype length = 0; length < n; ++length) {
            const bool dense = length < 1200 || std::abs(length - 4096) < 40 || n - length < 40;
            if (!dense && length % 53 != 0)
                continue;
            const QByteArray prefix = bytes.left(length);
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(prefix);
            out.close();
            for (const ImageHeader &h : {ReadImageHeader(path), ReadImageHeader(prefix.constData(), prefix.size())}) {
                if (h.valid && !Same(h, whole)) {
                    ADD_FAILURE() << "cut at " << length << " of " << n << " reads " << h.width << "x" << h.height
                                  << " at " << h.horizontalDpi << "x" << h.verticalDpi;
                    return;
                }
            }
        }
    }
}

// ---- Threads -------------------------------------------------------------

// The scan may read headers in several threads at once; each answer must be
// the one a lone reader gets.
TEST(ImageHeaders, ParallelReadsAgree)
{
    Sandbox box;
    QStringList paths;
    int i = 0;
    const auto add = [&](const auto &table) {
        for (const Case &c : table)
            paths.append(box.writeFile(QStringLiteral("%1_%2").arg(i++).arg(QString::fromLatin1(c.fileName)), c.bytes()));
    };
    add(JpegCases);
    add(PngCases);
    add(TiffCases);
    add(BmpCases);
    add(WebpCases);
    const QByteArray heif = HeifBytes(64, 48, heif_orientation_normal, TiffBytes({ResolutionTags(300, 300, 2)}));
    if (!heif.isEmpty())
        paths.append(box.writeFile(QStringLiteral("h.heic"), heif));
    paths.append(box.writeFile(QStringLiteral("i.ico"), QtWritten(Picture(9, 7), "ico")));

    QList<ImageHeader> alone;
    for (const QString &p : paths)
        alone.append(ReadImageHeader(p));
    std::atomic<int> differences{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                for (qsizetype k = 0; k < paths.size(); ++k) {
                    const qsizetype j = (k + t * 7) % paths.size();
                    if (!Same(ReadImageHeader(paths[j]), alone[j]))
                        ++differences;
                }
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(differences, 0);
}

// ---- Fuzzing finds ---------------------------------------------------------

// Every input that ever crashed the fuzzer (tests/engine/fuzz_regressions)
// is read from a file and from memory: no crash, and the same answer both
// ways.
TEST(ImageHeaders, FuzzRegressions)
{
    const QDir dir(kestova::test::SourcePath(QStringLiteral("tests/engine/fuzz_regressions")));
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    if (names.isEmpty())
        GTEST_SKIP() << "no regression inputs in " << dir.path().toStdString();
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(Same(ReadImageHeader(dir.filePath(name)), ReadImageHeader(bytes.constData(), bytes.size(), name)));
    }
}

} // namespace
