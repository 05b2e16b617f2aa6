// The daily summary's pages.
#include "daily_summary_print.h"

#include "numbers.h"
#include "print_target.h"

#include <QFont>
#include <QPainter>

namespace kestova {

namespace {

const QStringList Headers = {QStringLiteral("日期"), QStringLiteral("单数"), QStringLiteral("张数"),
                             QStringLiteral("面积(平方米)"), QStringLiteral("金额(元)"), QStringLiteral("未定价单数"),
                             QStringLiteral("待确认单数")};

QStringList Cells(const DaySummary &d)
{
    return {d.day, QString::number(d.orders), QString::number(d.photos), NumberText(RoundHalfEven(d.squareMetres, 4)),
            YuanText(d.amount), QString::number(d.ordersWithoutAmount), QString::number(d.pending)};
}

} // namespace

bool PrintDailySummary(const QList<DaySummary> &days, const QDate &from, const QDate &to, PrintTarget &target,
                       Dialogs &dialogs)
{
    const QString heading = QStringLiteral("日结  %1 至 %2")
                                .arg(from.toString(QStringLiteral("yyyy/M/d")), to.toString(QStringLiteral("yyyy/M/d")));
    qsizetype next = 0; // the first day not yet on a page
    // Sizes in points, turned into the device's dots; the target knows them
    // once its page is started.
    const auto drawPage = [&](QPainter &painter, int) {
        const double dot = target.Resolution().height() / 72.0;
        const QRectF area = target.PrintableArea();
        const double line = 16 * dot;
        const double column = area.width() / Headers.size();
        QFont body(QStringLiteral("宋体"));
        body.setPixelSize(qRound(10 * dot));
        QFont title = body;
        title.setPixelSize(qRound(16 * dot));
        title.setBold(true);

        painter.setFont(title);
        painter.drawText(QRectF(area.left(), area.top(), area.width(), 2 * line), Qt::AlignCenter, heading);
        painter.setFont(body);
        double y = area.top() + 2.5 * line;
        for (int c = 0; c < Headers.size(); ++c)
            painter.drawText(QRectF(area.left() + c * column, y, column, line), Qt::AlignCenter, Headers[c]);
        y += line;
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        // At least one day a page, however small the paper.
        for (bool first = true; next < days.size() && (first || y + 2 * line <= area.bottom()); first = false) {
            const QStringList cells = Cells(days[next++]);
            for (int c = 0; c < cells.size(); ++c)
                painter.drawText(QRectF(area.left() + c * column, y, column, line), Qt::AlignCenter, cells[c]);
            y += line;
        }
        return next < days.size();
    };
    return !PrintPages(target, dialogs, drawPage).failed;
}

} // namespace kestova
