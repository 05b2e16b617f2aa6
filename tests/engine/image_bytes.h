// Image files built byte by byte for the tests of ReadImageHeader (TIFF and
// its EXIF blocks, JPEG, PNG, BMP, GIF, WebP, and what Qt's writers make),
// what a reader should answer for them, and the rows of the format table,
// which the parallel reads take up again.
#pragma once

#include "image_headers.h"

#include <QByteArray>
#include <QImage>
#include <QList>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <ostream>

namespace kestova::test {

// ---- Byte building -------------------------------------------------------

QByteArray U16(quint16 v, bool bigEndian);
QByteArray U32(quint32 v, bool bigEndian);
QByteArray U64(quint64 v, bool bigEndian);
QByteArray Be16(quint16 v);
QByteArray Be32(quint32 v);
QByteArray Le16(quint16 v);
QByteArray Le32(quint32 v);
QByteArray Bytes(std::initializer_list<int> bytes);
QByteArray Text(const char *s, int n);

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

Tag Rat(quint16 tag, quint32 numerator, quint32 denominator);
Tag Sh(quint16 tag, quint16 v);
Tag Lg(quint16 tag, quint32 v);

constexpr quint16 NewSubfileType = 254, ImageWidth = 256, ImageLength = 257, Photometric = 262, XRes = 282,
                  YRes = 283, ResUnit = 296, DngVersion = 50706;

struct TiffLayout {
    bool bigEndian = false;
    bool bigTiff = false;
    bool ifdsAtEnd = false; // as libtiff writes: pixel data first, IFDs last
    int nextOfLast = -1;    // index of the IFD the last one points to (a loop), -1 for none
    int filler = 64;        // bytes of "pixel data"
};

QByteArray TiffBytes(const QList<QList<Tag>> &ifds, const TiffLayout &l = {});
// The tags of a plain RGB image.
QList<Tag> ImageTags(quint32 width, quint32 height, QList<Tag> more = {});
QList<Tag> ResolutionTags(quint32 x, quint32 y, int unit = -1);

// ---- JPEG ----------------------------------------------------------------

QByteArray Segment(quint8 marker, const QByteArray &payload);
QByteArray Jfif(int units, int x, int y);
QByteArray ExifApp1(const QByteArray &tiff, const QByteArray &after = QByteArray());
QByteArray ExifDpi(quint32 x, quint32 y, int unit = 2, bool bigEndian = false);
QByteArray Xmp();
QByteArray Frame(int width, int height, quint8 marker = 0xC0, int components = 3);
QByteArray Quantisation();
QByteArray ScanToEnd();
QByteArray Jpeg(std::initializer_list<QByteArray> beforeFrame, int width, int height, quint8 marker = 0xC0);
// EXIF of 1/1,000,000,000 dpi on both axes.
QByteArray TinyExifDpi();
// An APP1 as cameras write it: IFD0 with the resolution, then a thumbnail
// (a complete JPEG with its own frame header) and padding, 40 KB in all.
QByteArray ExifWithThumbnail(quint32 dpi);

// ---- PNG, BMP, GIF, WebP -------------------------------------------------

QByteArray Chunk(const char *type, const QByteArray &data);
QByteArray Ihdr(quint32 width, quint32 height);
QByteArray Phys(quint32 x, quint32 y, int unit);
QByteArray Png(std::initializer_list<QByteArray> chunks);
QByteArray Idat();
QByteArray Iend();
QByteArray Bmp(quint32 headerSize, qint32 width, qint32 height, qint32 xPerMetre = 0, qint32 yPerMetre = 0);
QByteArray Gif(const char *version, int screenWidth, int screenHeight, bool withImage = true, int imageWidth = 0,
               int imageHeight = 0);
QByteArray RiffChunk(const char *type, const QByteArray &data);
QByteArray Webp(const QByteArray &chunks);
QByteArray Vp8(int width, int height);
QByteArray Vp8l(int width, int height);
QByteArray Vp8x(int width, int height, quint8 flags);

// ---- Formats written by Qt -----------------------------------------------

// Empty when Qt cannot write the format here.
QByteArray QtWritten(const QImage &image, const char *format);
QImage Picture(int width, int height, double dpi = 0);

// ---- Expectations --------------------------------------------------------

struct Expect {
    bool valid;
    int width = 0;
    int height = 0;
    float x = DefaultDpi;
    float y = DefaultDpi;
};

inline const Expect NotAnImage{false};

constexpr float Cm(float perCm) { return float(perCm * 2.54); }
constexpr float PerMetre(float perMetre) { return float(perMetre * 0.0254); }

void ExpectHeader(const ImageHeader &h, const Expect &e);
bool Same(const ImageHeader &a, const ImageHeader &b);

// One row of the format table: a file name (which may lie about the
// format), its bytes and the answer.
struct Case {
    const char *name;
    const char *fileName;
    std::function<QByteArray()> bytes;
    Expect expect;
};

void PrintTo(const Case &c, std::ostream *os);

extern const QList<Case> JpegCases, PngCases, TiffCases, BmpCases, GifCases, WebpCases;

} // namespace kestova::test
