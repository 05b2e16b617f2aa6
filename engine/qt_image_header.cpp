// Formats without a reader of our own, through Qt's image handler of the
// named format (icons, PNM, XPM, TGA …). The handler reports the size from
// its header where it can; a handler that cannot (ICNS) decodes the first
// image, one file at a time, and only when the PNG images embedded in the
// file are whole and small: a count measures several files at once, and a
// decode costs what the file claims, not what it holds.
#include "decoder_claims.h"
#include "image_formats.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <mutex>

namespace kestova {

namespace {

// The largest embedded PNG a count decodes: 64 MB of pixels.
constexpr quint64 MaxDecodedPixels = 16 * 1024 * 1024;

std::mutex decoding;

} // namespace

bool ReadQtImageHeader(ImageSource &source, const QByteArray &format, ImageHeader *header)
{
    QFile file;
    QBuffer buffer;
    QIODevice *device = &file;
    if (source.memory()) {
        buffer.setData(QByteArray::fromRawData(source.memory(), qsizetype(source.size())));
        if (!buffer.open(QIODevice::ReadOnly))
            return false;
        device = &buffer;
    } else if (!file.open(source.fileDescriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !file.seek(0)) {
        return false;
    }
    QImageReader reader(device, format);
    reader.setAutoDetectImageFormat(false);
    QSize size = reader.size();
    if (!size.isValid() && !reader.supportsOption(QImageIOHandler::Size)) {
        if (!EmbeddedPngsFit(source, MaxDecodedPixels))
            return false;
        const std::lock_guard lock(decoding);
        size = reader.read().size();
    }
    return size.width() > 0 && size.height() > 0 && SetPixelSize(header, quint64(size.width()), quint64(size.height()));
}

} // namespace kestova
