// The tree on a disk that changes while it is open: hidden folders stay out,
// "+" follows the disk, and the selection never lands on a folder the
// operator did not pick.
#include "browse_fixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTimer>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace kestova;
using namespace kestova::test;

namespace {

// Collects the regions painted on a widget.
class PaintLog : public QObject
{
public:
    PaintLog(QWidget *widget, QRegion &painted) : m_painted(painted) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }

private:
    QRegion &m_painted;
};

class ChangingFolders : public ::testing::Test
{
protected:
    FolderSandbox box{{"张三_007/精修_05", "张三_007/精修_06", "张三_007/精修_07", "李四", "空", "藏/.hidden", ".私人"}};
    ucBrowse browse;
    QAbstractItemModel *model = nullptr;

    void SetUp() override
    {
        browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(box.path())}, {"HideSelection", false}});
        browse.resize(260, 300);
        browse.show();
        ASSERT_NE(browse.Tree(), nullptr);
        model = browse.Tree()->model();
        ASSERT_TRUE(WaitForListing(browse, box.path(), 4));
        ASSERT_TRUE(WaitForListing(browse, box.path("张三_007"), 3));
    }

    QModelIndex Item(const QString &relative) { return ItemOf(browse, box.path(relative)); }
    bool Plus(const QString &relative) { return model->hasChildren(Item(relative)); }
    static bool Eventually(const std::function<bool()> &done) { return QTest::qWaitFor(done, 5000); }
    QString Current() { return PathOfItem(browse.Tree()->currentIndex()); }
};

TEST_F(ChangingFolders, HiddenFoldersAreLeftOutAndOnlyFoldersWithFoldersShowPlus)
{
    const QModelIndex top = model->index(0, 0, browse.Tree()->rootIndex());
    QStringList names;
    for (int row = 0; row < model->rowCount(top); ++row)
        names << model->index(row, 0, top).data().toString();
    EXPECT_FALSE(names.contains(".私人")) << names.join(' ').toStdString();
    EXPECT_EQ(names.size(), 4);

    EXPECT_TRUE(Eventually([&] { return !Plus("空") && !Plus("藏") && !Plus("李四"); }))
        << Plus("空") << Plus("藏") << Plus("李四");
    EXPECT_TRUE(Plus("张三_007"));
}

TEST_F(ChangingFolders, PlusComesAndGoesWithTheLastSubFolder)
{
    ASSERT_TRUE(Eventually([&] { return !Plus("空"); }));
    ASSERT_TRUE(QDir(box.path("空")).mkdir("新"));
    EXPECT_TRUE(Eventually([&] { return Plus("空"); }));

    // The view takes the "+" too: a click on it opens the folder.
    QTreeView *tree = browse.Tree();
    const QRect cell = tree->visualRect(Item("空"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(cell.left() - tree->indentation() / 2, cell.center().y()));
    EXPECT_TRUE(tree->isExpanded(Item("空")));
    EXPECT_TRUE(Eventually([&] { return Item("空/新").isValid(); }));

    ASSERT_TRUE(QDir(box.path("空")).rmdir("新"));
    EXPECT_TRUE(Eventually([&] { return !Plus("空"); }));
    EXPECT_FALSE(Item("空/新").isValid());

    // A folder never opened gains one: its "+" is painted, not only known.
    ASSERT_TRUE(Eventually([&] { return !Plus("李四"); }));
    QRegion painted;
    PaintLog log(tree->viewport(), painted);
    QCoreApplication::processEvents();
    painted = QRegion();
    ASSERT_TRUE(QDir(box.path("李四")).mkdir("新"));
    ASSERT_TRUE(Eventually([&] { return Plus("李四"); }));
    const QRect other = tree->visualRect(Item("李四"));
    const QPoint button(other.left() - tree->indentation() / 2, other.center().y());
    EXPECT_TRUE(Eventually([&] { return painted.contains(button); }));
}

TEST_F(ChangingFolders, SelectedFolderRemovedSelectsItsNearestParent)
{
    browse.setPath(box.path("张三_007/精修_05"));
    EventLog log(browse);
    ASSERT_TRUE(QDir(box.path("张三_007")).rmdir("精修_05"));
    EXPECT_TRUE(Eventually([&] { return !Item("张三_007/精修_05").isValid(); }));
    EXPECT_EQ(Current(), box.path("张三_007"));
    EXPECT_EQ(log.events, QStringList{"PathChange " + box.qualified("张三_007")});

    // The whole customer folder at once, from a folder inside it.
    browse.setPath(box.path("张三_007/精修_06"));
    log.events.clear();
    ASSERT_TRUE(QDir(box.path("张三_007")).removeRecursively());
    EXPECT_TRUE(Eventually([&] { return !Item("张三_007").isValid(); }));
    EXPECT_EQ(Current(), box.path());
    EXPECT_EQ(log.events, QStringList{"PathChange " + box.qualified()});
}

TEST_F(ChangingFolders, SelectedFolderRenamedFollowsTheNewName)
{
    browse.setPath(box.path("张三_007/精修_06"));
    EventLog log(browse);
    ASSERT_TRUE(QDir(box.path("张三_007")).rename("精修_06", "精修_09"));
    EXPECT_TRUE(Eventually([&] { return Item("张三_007/精修_09").isValid(); }));
    EXPECT_FALSE(Item("张三_007/精修_06").isValid());
    EXPECT_EQ(Current(), box.path("张三_007/精修_09"));
    EXPECT_EQ(log.events, QStringList{"PathChange " + box.qualified("张三_007/精修_09")});
    EXPECT_EQ(Item("张三_007/精修_09").row(), 2);  // after 精修_07 now

    // A folder above it renamed: the path told is the new one.
    log.events.clear();
    ASSERT_TRUE(QDir(box.path()).rename("张三_007", "张三_008"));
    EXPECT_TRUE(Eventually([&] { return !log.events.isEmpty(); }));
    EXPECT_EQ(Current(), box.path("张三_008/精修_09"));
    EXPECT_EQ(log.events, QStringList{"PathChange " + box.qualified("张三_008/精修_09")});
}

TEST_F(ChangingFolders, ClosingAFolderAboveTheSelectionSelectsIt)
{
    browse.setPath(box.path("张三_007/精修_05"));
    EventLog log(browse);
    browse.Tree()->collapse(Item("张三_007"));
    EXPECT_EQ(Current(), box.path("张三_007"));
    EXPECT_EQ(log.events, QStringList{"PathChange " + box.qualified("张三_007")});

    // Closing a folder beside it changes nothing.
    browse.Tree()->expand(Item("空"));
    browse.Tree()->collapse(Item("空"));
    EXPECT_EQ(log.events.size(), 1);
}

} // namespace

