// An order as A4 pages: the pure pagination of an order's content into
// pages of texts, and the drawing of one page.
#pragma once

#include "page_layout.h"
#include "print_job.h"
#include "rpt_print_a4.h"

#include <QList>
#include <QString>

class QPainter;

namespace kestova {

// One row of the table: a size, or the total row ("合计" under 品名规格).
struct OrderRow {
    QString service;
    QString length;
    QString width;
    QString count;
    QString area;
    QString amount;

    bool operator==(const OrderRow &) const = default;
};

// What one page shows: the heading, which every page of an order repeats,
// and up to PrintA4::Rows rows.
struct OrderSheet {
    QString noteNumber;  // with " 补打" on a reprint
    QString memberName;
    QString date;        // "yyyy/M/d"
    QString remark;
    QString append;
    UnitCaptions captions;
    QList<OrderRow> rows;
};

// The pages of an order: its lines PrintA4::Rows to a page, the total row
// last. A size without "*" prints whole as the length. When the sizes fill
// whole pages the total row stands alone on one more page; a table of
// nothing but the total row gives no page at all.
QList<OrderSheet> PaginateOrder(const OrderContent &content);

// The layout's items with the page's texts in its fields.
QList<LayoutItem> OrderSheetItems(const OrderSheet &sheet);

// Draws the page in the printable area the map was made for.
void DrawOrderSheet(QPainter &painter, const TwipsMap &map, const OrderSheet &sheet);

} // namespace kestova
