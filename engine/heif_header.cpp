// HEIF/HEIC (and AVIF): libheif parses the boxes through the source, gives
// the primary image's size (as displayed, after its rotation) and its EXIF
// block for the resolution. No image data is decoded. Each call has its own
// libheif context, so calls may run in parallel.
#include "image_formats.h"

#include <QByteArray>

#include <libheif/heif.h>

namespace kestova {

namespace {

// An EXIF block larger than this is no camera's; its resolution is skipped.
constexpr size_t MaxExifSize = 1 << 20;

struct ReaderState {
    ImageSource *source;
    qint64 position;
};

int64_t GetPosition(void *userdata)
{
    return static_cast<ReaderState *>(userdata)->position;
}

int Read(void *data, size_t size, void *userdata)
{
    auto *s = static_cast<ReaderState *>(userdata);
    if (size > size_t(s->source->size()) || !s->source->read(s->position, data, qint64(size)))
        return 1;
    s->position += qint64(size);
    return 0;
}

int Seek(int64_t position, void *userdata)
{
    auto *s = static_cast<ReaderState *>(userdata);
    if (position < 0 || position > s->source->size())
        return 1;
    s->position = position;
    return 0;
}

heif_reader_grow_status WaitForFileSize(int64_t target, void *userdata)
{
    return target <= static_cast<ReaderState *>(userdata)->source->size() ? heif_reader_grow_status_size_reached
                                                                         : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader Reader = {1, GetPosition, Read, Seek, WaitForFileSize};

// The block starts with the offset of the TIFF header from its fifth byte.
std::optional<Dpi> ExifDpi(const heif_image_handle *handle)
{
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1)
        return std::nullopt;
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 || size > MaxExifSize)
        return std::nullopt;
    QByteArray block(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        return std::nullopt;
    const quint32 offset = GetU32(reinterpret_cast<const uchar *>(block.constData()), true);
    if (offset > size - 4)
        return std::nullopt;
    ImageSource exif(block.constData(), qint64(size));
    return ReadExifDpi(exif, 4 + qint64(offset), qint64(size) - 4 - qint64(offset));
}

} // namespace

bool IsHeif(const uchar *prefix, qint64 size)
{
    if (size < 12 || std::memcmp(prefix + 4, "ftyp", 4) != 0)
        return false;
    // A major brand of mif1 is only "maybe": libheif then has to try.
    return heif_check_filetype(prefix, int(std::min<qint64>(size, 1 << 20))) != heif_filetype_no;
}

bool ReadHeifHeader(ImageSource &source, ImageHeader *header)
{
    static const bool initialised = [] {
        heif_init(nullptr);
        return true;
    }();
    Q_UNUSED(initialised);

    heif_context *context = heif_context_alloc();
    if (!context)
        return false;
    ReaderState state{&source, 0};
    bool ok = false;
    heif_image_handle *handle = nullptr;
    if (heif_context_read_from_reader(context, &Reader, &state, nullptr).code == heif_error_Ok
        && heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        const int width = heif_image_handle_get_width(handle);
        const int height = heif_image_handle_get_height(handle);
        ok = width > 0 && height > 0 && SetPixelSize(header, quint64(width), quint64(height));
        if (ok)
            SetDpi(header, ExifDpi(handle));
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return ok;
}

} // namespace kestova
