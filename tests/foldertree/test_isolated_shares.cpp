// Shares kept apart and kept live: a share that stops answering holds up
// only its own readers; folders, shares and sticks that change are seen
// without 刷新; a top folder that goes away falls back; a photo dropped from
// a slow share selects its folder once the share answers.
#include "browse_fixture.h"
#include "slow_share.h"
#include "start_places.h"

#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace kestova;
using namespace kestova::test;

namespace {

// The home folder (HOME) pointed at a folder of the test's own.
class ScopedHome
{
public:
    explicit ScopedHome(const QString &path) : m_before(qgetenv("HOME")) { qputenv("HOME", path.toUtf8()); }
    ~ScopedHome() { qputenv("HOME", m_before); }

private:
    QByteArray m_before;
};

TEST(IsolatedShares, ADeadShareHoldsUpNeitherLocalFoldersNorTheirSelection)
{
    FolderSandbox home({"照片/张三_007", "文档"});
    const ScopedHome scopedHome(home.path());
    SlowShare share(1, {});
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    for (int i = 0; i < 60; ++i)
        QDir().mkpath(share.sourcePath(QString("客户_%1/原片").arg(i, 2, 10, QChar('0'))));
    TestMounts mounts;
    mounts.MountShare(share);

    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.resize(300, 400);
    browse.show();
    QTreeView *tree = browse.Tree();
    ASSERT_NE(tree, nullptr);
    QAbstractItemModel *model = tree->model();
    const QModelIndex shareTop = ItemOf(browse, share.path());
    ASSERT_TRUE(shareTop.isValid());
    tree->expand(shareTop);
    ASSERT_TRUE(WaitForListing(browse, share.path(), 60));

    // The share stops answering while the operator opens folder after
    // folder on it: every one of those readings waits for ever.
    share.Freeze();
    for (int row = 0; row < model->rowCount(shareTop); ++row)
        tree->expand(model->index(row, 0, shareTop));

    const QModelIndex photos = ItemOf(browse, home.path("照片"));
    ASSERT_TRUE(photos.isValid());
    tree->expand(photos);
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(ItemOf(browse, home.path("照片"))) == 1; }, 1000));
    tree->expand(ItemOf(browse, FileSystemTop()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(ItemOf(browse, FileSystemTop())) > 0; }, 1000));

    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    const QModelIndex customer = ItemOf(browse, home.path("照片/张三_007"));
    ASSERT_TRUE(customer.isValid());
    tree->scrollTo(customer);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(customer).center());
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), home.qualified("照片/张三_007"));

    // 刷新 while the share's readers still wait: home lists at once again,
    // and the share, which cannot say what it holds, keeps its "+".
    browse.Reset();
    tree = browse.Tree();
    EXPECT_TRUE(QTest::qWaitFor([&] { return tree->model()->rowCount(ItemOf(browse, home.path())) == 2; }, 1000));
    EXPECT_TRUE(tree->model()->hasChildren(ItemOf(browse, share.path())));
    share.End();
}

TEST(IsolatedShares, AShareFolderThatGainsItsFirstSubFolderShowsPlus)
{
    SlowShare share(10, {"a", "b"});
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    TestMounts mounts;
    mounts.MountShare(share);
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(share.path())}});
    browse.show();
    ASSERT_TRUE(WaitForListing(browse, share.path(), 2));
    QAbstractItemModel *model = browse.Tree()->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->hasChildren(ItemOf(browse, share.path("a"))); }, 5000));

    ASSERT_TRUE(QDir().mkdir(share.sourcePath("a/新")));  // made on the server
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->hasChildren(ItemOf(browse, share.path("a"))); }, 10000));
}

