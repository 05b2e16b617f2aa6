// The order book's commands of kestova-count: prices, price set, orders and
// daily. Output is UTF-8, tab-separated, one record a line.
#pragma once

#include <QStringList>

namespace kestova {

class Dialogs;

extern const char OrderBookUsage[];

// True when command is one of the order book's; status is then its exit
// status (0 done, 2 bad arguments or no store, 3 the store refused).
bool RunOrderBookCommand(const QString &command, const QStringList &args, Dialogs &dialogs, int *status);

} // namespace kestova
