// The report runtime: twips mapping and placement on the page, text in its
// box, pagination and progress notices, fields, the layout's lifetime, and
// the rptPrintA4 design as the print job needs it.
#include "print_target.h"
#include "report_model.h"
#include "rpt_print_a4.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QSqlRecord>

#include <gtest/gtest.h>

#include <deque>

namespace kestova::test {
namespace {

// Pages drawn into white images of a given size and resolution, with a
// printable area anywhere on them.
class ImageTarget : public PrintTarget
{
public:
    ImageTarget(QSize size, double dpi, QRectF area) : m_size(size), m_dpi(dpi), m_area(area) {}
    ~ImageTarget() override { EndDocument(); }

    QPainter *NewPage() override
    {
        EndDocument();
        QImage page(m_size, QImage::Format_RGB32);
        page.fill(Qt::white);
        page.setDotsPerMeterX(qRound(m_dpi / 0.0254));
        page.setDotsPerMeterY(qRound(m_dpi / 0.0254));
        pages.push_back(page);
        m_painter.begin(&pages.back());
        return &m_painter;
    }
    QRectF PrintableArea() const override { return m_area; }
    QSizeF Resolution() const override { return {m_dpi, m_dpi}; }
    bool EndDocument() override
    {
        if (m_painter.isActive())
            m_painter.end();
        return true;
    }

    std::deque<QImage> pages;

private:
    QSize m_size;
    double m_dpi;
    QRectF m_area;
    QPainter m_painter;
};

bool Dark(const QImage &image, int x, int y)
{
    return image.valid(x, y) && qGray(image.pixel(x, y)) < 128;
}

// Dark anywhere within `radius` pixels of (x, y).
bool DarkNear(const QImage &image, int x, int y, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            if (Dark(image, x + dx, y + dy))
                return true;
        }
    }
    return false;
}

