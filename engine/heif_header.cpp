// HEIF/HEIC (and AVIF): libheif parses the boxes through the source, gives
// the primary image's size (as displayed, after its rotation) and its EXIF
// block for the resolution. No image data is decoded. Each call has its own
// libheif context, so calls may run in parallel.
//
// libheif is loaded the first time a file may be HEIF, not at start: with
// its decoders and encoders (x265, aom, dav1d) it is several megabytes of
// libraries, which a count of a folder without a phone photo never needs.
// The coded pictures, which libheif copies but does not look at, are not
// read (heif_coded_ranges.h).
#include "heif_coded_ranges.h"
#include "image_formats.h"

#include <QByteArray>
#include <QLibrary>

#include <libheif/heif.h>

#include <algorithm>
#include <type_traits>

namespace kestova {

namespace {

// The functions of libheif this reader calls.
struct Heif {
    decltype(&heif_init) init;
    decltype(&heif_check_filetype) checkFiletype;
    decltype(&heif_context_alloc) contextAlloc;
    decltype(&heif_context_free) contextFree;
    decltype(&heif_context_read_from_reader) readFromReader;
    decltype(&heif_context_get_primary_image_handle) primaryImageHandle;
    decltype(&heif_image_handle_release) handleRelease;
    decltype(&heif_image_handle_get_width) width;
    decltype(&heif_image_handle_get_height) height;
    decltype(&heif_image_handle_get_list_of_metadata_block_IDs) metadataBlockIds;
    decltype(&heif_image_handle_get_metadata_size) metadataSize;
    decltype(&heif_image_handle_get_metadata) metadata;
};

// Null when the library or one of its functions is missing: HEIF files are
// then not measured.
const Heif *LoadHeif()
{
    static const std::optional<Heif> heif = []() -> std::optional<Heif> {
        // Stays loaded for the rest of the process.
        QLibrary library(QStringLiteral("heif"), LIBHEIF_NUMERIC_VERSION >> 24);
        const auto get = [&library](auto *function, const char *name) {
            *function = reinterpret_cast<std::remove_pointer_t<decltype(function)>>(library.resolve(name));
            return *function != nullptr;
        };
        Heif h{};
        const bool found = get(&h.init, "heif_init") && get(&h.checkFiletype, "heif_check_filetype")
                           && get(&h.contextAlloc, "heif_context_alloc") && get(&h.contextFree, "heif_context_free")
                           && get(&h.readFromReader, "heif_context_read_from_reader")
                           && get(&h.primaryImageHandle, "heif_context_get_primary_image_handle")
                           && get(&h.handleRelease, "heif_image_handle_release")
                           && get(&h.width, "heif_image_handle_get_width")
                           && get(&h.height, "heif_image_handle_get_height")
                           && get(&h.metadataBlockIds, "heif_image_handle_get_list_of_metadata_block_IDs")
                           && get(&h.metadataSize, "heif_image_handle_get_metadata_size")
                           && get(&h.metadata, "heif_image_handle_get_metadata");
        if (!found)
            return std::nullopt;
        h.init(nullptr);
        return h;
    }();
    return heif ? &*heif : nullptr;
}

// An EXIF block larger than this is no camera's; its resolution is skipped.
constexpr size_t MaxExifSize = 1 << 20;

struct ReaderState {
    ImageSource *source;
    qint64 position;
    std::vector<ByteRange> coded;
};

// Whether [start, end) lies within one of the sorted ranges.
bool InCodedPicture(const std::vector<ByteRange> &coded, qint64 start, qint64 end)
{
    const auto after = std::upper_bound(coded.begin(), coded.end(), start,
                                        [](qint64 value, const ByteRange &r) { return value < r.start; });
    return after != coded.begin() && std::prev(after)->end >= end;
}

int64_t GetPosition(void *userdata)
{
    return static_cast<ReaderState *>(userdata)->position;
}

int Read(void *data, size_t size, void *userdata)
{
    auto *s = static_cast<ReaderState *>(userdata);
    if (size > size_t(s->source->size()))
        return 1;
    if (InCodedPicture(s->coded, s->position, s->position + qint64(size))) {
        std::memset(data, 0, size);
    } else if (!s->source->read(s->position, data, qint64(size))) {
        return 1;
    }
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
std::optional<Dpi> ExifDpi(const Heif &heif, const heif_image_handle *handle)
{
    heif_item_id id = 0;
    if (heif.metadataBlockIds(handle, "Exif", &id, 1) < 1)
        return std::nullopt;
    const size_t size = heif.metadataSize(handle, id);
    if (size < 4 || size > MaxExifSize)
        return std::nullopt;
    QByteArray block(qsizetype(size), Qt::Uninitialized);
    if (heif.metadata(handle, id, block.data()).code != heif_error_Ok)
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
    const Heif *heif = LoadHeif();
    return heif && heif->checkFiletype(prefix, int(std::min<qint64>(size, 1 << 20))) != heif_filetype_no;
}

bool ReadHeifHeader(ImageSource &source, ImageHeader *header)
{
    const Heif *heif = LoadHeif();
    if (!heif)
        return false;
    heif_context *context = heif->contextAlloc();
    if (!context)
        return false;
    ReaderState state{&source, 0, CodedPictureRanges(source)};
    bool ok = false;
    heif_image_handle *handle = nullptr;
    if (heif->readFromReader(context, &Reader, &state, nullptr).code == heif_error_Ok
        && heif->primaryImageHandle(context, &handle).code == heif_error_Ok) {
        const int width = heif->width(handle);
        const int height = heif->height(handle);
        ok = width > 0 && height > 0 && SetPixelSize(header, quint64(width), quint64(height));
        if (ok)
            SetDpi(header, ExifDpi(*heif, handle));
        heif->handleRelease(handle);
    }
    heif->contextFree(context);
    return ok;
}

} // namespace kestova
