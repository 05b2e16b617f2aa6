// PhotoStore: the one connection to Data.mdb and the statements sent to it.
//
// Opening never creates, changes or deletes the file: a missing file, a file
// that is not an SQLite database, a database without the four tables, one
// with damaged pages in them (or anywhere, after an unclean end), or one that
// cannot be written (a read-only file or folder) is an open failure. Create() lays out a fresh store; it is what
// set-up uses.
//
// Writes are durable when the call returns (a note number survives a power
// cut), except inside a batch: BeginBatch()/EndBatch() group the scan's
// inserts into transactions committed at least every quarter second, so a
// scan does not wait for the disk once per file.
//
// Every write reports its failure; WriteFailureCause() then names the cause in
// the operator's words. A count holds the store's count lock (a lock file
// beside the store) from start to end, so two counts, in one program or in
// two, never write PhotoDetail at the same time.
//
// A statement waits 5 s for another program holding the file, then fails as
// busy. The environment variable KESTOVA_BUSY_TIMEOUT_MS, read on each open,
// sets another wait in milliseconds; the tests of a held store use it so as
// not to sit out the 5 s.
#pragma once

#include "numbers.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

class QSqlQuery;

namespace kestova {

class CountLock;
class Dialogs;
class StoreConnection;

// The message shown when the store cannot be opened: the first line as ever,
// then the store's path and the cause ("只读", "磁盘已满", "已损坏", "不是文件",
// "不存在" …).
QString OpenFailureMessage(const QString &path, const QString &cause);

struct DetailRow {
    QString PhotoPath;          // as on disk
    double PhotoWidth = 0;
    double PhotoHeight = 0;
    QString WidthAndHeight;
    float HorizontalResolution = 0;
    float VerticalResolution = 0;
    double PhotoArea = 0;
    bool IsSucceed = false;
};

// A row of PhotoTotal; amount and area are null in the total row of a scan
// without a successful file.
struct TotalRow {
    QString PhotoSize;
    QVariant PhotoAmount;
    QVariant PhotoArea;
};

// What the totals in PhotoTotal are: the folder counted, when, in which
// units and decimals, and whether the count
// completed. A count that was stopped, failed or found no file leaves
// complete false: PhotoTotal then holds an earlier folder's totals.
struct CountRecord {
    QString folder;
    QDateTime countedAt;
    LengthUnit sizeUnit = LengthUnit::Centimetre;
    AreaUnit areaUnit = AreaUnit::SquareMetre;
    qint32 radixPoint = 2;
    qint32 unitRadixPoint = 4;
    bool complete = false;
};

// The rows of a grid's statement, handed out a block at a time as the grid
// scrolls, so that 40,000 detail rows cost no more to show than 255. It
// holds the statement open on the store's connection: release it before the
// store closes.
class RowCursor
{
public:
    ~RowCursor();
    RowCursor(const RowCursor &) = delete;
    RowCursor &operator=(const RowCursor &) = delete;

    int ColumnCount() const { return m_columns; }
    // The next rows, at most `count`; fewer, or none, at the end.
    QList<QVariantList> Next(int count);
    bool AtEnd() const { return m_atEnd; }

private:
    friend class PhotoStore;
    RowCursor() = default;

    std::unique_ptr<QSqlQuery> m_query;
    int m_columns = 0;
    bool m_atEnd = false;
};

// The service list a new store starts with (and a new shared order book).
QStringList StarterServiceNames();

class PhotoStore
{
public:
    ~PhotoStore();
    PhotoStore(const PhotoStore &) = delete;
    PhotoStore &operator=(const PhotoStore &) = delete;

    // Opens an existing store; null with *error set to the cause when it
    // cannot be used. The tables a count writes are checked for damage on
    // every open; the whole file after an unclean end of the last program
    // that used it.
    static std::unique_ptr<PhotoStore> Open(const QString &path, QString *error = nullptr);
    // Open, and when it fails OpenFailureMessage through the dialogs.
    static std::unique_ptr<PhotoStore> OpenOrTell(const QString &path, Dialogs &dialogs);
    // The whole file checked for damaged pages: empty when it is sound, else
    // what was found (or why it could not be opened, with *opened false).
    static QStringList CheckWhole(const QString &path, bool *opened);

    // Creates a fresh store with the schema and the starter service list.
    // Refuses (false) when the file already exists.
    static bool Create(const QString &path, QString *error = nullptr);

    QString lastError() const { return m_lastError; }
    // The last failed write's cause, such as "磁盘已满".
    QString WriteFailureCause() const;

    // The count lock: Locked, or Busy when another count holds it (here or
    // in another program), or Failed when the lock file cannot be made.
    enum class CountLockState { Locked, Busy, Failed };
    std::unique_ptr<CountLock> LockForCount(CountLockState *state);

    // The scan's writes. Each returns false when the store
    // rejected it, or when the batch commit it triggered failed.
    bool DeletePhotoDetail();
    bool InsertPhotoDetail(const DetailRow &row);
    bool DeletePhotoTotal();
    bool InsertSizeTotals(qint32 radixPoint);
    bool InsertGrandTotal(qint32 radixPoint);

    // The count's record: written when a count starts (durably, not
    // complete), marked complete with the totals in the count's last
    // transaction. ReadCount gives none (and *ok true) before a first count.
    bool BeginCount(const CountRecord &record);
    bool CompleteCount();
    std::optional<CountRecord> ReadCount(bool *ok = nullptr);

    // SelectDetailGrid: the detail grid, by resolution, ties in scan order.
    // SelectTotalGrid: the totals grid, in insertion order. Null with *error
    // the store's message when the statement was rejected.
    std::unique_ptr<RowCursor> ReadDetailGrid(QString *error = nullptr);
    std::unique_ptr<RowCursor> ReadTotalGrid(QString *error = nullptr);

    // SelectTotalExport: PhotoTotal in insertion order, for export and print.
    QList<TotalRow> ReadTotals(bool *ok = nullptr);

    // IssueNoteNumber and SelectIssuedNoteNumber: a new note number dated
    // today, durably stored.
    std::optional<qint64> IssueNoteNumber();
    // Gives back `number` when it is still the last one issued; false
    // otherwise (it then stays a number without an order).
    bool ReturnNoteNumber(qint64 number);

    // SelectServiceNames: the services in their list order.
    QStringList ServiceNames(bool *ok = nullptr);

    // A batch ends with EndBatch(), which commits (false when the commit
    // failed), or with AbortBatch(), which drops what it had not committed.
    bool BeginBatch();
    bool EndBatch();
    void AbortBatch();

private:
    // The order book kept in the store's file writes through this same
    // connection (orderbook/store_connection.h), so that its writes and a
    // count's never wait for each other; nothing else reaches it.
    friend class StoreConnection;
    QSqlDatabase database() const;

    PhotoStore(const QString &connectionName, const QString &path);
    std::unique_ptr<RowCursor> ReadGrid(const QString &statement, QString *error);
    bool Exec(const QString &text);
    bool Exec(const char *text);
    bool CommitIfDue();
    void NoteFailure(int code, const QString &message);

    QString m_connectionName;
    QString m_path;
    QString m_lastError;
    int m_lastCode = 0; // SQLite's result code of the last failure
    // A failure outside SQLite, told whole by m_lastError.
    static constexpr int OwnFailure = -1;
    struct Batch;
    std::unique_ptr<Batch> m_batch;
};

} // namespace kestova
