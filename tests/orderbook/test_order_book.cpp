// The order book: money arithmetic, prices per service and size, orders
// recorded and found again line for line, the daily summary, the upgrade of
// a store made before the order book existed, and the command-line tool.
#include "numbers.h"
#include "order_book.h"
#include "order_book_statements.h"
#include "order_csv.h"
#include "photo_store.h"
#include "program_folder.h"
#include "sandbox.h"
#include "store_connection.h"
#include "store_statements.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <limits>

#include <gtest/gtest.h>

using namespace kestova;
using namespace kestova::test;

namespace {

TotalRow Size(const QString &size, qint64 count, double area)
{
    return TotalRow{size, count, area};
}

QList<TotalRow> Totals(const QList<TotalRow> &sizes)
{
    QList<TotalRow> rows = sizes;
    qint64 count = 0;
    double area = 0;
    for (const TotalRow &r : sizes) {
        count += r.PhotoAmount.toLongLong();
        area += r.PhotoArea.toDouble();
    }
    rows.append(TotalRow{QStringLiteral("合计"), count, RoundHalfEven(area, 2)});
    return rows;
}

QStringList AmountTexts(const PricedOrder &order)
{
    QStringList texts;
    for (const PricedLine &line : order.lines)
        texts << (line.amount ? YuanText(*line.amount) : QString());
    return texts;
}

} // namespace

TEST(Money, YuanTextParsingAndAreaAmountsRoundHalfAwayOnTheDecimalText)
{
    EXPECT_EQ(YuanText(1250), QStringLiteral("12.50"));
    EXPECT_EQ(YuanText(5), QStringLiteral("0.05"));
    EXPECT_EQ(YuanText(0), QStringLiteral("0.00"));

    qint64 fen = -1;
    EXPECT_TRUE(ParseYuan(QStringLiteral("12"), &fen) && fen == 1200);
    EXPECT_TRUE(ParseYuan(QStringLiteral(" 12.5 "), &fen) && fen == 1250);
    EXPECT_TRUE(ParseYuan(QStringLiteral("0.08"), &fen) && fen == 8);
    EXPECT_TRUE(ParseYuan(QStringLiteral("7."), &fen) && fen == 700);
    for (const char *bad : {"12.345", "-1", "abc", "", "1e3", "１２", "123456789"})
        EXPECT_FALSE(ParseYuan(QString::fromUtf8(bad), &fen)) << bad;

}

