// The order book's commands.
#include "order_book_command.h"

#include "clock.h"
#include "dialogs.h"
#include "numbers.h"
#include "order_book.h"
#include "order_book_copy.h"
#include "order_book_source.h"
#include "photo_store.h"
#include "program_folder.h"
#include "settings.h"
#include "store_connection.h"
#include "totals_text.h"

#include <QDate>

#include <cstdio>
#include <memory>

namespace kestova {

const char OrderBookUsage[] =
    "  kestova-count prices [--program-dir DIR]\n"
    "      输出价格表：服务、尺寸（按面积计价时为 m2）、单价（元），每行一项。\n"
    "  kestova-count price set SERVICE (--size SIZE PRICE | --per-m2 PRICE) [--program-dir DIR]\n"
    "      设定服务的单价（元，最多两位小数）：按尺寸每张，或按每平方米。\n"
    "  kestova-count orders [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--customer TEXT] [--program-dir DIR]\n"
    "      输出订单记录（新的在前）：单号、开单时间、客户、服务、张数、面积、金额、柜台、状态\n"
    "      （已打印的为空，或“待确认”“作废”）。\n"
    "  kestova-count daily [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--program-dir DIR]\n"
    "      日结：每天已打印的单数、张数、面积（平方米）、金额、未定价单数，以及待确认的单数，\n"
    "      最后一行合计；作废的订单不计。\n"
    "  kestova-count orderbook status [--program-dir DIR]\n"
    "      说明正在使用的订单库（本机 Data.mdb，或 Config.ini [OrderBook] Connection 指定的\n"
    "      PostgreSQL 服务器）以及它能否连接。\n"
    "  kestova-count orderbook copy --to CONNINFO [--program-dir DIR]\n"
    "      把本机的服务、价格、订单和单号位置复制到服务器上空的订单库（只能一次）；\n"
    "      CONNINFO 是 libpq 连接串，例如 \"host=192.168.1.10 dbname=kestova user=counter1\"。\n"
    "  kestova-count orderbook confirm N | void N [--program-dir DIR]\n"
    "      待确认的订单（打印时程序被中断、服务器断开）：确认已打印，或作废。\n";

namespace {

void Out(const QStringList &fields)
{
    const QByteArray line = TsvLine(fields).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}

void Error(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

QString AmountText(const std::optional<qint64> &fen)
{
    return fen ? YuanText(*fen) : QString();
}

struct Arguments {
    QStringList positional;
    QString from;
    QString to;
    QString customer;
    QString size;
    QString perSquareMetre;
    QString bad;
};

Arguments Parse(QStringList args)
{
    Arguments a;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        QString *value = arg == QLatin1String("--from") ? &a.from
            : arg == QLatin1String("--to")              ? &a.to
            : arg == QLatin1String("--customer")        ? &a.customer
            : arg == QLatin1String("--per-m2")          ? &a.perSquareMetre
            : nullptr;
        if (arg == QLatin1String("--program-dir") && !args.isEmpty()) {
            SetProgramFolder(args.takeFirst());
        } else if (arg == QLatin1String("--size") && args.size() >= 2) {
            a.size = args.takeFirst();
            a.perSquareMetre.clear();
            a.positional << args.takeFirst(); // the price
        } else if (value && !args.isEmpty()) {
            *value = args.takeFirst();
        } else if (arg.startsWith(QLatin1String("--"))) {
            a.bad = arg;
            return a;
        } else {
            a.positional << arg;
        }
    }
    return a;
}

bool ParseDay(const QString &text, std::optional<QDate> *day)
{
    if (text.isEmpty())
        return true;
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return false;
    *day = date;
    return true;
}

int Prices(OrderBook &book)
{
    bool ok = false;
    for (const ServicePrices &p : book.Prices(&ok)) {
        if (p.kind == PricingKind::PerSquareMetre) {
            Out({p.service, UnitText(AreaUnit::SquareMetre), YuanText(p.perSquareMetre)});
        } else if (p.kind == PricingKind::PerPhoto) {
            for (auto it = p.perPhoto.cbegin(); it != p.perPhoto.cend(); ++it)
                Out({p.service, it.key(), YuanText(it.value())});
        } else {
            Out({p.service, QString(), QString()});
        }
    }
    return ok ? 0 : 3;
}

int SetPrice(OrderBook &book, const Arguments &a)
{
    // price set SERVICE --size SIZE PRICE, or price set SERVICE --per-m2 PRICE
    const bool bySize = !a.size.isEmpty();
    if (a.positional.size() != (bySize ? 3 : 2) || a.positional[0] != QLatin1String("set")
        || bySize == !a.perSquareMetre.isEmpty()) {
        Error(QStringLiteral("用法：kestova-count price set SERVICE (--size SIZE PRICE | --per-m2 PRICE)"));
        return 2;
    }
    qint64 fen = 0;
    const QString price = bySize ? a.positional[2] : a.perSquareMetre;
    if (!ParseYuan(price, &fen)) {
        Error(QStringLiteral("单价应为不超过两位小数的非负金额（元）：%1").arg(price));
        return 2;
    }
    QString error;
    const bool done = bySize ? book.SetSizePrice(a.positional[1], a.size, fen, &error)
                             : book.SetPerSquareMetre(a.positional[1], fen, &error);
    if (!done) {
        Error(QStringLiteral("价格保存失败：") + error);
        return 3;
    }
    return 0;
}

int Orders(OrderBook &book, const Arguments &a)
{
    OrderSearch search;
    if (!ParseDay(a.from, &search.from) || !ParseDay(a.to, &search.to) || !a.positional.isEmpty()) {
        Error(QStringLiteral("日期应写作 YYYY-MM-DD"));
        return 2;
    }
    search.customer = a.customer;
    bool ok = false;
    for (const OrderListEntry &o : book.Search(search, &ok)) {
        Out({QString::number(o.noteNumber), o.issuedAt, o.memberName, o.service, o.photoCount.toString(),
             o.photoArea.isNull() ? QString() : NumberText(o.photoArea.toDouble()), AmountText(o.amount),
             o.counterName, StatusText(o.status)});
    }
    return ok ? 0 : 3;
}

int Daily(OrderBook &book, const Arguments &a)
{
    std::optional<QDate> from;
    std::optional<QDate> to;
    if (!ParseDay(a.from, &from) || !ParseDay(a.to, &to) || !a.positional.isEmpty()) {
        Error(QStringLiteral("日期应写作 YYYY-MM-DD"));
        return 2;
    }
    const QDate today = Today();
    bool ok = false;
    for (const DaySummary &d : book.Daily(from.value_or(to.value_or(today)), to.value_or(today), &ok)) {
        Out({d.day, QString::number(d.orders), QString::number(d.photos), NumberText(RoundHalfEven(d.squareMetres, 4)),
             YuanText(d.amount), QString::number(d.ordersWithoutAmount), QString::number(d.pending)});
    }
    return ok ? 0 : 3;
}

// orderbook confirm N | void N: a pending order printed after all, or not.
int Settle(OrderBook &book, OrderStatus status, const Arguments &a)
{
    bool number = false;
    const qint64 noteNumber = a.positional.size() == 1 ? a.positional[0].toLongLong(&number) : 0;
    if (!number) {
        Error(QStringLiteral("需要一个单号 N"));
        return 2;
    }
    QString error;
    if (book.SetStatus(noteNumber, status, &error))
        return 0;
    Error(error);
    return 1;
}

// orderbook status: which order book, and does it answer.
int Status(OrderBookSource &source)
{
    Out({QStringLiteral("订单库"), source.Description()});
    Out({QStringLiteral("柜台"), source.CounterName()});
    QString report;
    if (!source.Shared()) {
        QString error;
        const bool ok = source.Book(&error) != nullptr;
        Out({QStringLiteral("状态"), ok ? QStringLiteral("可用") : QStringLiteral("无法使用：") + error});
        return ok ? 0 : 3;
    }
    const bool answers = ProbeServer(Settings::Load().OrderBookConnection, &report);
    Out({QStringLiteral("状态"), answers ? report : CannotConnectMessage(report)});
    if (!answers)
        return 3;
    // Answering is not enough: the layout must be one this program uses,
    // and the role must be allowed to number and record orders.
    QString error;
    OrderBook *book = source.Book(&error);
    if (!book) {
        Out({QStringLiteral("问题"), error});
        return 3;
    }
    QStringList warnings;
    const QStringList problems = book->ServerProblems(&warnings);
    if (problems.isEmpty())
        Out({QStringLiteral("权限"), QStringLiteral("可以开单号、记录订单")});
    for (const QString &problem : problems)
        Out({QStringLiteral("问题"), problem});
    for (const QString &warning : std::as_const(warnings))
        Out({QStringLiteral("警告"), warning});
    return problems.isEmpty() ? 0 : 3;
}

// orderbook copy --to CONNINFO: the local order book onto the server.
int Copy(PhotoStore &store, const Arguments &a)
{
    if (a.to.trimmed().isEmpty() || !a.positional.isEmpty()) {
        Error(QStringLiteral("需要 --to CONNINFO（服务器的连接串）"));
        return 2;
    }
    const QString name = QStringLiteral("OrderBook-copy");
    int status = 0;
    {
        QString error;
        const QSqlDatabase server = OpenServer(a.to.trimmed(), name, &error);
        if (!server.isValid()) {
            Error(CannotConnectMessage(error));
            return 3;
        }
        CopyCounts counts;
        if (CopyOrderBook(StoreConnection::Of(store), server, &counts, &error)) {
            Out({QStringLiteral("已复制"), QStringLiteral("服务 %1 项，价格 %2 条，订单 %3 张")
                                               .arg(counts.services)
                                               .arg(counts.prices)
                                               .arg(counts.orders)});
            Out({QStringLiteral("下一个单号"), QString::number(counts.lastNoteNumber + 1)});
            // From now on this program folder uses the server, and its own
            // order book issues no numbers any more.
            const QString kept = WithoutPassword(a.to.trimmed());
            OrderBook local(StoreConnection::Of(store));
            Settings settings = Settings::Load();
            settings.OrderBookConnection = kept;
            QString saveError;
            if (!local.MarkMoved(kept, &saveError) || !settings.Save(&saveError)) {
                Error(QStringLiteral("订单库已复制，但本机设置未能改为使用服务器：") + saveError);
                status = 3;
            } else {
                Out({QStringLiteral("本机订单库"), QStringLiteral("已改用服务器；本机不再发单号")});
            }
            if (HasPassword(a.to))
                Error(PasswordPlaceMessage(a.to));
        } else {
            Error(QStringLiteral("复制失败：") + ServerErrorText(error));
            status = 3;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return status;
}

} // namespace

bool RunOrderBookCommand(const QString &command, const QStringList &args, Dialogs &dialogs, int *status)
{
    if (command != QLatin1String("prices") && command != QLatin1String("price") && command != QLatin1String("orders")
        && command != QLatin1String("daily") && command != QLatin1String("orderbook"))
        return false;
    Arguments a = Parse(args);
    const QString sub = command == QLatin1String("orderbook") && !a.positional.isEmpty() ? a.positional.takeFirst()
                                                                                          : QString();
    const bool settle = sub == QLatin1String("confirm") || sub == QLatin1String("void");
    if (!a.bad.isEmpty() || (command == QLatin1String("orderbook") && sub != QLatin1String("copy")
                             && sub != QLatin1String("status") && !settle)) {
        Error(QStringLiteral("未知的参数：%1").arg(a.bad.isEmpty() ? sub : a.bad));
        *status = 2;
        return true;
    }
    std::unique_ptr<PhotoStore> store = PhotoStore::OpenOrTell(DataMdbPath(), dialogs);
    if (!store) {
        *status = 2;
        return true;
    }
    if (sub == QLatin1String("copy")) {
        *status = Copy(*store, a);
        return true;
    }
    const Settings settings = Settings::Load();
    OrderBookSource source(*store, settings);
    if (sub == QLatin1String("status")) {
        *status = Status(source);
        return true;
    }
    QString error;
    OrderBook *opened = source.Book(&error);
    if (!opened) {
        Error(source.BookFailure(error));
        *status = 3;
        return true;
    }
    OrderBook &book = *opened;
    if (command == QLatin1String("prices"))
        *status = a.positional.isEmpty() ? Prices(book) : 2;
    else if (command == QLatin1String("price"))
        *status = SetPrice(book, a);
    else if (settle)
        *status = Settle(book, sub == QLatin1String("confirm") ? OrderStatus::Printed : OrderStatus::Voided, a);
    else if (command == QLatin1String("orders"))
        *status = Orders(book, a);
    else
        *status = Daily(book, a);
    return true;
}

} // namespace kestova
