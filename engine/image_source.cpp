// ImageSource: one open, one stat and one read of the first bytes per file;
// further reads refill a window or, when larger than it, go straight to the
// caller's buffer.
#include "image_source.h"

#include "path_codec.h"

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestova {

namespace {

#ifdef Q_OS_WIN
int OpenRegularFile(const QString &path, qint64 *size, int *error)
{
    const int fd = ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    struct _stat64 st;
    if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        ::_close(fd);
        return -1;
    }
    *size = st.st_size;
    return fd;
}

qint64 ReadAt(int fd, qint64 offset, void *out, qint64 n)
{
    if (::_lseeki64(fd, offset, SEEK_SET) != offset)
        return -1;
    return ::_read(fd, out, unsigned(n));
}

void CloseFile(int fd)
{
    ::_close(fd);
}
#else
int OpenRegularFile(const QString &path, qint64 *size, int *error)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the stat below
    // then turns it away like any other non-regular file.
    const int fd = OpenPath(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    struct stat st;
    const bool stated = ::fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        *error = stated ? 0 : errno;
        ::close(fd);
        return -1;
    }
    *size = st.st_size;
    return fd;
}

qint64 ReadAt(int fd, qint64 offset, void *out, qint64 n)
{
    qint64 done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, static_cast<char *>(out) + done, size_t(n - done), off_t(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && done == 0)
            return -1;
        if (r <= 0)
            break;
        done += r;
    }
    return done;
}

void CloseFile(int fd)
{
    ::close(fd);
}
#endif

} // namespace

ImageSource::ImageSource(const QString &path, ReadAhead readAhead)
{
    m_fd = OpenRegularFile(path, &m_size, &m_error);
    if (m_fd < 0)
        return;
#ifdef POSIX_FADV_RANDOM
    if (readAhead == ReadAhead::Exact)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
#else
    Q_UNUSED(readAhead);
#endif
    const qint64 got = fetch(0, m_prefix, std::min(m_size, PrefixSize));
    if (got < 0)
        return;
    // A file that shrank since the stat ends where the read ended.
    m_prefixSize = got;
    if (got < PrefixSize)
        m_size = got;
    m_open = true;
}

ImageSource::ImageSource(const char *data, qint64 size)
    : m_open(true)
    , m_memory(data)
    , m_size(std::max<qint64>(size, 0))
    , m_prefixSize(std::min(m_size, PrefixSize))
{
    if (m_prefixSize > 0)
        std::memcpy(m_prefix, data, size_t(m_prefixSize));
}

// A buffer in memory is read through the same prefix and window as a file,
// so that tests and fuzzing in memory cover the file's way of reading.
qint64 ImageSource::fetch(qint64 offset, void *out, qint64 n)
{
    if (m_memory) {
        std::memcpy(out, m_memory + offset, size_t(n));
        return n;
    }
    const qint64 got = ReadAt(m_fd, offset, out, n);
    if (got < 0)
        m_error = errno;
    return got;
}

ImageSource::~ImageSource()
{
    if (m_fd >= 0)
        CloseFile(m_fd);
}

bool ImageSource::read(qint64 offset, void *out, qint64 n)
{
    if (!m_open || offset < 0 || n < 0 || offset > m_size || n > m_size - offset)
        return false;
    if (n == 0) // libheif asks for empty reads, with no buffer
        return true;
    if (offset + n <= m_prefixSize) {
        std::memcpy(out, m_prefix + offset, size_t(n));
        return true;
    }
    if (offset >= m_windowStart && offset + n <= m_windowStart + m_windowSize) {
        std::memcpy(out, m_window + (offset - m_windowStart), size_t(n));
        return true;
    }
    if (n > WindowSize)
        return fetch(offset, out, n) == n;
    const qint64 got = fetch(offset, m_window, std::min(WindowSize, m_size - offset));
    if (got < n) {
        m_windowSize = 0;
        return false;
    }
    m_windowStart = offset;
    m_windowSize = got;
    std::memcpy(out, m_window, size_t(n));
    return true;
}

} // namespace kestova