TEST(Money, AreaAmountsComeExactlyFromTheSizeAsPrinted)
{
    const struct {
        const char *size;
        LengthUnit unit;
        qint64 count;
        qint64 fenPerM2;
        std::optional<qint64> fen;
    } cases[] = {
        // 6 × 0.1524 × 0.1016 m² × 35 yuan = 3.2516… yuan.
        {"15.24*10.16", LengthUnit::Centimetre, 6, 3500, 325},
        // 0.5 fen exactly goes away from zero: 1 cm² at 50 yuan/m².
        {"1*1", LengthUnit::Centimetre, 1, 5000, 1},
        {"1*1", LengthUnit::Centimetre, 1, 4900, 0},
        // An inch is 2.54 cm exactly: 6 × 4 in² = 154.8384 cm², × 10 at 20 yuan.
        {"6*4", LengthUnit::Inch, 10, 2000, 310},
        {"7.5*5", LengthUnit::Inch, 2, 100000, 4839},
        // 10 m a side is the most a printer makes; beyond it, and a zero
        // side, are no print sizes.
        {"1000*1000", LengthUnit::Centimetre, 1, 100, 10000},
        {"1000.01*10", LengthUnit::Centimetre, 1, 100, std::nullopt},
        {"393.8*1", LengthUnit::Inch, 1, 100, std::nullopt},
        {"0*10", LengthUnit::Centimetre, 1, 100, std::nullopt},
        {"5368708946*5368708946", LengthUnit::Centimetre, 1, 3500, std::nullopt},
        {"1E+15*2", LengthUnit::Centimetre, 1, 100, std::nullopt},
        {"30", LengthUnit::Centimetre, 1, 100, std::nullopt},
        // Amounts beyond 99,999,999.99 yuan, however many photos, are refused.
        {"100*100", LengthUnit::Centimetre, 1, 9'999'999'999, 9'999'999'999},
        {"100*100", LengthUnit::Centimetre, 2, 9'999'999'999, std::nullopt},
        {"1000*1000", LengthUnit::Centimetre, std::numeric_limits<qint64>::max(), 9'999'999'999, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SizeAmountFen(QString::fromLatin1(c.size), c.unit, c.count, c.fenPerM2), c.fen) << c.size;
    EXPECT_EQ(PhotoAmountFen(3, 80), 240);
    EXPECT_FALSE(PhotoAmountFen(std::numeric_limits<qint64>::max() / 2, 80).has_value());
}

TEST(PriceTotals, RowAmountsAndATotalOnlyWhenEverySizeHasAPrice)
{
    const QList<TotalRow> rows = Totals({Size("15.24*10.16", 12, 0.19), Size("20.32*15.24", 3, 0.09)});
    ServicePrices perPhoto{QStringLiteral("数码冲印（光面）"), PricingKind::PerPhoto, 0,
                           {{QStringLiteral("15.24*10.16"), 80}, {QStringLiteral("20.32*15.24"), 250}}};
    EXPECT_EQ(AmountTexts(PriceTotals(rows, perPhoto, LengthUnit::Centimetre)), (QStringList{"9.60", "7.50", "17.10"}));

    // One size without a price: its amount and the total stay empty.
    perPhoto.perPhoto.remove(QStringLiteral("20.32*15.24"));
    const PricedOrder partial = PriceTotals(rows, perPhoto, LengthUnit::Centimetre);
    EXPECT_EQ(AmountTexts(partial), (QStringList{"9.60", "", ""}));
    EXPECT_FALSE(partial.TotalAmount().has_value());

    // Per square metre, from the sizes whatever the rounded areas say:
    // 12 × 0.0154838 m² and 3 × 0.0309677 m² at 45 yuan/m².
    const ServicePrices poster{QStringLiteral("写真海报"), PricingKind::PerSquareMetre, 4500, {}};
    const QList<TotalRow> rounded = Totals({Size("15.24*10.16", 12, 0), Size("20.32*15.24", 3, 1900)});
    EXPECT_EQ(AmountTexts(PriceTotals(rounded, poster, LengthUnit::Centimetre)),
              (QStringList{"8.36", "4.18", "12.54"}));

    // A count without images: only an empty total row, and no amount.
    const QList<TotalRow> none{TotalRow{QStringLiteral("合计"), QVariant(), QVariant()}};
    EXPECT_FALSE(PriceTotals(none, poster, LengthUnit::Centimetre).TotalAmount().has_value());
    // No price at all: nothing is invented.
    EXPECT_EQ(AmountTexts(PriceTotals(rows, ServicePrices{}, LengthUnit::Centimetre)), (QStringList{"", "", ""}));

    // A size no printer makes refuses the order, priced or not; so does a
    // total beyond what one order may cost.
    const QList<TotalRow> huge = Totals({Size("15.24*10.16", 1, 0.02), Size("5368708946*10", 1, 1)});
    const PricedOrder refused = PriceTotals(huge, ServicePrices{}, LengthUnit::Centimetre);
    EXPECT_EQ(refused.refusal, PricedOrder::Refusal::UnprintableSize);
    EXPECT_EQ(refused.refusedSize, QStringLiteral("5368708946*10"));
    const ServicePrices dear{QStringLiteral("证件照"), PricingKind::PerPhoto, 0,
                             {{QStringLiteral("15.24*10.16"), 6'000'000'000}, {QStringLiteral("20.32*15.24"), 6'000'000'000}}};
    const PricedOrder tooDear = PriceTotals(rows, dear, LengthUnit::Centimetre);
    EXPECT_EQ(tooDear.refusal, PricedOrder::Refusal::AmountTooLarge);
}

class OrderBookTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        box.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        book = std::make_unique<OrderBook>(StoreConnection::Of(*store));
        ASSERT_TRUE(book->Upgrade());
    }

    OrderRecordData Order(qint64 number, const QString &customer, const QDateTime &at, const PricedOrder &priced,
                          AreaUnit areaUnit = AreaUnit::SquareMetre)
    {
        OrderRecordData o;
        o.noteNumber = number;
        o.issuedAt = at;
        o.memberName = customer;
        o.remark = QStringLiteral("加急\n周五取");
        o.service = QStringLiteral("数码冲印（光面）");
        o.folder = QStringLiteral("/照片/") + customer + u'/';
        o.sizeUnit = LengthUnit::Centimetre;
        o.areaUnit = areaUnit;
        o.order = priced;
        return o;
    }

    Sandbox box;
    std::unique_ptr<PhotoStore> store;
    std::unique_ptr<OrderBook> book;
};

TEST_F(OrderBookTest, PricesAreLookedUpByServiceAndSizeAndOneKindAtATime)
{
    const QString glossy = QStringLiteral("数码冲印（光面）");
    ASSERT_TRUE(book->SetSizePrice(glossy, QStringLiteral("15.24*10.16"), 80));
    ASSERT_TRUE(book->SetSizePrice(glossy, QStringLiteral("20.32*15.24"), 250));
    ASSERT_TRUE(book->SetSizePrice(glossy, QStringLiteral("15.24*10.16"), 90)); // replaces
    ServicePrices p = book->PricesOf(glossy);
    EXPECT_EQ(p.kind, PricingKind::PerPhoto);
    EXPECT_EQ(p.perPhoto, (QMap<QString, qint64>{{"15.24*10.16", 90}, {"20.32*15.24", 250}}));
    EXPECT_EQ(book->PricesOf(QStringLiteral("证件照")).kind, PricingKind::None);

    // Switching to a price per m² drops the size prices, and back.
    ASSERT_TRUE(book->SetPerSquareMetre(glossy, 4500));
    p = book->PricesOf(glossy);
    EXPECT_EQ(p.kind, PricingKind::PerSquareMetre);
    EXPECT_EQ(p.perSquareMetre, 4500);
    EXPECT_TRUE(p.perPhoto.isEmpty());
    ASSERT_TRUE(book->SetSizePrice(glossy, QStringLiteral("6*4"), 100));
    EXPECT_EQ(book->PricesOf(glossy).kind, PricingKind::PerPhoto);

    QString error;
    EXPECT_FALSE(book->SetPerSquareMetre(QStringLiteral("不存在的服务"), 100, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("没有这项服务")));
    EXPECT_EQ(book->Prices().size(), 4); // every service of the list, priced or not
}

TEST_F(OrderBookTest, RecordedOrdersAreFoundLineForLineAndSummedPerDay)
{
    const ServicePrices prices{QStringLiteral("数码冲印（光面）"), PricingKind::PerPhoto, 0,
                               {{QStringLiteral("15.24*10.16"), 80}}};
    const PricedOrder priced = PriceTotals(Totals({Size("15.24*10.16", 12, 0.19)}), prices, LengthUnit::Centimetre);
    const PricedOrder unpriced = PriceTotals(Totals({Size("30*20", 1, 600)}), prices, LengthUnit::Centimetre);
    const QDateTime monday(QDate(2026, 12, 7), QTime(9, 30, 5));
    ASSERT_TRUE(book->Record(Order(41, QStringLiteral("张三"), monday, priced)));
    ASSERT_TRUE(book->Record(Order(42, QStringLiteral("李四_100%"), monday.addSecs(3600), unpriced,
                                   AreaUnit::SquareCentimetre)));
    ASSERT_TRUE(book->Record(Order(43, QStringLiteral("张三丰"), monday.addDays(1), priced)));
    // A note number is recorded once: the second attempt changes nothing.
    EXPECT_FALSE(book->Record(Order(41, QStringLiteral("王五"), monday, priced)));

    const std::optional<OrderRecordData> found = book->Find(41);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->memberName, QStringLiteral("张三"));
    EXPECT_EQ(found->remark, QStringLiteral("加急\n周五取"));
    EXPECT_EQ(found->issuedAt, monday);
    ASSERT_EQ(found->order.lines.size(), priced.lines.size());
    for (int i = 0; i < priced.lines.size(); ++i) {
        EXPECT_EQ(found->order.lines[i].size, priced.lines[i].size);
        EXPECT_EQ(found->order.lines[i].count.toLongLong(), priced.lines[i].count.toLongLong());
        EXPECT_EQ(found->order.lines[i].area.toDouble(), priced.lines[i].area.toDouble());
        EXPECT_EQ(found->order.lines[i].price, priced.lines[i].price);
        EXPECT_EQ(found->order.lines[i].amount, priced.lines[i].amount);
    }
    EXPECT_FALSE(book->Find(99).has_value());

    const auto numbers = [&](const OrderSearch &s) {
        QList<qint64> list;
        for (const OrderListEntry &e : book->Search(s))
            list << e.noteNumber;
        return list;
    };
    EXPECT_EQ(numbers({}), (QList<qint64>{43, 42, 41})); // newest first
    EXPECT_EQ(numbers({std::nullopt, std::nullopt, QStringLiteral("张三")}), (QList<qint64>{43, 41}));
    EXPECT_EQ(numbers({std::nullopt, std::nullopt, QStringLiteral("100%")}), (QList<qint64>{42}));
    EXPECT_EQ(numbers({std::nullopt, std::nullopt, QStringLiteral("%")}), (QList<qint64>{42})); // literal
    EXPECT_EQ(numbers({QDate(2026, 12, 8), std::nullopt, {}}), (QList<qint64>{43}));
    EXPECT_EQ(numbers({std::nullopt, QDate(2026, 12, 7), {}, 42}), (QList<qint64>{42}));

    const QList<DaySummary> days = book->Daily(QDate(2026, 12, 1), QDate(2026, 12, 31));
    ASSERT_EQ(days.size(), 3);
    EXPECT_EQ(days[0].day, QStringLiteral("2026-12-07"));
    EXPECT_EQ(days[0].orders, 2);
    EXPECT_EQ(days[0].photos, 13);
    EXPECT_DOUBLE_EQ(days[0].squareMetres, 0.19 + 0.06); // 600 cm² counted as 0.06 m²
    EXPECT_EQ(days[0].amount, 960);
    EXPECT_EQ(days[0].ordersWithoutAmount, 1);
    EXPECT_EQ(days[2].day, QStringLiteral("合计"));
    EXPECT_EQ(days[2].orders, 3);
    EXPECT_EQ(days[2].amount, 1920);
}

