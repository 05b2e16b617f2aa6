// The lean views of JPEG, TIFF and WebP files, and the device that reads
// them.
#include "preview_bytes.h"

#include "image_source.h"
#include "path_codec.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace kestova {

namespace {

// Adds a stretch of the file, joined to the last one when they touch.
void Keep(QList<BytePiece> &pieces, qint64 from, qint64 length)
{
    if (length <= 0)
        return;
    if (!pieces.isEmpty() && pieces.last().from >= 0 && pieces.last().from + pieces.last().length == from) {
        pieces.last().length += length;
        return;
    }
    pieces.append({from, length, {}});
}

void Insert(QList<BytePiece> &pieces, const QByteArray &bytes)
{
    pieces.append({-1, bytes.size(), bytes});
}

PreviewBytes AsPieces(QList<BytePiece> pieces)
{
    PreviewBytes result;
    result.kind = PreviewBytes::Pieces;
    result.pieces = std::move(pieces);
    return result;
}

bool HasPrefix(ImageSource &source, qint64 at, qint64 available, const char *text, qint64 length)
{
    if (available < length)
        return false;
    char bytes[32];
    return source.read(at, bytes, length) && std::memcmp(bytes, text, size_t(length)) == 0;
}

} // namespace

PreviewBytes LeanJpeg(ImageSource &source)
{
    constexpr int MaxSegments = 1 << 16;
    constexpr qint64 MaxStrayBytes = 1 << 16;
    const qint64 size = source.size();
    QList<BytePiece> pieces;
    bool exifKept = false;
    qint64 profileBytes = 0;
    qint64 pos = 2;  // after SOI
    Keep(pieces, 0, 2);
    for (int segment = 0; segment < MaxSegments && pos < size; ++segment) {
        // Bytes between segments (damage the decoder skips) are kept, so
        // the decoder sees them as it would.
        const qint64 start = pos;
        quint8 byte = 0;
        while (pos < size && pos - start <= MaxStrayBytes && source.u8(pos, &byte) && byte != 0xFF)
            ++pos;
        quint8 code = 0xFF;
        while (code == 0xFF && pos + 1 < size && source.u8(pos + 1, &code) && code == 0xFF)
            ++pos;  // fill bytes
        Keep(pieces, start, pos - start);
        if (byte != 0xFF || code == 0xFF || pos + 1 >= size)
            break;
        if (code == 0xD9 || code == 0xDA || code == 0x00)
            break;  // the end, the first scan, or damage: the rest as it is
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            Keep(pieces, pos, 2);
            pos += 2;
            continue;
        }
        quint16 length = 0;
        if (!source.u16(pos + 2, true, &length) || length < 2)
            break;
        const qint64 end = pos + 2 + length;
        const qint64 payload = pos + 4;
        bool keep = true;
        if (code == 0xE1) {  // EXIF, XMP and others
            keep = !exifKept && HasPrefix(source, payload, length - 2, "Exif\0", 5);
            exifKept |= keep;
        } else if (code == 0xE2) {  // colour profile in parts, and others
            keep = HasPrefix(source, payload, length - 2, "ICC_PROFILE\0", 12)
                   && profileBytes + length <= MetadataLimit;
            profileBytes += keep ? length : 0;
        } else if ((code >= 0xE3 && code <= 0xEF && code != 0xEE) || code == 0xFE) {
            keep = false;  // other application data, comments
        }
        if (keep)
            Keep(pieces, pos, end - pos);
        pos = end;
    }
    // The scans, with what lies between them examined as they are read.
    pieces.append({pos, size - pos, {}});
    PreviewBytes result = AsPieces(std::move(pieces));
    result.leanScans = true;
    return result;
}

