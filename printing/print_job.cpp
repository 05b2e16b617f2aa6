// The print job.
#include "print_job.h"

#include "program_title.h"
#include "blanks.h"
#include "dialogs.h"
#include "numbers.h"
#include "photo_store.h"
#include "print_target.h"
#include "rpt_print_a4.h"

#include <QDate>

namespace kestova {

namespace {

const QString TotalRowName = QStringLiteral("合计");

// Amounts and areas as the store holds them; an empty value prints empty.
QString ValueText(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QString::number(value.toLongLong());
    default:
        return NumberText(value.toDouble());
    }
}

} // namespace

PrintJobResult RunPrintJob(PhotoStore &store, const PrintInfo &info, const Settings &settings, ReportSlot &layout,
                           PrintTarget &target, Dialogs &dialogs, AsyncJob kind)
{
    using namespace PrintA4;
    PrintJobResult result;

    bool ok = false;
    const QList<TotalRow> totals = store.ReadTotalsForPrint(&ok);
    const QList<QSqlRecord> pageSource = ok && !totals.isEmpty() ? store.ReadPageSource(&ok) : QList<QSqlRecord>();
    if (!ok) {
        dialogs.ShowMessage(QStringLiteral("无法读取统计结果，订单未打印。"), QStringLiteral("错误"),
                            MessageIcon::Critical, MessageButtons::Ok);
        result.readFailed = true;
        return result;
    }
    if (totals.isEmpty())
        return result;

    Report &report = layout.Instance();
    const auto set = [&report](const QString &field, const QString &text) {
        report.SetFieldText(Section, field, text);
    };
    set(NoteNumber, info.NoteNumber);
    set(MemberName, info.MemberName);
    set(Remark, info.Remark);
    // The Chinese short date, whatever the machine's locale: the form is
    // Chinese.
    set(SumDate, QDate::currentDate().toString(QStringLiteral("yyyy/M/d")));
    set(Append, info.Append);
    const UnitCaptions captions = CaptionsFor(settings);
    set(LengthCaption, captions.length);
    set(WidthCaption, captions.width);
    set(AreaCaption, captions.area);

    // A failed request ends the job and discards the layout, so the next job
    // starts from the design's texts.
    const auto printPage = [&]() {
        report.SetDataSource(pageSource);
        if (report.PrintReport(target, kind)) {
            ++result.pages;
            return true;
        }
        result.printerFailed = true;
        target.EndDocument();
        dialogs.ShowMessage(QStringLiteral("打印机失败..."), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
        layout.Discard();
        return false;
    };

    qint16 row = 0;
    bool jobHasSize = false;
    bool pageHoldsTotal = false;
    for (const TotalRow &total : totals) {
        if (row >= Rows) {
            if (!printPage())
                return result;
            for (int n = 1; n <= Rows; ++n) {
                for (const QString &family : {ServiceName, PhotoHeight, PhotoWidth, PhotoAmount, PhotoArea})
                    set(RowField(family, n), QString());
            }
            row = 0;
            pageHoldsTotal = false;
        }
        ++row;
        if (TrimBlanks(total.PhotoSize) != TotalRowName) {
            // A size without "*" (only a hand-edited store has one) prints
            // whole as the length.
            const qsizetype star = total.PhotoSize.indexOf(u'*');
            set(RowField(ServiceName, row), info.ServiceName);
            set(RowField(PhotoHeight, row), star < 0 ? total.PhotoSize : total.PhotoSize.left(star));
            set(RowField(PhotoWidth, row), star < 0 ? QString() : total.PhotoSize.mid(star + 1));
            jobHasSize = true;
        } else {
            // Length and width of the total row keep what they hold.
            set(RowField(ServiceName, row), total.PhotoSize);
            pageHoldsTotal = true;
        }
        set(RowField(PhotoAmount, row), ValueText(total.PhotoAmount));
        set(RowField(PhotoArea, row), ValueText(total.PhotoArea));
    }

    // The last page goes out when it begins with a size. When the sizes
    // filled whole pages, the total row stands alone on it with an empty
    // length; that page goes out too, or the order would lose its total. A
    // table of nothing but the total row prints nothing.
    if (!report.FieldText(Section, RowField(PhotoHeight, 1)).isEmpty() || (pageHoldsTotal && jobHasSize)) {
        if (!printPage())
            return result;
    }
    if (!target.EndDocument() && result.pages > 0) {
        result.printerFailed = true;
        dialogs.ShowMessage(QStringLiteral("打印机失败..."), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
        layout.Discard();
    }
    return result;
}

} // namespace kestova
