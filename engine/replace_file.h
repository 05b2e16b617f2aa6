// Replacing a file whole: every file the program writes (settings, exports,
// PDFs) is written under a temporary name beside it and renamed over it only
// when complete, so a failed or interrupted write leaves the old file as it
// was and no part of the new one under the file's name.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestova {

// Why a file operation failed, for the operator ("权限不足", "磁盘已满"),
// from the system's error number.
QString FileErrorCause(int error);

// Replaces target (following no link) with bytes, or leaves it untouched and
// sets *cause. On Linux the new contents are written to an unnamed file of
// the target's folder, so a process killed while writing leaves nothing
// behind; the name appears only for the rename.
bool ReplaceFile(const QString &target, const QByteArray &bytes, QString *cause);

} // namespace kestova