// Customers' sticks mount under the same label each time: the place of the
// last count is an empty folder until the stick is in.
TEST(IsolatedShares, AStickMountedAtTheFolderCountedLastOpens)
{
    FolderSandbox box({"KINGSTON"});
    TestMounts mounts;
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.SetLastFolder(box.path("KINGSTON/张三_007"));
    browse.resize(300, 400);
    browse.show();
    QTreeView *tree = browse.Tree();
    ASSERT_NE(tree, nullptr);
    const auto stick = [&] { return ItemOf(browse, box.path("KINGSTON")); };
    ASSERT_EQ(stick().row(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tree->model()->hasChildren(stick()); }, 5000));

    if (::mount("stick", box.path("KINGSTON").toUtf8().constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "mounting a stick needs root";
    const std::shared_ptr<void> unmount(nullptr, [&](void *) { ::umount2(box.path("KINGSTON").toUtf8().constData(), MNT_DETACH); });
    ASSERT_TRUE(QDir(box.path("KINGSTON")).mkdir("张三_007"));
    mounts.Mount(box.path("KINGSTON"), "vfat");

    EXPECT_TRUE(QTest::qWaitFor([&] { return tree->model()->hasChildren(stick()); }, 5000));
    tree->expand(stick());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ItemOf(browse, box.path("KINGSTON/张三_007")).isValid(); }, 5000));
    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    browse.setPath(box.path("KINGSTON/张三_007"));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), box.qualified("KINGSTON/张三_007"));
}

TEST(IsolatedShares, ATopFolderRemovedFallsBackToItsParentOrTheNextPlace)
{
    // A single top folder: its parent takes its place.
    FolderSandbox box({"top/a", "照片/张三_007"});
    {
        ucBrowse browse;
        browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(box.path("top"))}});
        browse.show();
        ASSERT_TRUE(WaitForListing(browse, box.path("top"), 1));
        browse.setPath(box.path("top/a"));
        QSignalSpy changes(&browse, &ucBrowse::PathChange);
        ASSERT_TRUE(QDir(box.path("top")).removeRecursively());
        QTreeView *tree = browse.Tree();
        EXPECT_TRUE(QTest::qWaitFor([&] { return PathOfItem(tree->model()->index(0, 0, tree->rootIndex())) == box.path(); },
                                    5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return PathOfItem(tree->currentIndex()) == box.path(); }, 5000));
        ASSERT_FALSE(changes.isEmpty());
        EXPECT_EQ(changes.last().at(0).toString(), box.qualified());
    }

    // The place of the last count: the next start place is selected.
    TestMounts mounts;
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.SetLastFolder(box.path("照片/张三_007"));
    browse.show();
    ASSERT_EQ(PathOfItem(browse.Tree()->currentIndex()), box.path("照片/张三_007"));
    ASSERT_TRUE(QDir(box.path("照片")).removeRecursively());
    EXPECT_TRUE(QTest::qWaitFor([&] { return PathOfItem(browse.Tree()->currentIndex()) == QDir::homePath(); }, 5000))
        << PathOfItem(browse.Tree()->currentIndex()).toStdString();
    EXPECT_EQ(browse.Tree()->model()->rowCount(ItemOf(browse, box.path("照片"))), 0);
}

TEST(IsolatedShares, APhotoDroppedFromASlowShareSelectsItsFolderWhenTheShareAnswers)
{
    SlowShare share(300, {"a"});
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    QFile photo(share.sourcePath("a/photo.jpg"));
    ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    photo.close();
    TestMounts mounts;
    mounts.MountShare(share);
    QWidget host;
    auto *browse = new ucBrowse(&host);
    browse->setGeometry(0, 0, 200, 300);
    browse->ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(share.path())}});
    host.resize(400, 300);
    host.show();
    ASSERT_NE(browse->Tree(), nullptr);
    QStringList changes;
    QObject::connect(browse, &ucBrowse::PathChange, [&](const QString &path) { changes << path; });

    QMimeData data;
    data.setData("text/uri-list", "file://" + share.path("a/photo.jpg").toUtf8().toPercentEncoding("/") + "\r\n");
    QDragEnterEvent enter(QPoint(300, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&host, &enter);
    QDropEvent dropped(QPointF(300, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&host, &dropped);

    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.contains(share.path("a/")); }, 20000)) << changes.join(' ').toStdString();
    EXPECT_EQ(PathOfItem(browse->Tree()->currentIndex()), share.path("a"));
}

} // namespace
