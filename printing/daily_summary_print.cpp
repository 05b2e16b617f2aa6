// The daily summary's pages.
#include "daily_summary_print.h"

#include "dialogs.h"
#include "numbers.h"
#include "print_target.h"
#include "program_title.h"

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
    const auto fail = [&] {
        target.EndDocument();
        dialogs.ShowMessage(PrinterFailedText(target), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
        return false;
    };
    // Sizes in points, turned into the device's dots per page.
    QPainter *painter = target.NewPage();
    if (!painter)
        return fail();
    const double dot = target.Resolution().height() / 72.0;
    const QRectF area = target.PrintableArea();
    const double line = 16 * dot;
    const double column = area.width() / Headers.size();
    QFont body(QStringLiteral("宋体"));
    body.setPixelSize(qRound(10 * dot));
    QFont title = body;
    title.setPixelSize(qRound(16 * dot));
    title.setBold(true);

    const QString heading = QStringLiteral("日结  %1 至 %2")
                                .arg(from.toString(QStringLiteral("yyyy/M/d")), to.toString(QStringLiteral("yyyy/M/d")));
    double y = 0;
    const auto startPage = [&] {
        painter->setFont(title);
        painter->drawText(QRectF(area.left(), area.top(), area.width(), 2 * line), Qt::AlignCenter, heading);
        painter->setFont(body);
        y = area.top() + 2.5 * line;
        for (int c = 0; c < Headers.size(); ++c)
            painter->drawText(QRectF(area.left() + c * column, y, column, line), Qt::AlignCenter, Headers[c]);
        y += line;
        painter->drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    };
    startPage();
    for (const DaySummary &day : days) {
        if (y + 2 * line > area.bottom()) {
            painter = target.NewPage();
            if (!painter)
                return fail();
            startPage();
        }
        const QStringList cells = Cells(day);
        for (int c = 0; c < cells.size(); ++c)
            painter->drawText(QRectF(area.left() + c * column, y, column, line), Qt::AlignCenter, cells[c]);
        y += line;
    }
    if (!target.EndDocument())
        return fail();
    return true;
}

} // namespace kestova
