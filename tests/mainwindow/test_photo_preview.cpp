// The preview's decoding and drawing: turned photos shown upright, large
// photos decoded quickly at the size they are drawn, files that only claim
// to be huge refused, and the picture kept through repaints.
#include "photo_preview.h"

#include "program_title.h"
#include "recording_dialogs.h"
#include "heif_bytes.h"
#include "hostile_files.h"
#include "preview_bytes.h"
#include "sandbox.h"
#include "settings.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <libheif/heif.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <cstring>

using namespace kestova;
using namespace kestova::test;

namespace {

QByteArray Encode(const QImage &image, const char *format, int quality = 90)
{
    return EncodeImage(image, format, quality);
}

// A JPEG with an EXIF block whose only entry is the orientation (1 … 8).
QByteArray JpegWithOrientation(const QImage &image, int orientation)
{
    QByteArray tiff("MM\x00\x2A\x00\x00\x00\x08", 8);
    tiff += QByteArray("\x00\x01", 2);                      // one entry
    tiff += QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01", 8); // Orientation, SHORT, count 1
    tiff += char(0);
    tiff += char(orientation);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0'); // no next directory
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xFF\xE1", 2);
    app1 += char((exif.size() + 2) >> 8);
    app1 += char((exif.size() + 2) & 0xFF);
    app1 += exif;
    QByteArray jpeg = Encode(image, "JPEG", 95);
    return jpeg.insert(2, app1); // right after SOI
}

// Four plain quarters, so that every turn puts a different colour in each
// corner.
QImage Quarters(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y, !bottom ? (right ? qRgb(0, 200, 0) : qRgb(220, 0, 0))
                                         : (right ? qRgb(240, 220, 0) : qRgb(0, 0, 220)));
        }
    return image;
}

bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) < 70 && std::abs(qGreen(a) - qGreen(b)) < 70
        && std::abs(qBlue(a) - qBlue(b)) < 70;
}

