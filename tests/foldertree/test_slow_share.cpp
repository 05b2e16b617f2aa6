// The tree over a slow share and over a share that no longer answers: the
// window goes on taking clicks and keys, and what the share holds arrives
// when it answers.
#include "browse_fixture.h"
#include "slow_share.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace kestova;
using namespace kestova::test;

namespace {

QModelIndex TopItem(ucBrowse &browse)
{
    return browse.Tree()->model()->index(0, 0, browse.Tree()->rootIndex());
}

TEST(SlowShare, ClicksKeysAndPathsAreTakenWhileTheShareIsSilent)
{
    SlowShare share(3600 * 1000, {"a/x", "b"});
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    TestMounts mounts;
    mounts.MountShare(share);
    auto browse = std::make_unique<ucBrowse>();
    browse->ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(share.path())}});
    browse->resize(260, 300);
    browse->show();
    ASSERT_NE(browse->Tree(), nullptr);
    QTreeView *tree = browse->Tree();
    const QModelIndex top = TopItem(*browse);

    // Not read, and "+" until it is.
    EXPECT_EQ(tree->model()->rowCount(top), 0);
    EXPECT_TRUE(tree->model()->hasChildren(top));

    QSignalSpy changes(browse.get(), &ucBrowse::PathChange);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(top).center());
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), share.path() + '/');
    QTest::keyClick(tree, Qt::Key_Right);  // opens it: asks the share, waits for nothing
    EXPECT_TRUE(tree->isExpanded(top));

    browse->setPath(share.path("a/x"));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(PathOfItem(tree->currentIndex()), share.path());

    browse->CloseUp();
    browse.reset();  // leaves its readers waiting on the share
}

TEST(SlowShare, WhatTheShareHoldsArrivesWhenItAnswers)
{
    SlowShare share(300, {"a/x", "b"});
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    TestMounts mounts;
    mounts.MountShare(share);
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(share.path())}});
    browse.show();
    ASSERT_NE(browse.Tree(), nullptr);
    QAbstractItemModel *model = browse.Tree()->model();
    EXPECT_EQ(model->rowCount(TopItem(browse)), 0);

    // A folder picked by its path is selected once the share has answered.
    // (The tree taking the focus may select its top meanwhile.)
    QStringList changes;
    QObject::connect(&browse, &ucBrowse::PathChange, [&](const QString &path) { changes << path; });
    browse.setPath(share.path("a/x"));
    EXPECT_TRUE(changes.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.contains(share.path("a/x/")); }, 20000));
    EXPECT_EQ(changes.last(), share.path("a/x/"));
    EXPECT_EQ(PathOfItem(browse.Tree()->currentIndex()), share.path("a/x"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(TopItem(browse)) == 2; }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !model->hasChildren(ItemOf(browse, share.path("b"))); }, 20000));
    EXPECT_TRUE(model->hasChildren(ItemOf(browse, share.path("a"))));
}

// No watch sees what another machine changes on a share: the tree reads
// the opened folders of a share again by itself.
TEST(SlowShare, FoldersMadeOnTheServerAppearWithoutRefresh)
{
    SlowShare share(10, {"a"});
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    TestMounts mounts;
    mounts.MountShare(share);
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(share.path())}});
    browse.show();
    ASSERT_TRUE(WaitForListing(browse, share.path(), 1));
    QAbstractItemModel *model = browse.Tree()->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->hasChildren(ItemOf(browse, share.path("a"))); }, 5000));

    ASSERT_TRUE(QDir().mkdir(share.sourcePath("b")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ItemOf(browse, share.path("b")).isValid(); }, 5000));
    EXPECT_EQ(model->rowCount(TopItem(browse)), 2);
}

} // namespace
