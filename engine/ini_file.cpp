// Private-profile files: reading them safely, editing their lines and
// replacing them whole.
#include "ini_file.h"

#include "program_folder.h"
#include "replace_file.h"
#include "text_encoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestova {

namespace {

// No settings file comes near this; anything larger is not read.
constexpr qint64 MaxFileSize = 1 << 20;

// One line of the file as it is on disk (line end included) and as text.
struct Line {
    QByteArray raw;
    QString text;        // without the line end
    QString eol;         // the line end: "\r\n", "\n" or "" on a last line
    bool dirty = false;  // raw must be encoded again from text and eol
};

struct Profile {
    TextEncoding encoding = TextEncoding::Gbk;
    bool bom = false; // the file began with a byte-order mark
    QList<Line> lines;
};

Profile Parse(const QByteArray &bytes)
{
    Profile profile;
    const DetectedEncoding detected = DetectEncoding(bytes);
    profile.encoding = detected.encoding;
    profile.bom = detected.bomSize > 0;
    TextCodec codec(profile.encoding);
    qsizetype start = detected.bomSize;
    while (start < bytes.size()) {
        const qsizetype end = NextLineStart(bytes, start, profile.encoding);
        Line line;
        line.raw = bytes.mid(start, end - start);
        const QString full = codec.decode(line.raw);
        qsizetype length = full.size();
        while (length > 0 && (full[length - 1] == u'\n' || full[length - 1] == u'\r'))
            --length;
        line.text = full.left(length);
        line.eol = full.mid(length);
        profile.lines.append(line);
        start = end;
    }
    return profile;
}

// The section name of a "[name]" line, or a null string for any other line.
QString SectionName(const QString &text)
{
    const QString t = text.trimmed();
    if (!t.startsWith(u'['))
        return {};
    const qsizetype close = t.indexOf(u']');
    return close < 0 ? t.mid(1).trimmed() : t.mid(1, close - 1).trimmed();
}

// Finds the key in the section: its line index, and the index after the last
// non-blank line of the section (where a new key goes). -1 when absent.
struct Location {
    qsizetype section = -1;
    qsizetype key = -1;
    qsizetype insertAt = -1;
};

Location Find(const Profile &profile, const QString &section, const QString &key)
{
    Location where;
    bool inSection = false;
    for (qsizetype i = 0; i < profile.lines.size(); ++i) {
        const QString &text = profile.lines[i].text;
        const QString name = SectionName(text);
        if (!name.isNull()) {
            if (inSection)
                break; // the first section of that name is the one used
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) {
                where.section = i;
                where.insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!text.trimmed().isEmpty())
            where.insertAt = i + 1;
        const qsizetype eq = text.indexOf(u'=');
        if (eq >= 0 && where.key < 0 && text.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            where.key = i;
    }
    return where;
}

QString LineEnd(const Profile &profile)
{
    for (const Line &line : profile.lines) {
        if (!line.eol.isEmpty())
            return line.eol;
    }
    return QStringLiteral("\r\n");
}

void Apply(Profile &profile, const ProfileValue &entry, const QString &eol)
{
    const QString keyLine = entry.key + u'=' + entry.value;
    const Location where = Find(profile, entry.section, entry.key);
    if (where.key >= 0) {
        Line &line = profile.lines[where.key];
        line.text = keyLine;
        line.dirty = true;
    } else if (where.section >= 0) {
        profile.lines.insert(where.insertAt, Line{{}, keyLine, eol, true});
    } else {
        if (!profile.lines.isEmpty() && profile.lines.last().eol.isEmpty()) {
            Line &last = profile.lines.last();
            QByteArray end;
            TextCodec(profile.encoding).encode(eol, &end);
            last.raw += end;
            last.eol = eol;
        }
        profile.lines.append(Line{{}, u'[' + entry.section + u']', eol, true});
        profile.lines.append(Line{{}, keyLine, eol, true});
    }
}

QByteArray Serialize(Profile &profile)
{
    if (profile.encoding == TextEncoding::Gbk) {
        const TextCodec gbk(TextEncoding::Gbk);
        QByteArray bytes;
        const bool fits = std::all_of(profile.lines.cbegin(), profile.lines.cend(),
                                      [&](const Line &line) { return !line.dirty || gbk.encode(line.text, &bytes); });
        if (!fits) {
            profile.encoding = TextEncoding::Utf8Bom;
            // ASCII lines are the same bytes in UTF-8; the others are encoded anew.
            for (Line &line : profile.lines)
                line.dirty = line.dirty || !IsAscii(line.raw);
        }
    }
    if (profile.encoding == TextEncoding::Utf8)
        profile.encoding = TextEncoding::Utf8Bom;

    const TextCodec codec(profile.encoding);
    // UTF-16 keeps the mark it had, or had not.
    const bool utf16 = profile.encoding == TextEncoding::Utf16Le || profile.encoding == TextEncoding::Utf16Be;
    QByteArray out = utf16 && !profile.bom ? QByteArray() : ByteOrderMark(profile.encoding);
    for (Line &line : profile.lines) {
        if (line.dirty)
            codec.encode(line.text + line.eol, &line.raw);
        out += line.raw;
    }
    return out;
}

QString Failure(const char *what, const QString &file, const QString &cause)
{
    return QStringLiteral("%1 %2：%3").arg(QString::fromUtf8(what), QDir::toNativeSeparators(file), cause);
}

// A file larger than the limit is not read, and for that very reason never
// replaced: a save would lose what could not be read.
QString TooLarge()
{
    return QStringLiteral("文件过大（超过 %1 KiB），为免丢失其中的内容，不读取也不改写").arg(MaxFileSize / 1024);
}

enum class FileState { Missing, Read, Failed };

struct FileBytes {
    FileState state = FileState::Missing;
    QByteArray bytes;
    QString error; // when Failed
};

#ifdef Q_OS_WIN
FileBytes ReadFile(const QString &file)
{
    FileBytes result;
    const QFileInfo info(file);
    if (info.isDir()) {
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, FileErrorCause(EISDIR));
        return result;
    }
    if (!info.isFile())
        return result;
    if (info.size() > MaxFileSize) {
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, TooLarge());
        return result;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, f.errorString());
        return result;
    }
    result.bytes = f.read(MaxFileSize + 1);
    if (f.error() != QFileDevice::NoError) {
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, f.errorString());
    } else if (result.bytes.size() <= MaxFileSize) {
        result.state = FileState::Read;
    } else {
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, TooLarge());
    }
    return result;
}

