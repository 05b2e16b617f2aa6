// The tree's folders as the file system holds them: names in GBK, and
// folders made or removed while the tree is open.
#include "browse_fixture.h"
#include "sandbox.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestova;
using namespace kestova::test;

namespace {

QStringList Children(QAbstractItemModel *model, const QModelIndex &parent)
{
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row)
        names << model->index(row, 0, parent).data().toString();
    return names;
}

} // namespace

// Folders unpacked from an archive made on Chinese Windows have GBK names on
// disk: they are shown decoded, open, and are picked with their text, which
// the scan opens again.
TEST(FolderTree, FoldersWithGbkNamesAreShownAndPicked)
{
    Sandbox box;
    box.mkdirRaw("top/\xD5\xD5\xC6\xAC/\xCF\xE0\xC6\xAC"); // 照片/相片
    box.mkdirRaw("top/plain");
    const QString top = box.path("top");
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(top)}});
    browse.show();
    ASSERT_NE(browse.Tree(), nullptr);
    ASSERT_TRUE(WaitForListing(browse, top, 2));
    QAbstractItemModel *model = browse.Tree()->model();
    const QModelIndex topItem = model->index(0, 0, browse.Tree()->rootIndex());
    EXPECT_EQ(Children(model, topItem), (QStringList{"plain", "照片"}));
    const QModelIndex photos = ItemOf(browse, top + "/照片");
    ASSERT_TRUE(photos.isValid());
    // Each folder is looked at in the background; until then it shows "+".
    EXPECT_TRUE(QTest::qWaitFor([&] { return !model->hasChildren(ItemOf(browse, top + "/plain")); }, 5000));
    EXPECT_TRUE(model->hasChildren(photos));

    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    browse.setPath(top + "/照片/相片");
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), top + "/照片/相片/");
    EXPECT_TRUE(ucBrowse::IsFolder(top + "/照片/相片"));
    EXPECT_EQ(Children(model, photos), QStringList{"相片"});
}

TEST(FolderTree, FoldersMadeOrRemovedWhileOpenAreShownOrDropped)
{
    FolderSandbox box({"b", "d"});
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(box.path())}});
    browse.show();
    ASSERT_NE(browse.Tree(), nullptr);
    ASSERT_TRUE(WaitForListing(browse, box.path(), 2));
    QAbstractItemModel *model = browse.Tree()->model();
    const QModelIndex top = model->index(0, 0, browse.Tree()->rootIndex());
    ASSERT_EQ(Children(model, top), (QStringList{"b", "d"}));
    browse.setPath(box.path("d"));

    QDir(box.path()).mkdir("a");
    QDir(box.path()).mkdir("c");
    QDir(box.path()).rmdir("b");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Children(model, top) == QStringList{"a", "c", "d"}; }, 10000))
        << Children(model, top).join(' ').toStdString();
    EXPECT_EQ(PathOfItem(browse.Tree()->currentIndex()), box.path("d"));
}
