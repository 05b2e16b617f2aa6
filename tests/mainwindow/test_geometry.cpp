// The main window's geometry rules: the layout, the grid columns, the
// preview's target rectangle and the mapping of a turned photo's rectangle.
#include "frm_main.h"
#include "layout.h"
#include "photo_preview.h"

#include <QImage>
#include <QTransform>

#include <gtest/gtest.h>

using namespace kestova;

namespace {

// The design metrics: toolbar 45 px, status bar 25 px, refresh button
// 213 × 28 px, folder tree 213 px wide.
MainLayoutRects Start()
{
    MainLayoutRects r;
    r.refresh = QRect(0, 0, 213, 28);
    r.tree = QRect(0, 0, 213, 0);
    r.total = QRect(1, 2, 3, 4);
    r.detail = QRect(5, 6, 7, 8);
    r.preview = QRect(9, 10, 11, 12);
    return r;
}

MainLayoutInput Client(int width, int height, bool minimised = false)
{
    MainLayoutInput in;
    in.clientWidth = width;
    in.clientHeight = height;
    in.toolbarHeight = 45;
    in.statusHeight = 25;
    in.minimised = minimised;
    return in;
}

} // namespace

TEST(MainLayout, DesignSizeSplitsTheRightSideBetweenTheColumns)
{
    const MainLayoutRects r = LayOutMainWindow(Client(842, 518), Start());
    EXPECT_EQ(r.refresh, QRect(0, 45, 213, 28));
    EXPECT_EQ(r.tree, QRect(0, 73, 213, 420));
    // (842 − 213) / 2 = 314.5 pixels: ties go to the even pixel.
    EXPECT_EQ(r.total, QRect(213, 45, 314, 224));
    EXPECT_EQ(r.detail, QRect(527, 45, 315, 448));
    EXPECT_EQ(r.preview, QRect(213, 269, 314, 224));
}

TEST(MainLayout, OddHeightsGiveThePreviewTheRemainder)
{
    const MainLayoutRects r = LayOutMainWindow(Client(1366, 701), Start());
    // (701 − 45 − 25) / 2 = 315.5 → 316; the preview gets 701 − 45 − 316 − 25.
    EXPECT_EQ(r.total, QRect(213, 45, 576, 316));
    EXPECT_EQ(r.preview, QRect(213, 361, 576, 315));
    EXPECT_EQ(r.detail, QRect(789, 45, 577, 631));
}

TEST(MainLayout, MinimisedKeepsEverything)
{
    const MainLayoutRects before = LayOutMainWindow(Client(842, 518), Start());
    const MainLayoutRects after = LayOutMainWindow(Client(0, 0, true), before);
    EXPECT_EQ(after.refresh, before.refresh);
    EXPECT_EQ(after.tree, before.tree);
    EXPECT_EQ(after.total, before.total);
    EXPECT_EQ(after.detail, before.detail);
    EXPECT_EQ(after.preview, before.preview);
}

TEST(MainLayout, RefusedStepsLeaveTheirControlAndLaterStepsGoOn)
{
    const MainLayoutRects before = LayOutMainWindow(Client(842, 518), Start());
    // Narrower than the tree: the totals grid's width would be negative, so
    // it keeps its rectangle; the detail grid, sized from that old width,
    // is refused too; the preview still follows the totals grid's old size.
    const MainLayoutRects r = LayOutMainWindow(Client(200, 600), before);
    EXPECT_EQ(r.tree, QRect(0, 73, 213, 502));
    EXPECT_EQ(r.total, before.total);
    EXPECT_EQ(r.detail, before.detail);
    EXPECT_EQ(r.preview, QRect(213, 269, 314, 306));

    // Too low for anything below the toolbar: only the refresh button moves.
    const MainLayoutRects low = LayOutMainWindow(Client(900, 60), before);
    EXPECT_EQ(low.refresh, QRect(0, 45, 213, 28));
    EXPECT_EQ(low.tree, before.tree);
    EXPECT_EQ(low.total, before.total);
    EXPECT_EQ(low.detail, before.detail);
    EXPECT_EQ(low.preview, before.preview);
}

TEST(MainLayout, ZeroSizesAreAccepted)
{
    // Exactly the toolbar, the status bar and the refresh button high: the
    // tree gets height 0, which is allowed.
    const MainLayoutRects r = LayOutMainWindow(Client(213, 98), Start());
    EXPECT_EQ(r.tree, QRect(0, 73, 213, 0));
    EXPECT_EQ(r.total.width(), 0);
    EXPECT_EQ(r.detail.width(), 0);
}

TEST(MainLayout, TheTotalsGridTakesWhatItNeedsAndTheDetailsTheRest)
{
    // right of the tree, totals needs, details needs → totals width
    const struct {
        int right, totalNeeds, detailNeeds, total;
    } cases[] = {
        {1153, 220, 830, 323},  // 1366 wide: the details keep what they need
        {1707, 220, 830, 853},  // 1920 wide: half each, the most preview
        {900, 220, 830, 220},   // narrow: the totals still show whole
        {150, 220, 830, 150},   // never more than there is
        {1153, 700, 830, 700},  // long sizes: the totals first
    };
    for (const auto &c : cases)
        EXPECT_EQ(TotalGridWidth(c.right, c.totalNeeds, c.detailNeeds), c.total) << c.right << " " << c.totalNeeds;
}

