// Measurement of one photo: print size and area in the configured units
// from pixel size and resolution, the quoted path, and the ways a
// measurement fails.
#include "measure_photo.h"
#include "recording_dialogs.h"
#include "sandbox.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <limits>

using namespace kestova;
using kestova::test::Sandbox;

namespace {

struct MeasureCase {
    const char *name;
    qint32 width;
    qint32 height;
    float horizontalDpi;
    float verticalDpi;
    std::optional<LengthUnit> sizeUnit;
    AreaUnit areaUnit;
    qint32 unitRadixPoint;
    double printWidth;
    double printHeight;
    double area;
};

void PrintTo(const MeasureCase &c, std::ostream *os)
{
    *os << c.name;
}

class Measurement : public ::testing::TestWithParam<MeasureCase>
{
};

TEST_P(Measurement, PrintSizeAndArea)
{
    const MeasureCase &c = GetParam();
    const QString path = QStringLiteral("/photos/a.jpg");
    const PhotoMeasure m = MeasureFromHeader(path, c.width, c.height, c.horizontalDpi, c.verticalDpi,
                                             c.sizeUnit, c.areaUnit, c.unitRadixPoint);
    EXPECT_TRUE(m.Succeeded);
    EXPECT_EQ(m.PixelWidth, c.width);
    EXPECT_EQ(m.PixelHeight, c.height);
    EXPECT_EQ(m.HorizontalDpi, c.horizontalDpi);
    EXPECT_EQ(m.VerticalDpi, c.verticalDpi);
    EXPECT_DOUBLE_EQ(m.PrintWidth, c.printWidth);
    EXPECT_DOUBLE_EQ(m.PrintHeight, c.printHeight);
    EXPECT_DOUBLE_EQ(m.Area, c.area);
    EXPECT_EQ(m.QuotedPath, path);
    EXPECT_TRUE(m.ArithmeticError.isEmpty());
}

constexpr std::optional<LengthUnit> Cm = LengthUnit::Centimetre;
constexpr std::optional<LengthUnit> In = LengthUnit::Inch;
constexpr std::optional<LengthUnit> None = std::nullopt;
constexpr AreaUnit M2 = AreaUnit::SquareMetre;
constexpr AreaUnit Cm2 = AreaUnit::SquareCentimetre;

// clang-format off
const MeasureCase MeasureCases[] = {
    // name                              w     h     dpi x  dpi y  size  area dec  width  height  area
    {"CentimetresAndSquareMetres",       1800, 1200, 300,   300,   Cm,   M2,  4,   15.24, 10.16,  0.0155},
    {"InchesAndSquareCentimetres",       1800, 1200, 300,   300,   In,   Cm2, 4,   6,     4,      154.8384},
    {"CentimetresRoundedToTwoDecimals",  1000, 700,  72,    72,    Cm,   M2,  4,   35.28, 24.69,  0.0871},
    {"EachAxisItsOwnResolution",         600,  600,  300,   150,   In,   Cm2, 4,   2,     4,      51.6128},
    {"NoSizeUnitLeavesPrintSizeZero",    1800, 1200, 300,   300,   None, M2,  4,   0,     0,      0.0155},
    {"NoSizeUnitInSquareCentimetres",    1800, 1200, 300,   300,   None, Cm2, 2,   0,     0,      154.84},
    {"AreaToNoDecimals",                 1800, 1200, 300,   300,   In,   Cm2, 0,   6,     4,      155},
    {"InchesHalfRoundsAwayFromZero",     75,   45,   300,   300,   In,   Cm2, 4,   0.3,   0.2,    0.2419},
    {"DefaultResolution",                960,  480,  96,    96,    In,   Cm2, 4,   10,    5,      322.58},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(FromHeader, Measurement, ::testing::ValuesIn(MeasureCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(QuotePath, DoublesEveryApostrophe)
{
    EXPECT_EQ(QuotePath(QStringLiteral("D:\\Bob's\\a.jpg")), QStringLiteral("D:\\Bob''s\\a.jpg"));
    EXPECT_EQ(QuotePath(QStringLiteral("'a'b''")), QStringLiteral("''a''b''''"));
    EXPECT_EQ(QuotePath(QStringLiteral("D:\\photos\\a.jpg")), QStringLiteral("D:\\photos\\a.jpg"));
}

// A resolution without a finite quotient stops the measurement: the path
// and a description come back, with no quoted path and no success, and the
// values already read stay in the record.
TEST(MeasureFromHeader, ArithmeticErrors)
{
    const QString path = QStringLiteral("D:\\Bob's\\a.jpg");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char *name;
        float x;
        float y;
        std::optional<LengthUnit> sizeUnit;
    } rows[] = {
        {"horizontal resolution 0", 0, 300, Cm},
        {"vertical resolution 0", 300, 0, In},
        {"both 0 with no print size", 0, 0, None},
        {"no number", nan, 300, Cm},
    };
    QStringList descriptions;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const PhotoMeasure m = MeasureFromHeader(path, 1800, 1200, row.x, row.y, row.sizeUnit, M2, 4);
        EXPECT_FALSE(m.Succeeded);
        EXPECT_TRUE(m.QuotedPath.isEmpty());
        ASSERT_TRUE(m.ArithmeticError.startsWith(path));
        EXPECT_GT(m.ArithmeticError.size(), path.size());
        descriptions.append(m.ArithmeticError.mid(path.size()));
        EXPECT_EQ(m.PixelWidth, 1800);
        EXPECT_EQ(m.PixelHeight, 1200);
        EXPECT_EQ(m.PrintWidth, 0);
        EXPECT_EQ(m.PrintHeight, 0);
    }
    // Division by zero and a result that is no number are told apart.
    EXPECT_EQ(descriptions[0], descriptions[1]);
    EXPECT_NE(descriptions[0], descriptions[3]);
}

QByteArray JpegBytes(int width, int height, int dpiX, int dpiY)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::gray);
    image.setDotsPerMeterX(qRound(dpiX / 0.0254));
    image.setDotsPerMeterY(qRound(dpiY / 0.0254));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

// The same examples from real files, whose headers hold the resolution.
TEST(MeasureFile, ExamplesFromFiles)
{
    Sandbox box;
    const QString photo = box.writeFile(QStringLiteral("Bob's/a.jpg"), JpegBytes(1800, 1200, 300, 300));
    PhotoMeasure m = MeasureFile(photo, Cm, M2, 4);
    EXPECT_TRUE(m.Succeeded);
    EXPECT_EQ(m.PixelWidth, 1800);
    EXPECT_EQ(m.PixelHeight, 1200);
    EXPECT_EQ(m.HorizontalDpi, 300);
    EXPECT_EQ(m.VerticalDpi, 300);
    EXPECT_DOUBLE_EQ(m.PrintWidth, 15.24);
    EXPECT_DOUBLE_EQ(m.PrintHeight, 10.16);
    EXPECT_DOUBLE_EQ(m.Area, 0.0155);
    EXPECT_EQ(m.QuotedPath, QString(photo).replace(QStringLiteral("'"), QStringLiteral("''")));

    m = MeasureFile(box.writeFile(QStringLiteral("b.jpg"), JpegBytes(600, 600, 300, 150)), In, Cm2, 4);
    EXPECT_TRUE(m.Succeeded);
    EXPECT_DOUBLE_EQ(m.PrintWidth, 2);
    EXPECT_DOUBLE_EQ(m.PrintHeight, 4);

    // A format without resolution: 96 dots per inch.
    QImage pixmap(960, 480, QImage::Format_RGB32);
    pixmap.fill(Qt::gray);
    QByteArray ppm;
    QBuffer buffer(&ppm);
    buffer.open(QIODevice::WriteOnly);
    pixmap.save(&buffer, "PPM");
    m = MeasureFile(box.writeFile(QStringLiteral("c.ppm"), ppm), In, Cm2, 2);
    EXPECT_TRUE(m.Succeeded);
    EXPECT_EQ(m.HorizontalDpi, 96);
    EXPECT_DOUBLE_EQ(m.PrintWidth, 10);
    EXPECT_DOUBLE_EQ(m.PrintHeight, 5);
    EXPECT_DOUBLE_EQ(m.Area, 322.58);
}

TEST(MeasurePhoto, TextFileIsNoImageAndNoMessage)
{
    Sandbox box;
    const QString path = box.writeFile(QStringLiteral("Bob's notes.txt"), "20 photos, 6 inch, glossy\n");
    kestova::test::RecordingDialogs dialogs;
    const PhotoMeasure m = MeasurePhoto(path, Cm, M2, 4, &dialogs);
    EXPECT_FALSE(m.Succeeded);
    EXPECT_EQ(m.PixelWidth, 0);
    EXPECT_EQ(m.PixelHeight, 0);
    EXPECT_EQ(m.HorizontalDpi, 0);
    EXPECT_EQ(m.VerticalDpi, 0);
    EXPECT_EQ(m.PrintWidth, 0);
    EXPECT_EQ(m.PrintHeight, 0);
    EXPECT_EQ(m.Area, 0);
    EXPECT_EQ(m.QuotedPath, QString(path).replace(QStringLiteral("'"), QStringLiteral("''")));
    EXPECT_TRUE(m.ArithmeticError.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A header may claim any size; one that no camera makes or no printer
// prints is a failure with its reason and adds nothing to any total.
TEST(MeasureFromHeader, ImplausibleSizesFailWithTheirReason)
{
    const struct {
        qint32 width, height;
        float dpi;
        const char *reason; // empty: measured
    } cases[] = {
        {100000, 1000, 10000, ""},                                     // the largest side, 25.4 cm
        {100001, 1000, 10000, "尺寸不合理：100001×1000 像素，每边最多 100000 像素"},
        {39370, 100, 100, ""},                                         // 10.0 m
        {39371, 100, 100, "尺寸不合理：打印尺寸 10×0.03 米，每边最多 10 米"},
        {100, 50000, 96, "尺寸不合理：打印尺寸 0.03×13.23 米，每边最多 10 米"},
    };
    for (const auto &c : cases) {
        const PhotoMeasure m = MeasureFromHeader("p.bmp", c.width, c.height, c.dpi, c.dpi, Cm, M2, 4);
        EXPECT_EQ(m.Succeeded, QString(c.reason).isEmpty()) << c.width << "x" << c.height;
        EXPECT_EQ(m.FailureReason, QString(c.reason));
        EXPECT_TRUE(m.ArithmeticError.isEmpty());
    }

    // 154 bytes claiming 2147483647 pixels a side.
    Sandbox box;
    QByteArray bmp = QByteArray::fromHex("424d9a000000000000003600000028000000ffffff7fffffff7f0100180000000000"
                                         "64000000c40e0000c40e00000000000000000000");
    bmp.append(QByteArray(100, '\0'));
    ASSERT_EQ(bmp.size(), 154);
    const PhotoMeasure m = MeasureFile(box.writeFile("huge.bmp", bmp), Cm, M2, 4);
    EXPECT_FALSE(m.Succeeded);
    EXPECT_TRUE(m.FailureReason.startsWith("尺寸不合理：2147483647×2147483647 像素")) << m.FailureReason.toStdString();
}

} // namespace
