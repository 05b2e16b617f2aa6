// Private-profile (INI) files with the Windows rules: section and key names
// match without case, the value is the text after the first "=" without
// surrounding blanks, a missing section is appended at the end of the file
// and a missing key at the end of its section. Every line that is not a key
// written stays byte for byte as it was.
//
// Reading: a file that is not a regular file (a FIFO, a device, a link to
// one) counts as missing. A file larger than 1 MiB cannot be read, and a
// write refuses to replace it (saying why). A link to a regular file is
// followed.
//
// Encoding (see text_encoding.h): a byte-order mark decides, so UTF-8 with
// BOM and Notepad's "Unicode" (UTF-16 LE, BOM FF FE) are read as such; UTF-16
// without one is told by its zero bytes; any other file is GBK unless its
// bytes are valid UTF-8 that reads as Chinese text better than the GBK
// reading does.
//
// Writing keeps the file's encoding: GBK stays GBK, UTF-16 stays UTF-16 in
// its byte order, with its BOM or without as it was. UTF-8 is written with a BOM, so that the next reading need not
// guess. A value GBK cannot hold turns a GBK file into UTF-8 with BOM, so no
// character is ever replaced by "?". Every write replaces the whole file at
// once: the new contents go to a temporary file beside it, are flushed to the
// disk, and only then renamed over the old one; on any failure the old file
// stays as it was.
#pragma once

#include <QList>
#include <QString>

namespace kestova {

struct ProfileValue {
    QString section;
    QString key;
    QString value;
};

// Reads one key; a missing file, section or key gives "" with ok true.
// ok is false only when the file exists but cannot be read. The value is
// returned whole, however long.
QString ReadProfileString(const QString &file, const QString &section, const QString &key, bool *ok = nullptr);

// Writes key=value into the section, creating file, section or key as needed.
// False when the file could not be written.
bool WriteProfileString(const QString &file, const QString &section, const QString &key, const QString &value);

// Writes the values in their order, as one WriteProfileString each would, in
// one replacement of the file: all of them or none. On failure *error says
// what failed and why ("无法写入 <file>：磁盘已满").
bool WriteProfileStrings(const QString &file, const QList<ProfileValue> &values, QString *error = nullptr);

// The same on Config.ini in the program folder.
QString ReadIniValue(const QString &section, const QString &key, bool *ok);
bool WriteIniValue(const QString &section, const QString &key, const QString &value);
bool WriteIniValues(const QList<ProfileValue> &values, QString *error = nullptr);

} // namespace kestova
