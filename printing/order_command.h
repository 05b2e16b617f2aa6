// `kestova-count order`: the current totals as order pages in a PDF file or
// on a print queue, under a note number issued from the store as the print
// dialog issues it.
#pragma once

#include <QStringList>

namespace kestova {

class Dialogs;

// Lines for the tool's usage text.
extern const char OrderUsage[];

// Runs the sub-command on its arguments (those after "order"); messages go
// through `dialogs`, the note number to stdout. Exit status: 0 pages written
// or accepted by the print queue, 1 nothing to print, 2 bad arguments or no
// store, 3 the file could not be written or the print queue refused the job.
int RunOrderCommand(const QStringList &args, Dialogs &dialogs);

// `kestova-count reprint N`: the recorded order N printed again as it was,
// marked 补打. Exit status: 0 printed, 1 no such order, 2 bad arguments or no
// store, 3 the file could not be written or the print queue refused the job.
int RunReprintCommand(const QStringList &args, Dialogs &dialogs);

// `kestova-count daily --pdf FILE | --print`: the daily summary on A4.
int RunDailyPrintCommand(const QStringList &args, Dialogs &dialogs);

} // namespace kestova