// An order is recorded pending before it prints: tried again it replaces
// only its own pending record; once printed or voided it never changes, and
// the day counts printed orders, tells pending ones apart and leaves voided
// ones out.
TEST_F(OrderBookTest, PendingOrdersAreReplacedOnlyByThemselvesAndCountedApart)
{
    const ServicePrices prices{QStringLiteral("数码冲印（光面）"), PricingKind::PerPhoto, 0,
                               {{QStringLiteral("15.24*10.16"), 80}}};
    const PricedOrder priced = PriceTotals(Totals({Size("15.24*10.16", 12, 0.19)}), prices, LengthUnit::Centimetre);
    const QDateTime at(QDate(2026, 12, 7), QTime(9, 30));
    OrderRecordData printed = Order(41, QStringLiteral("张三"), at, priced);
    ASSERT_TRUE(book->Record(printed));
    OrderRecordData pending = Order(41, QStringLiteral("王五"), at, priced);
    pending.status = OrderStatus::Pending;
    EXPECT_FALSE(book->Record(pending)); // a printed order is never replaced
    EXPECT_EQ(book->Find(41)->memberName, QStringLiteral("张三"));
    EXPECT_FALSE(book->SetStatus(41, OrderStatus::Voided));
    EXPECT_FALSE(book->RemovePending(41) && !book->Find(41));

    for (qint64 n : {42, 43, 44}) {
        pending.noteNumber = n;
        ASSERT_TRUE(book->Record(pending));
    }
    pending.memberName = QStringLiteral("赵六"); // the same order tried again
    ASSERT_TRUE(book->Record(pending));
    EXPECT_EQ(book->Find(44)->memberName, QStringLiteral("赵六"));
    EXPECT_EQ(book->Find(44)->order.lines.size(), priced.lines.size());
    ASSERT_TRUE(book->SetStatus(42, OrderStatus::Printed));
    ASSERT_TRUE(book->SetStatus(43, OrderStatus::Voided));
    EXPECT_FALSE(book->SetStatus(43, OrderStatus::Printed));
    EXPECT_EQ(book->Find(44)->status, OrderStatus::Pending);

    const DaySummary day = book->Daily(at.date(), at.date()).last();
    EXPECT_EQ(day.orders, 2);
    EXPECT_EQ(day.photos, 24);
    EXPECT_EQ(day.amount, 1920);
    EXPECT_EQ(day.pending, 1);
}

