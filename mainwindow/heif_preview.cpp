// HEIF/HEIC photos for the preview.
#include "heif_preview.h"

#include "path_codec.h"

#include <QFile>

#include <libheif/heif.h>

#include <algorithm>
#include <vector>

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


// The mean of each box of a plane divided into size.width() × size.height()
// boxes, in the plane's own sample values.
std::vector<float> ShrinkPlane(const heif_image *image, heif_channel channel, const QSize &size)
{
    int stride = 0;
    const uint8_t *data = heif_image_get_plane_readonly(image, channel, &stride);
    const int width = heif_image_get_width(image, channel);
    const int height = heif_image_get_height(image, channel);
    if (!data || width <= 0 || height <= 0)
        return {};
    const bool wide = heif_image_get_bits_per_pixel(image, channel) > 8;
    std::vector<float> out(size_t(size.width()) * size.height());
    std::vector<quint64> columns(static_cast<size_t>(width));
    const auto from = [](int i, int n, int parts) { return int(qint64(i) * n / parts); };
    for (int ty = 0; ty < size.height(); ++ty) {
        const int y0 = from(ty, height, size.height());
        const int y1 = std::max(y0 + 1, from(ty + 1, height, size.height()));
        std::fill(columns.begin(), columns.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const uint8_t *row = data + qint64(y) * stride;
            if (wide) {
                const auto *samples = reinterpret_cast<const uint16_t *>(row);
                for (int x = 0; x < width; ++x)
                    columns[size_t(x)] += samples[x];
            } else {
                for (int x = 0; x < width; ++x)
                    columns[size_t(x)] += row[x];
            }
        }
        for (int tx = 0; tx < size.width(); ++tx) {
            const int x0 = from(tx, width, size.width());
            const int x1 = std::max(x0 + 1, from(tx + 1, width, size.width()));
            quint64 sum = 0;
            for (int x = x0; x < x1; ++x)
                sum += columns[size_t(x)];
            out[size_t(ty) * size.width() + tx] = float(double(sum) / (double(x1 - x0) * (y1 - y0)));
        }
    }
    return out;
}

struct ColourMatrix {
    double kr = 0.299; // BT.601
    double kb = 0.114;
    bool fullRange = true;
};

// The matrix and range of the decoded planes. When the file names others
// than libheif's own (BT.601, full range), libheif converts the planes to
// its own while decoding and says nothing; when it keeps the file's, it
// names them.
ColourMatrix MatrixOf(const heif_image *image)
{
    ColourMatrix m;
    heif_color_profile_nclx *nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok)
        return m;
    m.fullRange = nclx->full_range_flag != 0;
    switch (nclx->matrix_coefficients) {
    case heif_matrix_coefficients_ITU_R_BT_709_5:
        m.kr = 0.2126;
        m.kb = 0.0722;
        break;
    case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
    case heif_matrix_coefficients_ITU_R_BT_2020_2_constant_luminance:
        m.kr = 0.2627;
        m.kb = 0.0593;
        break;
    default:
        break;
    }
    heif_nclx_color_profile_free(nclx);
    return m;
}

int Channel8(double value)
{
    return qBound(0, int(value * 255.0 + 0.5), 255);
}

// The decoded planes shrunk to size and turned into RGB.
QImage ShrinkToRgb(const heif_image *image, const QSize &size)
{
    if (heif_image_get_colorspace(image) != heif_colorspace_YCbCr)
        return {};
    const std::vector<float> y = ShrinkPlane(image, heif_channel_Y, size);
    const std::vector<float> cb = ShrinkPlane(image, heif_channel_Cb, size);
    const std::vector<float> cr = ShrinkPlane(image, heif_channel_Cr, size);
    if (y.empty() || cb.empty() || cr.empty())
        return {};
    const ColourMatrix m = MatrixOf(image);
    const int lumaBits = heif_image_get_bits_per_pixel_range(image, heif_channel_Y);
    const int chromaBits = heif_image_get_bits_per_pixel_range(image, heif_channel_Cb);
    const double lumaMax = (1 << lumaBits) - 1;
    const double chromaMax = (1 << chromaBits) - 1;
    const double lumaScale = double(1 << lumaBits) / 256;
    const double chromaScale = double(1 << chromaBits) / 256;
    // Full range: 0 … max; limited range: 16 … 235 (luma), 16 … 240 (chroma)
    // at 8 bits, scaled up for more bits.
    const double yOffset = m.fullRange ? 0 : 16 * lumaScale;
    const double yRange = m.fullRange ? lumaMax : 219 * lumaScale;
    const double cRange = m.fullRange ? chromaMax : 224 * chromaScale;
    const double cMid = double(1 << (chromaBits - 1));

    QImage out(size, QImage::Format_RGB32);
    for (int ty = 0; ty < size.height(); ++ty) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(ty));
        for (int tx = 0; tx < size.width(); ++tx) {
            const size_t i = size_t(ty) * size.width() + tx;
            const double luma = (y[i] - yOffset) / yRange;
            const double blue = (cb[i] - cMid) / cRange;
            const double red = (cr[i] - cMid) / cRange;
            const double r = luma + 2 * (1 - m.kr) * red;
            const double b = luma + 2 * (1 - m.kb) * blue;
            const double g = (luma - m.kr * r - m.kb * b) / (1 - m.kr - m.kb);
            line[tx] = qRgb(Channel8(r), Channel8(g), Channel8(b));
        }
    }
    return out;
}

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
    if (!m_handle || whole.isEmpty() || size.isEmpty())
        return {};
    // Decoding holds the decoder's picture with its block data and libheif's
    // copy of the planes: about four and a half bytes a pixel at 8 bits in
    // 4:2:0 (phones' format), twice that at more bits; an alpha plane adds
    // its own picture and copy.
    const int sampleBytes = heif_image_handle_get_luma_bits_per_pixel(m_handle) > 8 ? 2 : 1;
    const double perPixel = sampleBytes * (heif_image_handle_has_alpha_channel(m_handle) ? 6.5 : 4.5);
    if (double(whole.width()) * whole.height() * perPixel > double(limitBytes))
        return {};
    // The planes as phones code them, without the conversion to whole RGB
    // rows, which would cost three or four bytes a pixel more.
    heif_image *decoded = nullptr;
    if (heif_decode_image(m_handle, &decoded, heif_colorspace_YCbCr, heif_chroma_420, nullptr).code
        != heif_error_Ok)
        return {};
    QImage result = ShrinkToRgb(decoded, size);
    heif_image_release(decoded);
    return result;
}

} // namespace kestova
