// The order as pages: twips onto a target, the pagination rules, the texts
// of a page, and the Song face's stand-in.
#include "order_pages.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

namespace kestova::test {
namespace {

TEST(TwipsMap, CentresTheLayoutAndShrinksItOnlyWhenTooWide)
{
    struct Case {
        QRectF area;
        QSizeF dpi;
        QPointF origin;
        double sx, sy, fit;
    };
    const QList<Case> cases = {
        // 720 px of a 7200-twip layout in 1000 px: 140 px on each side.
        {QRectF(50, 30, 1000, 700), QSizeF(144, 144), QPointF(190, 30), 0.1, 0.1, 1},
        {QRectF(10, 20, 720, 100), QSizeF(144, 144), QPointF(10, 20), 0.1, 0.1, 1},
        {QRectF(100, 0, 500, 400), QSizeF(144, 144), QPointF(100, 0), 0.1 * 500 / 720, 0.1 * 500 / 720, 500.0 / 720},
        {QRectF(0, 0, 5000, 3000), QSizeF(600, 300), QPointF(1000, 0), 600.0 / 1440, 300.0 / 1440, 1},
    };
    for (const Case &c : cases) {
        const TwipsMap map = TwipsMap::For(c.area, c.dpi, 7200);
        SCOPED_TRACE(c.area.width());
        EXPECT_NEAR(map.origin.x(), c.origin.x(), 1e-9);
        EXPECT_NEAR(map.origin.y(), c.origin.y(), 1e-9);
        EXPECT_NEAR(map.sx, c.sx, 1e-12);
        EXPECT_NEAR(map.sy, c.sy, 1e-12);
        EXPECT_NEAR(map.fit, c.fit, 1e-12);
    }
}

OrderContent Order(int sizes, bool total)
{
    OrderContent content;
    content.info.NoteNumber = QStringLiteral("1207");
    content.info.ServiceName = QStringLiteral("证件照");
    for (int i = 1; i <= sizes; ++i)
        content.order.lines.append({QStringLiteral("%1*%2").arg(10 + i).arg(i), i, i / 100.0, {}, {}});
    if (total)
        content.order.lines.append({QStringLiteral("合计"), sizes, sizes / 10.0, {}, {}});
    return content;
}

TEST(PaginateOrder, TenRowsAPageWithTheTotalLastAndNoPageForATotalAlone)
{
    struct Case {
        int sizes;
        bool total;
        QList<qsizetype> rows;  // per page
    };
    const QList<Case> cases = {
        {0, false, {}}, {0, true, {}},        {3, true, {4}},          {10, false, {10}},
        {10, true, {10, 1}}, {12, true, {10, 3}}, {20, true, {10, 10, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.sizes << " sizes, total " << c.total);
        const QList<OrderSheet> sheets = PaginateOrder(Order(c.sizes, c.total));
        QList<qsizetype> rows;
        for (const OrderSheet &sheet : sheets) {
            rows << sheet.rows.size();
            EXPECT_EQ(sheet.noteNumber, QStringLiteral("1207"));
        }
        EXPECT_EQ(rows, c.rows);
        if (!sheets.isEmpty()) {
            EXPECT_EQ(sheets.last().rows.last().service, c.total ? QStringLiteral("合计") : QStringLiteral("证件照"));
        }
    }
}

TEST(PaginateOrder, APageShowsTheOrderAsRecorded)
{
    OrderContent content = Order(0, false);
    content.reprint = true;
    content.info.MemberName = QStringLiteral("张三");
    content.info.Remark = QStringLiteral("加急");
    content.info.Append = QStringLiteral("过塑");
    content.issuedAt = QDateTime(QDate(2026, 1, 5), QTime(23, 59));
    content.sizeUnit = LengthUnit::Inch;
    content.areaUnit = AreaUnit::SquareCentimetre;
    content.order.lines = {{QStringLiteral("15.24*10.16"), 3, 0.05, 40, 120},
                           {QStringLiteral("30x40"), qint64(1), QStringLiteral("0.12"), {}, {}},
                           {QStringLiteral(" 合计 "), 4, 0.17, {}, {}}};
    const QList<OrderSheet> sheets = PaginateOrder(content);
    ASSERT_EQ(sheets.size(), 1);
    const OrderSheet &page = sheets[0];
    EXPECT_EQ(page.noteNumber, QStringLiteral("1207 补打"));
    EXPECT_EQ(page.date, QStringLiteral("2026/1/5"));
    EXPECT_EQ(page.memberName + page.remark + page.append, QStringLiteral("张三加急过塑"));
    EXPECT_EQ(page.captions.length, QStringLiteral("长(in)"));
    EXPECT_EQ(page.captions.area, QStringLiteral("面积(cm²)"));
    const QList<OrderRow> rows = {
        {QStringLiteral("证件照"), QStringLiteral("15.24"), QStringLiteral("10.16"), "3", "0.05", "1.20"},
        {QStringLiteral("证件照"), QStringLiteral("30x40"), {}, "1", "0.12", {}},
        {QStringLiteral(" 合计 "), {}, {}, "4", "0.17", {}},
    };
    EXPECT_EQ(page.rows, rows);
}

TEST(SongFont, AnInstalledChineseFaceStandsInForSimSun)
{
    InstallSongFontSubstitution();
    const QString family = QFontInfo(QFont(QStringLiteral("宋体"))).family();
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).size())
        GTEST_SKIP() << "no Chinese font installed";
    EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
        << family.toStdString();
}

} // namespace
} // namespace kestova::test
