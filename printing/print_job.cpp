// The print job.
#include "print_job.h"

#include "program_title.h"
#include "blanks.h"
#include "dialogs.h"
#include "numbers.h"
#include "order_book.h"
#include "order_book_source.h"
#include "photo_store.h"
#include "settings.h"
#include "print_target.h"
#include "rpt_print_a4.h"

#include <QDate>
#include <QDateTime>
#include <QSqlRecord>

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

OrderContent CurrentOrder(OrderBookSource &source, const PrintInfo &info, const Settings &settings, bool *ok,
                          QString *orderBookError)
{
    OrderContent content;
    content.info = info;
    // The Chinese short date, whatever the machine's locale: the form is
    // Chinese.
    content.date = QDate::currentDate().toString(QStringLiteral("yyyy/M/d"));
    content.sizeUnit = settings.PhotoSize == QLatin1String("1") ? QStringLiteral("in") : QStringLiteral("cm");
    content.areaUnit = settings.PhotoArea == QLatin1String("0") ? QStringLiteral("m2") : QStringLiteral("cm2");
    const QList<TotalRow> totals = source.store().ReadTotalsForPrint(ok);
    // Without a local order book (a store that cannot take its tables) the
    // order prints as before, without amounts.
    QString error;
    OrderBook *book = source.Book(&error);
    bool priced = book != nullptr;
    const ServicePrices prices = book ? book->PricesOf(info.ServiceName, &priced) : ServicePrices{};
    if (source.Shared() && !priced) {
        *ok = false;
        if (orderBookError)
            *orderBookError = book ? QStringLiteral("与服务器的连接已中断（价格读取失败）") : error;
    }
    content.order = PriceTotals(totals, prices, content.areaUnit == QLatin1String("cm2"));
    return content;
}

OrderContent RecordedOrder(const OrderRecordData &order)
{
    OrderContent content;
    content.info.NoteNumber = QString::number(order.noteNumber);
    content.info.MemberName = order.memberName;
    content.info.Remark = order.remark;
    content.info.ServiceName = order.service;
    content.info.Append = order.append;
    content.date = order.issuedAt.date().toString(QStringLiteral("yyyy/M/d"));
    content.sizeUnit = order.sizeUnit;
    content.areaUnit = order.areaUnit;
    content.order = order.order;
    content.reprint = true;
    return content;
}

PrintJobResult RunPrintJob(OrderBookSource &source, const PrintInfo &info, const Settings &settings, ReportSlot &layout,
                           PrintTarget &target, Dialogs &dialogs, AsyncJob kind)
{
    bool ok = false;
    QString orderBookError;
    const OrderContent content = CurrentOrder(source, info, settings, &ok, &orderBookError);
    const QList<QSqlRecord> pageSource =
        ok && !content.order.lines.isEmpty() ? source.store().ReadPageSource(&ok) : QList<QSqlRecord>();
    if (!ok) {
        dialogs.ShowMessage(orderBookError.isEmpty() ? QStringLiteral("无法读取统计结果，订单未打印。")
                                                     : CannotConnectMessage(orderBookError),
                            QStringLiteral("错误"), MessageIcon::Critical, MessageButtons::Ok);
        PrintJobResult result;
        result.readFailed = true;
        return result;
    }
    return PrintOrderContent(content, pageSource, layout, target, dialogs, kind);
}

PrintJobResult PrintOrderContent(const OrderContent &content, const QList<QSqlRecord> &pageSource,
                                 ReportSlot &layout, PrintTarget &target, Dialogs &dialogs, AsyncJob kind)
{
    using namespace PrintA4;
    PrintJobResult result;
    result.printed = content;
    const PrintInfo &info = content.info;
    if (content.order.lines.isEmpty())
        return result;

    Report &report = layout.Instance();
    const auto set = [&report](const QString &field, const QString &text) {
        report.SetFieldText(Section, field, text);
    };
    set(NoteNumber, content.reprint ? info.NoteNumber + QStringLiteral(" 补打") : info.NoteNumber);
    set(MemberName, info.MemberName);
    set(Remark, info.Remark);
    set(SumDate, content.date);
    set(Append, info.Append);
    Settings units;
    units.PhotoSize = content.sizeUnit == QLatin1String("in") ? QStringLiteral("1") : QStringLiteral("0");
    units.PhotoArea = content.areaUnit == QLatin1String("cm2") ? QStringLiteral("1") : QStringLiteral("0");
    const UnitCaptions captions = CaptionsFor(units);
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
        dialogs.ShowMessage(PrinterFailedText(target), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
        layout.Discard();
        return false;
    };

    qint16 row = 0;
    bool jobHasSize = false;
    bool pageHoldsTotal = false;
    for (const PricedLine &line : content.order.lines) {
        if (row >= Rows) {
            if (!printPage())
                return result;
            for (int n = 1; n <= Rows; ++n) {
                for (const QString &family : {ServiceName, PhotoHeight, PhotoWidth, PhotoAmount, PhotoArea, Money})
                    set(RowField(family, n), QString());
            }
            row = 0;
            pageHoldsTotal = false;
        }
        ++row;
        if (TrimBlanks(line.size) != TotalRowName) {
            // A size without "*" (only a hand-edited store has one) prints
            // whole as the length.
            const qsizetype star = line.size.indexOf(u'*');
            set(RowField(ServiceName, row), info.ServiceName);
            set(RowField(PhotoHeight, row), star < 0 ? line.size : line.size.left(star));
            set(RowField(PhotoWidth, row), star < 0 ? QString() : line.size.mid(star + 1));
            jobHasSize = true;
        } else {
            // Length and width of the total row keep what they hold.
            set(RowField(ServiceName, row), line.size);
            pageHoldsTotal = true;
        }
        set(RowField(PhotoAmount, row), ValueText(line.count));
        set(RowField(PhotoArea, row), ValueText(line.area));
        set(RowField(Money, row), line.amount ? YuanText(*line.amount) : QString());
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
        dialogs.ShowMessage(PrinterFailedText(target), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
        layout.Discard();
    }
    return result;
}

void RecordOrder(OrderBookSource &source, const OrderContent &content, const QString &folder, Dialogs &dialogs)
{
    OrderRecordData order;
    bool number = false;
    order.noteNumber = TrimBlanks(content.info.NoteNumber).toLongLong(&number);
    QString error;
    if (!number) {
        error = QStringLiteral("单号“%1”不是数字").arg(content.info.NoteNumber);
    } else {
        order.issuedAt = QDateTime::currentDateTime();
        order.memberName = content.info.MemberName;
        order.remark = content.info.Remark;
        order.service = content.info.ServiceName;
        order.append = content.info.Append;
        order.folder = folder;
        order.sizeUnit = content.sizeUnit;
        order.areaUnit = content.areaUnit;
        order.order = content.order;
        order.counterName = source.CounterName();
        if (OrderBook *book = source.Book(&error)) {
            if (!book->Record(order, &error, true) && source.Shared())
                error = ServerErrorText(error);
        } else {
            error = source.BookFailure(error);
        }
        if (error.isEmpty())
            return;
    }
    dialogs.ShowMessage(QStringLiteral("订单已打印，但未能记入订单记录：") + error, QStringLiteral("提示"),
                        MessageIcon::Warning, MessageButtons::Ok);
}

} // namespace kestova
