// Every statement the order book sends, to the local store's file or to a
// shared order book on a PostgreSQL server: its layout steps, the server's
// note counter and layout lock, prices, orders and the daily summary.
// OrderBook, OrderBookSource and the copy onto a server take their texts
// from here; the photo store's own statements are in store_statements.h.
#pragma once

#include <QString>

namespace kestova::Statement {

// The order book: prices and every order that reached the printer or a PDF.
// Plain SQL only (types, CREATE … IF NOT EXISTS, no functions of SQLite's
// own), so that the same texts serve a shared order book on a database
// server. Money is in fen, whole numbers; times are local, as text
// "yyyy-MM-dd HH:mm:ss", with the day apart for the daily summary.
namespace OrderBook {

// The layout is versioned: OrderBookVersion holds the number of the last
// step applied, and an order book is brought up to date by applying the
// steps after it in order, in one transaction. A store of the first release
// has the tables of step 1 and no version table.
inline const char *const Step1[] = {
    "CREATE TABLE IF NOT EXISTS PriceList(ServiceName VARCHAR(255) NOT NULL PRIMARY KEY,"
    " PerSquareMetre BIGINT)",
    "CREATE TABLE IF NOT EXISTS SizePrice(ServiceName VARCHAR(255) NOT NULL, PhotoSize VARCHAR(64) NOT NULL,"
    " Price BIGINT NOT NULL, PRIMARY KEY(ServiceName, PhotoSize))",
    "CREATE TABLE IF NOT EXISTS OrderRecord(NoteNumber INTEGER NOT NULL PRIMARY KEY, IssuedAt VARCHAR(19) NOT NULL,"
    " IssuedOn VARCHAR(10) NOT NULL, MemberName VARCHAR(255), Remark VARCHAR(2000), ServiceName VARCHAR(255),"
    " AppendText VARCHAR(2000), Folder VARCHAR(4000), SizeUnit VARCHAR(8), AreaUnit VARCHAR(8),"
    " PhotoCount BIGINT, PhotoArea DOUBLE PRECISION, Amount BIGINT)",
    "CREATE INDEX IF NOT EXISTS OrderRecordByDay ON OrderRecord(IssuedOn)",
    "CREATE TABLE IF NOT EXISTS OrderLine(NoteNumber INTEGER NOT NULL, LineNo INTEGER NOT NULL,"
    " PhotoSize VARCHAR(64) NOT NULL, PhotoAmount BIGINT, PhotoArea DOUBLE PRECISION, Price BIGINT,"
    " Amount BIGINT, PRIMARY KEY(NoteNumber, LineNo))",
};
// Step 2: each order carries the name of the counter that printed it.
inline const char *const Step2[] = {
    "ALTER TABLE OrderRecord ADD COLUMN CounterName VARCHAR(255)",
    "CREATE TABLE OrderBookVersion(Version INTEGER NOT NULL)",
    "INSERT INTO OrderBookVersion(Version) VALUES(0)",
};
// Step 3: an order is recorded before it goes to the printer, as pending
// ('pending', 待确认), and marked printed (NULL) once the printer or the PDF
// took it; an operator can void ('void') a pending order that never came out.
inline const char *const Step3[] = {
    "ALTER TABLE OrderRecord ADD COLUMN Status VARCHAR(8)",
};
// Step 4: on a server, text columns hold text of any length, as in the local
// store, so that nothing printed is refused when it is recorded. SQLite
// keeps any length whatever the declared type: nothing to do there.
inline constexpr int Version = 4;
// The services in their order, from the order book's own place (the local
// store's table or the server's).
inline const QString SelectServiceNames =
    QStringLiteral("SELECT ServiceName FROM ServiceName ORDER BY ServiceNameID");
inline const QString SelectVersion = QStringLiteral("SELECT Version FROM OrderBookVersion");
inline const QString UpdateVersion = QStringLiteral("UPDATE OrderBookVersion SET Version = ?");

// A shared order book on a server also holds what the local store keeps in
// its own tables: the service list and the note numbers. Note numbers come
// from one counter row, raised in the transaction that issues a number, so
// that numbers are never lost to a rolled-back transaction (no gaps) and two
// counters never get the same one; NoteNumber logs who was given which.
namespace Server {

// One round trip: whether the server still answers on a connection.
inline const QString CheckAnswers = QStringLiteral("SELECT 1");

inline const char *const Step1[] = {
    "CREATE TABLE IF NOT EXISTS ServiceName(ServiceNameID INTEGER, ServiceName VARCHAR(255))",
    "CREATE TABLE IF NOT EXISTS NoteCounter(LastNumber BIGINT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS NoteNumber(NoteNumberID BIGINT NOT NULL PRIMARY KEY, PrintDate DATE,"
    " CounterName VARCHAR(255))",
};
// Two counters connecting to a new server at once: the second waits here
// until the first has laid out the tables, then finds them.
inline const QString LockLayout = QStringLiteral("SELECT pg_advisory_xact_lock(74536587)");
inline const QString InsertCounter = QStringLiteral("INSERT INTO NoteCounter(LastNumber) VALUES(0)");
// One statement in a transaction of its own: the counter row is locked for
// that statement only, never across round trips, so a counter that stalls
// holds no other.
// The counter never issues a number an order already holds, as after an
// order book restored from a backup older than the counter.
inline const QString IssueNumber = QStringLiteral(
    "WITH issued AS (UPDATE NoteCounter SET LastNumber = GREATEST(LastNumber,"
    " COALESCE((SELECT MAX(NoteNumber) FROM OrderRecord), 0)) + 1 RETURNING LastNumber)"
    " INSERT INTO NoteNumber(NoteNumberID, PrintDate, CounterName) SELECT LastNumber, CURRENT_DATE, ? FROM issued"
    " RETURNING NoteNumberID");
inline const QString SelectCounter = QStringLiteral("SELECT LastNumber FROM NoteCounter");
inline const QString SetCounter = QStringLiteral("UPDATE NoteCounter SET LastNumber = ?");
// A number issued for an order that was never recorded goes back when no
// counter took a later one since.
inline const QString LowerCounter =
    QStringLiteral("UPDATE NoteCounter SET LastNumber = LastNumber - 1 WHERE LastNumber = ?");
inline const QString DeleteNoteNumber = QStringLiteral("DELETE FROM NoteNumber WHERE NoteNumberID = ?");
inline const QString InsertNoteNumber =
    QStringLiteral("INSERT INTO NoteNumber(NoteNumberID, PrintDate, CounterName) VALUES(?, ?, ?)");
inline const char *const Step4[] = {
    "ALTER TABLE OrderRecord ALTER COLUMN MemberName TYPE TEXT, ALTER COLUMN Remark TYPE TEXT,"
    " ALTER COLUMN ServiceName TYPE TEXT, ALTER COLUMN AppendText TYPE TEXT, ALTER COLUMN Folder TYPE TEXT,"
    " ALTER COLUMN CounterName TYPE TEXT",
    "ALTER TABLE OrderLine ALTER COLUMN PhotoSize TYPE TEXT",
    "ALTER TABLE PriceList ALTER COLUMN ServiceName TYPE TEXT",
    "ALTER TABLE SizePrice ALTER COLUMN ServiceName TYPE TEXT, ALTER COLUMN PhotoSize TYPE TEXT",
    "ALTER TABLE ServiceName ALTER COLUMN ServiceName TYPE TEXT",
    "ALTER TABLE NoteNumber ALTER COLUMN CounterName TYPE TEXT",
};
// Which of the order book's tables exist in the schema the connection
// uses (its search_path), whatever that schema is called.
// A plain query of the catalogue, not to_regclass(): after waiting for the
// layout lock it must see the tables another counter has just made.
inline const QString SelectLayoutTables = QStringLiteral(
    "SELECT EXISTS(SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
    " WHERE c.relname = 'orderbookversion' AND n.nspname = current_schema()),"
    " EXISTS(SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
    " WHERE c.relname = 'orderrecord' AND n.nspname = current_schema()), current_schema()");
// A session that stalls holding a lock, or waits for one, gives up within
// seconds; a setting the connection string or the server's role already
// made is kept.
inline const QString SetSessionTimeouts = QStringLiteral(
    "SELECT CASE WHEN current_setting('lock_timeout') = '0' THEN set_config('lock_timeout', '5s', false) END,"
    " CASE WHEN current_setting('statement_timeout') = '0' THEN set_config('statement_timeout', '15s', false) END,"
    " CASE WHEN current_setting('idle_in_transaction_session_timeout') = '0'"
    " THEN set_config('idle_in_transaction_session_timeout', '10s', false) END");
// What `orderbook status` checks: the role's rights on the tables it
// writes, and a counter behind the orders recorded (a restored backup).
inline const QString SelectRights = QStringLiteral(
    "SELECT has_table_privilege('notecounter', 'UPDATE') AND has_table_privilege('notenumber', 'INSERT'),"
    " has_table_privilege('orderrecord', 'INSERT') AND has_table_privilege('orderline', 'INSERT')"
    " AND has_table_privilege('orderrecord', 'UPDATE')");
inline const QString SelectCounterAndHighest =
    QStringLiteral("SELECT (SELECT LastNumber FROM NoteCounter), (SELECT MAX(NoteNumber) FROM OrderRecord)");
inline const QString DeleteServiceNames = QStringLiteral("DELETE FROM ServiceName");
inline const QString DeletePriceKinds = QStringLiteral("DELETE FROM PriceList");
inline const QString DeleteAllSizePrices = QStringLiteral("DELETE FROM SizePrice");
inline const QString CountOrders = QStringLiteral("SELECT COUNT(*) FROM OrderRecord");

} // namespace Server

// A local order book copied onto a server issues no more numbers: the
// server does. The mark names the server (without a password).
inline const QString CreateMovedMark =
    QStringLiteral("CREATE TABLE IF NOT EXISTS OrderBookMoved(Connection TEXT, MovedAt TEXT)");
inline const QString InsertMovedMark = QStringLiteral("INSERT INTO OrderBookMoved(Connection, MovedAt) VALUES(?, ?)");
inline const QString SelectMovedMark = QStringLiteral("SELECT Connection FROM OrderBookMoved");
inline const QString MovedMarkExists =
    QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'OrderBookMoved'");

// Reading a whole local order book, to copy it onto a server.
inline const QString SelectServiceRows = QStringLiteral("SELECT ServiceNameID, ServiceName FROM ServiceName");
inline const QString SelectAllPriceKinds = QStringLiteral("SELECT ServiceName, PerSquareMetre FROM PriceList");
inline const QString SelectAllSizePrices = QStringLiteral("SELECT ServiceName, PhotoSize, Price FROM SizePrice");
inline const QString SelectAllOrders = QStringLiteral(
    "SELECT NoteNumber, IssuedAt, IssuedOn, MemberName, Remark, ServiceName, AppendText, Folder, SizeUnit,"
    " AreaUnit, PhotoCount, PhotoArea, Amount, CounterName, Status FROM OrderRecord ORDER BY NoteNumber");
inline const QString SelectAllOrderLines = QStringLiteral(
    "SELECT NoteNumber, LineNo, PhotoSize, PhotoAmount, PhotoArea, Price, Amount FROM OrderLine"
    " ORDER BY NoteNumber, LineNo");
inline const QString SelectHighestNoteNumber = QStringLiteral(
    "SELECT MAX(n) FROM (SELECT MAX(NoteNumberID) AS n FROM NoteNumber"
    " UNION ALL SELECT MAX(NoteNumber) FROM OrderRecord) AS highest");
// The local store's AUTOINCREMENT keeps the highest number issued even
// when its rows were deleted.
inline const QString SelectNoteSequence =
    QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'NoteNumber'");
inline const QString InsertServiceRow =
    QStringLiteral("INSERT INTO ServiceName(ServiceNameID, ServiceName) VALUES(?, ?)");

inline const QString SelectPriceKinds = QStringLiteral(
    "SELECT s.ServiceName, p.PerSquareMetre FROM ServiceName s LEFT JOIN PriceList p"
    " ON p.ServiceName = s.ServiceName ORDER BY s.ServiceNameID");
// A service's prices in one statement, so in one snapshot: a price list
// saved meanwhile gives the old list or the new one, never a mixture or
// none. The price per m² comes on every row; without size prices, one row.
inline const QString SelectServicePrices = QStringLiteral(
    "SELECT p.PerSquareMetre, s.PhotoSize, s.Price FROM (SELECT ? AS Name) q"
    " LEFT JOIN PriceList p ON p.ServiceName = q.Name LEFT JOIN SizePrice s ON s.ServiceName = q.Name"
    " ORDER BY s.PhotoSize");
inline const QString CountService = QStringLiteral("SELECT COUNT(*) FROM ServiceName WHERE ServiceName = ?");
inline const QString DeletePriceKind = QStringLiteral("DELETE FROM PriceList WHERE ServiceName = ?");
inline const QString InsertPriceKind =
    QStringLiteral("INSERT INTO PriceList(ServiceName, PerSquareMetre) VALUES(?, ?)");
inline const QString DeleteSizePrices = QStringLiteral("DELETE FROM SizePrice WHERE ServiceName = ?");
inline const QString DeleteSizePrice =
    QStringLiteral("DELETE FROM SizePrice WHERE ServiceName = ? AND PhotoSize = ?");
inline const QString InsertSizePrice =
    QStringLiteral("INSERT INTO SizePrice(ServiceName, PhotoSize, Price) VALUES(?, ?, ?)");

inline const QString InsertOrder = QStringLiteral(
    "INSERT INTO OrderRecord(NoteNumber, IssuedAt, IssuedOn, MemberName, Remark, ServiceName, AppendText, Folder,"
    " SizeUnit, AreaUnit, PhotoCount, PhotoArea, Amount, CounterName, Status)"
    " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
// Only a pending order is ever replaced or removed: a printed one stays.
inline const QString DeletePendingOrderLines = QStringLiteral(
    "DELETE FROM OrderLine WHERE NoteNumber = ?"
    " AND NoteNumber IN (SELECT NoteNumber FROM OrderRecord WHERE NoteNumber = ? AND Status = 'pending')");
inline const QString DeletePendingOrder =
    QStringLiteral("DELETE FROM OrderRecord WHERE NoteNumber = ? AND Status = 'pending'");
inline const QString SetOrderStatus =
    QStringLiteral("UPDATE OrderRecord SET Status = ? WHERE NoteNumber = ? AND Status = 'pending'");
inline const QString InsertOrderLine = QStringLiteral(
    "INSERT INTO OrderLine(NoteNumber, LineNo, PhotoSize, PhotoAmount, PhotoArea, Price, Amount)"
    " VALUES(?, ?, ?, ?, ?, ?, ?)");
inline const QString SelectOrder = QStringLiteral(
    "SELECT NoteNumber, IssuedAt, MemberName, Remark, ServiceName, AppendText, Folder, SizeUnit, AreaUnit,"
    " PhotoCount, PhotoArea, Amount, CounterName, Status FROM OrderRecord WHERE NoteNumber = ?");
inline const QString SelectOrderLines = QStringLiteral(
    "SELECT PhotoSize, PhotoAmount, PhotoArea, Price, Amount FROM OrderLine WHERE NoteNumber = ? ORDER BY LineNo");
// The search: every condition can be switched off by binding its switch 0.
inline const QString SearchOrders = QStringLiteral(
    "SELECT NoteNumber, IssuedAt, MemberName, ServiceName, PhotoCount, PhotoArea, Amount, CounterName, Status"
    " FROM OrderRecord"
    " WHERE (? = 0 OR IssuedOn >= ?) AND (? = 0 OR IssuedOn <= ?) AND (? = 0 OR MemberName LIKE ? ESCAPE '!')"
    " AND (? = 0 OR NoteNumber = ?) ORDER BY NoteNumber DESC");
// Per day: printed orders, photos, area in square metres and the amount of
// the orders that have one, the printed orders without an amount, and the
// pending orders (counted apart, in nothing else). Voided orders are left out.
inline const QString DailySummary = QStringLiteral(
    "SELECT IssuedOn, COUNT(*) - COUNT(Status), SUM(CASE WHEN Status IS NULL THEN PhotoCount END),"
    " SUM(CASE WHEN Status IS NOT NULL THEN NULL WHEN AreaUnit = 'cm2' THEN PhotoArea / 10000"
    " ELSE PhotoArea END), SUM(CASE WHEN Status IS NULL THEN Amount END),"
    " SUM(CASE WHEN Status IS NULL AND Amount IS NULL THEN 1 ELSE 0 END),"
    " SUM(CASE WHEN Status = 'pending' THEN 1 ELSE 0 END)"
    " FROM OrderRecord WHERE IssuedOn >= ? AND IssuedOn <= ? AND (Status IS NULL OR Status = 'pending')"
    " GROUP BY IssuedOn ORDER BY IssuedOn");

} // namespace OrderBook

} // namespace kestova::Statement
