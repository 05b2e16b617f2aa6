// HEIF/HEIC photos for the preview.
#include "heif_preview.h"

#include <QFile>

#include <libheif/heif.h>

namespace kestova {

HeifReader::HeifReader(const QString &path)
{
    m_context = heif_context_alloc();
    if (!m_context)
        return;
    if (heif_context_read_from_file(m_context, QFile::encodeName(path).constData(), nullptr).code != heif_error_Ok)
        return;
    heif_image_handle *handle = nullptr;
    if (heif_context_get_primary_image_handle(m_context, &handle).code == heif_error_Ok)
        m_handle = handle;
}

HeifReader::~HeifReader()
{
    if (m_handle)
        heif_image_handle_release(m_handle);
    if (m_context)
        heif_context_free(m_context);
}

QSize HeifReader::Size() const
{
    if (!m_handle)
        return {};
    // The handle's size already has the rotation applied, as the decoder
    // applies it to the pixels.
    return QSize(heif_image_handle_get_width(m_handle), heif_image_handle_get_height(m_handle));
}

QImage HeifReader::Read(const QSize &size, qint64 limitBytes) const
{
    const QSize whole = Size();
    if (!m_handle || whole.isEmpty() || size.isEmpty() || qint64(whole.width()) * whole.height() * 3 > limitBytes)
        return {};
    heif_image *decoded = nullptr;
    if (heif_decode_image(m_handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code
        != heif_error_Ok)
        return {};
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    QImage result;
    if (pixels && width > 0 && height > 0) {
        // The view borrows libheif's pixels; what is returned owns its own.
        const QImage view(pixels, width, height, stride, QImage::Format_RGB888);
        result = view.size() == size ? view.copy()
                                     : view.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    heif_image_release(decoded);
    return result;
}

} // namespace kestova
