// Moving a shop onto the server: the local order book (services, prices,
// orders and the note-number position) copied onto a server's order book
// that has neither orders nor issued note numbers, in one transaction.
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kestova {

struct CopyCounts {
    qint64 services = 0;
    qint64 prices = 0;   // a price per m² or per size, each one
    qint64 orders = 0;
    qint64 lastNoteNumber = 0; // the server's next number follows it
};

// `local` is the photo store's connection, `server` one to the shared
// order book; both are brought up to the current layout first. False with
// *error the reason when the server already holds orders or issued numbers,
// or when anything fails (the server then keeps what it had).
bool CopyOrderBook(const QSqlDatabase &local, const QSqlDatabase &server, CopyCounts *counts, QString *error);

} // namespace kestova
