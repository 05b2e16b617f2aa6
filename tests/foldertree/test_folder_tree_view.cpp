// Tests of the folder tree's own drawing and its model filter: each of the
// six switches is checked on the rendered pixels or on what a click does.
#include "browse_fixture.h"
#include "folder_tree_view.h"

#include <QFileSystemModel>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestova;

namespace {

// A
// ├ A1
// │ └ A1a
// └ A2
// B
class TreeDrawing : public ::testing::Test
{
protected:
    QStandardItemModel source;
    FolderModel folders;
    FolderTreeView view;
    QModelIndex a, a1, a1a, a2, b;

    void SetUp() override
    {
        auto item = [](const QString &name) {
            auto *it = new QStandardItem(name);
            it->setData("/top/" + name, QFileSystemModel::FilePathRole);
            return it;
        };
        QStandardItem *itemA = item("A");
        QStandardItem *itemA1 = item("A1");
        itemA1->appendRow(item("A1a"));
        itemA->appendRow(itemA1);
        itemA->appendRow(item("A2"));
        source.appendRow(itemA);
        source.appendRow(item("B"));
        folders.setSourceModel(&source);
        view.setModel(&folders);
        view.resize(300, 200);
        view.expandAll();
        a = folders.index(0, 0);
        a1 = folders.index(0, 0, a);
        a1a = folders.index(0, 0, a1);
        a2 = folders.index(1, 0, a);
        b = folders.index(1, 0);
    }

    void Switch(void (*change)(FolderTreeView::Switches &))
    {
        FolderTreeView::Switches switches = view.GetSwitches();
        change(switches);
        view.SetSwitches(switches);
    }

    QImage Render() { return view.viewport()->grab().toImage(); }

    // The row of an item across the viewport, or the part in front of its label.
    QRect Row(const QModelIndex &index) const
    {
        const QRect cell = view.visualRect(index);
        return QRect(0, cell.top(), view.viewport()->width(), cell.height());
    }
    // The pixel row the branch lines run along.
    int Mid(const QModelIndex &index) const { return Row(index).top() + Row(index).height() / 2; }
    QRect Indent(const QModelIndex &index) const
    {
        const QRect cell = view.visualRect(index);
        return QRect(0, cell.top(), cell.left(), cell.height());
    }

    static int Count(const QImage &image, const QRect &area, const QColor &color)
    {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += image.pixelColor(x, y) == color;
        return count;
    }

    QColor LineColor() const { return view.palette().color(QPalette::Disabled, QPalette::Text); }

    void ShowFocused()
    {
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
        view.setFocus();
        ASSERT_TRUE(view.hasFocus());
    }
};

TEST_F(TreeDrawing, LinesJoinItemsOnlyWhenSwitchedOn)
{
    Switch([](auto &s) { s.hasButtons = false; s.hasLines = true; });
    const QImage lined = Render();
    // A2 is A's last child: its own column holds the elbow, A's column the
    // line down to B.
    const int step = view.indentation();
    EXPECT_GT(Count(lined, Indent(a2), LineColor()), 10);
    EXPECT_GT(Count(lined, QRect(step / 2, Row(a2).top(), 1, Row(a2).height()), LineColor()), 3);
    EXPECT_GT(Count(lined, QRect(step, Mid(a2), step, 1), LineColor()), 3);
    // A1a is the last of its level and A1 has a next sibling: A1's column
    // carries a line through A1a's row too.
    EXPECT_GT(Count(lined, QRect(step + step / 2, Row(a1a).top(), 1, Row(a1a).height()), LineColor()), 3);
    // Nothing above the very first item.
    EXPECT_EQ(Count(lined, QRect(step / 2, Row(a).top(), 1, Row(a).height() / 2 - 1), LineColor()), 0);

    Switch([](auto &s) { s.hasLines = false; });
    EXPECT_EQ(Count(Render(), Indent(a2), LineColor()), 0);
}

TEST_F(TreeDrawing, ButtonsMarkParentsWithPlusOrMinus)
{
    const int step = view.indentation();
    const QImage withButtons = Render();
    EXPECT_GT(Count(withButtons, Indent(a), LineColor()), 20);  // the box around A's minus
    EXPECT_EQ(Count(withButtons, Indent(a2), LineColor()), 0);  // A2 has no children

    const QPoint a1Centre(step + step / 2, Mid(a1));
    const QColor text = view.palette().color(QPalette::Text);
    EXPECT_NE(withButtons.pixelColor(a1Centre + QPoint(0, -2)), text);  // minus: expanded
    view.collapse(a1);
    EXPECT_EQ(Render().pixelColor(a1Centre + QPoint(0, -2)), text);  // plus: collapsed

    Switch([](auto &s) { s.hasButtons = false; });
    EXPECT_EQ(Count(Render(), Indent(a), LineColor()), 0);
}

TEST_F(TreeDrawing, WithoutButtonsTheIndentIgnoresClicks)
{
    const int step = view.indentation();
    view.setCurrentIndex(b);
    const QPoint onA1Button(step + step / 2, Mid(a1));

    Switch([](auto &s) { s.hasButtons = false; });
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onA1Button);
    EXPECT_TRUE(view.isExpanded(a1));
    EXPECT_EQ(view.currentIndex(), b);

