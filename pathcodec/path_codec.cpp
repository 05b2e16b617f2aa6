// PathCodec: decoding names, and finding a path's bytes on disk again.
#include "path_codec.h"

#include "text_encoding.h"

#include <QFile>

#ifndef Q_OS_UNIX
#include <QFileInfo>
#else
#include <QHash>
#include <QStringList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestova {

#ifndef Q_OS_UNIX

bool OpenForReading(QFile &file, const QString &path)
{
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

bool IsFolderPath(const QString &path)
{
    return QFileInfo(path).isDir();
}

#else

namespace {

// Byte b (0x80-0xFF) that no GBK character covers stands as U+F700 + b.
constexpr char16_t EscapeBase = 0xF700;

bool IsEscape(char16_t c)
{
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF;
}

bool IsAsciiName(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const uchar *const end = p + bytes.size();
    while (p < end) {
        const uchar lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int length;
        char32_t cp;
        char32_t least;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, cp = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, cp = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, cp = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

// The two-byte GBK characters, both ways. Only pairs that decode to one
// character which encodes back to the same pair are taken, so decoding and
// encoding through the table are exact inverses.
struct GbkTable {
    static constexpr int Trails = 0xFF - 0x40; // trail bytes 0x40-0xFE
    std::vector<char16_t> decode = std::vector<char16_t>(size_t(0xFF - 0x81) * Trails, 0);
    QHash<char16_t, quint16> encode;

    static int Index(uchar lead, uchar trail) { return (lead - 0x81) * Trails + (trail - 0x40); }
};

const GbkTable &Gbk()
{
    static const GbkTable table = [] {
        GbkTable t;
        QStringDecoder decoder("GBK");
        QStringEncoder encoder("GBK");
        if (!decoder.isValid() || !encoder.isValid())
            return t; // without GBK every byte above 0x7F is escaped
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F)
                    continue;
                const char pair[2] = {char(lead), char(trail)};
                decoder.resetState();
                const QString text = decoder.decode(QByteArrayView(pair, 2));
                if (decoder.hasError() || text.size() != 1)
                    continue;
                const char16_t c = text.at(0).unicode();
                if (c < 0x80 || c == 0xFFFD || QChar::isSurrogate(c) || IsEscape(c))
                    continue;
                encoder.resetState();
                const QByteArray back = encoder.encode(text);
                if (encoder.hasError() || back != QByteArrayView(pair, 2))
                    continue;
                t.decode[size_t(GbkTable::Index(uchar(lead), uchar(trail)))] = c;
                t.encode.insert(c, quint16(lead << 8 | trail));
            }
        }
        return t;
    }();
    return table;
}

QString EscapedName(const QByteArray &name)
{
    QString text(name.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : name)
        *out++ = uchar(c) < 0x80 ? QChar(uchar(c)) : QChar(char16_t(EscapeBase + uchar(c)));
    return text;
}

// The name's GBK bytes, with escaped bytes put back; false when it holds a
// character GBK does not have.
bool LegacyBytes(QStringView name, QByteArray *out)
{
    const GbkTable &gbk = Gbk();
    out->clear();
    out->reserve(name.size() * 2);
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        if (c < 0x80) {
            out->append(char(c));
        } else if (IsEscape(c)) {
            out->append(char(c - EscapeBase));
        } else {
            const auto pair = gbk.encode.constFind(c);
            if (pair == gbk.encode.constEnd())
                return false;
            out->append(char(pair.value() >> 8));
            out->append(char(pair.value() & 0xFF));
        }
    }
    return true;
}

