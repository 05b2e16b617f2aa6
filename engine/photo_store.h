// PhotoStore: the one connection to Data.mdb and the statements sent to it.
//
// Opening never creates, changes or deletes the file: a missing file, a file
// that is not an SQLite database, or a database without the four tables is an
// open failure. Create() lays out a fresh store; it is what set-up uses.
//
// Writes are durable when the call returns (a note number survives a power
// cut), except inside a batch: BeginBatch()/EndBatch() group the scan's
// inserts into transactions committed at least every quarter second, so a
// scan does not wait for the disk once per file.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

namespace kestova {

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

class PhotoStore
{
public:
    ~PhotoStore();
    PhotoStore(const PhotoStore &) = delete;
    PhotoStore &operator=(const PhotoStore &) = delete;

    // Opens an existing store; null with *error set when it cannot be used.
    static std::unique_ptr<PhotoStore> Open(const QString &path, QString *error = nullptr);

    // Creates a fresh store with the schema and the starter service list.
    // Refuses (false) when the file already exists.
    static bool Create(const QString &path, QString *error = nullptr);

    QSqlDatabase database() const;
    QString lastError() const { return m_lastError; }

    // Statements 1 to 5: the scan's writes. Each returns false when the store
    // rejected it (the scan goes on regardless).
    bool DeletePhotoDetail();
    bool InsertPhotoDetail(const DetailRow &row);
    bool DeletePhotoTotal();
    bool InsertSizeTotals(qint32 radixPoint);
    bool InsertGrandTotal(qint32 radixPoint);

    // Statement 8 (export): PhotoTotal in insertion order.
    QList<TotalRow> ReadTotals(bool *ok = nullptr);
    // Statement 9 (print): the same rows, read by column name.
    QList<TotalRow> ReadTotalsForPrint(bool *ok = nullptr);
    // Statement 10: the one-row data source of a printed page.
    QList<QSqlRecord> ReadPageSource(bool *ok = nullptr);

    // Statements 11 and 12: a new note number dated today, durably stored.
    std::optional<qint64> IssueNoteNumber();

    // Statement 13.
    QStringList ServiceNames(bool *ok = nullptr);

    void BeginBatch();
    void EndBatch();

private:
    explicit PhotoStore(const QString &connectionName);
    bool Exec(const QString &text);
    void CommitIfDue();

    QString m_connectionName;
    QString m_lastError;
    struct Batch;
    std::unique_ptr<Batch> m_batch;
};

} // namespace kestova