    Switch([](auto &s) { s.hasButtons = true; });
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onA1Button);
    EXPECT_FALSE(view.isExpanded(a1));
}

TEST_F(TreeDrawing, HideSelectionShowsTheSelectionOnlyWhileFocused)
{
    view.setCurrentIndex(a2);
    const QColor inactive = view.palette().color(QPalette::Inactive, QPalette::Highlight);
    EXPECT_EQ(Count(Render(), Row(a2), inactive), 0);

    Switch([](auto &s) { s.hideSelection = false; });
    EXPECT_GT(Count(Render(), Row(a2), inactive), 50);

    Switch([](auto &s) { s.hideSelection = true; });
    ShowFocused();
    const QColor active = view.palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_GT(Count(Render(), Row(a2), active), 50);
}

TEST_F(TreeDrawing, FullRowSelectSpreadsTheHighlightOverTheRow)
{
    Switch([](auto &s) { s.hideSelection = false; });
    view.setCurrentIndex(a2);
    const QColor highlight = view.palette().color(QPalette::Inactive, QPalette::Highlight);
    const QRect row = Row(a2);
    const QPoint farRight(row.right() - 2, row.center().y());
    const QPoint inIndent(Indent(a2).left() + 2, row.center().y());

    const QImage labelOnly = Render();
    EXPECT_NE(labelOnly.pixelColor(farRight), highlight);
    EXPECT_NE(labelOnly.pixelColor(inIndent), highlight);

    Switch([](auto &s) { s.fullRowSelect = true; });
    const QImage fullRow = Render();
    EXPECT_EQ(fullRow.pixelColor(farRight), highlight);
    EXPECT_EQ(fullRow.pixelColor(inIndent), highlight);
}

TEST_F(TreeDrawing, HotTrackingMarksTheItemUnderTheMouse)
{
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QColor link = view.palette().color(QPalette::Inactive, QPalette::Link);
    const QPoint onB = view.visualRect(b).center();

    QTest::mouseMove(view.viewport(), onB);
    EXPECT_EQ(view.HotIndex(), b);
    EXPECT_GT(Count(Render(), Row(b), link), 0);
    EXPECT_EQ(Count(Render(), Row(a2), link), 0);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(view.viewport(), &leave);
    EXPECT_FALSE(view.HotIndex().isValid());

    Switch([](auto &s) { s.hotTracking = false; });
    QTest::mouseMove(view.viewport(), onB + QPoint(1, 0));
    EXPECT_FALSE(view.HotIndex().isValid());
    EXPECT_EQ(Count(Render(), Row(b), link), 0);
}

