// The store's health on opening: the cause of an open failure in the
// operator's words, the sign of an unclean end of the last program that used
// the store, and SQLite's check for damaged pages.
#pragma once

#include <QString>

struct sqlite3;

namespace kestova {

// The cause of an open failure from SQLite's result code ("磁盘已满",
// "只读…", "已损坏"), or detail when there is no better word.
QString OpenFailureCause(int code, const QString &detail);

// The store's log is still beside it (a WAL file with contents, or a hot
// rollback journal) and no program holds the store open: the last program
// that used it was killed or lost its power.
bool MayHaveEndedUncleanly(const QString &path);

// PRAGMA quick_check of the whole store, or of one table: "ok", or what it
// found, one finding a line.
QString QuickCheck(sqlite3 *handle, const char *table);

} // namespace kestova
