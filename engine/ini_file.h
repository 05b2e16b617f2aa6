// Private-profile (INI) files, read and written one key at a time with the
// Windows rules: section and key names match without case, the value is the
// text after the first "=" without surrounding blanks, a missing section is
// appended at the end of the file and a missing key at the end of its section.
// Every line that is not the key written stays byte for byte as it was.
//
// Encoding: files are written in GBK. A file is read as UTF-8 when its bytes
// are valid UTF-8, otherwise as GBK. A file that already is UTF-8 (with
// non-ASCII text) stays UTF-8, and a value GBK cannot hold turns the whole
// file into UTF-8, so no character is ever replaced by "?".
#pragma once

#include <QString>

namespace kestova {

// Reads one key; a missing file, section or key gives "" with ok true.
// ok is false only when the file exists but cannot be read. The value is
// returned whole, however long.
QString ReadProfileString(const QString &file, const QString &section, const QString &key, bool *ok = nullptr);

// Writes key=value into the section, creating file, section or key as needed.
// The file is replaced atomically; false when it could not be written.
bool WriteProfileString(const QString &file, const QString &section, const QString &key, const QString &value);

// The same on Config.ini in the program folder.
QString ReadIniValue(const QString &section, const QString &key, bool *ok);
bool WriteIniValue(const QString &section, const QString &key, const QString &value);

} // namespace kestova
