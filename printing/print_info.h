// PrintInfo: the answers of the print information dialog, kept for the run.
// The main window fills MemberName from the counted folder when the setting
// PathAsMemberName is on.
#pragma once

#include <QString>

namespace kestova {

struct PrintInfo {
    QString MemberName;
    QString Remark;
    QString ServiceName;
    QString Append;
    QString NoteNumber;
};

} // namespace kestova
