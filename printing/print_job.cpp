// The print job: prepare the order, paginate it, print its pages.
#include "print_job.h"

#include "blanks.h"
#include "dialogs.h"
#include "order_book.h"
#include "order_book_source.h"
#include "order_pages.h"
#include "photo_store.h"
#include "print_target.h"

#include <QDir>

#include <algorithm>

namespace kestova {

namespace {

const QString TotalRowName = QStringLiteral("合计");

void ShowRefusal(Dialogs &dialogs, const QString &text)
{
    dialogs.ShowMessage(text, QStringLiteral("错误"), MessageIcon::Critical, MessageButtons::Ok);
}

QString CannotWriteMessage(const QString &reason)
{
    return QStringLiteral("订单库无法写入：") + reason;
}

} // namespace

QString OrderDocumentName(const QString &noteNumber)
{
    return QStringLiteral("冲印单 %1").arg(noteNumber);
}

std::optional<OrderContent> PrepareOrder(OrderBookSource &source, const PrintInfo &info, const QDateTime &now,
                                         QString *refusal, bool *bookDown)
{
    if (bookDown)
        *bookDown = false;
    PhotoStore &store = source.store();
    bool ok = false;
    const std::optional<CountRecord> count = store.ReadCount(&ok);
    const QList<TotalRow> totals = ok ? store.ReadTotals(&ok) : QList<TotalRow>();
    if (!ok) {
        *refusal = QStringLiteral("无法读取统计结果，订单未打印。");
        return std::nullopt;
    }
    if (!count) {
        *refusal = QStringLiteral("还没有统计结果，请先统计图片。");
        return std::nullopt;
    }
    if (!count->complete) {
        *refusal = QStringLiteral("最近一次统计（%1）没有完成，统计结果不是这个文件夹的。请重新统计后再打印。")
                       .arg(QDir::toNativeSeparators(count->folder));
        return std::nullopt;
    }
    const bool anySize = std::any_of(totals.cbegin(), totals.cend(), [](const TotalRow &row) {
        return TrimBlanks(row.PhotoSize) != TotalRowName;
    });
    if (!anySize) {
        *refusal = QStringLiteral("统计结果中没有可打印的图片，订单未打印。");
        return std::nullopt;
    }

    OrderContent content;
    content.info = info;
    content.issuedAt = now;
    content.sizeUnit = count->sizeUnit;
    content.areaUnit = count->areaUnit;
    content.folder = count->folder;
    QString error;
    OrderBook *book = source.Book(&error);
    bool priced = book != nullptr;
    const ServicePrices prices = book ? book->PricesOf(info.ServiceName, &priced) : ServicePrices{};
    // Without a local order book (a store that cannot take its tables) the
    // order prints as before, without amounts; a server must answer.
    if (source.Shared() && !priced) {
        *refusal = CannotConnectMessage(book ? QStringLiteral("与服务器的连接已中断（价格读取失败）") : error);
        if (bookDown)
            *bookDown = true;
        return std::nullopt;
    }
    content.order = PriceTotals(totals, prices, content.sizeUnit);
    switch (content.order.refusal) {
    case PricedOrder::Refusal::None:
        return content;
    case PricedOrder::Refusal::UnprintableSize:
        *refusal = QStringLiteral("尺寸 %1 %2 不是能打印的尺寸（每边应大于 0、不超过 10 米），订单未打印。")
                       .arg(content.order.refusedSize, UnitText(content.sizeUnit));
        break;
    case PricedOrder::Refusal::AmountTooLarge:
        *refusal = (content.order.refusedSize == TotalRowName
                        ? QStringLiteral("订单的合计金额")
                        : QStringLiteral("尺寸 %1 的金额").arg(content.order.refusedSize))
            + QStringLiteral("超过 99999999.99 元，订单未打印。");
        break;
    }
    return std::nullopt;
}

OrderAmount AmountOf(OrderBookSource &source, const QString &service, const QDateTime &now)
{
    PrintInfo info;
    info.ServiceName = service;
    QString refusal;
    bool bookDown = false;
    const std::optional<OrderContent> order = PrepareOrder(source, info, now, &refusal, &bookDown);
    if (bookDown)
        return {OrderAmount::Kind::BookDown};
    if (!order)
        return {};
    const std::optional<qint64> amount = order->order.TotalAmount();
    return amount ? OrderAmount{OrderAmount::Kind::Priced, *amount} : OrderAmount{OrderAmount::Kind::Unpriced};
}

OrderContent RecordedOrder(const OrderRecordData &order)
{
    OrderContent content;
    content.info.NoteNumber = QString::number(order.noteNumber);
    content.info.MemberName = order.memberName;
    content.info.Remark = order.remark;
    content.info.ServiceName = order.service;
    content.info.Append = order.append;
    content.issuedAt = order.issuedAt;
    content.folder = order.folder;
    content.sizeUnit = order.sizeUnit;
    content.areaUnit = order.areaUnit;
    content.order = order.order;
    content.reprint = true;
    return content;
}

PrintJobResult PrintOrderContent(const OrderContent &content, PrintTarget &target, Dialogs &dialogs)
{
    PrintJobResult result;
    result.printed = content;
    const QList<OrderSheet> sheets = PaginateOrder(content);
    if (sheets.isEmpty())
        return result;
    const PagesPrinted printed = PrintPages(target, dialogs, [&](QPainter &painter, int page) {
        const TwipsMap map = TwipsMap::For(target.PrintableArea(), target.Resolution(), PrintA4::WidthTwips);
        DrawOrderSheet(painter, map, sheets[page]);
        return page + 1 < sheets.size();
    });
    result.pages = printed.pages;
    result.printerFailed = printed.failed;
    return result;
}

NewOrder::NewOrder(OrderBookSource &source)
    : m_source(source)
{
}

NewOrder::~NewOrder()
{
    GiveBack();
}

void NewOrder::GiveBack()
{
    if (m_number && !m_recorded && m_numberPlace == m_source.Place())
        m_source.ReturnNoteNumber(*m_number);
    m_number.reset();
}

std::optional<qint64> NewOrder::TakeNumber(QString *error)
{
    // A number from the order book used before the settings changed could
    // be another counter's: it is never used with this one.
    if (m_number && m_numberPlace != m_source.Place())
        m_number.reset();
    if (!m_number) {
        m_numberPlace = m_source.Place();
        m_number = m_source.IssueNoteNumber(error);
    }
    return m_number;
}

PrintJobResult NewOrder::Print(const PrintInfo &info, PrintTarget &target, Dialogs &dialogs, const QDateTime &now)
{
    const OrderBookSource::OneCheck check(m_source);
    PrintJobResult result;
    QString refusal;
    bool bookDown = false;
    std::optional<OrderContent> content = PrepareOrder(m_source, info, now, &refusal, &bookDown);
    if (!content) {
        ShowRefusal(dialogs, refusal);
        result.readFailed = !bookDown;
        result.bookFailed = bookDown;
        return result;
    }
    QString error;
    const std::optional<qint64> number = TakeNumber(&error);
    if (!number) {
        result.bookFailed = true;
        ShowRefusal(dialogs, (m_source.Shared() ? CannotConnectMessage(error) : CannotWriteMessage(error))
                                 + QStringLiteral("\n订单未打印。"));
        return result;
    }
    content->info.NoteNumber = QString::number(*number);
    target.SetDocumentName(OrderDocumentName(content->info.NoteNumber));
    if (target.OnScreen())
        return PrintOrderContent(*content, target, dialogs);

    // The order is in the book before any page can come out.
    OrderRecordData order;
    order.noteNumber = *number;
    order.issuedAt = content->issuedAt;
    order.memberName = content->info.MemberName;
    order.remark = content->info.Remark;
    order.service = content->info.ServiceName;
    order.append = content->info.Append;
    order.folder = content->folder;
    order.sizeUnit = content->sizeUnit;
    order.areaUnit = content->areaUnit;
    order.order = content->order;
    order.counterName = m_source.CounterName();
    order.status = OrderStatus::Pending;
    OrderBook *book = m_source.Book(&error);
    if (!book || !book->Record(order, &error)) {
        result.bookFailed = true;
        if (book && m_source.Shared())
            error = ServerErrorText(error);
        ShowRefusal(dialogs, (book ? CannotWriteMessage(error) : m_source.BookFailure(error))
                                 + QStringLiteral("\n订单未打印。"));
        return result;
    }

    result = PrintOrderContent(*content, target, dialogs);
    if (!result.Accepted()) {
        // Refused by the printer: nothing came out, and the number stays
        // with this order for its next try.
        if (!book->RemovePending(*number, &error))
            result.recorded = true; // left as 待确认
        return result;
    }
    m_recorded = true;
    result.recorded = true;
    if (!book->SetStatus(*number, OrderStatus::Printed, &error)) {
        dialogs.ShowMessage(QStringLiteral("订单已打印，但未能在订单记录中确认，已记为待确认（可在订单记录中确认）：")
                                + (m_source.Shared() ? ServerErrorText(error) : error),
                            QStringLiteral("提示"), MessageIcon::Warning, MessageButtons::Ok);
    }
    return result;
}

} // namespace kestova
