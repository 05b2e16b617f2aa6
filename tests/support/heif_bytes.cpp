// HEIF test files.
#include "heif_bytes.h"

#include <cstdint>

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

} // namespace kestova::test
