// The order book's place: the local store or a PostgreSQL server.
#include "order_book_source.h"

#include "order_book_statements.h"
#include "photo_store.h"
#include "settings.h"
#include "store_connection.h"

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

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
    {"certificate .*does not match host name|certificate verify failed|root certificate file",
     "服务器的证书不可信或与地址不符（TLS）"},
    {"no schema has been selected", "连接的 search_path 中没有存在的模式"},
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

// The key=value pairs of a connection string (values may be quoted), or
// of a postgresql:// address.
QList<std::pair<QString, QString>> ConnectionOptions(const QString &connection)
{
    QList<std::pair<QString, QString>> options;
    const QString trimmed = connection.trimmed();
    if (trimmed.startsWith(QLatin1String("postgresql://")) || trimmed.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(trimmed);
        options.append({QStringLiteral("host"), url.host()});
        if (url.port() > 0)
            options.append({QStringLiteral("port"), QString::number(url.port())});
        options.append({QStringLiteral("dbname"), url.path().mid(1)});
        options.append({QStringLiteral("user"), url.userName()});
        if (!url.password().isEmpty())
            options.append({QStringLiteral("password"), url.password()});
        const QUrlQuery query(url);
        for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded))
            options.append({key, value});
        return options;
    }
    static const QRegularExpression pair(QStringLiteral("(\\w+)\\s*=\\s*('(?:[^'\\\\]|\\\\.)*'|\\S*)"));
    for (auto it = pair.globalMatch(trimmed); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString value = m.captured(2);
        if (value.startsWith(u'\''))
            value = value.mid(1, value.size() - 2).replace(QStringLiteral("\\'"), QStringLiteral("'"));
        options.append({m.captured(1), value});
    }
    return options;
}

// libpq's handle of a server connection (Qt names its type after the
// struct: "pg_conn*").
PGconn *LibpqConnection(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.data());
}

// Whether libpq still holds the connection as good: no round trip, but a
// statement that found the connection broken leaves it bad.
bool Intact(const QSqlDatabase &db)
{
    PGconn *conn = LibpqConnection(db);
    return conn && PQstatus(conn) == CONNECTION_OK;
}

bool Answers(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    return q.exec(Statement::OrderBook::Server::CheckAnswers) && q.next();
}

} // namespace

bool HasPassword(const QString &connection)
{
    for (const auto &[key, value] : ConnectionOptions(connection)) {
        if (key == QLatin1String("password"))
            return true;
    }
    return false;
}

QString MaskPassword(const QString &connection)
{
    QString masked = connection;
    static const QRegularExpression keyword(
        QStringLiteral("(password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|\\S*)"));
    masked.replace(keyword, QStringLiteral("\\1***"));
    static const QRegularExpression address(QStringLiteral("(postgres(?:ql)?://[^:/@]*:)[^@]*@"));
    masked.replace(address, QStringLiteral("\\1***@"));
    return masked;
}

QString WithoutPassword(const QString &connection)
{
    QString plain = connection;
    static const QRegularExpression keyword(QStringLiteral("\\s*password\\s*=\\s*('(?:[^'\\\\]|\\\\.)*'|\\S*)"));
    plain.remove(keyword);
    static const QRegularExpression address(QStringLiteral("(postgres(?:ql)?://[^:/@]*):[^@]*@"));
    plain.replace(address, QStringLiteral("\\1@"));
    return plain.trimmed();
}

QString PasswordFileLine(const QString &connection)
{
    QString host = QStringLiteral("localhost");
    QString port = QStringLiteral("5432");
    QString database = QStringLiteral("*");
    QString user = QStringLiteral("*");
    for (const auto &[key, value] : ConnectionOptions(connection)) {
        if (key == QLatin1String("host") && !value.isEmpty())
            host = value;
        else if (key == QLatin1String("port") && !value.isEmpty())
            port = value;
        else if (key == QLatin1String("dbname") && !value.isEmpty())
            database = value;
        else if (key == QLatin1String("user") && !value.isEmpty())
            user = value;
    }
    return QStringLiteral("%1:%2:%3:%4:你的密码").arg(host, port, database, user);
}

