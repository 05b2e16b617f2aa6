// The format readers behind ReadImageHeader, one per file format, and the
// rules they share for pixel sizes and resolutions. Each reader is called
// only when the file starts with its format's signature; it returns false
// when the file is not an image this program measures (broken, truncated,
// or a kind it turns away, such as a camera raw file).
#pragma once

#include "image_headers.h"
#include "image_source.h"

#include <optional>

namespace kestova {

constexpr double CentimetresPerInch = 2.54;
constexpr double MetresPerInch = 0.0254;

// A horizontal and vertical resolution in dots per inch.
struct Dpi {
    float x = DefaultDpi;
    float y = DefaultDpi;
};

// A resolution outside this range is no printer's and counts as absent (one
// of 1e-30 dpi would make a photo kilometres wide).
constexpr float MinUsableDpi = 1.0f;
constexpr float MaxUsableDpi = 100000.0f;

// The pair as single-precision values when both are finite and within the
// usable range. A pair with one unusable value is unusable as a whole: the
// file's next source of resolution, or the default, then applies to both
// axes.
std::optional<Dpi> UsableDpi(double x, double y);

// Stores the pixel size when both sides are at least 1 and fit qint32.
bool SetPixelSize(ImageHeader *header, quint64 width, quint64 height);

void SetDpi(ImageHeader *header, const std::optional<Dpi> &dpi);

bool ReadJpegHeader(ImageSource &source, ImageHeader *header);
bool ReadPngHeader(ImageSource &source, ImageHeader *header);
bool ReadTiffHeader(ImageSource &source, ImageHeader *header);
bool ReadBmpHeader(ImageSource &source, ImageHeader *header);
bool ReadGifHeader(ImageSource &source, ImageHeader *header);
bool ReadWebpHeader(ImageSource &source, ImageHeader *header);
bool ReadHeifHeader(ImageSource &source, ImageHeader *header);
// The frame size in MHDR; Qt's handler can tell it only by playing the
// animation, which allocates every frame and image the file claims.
bool ReadMngHeader(ImageSource &source, ImageHeader *header);

// The file's first bytes name a HEIF brand libheif knows.
bool IsHeif(const uchar *prefix, qint64 size);

// The resolution in an EXIF block or TIFF structure whose header starts at
// offset start and which spans length bytes: IFD0's XResolution and
// YResolution in its ResolutionUnit (inch when absent, cm; "none" and
// anything else give no resolution).
std::optional<Dpi> ReadExifDpi(ImageSource &source, qint64 start, qint64 length);

} // namespace kestova
