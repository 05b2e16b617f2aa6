// Where the tree starts: the place of the folder counted last, home, media
// and shares as they come and go; and folders dropped from the file manager.
#include "browse_fixture.h"
#include "sandbox.h"
#include "slow_share.h"
#include "start_places.h"

#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestova;
using namespace kestova::test;

namespace {

QStringList Tops(ucBrowse &browse)
{
    QStringList paths;
    QAbstractItemModel *model = browse.Tree()->model();
    for (int row = 0; row < model->rowCount(browse.Tree()->rootIndex()); ++row)
        paths << PathOfItem(model->index(row, 0, browse.Tree()->rootIndex()));
    return paths;
}

TEST(StartPlaces, MediaAndSharesComeFromTheMountTable)
{
    const QByteArray table = "/dev/sda1 / ext4 rw 0 0\n"
                             "proc /proc proc rw 0 0\n"
                             "/dev/sda2 /boot/efi vfat rw 0 0\n"
                             "/dev/sdb1 /media/shop/KINGSTON vfat rw 0 0\n"
                             "/dev/sdc1 /media/shop/\\344\\270\\212\\040\\347\\205\\247 exfat rw 0 0\n"
                             "/dev/sdd1 /run/media/shop/CARD exfat rw 0 0\n"
                             "nas:/photos /mnt/nas nfs4 rw 0 0\n"
                             "//nas/share /srv/smb cifs rw 0 0\n"
                             "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
                             "shop@host: /home/shop/remote fuse.sshfs rw 0 0\n"
                             "app /tmp/.mount_app fuse.app rw 0 0\n"
                             "tmpfs /tmp tmpfs rw 0 0\n"
                             "/dev/sde1 /media/shop/\xD5\xD5\xC6\xAC vfat rw 0 0\n";
    EXPECT_EQ(MediaAndShares(ParseMounts(table)),
              (QStringList{"/media/shop/KINGSTON", "/media/shop/上 照", "/run/media/shop/CARD", "/mnt/nas", "/srv/smb",
                           "/home/shop/remote", "/media/shop/照片"}));
}

TEST(StartPlaces, AShareMountedWhileTheTreeIsOpenComesAndGoes)
{
    TestMounts mounts;
    FolderSandbox box({"share/a"});
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.show();
    ASSERT_NE(browse.Tree(), nullptr);
    EXPECT_EQ(Tops(browse), QStringList({QDir::homePath(), FileSystemTop()}));

    mounts.Mount(box.path("share"), "fuse.sshfs");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tops(browse).contains(box.path("share")); }, 5000))
        << Tops(browse).join(' ').toStdString();
    EXPECT_EQ(Tops(browse), QStringList({QDir::homePath(), box.path("share"), FileSystemTop()}));

    mounts.Unmount(box.path("share"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Tops(browse).contains(box.path("share")); }, 5000));
}

TEST(StartPlaces, TheFolderCountedLastIsSelectedUnderItsPlaceWhenItIsStillThere)
{
    FolderSandbox box({"照片/张三_007", "照片/李四_008"});
    {
        ucBrowse browse;
        EventLog log(browse);
        browse.ReadProperties(QVariantMap{});
        browse.SetLastFolder(box.path("照片/张三_007"));
        browse.show();
        ASSERT_NE(browse.Tree(), nullptr);
        EXPECT_EQ(Tops(browse).first(), box.path("照片"));
        EXPECT_EQ(Tops(browse).at(1), QDir::homePath());
        EXPECT_EQ(log.events, QStringList({"PathChange " + box.qualified("照片/张三_007"), Initialized}));
        const QModelIndex current = browse.Tree()->currentIndex();
        EXPECT_EQ(current.parent().row(), 0);
    }

    ASSERT_TRUE(QDir(box.path("照片")).rmdir("张三_007"));
    ucBrowse browse;
    EventLog log(browse);
    browse.ReadProperties(QVariantMap{});
    browse.SetLastFolder(box.path("照片/张三_007"));
    browse.show();
    EXPECT_EQ(Tops(browse).first(), box.path("照片"));
    EXPECT_EQ(log.events, QStringList({Initialized}));
}

TEST(StartPlaces, AFolderDroppedOnTheWindowIsSelected)
{
    Sandbox sandbox;
    sandbox.mkdirRaw("drop/\xD5\xD5\xC6\xAC");  // 照片 in GBK
    sandbox.writeFile("drop/plain/photo.jpg", "not read");
    QWidget host;
    auto *browse = new ucBrowse(&host);
    browse->setGeometry(0, 0, 200, 300);
    browse->ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(sandbox.path("drop"))}});
    host.resize(400, 300);
    host.show();
    ASSERT_NE(browse->Tree(), nullptr);
    EXPECT_TRUE(host.acceptDrops());
    EventLog log(*browse);

    const auto drop = [&](const QByteArray &path) {
        // As the file manager sends it: the name's bytes percent-encoded.
        QMimeData data;
        data.setData("text/uri-list", "file://" + path.toPercentEncoding("/") + "\r\n");
        QDragEnterEvent enter(QPoint(300, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&host, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(300, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&host, &dropped);
    };
    drop(sandbox.root().toUtf8() + "/drop/\xD5\xD5\xC6\xAC");
    EXPECT_EQ(log.events, QStringList{"PathChange " + sandbox.path("drop/照片") + "/"});
    drop(sandbox.path("drop/plain/photo.jpg").toUtf8());  // a photo selects its folder
    EXPECT_EQ(log.events.last(), "PathChange " + sandbox.path("drop/plain") + "/");
}

} // namespace
