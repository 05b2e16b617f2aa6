// Formats without a reader of our own, through Qt's image handler of the
// named format (icons, PNM, XPM, TGA …). The handler reports the size from
// its header where it can; only a handler that cannot (MNG) decodes the
// first image, within Qt's allocation limit.
#include "image_formats.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

namespace kestova {

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
    if (!size.isValid() && !reader.supportsOption(QImageIOHandler::Size))
        size = reader.read().size();
    return size.width() > 0 && size.height() > 0 && SetPixelSize(header, quint64(size.width()), quint64(size.height()));
}

} // namespace kestova
