// Setting a label's text in its box so that all of it can be read. Text
// that fits is set at the design size where the design puts it. Otherwise:
// condensed sideways, never below 80 % of its width; past that, on more
// lines at the size that lets them fill the box's height (a one-line box
// takes two lines; a taller box shrinks down to 5 pt); what still does not
// fit is cut at the end of the last line with "…". Text that needs fitting
// keeps a small gap to the box's sides, so its ink stays off the rules.
#pragma once

#include "page_layout.h"

#include <QRectF>
#include <QString>

class QPaintDevice;
class QPainter;

namespace kestova {

inline constexpr double MinCondense = 0.8;
inline constexpr double MinPoints = 5.0;
inline constexpr double FitInsetTwips = 30.0;
// Text is set with the metrics of a Song face, whatever face stands in for
// it: lines one em apart, the baseline 0.88 em below a line's top (the top
// of the ideographic em box). With the substitute's own, taller line box,
// CJK glyphs would hang out of the 225-twip boxes of the order.
inline constexpr double LinePitchEm = 1.0;
inline constexpr double BaselineEm = 0.88;

// How a text was set.
struct LabelFit {
    QString text;          // as drawn: line breaks as the box allows, "…" when cut
    double points = 0;     // font size, before the layout's own shrinking
    int lines = 1;
    double condense = 1;   // horizontal scale
    bool atDesign = true;  // the design's size and place, nothing fitted
    bool cut = false;
};

// Fits `text` into `box` (device units of `device`), where one twip is
// `twipX` × `twipY` device units and `scale` is the layout's shrinking to
// the printable width.
LabelFit FitLabelText(const QString &text, const LabelFont &font, const QRectF &box, QPaintDevice *device,
                      double twipX, double twipY, double scale);

// Fits and draws.
void DrawLabelText(QPainter &painter, const QString &text, const LabelFont &font, Qt::Alignment alignment,
                   const QRectF &box, double twipX, double twipY, double scale);

// Whether `text` goes whole (not cut) into the label's box, measured at
// 1440 dpi with a little room to spare for the printer's rounding: what an
// entry box may accept for the label.
bool LabelTakesWhole(const LayoutItem &label, const QString &text);

} // namespace kestova
