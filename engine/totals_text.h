// The text form of PhotoTotal's rows: size, count and area separated by one
// blank, an empty value written as nothing ("合计" followed by two blanks).
// Shared by the export file and the command-line tool's output.
#pragma once

#include "photo_store.h"

#include <QList>
#include <QString>

namespace kestova {

QString TotalsLine(const TotalRow &row);

// The lines joined by CR LF, without a line end after the last one.
QString TotalsText(const QList<TotalRow> &rows);

// One field of a tab-separated output line: backslash, tab, line feed and
// carriage return written as \\, \t, \n and \r, so that every line is one
// record and every tab separates two fields, whatever a name holds.
QString TsvField(const QString &text);

// The fields escaped and joined by tabs.
QString TsvLine(const QStringList &fields);

} // namespace kestova
