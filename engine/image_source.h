// ImageSource: random access to the bytes of one image file (or of a buffer
// in memory) for the header readers. The first bytes are read once on
// opening; other reads go through one small movable window, so a reader may
// seek wherever the format's offsets point without a system call per field.
#pragma once

#include <QString>
#include <QtEndian>

#include <cstring>

namespace kestova {

class ImageSource
{
public:
    static constexpr qint64 PrefixSize = 4096;
    static constexpr qint64 WindowSize = 4096;

    // Whether the system may read ahead of what is asked for. On a share or
    // a card every byte read ahead costs the device time, and a busy share
    // may even leave the rest of a large read to be fetched one page at a
    // time; Exact reads only the pages asked for.
    enum class ReadAhead { System, Exact };

    // Opens a regular file. Anything else (folder, device, FIFO, socket,
    // missing or unreadable file) leaves the source closed.
    explicit ImageSource(const QString &path, ReadAhead readAhead = ReadAhead::System);
    // Bytes in memory, not copied; they must outlive the source.
    ImageSource(const char *data, qint64 size);
    ~ImageSource();

    ImageSource(const ImageSource &) = delete;
    ImageSource &operator=(const ImageSource &) = delete;

    bool isOpen() const { return m_open; }
    // The system's error of the open or of a read that failed (not of a
    // read past the end); 0 when none. A folder or a FIFO is not an error.
    int error() const { return m_error; }
    qint64 size() const { return m_size; }

    // The file's first bytes (fewer when the file is shorter), for telling
    // the format by its signature.
    const uchar *prefix() const { return m_prefix; }
    qint64 prefixSize() const { return m_prefixSize; }

    // Copies n bytes from offset to out; false when any of them lies beyond
    // the end or cannot be read.
    bool read(qint64 offset, void *out, qint64 n);

    bool u8(qint64 offset, quint8 *out) { return read(offset, out, 1); }
    bool u16(qint64 offset, bool bigEndian, quint16 *out) { return number(offset, bigEndian, out); }
    bool u32(qint64 offset, bool bigEndian, quint32 *out) { return number(offset, bigEndian, out); }
    bool u64(qint64 offset, bool bigEndian, quint64 *out) { return number(offset, bigEndian, out); }

    // The open file, for QImageReader and libheif. Only valid when the
    // source is a file; memory() is set otherwise.
    int fileDescriptor() const { return m_fd; }
    const char *memory() const { return m_memory; }

private:
    template<typename T>
    bool number(qint64 offset, bool bigEndian, T *out)
    {
        uchar bytes[sizeof(T)];
        if (!read(offset, bytes, sizeof(T)))
            return false;
        *out = bigEndian ? qFromBigEndian<T>(bytes) : qFromLittleEndian<T>(bytes);
        return true;
    }

    qint64 fetch(qint64 offset, void *out, qint64 n);

    bool m_open = false;
    int m_error = 0;
    int m_fd = -1;
    const char *m_memory = nullptr;
    qint64 m_size = 0;
    qint64 m_prefixSize = 0;
    qint64 m_windowStart = 0;
    qint64 m_windowSize = 0;
    uchar m_prefix[PrefixSize];
    uchar m_window[WindowSize];
};

// Fixed-size numbers inside bytes already read.
inline quint16 GetU16(const uchar *p, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
}
inline quint32 GetU32(const uchar *p, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
}
inline quint64 GetU64(const uchar *p, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint64>(p) : qFromLittleEndian<quint64>(p);
}
inline bool StartsWith(const uchar *p, qint64 size, const char *signature, qint64 length)
{
    return size >= length && std::memcmp(p, signature, size_t(length)) == 0;
}

} // namespace kestova