// The bounding box of the dark pixels inside `within`.
QRect InkBox(const QImage &image, const QRect &within)
{
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            if (Dark(image, x, y))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

ReportControl Label(const QString &name, const QString &text, int left, int top, int width, int height,
                    Qt::Alignment alignment = Qt::AlignLeft)
{
    return ReportControl{ControlKind::Label, name, left, top, width, height, text, alignment,
                         ReportFont{QStringLiteral("DejaVu Sans"), 12, false}};
}

ReportControl Box(int left, int top, int width, int height)
{
    return ReportControl{ControlKind::Rectangle, QStringLiteral("shp"), left, top, width, height, {}, {}, {}};
}

ReportControl Line(int left, int top, int width, int height)
{
    return ReportControl{ControlKind::Line, QStringLiteral("lin"), left, top, width, height, {}, {}, {}};
}

ReportDesign OneSection(int width, QList<ReportControl> controls)
{
    ReportDesign d;
    d.name = QStringLiteral("test");
    d.reportWidth = width;
    d.defaultFont = ReportFont{QStringLiteral("DejaVu Sans"), 8.25, false};
    d.sections = {ReportSection{QStringLiteral("Header"), SectionRole::ReportHeader, 4000, std::move(controls)}};
    return d;
}

// 144 dpi: ten twips to a pixel.
TEST(ReportRendering, TwipsMapExactlyAndTheReportIsCentredInThePrintableArea)
{
    Report report(OneSection(7200, {Box(1440, 720, 2880, 1440)}));
    ImageTarget target(QSize(1200, 800), 144, QRectF(50, 30, 1000, 700));
    ASSERT_TRUE(report.PrintReport(target));
    target.EndDocument();
    ASSERT_EQ(target.pages.size(), 1u);
    const QImage &page = target.pages.front();
    // 720 px of report in 1000 px of area: 140 px on each side.
    const int left = 50 + 140 + 144, top = 30 + 72, right = left + 288, bottom = top + 144;
    EXPECT_TRUE(DarkNear(page, left, top + 70));
    EXPECT_TRUE(DarkNear(page, right, top + 70));
    EXPECT_TRUE(DarkNear(page, left + 140, top));
    EXPECT_TRUE(DarkNear(page, left + 140, bottom));
    EXPECT_FALSE(DarkNear(page, left - 4, top + 70, 1));
    EXPECT_FALSE(DarkNear(page, right + 4, top + 70, 1));
    EXPECT_FALSE(DarkNear(page, left + 140, top + 70, 3));  // rectangles are not filled
}

TEST(ReportRendering, AReportWiderThanThePrintableAreaShrinksToItsWidth)
{
    Report report(OneSection(7200, {Line(0, 720, 7200, 0), Line(7200, 0, 0, 1440)}));
    ImageTarget target(QSize(700, 400), 144, QRectF(100, 0, 500, 400));
    ASSERT_TRUE(report.PrintReport(target));
    target.EndDocument();
    const QImage &page = target.pages.front();
    const int y = qRound(72 * 500.0 / 720);
    EXPECT_TRUE(DarkNear(page, 101, y));
    EXPECT_TRUE(DarkNear(page, 598, y));
    EXPECT_FALSE(DarkNear(page, 604, y, 2));  // the right edge is not cut off: it is in the area
    EXPECT_TRUE(DarkNear(page, 599, 20));
}

TEST(ReportRendering, TextStaysInItsBoxWithItsAlignment)
{
    // Boxes of 2880 x 300 twips: 288 x 30 px.
    Report report(OneSection(7200, {
        Label(QStringLiteral("left"), QStringLiteral("ABC"), 0, 0, 2880, 300),
        Label(QStringLiteral("centre"), QStringLiteral("ABC"), 0, 600, 2880, 300, Qt::AlignHCenter),
        Label(QStringLiteral("long"), QStringLiteral("■ ").repeated(12).trimmed(), 0, 1200, 1440, 300),
        Label(QStringLiteral("lines"), QStringLiteral("one\ntwo"), 0, 1800, 2880, 900),
    }));
    ImageTarget target(QSize(720, 400), 144, QRectF(0, 0, 720, 400));
    ASSERT_TRUE(report.PrintReport(target));
    target.EndDocument();
    const QImage &page = target.pages.front();

    const QRect left = InkBox(page, QRect(0, 0, 720, 60));
    ASSERT_FALSE(left.isEmpty());
    EXPECT_LE(left.left(), 4);
    EXPECT_GE(left.top(), 0);
    EXPECT_LE(left.bottom(), 30);

    const QRect centre = InkBox(page, QRect(0, 60, 720, 60));
    ASSERT_FALSE(centre.isEmpty());
    EXPECT_NEAR(centre.center().x(), 144, 3);
    EXPECT_EQ(centre.width(), left.width());

    // Too long for one line even condensed to 80 %: two lines at a smaller
    // size in the same box, every block still there.
    const QRect longText = InkBox(page, QRect(0, 110, 720, 70));
    ASSERT_FALSE(longText.isEmpty());
    EXPECT_GE(longText.left(), 0);
    EXPECT_LE(longText.right(), 144);
    EXPECT_GE(longText.top(), 120);
    EXPECT_LE(longText.bottom(), 150);
    QList<int> rows;  // one row through each band of ink
    for (int y = longText.top(), start = -1; y <= longText.bottom() + 1; ++y) {
        const bool ink = !InkBox(page, QRect(0, y, 720, 1)).isEmpty();
        if (ink && start < 0)
            start = y;
        if (!ink && start >= 0) {
            rows << (start + y) / 2;
            start = -1;
        }
    }
    ASSERT_EQ(rows.size(), 2);
    int blocks = 0;
    for (int y : rows) {
        for (int x = 0; x < 720; ++x)
            blocks += Dark(page, x, y) && !Dark(page, x - 1, y);
    }
    EXPECT_EQ(blocks, 12);

    // A taller box takes its text line by line: two bands of ink.
    const QRect lines = InkBox(page, QRect(0, 180, 720, 90));
    ASSERT_FALSE(lines.isEmpty());
    int bands = 0;
    bool inBand = false;
    for (int y = lines.top(); y <= lines.bottom() + 1; ++y) {
        const bool ink = !InkBox(page, QRect(0, y, 720, 1)).isEmpty();
        bands += ink && !inBand;
        inBand = ink;
    }
    EXPECT_EQ(bands, 2);
}

TEST(ReportPagination, SectionsFlowOverPagesAndEachPageIsReportedAfterTheRequest)
{
    ReportDesign d;
    d.reportWidth = 7200;
    d.defaultFont = ReportFont{QStringLiteral("DejaVu Sans"), 8.25, false};
    d.sections = {
        ReportSection{QStringLiteral("Section4"), SectionRole::ReportHeader, 0, {}},
        ReportSection{QStringLiteral("Section2"), SectionRole::PageHeader, 1440, {Box(0, 0, 7200, 1440)}},
        ReportSection{QStringLiteral("Section1"), SectionRole::Detail, 1440, {Box(0, 0, 3600, 1440)}},
        ReportSection{QStringLiteral("Section3"), SectionRole::PageFooter, 720, {Box(0, 0, 7200, 720)}},
        ReportSection{QStringLiteral("Section5"), SectionRole::ReportFooter, 0, {}},
    };
    Report report(d);
    report.SetDataSource(QList<QSqlRecord>(20));
    QList<std::tuple<AsyncJob, int, int, int>> notices;
    QObject::connect(&report, &Report::AsyncProgress, [&](AsyncJob kind, int cookie, int done, int total) {
        notices.append({kind, cookie, done, total});
    });

    // A page body of 14400 - 720 twips holds the page header and 8 details.
    ImageTarget target(QSize(720, 1440), 144, QRectF(0, 0, 720, 1440));
    ASSERT_TRUE(report.PrintReport(target));
    target.EndDocument();
    ASSERT_EQ(target.pages.size(), 3u);
    EXPECT_TRUE(notices.isEmpty());
    QCoreApplication::processEvents();
    ASSERT_EQ(notices.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::get<0>(notices[i]), AsyncJob::Print);
        EXPECT_EQ(std::get<1>(notices[i]), std::get<1>(notices[0]));
        EXPECT_EQ(std::get<2>(notices[i]), i + 1);
        EXPECT_EQ(std::get<3>(notices[i]), 3);
    }
    // Details of the last page: rows 17 to 20 below the page header; the
    // page footer at the foot of every page.
    const QImage &last = target.pages.back();
    EXPECT_TRUE(DarkNear(last, 360, 144 + 4 * 144));
    EXPECT_FALSE(DarkNear(last, 360, 144 + 5 * 144 + 20, 2));
    EXPECT_TRUE(DarkNear(last, 700, 1440 - 72));

    notices.clear();
    ASSERT_TRUE(report.PrintReport(target, AsyncJob::Preview));
    target.EndDocument();
    QCoreApplication::processEvents();
    ASSERT_EQ(notices.size(), 3);
    EXPECT_EQ(std::get<0>(notices[0]), AsyncJob::Preview);
}

