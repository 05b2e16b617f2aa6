// PhotoStore.
#include "photo_store.h"

#include "clock.h"
#include "count_lock.h"
#include "dialogs.h"
#include "numbers.h"
#include "store_health.h"
#include "store_statements.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace kestova {

namespace {

std::atomic<int> g_connectionCounter{0};

// The program's own SQL functions, registered on the connection: rounding
// on the decimal text, number text and today's date as the program writes
// them, so that the statements give the figures the program shows.

// ROUND(x[, n]): ties to even on the 15-digit decimal text; null stays null.
void SqlRound(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || (argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_NULL)) {
        sqlite3_result_null(ctx);
        return;
    }
    const int decimals = argc > 1 ? sqlite3_value_int(argv[1]) : 0;
    sqlite3_result_double(ctx, RoundHalfEven(sqlite3_value_double(argv[0]), decimals));
}

// CSTR(x): the number as text in the program's number form.
void SqlCstr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(ctx);
        return;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const QByteArray text = NumberText(sqlite3_value_double(argv[0])).toUtf8();
        sqlite3_result_text(ctx, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return;
    }
    default:
        sqlite3_result_value(ctx, argv[0]);
    }
}

// DATE(): today's local date (SQLite's own date() is UTC).
void SqlDate(sqlite3_context *ctx, int, sqlite3_value **)
{
    const QByteArray text = Today().toString(Qt::ISODate).toLatin1();
    sqlite3_result_text(ctx, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

sqlite3 *Handle(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || std::strcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(v.data());
}

bool RegisterFunctions(const QSqlDatabase &db)
{
    sqlite3 *handle = Handle(db);
    if (!handle)
        return false;
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function_v2(handle, "ROUND", 1, flags, nullptr, SqlRound, nullptr, nullptr, nullptr) == SQLITE_OK
        && sqlite3_create_function_v2(handle, "ROUND", 2, flags, nullptr, SqlRound, nullptr, nullptr, nullptr) == SQLITE_OK
        && sqlite3_create_function_v2(handle, "CSTR", 1, flags, nullptr, SqlCstr, nullptr, nullptr, nullptr) == SQLITE_OK
        && sqlite3_create_function_v2(handle, "DATE", 0, SQLITE_UTF8, nullptr, SqlDate, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A store waits this long for another program holding the file, then fails
// (see photo_store.h for KESTOVA_BUSY_TIMEOUT_MS).
int BusyTimeoutMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KESTOVA_BUSY_TIMEOUT_MS", &ok);
    return ok && ms >= 0 ? ms : 5000;
}
constexpr int BatchCommitMs = 250;

QSqlDatabase OpenConnection(const QString &name, const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs()));
    db.open();
    return db;
}

void CloseConnection(const QString &name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

struct PhotoStore::Batch {
    QElapsedTimer sinceCommit;
    bool open = false;
    // InsertDetail runs once per scanned file: it is prepared once and bound
    // through SQLite directly, without QtSql's per-value bookkeeping.
    sqlite3_stmt *insert = nullptr;
    sqlite3 *handle = nullptr;

    ~Batch() { sqlite3_finalize(insert); }
};

PhotoStore::PhotoStore(const QString &connectionName, const QString &path)
    : m_connectionName(connectionName)
    , m_path(path)
    , m_batch(std::make_unique<Batch>())
{
}

PhotoStore::~PhotoStore()
{
    EndBatch();
    m_batch.reset();
    CloseConnection(m_connectionName);
}

QString OpenFailureMessage(const QString &path, const QString &cause)
{
    return QStringLiteral("数据库连接失败，请检查数据库是否存在！\n数据库 %1：%2")
        .arg(QDir::toNativeSeparators(path), cause);
}

std::unique_ptr<PhotoStore> PhotoStore::OpenOrTell(const QString &path, Dialogs &dialogs)
{
    QString cause;
    std::unique_ptr<PhotoStore> store = Open(path, &cause);
    if (!store) {
        dialogs.ShowMessage(OpenFailureMessage(path, cause), QStringLiteral("提示"), MessageIcon::Information,
                            MessageButtons::Ok);
    }
    return store;
}

std::unique_ptr<PhotoStore> PhotoStore::Open(const QString &path, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::unique_ptr<PhotoStore>();
    };

    // SQLite would create a missing file; the store must exist already.
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return fail(QStringLiteral("不存在"));
    if (!info.exists())
        return fail(QStringLiteral("不存在（链接指向的文件不存在）"));
    if (!info.isFile())
        return fail(info.isDir() ? QStringLiteral("不是文件（是文件夹）") : QStringLiteral("不是文件"));
    if (!info.isReadable())
        return fail(QStringLiteral("无法读取（权限不足）"));

    const QString name = QStringLiteral("PhotoStore-%1").arg(++g_connectionCounter);
    std::unique_ptr<PhotoStore> store(new PhotoStore(name, path));
    const bool unclean = MayHaveEndedUncleanly(path);
    QSqlDatabase db = OpenConnection(name, path);
    if (!db.isOpen())
        return fail(QStringLiteral("无法打开（%1）").arg(db.lastError().text()));
    // SQLite quietly opens a file it may not write read-only.
    sqlite3 *handle = Handle(db);
    if (!handle)
        return fail(QStringLiteral("无法使用数据库驱动"));
    if (sqlite3_db_readonly(handle, "main") == 1)
        return fail(QStringLiteral("只读（文件或所在文件夹不可写入）"));

    // Reading the schema is the first access to the file: a file that is not
    // a database fails here, before anything could be written to it.
    QSqlQuery tables(db);
    if (!tables.exec(Statement::SelectTableNames)) {
        const int code = sqlite3_errcode(handle);
        return fail(OpenFailureCause(code, tables.lastError().text()));
    }
    QStringList names;
    while (tables.next())
        names << tables.value(0).toString().toLower();
    for (const char *table : {"photodetail", "photototal", "notenumber", "servicename"}) {
        if (!names.contains(QLatin1String(table)))
            return fail(QStringLiteral("已损坏（缺少表 %1）").arg(QLatin1String(table)));
    }
    tables.finish();

    // Damaged pages would only show when a write goes over them. The tables
    // a count writes are checked on every open, which costs the same however
    // many orders the order book holds; the whole file only when the last
    // program using it may not have ended cleanly (and on `kestova-count
    // check`).
    if (unclean) {
        if (QuickCheck(handle, nullptr) != QLatin1String("ok"))
            return fail(QStringLiteral("已损坏"));
    } else {
        for (const char *table : {"PhotoDetail", "PhotoTotal", "NoteNumber", "ServiceName"}) {
            if (QuickCheck(handle, table) != QLatin1String("ok"))
                return fail(QStringLiteral("已损坏"));
        }
    }

    // A write that is rolled back at once tells whether the file and the
    // journal beside it can be written (a read-only folder only shows here),
    // and changes nothing. A store another program is writing is writable.
    sqlite3_busy_timeout(handle, 0);
    int rc = sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(handle, "CREATE TABLE KestovaWriteProbe(x)", nullptr, nullptr, nullptr);
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_busy_timeout(handle, BusyTimeoutMs());
    if (rc != SQLITE_OK && (rc & 0xff) != SQLITE_BUSY)
        return fail(OpenFailureCause(rc, QString::fromUtf8(sqlite3_errstr(rc))));

    if (!RegisterFunctions(db))
        return fail(QStringLiteral("无法注册数据库函数"));
    // Readers and the writer of two program copies do not block each other.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=FULL"));
    return store;
}

QStringList PhotoStore::CheckWhole(const QString &path, bool *opened)
{
    *opened = false;
    QString cause;
    std::unique_ptr<PhotoStore> store = Open(path, &cause);
    if (!store)
        return {cause};
    *opened = true;
    sqlite3 *handle = Handle(store->database());
    const QString found = handle ? QuickCheck(handle, nullptr) : QStringLiteral("无法使用数据库驱动");
    // integrity_check would also compare indexes with their tables; the
    // quick check finds damaged pages, which is what loses data.
    if (found == QLatin1String("ok"))
        return {};
    return found.split(u'\n');
}

QStringList StarterServiceNames()
{
    return {QStringLiteral("数码冲印（光面）"), QStringLiteral("数码冲印（绒面）"), QStringLiteral("证件照"),
            QStringLiteral("写真海报")};
}

bool PhotoStore::Create(const QString &path, QString *error)
{
    if (QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("文件已存在：%1").arg(path);
        return false;
    }
    const QString name = QStringLiteral("PhotoStore-create-%1").arg(++g_connectionCounter);
    bool ok = true;
    {
        QSqlDatabase db = OpenConnection(name, path);
        ok = db.isOpen();
        QSqlQuery q(db);
        ok = ok && db.transaction();
        for (const char *table : Statement::Schema)
            ok = ok && q.exec(QString::fromLatin1(table));
        const QStringList starters = StarterServiceNames();
        for (int i = 0; ok && i < starters.size(); ++i) {
            ok = q.prepare(Statement::InsertServiceName);
            q.addBindValue(i + 1);
            q.addBindValue(starters[i]);
            ok = ok && q.exec();
        }
        ok = ok && db.commit();
        if (!ok && error)
            *error = q.lastError().text().isEmpty() ? db.lastError().text() : q.lastError().text();
    }
    CloseConnection(name);
    if (!ok)
        QFile::remove(path);
    return ok;
}

QSqlDatabase PhotoStore::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool PhotoStore::Exec(const QString &text)
{
    return Exec(text.toUtf8().constData());
}

// The scan's writes go to SQLite directly, so that a failure keeps SQLite's
// own result code for WriteFailureCause().
bool PhotoStore::Exec(const char *text)
{
    sqlite3 *handle = Handle(database());
    if (!handle) {
        NoteFailure(SQLITE_MISUSE, QStringLiteral("数据库未打开"));
        return false;
    }
    const int rc = sqlite3_exec(handle, text, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return true;
    NoteFailure(rc, QString::fromUtf8(sqlite3_errmsg(handle)));
    return false;
}

void PhotoStore::NoteFailure(int code, const QString &message)
{
    m_lastCode = code;
    m_lastError = message;
}

QString PhotoStore::WriteFailureCause() const
{
    if (m_lastCode == OwnFailure)
        return m_lastError;
    switch (m_lastCode & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("数据库文件或所在文件夹是只读的");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("数据库文件已损坏");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("数据库正被其他程序使用");
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        return QStringLiteral("磁盘读写错误（%1）").arg(m_lastError);
    default:
        return m_lastError.isEmpty() ? QStringLiteral("未知错误") : m_lastError;
    }
}

std::unique_ptr<CountLock> PhotoStore::LockForCount(CountLockState *state)
{
    CountLock::State taken = CountLock::State::Failed;
    QString failure;
    std::unique_ptr<CountLock> lock = CountLock::Take(m_path + QStringLiteral("-counting"), &taken, &failure);
    switch (taken) {
    case CountLock::State::Locked: *state = CountLockState::Locked; break;
    case CountLock::State::Busy: *state = CountLockState::Busy; break;
    case CountLock::State::Failed:
        *state = CountLockState::Failed;
        NoteFailure(OwnFailure, failure);
        break;
    }
    return lock;
}

bool PhotoStore::DeletePhotoDetail()
{
    return Exec(Statement::DeleteAllDetails);
}

bool PhotoStore::InsertPhotoDetail(const DetailRow &row)
{
    sqlite3_stmt *&insert = m_batch->insert;
    sqlite3 *&handle = m_batch->handle;
    if (!insert) {
        handle = Handle(database());
        if (!handle) {
            NoteFailure(SQLITE_MISUSE, QStringLiteral("数据库未打开"));
            return false;
        }
        const QByteArray text = Statement::InsertDetail.toUtf8();
        const int rc = sqlite3_prepare_v2(handle, text.constData(), static_cast<int>(text.size()), &insert, nullptr);
        if (rc != SQLITE_OK) {
            NoteFailure(rc, QString::fromUtf8(sqlite3_errmsg(handle)));
            return false;
        }
    }
    // Numbers go in as their number text would be read back, so what is
    // stored is exactly what the text form says (7 digits for resolutions).
    const QByteArray path = row.PhotoPath.toUtf8();
    const QByteArray key = row.WidthAndHeight.toUtf8();
    sqlite3_bind_text(insert, 1, path.constData(), static_cast<int>(path.size()), SQLITE_STATIC);
    sqlite3_bind_double(insert, 2, StoredDouble(row.PhotoWidth));
    sqlite3_bind_double(insert, 3, StoredDouble(row.PhotoHeight));
    sqlite3_bind_text(insert, 4, key.constData(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_double(insert, 5, StoredSingle(row.HorizontalResolution));
    sqlite3_bind_double(insert, 6, StoredSingle(row.VerticalResolution));
    sqlite3_bind_double(insert, 7, StoredDouble(row.PhotoArea));
    sqlite3_bind_int(insert, 8, row.IsSucceed ? 1 : 0);
    const int rc = sqlite3_step(insert);
    if (rc != SQLITE_DONE)
        NoteFailure(rc, QString::fromUtf8(sqlite3_errmsg(handle)));
    sqlite3_reset(insert);
    sqlite3_clear_bindings(insert);
    return rc == SQLITE_DONE && CommitIfDue();
}

bool PhotoStore::DeletePhotoTotal()
{
    return Exec(Statement::DeleteAllTotals);
}

bool PhotoStore::InsertSizeTotals(qint32 radixPoint)
{
    return Exec(Statement::InsertSizeTotals(radixPoint));
}

bool PhotoStore::InsertGrandTotal(qint32 radixPoint)
{
    return Exec(Statement::InsertGrandTotal(radixPoint));
}

RowCursor::~RowCursor() = default;

QList<QVariantList> RowCursor::Next(int count)
{
    QList<QVariantList> rows;
    while (!m_atEnd && rows.size() < count) {
        if (!m_query->next()) {
            m_atEnd = true;
            m_query->finish();
            break;
        }
        QVariantList row;
        row.reserve(m_columns);
        for (int c = 0; c < m_columns; ++c)
            row.append(m_query->value(c));
        rows.append(std::move(row));
    }
    return rows;
}

std::unique_ptr<RowCursor> PhotoStore::ReadGrid(const QString &statement, QString *error)
{
    std::unique_ptr<RowCursor> rows(new RowCursor);
    rows->m_query = std::make_unique<QSqlQuery>(database());
    rows->m_query->setForwardOnly(true);
    if (!rows->m_query->exec(statement)) {
        m_lastError = rows->m_query->lastError().text();
        if (error)
            *error = m_lastError;
        return nullptr;
    }
    rows->m_columns = rows->m_query->record().count();
    return rows;
}

std::unique_ptr<RowCursor> PhotoStore::ReadDetailGrid(QString *error)
{
    return ReadGrid(Statement::SelectDetailGrid, error);
}

std::unique_ptr<RowCursor> PhotoStore::ReadTotalGrid(QString *error)
{
    return ReadGrid(Statement::SelectTotalGrid, error);
}

QList<TotalRow> PhotoStore::ReadTotals(bool *ok)
{
    QList<TotalRow> rows;
    QSqlQuery q(database());
    const bool done = q.exec(Statement::SelectTotalExport);
    if (!done)
        m_lastError = q.lastError().text();
    while (done && q.next())
        rows.append(TotalRow{q.value(0).toString(), q.value(1), q.value(2)});
    if (ok)
        *ok = done;
    return rows;
}

std::optional<qint64> PhotoStore::IssueNoteNumber()
{
    EndBatch(); // the number must be on disk before anyone sees it
    QSqlQuery q(database());
    if (!q.exec(Statement::IssueNoteNumber) || !q.exec(Statement::SelectIssuedNoteNumber) || !q.next()) {
        NoteFailure(q.lastError().nativeErrorCode().toInt(), q.lastError().text());
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

bool PhotoStore::ReturnNoteNumber(qint64 number)
{
    EndBatch();
    QSqlDatabase db = database();
    QSqlQuery q(db);
    bool done = db.transaction();
    done = done && q.prepare(Statement::DeleteLastNoteNumber);
    q.addBindValue(number);
    done = done && q.exec() && q.numRowsAffected() == 1;
    done = done && q.prepare(Statement::LowerNoteSequence);
    q.addBindValue(number);
    done = done && q.exec() && q.numRowsAffected() == 1;
    if (done && db.commit())
        return true;
    db.rollback();
    return false;
}

bool PhotoStore::BeginCount(const CountRecord &record)
{
    QSqlQuery q(database());
    bool done = q.exec(Statement::CreateCountState) && q.exec(Statement::DeleteCountState);
    done = done && q.prepare(Statement::InsertCountState);
    q.addBindValue(record.folder);
    q.addBindValue(record.countedAt.toString(Qt::ISODate));
    q.addBindValue(UnitText(record.sizeUnit));
    q.addBindValue(UnitText(record.areaUnit));
    q.addBindValue(record.radixPoint);
    q.addBindValue(record.unitRadixPoint);
    done = done && q.exec();
    if (!done)
        NoteFailure(q.lastError().nativeErrorCode().toInt(), q.lastError().text());
    return done;
}

bool PhotoStore::CompleteCount()
{
    return Exec(Statement::CompleteCountState);
}

std::optional<CountRecord> PhotoStore::ReadCount(bool *ok)
{
    QSqlQuery q(database());
    bool done = q.exec(Statement::CountStateExists) && q.next();
    const bool exists = done && q.value(0).toLongLong() > 0;
    std::optional<CountRecord> record;
    if (exists) {
        done = q.exec(Statement::SelectCountState);
        if (done && q.next()) {
            record = CountRecord{q.value(0).toString(),
                                 QDateTime::fromString(q.value(1).toString(), Qt::ISODate),
                                 LengthUnitFromText(q.value(2).toString()),
                                 AreaUnitFromText(q.value(3).toString()),
                                 q.value(4).toInt(),
                                 q.value(5).toInt(),
                                 q.value(6).toLongLong() == 1};
        }
    }
    if (!done)
        m_lastError = q.lastError().text();
    if (ok)
        *ok = done;
    return record;
}

QStringList PhotoStore::ServiceNames(bool *ok)
{
    QStringList names;
    QSqlQuery q(database());
    const bool done = q.exec(Statement::SelectServiceNames);
    if (!done)
        m_lastError = q.lastError().text();
    while (done && q.next())
        names << q.value(0).toString();
    if (ok)
        *ok = done;
    return names;
}

bool PhotoStore::BeginBatch()
{
    if (m_batch->open)
        return true;
    // Within a batch a commit does not wait for the disk; the next durable
    // commit (synchronous FULL again) flushes the whole log up to it.
    Exec("PRAGMA synchronous=NORMAL");
    m_batch->open = Exec("BEGIN");
    m_batch->sinceCommit.start();
    return m_batch->open;
}

bool PhotoStore::CommitIfDue()
{
    if (!m_batch->open || m_batch->sinceCommit.elapsed() < BatchCommitMs)
        return true;
    if (!Exec("COMMIT")) {
        AbortBatch();
        return false;
    }
    m_batch->open = Exec("BEGIN");
    m_batch->sinceCommit.restart();
    return m_batch->open;
}

bool PhotoStore::EndBatch()
{
    if (!m_batch || !m_batch->open)
        return true;
    const bool committed = Exec("COMMIT");
    if (!committed)
        AbortBatch();
    m_batch->open = false;
    QSqlQuery(database()).exec(QStringLiteral("PRAGMA synchronous=FULL"));
    return committed;
}

void PhotoStore::AbortBatch()
{
    if (!m_batch || !m_batch->open)
        return;
    m_batch->open = false;
    // SQLite may have rolled back on its own after a full disk or an I/O
    // error; a second rollback then fails harmlessly. The failure that led
    // here stays the one reported.
    const int code = m_lastCode;
    const QString error = m_lastError;
    if (sqlite3 *handle = Handle(database()))
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    NoteFailure(code, error);
    QSqlQuery(database()).exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

} // namespace kestova
