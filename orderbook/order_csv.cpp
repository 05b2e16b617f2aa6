// CSV files of the order book.
#include "order_csv.h"

#include "numbers.h"

namespace kestova {

namespace {

QString Field(QString text)
{
    // A spreadsheet would run a customer name such as "=HYPERLINK(…)" as a
    // formula; a leading apostrophe keeps it text.
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front()))
        text.prepend(u'\'');
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r'))
        text = u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return text;
}

QByteArray Csv(const QStringList &header, const QList<QStringList> &rows)
{
    QString text = header.join(u',') + QStringLiteral("\r\n");
    for (const QStringList &row : rows) {
        QStringList fields;
        for (const QString &f : row)
            fields << Field(f);
        text += fields.join(u',') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace

QByteArray OrdersCsv(const QList<OrderListEntry> &orders)
{
    QList<QStringList> rows;
    for (const OrderListEntry &o : orders) {
        rows.append({QString::number(o.noteNumber), o.issuedAt, o.memberName, o.service, o.photoCount.toString(),
                     o.photoArea.isNull() ? QString() : NumberText(o.photoArea.toDouble()),
                     o.amount ? YuanText(*o.amount) : QString(), o.counterName, StatusText(o.status)});
    }
    return Csv({QStringLiteral("单号"), QStringLiteral("开单时间"), QStringLiteral("客户"), QStringLiteral("服务"),
                QStringLiteral("张数"), QStringLiteral("面积"), QStringLiteral("金额"), QStringLiteral("柜台"),
                QStringLiteral("状态")},
               rows);
}

QByteArray DailyCsv(const QList<DaySummary> &days)
{
    QList<QStringList> rows;
    for (const DaySummary &d : days) {
        rows.append({d.day, QString::number(d.orders), QString::number(d.photos),
                     NumberText(RoundHalfEven(d.squareMetres, 4)), YuanText(d.amount),
                     QString::number(d.ordersWithoutAmount), QString::number(d.pending)});
    }
    return Csv({QStringLiteral("日期"), QStringLiteral("单数"), QStringLiteral("张数"), QStringLiteral("面积(平方米)"),
                QStringLiteral("金额"), QStringLiteral("未定价单数"), QStringLiteral("待确认单数")},
               rows);
}

} // namespace kestova
