// Conformance with a reference reader: every file of the exiftool sample
// corpus is measured and compared with what exiftool 12.57 read from it
// (the corpus's reference.tsv). Pixel sizes must agree; resolutions must be
// what the resolution rule makes of exiftool's JFIF, IFD0 and pHYs columns;
// files exiftool sees no image size in are not images. The few files where
// this program rightly answers otherwise are listed with the reason.
#include "image_headers.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTextStream>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace kestova;

namespace {

struct Expected {
    bool valid = false;
    int width = 0;
    int height = 0;
    float x = DefaultDpi;
    float y = DefaultDpi;
};

bool operator==(const Expected &a, const Expected &b)
{
    if (a.valid != b.valid)
        return false;
    return !a.valid || (a.width == b.width && a.height == b.height && std::abs(a.x - b.x) < 1e-3f && std::abs(a.y - b.y) < 1e-3f);
}

std::ostream &operator<<(std::ostream &os, const Expected &e)
{
    if (!e.valid)
        return os << "not an image";
    return os << e.width << "x" << e.height << " at " << e.x << "x" << e.y << " dpi";
}

const Expected NotAnImage{};

// Where this program answers otherwise than exiftool's columns say, and why.
struct Difference {
    const char *file;
    Expected expected;
    const char *reason;
};

// clang-format off
const Difference Differences[] = {
    // Resolution exiftool does not put in the compared columns.
    {"BMP.bmp", {true, 8, 8, 2835 * 0.0254f, 2835 * 0.0254f}, "BMP pixels per metre (2835) are the bitmap's resolution"},
    // Camera raw files are not measured.
    {"CanonRaw.cr2", NotAnImage, "camera raw (Canon CR2)"},
    {"CanonRaw.cr3", NotAnImage, "camera raw (Canon CR3)"},
    {"CanonRaw.crw", NotAnImage, "camera raw (Canon CRW)"},
    {"DNG.dng", NotAnImage, "camera raw (DNG)"},
    {"FujiFilm.raf", NotAnImage, "camera raw (Fujifilm RAF)"},
    {"Minolta.mrw", NotAnImage, "camera raw (Minolta MRW)"},
    {"Nikon.nef", NotAnImage, "camera raw (Nikon NEF)"},
    {"Panasonic.rw2", NotAnImage, "camera raw (Panasonic RW2)"},
    {"PhaseOne.iiq", NotAnImage, "camera raw (Phase One IIQ)"},
    {"Sigma.x3f", NotAnImage, "camera raw (Sigma X3F)"},
    {"SigmaDP2.x3f", NotAnImage, "camera raw (Sigma X3F)"},
    {"Red.r3d", NotAnImage, "camera raw video (RED)"},
    {"Lytro.lfp", NotAnImage, "light-field camera raw"},
    // Video, animation and documents: exiftool reports a frame or page size.
    {"ASF.wmv", NotAnImage, "video"},
    {"DV.dv", NotAnImage, "video"},
    {"Flash.flv", NotAnImage, "video"},
    {"Flash.swf", NotAnImage, "vector animation"},
    {"M2TS.mts", NotAnImage, "video"},
    {"Matroska.mkv", NotAnImage, "video"},
    {"Pentax.avi", NotAnImage, "video"},
    {"QuickTime.mov", NotAnImage, "video"},
    {"RIFF.avi", NotAnImage, "video"},
    {"PostScript.eps", NotAnImage, "vector drawing"},
    {"CaptureOne.eip", NotAnImage, "editing-session archive (zip)"},
    // Metadata sidecars that only describe an image stored elsewhere.
    {"PLUS.xmp", NotAnImage, "XMP sidecar"},
    {"XMP.xmp", NotAnImage, "XMP sidecar"},
    {"XMP2.xmp", NotAnImage, "XMP sidecar"},
    // Image formats neither this program nor Qt reads.
    {"BPG.bpg", NotAnImage, "BPG, not read"},
    {"DjVu.djvu", NotAnImage, "DjVu, not read"},
    {"DPX.dpx", NotAnImage, "DPX, not read"},
    {"FLIF.flif", NotAnImage, "FLIF, not read"},
    {"FLIR.fpf", NotAnImage, "FLIR thermal data, not read"},
    {"GIMP.xcf", NotAnImage, "GIMP XCF, not read"},
    {"ITC.itc", NotAnImage, "iTunes cover art container, not read"},
    {"JXL.jxl", NotAnImage, "JPEG XL, not read"},
    {"Jpeg2000.j2c", NotAnImage, "JPEG 2000 codestream, not read"},
    {"Jpeg2000.jp2", NotAnImage, "JPEG 2000, not read"},
    {"MIFF.miff", NotAnImage, "ImageMagick MIFF, not read"},
    {"MRC.mrc", NotAnImage, "electron microscopy MRC, not read"},
    {"OpenEXR.exr", NotAnImage, "OpenEXR, not read"},
    {"PCX.pcx", NotAnImage, "PCX, not read"},
    {"PFM.pfm", NotAnImage, "portable float map, not read"},
    {"PGF.pgf", NotAnImage, "PGF, not read"},
    {"PICT.pict", NotAnImage, "Mac PICT, not read"},
    {"PSP.psp", NotAnImage, "Paint Shop Pro, not read"},
    {"PhotoCD.pcd", NotAnImage, "Kodak Photo CD, not read"},
    {"Photoshop.psd", NotAnImage, "Photoshop PSD, not read"},
    {"Radiance.hdr", NotAnImage, "Radiance HDR, not read"},
    {"Sony.pmp", NotAnImage, "Sony PMP, not read"},
};
// clang-format on

std::optional<double> Number(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

// The resolution rule applied to exiftool's columns, in dots per inch.
std::optional<std::pair<double, double>> Pair(std::optional<double> x, std::optional<double> y, double factor)
{
    if (!x || !y)
        return std::nullopt;
    const float fx = float(*x * factor);
    const float fy = float(*y * factor);
    if (!std::isfinite(fx) || !std::isfinite(fy) || fx <= 0 || fy <= 0)
        return std::nullopt;
    return std::pair<double, double>(fx, fy);
}

Expected FromReference(const QStringList &c)
{
    const std::optional<double> width = Number(c[4]);
    const std::optional<double> height = Number(c[5]);
    if (!width || !height || *width < 1 || *height < 1)
        return NotAnImage;
    Expected e{true, int(*width), int(*height)};

    std::optional<std::pair<double, double>> dpi;
    const std::optional<double> jfifUnit = Number(c[6]);
    if (jfifUnit == 1.0 || jfifUnit == 2.0)
        dpi = Pair(Number(c[7]), Number(c[8]), *jfifUnit == 2.0 ? 2.54 : 1.0);
    if (!dpi) {
        const std::optional<double> unit = c[9] == QLatin1String("-") ? std::optional<double>(2) : Number(c[9]);
        if (unit == 2.0 || unit == 3.0)
            dpi = Pair(Number(c[10]), Number(c[11]), *unit == 3.0 ? 2.54 : 1.0);
    }
    if (!dpi && Number(c[12]) == 1.0)
        dpi = Pair(Number(c[13]), Number(c[14]), 0.0254);
    if (dpi) {
        e.x = float(dpi->first);
        e.y = float(dpi->second);
    }
    return e;
}

TEST(CorpusConformance, ExiftoolSamples)
{
    const QString folder = kestova::test::SourcePath(QStringLiteral("../shared/corpus/exiftool-samples"));
    QFile tsv(kestova::test::SourcePath(QStringLiteral("../shared/corpus/exiftool-samples.reference.tsv")));
    if (!QDir(folder).exists() || !tsv.open(QIODevice::ReadOnly | QIODevice::Text))
        GTEST_SKIP() << "the exiftool sample corpus is not beside the source tree";

    QHash<QString, Expected> reference;
    QTextStream in(&tsv);
    const QStringList header = in.readLine().split(u'\t');
    ASSERT_EQ(header.value(4), QStringLiteral("ImageWidth"));
    ASSERT_EQ(header.value(14), QStringLiteral("PNG:PixelsPerUnitY"));
    while (!in.atEnd()) {
        const QStringList columns = in.readLine().split(u'\t');
        ASSERT_GE(columns.size(), 15);
        reference.insert(columns[0], FromReference(columns));
    }

    QHash<QString, const Difference *> differences;
    for (const Difference &d : Differences)
        differences.insert(QString::fromLatin1(d.file), &d);

    int images = 0;
    int compared = 0;
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        // A file without a row is one exiftool could not identify at all.
        const Expected byReference = reference.value(name, NotAnImage);
        const Difference *difference = differences.value(name);
        const Expected expected = difference ? difference->expected : byReference;
        if (difference) {
            EXPECT_FALSE(difference->expected == byReference) << "listed difference no longer differs";
        }

        const ImageHeader h = ReadImageHeader(QDir(folder).filePath(name));
        const Expected got{h.valid, h.width, h.height, h.horizontalDpi, h.verticalDpi};
        EXPECT_EQ(got, expected) << (difference ? difference->reason : "");
        images += got.valid;
        ++compared;
    }
    for (const Difference &d : Differences)
        EXPECT_TRUE(files.contains(QString::fromLatin1(d.file))) << d.file << " is listed but not in the corpus";
    EXPECT_GT(compared, 150);
    EXPECT_GT(images, 40);
}

} // namespace
