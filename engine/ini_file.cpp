// Private-profile files.
#include "ini_file.h"

#include "program_folder.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace kestova {

namespace {

bool IsAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool IsValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    (void)QString(decoder.decode(bytes));
    return !decoder.hasError();
}

// One line of the file as it is on disk (line end included) and as text.
struct Line {
    QByteArray raw;
    QString text; // without the line end
};

struct Profile {
    QList<Line> lines;
    bool utf8 = false; // the file holds non-ASCII UTF-8 text
};

Profile Parse(const QByteArray &bytes)
{
    Profile profile;
    profile.utf8 = !IsAscii(bytes) && IsValidUtf8(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QStringDecoder gbk("GBK");
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        Line line;
        line.raw = bytes.mid(start, end - start);
        QByteArray content = line.raw;
        while (content.endsWith('\n') || content.endsWith('\r'))
            content.chop(1);
        line.text = profile.utf8 ? QString(utf8.decode(content)) : QString(gbk.decode(content));
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

bool ReadFile(const QString &file, QByteArray *bytes, bool *exists)
{
    QFile f(file);
    *exists = f.exists();
    if (!*exists)
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    *bytes = f.readAll();
    return f.error() == QFileDevice::NoError;
}

QByteArray LineEnd(const Profile &profile)
{
    for (const Line &line : profile.lines) {
        if (line.raw.endsWith("\r\n"))
            return "\r\n";
        if (line.raw.endsWith('\n'))
            return "\n";
    }
    return "\r\n";
}

} // namespace

QString ReadProfileString(const QString &file, const QString &section, const QString &key, bool *ok)
{
    QByteArray bytes;
    bool exists = false;
    const bool read = ReadFile(file, &bytes, &exists);
    if (ok)
        *ok = read;
    if (!read || !exists)
        return {};
    const Profile profile = Parse(bytes);
    const Location where = Find(profile, section, key);
    if (where.key < 0)
        return {};
    const QString &text = profile.lines[where.key].text;
    return text.mid(text.indexOf(u'=') + 1).trimmed();
}

bool WriteProfileString(const QString &file, const QString &section, const QString &key, const QString &value)
{
    QByteArray bytes;
    bool exists = false;
    if (!ReadFile(file, &bytes, &exists))
        return false;
    Profile profile = Parse(bytes);
    const QByteArray eol = LineEnd(profile);

    // New lines as text; encoded below once the file's encoding is settled.
    const QString keyLine = key + u'=' + value;
    const Location where = Find(profile, section, key);
    QList<qsizetype> changed; // indices of lines whose raw bytes must be re-encoded
    if (where.key >= 0) {
        profile.lines[where.key].text = keyLine;
        changed.append(where.key);
    } else if (where.section >= 0) {
        profile.lines.insert(where.insertAt, Line{{}, keyLine});
        changed.append(where.insertAt);
    } else {
        if (!profile.lines.isEmpty() && !profile.lines.last().raw.endsWith('\n'))
            profile.lines.last().raw += eol;
        profile.lines.append(Line{{}, u'[' + section + u']'});
        profile.lines.append(Line{{}, keyLine});
        changed.append(profile.lines.size() - 2);
        changed.append(profile.lines.size() - 1);
    }

    bool utf8 = profile.utf8;
    if (!utf8) {
        for (const qsizetype i : changed) {
            QStringEncoder gbk("GBK");
            (void)QByteArray(gbk.encode(profile.lines[i].text));
            if (gbk.hasError())
                utf8 = true;
        }
    }
    QByteArray out;
    for (qsizetype i = 0; i < profile.lines.size(); ++i) {
        Line &line = profile.lines[i];
        const bool reencode = changed.contains(i) || (utf8 && !profile.utf8 && !IsAscii(line.raw));
        if (reencode) {
            QByteArray end = eol;
            if (line.raw.endsWith("\r\n"))
                end = "\r\n";
            else if (line.raw.endsWith('\n'))
                end = "\n";
            if (utf8) {
                line.raw = line.text.toUtf8() + end;
            } else {
                QStringEncoder gbk("GBK");
                line.raw = QByteArray(gbk.encode(line.text)) + end;
            }
        }
        out += line.raw;
    }

    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly))
        return false;
    if (save.write(out) != out.size()) {
        save.cancelWriting();
        return false;
    }
    return save.commit();
}

QString ReadIniValue(const QString &section, const QString &key, bool *ok)
{
    return ReadProfileString(ConfigIniPath(), section, key, ok);
}

bool WriteIniValue(const QString &section, const QString &key, const QString &value)
{
    return WriteProfileString(ConfigIniPath(), section, key, value);
}

} // namespace kestova