// A store laid down by the version before the order book, with a count and
// a note number in it: opened, it gains the new tables and keeps the rest.
TEST(OrderBookUpgrade, AStoreOfThePreviousVersionIsUpgradedInPlace)
{
    Sandbox box;
    const QString mdb = DataMdbPath();
    ASSERT_TRUE(QFile::copy(SourcePath(QStringLiteral("tests/orderbook/data/previous_version.mdb")), mdb));
    QFile::setPermissions(mdb, QFile::ReadOwner | QFile::WriteOwner);
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(mdb);
    ASSERT_TRUE(store);
    const QList<QStringList> before = QueryRows(StoreConnection::Of(*store), QStringLiteral(
        "SELECT type, name, sql FROM sqlite_master ORDER BY name"));
    const QList<QStringList> totals = QueryRows(StoreConnection::Of(*store), Statement::SelectTotalExport);
    ASSERT_EQ(totals.size(), 2);

    OrderBook book(StoreConnection::Of(*store));
    ASSERT_TRUE(book.Upgrade());
    ASSERT_TRUE(book.Upgrade()); // a second time finds everything there
    QList<QStringList> after = QueryRows(StoreConnection::Of(*store), QStringLiteral(
        "SELECT type, name, sql FROM sqlite_master ORDER BY name"));
    for (const QStringList &entry : before)
        EXPECT_TRUE(after.contains(entry)) << entry.join(u' ').toStdString();
    QStringList added;
    for (const QStringList &entry : after) {
        if (!before.contains(entry) && entry[0] != QLatin1String("index"))
            added << entry[1];
    }
    EXPECT_EQ(added, (QStringList{"OrderBookVersion", "OrderLine", "OrderRecord", "PriceList", "SizePrice"}));
    EXPECT_EQ(QueryRows(StoreConnection::Of(*store), Statement::SelectTotalExport), totals);
    // The old statements still work: a new note number follows the old one.
    const std::optional<qint64> number = store->IssueNoteNumber();
    ASSERT_TRUE(number);
    EXPECT_EQ(*number, 2);
    EXPECT_EQ(book.Prices().size(), 4);
}