QString PasswordPlaceMessage(const QString &connection)
{
    return QStringLiteral("连接串里不能写密码（password=），它会以明文留在 Config.ini 中。\n"
                          "请把密码写入本人的密码文件 ~/.pgpass（Windows：%APPDATA%\\postgresql\\pgpass.conf，"
                          "或环境变量 PGPASSFILE 指定的文件），文件只许本人读写（chmod 600），写这一行：\n\n%1\n\n"
                          "也可以用 libpq 的服务文件（pg_service.conf）。然后从连接串中去掉 password=。")
        .arg(PasswordFileLine(connection));
}

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
    if (db.open()) {
        // The server's notices (a table that exists already, …) are not
        // the operator's business: they never reach standard error.
        if (PGconn *conn = LibpqConnection(db))
            PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);
        QSqlQuery timeouts(db);
        if (timeouts.exec(Statement::OrderBook::Server::SetSessionTimeouts))
            return db;
        if (error)
            *error = ErrorOf(timeouts.lastError());
        timeouts = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return {};
    }
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
            QSqlQuery layout(db);
            const bool known = layout.exec(Statement::OrderBook::Server::SelectLayoutTables) && layout.next();
            const QString schema = known ? layout.value(2).toString() : QString();
            if (known && layout.value(1).toBool()) {
                QSqlQuery count(db);
                if (count.exec(Statement::OrderBook::Server::CountOrders) && count.next())
                    book = QStringLiteral("订单库已建立，共 %1 张订单").arg(count.value(0).toLongLong());
            }
            *report = QStringLiteral("连接成功：PostgreSQL %1，%2").arg(version, book);
            if (!schema.isEmpty())
                *report += QStringLiteral("（模式 %1）").arg(schema);
            else if (known)
                *report = QStringLiteral("连接成功，但 search_path 中没有可用的模式：订单库无法建立");
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
    return Shared() ? QStringLiteral("服务器（%1）").arg(MaskPassword(m_settings.OrderBookConnection))
                    : QStringLiteral("本机 Data.mdb");
}

OrderBookSource::OneCheck::OneCheck(OrderBookSource &source)
    : m_source(source)
{
    ++m_source.m_oneCheck;
}

OrderBookSource::OneCheck::~OneCheck()
{
    if (--m_source.m_oneCheck == 0)
        m_source.m_checked = false;
}

void OrderBookSource::Close()
{
    m_checked = false;
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
    if (m_book) {
        const QSqlDatabase db = Shared() ? QSqlDatabase::database(m_connectionName, false) : QSqlDatabase();
        if (!Shared() || (m_checked && Intact(db)) || Answers(db)) {
            m_checked = m_oneCheck > 0;
            return m_book.get();
        }
    }
    // A server connection that no longer answers is dropped and made anew.
    Close();
    QString reason;
    std::unique_ptr<OrderBook> book;
    if (!Shared()) {
        book = std::make_unique<OrderBook>(StoreConnection::Of(m_store));
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
    m_checked = m_oneCheck > 0;
    return m_book.get();
}

QString OrderBookSource::BookFailure(const QString &error) const
{
    return Shared() ? CannotConnectMessage(error) : QStringLiteral("订单库无法建立：") + error;
}

std::optional<qint64> OrderBookSource::IssueNoteNumber(QString *error)
{
    if (!Shared()) {
        // A local order book moved onto a server never issues numbers the
        // server issues too.
        if (OrderBook *book = Book(); book && book->MovedTo()) {
            if (error)
                *error = QStringLiteral("本机的订单库已移到服务器（%1），请在参数的订单库中填写这个服务器")
                             .arg(MaskPassword(*book->MovedTo()));
            return std::nullopt;
        }
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