// Overwrites a PNG's IHDR size and its CRC.
QByteArray PngClaiming(int width, int height)
{
    QByteArray png = PngBytes(1, 1);
    qToBigEndian<quint32>(quint32(width), png.data() + 16);
    qToBigEndian<quint32>(quint32(height), png.data() + 20);
    quint32 crc = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) { // "IHDR" and its 13 bytes
        crc ^= quint8(png[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    qToBigEndian<quint32>(~crc, png.data() + 29);
    return png;
}

QByteArray BmpClaiming(int width, int height)
{
    QByteArray bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(54 + 16, bmp.data() + 2);
    qToLittleEndian<quint32>(54, bmp.data() + 10);
    qToLittleEndian<quint32>(40, bmp.data() + 14);
    qToLittleEndian<qint32>(width, bmp.data() + 18);
    qToLittleEndian<qint32>(height, bmp.data() + 22);
    qToLittleEndian<quint16>(1, bmp.data() + 26);
    qToLittleEndian<quint16>(24, bmp.data() + 28);
    return bmp + QByteArray(16, '\x7F');
}

int Grey(QRgb pixel)
{
    return qGray(pixel);
}

} // namespace

TEST(PhotoPreview, HeifPhotosArePreviewedUpright)
{
    const QByteArray plain = HeifBytes(400, 300, heif_orientation_normal);
    if (plain.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    Sandbox sandbox;
    const QString path = sandbox.writeFile(QStringLiteral("phone.heic"), plain);
    const FittedPhoto photo = DecodeFitted(path, 200, 200);
    ASSERT_TRUE(photo.ok);
    EXPECT_EQ(photo.target, QRect(0, 25, 200, 150));
    ASSERT_EQ(photo.visible.size(), QSize(200, 150));
    EXPECT_LT(Grey(photo.visible.pixel(20, 75)), 100);  // dark on the left
    EXPECT_GT(Grey(photo.visible.pixel(180, 75)), 160); // light on the right

    // Stored turned a quarter clockwise: shown 300 × 400, the dark half on top.
    const QString turned = sandbox.writeFile(QStringLiteral("turned.heic"),
                                             HeifBytes(400, 300, heif_orientation_rotate_90_cw));
    const FittedPhoto upright = DecodeFitted(turned, 200, 200);
    ASSERT_TRUE(upright.ok);
    EXPECT_EQ(upright.target, QRect(25, 0, 150, 200));
    EXPECT_LT(Grey(upright.visible.pixel(75, 20)), 100);
    EXPECT_GT(Grey(upright.visible.pixel(75, 180)), 160);

    QByteArray cut = plain;
    cut.truncate(plain.size() / 2);
    EXPECT_FALSE(DecodeFitted(sandbox.writeFile(QStringLiteral("cut.heic"), cut), 200, 200).ok);
}

// A photo is previewed from the text the scan stored: a name that is GBK on
// disk, and a path past the system's length limit.
TEST(PhotoPreview, GbkNamesAndDeepPathsArePreviewed)
{
    Sandbox sandbox;
    const QByteArray gbk("\xD5\xD5\xC6\xAC"); // 照片
    QByteArray deep;
    while (deep.size() <= PATH_MAX)
        deep += QByteArray(200, 'd') + '/';
    const QImage image = Quarters(160, 80);
    sandbox.writeRawFile(gbk + "/" + gbk + ".jpg", Encode(image, "JPEG"));
    sandbox.writeRawFile(deep + gbk + ".png", Encode(image, "PNG"));
    const QString root = sandbox.root() + '/';
    for (const QString &path : {root + "照片/照片.jpg", root + QString::fromLatin1(deep) + "照片.png"}) {
        const FittedPhoto photo = DecodeFitted(path, 80, 80);
        ASSERT_TRUE(photo.ok) << path.size();
        EXPECT_EQ(photo.target, QRect(0, 20, 80, 40));
        EXPECT_TRUE(Near(photo.visible.pixel(5, 5), qRgb(220, 0, 0)));
    }

    const QByteArray heif = HeifBytes(400, 300, heif_orientation_normal);
    if (heif.isEmpty())
        return; // no HEVC encoder here
    sandbox.writeRawFile(gbk + ".heic", heif);
    EXPECT_TRUE(DecodeFitted(root + "照片.heic", 200, 200).ok);
}

// The preview turns the decoded planes into RGB itself, with the matrix and
// range the file names.
TEST(PhotoPreview, HeifColoursFollowTheFilesMatrixAndRange)
{
    heif_color_profile_nclx *limited709 = heif_nclx_color_profile_alloc();
    heif_nclx_color_profile_set_matrix_coefficients(limited709, heif_matrix_coefficients_ITU_R_BT_709_5);
    limited709->full_range_flag = 0;
    const QImage picture = Quarters(320, 240);
    const QByteArray files[] = {HeifFromPicture(picture), HeifFromPicture(picture, limited709)};
    heif_nclx_color_profile_free(limited709);
    if (files[0].isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    Sandbox sandbox;
    for (const QByteArray &file : files) {
        const FittedPhoto photo = DecodeFitted(sandbox.writeFile(QStringLiteral("q.heic"), file), 160, 120);
        ASSERT_TRUE(photo.ok);
        ASSERT_EQ(photo.visible.size(), QSize(160, 120));
        for (const QPoint quarter : {QPoint(40, 30), QPoint(120, 30), QPoint(40, 90), QPoint(120, 90)}) {
            const QRgb shown = photo.visible.pixel(quarter);
            const QRgb original = picture.pixel(quarter * 2);
            EXPECT_LE(std::abs(qRed(shown) - qRed(original)) + std::abs(qGreen(shown) - qGreen(original))
                          + std::abs(qBlue(shown) - qBlue(original)),
                      9)
                << std::hex << shown << " for " << original;
        }
    }
}

TEST(PhotoPreview, TurnedPhotosAreShownUprightAndClippedToTheBox)
{
    Sandbox sandbox;
    const QImage stored = Quarters(800, 400);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString path = sandbox.writeFile(QStringLiteral("o%1.jpg").arg(orientation),
                                               JpegWithOrientation(stored, orientation));
        QImageReader reference(path);
        reference.setAutoTransform(true);
        const QImage upright = reference.read();
        ASSERT_FALSE(upright.isNull());
        const bool landscape = upright.width() > upright.height();
        EXPECT_EQ(landscape, orientation < 5) << "orientation " << orientation;

        // A box the photo fits into, and one it overflows (clipped).
        const QSize boxes[] = {QSize(100, 100), landscape ? QSize(100, 20) : QSize(20, 100)};
        for (const QSize &box : boxes) {
            const FittedPhoto photo = DecodeFitted(path, box.width(), box.height());
            ASSERT_TRUE(photo.ok);
            EXPECT_EQ(photo.target, FitPhotoRect(upright.width(), upright.height(), box.width(), box.height()));
            const QRect visible = photo.target & QRect(QPoint(), box);
            EXPECT_EQ(photo.visible.size(), visible.size()) << "orientation " << orientation;
            EXPECT_EQ(photo.visibleTopLeft, visible.topLeft());
            // Each sample of the decoded part has the colour of the same place
            // in the upright photo.
            for (const double fx : {0.2, 0.8}) {
                for (const double fy : {0.2, 0.8}) {
                    const QPoint p(int(fx * visible.width()), int(fy * visible.height()));
                    const QPointF inTarget = QPointF(visible.topLeft() + p - photo.target.topLeft());
                    const QPoint inUpright(int(inTarget.x() * upright.width() / photo.target.width()),
                                           int(inTarget.y() * upright.height() / photo.target.height()));
                    EXPECT_TRUE(Near(photo.visible.pixel(p), upright.pixel(inUpright)))
                        << "orientation " << orientation << " box " << box.width() << "x" << box.height()
                        << " at " << p.x() << "," << p.y();
                }
            }
        }
    }
}

TEST(PhotoPreview, AFiftyMegapixelPhotoDecodesQuicklyAtTheBoxSize)
{
    Sandbox sandbox;
    // Fine detail everywhere, so the file is as hard to decode as a real
    // photo's (a plain picture would compress to almost nothing).
    QImage big(8192, 6144, QImage::Format_Grayscale8);
    QByteArray noise(big.width() * 2, '\0');
    quint32 seed = 12345;
    for (char &c : noise) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    for (int y = 0; y < big.height(); ++y)
        std::memcpy(big.scanLine(y), noise.constData() + (y * 37) % big.width(), size_t(big.width()));
    const QString path = sandbox.writeFile(QStringLiteral("big.jpg"), Encode(big, "JPEG", 60));
    big = QImage();

    // The processor time of this thread, so that other programs busy on the
    // same machine do not count.
    const auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    };
    const qint64 start = cpuMs();
    const FittedPhoto photo = DecodeFitted(path, 400, 300);
    const qint64 ms = cpuMs() - start;
    ASSERT_TRUE(photo.ok);
    EXPECT_EQ(photo.visible.size(), QSize(400, 300));
    EXPECT_LT(ms, 450) << "decoding took " << ms << " ms";
}

TEST(PhotoPreview, FilesClaimingHugeSizesAreRefusedAtOnce)
{
    Sandbox sandbox;
    const QString png = sandbox.writeFile(QStringLiteral("huge.png"), PngClaiming(100000, 100000));
    const QString bmp = sandbox.writeFile(QStringLiteral("huge.bmp"), BmpClaiming(100000, 100000));
    ASSERT_EQ(QImageReader(png).size(), QSize(100000, 100000));
    for (const QString &path : {png, bmp}) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(DecodeFitted(path, 400, 300).ok) << path.toStdString();
        EXPECT_LT(timer.elapsed(), 1000);
    }
}