PreviewBytes LeanTiff(ImageSource &source)
{
    const uchar *p = source.prefix();
    if (source.prefixSize() < 16)
        return {};
    const bool big = p[0] == 'M';
    const quint16 version = GetU16(p + 2, big);
    const bool bigTiff = version == 43;
    if (version != 42 && !bigTiff)
        return {};
    const qint64 countSize = bigTiff ? 8 : 2;
    const qint64 entrySize = bigTiff ? 20 : 12;
    const qint64 valueSize = bigTiff ? 8 : 4;
    const quint64 ifd = bigTiff ? GetU64(p + 8, big) : GetU32(p + 4, big);
    quint64 entries = 0;
    quint16 shortCount = 0;
    if (bigTiff ? !source.u64(qint64(ifd), big, &entries) : !source.u16(qint64(ifd), big, &shortCount))
        return {};
    if (!bigTiff)
        entries = shortCount;
    if (entries == 0 || entries > 65535)
        return {};
    const qint64 length = countSize + qint64(entries) * entrySize + valueSize;
    QByteArray directory(length, Qt::Uninitialized);
    if (!source.read(qint64(ifd), directory.data(), length))
        return {};

    // Values the decoder needs however large they are.
    static const quint16 picture[] = {273, 279, 301, 320, 324, 325, 347};
    const auto typeSize = [](quint16 type) -> quint64 {
        switch (type) {
        case 3: case 8: return 2;
        case 4: case 9: case 11: case 13: return 4;
        case 5: case 10: case 12: case 16: case 17: case 18: return 8;
        default: return 1;
        }
    };
    QByteArray kept;
    quint64 keptCount = 0;
    const uchar *entry = reinterpret_cast<const uchar *>(directory.constData()) + countSize;
    for (quint64 i = 0; i < entries; ++i, entry += entrySize) {
        const quint16 tag = GetU16(entry, big);
        const quint64 count = bigTiff ? GetU64(entry + 4, big) : GetU32(entry + 4, big);
        const quint64 bytes = count > quint64(MetadataLimit) ? count : count * typeSize(GetU16(entry + 2, big));
        if (bytes > quint64(MetadataLimit) && std::find(std::begin(picture), std::end(picture), tag) == std::end(picture))
            continue;
        kept.append(reinterpret_cast<const char *>(entry), entrySize);
        ++keptCount;
    }
    if (keptCount == entries)
        return {};
    // The directory keeps its place and length: fewer entries, the link to
    // the next directory, then zeros.
    QByteArray lean(countSize, '\0');
    if (bigTiff)
        big ? qToBigEndian<quint64>(keptCount, lean.data()) : qToLittleEndian<quint64>(keptCount, lean.data());
    else
        big ? qToBigEndian<quint16>(quint16(keptCount), lean.data()) : qToLittleEndian<quint16>(quint16(keptCount), lean.data());
    lean += kept + directory.mid(length - valueSize);
    lean.append(QByteArray(length - lean.size(), '\0'));
    QList<BytePiece> pieces;
    Keep(pieces, 0, qint64(ifd));
    Insert(pieces, lean);
    Keep(pieces, qint64(ifd) + length, source.size() - qint64(ifd) - length);
    return AsPieces(std::move(pieces));
}

PreviewBytes LeanWebp(ImageSource &source)
{
    constexpr int MaxChunks = 100000;
    const qint64 size = source.size();
    QList<BytePiece> pieces;
    Insert(pieces, QByteArray());  // the RIFF header, once its size is known
    bool left = false;
    bool profileLeft = false;
    qint64 vp8x = -1;     // where VP8X's bytes are in `header`
    qint64 data = 0;      // picture data kept
    qint64 pos = 12;
    QByteArray chunk(8, Qt::Uninitialized);
    for (int i = 0; i < MaxChunks && pos + 8 <= size; ++i) {
        if (!source.read(pos, chunk.data(), 8))
            break;
        const QByteArray fourcc = chunk.left(4);
        const qint64 length = qFromLittleEndian<quint32>(chunk.constData() + 4);
        const qint64 end = qMin(size, pos + 8 + length + (length & 1));
        bool keep = true;
        if (fourcc == "EXIF" || fourcc == "XMP ") {
            keep = false;
        } else if (fourcc == "ICCP") {
            keep = length <= MetadataLimit;
            profileLeft = !keep;
        } else if (fourcc == "VP8X") {
            QByteArray own(int(end - pos), Qt::Uninitialized);
            if (!source.read(pos, own.data(), own.size()))
                break;
            vp8x = pieces.size();
            Insert(pieces, own);
            pos = end;
            continue;
        } else if (fourcc == "VP8 " || fourcc == "VP8L" || fourcc == "ALPH" || fourcc == "ANMF") {
            data += length;
        } else if (fourcc != "ANIM") {
            keep = false;
        }
        if (keep)
            Keep(pieces, pos, end - pos);
        left |= !keep;
        pos = end;
    }
    if (data > WebpDataLimit) {
        PreviewBytes refused;
        refused.kind = PreviewBytes::Refused;
        refused.reason = QStringLiteral("图片数据过大");
        return refused;
    }
    if (!left)
        return {};
    if (vp8x >= 0 && pieces[vp8x].bytes.size() > 8) {
        // The flags say which chunks follow: no EXIF, no XMP, and no colour
        // profile when it was left out.
        char &flags = pieces[vp8x].bytes[8];
        flags = char(flags & ~(0x08 | 0x04 | (profileLeft ? 0x20 : 0)));
    }
    qint64 total = 4;
    for (qsizetype i = 1; i < pieces.size(); ++i)
        total += pieces[i].length;
    QByteArray header("RIFF\0\0\0\0WEBP", 12);
    qToLittleEndian<quint32>(quint32(total), header.data() + 4);
    pieces[0] = {-1, header.size(), header};
    return AsPieces(std::move(pieces));
}

