// HEIF test files.
#include "heif_bytes.h"

#include <cstdint>
#include <cstring>

namespace kestova::test {

namespace {

heif_error AppendTo(heif_context *, const void *data, size_t size, void *userdata)
{
    static_cast<QByteArray *>(userdata)->append(static_cast<const char *>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

} // namespace

QByteArray HeifBytes(int width, int height, heif_orientation orientation, const QByteArray &exif)
{
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    QByteArray out;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok) {
        heif_image *image = nullptr;
        heif_image_create(width, height, heif_colorspace_YCbCr, heif_chroma_420, &image);
        for (heif_channel ch : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr}) {
            const int w = ch == heif_channel_Y ? width : (width + 1) / 2;
            const int h = ch == heif_channel_Y ? height : (height + 1) / 2;
            heif_image_add_plane(image, ch, w, h, 8);
            int stride = 0;
            uint8_t *plane = heif_image_get_plane(image, ch, &stride);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    plane[y * stride + x] = ch != heif_channel_Y ? 128 : (x < w / 2 ? 40 : 220);
        }
        heif_encoding_options *options = heif_encoding_options_alloc();
        options->image_orientation = orientation;
        heif_image_handle *handle = nullptr;
        heif_encoder_set_lossy_quality(encoder, 60);
        if (heif_context_encode_image(context, image, encoder, options, &handle).code == heif_error_Ok) {
            if (!exif.isEmpty())
                heif_context_add_exif_metadata(context, handle, exif.constData(), int(exif.size()));
            heif_writer writer{1, AppendTo};
            heif_context_write(context, &writer, &out);
            heif_image_handle_release(handle);
        }
        heif_encoding_options_free(options);
        heif_image_release(image);
        heif_encoder_release(encoder);
    }
    heif_context_free(context);
    return out;
}

QByteArray HeifFromPicture(const QImage &picture, const heif_color_profile_nclx *nclx, const QByteArray &exif)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width();
    const int height = rgb.height();
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    QByteArray out;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok) {
        heif_encoder_set_parameter(encoder, "preset", "ultrafast");
        heif_encoder_set_lossy_quality(encoder, 90);
        heif_image *image = nullptr;
        if (!nclx) {
            heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
            heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
            int stride = 0;
            uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
            for (int y = 0; y < height; ++y)
                std::memcpy(plane + qsizetype(y) * stride, rgb.constScanLine(y), size_t(width) * 3);
        } else {
            // The planes coded here with nclx's matrix and range.
            const bool bt709 = nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_709_5;
            const double kr = bt709 ? 0.2126 : 0.299;
            const double kb = bt709 ? 0.0722 : 0.114;
            const bool full = nclx->full_range_flag != 0;
            heif_image_create(width, height, heif_colorspace_YCbCr, heif_chroma_420, &image);
            for (heif_channel ch : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr}) {
                const int step = ch == heif_channel_Y ? 1 : 2;
                heif_image_add_plane(image, ch, (width + step - 1) / step, (height + step - 1) / step, 8);
                int stride = 0;
                uint8_t *plane = heif_image_get_plane(image, ch, &stride);
                for (int y = 0; y < height; y += step) {
                    for (int x = 0; x < width; x += step) {
                        const QRgb p = rgb.pixel(x, y);
                        const double r = qRed(p) / 255.0, g = qGreen(p) / 255.0, b = qBlue(p) / 255.0;
                        const double luma = kr * r + (1 - kr - kb) * g + kb * b;
                        const double value = ch == heif_channel_Y ? (full ? luma * 255 : 16 + luma * 219)
                            : 128 + (ch == heif_channel_Cb ? (b - luma) / (2 * (1 - kb)) : (r - luma) / (2 * (1 - kr)))
                                    * (full ? 255 : 224);
                        plane[(y / step) * stride + x / step] = uint8_t(qBound(0.0, value + 0.5, 255.0));
                    }
                }
            }
        }
        heif_encoding_options *options = heif_encoding_options_alloc();
        options->macOS_compatibility_workaround_no_nclx_profile = nclx == nullptr; // nclx: write a colr box
        options->output_nclx_profile = const_cast<heif_color_profile_nclx *>(nclx); // keeps the planes as they are
        heif_image_handle *handle = nullptr;
        if (heif_context_encode_image(context, image, encoder, options, &handle).code == heif_error_Ok) {
            if (!exif.isEmpty())
                heif_context_add_exif_metadata(context, handle, exif.constData(), int(exif.size()));
            heif_writer writer{1, AppendTo};
            heif_context_write(context, &writer, &out);
            heif_image_handle_release(handle);
        }
        // libheif writes its default profile into the colr box all the same:
        // the box gets nclx's matrix and range here, after primaries and
        // transfer.
        const qsizetype box = nclx ? out.indexOf("colrnclx") : -1;
        if (box >= 0 && box + 15 <= out.size()) {
            out[box + 12] = char(nclx->matrix_coefficients >> 8);
            out[box + 13] = char(nclx->matrix_coefficients & 0xFF);
            out[box + 14] = char(nclx->full_range_flag ? 0x80 : 0);
        }
        heif_encoding_options_free(options);
        heif_image_release(image);
        heif_encoder_release(encoder);
    }
    heif_context_free(context);
    return out;
}

} // namespace kestova::test