namespace {

// The selection where it can be seen: among many folders, deep down, and
// again after the tree is reopened.
TEST(SelectionInSight, PickedFolderIsScrolledToAndItsNameCanBeRead)
{
    FolderSandbox box({"张三_0/a/b/c/d/e/f/精修_05"});
    for (int i = 0; i < 60; ++i)
        QDir(box.path()).mkdir(QString("客户_%1").arg(i, 2, 10, QChar('0')));
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(box.path())}, {"HideSelection", false}});
    browse.resize(200, 240);
    browse.show();
    const auto inSight = [&](const QString &relative) {
        QTreeView *tree = browse.Tree();
        const QModelIndex item = ItemOf(browse, box.path(relative));
        const QRect cell = tree->visualRect(item);
        const QRect name(cell.left(), cell.top(), tree->sizeHintForIndex(item).width(), cell.height());
        return item.isValid() && tree->viewport()->rect().contains(name);
    };

    browse.setPath(box.path("客户_55"));
    ASSERT_TRUE(WaitForListing(browse, box.path(), 61));
    EXPECT_TRUE(QTest::qWaitFor([&] { return inSight("客户_55"); }, 2000));

    const QString deep = "张三_0/a/b/c/d/e/f/精修_05";
    browse.setPath(box.path(deep));
    ASSERT_TRUE(WaitForListing(browse, box.path("张三_0/a/b/c/d/e/f"), 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return inSight(deep); }, 2000));
    EXPECT_GT(browse.Tree()->horizontalScrollBar()->value(), 0);

    browse.setPath(box.path("客户_55"));
    browse.Reset();
    ASSERT_TRUE(WaitForListing(browse, box.path(), 61));
    EXPECT_TRUE(QTest::qWaitFor([&] { return inSight("客户_55"); }, 2000));
}

} // namespace

namespace {

// 20,000 customer folders made or removed at once in an open folder: the
// rows go in and out in blocks, and the window runs between them. The
// longest stop of the window is measured and reported (see also
// bench/folder_tree_stall.sh).
TEST(LargeFolders, TwentyThousandFoldersComeAndGoInBlocks)
{
    FolderSandbox box({"big/keep"});
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(box.path())}});
    browse.resize(260, 300);
    browse.show();
    ASSERT_TRUE(WaitForListing(browse, box.path(), 1));
    browse.Tree()->expand(ItemOf(browse, box.path("big")));
    ASSERT_TRUE(WaitForListing(browse, box.path("big"), 1));
    FolderListModel *files = browse.FileSystem();
    const QPersistentModelIndex big = files->index(QDir::fromNativeSeparators(box.path("big")));

    QList<int> blocks;
    const auto note = [&](const QModelIndex &parent, int first, int last) {
        if (parent == big)
            blocks << last - first + 1;
    };
    QObject::connect(files, &QAbstractItemModel::rowsInserted, note);
    QObject::connect(files, &QAbstractItemModel::rowsRemoved, note);
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestStop = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestStop = qMax(longestStop, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });

    // The folders are made (removed) while the window waits, as when a
    // card reader lists a whole card at once: one reading brings them all.
    const auto measure = [&](int rows) {
        blocks.clear();
        clock.start();
        lastTick = 0;
        longestStop = 0;
        ticks.start(5);
        EXPECT_TRUE(QTest::qWaitFor([&] { return files->rowCount(big) == rows; }, 60000)) << files->rowCount(big);
        ticks.stop();
        std::printf("%d rows: longest stop of the window %lld ms, %lld blocks\n", rows,
                    static_cast<long long>(longestStop), static_cast<long long>(blocks.size()));
        ASSERT_FALSE(blocks.isEmpty());
        EXPECT_LE(*std::max_element(blocks.begin(), blocks.end()), FolderListModel::BlockRows);
        EXPECT_LE(blocks.size(), 3 * 20000 / FolderListModel::BlockRows) << "rows one at a time";
    };
    QDir folder(box.path("big"));
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(folder.mkdir(QString("客户_%1").arg(i, 5, 10, QChar('0'))));
    measure(20001);
    EXPECT_EQ(files->index(0, 0, big).data().toString(), "keep");
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(folder.rmdir(QString("客户_%1").arg(i, 5, 10, QChar('0'))));
    measure(1);
}

} // namespace
