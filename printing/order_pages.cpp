// Paginating an order and drawing its pages.
#include "order_pages.h"

#include "blanks.h"
#include "numbers.h"

#include <QHash>

namespace kestova {

namespace {

const QString TotalRowName = QStringLiteral("合计");

// Counts and areas as the store holds them; an empty value prints empty.
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

OrderSheet Heading(const OrderContent &content)
{
    const PrintInfo &info = content.info;
    OrderSheet sheet;
    sheet.noteNumber = content.reprint ? info.NoteNumber + QStringLiteral(" 补打") : info.NoteNumber;
    sheet.memberName = info.MemberName;
    sheet.remark = info.Remark;
    // The Chinese short date, whatever the machine's locale: the page is
    // Chinese.
    sheet.date = content.issuedAt.date().toString(QStringLiteral("yyyy/M/d"));
    sheet.append = info.Append;
    // The captions name the units the totals were counted in.
    sheet.captions = CaptionsFor(content.sizeUnit, content.areaUnit);
    return sheet;
}

} // namespace

QList<OrderSheet> PaginateOrder(const OrderContent &content)
{
    QList<OrderSheet> sheets;
    OrderSheet page = Heading(content);
    bool jobHasSize = false;
    bool pageHoldsTotal = false;
    for (const PricedLine &line : content.order.lines) {
        if (page.rows.size() >= PrintA4::Rows) {
            sheets.append(page);
            page.rows.clear();
            pageHoldsTotal = false;
        }
        OrderRow row;
        if (TrimBlanks(line.size) != TotalRowName) {
            const qsizetype star = line.size.indexOf(u'*');
            row.service = content.info.ServiceName;
            row.length = star < 0 ? line.size : line.size.left(star);
            row.width = star < 0 ? QString() : line.size.mid(star + 1);
            jobHasSize = true;
        } else {
            row.service = line.size;
            pageHoldsTotal = true;
        }
        row.count = ValueText(line.count);
        row.area = ValueText(line.area);
        row.amount = line.amount ? YuanText(*line.amount) : QString();
        page.rows.append(row);
    }
    // The last page goes out when it begins with a size, or holds the total
    // of an order that has sizes.
    if (!page.rows.isEmpty() && (!page.rows.first().length.isEmpty() || (pageHoldsTotal && jobHasSize)))
        sheets.append(page);
    return sheets;
}

QList<LayoutItem> OrderSheetItems(const OrderSheet &sheet)
{
    using namespace PrintA4;
    QHash<QString, QString> texts = {
        {NoteNumber, sheet.noteNumber}, {MemberName, sheet.memberName}, {SumDate, sheet.date},
        {Remark, sheet.remark},         {Append, sheet.append},         {LengthCaption, sheet.captions.length},
        {WidthCaption, sheet.captions.width}, {AreaCaption, sheet.captions.area},
    };
    for (int n = 1; n <= sheet.rows.size(); ++n) {
        const OrderRow &row = sheet.rows[n - 1];
        texts.insert(RowField(ServiceName, n), row.service);
        texts.insert(RowField(PhotoHeight, n), row.length);
        texts.insert(RowField(PhotoWidth, n), row.width);
        texts.insert(RowField(PhotoAmount, n), row.count);
        texts.insert(RowField(PhotoArea, n), row.area);
        texts.insert(RowField(Money, n), row.amount);
    }
    QList<LayoutItem> items = OrderPageLayout();
    for (LayoutItem &item : items) {
        const auto text = texts.constFind(item.name);
        if (text != texts.constEnd())
            item.text = *text;
    }
    return items;
}

void DrawOrderSheet(QPainter &painter, const TwipsMap &map, const OrderSheet &sheet)
{
    DrawItems(painter, map, OrderSheetItems(sheet));
}

} // namespace kestova
