// HEIF/HEIC photos for the preview, through libheif: Qt has no reader for
// them, yet phones deliver little else. libheif cannot decode scaled, so the
// photo is decoded whole into its luma and chroma planes, which are shrunk
// straight to the size drawn and only then turned into RGB: a 48-megapixel
// photo costs about 200 MB while it is decoded, not twice that. The same
// memory limit as for other formats decides what is refused.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

class QFile;
struct heif_context;
struct heif_image_handle;

namespace kestova {

class HeifReader
{
public:
    explicit HeifReader(const QString &path);
    ~HeifReader();
    HeifReader(const HeifReader &) = delete;
    HeifReader &operator=(const HeifReader &) = delete;

    // The primary image could be opened.
    bool IsOpen() const { return m_handle != nullptr; }
    // Its size as shown: turned by the file's rotation and mirroring.
    QSize Size() const;
    // The whole image, upright, scaled to size; null when it cannot be
    // decoded or would need more than limitBytes while decoding.
    QImage Read(const QSize &size, qint64 limitBytes) const;

private:
    std::unique_ptr<QFile> m_file;  // read by the context, so it outlives it
    heif_context *m_context = nullptr;
    heif_image_handle *m_handle = nullptr;
};

} // namespace kestova