// What the preview shows of a file whose metadata it leaves out is the
// file's picture, still turned by its EXIF; what it does not show, it says
// why.
TEST(PhotoPreview, MetadataLeftOutKeepsThePictureAndRefusalsSayWhy)
{
    Sandbox sandbox;
    const QImage stored = Quarters(80, 40);
    const QByteArray turned = JpegWithOrientation(stored, 6);  // upright 40 × 80
    QByteArray xmp("\xFF\xE1\x01\x00http://ns.adobe.com/xap/1.0/\0", 33);
    xmp += QByteArray(0x100 + 2 - xmp.size(), 'x');
    const QByteArray comment = QByteArray("\xFF\xFE\x00\x10", 4) + QByteArray(14, 'c');
    const QByteArray padded = QByteArray(turned).insert(2, (xmp + comment).repeated(3));
    const QByteArray trailing = QByteArray(turned).insert(turned.size() - 2, (xmp + comment).repeated(3));
    // More segments than the count reads: the count marks it failed.
    const QByteArray unmeasured = QByteArray(Encode(stored, "JPEG")).insert(2, comment.repeated(5000));
    const QString tiff = sandbox.path(QStringLiteral("described.tif"));
    ASSERT_TRUE(WriteTiffWithDescription(tiff, 100, 60, 2 * MetadataLimit));

    const FittedPhoto reference = DecodeFitted(sandbox.writeFile(QStringLiteral("turned.jpg"), turned), 100, 100);
    ASSERT_TRUE(reference.ok);
    const struct {
        const char *name;
        QString path;
        QString reason;  // empty: shown
        QSize size;
    } rows[] = {
        {"padded", sandbox.writeFile(QStringLiteral("padded.jpg"), padded), {}, reference.visible.size()},
        {"described", tiff, {}, QSize(100, 60)},
        {"unmeasured", sandbox.writeFile(QStringLiteral("unmeasured.jpg"), unmeasured),
         QStringLiteral("无法读出图片的尺寸，统计时记为失败"), QSize(0, 0)},
        {"missing", sandbox.path(QStringLiteral("gone.jpg")), QStringLiteral("无法读取文件"), QSize(0, 0)},
        {"huge", sandbox.writeFile(QStringLiteral("huge.bmp"), BmpClaiming(100000, 100000)),
         QStringLiteral("图片过大，预览需要的内存超出限制"), QSize(0, 0)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const FittedPhoto photo = DecodeFitted(row.path, 100, 100);
        EXPECT_EQ(photo.ok, row.reason.isEmpty());
        EXPECT_EQ(photo.reason, row.reason);
        EXPECT_EQ(photo.visible.size(), row.size);
    }
    EXPECT_EQ(DecodeFitted(sandbox.path(QStringLiteral("padded.jpg")), 100, 100).visible, reference.visible);
    EXPECT_EQ(DecodeFitted(sandbox.writeFile(QStringLiteral("trailing.jpg"), trailing), 100, 100).visible,
              reference.visible);
}

TEST(PhotoPreview, DrawingKeepsThePictureUntilTheNextClick)
{
    Sandbox sandbox;
    QImage photo(300, 200, QImage::Format_RGB32);
    photo.fill(QColor(200, 30, 30));
    const QString path = sandbox.writeFile(QStringLiteral("red.png"), Encode(photo, "PNG"));
    Settings settings;
    RecordingDialogs dialogs;
    PhotoBox box;
    box.resize(202, 152); // inner 200 × 150 inside a one-pixel border
    box.show();
    ASSERT_EQ(box.InnerSize(), QSize(200, 150));

    EXPECT_TRUE(PreviewPhoto(box, path, settings, dialogs));
    EXPECT_EQ(box.Target(), QRect(0, 8, 200, 133)); // 200 / 300 × 200 = 133.3
    const QPoint centre = box.contentsRect().center();
    for (int repaint = 0; repaint < 2; ++repaint)
        EXPECT_TRUE(Near(box.grab().toImage().pixel(centre), qRgb(200, 30, 30))) << "repaint " << repaint;
    // Above the picture the box shows its own background.
    EXPECT_EQ(box.grab().toImage().pixel(box.contentsRect().left() + 100, box.contentsRect().top() + 2),
              box.palette().color(QPalette::Window).rgb());
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A blank path changes nothing; a missing file clears the box and says so.
    EXPECT_FALSE(PreviewPhoto(box, QStringLiteral("  "), settings, dialogs));
    EXPECT_TRUE(box.HasPicture());
    EXPECT_TRUE(PreviewPhoto(box, sandbox.path(QStringLiteral("gone.jpg")), settings, dialogs));
    EXPECT_FALSE(box.HasPicture());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("显示失败!"));
    EXPECT_EQ(dialogs.messages[0].title, ProgramTitle);
    EXPECT_NE(box.grab().toImage().pixel(centre), qRgb(200, 30, 30));
}
