// The report runtime: field access, pagination, and drawing a layout in
// twips onto a target's pages.
#include "report_model.h"

#include "label_text.h"
#include "print_target.h"

#include <QFont>
#include <QFontDatabase>
#include <QMetaObject>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace kestova {

namespace {

constexpr double TwipsPerInch = 1440.0;
// Rules are one screen pixel (15 twips) wide, as the designer shows them.
constexpr double RuleTwips = 15.0;

// Twips of the report to device units of the target: the report width is
// centred in the printable area, and shrunk to its width only when it would
// not fit (the mapping is exact otherwise).
struct TwipsMap {
    QPointF origin;
    double sx = 1;
    double sy = 1;
    double fit = 1;
    double pageHeightTwips = 0;

    QPointF Point(double x, double y) const { return origin + QPointF(x * sx, y * sy); }
    QRectF Rect(double left, double top, double width, double height) const
    {
        return QRectF(Point(left, top), QSizeF(width * sx, height * sy));
    }
};

TwipsMap MapFor(const PrintTarget &target, int reportWidth)
{
    const QRectF area = target.PrintableArea();
    const QSizeF dpi = target.Resolution();
    TwipsMap map;
    const double exactWidth = reportWidth * dpi.width() / TwipsPerInch;
    map.fit = exactWidth > area.width() && exactWidth > 0 ? area.width() / exactWidth : 1.0;
    map.sx = dpi.width() / TwipsPerInch * map.fit;
    map.sy = dpi.height() / TwipsPerInch * map.fit;
    map.origin = QPointF(area.left() + (area.width() - reportWidth * map.sx) / 2, area.top());
    map.pageHeightTwips = map.sy > 0 ? area.height() / map.sy : 0;
    return map;
}

struct Placement {
    const ReportSection *section;
    double top;  // twips below the top of the printable area
};
using Page = QList<Placement>;

const ReportSection &SectionFor(const ReportDesign &design, SectionRole role)
{
    static const ReportSection none;
    for (const ReportSection &s : design.sections) {
        if (s.role == role)
            return s;
    }
    return none;
}

// Page header at each page's top, page footer at its bottom; the report
// header, one detail per data row and the report footer flow in between. A
// section that does not fit below the page header goes on anyway.
QList<Page> Paginate(const ReportDesign &design, qsizetype rows, double pageHeight)
{
    const ReportSection &reportHeader = SectionFor(design, SectionRole::ReportHeader);
    const ReportSection &pageHeader = SectionFor(design, SectionRole::PageHeader);
    const ReportSection &detail = SectionFor(design, SectionRole::Detail);
    const ReportSection &pageFooter = SectionFor(design, SectionRole::PageFooter);
    const ReportSection &reportFooter = SectionFor(design, SectionRole::ReportFooter);
    const double bodyBottom = pageHeight - pageFooter.height;

    QList<Page> pages;
    double y = 0;
    const auto put = [&](const ReportSection &s) {
        pages.back().append({&s, y});
        y += s.height;
    };
    const auto startPage = [&] {
        pages.append(Page());
        y = 0;
        put(pageHeader);
    };
    const auto finishPage = [&] { pages.back().append({&pageFooter, bodyBottom}); };
    const auto flow = [&](const ReportSection &s) {
        if (y + s.height > bodyBottom && y > pageHeader.height) {
            finishPage();
            startPage();
        }
        put(s);
    };

    startPage();
    flow(reportHeader);
    for (qsizetype i = 0; i < rows; ++i)
        flow(detail);
    flow(reportFooter);
    finishPage();
    return pages;
}

// Text in its label's box with the label's alignment, fitted so that all
// of it can be read.
void DrawLabel(QPainter &painter, const TwipsMap &map, const ReportControl &label, double sectionTop,
               const ReportFont &font)
{
    if (label.text.isEmpty())
        return;
    const QRectF box = map.Rect(label.left, sectionTop + label.top, label.width, label.height);
    DrawLabelText(painter, label.text, font, label.alignment, box, map.sx, map.sy, map.fit);
}

void DrawPage(QPainter &painter, const TwipsMap &map, const Page &page, const ReportDesign &design)
{
    QPen rule(Qt::black, RuleTwips * map.sx, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    for (const Placement &placed : page) {
        for (const ReportControl &c : placed.section->controls) {
            const double top = placed.top + c.top;
            switch (c.kind) {
            case ControlKind::Label:
                DrawLabel(painter, map, c, placed.top, c.font.value_or(design.defaultFont));
                break;
            case ControlKind::Line:
                painter.setPen(rule);
                painter.drawLine(map.Point(c.left, top), map.Point(c.left + c.width, top + c.height));
                break;
            case ControlKind::Rectangle:
                painter.setPen(rule);
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(map.Rect(c.left, top, c.width, c.height));
                break;
            }
        }
    }
}

const ReportControl *FindLabel(const ReportDesign &design, const QString &section, const QString &name)
{
    for (const ReportSection &s : design.sections) {
        if (s.name != section)
            continue;
        for (const ReportControl &c : s.controls) {
            if (c.kind == ControlKind::Label && c.name == name)
                return &c;
        }
    }
    return nullptr;
}

} // namespace

Report::Report(ReportDesign design, QObject *parent)
    : QObject(parent)
    , m_design(std::move(design))
{
}

ReportControl *Report::Field(const QString &section, const QString &field)
{
    // Non-const access detaches this instance's controls from the design's.
    for (ReportSection &s : m_design.sections) {
        if (s.name != section)
            continue;
        for (ReportControl &c : s.controls) {
            if (c.kind == ControlKind::Label && c.name == field)
                return &c;
        }
    }
    return nullptr;
}

QString Report::FieldText(const QString &section, const QString &field) const
{
    const ReportControl *c = FindLabel(m_design, section, field);
    return c ? c->text : QString();
}

bool Report::SetFieldText(const QString &section, const QString &field, const QString &text)
{
    ReportControl *c = Field(section, field);
    if (c)
        c->text = text;
    return c != nullptr;
}

void Report::SetDataSource(QList<QSqlRecord> rows)
{
    m_rows = std::move(rows);
}

bool Report::PrintReport(PrintTarget &target, AsyncJob kind)
{
    InstallSongFontSubstitution();
    QPainter *painter = target.NewPage();
    if (!painter)
        return false;
    const TwipsMap map = MapFor(target, m_design.reportWidth);
    const QList<Page> pages = Paginate(m_design, m_rows.size(), map.pageHeightTwips);
    const int cookie = m_nextCookie++;
    const int total = static_cast<int>(pages.size());
    for (int i = 0; i < total; ++i) {
        if (i > 0 && !(painter = target.NewPage()))
            return false;
        DrawPage(*painter, map, pages[i], m_design);
        // Notices reach their handlers only once the caller has returned to
        // the event loop, so a job can go on filling this instance.
        QMetaObject::invokeMethod(
            this, [this, kind, cookie, done = i + 1, total] { emit AsyncProgress(kind, cookie, done, total); },
            Qt::QueuedConnection);
    }
    return true;
}

ReportSlot::ReportSlot(const ReportDesign &design, QObject *parent)
    : QObject(parent)
    , m_design(design)
{
}

ReportSlot::~ReportSlot() = default;

Report &ReportSlot::Instance()
{
    if (!m_instance) {
        m_instance = new Report(m_design, this);
        connect(m_instance, &Report::AsyncProgress, this, &ReportSlot::OnAsyncProgress);
    }
    return *m_instance;
}

void ReportSlot::Discard()
{
    if (!m_instance)
        return;
    // Later notices of the old instance must not reach a new one.
    disconnect(m_instance, nullptr, this, nullptr);
    m_instance->deleteLater();
    m_instance = nullptr;
}

void ReportSlot::OnAsyncProgress(AsyncJob kind, int, int pagesCompleted, int pagesTotal)
{
    if (kind == AsyncJob::Print && pagesCompleted == pagesTotal)
        Discard();
}

void InstallSongFontSubstitution()
{
    static const bool installed = [] {
        const QStringList song = {QStringLiteral("宋体"), QStringLiteral("SimSun")};
        if (std::any_of(song.begin(), song.end(), [](const QString &f) { return QFontDatabase::hasFamily(f); }))
            return true;
        const QStringList standIns = {
            QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
            QStringLiteral("Source Han Serif CN"), QStringLiteral("AR PL UMing CN"),
        };
        for (const QString &face : standIns) {
            if (QFontDatabase::hasFamily(face)) {
                for (const QString &name : song)
                    QFont::insertSubstitution(name, face);
                return true;
            }
        }
        return false;
    }();
    (void)installed;
}

} // namespace kestova
