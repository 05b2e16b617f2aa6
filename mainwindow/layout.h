// The main window's geometry rules, as pure functions on pixel rectangles:
// where the refresh button, the folder tree, the two grids and the preview
// box go for a given client size, and how wide a grid's columns are.
//
// The rules are stated in twips (15 to a pixel); positions are converted
// back to whole pixels with ties to the even value.
#pragma once

#include <QList>
#include <QRect>

namespace kestova {

constexpr int TwipsPerPixel = 15;

int TwipsToPixels(double twips);

struct MainLayoutInput {
    int clientWidth = 0;   // W, the whole client area below the menu bar
    int clientHeight = 0;  // H
    int toolbarHeight = 0; // T
    int statusHeight = 0;  // S
    bool minimised = false;
    // What the grids need to show their columns whole; without them (0) the
    // two grids share the width equally.
    int totalNeeds = 0;
    int detailNeeds = 0;
};

// The controls the rule places. The refresh button's height (B) and the
// folder tree's width (L) are taken from the current rectangles; the rule
// never changes them.
struct MainLayoutRects {
    QRect refresh;
    QRect tree;
    QRect total;
    QRect detail;
    QRect preview;
};

// The totals grid's width out of the width right of the tree: what it needs,
// and more while the detail grid keeps what it needs, up to half; never
// more than there is.
int TotalGridWidth(int rightWidth, int totalNeeds, int detailNeeds);

// One pass of the rule. Every step is on its own: a step that would give a
// control a negative width or height is refused and leaves that control's
// rectangle as it is in current, and later steps read the rectangles as they
// stand after the earlier ones. A minimised window keeps everything.
MainLayoutRects LayOutMainWindow(const MainLayoutInput &in, const MainLayoutRects &current);

// FitGridColumns' width of every column: the grid's outer width in twips
// divided by the column count, rounded to a whole twip (ties to even); in
// pixels, the whole pixels that fit into that many twips.
int FitColumnWidthTwips(double outerWidthTwips, int columns);
int FitColumnWidthPixels(int outerWidthPixels, int columns);

// The column widths of a grid whose cells have width pixels, when column i
// needs at least minimums[i] to show its header (and its values) whole: the
// equal widths of FitColumnWidthPixels when every column fits in them.
// Otherwise, with a flexible column (the detail grid's paths), every other
// column gets its minimum and the flexible one the rest; without one, each
// column gets its minimum or one common width, whichever is more, the common
// width as large as the grid allows. When even the minimums do not fit, the
// minimums.
QList<int> GridColumnWidths(int width, const QList<int> &minimums, int flexible = -1);

} // namespace kestova