// A store whose order book came with the first release (no counter names,
// no version): its orders are kept and gain the counter column.
TEST(OrderBookUpgrade, TheFirstOrderBookLayoutGainsTheCounterName)
{
    Sandbox box;
    box.createStore();
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
    ASSERT_TRUE(store);
    QSqlQuery q(StoreConnection::Of(*store));
    for (const char *text : Statement::OrderBook::Step1)
        ASSERT_TRUE(q.exec(QString::fromLatin1(text)));
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO OrderRecord(NoteNumber, IssuedAt, IssuedOn, MemberName)"
                                      " VALUES(3, '2026-11-30 18:00:00', '2026-11-30', '老客户')")));
    OrderBook book(StoreConnection::Of(*store));
    ASSERT_TRUE(book.Upgrade());
    const std::optional<OrderRecordData> old = book.Find(3);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->memberName, QStringLiteral("老客户"));
    EXPECT_TRUE(old->counterName.isEmpty());
    EXPECT_EQ(old->status, OrderStatus::Printed);
    EXPECT_EQ(QueryRows(StoreConnection::Of(*store), QStringLiteral("SELECT Version FROM OrderBookVersion")),
              (QList<QStringList>{{QString::number(Statement::OrderBook::Version)}}));
}

TEST(OrderBookCommands, PricesOrdersAndDailyFromTheCommandLine)
{
    Sandbox box;
    const QString dir = box.path(QStringLiteral("prog"));
    ASSERT_EQ(RunCountTool({"setup", "--program-dir", dir}).status, 0);
    CountToolRun r = RunCountTool({"price", "set", "数码冲印（光面）", "--size", "15.24*10.16", "0.8",
                                   "--program-dir", dir});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(RunCountTool({"price", "set", "写真海报", "--per-m2", "45", "--program-dir", dir}).status, 0);
    EXPECT_EQ(RunCountTool({"price", "set", "证件照", "--per-m2", "1.234", "--program-dir", dir}).status, 2);
    EXPECT_EQ(RunCountTool({"price", "set", "无此服务", "--per-m2", "1", "--program-dir", dir}).status, 3);

    r = RunCountTool({"prices", "--program-dir", dir});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("数码冲印（光面）\t15.24*10.16\t0.80\n数码冲印（绒面）\t\t\n证件照\t\t\n"
                                    "写真海报\tm2\t45.00\n"));

    {
        SetProgramFolder(dir);
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        OrderBook book(StoreConnection::Of(*store));
        ASSERT_TRUE(book.Upgrade());
        OrderRecordData o;
        o.noteNumber = 7;
        o.issuedAt = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
        o.memberName = QStringLiteral("张三");
        o.service = QStringLiteral("数码冲印（光面）");
        o.areaUnit = AreaUnit::SquareMetre;
        o.counterName = QStringLiteral("前台");
        o.order = PriceTotals(Totals({Size("15.24*10.16", 12, 0.19)}), book.PricesOf(o.service), LengthUnit::Centimetre);
        ASSERT_TRUE(book.Record(o));
    }
    r = RunCountTool({"orders", "--customer", "张", "--program-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("7\t2026-12-08 10:00:00\t张三\t数码冲印（光面）\t12\t0.19\t9.60\t前台\t\n"));
    r = RunCountTool({"daily", "--from", "2026-12-01", "--to", "2026-12-31", "--program-dir", dir});
    EXPECT_EQ(r.out, QStringLiteral("2026-12-08\t1\t12\t0.19\t9.60\t0\t0\n合计\t1\t12\t0.19\t9.60\t0\t0\n"));
    EXPECT_EQ(RunCountTool({"daily", "--from", "8/12/2026", "--program-dir", dir}).status, 2);
}

TEST(OrderCsv, BytesForASpreadsheet)
{
    OrderListEntry plain{7, QStringLiteral("2026-12-08 10:00:00"), QStringLiteral("张三"),
                         QStringLiteral("数码冲印（光面）"), 12, 0.19, 960, QStringLiteral("柜台1")};
    OrderListEntry awkward{8, QStringLiteral("2026-12-08 11:00:00"), QStringLiteral("=1+1, \"王\""),
                           QStringLiteral("写真海报"), QVariant(), QVariant(), std::nullopt, QString(),
                           OrderStatus::Pending};
    EXPECT_EQ(OrdersCsv({plain, awkward}),
              QByteArray("\xEF\xBB\xBF") + QStringLiteral("单号,开单时间,客户,服务,张数,面积,金额,柜台,状态\r\n"
                                                          "7,2026-12-08 10:00:00,张三,数码冲印（光面）,12,0.19,9.60,柜台1,\r\n"
                                                          "8,2026-12-08 11:00:00,\"'=1+1, \"\"王\"\"\",写真海报,,,,,待确认\r\n")
                                                .toUtf8());
    EXPECT_EQ(DailyCsv({DaySummary{QStringLiteral("合计"), 3, 25, 0.44, 1920, 1, 2}}),
              QByteArray("\xEF\xBB\xBF") + QStringLiteral("日期,单数,张数,面积(平方米),金额,未定价单数,待确认单数\r\n"
                                                          "合计,3,25,0.44,19.20,1,2\r\n")
                                                .toUtf8());
}
