// The program's own small report runtime: a layout design (sections holding
// labels, lines and rectangles, all measured in twips), a layout instance made
// from a design whose labels are addressed by section and name, a data source,
// the print request that renders the instance page by page onto a PrintTarget,
// and the progress notice that lets a layout discard its instance.
#pragma once

#include <QList>
#include <QObject>
#include <QSqlRecord>
#include <QString>

#include <memory>
#include <optional>

class QPainter;

namespace kestova {

class PrintTarget;

struct ReportFont {
    QString face;
    double points = 0;
    bool bold = false;
};

enum class ControlKind { Label, Line, Rectangle };

// One control of a section. Lengths are twips from the section's top-left.
// A line runs from (left, top) to (left + width, top + height).
struct ReportControl {
    ControlKind kind = ControlKind::Label;
    QString name;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    // Labels only. A field is a label whose text the program sets at run
    // time; its text in the design is empty.
    QString text;
    Qt::Alignment alignment = Qt::AlignLeft;
    std::optional<ReportFont> font;  // none: the layout's default font
};

enum class SectionRole { ReportHeader, PageHeader, Detail, PageFooter, ReportFooter };

struct ReportSection {
    QString name;
    SectionRole role = SectionRole::Detail;
    int height = 0;
    QList<ReportControl> controls;  // drawn in this order
};

struct ReportDesign {
    QString name;
    int reportWidth = 0;
    ReportFont defaultFont;
    QList<ReportSection> sections;  // one per role
};

// The kinds of job a progress notice reports.
enum class AsyncJob { Preview = 0, Print = 1, Export = 2 };

// A layout instance: the design's controls with texts that can change.
class Report : public QObject
{
    Q_OBJECT
public:
    explicit Report(ReportDesign design, QObject *parent = nullptr);

    const ReportDesign &design() const { return m_design; }

    // The label named `field` in section `section`, or null.
    ReportControl *Field(const QString &section, const QString &field);
    QString FieldText(const QString &section, const QString &field) const;
    // False when the layout has no such label.
    bool SetFieldText(const QString &section, const QString &field, const QString &text);

    // The rows the detail section is printed for, once each.
    void SetDataSource(QList<QSqlRecord> rows);

    // Renders every page onto the target, without a printer dialog, from the
    // texts as they are now. False when the target cannot be used; pages
    // already handed over stay handed over. Each finished page is announced
    // by AsyncProgress once control is back in the event loop.
    bool PrintReport(PrintTarget &target, AsyncJob kind = AsyncJob::Print);

signals:
    void AsyncProgress(kestova::AsyncJob kind, int cookie, int pagesCompleted, int pagesTotal);

private:
    ReportDesign m_design;
    QList<QSqlRecord> m_rows;
    int m_nextCookie = 1;
};

// Holds the one instance of a layout: made from the design on first use and
// discarded when a print request has reported its last page, or when its
// user discards it.
class ReportSlot : public QObject
{
    Q_OBJECT
public:
    explicit ReportSlot(const ReportDesign &design, QObject *parent = nullptr);
    ~ReportSlot() override;

    Report &Instance();
    bool HasInstance() const { return m_instance != nullptr; }
    void Discard();

    // The layout's handling of a progress notice; public so that a notice of
    // any kind can be delivered to it.
    void OnAsyncProgress(AsyncJob kind, int cookie, int pagesCompleted, int pagesTotal);

private:
    const ReportDesign &m_design;
    Report *m_instance = nullptr;
};

// Makes "宋体" and "SimSun" resolve to an installed Song-style CJK face when
// neither is installed. Idempotent; the renderer calls it before drawing.
void InstallSongFontSubstitution();

} // namespace kestova
