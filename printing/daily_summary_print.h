// The daily summary (日结) on A4: a title with the date range, one line per
// day with its orders, photos, area and amount, and the total line, as many
// pages as the days need.
#pragma once

#include "order_book.h"

#include <QDate>

namespace kestova {

class Dialogs;
class PrintTarget;

// False, after "打印机失败..." through dialogs, when the target refused a
// page or the document.
bool PrintDailySummary(const QList<DaySummary> &days, const QDate &from, const QDate &to, PrintTarget &target,
                       Dialogs &dialogs);

} // namespace kestova