#else
FileBytes ReadFile(const QString &file)
{
    FileBytes result;
    const QByteArray path = QFile::encodeName(file);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the stat below
    // then turns it away like any other file that is not a regular one.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st;
    if (fd < 0) {
        const int error = errno;
        // A socket cannot be opened at all; it is as missing as a FIFO.
        if (error == ENOENT || error == ENOTDIR
            || (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)))
            return result;
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, FileErrorCause(error));
        return result;
    }
    int error = 0;
    bool tooLarge = false;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    if (error == 0 && S_ISREG(st.st_mode) && st.st_size > MaxFileSize)
        tooLarge = true;
    if (error == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxFileSize) {
        // Read to the end, however much the size has changed since the stat.
        QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
        qsizetype done = 0;
        while (done <= MaxFileSize) {
            if (done == bytes.size())
                bytes.resize(MaxFileSize + 1);
            const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = errno;
            if (n <= 0)
                break;
            done += n;
        }
        if (error == 0 && done <= MaxFileSize) {
            bytes.truncate(done);
            result.bytes = bytes;
            result.state = FileState::Read;
        } else if (error == 0) {
            tooLarge = true; // it grew past the limit while being read
        }
    }
    ::close(fd);
    if (error != 0) {
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, FileErrorCause(error));
    } else if (tooLarge) {
        result.state = FileState::Failed;
        result.error = Failure("无法读取", file, TooLarge());
    }
    return result;
}

#endif

// Where a write goes: through a link to a regular file; a link to anything
// else counts as a missing file and is itself replaced.
QString WriteTarget(const QString &file)
{
    const QFileInfo info(file);
    return info.isSymLink() && info.isFile() ? info.canonicalFilePath() : file;
}

} // namespace

QString ReadProfileString(const QString &file, const QString &section, const QString &key, bool *ok)
{
    const FileBytes read = ReadFile(file);
    if (ok)
        *ok = read.state != FileState::Failed;
    if (read.state != FileState::Read)
        return {};
    const Profile profile = Parse(read.bytes);
    const Location where = Find(profile, section, key);
    if (where.key < 0)
        return {};
    const QString &text = profile.lines[where.key].text;
    return text.mid(text.indexOf(u'=') + 1).trimmed();
}

bool WriteProfileStrings(const QString &file, const QList<ProfileValue> &values, QString *error)
{
    QString ignored;
    QString &reason = error ? *error : ignored;
    const FileBytes read = ReadFile(file);
    if (read.state == FileState::Failed) {
        reason = read.error;
        return false;
    }
    Profile profile = Parse(read.state == FileState::Read ? read.bytes : QByteArray());
    const QString eol = LineEnd(profile);
    for (const ProfileValue &entry : values)
        Apply(profile, entry, eol);
    const QString target = WriteTarget(file);
    QString cause;
    if (ReplaceFile(target, Serialize(profile), &cause))
        return true;
    reason = Failure("无法写入", target, cause);
    return false;
}

bool WriteProfileString(const QString &file, const QString &section, const QString &key, const QString &value)
{
    return WriteProfileStrings(file, {{section, key, value}});
}

QString ReadIniValue(const QString &section, const QString &key, bool *ok)
{
    return ReadProfileString(ConfigIniPath(), section, key, ok);
}

bool WriteIniValue(const QString &section, const QString &key, const QString &value)
{
    return WriteProfileString(ConfigIniPath(), section, key, value);
}

bool WriteIniValues(const QList<ProfileValue> &values, QString *error)
{
    return WriteProfileStrings(ConfigIniPath(), values, error);
}

} // namespace kestova
