// The program's clock: the moment counts, note numbers and orders are dated
// with, in local time. KESTOVA_CLOCK (an ISO 8601 moment such as
// 2026-03-14T20:00:00Z, read once) starts it at that moment, from which it
// runs on; the tests set it, so that no result depends on the day or hour
// they run.
#pragma once

#include <QDate>
#include <QDateTime>

namespace kestova {

QDateTime Now();
QDate Today();

} // namespace kestova
