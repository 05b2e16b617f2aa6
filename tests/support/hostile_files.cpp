// Builders of claiming files.
#include "hostile_files.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>

namespace kestova::test {

namespace {

QByteArray Be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray Be16(quint16 v)
{
    QByteArray b(2, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray Le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

quint32 Crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

const QByteArray PngSignature("\x89PNG\r\n\x1A\n", 8);
constexpr quint32 TwoGigabytes = 0x7FFFFFF0;

QByteArray Ihdr(quint32 width, quint32 height)
{
    return PngChunk("IHDR", Be32(width) + Be32(height) + QByteArray("\x08\x02\x00\x00\x00", 5));
}

} // namespace

QByteArray PngChunk(const char *type, const QByteArray &data)
{
    const QByteArray typed = QByteArray(type, 4) + data;
    return Be32(quint32(data.size())) + typed + Be32(Crc32(typed));
}

QByteArray ClaimedChunk(const char *type, quint32 length, const QByteArray &data)
{
    return Be32(length) + QByteArray(type, 4) + data;
}

QByteArray PngClaimingHugeChunk()
{
    return PngSignature + Ihdr(1, 1) + ClaimedChunk("tEXt", TwoGigabytes, QByteArray("Comment\0ab", 10));
}

QByteArray PhotoPngWithHugeChunkAfterImage(int width, int height)
{
    QImage photo(width, height, QImage::Format_RGB32);
    quint32 seed = 2024;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28);
            line[x] = qRgb((x * 255 / width + grain) & 0xFF, (y * 255 / height + grain) & 0xFF, 128 + grain);
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    photo.save(&buffer, "PNG");
    png.chop(12); // IEND
    return png + ClaimedChunk("tEXt", TwoGigabytes, QByteArray("Comment\0ab", 10));
}

QByteArray Mng(quint32 frameWidth, quint32 frameHeight, const QByteArray &chunks)
{
    // Frame size, ticks per second, layer count, frame count, play time,
    // simplicity profile.
    const QByteArray mhdr = Be32(frameWidth) + Be32(frameHeight) + Be32(1000) + Be32(0) + Be32(0) + Be32(0) + Be32(0);
    return QByteArray("\x8AMNG\r\n\x1A\n", 8) + PngChunk("MHDR", mhdr) + chunks + PngChunk("MEND", QByteArray());
}

QByteArray PngChunksOf(const QByteArray &png)
{
    return png.mid(8);
}

QByteArray MagnChunk(quint16 from, quint16 to, quint16 factor)
{
    // First and last object, X method, MX, MY, ML, MR, MT, MB, Y method.
    QByteArray data = Be16(from) + Be16(to) + char(1);
    for (int i = 0; i < 6; ++i)
        data += Be16(factor);
    return PngChunk("MAGN", data + char(1));
}

QByteArray IcoHolding(const QByteArray &png)
{
    // Header (reserved, type 1, one image), one directory entry (size 0
    // meaning 256, colours, reserved, planes, bits, bytes, offset), image.
    QByteArray ico("\0\0\1\0\1\0", 6);
    ico += QByteArray("\0\0\0\0\1\0\x20\0", 8) + Le32(quint32(png.size())) + Le32(22);
    return ico + png;
}

QByteArray IcnsHolding(const QByteArray &png)
{
    const QByteArray entry = QByteArray("ic10") + Be32(quint32(png.size() + 8)) + png;
    return QByteArray("icns") + Be32(quint32(entry.size() + 8)) + entry;
}

QByteArray JpegClaiming(int width, int height, bool progressive)
{
    QByteArray jpeg("\xFF\xD8", 2);
    jpeg += QByteArray("\xFF\xDB\x00\x43\x00", 5) + QByteArray(64, '\1');         // one quantisation table
    jpeg += QByteArray(progressive ? "\xFF\xC2" : "\xFF\xC0", 2) + Be16(17) + char(8) // frame: 8 bits
          + Be16(quint16(height)) + Be16(quint16(width)) + char(3)
          + QByteArray("\x01\x11\x00\x02\x11\x00\x03\x11\x00", 9);
    jpeg += QByteArray("\xFF\xC4\x00\x14\x00\x01", 6) + QByteArray(15, '\0') + QByteArray(1, '\0'); // one code
    // A scan of the first component alone (spectral 0…0 when progressive).
    jpeg += QByteArray("\xFF\xDA\x00\x08\x01\x01\x00\x00", 8) + QByteArray(progressive ? "\x00\x00" : "\x3F\x00", 2);
    return jpeg + QByteArray(100, '\0') + QByteArray("\xFF\xD9", 2);
}

namespace {

QByteArray Le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// Writes `bytes` repeated until `total` bytes are written.
bool WriteRepeated(QFile &file, const QByteArray &bytes, qint64 total)
{
    while (total > 0) {
        const qint64 n = qMin<qint64>(total, bytes.size());
        if (file.write(bytes.constData(), n) != n)
            return false;
        total -= n;
    }
    return true;
}

} // namespace

bool WriteJpegWithSegments(const QString &path, const QByteArray &jpeg, int segments, bool after)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !jpeg.startsWith("\xFF\xD8") || !jpeg.endsWith("\xFF\xD9"))
        return false;
    QByteArray segment = QByteArray("\xFF\xE1\xFF\xFF", 4) + QByteArray("http://ns.adobe.com/xap/1.0/\0", 29);
    segment += QByteArray(2 + 0xFFFF - segment.size(), 'x');
    const QByteArray head = after ? jpeg.chopped(2) : jpeg.left(2);
    if (file.write(head) != head.size())
        return false;
    for (int i = 0; i < segments; ++i) {
        if (file.write(segment) != segment.size())
            return false;
    }
    const QByteArray rest = after ? jpeg.right(2) : jpeg.mid(2);
    return file.write(rest) == rest.size() && file.flush();
}

