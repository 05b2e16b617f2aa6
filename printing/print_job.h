// The print job: the current totals of the photo store as order pages on
// rptPrintA4, ten size rows a page with the total row last.
#pragma once

#include "print_info.h"
#include "report_model.h"

namespace kestova {

class Dialogs;
class PhotoStore;
class PrintTarget;
struct Settings;

struct PrintJobResult {
    int pages = 0;               // pages handed to the target
    bool printerFailed = false;  // "打印机失败..." was shown
    bool readFailed = false;     // the totals could not be read
};

// Fills the layout held by `layout` and prints it page by page onto the
// target, then ends the target's document. The column captions name the
// units of `settings`, those the totals were counted in. Failures are told
// through `dialogs`. `kind` is what the layout's progress notices report.
PrintJobResult RunPrintJob(PhotoStore &store, const PrintInfo &info, const Settings &settings, ReportSlot &layout,
                           PrintTarget &target, Dialogs &dialogs, AsyncJob kind = AsyncJob::Print);

} // namespace kestova
