// Image headers: pixel size and resolution of an image file, read from its
// headers without decoding any pixel.
#pragma once

#include <QString>

namespace kestova {

// Resolution used when a file carries none (absent, zero, negative or not
// finite).
constexpr float DefaultDpi = 96.0f;

struct ImageHeader {
    bool valid = false;      // the file is an image whose size could be read
    qint32 width = 0;
    qint32 height = 0;
    float horizontalDpi = DefaultDpi;
    float verticalDpi = DefaultDpi;
};

ImageHeader ReadImageHeader(const QString &path);

} // namespace kestova