bool WriteTiffWithDescription(const QString &path, int width, int height, qint64 bytes)
{
    struct Entry {
        quint16 tag, type;
        quint32 count, value;
    };
    const quint32 pixels = quint32(width) * quint32(height);
    const quint32 entries = 10;
    const quint32 pixelsAt = 8 + 2 + entries * 12 + 4;
    const quint32 descriptionAt = pixelsAt + pixels;
    const Entry ifd[entries] = {
        {256, 4, 1, quint32(width)}, {257, 4, 1, quint32(height)}, {258, 3, 1, 8}, {259, 3, 1, 1},
        {262, 3, 1, 1}, {270, 2, quint32(bytes), descriptionAt}, {273, 4, 1, pixelsAt}, {277, 3, 1, 1},
        {278, 4, 1, quint32(height)}, {279, 4, 1, pixels},
    };
    QByteArray head("II*\0", 4);
    head += Le32(8) + Le16(entries);
    for (const Entry &e : ifd)
        head += Le16(e.tag) + Le16(e.type) + Le32(e.count) + Le32(e.value);
    head += Le32(0);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(head) == head.size()
           && WriteRepeated(file, QByteArray(4096, char(0x80)), pixels)
           && WriteRepeated(file, QByteArray(1 << 16, 'd'), bytes - 1) && file.write("\0", 1) == 1 && file.flush();
}

bool WriteWebpWithExif(const QString &path, const QByteArray &webp, qint64 bytes)
{
    if (!webp.startsWith("RIFF") || webp.mid(8, 4) != "WEBP")
        return false;
    QImage image = QImage::fromData(webp);
    if (image.isNull())
        return false;
    const QByteArray picture = webp.mid(12);  // the VP8 or VP8L chunk
    QByteArray vp8x("VP8X", 4);
    vp8x += Le32(10) + QByteArray(1, char(0x08)) + QByteArray(3, '\0');
    const quint32 w = quint32(image.width() - 1), h = quint32(image.height() - 1);
    vp8x += Le32(w).left(3) + Le32(h).left(3);
    const qint64 exif = bytes + (bytes & 1);
    const qint64 riff = 4 + vp8x.size() + picture.size() + 8 + exif;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("RIFF" + Le32(quint32(riff)) + "WEBP" + vp8x + picture) > 0
           && file.write("EXIF" + Le32(quint32(bytes))) == 8
           && WriteRepeated(file, QByteArray("Exif\0\0", 6) + QByteArray(1 << 16, 'e'), exif) && file.flush();
}

QByteArray BmpV5Claiming(qint32 width, qint32 height)
{
    constexpr quint32 HeaderSize = 124;
    QByteArray info = Le32(HeaderSize) + Le32(quint32(width)) + Le32(quint32(height)) + Le16(1) + Le16(24)
                      + Le32(0) + Le32(0) + Le32(2835) + Le32(2835) + Le32(0) + Le32(0);
    info += QByteArray(HeaderSize - info.size(), '\0');
    const quint32 total = 14 + HeaderSize + 16;
    QByteArray bmp = "BM" + Le32(total) + Le32(0) + Le32(14 + HeaderSize) + info;
    return bmp + QByteArray(16, char(0x40));
}

} // namespace kestova::test
