// ReadImageHeader on every format it knows: the table of files built byte
// by byte, each read from a file and from memory, the formats left to Qt
// (and the vector drawings it is not asked about), files Qt's own encoders
// wrote, and a resolution out of range.
#include "image_bytes.h"
#include "image_headers.h"
#include "measure_photo.h"
#include "sandbox.h"

#include <QImage>

#include <gtest/gtest.h>

#include <bit>

using namespace kestova;
using namespace kestova::test;

namespace kestova::test {

// ---- The table of formats -----------------------------------------------

// clang-format off
const QList<Case> JpegCases = {
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

const QList<Case> PngCases = {
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

const QList<Case> TiffCases = {
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

const QList<Case> BmpCases = {
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

const QList<Case> GifCases = {
    {"Gif87a", "a.gif", [] { return Gif("GIF87a", 120, 80); }, {true, 120, 80}},
    {"Gif89aLogicalScreen", "a.gif", [] { return Gif("GIF89a", 300, 200, true, 10, 10); }, {true, 300, 200}},
    {"ZeroScreenTakesFirstImage", "a.gif", [] { return Gif("GIF89a", 0, 0, true, 44, 33); }, {true, 44, 33}},
    {"ZeroScreenWithoutImage", "a.gif", [] { return Gif("GIF89a", 0, 0, false); }, NotAnImage},
};

const QList<Case> WebpCases = {
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

} // namespace kestova::test

namespace {

std::string CaseName(const ::testing::TestParamInfo<Case> &info)
{
    return info.param.name;
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

INSTANTIATE_TEST_SUITE_P(Jpeg, HeaderTable, ::testing::ValuesIn(JpegCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Png, HeaderTable, ::testing::ValuesIn(PngCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Tiff, HeaderTable, ::testing::ValuesIn(TiffCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Bmp, HeaderTable, ::testing::ValuesIn(BmpCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Gif, HeaderTable, ::testing::ValuesIn(GifCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Webp, HeaderTable, ::testing::ValuesIn(WebpCases), CaseName);

// ---- Formats read through Qt ---------------------------------------------

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
    const PhotoMeasure m = MeasureFile(path, LengthUnit::Centimetre, AreaUnit::SquareMetre, 4);
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

} // namespace