bool Exists(int dirFd, const QByteArray &relative)
{
    struct stat st;
    return ::fstatat(dirFd, relative.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

#ifdef O_PATH
constexpr int FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Finds a path's bytes component by component. The components found so far
// wait in `pending`, relative to an open folder; once they grow long that
// folder is opened and becomes the base, so no single call ever sees a path
// near the system's limit, however deep the whole path goes.
class Walker
{
public:
    explicit Walker(bool absolute) : m_pending(absolute ? "/" : ""), m_path(m_pending) {}
    ~Walker()
    {
        if (m_dirFd >= 0)
            ::close(m_dirFd);
    }
    Walker(const Walker &) = delete;
    Walker &operator=(const Walker &) = delete;

    // Goes into the named folder. False once a folder on the way cannot be
    // opened (errno tells why); the remaining names are then taken as UTF-8.
    bool Enter(QStringView name)
    {
        const QByteArray bytes = Choose(name);
        m_pending += bytes;
        m_pending += '/';
        m_path += bytes;
        m_path += '/';
        return m_ok;
    }

    // The last component, opened.
    int Open(QStringView name, int flags)
    {
        const QByteArray bytes = Choose(name);
        if (!m_ok)
            return -1;
        return ::openat(Base(), (m_pending + bytes).constData(), flags | O_CLOEXEC);
    }

    // The bytes of the whole path, ending with the last component.
    QByteArray Path(QStringView last) { return m_path + Choose(last); }

private:
    static constexpr qsizetype RebaseAt = PATH_MAX / 2;

    int Base() const { return m_dirFd >= 0 ? m_dirFd : AT_FDCWD; }

    void Rebase()
    {
        const int fd = ::openat(Base(), m_pending.constData(), FolderFlags);
        if (fd < 0) {
            m_ok = false;
            return;
        }
        if (m_dirFd >= 0)
            ::close(m_dirFd);
        m_dirFd = fd;
        m_pending.clear();
    }

    QByteArray Choose(QStringView name)
    {
        if (m_ok && m_pending.size() > RebaseAt)
            Rebase();
        QByteArray utf8 = name.toUtf8();
        QByteArray legacy;
        if (!m_ok || !LegacyBytes(name, &legacy) || legacy == utf8 || Exists(Base(), m_pending + utf8))
            return utf8;
        return Exists(Base(), m_pending + legacy) ? legacy : utf8;
    }

    int m_dirFd = -1;
    QByteArray m_pending; // relative to m_dirFd
    QByteArray m_path;    // everything chosen so far
    bool m_ok = true;
};

// Calls enter for every component but the last and returns the last one
// (empty for the root itself), or stops at the first enter that fails.
template<typename Enter>
QStringView SplitPath(QStringView path, Enter enter)
{
    QStringView last;
    bool haveLast = false;
    for (const QStringView part : path.tokenize(u'/', Qt::SkipEmptyParts)) {
        if (haveLast && !enter(last))
            return {};
        last = part;
        haveLast = true;
    }
    return last;
}

bool WorthWalking(const QByteArray &utf8, int error)
{
    return !IsAsciiName(utf8) && (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG);
}

// Bytes valid both as UTF-8 and as GBK are read the way that gives Chinese
// text, as the settings file is: "图片" written by Chinese Windows (CD BC C6
// AC) is also the UTF-8 of "ͼƬ". GBK's two-byte characters read as UTF-8
// give two-byte sequences (Latin, Greek, Cyrillic…), so a name whose UTF-8
// reading has none of those is UTF-8 without further ado. Accented Latin
// letters (café, Müller) are what UTF-8 names from cameras and other
// computers hold; GBK names made only of the few characters that spell
// them are rare, so such a name stays UTF-8.
bool ReadsAsUtf8(const QByteArray &name)
{
    if (!IsUtf8(name))
        return false;
    bool twoByte = false;
    for (const char c : name) {
        if ((uchar(c) & 0xE0) == 0xC0) {
            twoByte = true;
            break;
        }
    }
    if (!twoByte)
        return true;
    const QString text = QString::fromUtf8(name);
    const bool latinLetters = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x80 || (c.unicode() >= 0xC0 && c.unicode() <= 0xFF && c.unicode() != 0xD7 && c.unicode() != 0xF7);
    });
    return latinLetters || DetectEncoding(name).encoding != TextEncoding::Gbk;
}

} // namespace

QString DecodeName(const QByteArray &name)
{
    if (ReadsAsUtf8(name))
        return QString::fromUtf8(name);
    const GbkTable &gbk = Gbk();
    QString text;
    text.reserve(name.size());
    const auto *p = reinterpret_cast<const uchar *>(name.constData());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = p[i];
        if (b < 0x80) {
            text.append(QChar(b));
            continue;
        }
        if (b >= 0x81 && b <= 0xFE && i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] <= 0xFE) {
            if (const char16_t c = gbk.decode[size_t(GbkTable::Index(b, p[i + 1]))]) {
                text.append(QChar(c));
                ++i;
                continue;
            }
        }
        text.append(QChar(char16_t(EscapeBase + b)));
    }
    return text;
}

QString DecodeNameIn(int dirFd, const QByteArray &name)
{
    if (ReadsAsUtf8(name))
        return QString::fromUtf8(name);
    // Read as GBK: when the folder also holds that text's UTF-8 spelling, the
    // text would open the other file; this name's bytes are escaped instead.
    const QString text = DecodeName(name);
    return Exists(dirFd, text.toUtf8()) ? EscapedName(name) : text;
}

QString DecodePath(const QByteArray &path)
{
    if (IsAsciiName(path))
        return QString::fromLatin1(path);
    QStringList names;
    for (const QByteArray &name : path.split('/'))
        names.append(DecodeName(name));
    return names.join(u'/');
}

QByteArray EncodePath(const QString &path)
{
    const QByteArray utf8 = path.toUtf8();
    struct stat st;
    if (IsAsciiName(utf8) || (utf8.size() < PATH_MAX && ::lstat(utf8.constData(), &st) == 0))
        return utf8;
    Walker walker(path.startsWith(u'/'));
    const QStringView last = SplitPath(path, [&](QStringView name) {
        walker.Enter(name);
        return true;
    });
    QByteArray bytes = walker.Path(last);
    if (path.endsWith(u'/') && !bytes.endsWith('/'))
        bytes += '/';
    return bytes;
}

int OpenPath(const QString &path, int flags)
{
    const QByteArray utf8 = path.toUtf8();
    if (utf8.size() < PATH_MAX) {
        const int fd = ::open(utf8.constData(), flags | O_CLOEXEC);
        if (fd >= 0 || !WorthWalking(utf8, errno))
            return fd;
    }
    Walker walker(path.startsWith(u'/'));
    bool entered = true;
    const QStringView last = SplitPath(path, [&](QStringView name) { return entered = walker.Enter(name); });
    if (!entered)
        return -1;
    if (last.isEmpty())
        return ::open(path.startsWith(u'/') ? "/" : ".", flags | O_CLOEXEC);
    return walker.Open(last, flags);
}

bool OpenForReading(QFile &file, const QString &path)
{
    const int fd = OpenPath(path, O_RDONLY);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

bool IsFolderPath(const QString &path)
{
    const int fd = OpenPath(path, FolderFlags);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

#endif

} // namespace kestova