PieceDevice::PieceDevice(const QString &path, QList<BytePiece> pieces, bool leanScans)
    : m_path(path)
    , m_pieces(std::move(pieces))
    , m_leanScans(leanScans && !m_pieces.isEmpty() && m_pieces.last().from >= 0)
{
    for (const BytePiece &piece : m_pieces) {
        m_starts.append(m_size);
        m_size += piece.length;
    }
    if (m_leanScans)
        m_examined = m_pieces.last().from;
}

void PieceDevice::ExamineScans(qint64 upTo)
{
    constexpr qint64 Chunk = 1 << 16;
    QByteArray bytes;
    while (m_leanScans) {
        BytePiece &tail = m_pieces.last();
        const qint64 tailEnd = tail.from + tail.length;
        if (m_examined + 1 >= tailEnd || m_starts.last() + (m_examined - tail.from) >= upTo)
            return;
        // One byte more than the chunk, so a marker across its end is seen.
        bytes.resize(qMin(Chunk + 1, tailEnd - m_examined));
        if (!m_file.seek(m_examined) || m_file.read(bytes.data(), bytes.size()) != bytes.size()) {
            m_leanScans = false;
            return;
        }
        qint64 marker = -1;
        for (qsizetype i = 0; i + 1 < bytes.size() && marker < 0; ++i) {
            const uchar code = uchar(bytes[i + 1]);
            if (uchar(bytes[i]) != 0xFF)
                continue;
            if (code == 0xD9) {  // the end of the image: the decoder reads no further
                m_leanScans = false;
                return;
            }
            if ((code >= 0xE0 && code <= 0xEF) || code == 0xFE)
                marker = m_examined + i;
        }
        if (marker < 0) {
            m_examined += bytes.size() - 1;
            continue;
        }
        quint8 length[2] = {0, 0};
        m_file.seek(marker + 2);
        m_file.read(reinterpret_cast<char *>(length), 2);
        const qint64 after = qMin(tailEnd, marker + 2 + (qint64(length[0]) << 8 | length[1]));
        // The tail ends before the segment and goes on after it.
        tail.length = marker - tail.from;
        m_pieces.append({after, tailEnd - after, {}});
        m_starts.append(m_starts.last() + m_pieces[m_pieces.size() - 2].length);
        m_size = m_starts.last() + m_pieces.last().length;
        m_examined = after;
    }
}

bool PieceDevice::open(OpenMode mode)
{
    return mode == ReadOnly && OpenForReading(m_file, m_path) && QIODevice::open(mode);
}

bool PieceDevice::seek(qint64 pos)
{
    if (pos < 0 || pos > m_size || !QIODevice::seek(pos))
        return false;
    m_pos = pos;
    return true;
}

qint64 PieceDevice::readData(char *data, qint64 maxSize)
{
    ExamineScans(m_pos + maxSize);
    qint64 done = 0;
    while (done < maxSize && m_pos < m_size) {
        const qsizetype i = std::upper_bound(m_starts.begin(), m_starts.end(), m_pos) - m_starts.begin() - 1;
        const BytePiece &piece = m_pieces[i];
        const qint64 within = m_pos - m_starts[i];
        const qint64 n = qMin(maxSize - done, piece.length - within);
        if (piece.from < 0) {
            std::memcpy(data + done, piece.bytes.constData() + within, size_t(n));
        } else {
            if (!m_file.seek(piece.from + within))
                return done > 0 ? done : -1;
            const qint64 got = m_file.read(data + done, n);
            if (got <= 0)
                return done > 0 ? done : -1;
            done += got;
            m_pos += got;
            continue;
        }
        done += n;
        m_pos += n;
    }
    return done;
}

} // namespace kestova
