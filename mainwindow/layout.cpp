// The main window's geometry rules.
#include "layout.h"

#include <algorithm>

#include "numbers.h"

namespace kestova {

int TwipsToPixels(double twips)
{
    return static_cast<int>(RoundHalfEven(twips / TwipsPerPixel, 0));
}

namespace {

// A Move(left, top, width, height) in twips; false when refused.
bool Move(QRect *rect, double left, double top, double width, double height)
{
    if (width < 0 || height < 0)
        return false;
    *rect = QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
    return true;
}

double Twips(int pixels)
{
    return static_cast<double>(pixels) * TwipsPerPixel;
}

} // namespace

MainLayoutRects LayOutMainWindow(const MainLayoutInput &in, const MainLayoutRects &current)
{
    MainLayoutRects r = current;
    if (in.minimised)
        return r;

    const double W = Twips(in.clientWidth);
    const double H = Twips(in.clientHeight);
    const double T = Twips(in.toolbarHeight);
    const double S = Twips(in.statusHeight);
    const double B = Twips(current.refresh.height());
    const double L = Twips(current.tree.width());

    r.refresh.moveTo(0, TwipsToPixels(T));
    Move(&r.tree, 0, B + T, L, H - T - S - B);
    const int rightWidth = in.clientWidth - current.tree.width();
    const double wanted = in.totalNeeds > 0 && rightWidth >= 0
        ? Twips(TotalGridWidth(rightWidth, in.totalNeeds, in.detailNeeds))
        : (W - L) / 2;
    Move(&r.total, L, T, wanted, (H - T - S) / 2);
    // The grids' own sizes are read back after they were set (or refused).
    const double totalWidth = Twips(r.total.width());
    const double totalHeight = Twips(r.total.height());
    Move(&r.detail, totalWidth + L, T, W - L - totalWidth, H - T - S);
    Move(&r.preview, L, totalHeight + T, totalWidth, H - T - totalHeight - S);
    return r;
}

int TotalGridWidth(int rightWidth, int totalNeeds, int detailNeeds)
{
    return qMin(rightWidth, qMax(totalNeeds, qMin(rightWidth / 2, rightWidth - detailNeeds)));
}

int FitColumnWidthTwips(double outerWidthTwips, int columns)
{
    if (columns <= 0)
        return 0;
    return static_cast<int>(RoundHalfEven(outerWidthTwips / columns, 0));
}

int FitColumnWidthPixels(int outerWidthPixels, int columns)
{
    // Whole pixels not beyond the twips: rounded up, the equal columns would
    // run a pixel or two past the grid and call up a scroll bar for it.
    return FitColumnWidthTwips(Twips(outerWidthPixels), columns) / TwipsPerPixel;
}

QList<int> GridColumnWidths(int width, const QList<int> &minimums, int flexible)
{
    const int columns = int(minimums.size());
    if (columns == 0)
        return {};
    const int equal = FitColumnWidthPixels(width, columns);
    if (*std::max_element(minimums.begin(), minimums.end()) <= equal)
        return QList<int>(columns, equal);
    if (flexible >= 0 && flexible < columns) {
        QList<int> widths = minimums;
        int others = 0;
        for (int c = 0; c < columns; ++c)
            others += c == flexible ? 0 : minimums[c];
        widths[flexible] = qMax(minimums[flexible], width - others);
        return widths;
    }
    // The highest common width w with sum(max(minimum, w)) within the width.
    int low = 0;
    int high = qMax(width, 0);
    const auto total = [&](int w) {
        qint64 sum = 0;
        for (const int m : minimums)
            sum += qMax(m, w);
        return sum;
    };
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (total(mid) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    QList<int> widths;
    for (const int m : minimums)
        widths.append(qMax(m, low));
    return widths;
}

} // namespace kestova