TEST(ReportFields, AreAddressedBySectionAndNameAndStartFromTheDesign)
{
    const ReportDesign design = OneSection(7200, {Label(QStringLiteral("Name"), QString(), 0, 0, 1440, 300),
                                                   Box(0, 0, 100, 100)});
    Report report(design);
    EXPECT_TRUE(report.SetFieldText(QStringLiteral("Header"), QStringLiteral("Name"), QStringLiteral("x")));
    EXPECT_EQ(report.FieldText(QStringLiteral("Header"), QStringLiteral("Name")), QStringLiteral("x"));
    EXPECT_FALSE(report.SetFieldText(QStringLiteral("Detail"), QStringLiteral("Name"), QStringLiteral("y")));
    EXPECT_FALSE(report.SetFieldText(QStringLiteral("Header"), QStringLiteral("shp"), QStringLiteral("y")));
    EXPECT_EQ(report.Field(QStringLiteral("Header"), QStringLiteral("Other")), nullptr);
    EXPECT_EQ(Report(design).FieldText(QStringLiteral("Header"), QStringLiteral("Name")), QString());
}

TEST(ReportSlotLifetime, OnlyThePrintNoticeOfTheLastPageDiscardsTheInstance)
{
    ReportSlot slot(rptPrintA4());
    EXPECT_FALSE(slot.HasInstance());
    slot.Instance().SetFieldText(PrintA4::Section, PrintA4::NoteNumber, QStringLiteral("9"));
    slot.OnAsyncProgress(AsyncJob::Print, 1, 1, 2);
    slot.OnAsyncProgress(AsyncJob::Preview, 1, 2, 2);
    slot.OnAsyncProgress(AsyncJob::Export, 1, 2, 2);
    ASSERT_TRUE(slot.HasInstance());
    EXPECT_EQ(slot.Instance().FieldText(PrintA4::Section, PrintA4::NoteNumber), QStringLiteral("9"));
    slot.OnAsyncProgress(AsyncJob::Print, 1, 2, 2);
    EXPECT_FALSE(slot.HasInstance());
    EXPECT_EQ(slot.Instance().FieldText(PrintA4::Section, PrintA4::NoteNumber), QString());
}

TEST(PrintA4Design, HoldsEveryFieldTheJobFillsEmptyAndPrintsOnePagePerRequest)
{
    using namespace PrintA4;
    Report report(rptPrintA4());
    QStringList names = {NoteNumber, MemberName, Remark, SumDate, Append};
    for (int n = 1; n <= Rows; ++n) {
        for (const QString &family : {ServiceName, PhotoHeight, PhotoWidth, PhotoAmount, PhotoArea})
            names << RowField(family, n);
    }
    for (const QString &name : names) {
        const ReportControl *field = report.Field(Section, name);
        ASSERT_NE(field, nullptr) << name.toStdString();
        EXPECT_TRUE(field->text.isEmpty()) << name.toStdString();
        // Inside the report width and the section.
        EXPECT_LE(field->left + field->width, rptPrintA4().reportWidth) << name.toStdString();
        EXPECT_LE(field->top + field->height, rptPrintA4().sections[0].height) << name.toStdString();
    }
    EXPECT_EQ(report.Field(QStringLiteral("Section1"), RowField(ServiceName, 1)), nullptr);

    report.SetDataSource(QList<QSqlRecord>(1));
    // A4 at 72 dpi with 4 mm margins at the sides.
    ImageTarget target(QSize(595, 842), 72, QRectF(11, 28, 573, 786));
    ASSERT_TRUE(report.PrintReport(target));
    target.EndDocument();
    EXPECT_EQ(target.pages.size(), 1u);
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
