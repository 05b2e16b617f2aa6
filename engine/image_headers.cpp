// Image headers. Provisional reader through QImageReader until the
// format-specific readers are in place.
#include "image_headers.h"

#include <QImage>
#include <QImageReader>

namespace kestova {

ImageHeader ReadImageHeader(const QString &path)
{
    ImageHeader h;
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return h;
    h.valid = true;
    h.width = size.width();
    h.height = size.height();
    return h;
}

} // namespace kestova
