// The order book's place: the local store or a PostgreSQL server.
#include "order_book_source.h"

#include "photo_store.h"
#include "settings.h"
#include "store_statements.h"

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace kestova {

namespace {

const QString Driver = QStringLiteral("QPSQL");
QAtomicInt g_connections;

// libpq's own texts (and the server's, unless it was set up in Chinese) are
// English: the common causes are told in Chinese, matched on those texts.
struct Cause {
    const char *pattern;
    const char *text;
};
const Cause Causes[] = {
    {"timeout expired", "服务器在限定时间内没有应答"},
    {"could not translate host name|Name or service not known|Temporary failure in name resolution",
     "找不到服务器（主机名无法解析）"},
    {"password authentication failed", "用户名或密码不对"},
    {"no password supplied|fe_sendauth", "服务器要求密码，但没有找到（请写入 .pgpass 或 PGPASSFILE 指定的文件）"},
    {"no pg_hba.conf entry|pg_hba", "服务器不允许本机连接（请检查服务器的 pg_hba.conf）"},
    {"database \".*\" does not exist", "服务器上没有这个数据库"},
    {"role \".*\" does not exist", "服务器上没有这个用户"},
    {"permission denied", "没有权限"},
    {"server closed the connection|terminating connection|connection to server was lost|no connection to the "
     "server|could not receive data|could not send data|server conn crashed|SSL SYSCALL",
     "与服务器的连接已中断"},
    {"the database system is (starting up|shutting down|in recovery mode)", "服务器正在启动或关闭"},
    {"Connection refused|No such file or directory|Is the server running|No route to host|Network is unreachable",
     "服务器没有运行，或地址、端口不对"},
    {"SSL negotiation|invalid response|expected authentication request", "这个地址上回应的不是 PostgreSQL 服务器"},
    {"invalid connection option|missing \"=\"|invalid URI|unterminated quoted string|invalid .* value",
     "连接串写得不对"},
};

QString FirstLine(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype end = trimmed.indexOf(u'\n');
    return (end < 0 ? trimmed : trimmed.left(end)).trimmed();
}

QString ErrorOf(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return ServerErrorText(text);
}

// Options libpq takes from the connection string; ours are added only when
// the operator's string does not set them.
QString WithDefaults(const QString &connection)
{
    QString options = connection;
    const auto add = [&options, &connection](const char *key, const char *value) {
        const QRegularExpression set(QStringLiteral("(^|\\s)%1\\s*=").arg(QLatin1String(key)));
        if (!set.match(connection).hasMatch())
            options += QStringLiteral(" %1=%2").arg(QLatin1String(key), QLatin1String(value));
    };
    add("connect_timeout", "5");
    // A server that vanishes mid-order (a cable pulled) is noticed within
    // seconds instead of a quarter of an hour.
    add("keepalives_idle", "5");
    add("keepalives_interval", "2");
    add("keepalives_count", "3");
    add("tcp_user_timeout", "10000");
    add("application_name", "kestova");
    return options;
}

bool Answers(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    return q.exec(Statement::S10_SelectOne) && q.next();
}

} // namespace

QString CannotConnectMessage(const QString &reason)
{
    return QStringLiteral("订单库无法连接：") + reason;
}

QString ServerErrorText(const QString &original)
{
    const QString line = FirstLine(original);
    // A server set up in Chinese, or our own refusal, needs no telling.
    static const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    if (chinese.match(line).hasMatch())
        return line;
    for (const Cause &cause : Causes) {
        if (QRegularExpression(QString::fromUtf8(cause.pattern)).match(original).hasMatch())
            return QStringLiteral("%1（%2）").arg(QString::fromUtf8(cause.text), line);
    }
    return line.isEmpty() ? QStringLiteral("服务器没有说明原因") : QStringLiteral("服务器报错（%1）").arg(line);
}

QSqlDatabase OpenServer(const QString &connection, const QString &name, QString *error)
{
    if (!QSqlDatabase::isDriverAvailable(Driver)) {
        if (error)
            *error = QStringLiteral("本机缺少 PostgreSQL 的数据库驱动（Debian 软件包 libqt6sql6-psql）");
        return {};
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(Driver, name);
    db.setConnectOptions(WithDefaults(connection));
    if (db.open())
        return db;
    if (error)
        *error = ErrorOf(db.lastError());
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    return {};
}

bool ProbeServer(const QString &connection, QString *report)
{
    const QString name = QStringLiteral("OrderBook-probe-%1").arg(g_connections.fetchAndAddRelaxed(1));
    bool answers = false;
    {
        QString error;
        QSqlDatabase db = OpenServer(connection, name, &error);
        if (!db.isValid()) {
            *report = error;
            return false;
        }
        QSqlQuery q(db);
        answers = q.exec(QStringLiteral("SHOW server_version")) && q.next();
        if (!answers) {
            *report = ErrorOf(q.lastError());
        } else {
            const QString version = q.value(0).toString().section(u' ', 0, 0);
            QString book = QStringLiteral("订单库尚未建立，第一台连接的电脑打印时会自动建立");
            if (db.tables().contains(QStringLiteral("orderrecord"), Qt::CaseInsensitive)) {
                QSqlQuery count(db);
                if (count.exec(Statement::OrderBook::Server::CountOrders) && count.next())
                    book = QStringLiteral("订单库已建立，共 %1 张订单").arg(count.value(0).toLongLong());
            }
            *report = QStringLiteral("连接成功：PostgreSQL %1，%2").arg(version, book);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return answers;
}

OrderBookSource::OrderBookSource(PhotoStore &store, const Settings &settings)
    : m_store(store)
    , m_settings(settings)
{
}

OrderBookSource::~OrderBookSource()
{
    Close();
}

bool OrderBookSource::Shared() const
{
    return !m_settings.OrderBookConnection.isEmpty();
}

QString OrderBookSource::CounterName() const
{
    return m_settings.CounterNameOrHost();
}

QString OrderBookSource::Place() const
{
    return m_settings.OrderBookConnection;
}

QString OrderBookSource::Description() const
{
    return Shared() ? QStringLiteral("服务器（%1）").arg(m_settings.OrderBookConnection)
                    : QStringLiteral("本机 Data.mdb");
}

void OrderBookSource::Close()
{
    m_book.reset();
    if (!m_connectionName.isEmpty()) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        m_connectionName.clear();
    }
}

OrderBook *OrderBookSource::Book(QString *error)
{
    const QString connection = Place();
    if (m_book && connection != m_openConnection)
        Close();
    if (m_book && (!Shared() || Answers(QSqlDatabase::database(m_connectionName, false))))
        return m_book.get();
    // A server connection that no longer answers is dropped and made anew.
    Close();
    QString reason;
    std::unique_ptr<OrderBook> book;
    if (!Shared()) {
        book = std::make_unique<OrderBook>(m_store.database());
    } else {
        m_connectionName = QStringLiteral("OrderBook-server-%1").arg(g_connections.fetchAndAddRelaxed(1));
        const QSqlDatabase db = OpenServer(connection, m_connectionName, &reason);
        if (!db.isValid()) {
            m_connectionName.clear();
            if (error)
                *error = reason;
            return nullptr;
        }
        book = std::make_unique<OrderBook>(db);
    }
    if (!book->Upgrade(&reason)) {
        if (error)
            *error = Shared() ? ServerErrorText(reason) : reason;
        book.reset();
        Close();
        return nullptr;
    }
    m_book = std::move(book);
    m_openConnection = connection;
    return m_book.get();
}

QString OrderBookSource::BookFailure(const QString &error) const
{
    return Shared() ? CannotConnectMessage(error) : QStringLiteral("订单库无法建立：") + error;
}

std::optional<qint64> OrderBookSource::IssueNoteNumber(QString *error)
{
    if (!Shared()) {
        const std::optional<qint64> number = m_store.IssueNoteNumber();
        if (!number && error)
            *error = m_store.WriteFailureCause();
        return number;
    }
    OrderBook *book = Book(error);
    if (!book)
        return std::nullopt;
    QString reason;
    const std::optional<qint64> number = book->IssueNoteNumber(CounterName(), &reason);
    if (!number && error)
        *error = ServerErrorText(reason);
    return number;
}

bool OrderBookSource::ReturnNoteNumber(qint64 number)
{
    if (!Shared())
        return m_store.ReturnNoteNumber(number);
    OrderBook *book = Book();
    return book && book->ReturnNoteNumber(number);
}

QStringList OrderBookSource::ServiceNames(bool *ok, QString *error)
{
    if (!Shared())
        return m_store.ServiceNames(ok);
    OrderBook *book = Book(error);
    if (!book) {
        if (ok)
            *ok = false;
        return {};
    }
    bool done = false;
    const QStringList names = book->ServiceNames(&done);
    if (!done && error)
        *error = QStringLiteral("服务名称读取失败");
    if (ok)
        *ok = done;
    return names;
}

} // namespace kestova
