// Small files whose headers claim far more than they hold, and the chunked
// formats (PNG, MNG, icons) to build them from.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestova::test {

// One PNG/MNG chunk: length, type, data, CRC.
QByteArray PngChunk(const char *type, const QByteArray &data);
// A chunk header claiming length bytes, followed by only the given ones: a
// file that ends with it has a chunk running past its end.
QByteArray ClaimedChunk(const char *type, quint32 length, const QByteArray &data);

// The 51-byte PNG: a 1 × 1 header, then a text chunk claiming 2 GB.
QByteArray PngClaimingHugeChunk();
// A real photo-like PNG of the given size (fine detail, so not tiny) whose
// image data is followed by a text chunk claiming 2 GB, where the file ends.
QByteArray PhotoPngWithHugeChunkAfterImage(int width, int height);

// An MNG: signature, MHDR with the frame size, the chunks, MEND.
QByteArray Mng(quint32 frameWidth, quint32 frameHeight, const QByteArray &chunks);
// The chunks of a PNG, without its signature: an image inside an MNG.
QByteArray PngChunksOf(const QByteArray &png);
// MAGN magnifying MNG objects from..to by factor in both directions.
QByteArray MagnChunk(quint16 from, quint16 to, quint16 factor);

// Icon files holding one PNG image.
QByteArray IcoHolding(const QByteArray &png);
QByteArray IcnsHolding(const QByteArray &png);

// A JPEG header claiming width × height in three components and a first
// scan of one component (so libjpeg must keep the whole image's
// coefficients), or a progressive one; almost no data follows.
QByteArray JpegClaiming(int width, int height, bool progressive);

// Files whose picture is small and whose metadata is not, written straight
// to path (they are hundreds of megabytes); false when they cannot be.
// A JPEG holding `jpeg`'s picture behind `segments` APP1 segments of 64 KB,
// or with them after the picture, before its end marker.
bool WriteJpegWithSegments(const QString &path, const QByteArray &jpeg, int segments, bool after = false);
// A grey TIFF of width × height whose ImageDescription is `bytes` long.
bool WriteTiffWithDescription(const QString &path, int width, int height, qint64 bytes);
// An extended WebP holding `webp`'s picture and an EXIF chunk `bytes` long.
bool WriteWebpWithExif(const QString &path, const QByteArray &webp, qint64 bytes);

// A 154-byte BMP (version 5 header) claiming width × height pixels.
QByteArray BmpV5Claiming(qint32 width, qint32 height);

} // namespace kestova::test
