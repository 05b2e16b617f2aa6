// Every statement the program sends to the photo store, numbered 1 to 13.
// Other modules never write SQL of their own; they call PhotoStore, which
// takes its texts from here.
//
// The texts keep the Jet dialect where SQLite accepts it. ROUND, CSTR and
// DATE() are replaced on the connection by functions with Jet's meaning
// (see photo_store.cpp). Two texts differ from their Jet form:
//  - statement 2 binds its eight values instead of splicing them into the
//    text, so no path can change what the statement does;
//  - statement 12 reads the identity just issued with last_insert_rowid().
#pragma once

#include <QString>

namespace kestova::Statement {

inline const QString S1_DeletePhotoDetail = QStringLiteral("DELETE FROM PhotoDetail");

inline const QString S2_InsertPhotoDetail = QStringLiteral(
    "INSERT INTO PhotoDetail(PhotoPath,PhotoWidth,PhotoHeight,WidthAndHeight,"
    "HorizontalResolution,VerticalResolution,PhotoArea,IsSucceed)"
    " VALUES(?,?,?,?,?,?,?,?)");

inline const QString S3_DeletePhotoTotal = QStringLiteral("DELETE FROM PhotoTotal");

inline QString S4_InsertSizeTotals(qint32 radixPoint)
{
    return QStringLiteral("INSERT INTO PhotoTotal(PhotoSize,PhotoAmount,PhotoArea) "
                          "SELECT WidthAndHeight,COUNT(*),ROUND(SUM(PhotoArea),")
        + QString::number(radixPoint)
        + QStringLiteral(") FROM PhotoDetail WHERE IsSucceed=TRUE GROUP BY WidthAndHeight");
}

inline QString S5_InsertGrandTotal(qint32 radixPoint)
{
    return QStringLiteral("INSERT INTO PhotoTotal(PhotoSize,PhotoAmount,PhotoArea) "
                          "SELECT '合计',SUM(PhotoAmount),ROUND(SUM(PhotoArea),")
        + QString::number(radixPoint) + QStringLiteral(") FROM PhotoTotal");
}

// Ties in resolution keep the order in which the files were scanned.
inline const QString S6_SelectDetailGrid = QStringLiteral(
    "SELECT PhotoPath,WidthAndHeight,HorizontalResolution,VerticalResolution,CSTR(PhotoArea),"
    "IIF(IsSucceed=True, '成功','失败') FROM PhotoDetail "
    "ORDER BY HorizontalResolution,VerticalResolution,rowid");

// PhotoTotal is read in insertion order (size rows by key, "合计" last).
inline const QString S7_SelectTotalGrid =
    QStringLiteral("SELECT PhotoSize,PhotoAmount,CSTR(PhotoArea) FROM PhotoTotal ORDER BY rowid");
inline const QString S8_SelectTotalExport =
    QStringLiteral("SELECT PhotoSize,PhotoAmount,PhotoArea FROM PhotoTotal ORDER BY rowid");
inline const QString S9_SelectTotalPrint = QStringLiteral("select * from PhotoTotal order by rowid");
inline const QString S10_SelectOne = QStringLiteral("select 1");

inline const QString S11_InsertNoteNumber = QStringLiteral("INSERT INTO NoteNumber (PrintDate)VALUES(DATE())");
inline const QString S12_SelectIdentity = QStringLiteral("SELECT last_insert_rowid()");
inline const QString S13_SelectServiceNames =
    QStringLiteral("SELECT ServiceName FROM ServiceName ORDER BY ServiceNameID");

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
