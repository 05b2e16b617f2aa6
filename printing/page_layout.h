// A page laid out in twips: its labels, lines and rectangles, the mapping
// of twips onto a print target's printable area, and drawing the items
// onto a page. Also the stand-in for the Song face the layouts are set in.
#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace kestova {

struct LabelFont {
    QString face;
    double points = 0;
    bool bold = false;
};

enum class ItemKind { Label, Line, Rectangle };

// One item of a page. Lengths are twips from the page's top-left. A line
// runs from (left, top) to (left + width, top + height).
struct LayoutItem {
    ItemKind kind = ItemKind::Label;
    QString name;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    QString text;  // labels only; a field's text is filled in per page
    Qt::Alignment alignment = Qt::AlignLeft;
    LabelFont font;
};

// Twips of a layout to device units of a target: the layout's width is
// centred in the printable area, and shrunk to the area's width only when
// it would not fit (the mapping is exact otherwise).
struct TwipsMap {
    QPointF origin;
    double sx = 1;   // device units per twip, across
    double sy = 1;   // and down
    double fit = 1;  // the shrinking, 1 when the layout fits

    static TwipsMap For(const QRectF &printableArea, const QSizeF &dpi, int layoutWidth);

    QPointF Point(double x, double y) const { return origin + QPointF(x * sx, y * sy); }
    QRectF Rect(double left, double top, double width, double height) const
    {
        return QRectF(Point(left, top), QSizeF(width * sx, height * sy));
    }
};

// Draws the items in their order: labels fitted into their boxes (see
// label_text.h), lines and unfilled rectangles with rules 15 twips wide.
void DrawItems(QPainter &painter, const TwipsMap &map, const QList<LayoutItem> &items);

// Makes "宋体" and "SimSun" resolve to an installed Song-style CJK face when
// neither is installed. Idempotent; DrawItems calls it.
void InstallSongFontSubstitution();

} // namespace kestova
