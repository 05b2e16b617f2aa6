// HEIF/HEIC photos for the preview.
#include "heif_preview.h"

#include "path_codec.h"

#include <QFile>

#include <libheif/heif.h>

namespace kestova {

namespace {

// libheif reads the file through these, from the file the path codec opened.
int64_t GetPosition(void *file)
{
    return static_cast<QFile *>(file)->pos();
}

int Read(void *data, size_t size, void *file)
{
    auto *f = static_cast<QFile *>(file);
    return size <= size_t(f->size() - f->pos()) && f->read(static_cast<char *>(data), qint64(size)) == qint64(size) ? 0 : 1;
}

int Seek(int64_t position, void *file)
{
    auto *f = static_cast<QFile *>(file);
    return position >= 0 && position <= f->size() && f->seek(position) ? 0 : 1;
}

heif_reader_grow_status WaitForFileSize(int64_t target, void *file)
{
    return target <= static_cast<QFile *>(file)->size() ? heif_reader_grow_status_size_reached
                                                        : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader Reader = {1, GetPosition, Read, Seek, WaitForFileSize};

} // namespace

HeifReader::HeifReader(const QString &path) : m_file(std::make_unique<QFile>())
{
    if (!OpenForReading(*m_file, path))
        return;
    m_context = heif_context_alloc();
    if (!m_context)
        return;
    if (heif_context_read_from_reader(m_context, &Reader, m_file.get(), nullptr).code != heif_error_Ok)
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
