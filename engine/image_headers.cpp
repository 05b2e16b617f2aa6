// ReadImageHeader: tells the format by the file's first bytes and hands the
// file to its reader; formats without a signature reader of their own go to
// Qt by the file's extension, so a text file or unknown binary is turned
// away without any further reading.
#include "image_headers.h"

#include "image_formats.h"
#include "qt_image_readers.h"
#include "read_failure.h"

namespace kestova {

std::optional<Dpi> UsableDpi(double x, double y)
{
    const float fx = float(x);
    const float fy = float(y);
    // Written this way round, NaN fails every test.
    const auto inRange = [](float v) { return v >= MinUsableDpi && v <= MaxUsableDpi; };
    if (!inRange(fx) || !inRange(fy))
        return std::nullopt;
    return Dpi{fx, fy};
}

bool SetPixelSize(ImageHeader *header, quint64 width, quint64 height)
{
    constexpr quint64 Max = 0x7FFFFFFF;
    if (width < 1 || height < 1 || width > Max || height > Max)
        return false;
    header->width = qint32(width);
    header->height = qint32(height);
    return true;
}

void SetDpi(ImageHeader *header, const std::optional<Dpi> &dpi)
{
    const Dpi d = dpi.value_or(Dpi{});
    header->horizontalDpi = d.x;
    header->verticalDpi = d.y;
}

namespace {

using Reader = bool (*)(ImageSource &, ImageHeader *);

Reader ReaderFor(const uchar *p, qint64 n)
{
    if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        return ReadJpegHeader;
    if (StartsWith(p, n, "\x89PNG\r\n\x1A\n", 8))
        return ReadPngHeader;
    if (StartsWith(p, n, "II*\0", 4) || StartsWith(p, n, "MM\0*", 4) || StartsWith(p, n, "II+\0", 4)
        || StartsWith(p, n, "MM\0+", 4))
        return ReadTiffHeader;
    if (StartsWith(p, n, "BM", 2))
        return ReadBmpHeader;
    if (StartsWith(p, n, "GIF87a", 6) || StartsWith(p, n, "GIF89a", 6))
        return ReadGifHeader;
    if (StartsWith(p, n, "RIFF", 4) && n >= 12 && std::memcmp(p + 8, "WEBP", 4) == 0)
        return ReadWebpHeader;
    if (IsHeif(p, n))
        return ReadHeifHeader;
    return nullptr;
}

} // namespace

ImageHeader ReadImageHeader(ImageSource &source, const QString &name)
{
    ImageHeader header;
    const auto refused = [&source] {
        ImageHeader failed;
        failed.failure = UnreadableReason(source.error());
        failed.unreadable = true;
        return failed;
    };
    if (!source.isOpen())
        return source.error() != 0 ? refused() : header;
    bool ok = false;
    if (const Reader reader = ReaderFor(source.prefix(), source.prefixSize())) {
        ok = reader(source, &header);
    } else if (source.size() > 0) {
        const QtImageReaders *qt = QtImages();
        const QByteArray format = qt ? qt->formatFor(name) : QByteArray();
        if (format == "mng")
            ok = ReadMngHeader(source, &header);
        else
            ok = !format.isEmpty() && qt->read(source, format, &header);
    }
    if (!ok) {
        if (source.error() != 0)
            return refused();
        ImageHeader failed;
        failed.failure = header.failure;
        return failed;
    }
    header.valid = true;
    header.failure.clear();
    return header;
}

ImageHeader ReadImageHeader(const QString &path)
{
    ImageSource source(path);
    return ReadImageHeader(source, path);
}

ImageHeader ReadImageHeader(const char *data, qint64 size, const QString &name)
{
    ImageSource source(data, size);
    return ReadImageHeader(source, name);
}

} // namespace kestova
