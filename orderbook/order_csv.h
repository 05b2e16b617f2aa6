// The order list and the daily summary as CSV files for a spreadsheet:
// UTF-8 with a byte-order mark (so Excel reads the Chinese), CR LF after
// every line, a header line, fields quoted where they hold a comma, a quote
// or a line break.
#pragma once

#include "order_book.h"

#include <QByteArray>

namespace kestova {

QByteArray OrdersCsv(const QList<OrderListEntry> &orders);
QByteArray DailyCsv(const QList<DaySummary> &days);

} // namespace kestova
