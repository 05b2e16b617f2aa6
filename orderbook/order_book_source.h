// Where the order book lives: in the local Data.mdb, or on a PostgreSQL
// server shared by the shop's counters ([OrderBook] Connection in
// Config.ini). OrderBookSource hands out the order book ready for use and
// issues note numbers from the right place, so the printing and the windows
// never ask which one it is.
//
// A shared order book is reached through one connection kept for the run.
// A use first checks that the server still answers (one round trip) and
// connects anew when it does not, so a server restarted between two orders
// is found again; within one order (OneCheck) only the first use does.
// Nothing falls back to the local store: without the server there is no
// note number and no order.
#pragma once

#include "order_book.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace kestova {

class PhotoStore;
struct Settings;

// The message that begins every report of an unusable shared order book.
QString CannotConnectMessage(const QString &reason);

// Passwords never go into Config.ini or onto the screen: whether a
// connection string holds one, the string with it shown as "***", and the
// line of libpq's password file (~/.pgpass) that would hold it instead.
bool HasPassword(const QString &connection);
QString MaskPassword(const QString &connection);
QString PasswordFileLine(const QString &connection);
// The message that tells where the password goes instead.
QString PasswordPlaceMessage(const QString &connection);
// The connection string without its password, as Config.ini may keep it.
QString WithoutPassword(const QString &connection);

// A server's or libpq's error in the operator's words: what went wrong in
// Chinese, then the first line of the original text for the technician.
QString ServerErrorText(const QString &original);

// A connection to the server named by `connection` (a libpq connection
// string), opened under the Qt connection name `name`. Short timeouts are
// added unless the string sets its own, so that an unreachable server is
// reported within seconds rather than after the system's TCP timeout.
// Null database with *error set when it cannot be opened.
QSqlDatabase OpenServer(const QString &connection, const QString &name, QString *error);

// What 测试连接 and `orderbook status` report: whether the server answers,
// its version, and whether the order book is laid out there (with the
// number of its orders). True when it answers.
bool ProbeServer(const QString &connection, QString *report);

class OrderBookSource
{
public:
    // `settings` is read at every use: a connection string changed in the
    // settings dialog takes effect with the next order.
    OrderBookSource(PhotoStore &store, const Settings &settings);
    ~OrderBookSource();
    OrderBookSource(const OrderBookSource &) = delete;
    OrderBookSource &operator=(const OrderBookSource &) = delete;

    PhotoStore &store() const { return m_store; }
    bool Shared() const;
    QString CounterName() const;
    // "本机 Data.mdb" or the server's connection string.
    QString Description() const;
    // Where numbers come from now: empty for the local store, else the
    // server's connection string. A number issued by one place is never
    // used with another.
    QString Place() const;

    // The order book with its tables up to date; null with *error the
    // reason (for a server, already in Chinese).
    OrderBook *Book(QString *error = nullptr);
    // The message for a Book() that failed with `error`.
    QString BookFailure(const QString &error) const;

    // A new note number: from the store's NoteNumber table, or issued by the
    // server in one transaction. None with *error the reason.
    std::optional<qint64> IssueNoteNumber(QString *error = nullptr);
    // Gives back a number no order was recorded under, when it is still the
    // last one issued; false otherwise.
    bool ReturnNoteNumber(qint64 number);
    QStringList ServiceNames(bool *ok = nullptr, QString *error = nullptr);

    // Drops the order book and its server connection; the next use opens
    // them again. Before the store closes, so that no statement holds it.
    void Close();

    // While one lives, Book() checks the server only on its first use: the
    // later uses of the same order trust the connection, unless a statement
    // since found it broken.
    class OneCheck
    {
    public:
        explicit OneCheck(OrderBookSource &source);
        ~OneCheck();
        OneCheck(const OneCheck &) = delete;
        OneCheck &operator=(const OneCheck &) = delete;

    private:
        OrderBookSource &m_source;
    };

private:
    PhotoStore &m_store;
    const Settings &m_settings;
    QString m_openConnection;  // the connection string m_book was opened with
    QString m_connectionName;  // Qt's name of the server connection
    std::unique_ptr<OrderBook> m_book;
    int m_oneCheck = 0;    // OneCheck scopes open
    bool m_checked = false; // the server answered within them
};

} // namespace kestova
