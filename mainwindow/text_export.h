// The text export of the totals: SelectTotalExport's rows written as a GBK text
// file, one "size count area" line per row, each ending with CR LF.
#pragma once

#include "photo_store.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace kestova {

class Dialogs;

// The file's bytes: the lines in GBK, CR LF after every line. Empty when the
// text cannot be written in GBK (it always can: sizes are digits and "*").
QByteArray ExportFileBytes(const QList<TotalRow> &rows);

// Replaces the file at path by bytes in one step: a failed write leaves an
// existing file as it was. False, with the reason, on failure.
bool WriteExportFile(const QString &path, const QByteArray &bytes, QString *reason);

// The export command. Reads PhotoTotal; with no rows it stops silently.
// Otherwise it asks for the file, proposing the counted folder's name
// ("张三.txt") in the folder of the last export (the documents folder at
// first, never the customer's folder, where the file would be counted next
// time), remembers the choice in lastExportFile, writes the file and says
// "保存完毕!". A failed read or write is reported, never fatal.
void ExportTotals(PhotoStore &store, Dialogs &dialogs, const QString &countedFolderName, QString &lastExportFile);

} // namespace kestova