TEST(FitGridColumns, EqualWidthsRoundedToWholeTwipsTiesToEven)
{
    EXPECT_EQ(FitColumnWidthTwips(5000, 3), 1667);
    EXPECT_EQ(FitColumnWidthTwips(6550, 6), 1092);
    EXPECT_EQ(FitColumnWidthTwips(4005, 2), 2002); // 2002.5
    EXPECT_EQ(FitColumnWidthTwips(4015, 2), 2008); // 2007.5
    // In pixels, never past the twips: 436 px = 6540 twips, / 6 = 1090
    // twips = 72.67 px → 72, so six columns stay inside the grid.
    EXPECT_EQ(FitColumnWidthPixels(436, 6), 72);
    EXPECT_EQ(FitColumnWidthPixels(314, 3), 104);
    EXPECT_EQ(FitColumnWidthPixels(315, 3), 105);
    for (int width = 100; width < 2000; ++width)
        EXPECT_LE(6 * FitColumnWidthPixels(width, 6), width) << width;
}

struct FitCase {
    const char *name;
    int wi, hi, bw, bh;
    QRect expected;
};

class FitPhoto : public ::testing::TestWithParam<FitCase>
{
};

TEST_P(FitPhoto, TargetRectangle)
{
    const FitCase &c = GetParam();
    EXPECT_EQ(FitPhotoRect(c.wi, c.hi, c.bw, c.bh), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FitPhoto,
    ::testing::Values(FitCase{"LandscapeInSquareBox", 4000, 3000, 400, 400, QRect(0, 50, 400, 300)},
                      FitCase{"PortraitInSquareBox", 3000, 4000, 400, 400, QRect(50, 0, 300, 400)},
                      FitCase{"SquareCountsAsPortrait", 3000, 3000, 400, 300, QRect(50, 0, 300, 300)},
                      FitCase{"FlatBoxFitsTheWholeHeight", 4000, 1000, 400, 50, QRect(100, 0, 200, 50)},
                      // A camera's 4:3 photo in the preview box of a 1366 × 768 screen.
                      FitCase{"LandscapeInAFlatterBox", 8000, 6000, 576, 319, QRect(76, 0, 425, 319)},
                      FitCase{"SmallImageIsNotEnlarged", 200, 100, 400, 400, QRect(100, 150, 200, 100)},
                      FitCase{"CentringTieGoesToEven", 200, 100, 401, 403, QRect(100, 152, 200, 100)},
                      FitCase{"ScaledSideTieGoesToEven", 400, 250, 100, 70, QRect(0, 4, 100, 62)},
                      FitCase{"FitsExactly", 400, 300, 400, 300, QRect(0, 0, 400, 300)},
                      FitCase{"NarrowBoxFitsTheWholeWidth", 1000, 4000, 50, 400, QRect(0, 100, 50, 200)}),
    [](const auto &info) { return std::string(info.param.name); });

namespace {

// A picture whose every pixel is different, so that a wrong rectangle or a
// wrong turn cannot go unnoticed.
QImage Numbered(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 7, y * 11, (x * 13 + y * 17) & 0xFF));
    return image;
}

// The turn that an image reader applies to a stored image.
QImage Upright(const QImage &stored, QImageIOHandler::Transformations t)
{
    QImage image = stored.mirrored(t & QImageIOHandler::TransformationMirror, t & QImageIOHandler::TransformationFlip);
    if (t & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

} // namespace

TEST(StoredRect, CroppingTheStoredImageGivesTheUprightCrop)
{
    const QImage stored = Numbered(7, 5);
    const QRect uprightParts[] = {QRect(0, 0, 2, 3), QRect(1, 2, 3, 2), QRect(2, 1, 1, 1)};
    for (int t = 0; t < 8; ++t) {
        const auto turn = QImageIOHandler::Transformations(t);
        const QImage upright = Upright(stored, turn);
        for (const QRect &part : uprightParts) {
            const QRect s = StoredRect(part, stored.size(), turn);
            EXPECT_EQ(Upright(stored.copy(s), turn), upright.copy(part)) << "transformation " << t;
        }
    }
}

TEST(MemberName, LastFolderOfThePath)
{
    EXPECT_EQ(MemberNameFromPath(QStringLiteral("/orders/Smith/")), QStringLiteral("Smith"));
    EXPECT_EQ(MemberNameFromPath(QStringLiteral("/orders/张三 2024/")), QStringLiteral("张三 2024"));
    EXPECT_EQ(MemberNameFromPath(QStringLiteral("C:/")), QStringLiteral("C:"));
    EXPECT_EQ(MemberNameFromPath(QStringLiteral("/")), QString());
}

TEST(FitGridColumns, HeadersThatDoNotFitWidenTheirColumnsAndTheRestShare)
{
    // Wide enough: the equal widths.
    EXPECT_EQ(GridColumnWidths(600, {60, 60, 60}), (QList<int>{200, 200, 200}));
    // Two headers need 90: they get it, the others share what is left
    // equally, and the whole fits.
    EXPECT_EQ(GridColumnWidths(300, {40, 90, 90, 40}), (QList<int>{60, 90, 90, 60}));
    const QList<int> widths = GridColumnWidths(301, {40, 90, 90, 40});
    EXPECT_LE(widths[0] + widths[1] + widths[2] + widths[3], 301);
    // Not even the headers fit: each gets its header's width.
    EXPECT_EQ(GridColumnWidths(100, {40, 90}), (QList<int>{40, 90}));
    // A flexible column (paths) takes all that the others leave.
    EXPECT_EQ(GridColumnWidths(300, {40, 90, 90, 40}, 0), (QList<int>{80, 90, 90, 40}));
}