TEST_F(TreeDrawing, CheckBoxesAreDrawnAndToggleWithTheSpaceKey)
{
    const QImage plain = Render();
    EXPECT_FALSE(folders.flags(b) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(folders.data(b, Qt::CheckStateRole).isValid());

    Switch([](auto &s) { s.checkBoxes = true; });
    EXPECT_NE(Render().copy(Row(b)), plain.copy(Row(b)));
    EXPECT_EQ(folders.data(b, Qt::CheckStateRole).toInt(), Qt::Unchecked);

    view.setCurrentIndex(b);
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(folders.data(b, Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(folders.data(a, Qt::CheckStateRole).toInt(), Qt::Unchecked);
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(folders.data(b, Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST(FolderModelTest, OnlyTheNameColumnIsShown)
{
    QStandardItemModel source(0, 3);
    auto *x = new QStandardItem("X");
    x->appendRow({new QStandardItem("X1"), new QStandardItem("size")});
    source.appendRow(x);
    FolderModel folders;
    folders.setSourceModel(&source);
    EXPECT_EQ(folders.columnCount(), 1);
    EXPECT_EQ(folders.columnCount(folders.index(0, 0)), 1);
    EXPECT_EQ(folders.rowCount(folders.index(0, 0)), 1);
}

} // namespace

namespace {

// Rows that arrive late above the row under the mouse (a folder read while
// the operator aims) leave that row where the eye sees it.
TEST_F(TreeDrawing, RowsArrivingAboveTheMouseLeaveTheRowUnderItInPlace)
{
    for (int i = 0; i < 20; ++i)
        source.item(1)->appendRow(new QStandardItem(QString("B%1").arg(i)));
    view.expandAll();
    view.resize(300, 120);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QPoint onB = view.visualRect(b).center();
    QTest::mouseMove(view.viewport(), onB);

    for (int i = 0; i < 3; ++i)
        source.item(0)->appendRow(new QStandardItem(QString("A%1").arg(i + 3)));
    EXPECT_EQ(view.indexAt(onB), b);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onB);
    EXPECT_EQ(view.currentIndex(), b);

    // Pressed, then more rows: the release still lands on it.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.visualRect(a2).center());
    const QPoint onA2 = view.visualRect(a2).center();
    source.item(0)->child(0)->appendRow(new QStandardItem("A1b"));
    EXPECT_EQ(view.indexAt(onA2), a2);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, onA2);
    EXPECT_EQ(view.currentIndex(), a2);
}

} // namespace

namespace {

// A picked folder deep down with a long name: when rows arriving later
// bring the vertical scroll bar, the name's end does not go under it.
TEST(SelectionInSight, AScrollBarThatComesLeavesTheSelectedNameReadable)
{
    QStandardItemModel source;
    QStandardItem *parent = source.invisibleRootItem();
    for (const QString name : {"照片", "2024", "五月", "张三_007", "婚纱", "外景", "海边", "第二天"}) {
        auto *item = new QStandardItem(name);
        parent->appendRow(item);
        parent = item;
    }
    auto *deep = new QStandardItem("精修第二批共一百张");
    parent->appendRow(deep);
    FolderModel folders;
    folders.setSourceModel(&source);
    FolderTreeView view;
    view.setModel(&folders);
    view.resize(200, 220);
    view.expandAll();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QModelIndex item = folders.mapFromSource(deep->index());
    const auto nameEnd = [&] {
        return view.visualRect(item).left() + view.sizeHintForIndex(item).width();
    };
    view.setCurrentIndex(item);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        view.scrollTo(item);  // once the column has its width
        return nameEnd() <= view.viewport()->width();
    }, 2000));
    ASSERT_GT(view.horizontalScrollBar()->value(), 0);
    const int wide = view.viewport()->width();

    for (int i = 0; i < 30; ++i)
        source.appendRow(new QStandardItem(QString("客户_%1").arg(i)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.viewport()->width() < wide; }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return nameEnd() <= view.viewport()->width(); }, 2000))
        << nameEnd() << " > " << view.viewport()->width();
}

} // namespace
