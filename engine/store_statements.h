// Every statement the program sends to the photo store.
// Other modules never write SQL for the photo store's tables; they call
// PhotoStore, which takes its texts from here. The order book's statements
// are its own: orderbook/order_book_statements.h.
//
// ROUND, CSTR and DATE() are the program's own functions, registered on the
// connection (see photo_store.cpp): rounding on the decimal text, the
// program's number text and today's date. InsertDetail binds its eight
// values, so no path can change what the statement does;
// SelectIssuedNoteNumber reads the identity just issued with
// last_insert_rowid().
#pragma once

#include <QString>

namespace kestova::Statement {

inline const QString DeleteAllDetails = QStringLiteral("DELETE FROM PhotoDetail");

inline const QString InsertDetail = QStringLiteral(
    "INSERT INTO PhotoDetail(PhotoPath,PhotoWidth,PhotoHeight,WidthAndHeight,"
    "HorizontalResolution,VerticalResolution,PhotoArea,IsSucceed)"
    " VALUES(?,?,?,?,?,?,?,?)");

inline const QString DeleteAllTotals = QStringLiteral("DELETE FROM PhotoTotal");

inline QString InsertSizeTotals(qint32 radixPoint)
{
    return QStringLiteral("INSERT INTO PhotoTotal(PhotoSize,PhotoAmount,PhotoArea) "
                          "SELECT WidthAndHeight,COUNT(*),ROUND(SUM(PhotoArea),")
        + QString::number(radixPoint)
        + QStringLiteral(") FROM PhotoDetail WHERE IsSucceed=TRUE GROUP BY WidthAndHeight");
}

inline QString InsertGrandTotal(qint32 radixPoint)
{
    return QStringLiteral("INSERT INTO PhotoTotal(PhotoSize,PhotoAmount,PhotoArea) "
                          "SELECT '合计',SUM(PhotoAmount),ROUND(SUM(PhotoArea),")
        + QString::number(radixPoint) + QStringLiteral(") FROM PhotoTotal");
}

// Ties in resolution keep the order in which the files were scanned.
inline const QString SelectDetailGrid = QStringLiteral(
    "SELECT PhotoPath,WidthAndHeight,HorizontalResolution,VerticalResolution,CSTR(PhotoArea),"
    "IIF(IsSucceed=True, '成功','失败') FROM PhotoDetail "
    "ORDER BY HorizontalResolution,VerticalResolution,rowid");

// PhotoTotal is read in insertion order (size rows by key, "合计" last).
// The grid adds, after the totals, how many entries could not be read: the
// failed rows whose reason begins "无法读取" (read_failure's text); none when
// every entry was read or when there are no totals.
inline const QString SelectTotalGrid = QStringLiteral(
    "SELECT PhotoSize,PhotoAmount,Area FROM ("
    "SELECT PhotoSize,PhotoAmount,CSTR(PhotoArea) AS Area,rowid AS Place FROM PhotoTotal"
    " UNION ALL SELECT '无法读取',COUNT(*),'',9223372036854775807 FROM PhotoDetail"
    " WHERE IsSucceed=FALSE AND WidthAndHeight LIKE '无法读取%' AND EXISTS(SELECT 1 FROM PhotoTotal)"
    " HAVING COUNT(*)>0"
    ") ORDER BY Place");
inline const QString SelectTotalExport =
    QStringLiteral("SELECT PhotoSize,PhotoAmount,PhotoArea FROM PhotoTotal ORDER BY rowid");

inline const QString IssueNoteNumber = QStringLiteral("INSERT INTO NoteNumber (PrintDate)VALUES(DATE())");
inline const QString SelectIssuedNoteNumber = QStringLiteral("SELECT last_insert_rowid()");
inline const QString SelectServiceNames =
    QStringLiteral("SELECT ServiceName FROM ServiceName ORDER BY ServiceNameID");

// What PhotoTotal holds: the folder last counted, when, in which units, and
// whether that count completed. One row; a store of an earlier release gains
// the table with its first count.
inline const QString CreateCountState = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS CountState(Folder TEXT, CountedAt TEXT, SizeUnit TEXT, AreaUnit TEXT,"
    " RadixPoint INTEGER, UnitRadixPoint INTEGER, Complete INTEGER NOT NULL)");
inline const QString DeleteCountState = QStringLiteral("DELETE FROM CountState");
inline const QString InsertCountState = QStringLiteral(
    "INSERT INTO CountState(Folder,CountedAt,SizeUnit,AreaUnit,RadixPoint,UnitRadixPoint,Complete)"
    " VALUES(?,?,?,?,?,?,0)");
inline const QString CompleteCountState = QStringLiteral("UPDATE CountState SET Complete = 1");
inline const QString SelectCountState = QStringLiteral(
    "SELECT Folder,CountedAt,SizeUnit,AreaUnit,RadixPoint,UnitRadixPoint,Complete FROM CountState");
inline const QString CountStateExists =
    QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name='CountState'");

// A note number issued for an order that was never recorded goes back when
// no later number was issued since, so the sequence has no gap.
inline const QString DeleteLastNoteNumber = QStringLiteral(
    "DELETE FROM NoteNumber WHERE NoteNumberID = ?"
    " AND NoteNumberID = (SELECT seq FROM sqlite_sequence WHERE name = 'NoteNumber')");
inline const QString LowerNoteSequence =
    QStringLiteral("UPDATE sqlite_sequence SET seq = seq - 1 WHERE name = 'NoteNumber' AND seq = ?");

// The schema of a fresh Data.mdb. NoteNumber's identity never repeats, even
// after rows are deleted (AUTOINCREMENT keeps the highest number issued).
inline const char *const Schema[] = {
    "CREATE TABLE PhotoDetail(PhotoPath TEXT, PhotoWidth REAL, PhotoHeight REAL, WidthAndHeight TEXT,"
    " HorizontalResolution REAL, VerticalResolution REAL, PhotoArea REAL, IsSucceed BOOLEAN)",
    "CREATE TABLE PhotoTotal(PhotoSize TEXT, PhotoAmount INTEGER, PhotoArea REAL)",
    "CREATE TABLE NoteNumber(NoteNumberID INTEGER PRIMARY KEY AUTOINCREMENT, PrintDate DATE)",
    "CREATE TABLE ServiceName(ServiceNameID INTEGER, ServiceName TEXT)",
};

inline const QString InsertServiceName =
    QStringLiteral("INSERT INTO ServiceName(ServiceNameID,ServiceName) VALUES(?,?)");
inline const QString SelectTableNames = QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'");

} // namespace kestova::Statement
