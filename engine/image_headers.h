// Image headers: pixel size and resolution of an image file, read from its
// headers without decoding any pixel.
#pragma once

#include <QString>

namespace kestova {

// Resolution used when a file carries none (absent, or not a finite value
// from 1 to 100,000 dpi).
constexpr float DefaultDpi = 96.0f;

struct ImageHeader {
    bool valid = false;      // the file is an image whose size could be read
    qint32 width = 0;
    qint32 height = 0;
    float horizontalDpi = DefaultDpi;
    float verticalDpi = DefaultDpi;
    // Why a file that is not valid could not be read, when there is more to
    // say than "not an image": "无法读取：权限不足", what a decoder warned.
    QString failure;
    bool unreadable = false; // the system refused the file (failure says how)
};

// JPEG, PNG, TIFF, BMP, GIF, WebP and HEIF are told by their signature and
// read by the program's own readers; other formats Qt decodes are taken by
// the file's extension. Camera raw files, vector drawings and anything that
// is not a regular file are not images. Safe to call from several threads.
ImageHeader ReadImageHeader(const QString &path);

// The same for a source opened already; name stands for the file's name
// (only its extension is used).
class ImageSource;
ImageHeader ReadImageHeader(ImageSource &source, const QString &name);

// The same for a file's bytes in memory; name stands for the file's name
// (only its extension is used).
ImageHeader ReadImageHeader(const char *data, qint64 size, const QString &name = QString());

} // namespace kestova
