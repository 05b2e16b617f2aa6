// The chunk walks that decide what reaches Qt's decoders, and the MNG frame
// size read from the file's first chunk instead of by playing it.
#include "decoder_claims.h"
#include "hostile_files.h"
#include "image_headers.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <cmath>

using namespace kestova;
using namespace kestova::test;

namespace {

QByteArray Png(int width, int height)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImage(width, height, QImage::Format_RGB32).save(&buffer, "PNG");
    return bytes;
}

PngChunks Check(const QByteArray &bytes)
{
    ImageSource source(bytes.constData(), bytes.size());
    return CheckPngChunks(source, 0, source.size());
}

bool EmbeddedFit(const QByteArray &bytes, quint64 maxPixels)
{
    ImageSource source(bytes.constData(), bytes.size());
    return EmbeddedPngsFit(source, maxPixels);
}

double JpegBuffered(const QByteArray &bytes)
{
    ImageSource source(bytes.constData(), bytes.size());
    return JpegBufferedBytes(source);
}

QByteArray Jpeg(int width, int height, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(QImage(width, height, QImage::Format_RGB32));
    return bytes;
}

double MngClaims(const QByteArray &bytes)
{
    ImageSource source(bytes.constData(), bytes.size());
    return MngClaimedPixels(source);
}

} // namespace

TEST(DecoderClaims, PngChunkListAgainstTheEndOfTheFile)
{
    const QByteArray png = Png(20, 10);
    const QByteArray withoutEnd = png.chopped(12);
    const qsizetype idat = png.indexOf("IDAT") - 4;
    const struct {
        const char *name;
        QByteArray bytes;
        PngChunks::Fit fit;
        qint64 cut;
    } rows[] = {
        {"whole", png, PngChunks::Whole, 0},
        {"large text that fits", png.left(idat) + PngChunk("tEXt", QByteArray(100000, 'a')) + png.mid(idat), PngChunks::Whole, 0},
        {"claim after the image data", withoutEnd + ClaimedChunk("tEXt", 0x7FFFFFF0, "ab"), PngChunks::ImageThenCut, withoutEnd.size()},
        {"no IEND", withoutEnd, PngChunks::ImageThenCut, withoutEnd.size()},
        {"claim before the image data", PngClaimingHugeChunk(), PngChunks::Damaged, 0},
        {"image data cut short", png.left(idat + 10), PngChunks::Damaged, 0},
        {"no image data", png.left(idat) + png.right(12), PngChunks::Damaged, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const PngChunks check = Check(row.bytes);
        EXPECT_EQ(check.fit, row.fit);
        if (row.fit == PngChunks::ImageThenCut) {
            EXPECT_EQ(check.cut, row.cut);
        }
    }
    EXPECT_EQ(Check(png).pixels, 200u);
}

TEST(DecoderClaims, PngsEmbeddedInIcons)
{
    const QByteArray png = Png(20, 10);
    EXPECT_TRUE(EmbeddedFit(IcoHolding(png), 200));
    EXPECT_FALSE(EmbeddedFit(IcoHolding(png), 199));
    EXPECT_FALSE(EmbeddedFit(IcnsHolding(PngClaimingHugeChunk()), 1000));
    // Found wherever it lies, also across the blocks the file is read in.
    for (const int at : {65536 - 4, 65536 * 3 + 100}) {
        const QByteArray file = QByteArray(at, 'x') + PngClaimingHugeChunk() + QByteArray(5000, 'y');
        EXPECT_FALSE(EmbeddedFit(file, 1000)) << at;
        EXPECT_TRUE(EmbeddedFit(QByteArray(at, 'x') + png + QByteArray(5000, 'y'), 1000)) << at;
    }
    EXPECT_TRUE(EmbeddedFit(QByteArray(100, 'x'), 0));
}

TEST(DecoderClaims, MngClaimsFrameImagesAndMagnification)
{
    const QByteArray image = PngChunksOf(Png(20, 10));
    EXPECT_EQ(MngClaims(Mng(8000, 6000, image)), 48000000.0 + 200);
    EXPECT_EQ(MngClaims(Mng(40, 30, image + PngChunk("CLON", QByteArray("\0\1\0\2", 4)))), 1200.0 + 400);
    EXPECT_EQ(MngClaims(Mng(40, 30, image + MagnChunk(1, 1, 300))), 1200.0 + 200.0 * 300 * 300);
    EXPECT_TRUE(std::isinf(MngClaims(Mng(40, 30, image).chopped(12)))); // no MEND
    EXPECT_TRUE(std::isinf(MngClaims(Mng(40, 30, ClaimedChunk("IHDR", 0x7FFFFFF0, "ab")))));
    EXPECT_TRUE(std::isinf(MngClaims(Png(20, 10))));
}

TEST(DecoderClaims, JpegCoefficientsKeptForTheWholeImage)
{
    // Three components of 1500 × 1500 blocks of 128 bytes.
    EXPECT_EQ(JpegBuffered(JpegClaiming(12000, 12000, false)), 864e6);
    EXPECT_EQ(JpegBuffered(JpegClaiming(12000, 12000, true)), 864e6);
    EXPECT_EQ(JpegBuffered(Jpeg(640, 480, false)), 0);
    const double progressive = JpegBuffered(Jpeg(640, 480, true));
    EXPECT_GE(progressive, 640 * 480 * 2);
    EXPECT_LE(progressive, 640 * 480 * 6);
    EXPECT_EQ(JpegBuffered(Png(20, 10)), 0);
}

TEST(DecoderClaims, MngIsMeasuredByItsFrameWithoutDecoding)
{
    if (!QImageReader::supportedImageFormats().contains("mng"))
        GTEST_SKIP() << "Qt has no MNG handler here";
    const QByteArray mng = Mng(8000, 6000, PngChunksOf(Png(20, 10)));
    const ImageHeader h = ReadImageHeader(mng.constData(), mng.size(), QStringLiteral("a.mng"));
    EXPECT_TRUE(h.valid);
    EXPECT_EQ(h.width, 8000);
    EXPECT_EQ(h.height, 6000);
    EXPECT_EQ(h.horizontalDpi, DefaultDpi);
    EXPECT_FALSE(ReadImageHeader(mng.constData(), mng.size(), QStringLiteral("a.dat")).valid);
    EXPECT_FALSE(ReadImageHeader(mng.constData(), 40, QStringLiteral("a.mng")).valid); // MHDR cut short
    QByteArray noHeader = mng;
    noHeader.replace("MHDR", "MHDX");
    EXPECT_FALSE(ReadImageHeader(noHeader.constData(), noHeader.size(), QStringLiteral("a.mng")).valid);
}
