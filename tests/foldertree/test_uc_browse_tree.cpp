// Tests of ucBrowse with its tree: design and user mode, the tree's life
// from opening to closing with the events it raises, selecting folders by
// path, mouse and keys, and the flat look around an open tree.
#include "browse_fixture.h"
#include "folder_tree_view.h"
#include "start_places.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QTreeView>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace kestova;
using namespace kestova::test;

namespace {

// ---- modes ---------------------------------------------------------------------------

TEST(Modes, DesignModeShowsNoTreeAndRaisesNothing)
{
    FolderSandbox box({"a"});
    ucBrowse browse;
    EventLog log(browse);
    browse.setUserMode(false);
    browse.ReadProperties(QVariantMap{{"Path", box.path("a")}});
    browse.resize(100, 100);
    browse.show();
    browse.Reset();
    browse.setPath(box.path("a"));

    EXPECT_TRUE(log.events.isEmpty());
    EXPECT_FALSE(browse.Active());
    EXPECT_EQ(browse.Tree(), nullptr);
    EXPECT_TRUE(browse.findChildren<QTreeView *>().isEmpty());
}

TEST(Modes, CloseUpWithoutTreeRaisesNothing)
{
    ucBrowse browse;
    EventLog log(browse);
    browse.ReadProperties(QVariantMap{});
    browse.CloseUp();
    EXPECT_TRUE(browse.Active());
    EXPECT_TRUE(log.events.isEmpty());
}

// ---- opening and closing ------------------------------------------------------------

TEST(OpenTree, InitialSelectionRaisesPathChangeBeforeStatus)
{
    FolderSandbox box({"照片 2024/一月"});
    ucBrowse browse;
    EventLog log(browse);
    browse.ReadProperties(QVariantMap{{"Path", box.path("照片 2024/一月")}});
    browse.resize(240, 320);
    browse.show();

    EXPECT_EQ(log.events, QStringList({"PathChange " + box.qualified("照片 2024/一月"), Initialized}));
    EXPECT_EQ(browse.Path(), box.qualified("照片 2024/一月"));
    EXPECT_EQ(PathOfItem(browse.Tree()->currentIndex()), box.path("照片 2024/一月"));
}

TEST(OpenTree, EmptyPathOpensWithoutPathChange)
{
    ucBrowse browse;
    EventLog log(browse);
    browse.ReadProperties(QVariantMap{});
    browse.show();

    EXPECT_EQ(log.events, QStringList({Initialized}));
    EXPECT_FALSE(browse.Tree()->currentIndex().isValid());
}

TEST(OpenTree, TreeIsTheControlsOwnChildPlacedAndHooked)
{
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.resize(240, 320);
    browse.show();

    EXPECT_TRUE(browse.Active());
    QTreeView *tree = browse.Tree();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->parentWidget(), &browse);
    EXPECT_TRUE(tree->isVisible());
    EXPECT_EQ(tree->frameShape(), QFrame::NoFrame);
    // Sunken border of 2 pixels, then the tree 1 pixel inside it.
    EXPECT_EQ(tree->geometry(), QRect(3, 3, 236 - 2, 316 - 2));
    EXPECT_EQ(browse.findChildren<QWidget *>(Qt::FindDirectChildrenOnly), QList<QWidget *>{tree});

    const HookEngine &hooks = browse.Hooks();
    EXPECT_TRUE(hooks.Hooked(tree));
    EXPECT_EQ(hooks.BeforeList(tree), QList<quint32>({516}));
    EXPECT_EQ(hooks.AfterList(tree), QList<quint32>({516}));
}

TEST(OpenTree, RootZeroStartsAtHomeAndEndsAtTheTopOfTheFileSystem)
{
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.show();
    QTreeView *tree = browse.Tree();
    const int tops = tree->model()->rowCount(tree->rootIndex());
#ifdef Q_OS_WIN
    EXPECT_GE(tops, 1);  // the drives
#else
    ASSERT_GE(tops, 2);  // media and shares between the two
    EXPECT_EQ(PathOfItem(tree->model()->index(0, 0, tree->rootIndex())), QDir::homePath());
    EXPECT_EQ(PathOfItem(tree->model()->index(tops - 1, 0, tree->rootIndex())), FileSystemTop());
#endif
}

TEST(OpenTree, RootHandleNamesTheTopFolder)
{
    FolderSandbox box({"top/inner", "beside"});
    const int handle = ucBrowse::RootHandle(box.path("top"));
    EXPECT_NE(handle, 0);
    EXPECT_EQ(ucBrowse::RootHandle(box.path("top") + QDir::separator()), handle);
    EXPECT_NE(ucBrowse::RootHandle(box.path("beside")), handle);
    EXPECT_EQ(QDir::toNativeSeparators(ucBrowse::RootFolder(handle)), box.path("top"));
    EXPECT_EQ(ucBrowse::RootFolder(0), QString());
    EXPECT_EQ(ucBrowse::RootFolder(-3), QString());

    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", handle}, {"Path", box.path("beside")}});
    EventLog log(browse);
    browse.show();

    QTreeView *tree = browse.Tree();
    ASSERT_EQ(tree->model()->rowCount(tree->rootIndex()), 1);
    EXPECT_EQ(PathOfItem(tree->model()->index(0, 0, tree->rootIndex())), box.path("top"));
    EXPECT_EQ(log.events, QStringList({Initialized}));  // "beside" lies outside the tree
    browse.setPath(box.path("top/inner"));
    EXPECT_EQ(log.events.last(), "PathChange " + box.qualified("top/inner"));
}

TEST(OpenTree, SettingRootReopensTheTreeAtTheNewTop)
{
    FolderSandbox box({"one", "two"});
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(box.path("one"))}});
    browse.show();
    EventLog log(browse);

    browse.setRoot(ucBrowse::RootHandle(box.path("two")));

    EXPECT_EQ(log.events, QStringList({ShutDown, Initialized}));
    QTreeView *tree = browse.Tree();
    EXPECT_EQ(PathOfItem(tree->model()->index(0, 0, tree->rootIndex())), box.path("two"));
}

TEST(CloseTree, CloseUpClosesTheTreeAndRaisesShutDownOnce)
{
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.show();
    QPointer<QTreeView> tree = browse.Tree();
    EventLog log(browse);

    browse.CloseUp();
    EXPECT_EQ(log.events, QStringList({ShutDown}));
    EXPECT_EQ(browse.Tree(), nullptr);
    EXPECT_EQ(browse.FileSystem(), nullptr);
    ASSERT_TRUE(tree);
    EXPECT_FALSE(tree->isVisible());
    EXPECT_FALSE(browse.Hooks().Hooked(tree));

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(tree.isNull());
    browse.CloseUp();
    EXPECT_EQ(log.events, QStringList({ShutDown}));
}

TEST(CloseTree, ResetClosesAndReopensWithTheSelection)
{
    FolderSandbox box({"it's here"});
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Path", box.path("it's here")}});
    browse.show();
    QTreeView *before = browse.Tree();
    EventLog log(browse);

    browse.Reset();

    EXPECT_EQ(log.events, QStringList({ShutDown, "PathChange " + box.qualified("it's here"), Initialized}));
    EXPECT_NE(browse.Tree(), before);
    EXPECT_EQ(PathOfItem(browse.Tree()->currentIndex()), box.path("it's here"));
}

// A window standing in for the main window; it may refuse to close.
class HostWindow : public QWidget
{
public:
    bool refuse = false;

protected:
    void closeEvent(QCloseEvent *event) override { event->setAccepted(!refuse); }
};

TEST(CloseTree, HostWindowClosingClosesTheTree)
{
    HostWindow host;
    auto *browse = new ucBrowse(&host);
    browse->setGeometry(0, 0, 200, 300);
    browse->ReadProperties(QVariantMap{});
    host.show();
    ASSERT_NE(browse->Tree(), nullptr);
    EventLog log(*browse);

    host.refuse = true;
    host.close();
    EXPECT_TRUE(log.events.isEmpty());
    EXPECT_NE(browse->Tree(), nullptr);

    host.refuse = false;
    host.close();
    EXPECT_EQ(log.events, QStringList({ShutDown}));
    EXPECT_EQ(browse->Tree(), nullptr);
    EXPECT_FALSE(host.isVisible());
}

TEST(CloseTree, DestroyingAnOpenControlRaisesNothing)
{
    auto browse = std::make_unique<ucBrowse>();
    browse->ReadProperties(QVariantMap{});
    browse->show();
    QPointer<QTreeView> tree = browse->Tree();
    QSignalSpy status(browse.get(), &ucBrowse::Status);

    browse.reset();
    EXPECT_EQ(status.count(), 0);
    EXPECT_TRUE(tree.isNull());
}

// ---- selecting -------------------------------------------------------------------------

class Selecting : public ::testing::Test
{
protected:
    FolderSandbox box{{"a b", "it's", "照片", "照片/二〇二四 春", "x", "y"}};
    ucBrowse browse;

    void SetUp() override
    {
        browse.ReadProperties(QVariantMap{{"Root", ucBrowse::RootHandle(box.path())}});
        browse.resize(260, 300);
        browse.show();
        ASSERT_NE(browse.Tree(), nullptr);
    }
};

TEST_F(Selecting, PathSetterMovesTheSelectionAndRaisesPathChangeOnce)
{
    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    for (const QString name : {"a b", "it's", "照片", "照片/二〇二四 春"}) {
        changes.clear();
        browse.setPath(box.path(name));
        ASSERT_EQ(changes.count(), 1) << name.toStdString();
        EXPECT_EQ(changes.at(0).at(0).toString(), box.qualified(name));
        EXPECT_EQ(PathOfItem(browse.Tree()->currentIndex()), box.path(name));
        EXPECT_EQ(browse.Path(), box.qualified(name));
    }

    changes.clear();
    browse.setPath(box.qualified("照片/二〇二四 春"));  // already selected
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(Selecting, PathsTheTreeCannotSelectLeaveTheSelectionAlone)
{
    browse.setPath(box.path("x"));
    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    QFile file(box.path("x/photo.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    browse.setPath(box.path("missing"));
    EXPECT_EQ(browse.Path(), box.path("missing"));
    browse.setPath(box.path("x/photo.jpg"));
    EXPECT_EQ(browse.Path(), box.path("x/photo.jpg"));
    browse.setPath(QDir::tempPath());  // above the top folder
    browse.setPath(QString());
    EXPECT_EQ(browse.Path(), QString());

    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(PathOfItem(browse.Tree()->currentIndex()), box.path("x"));
}

TEST_F(Selecting, NoCurrentItemGivesEmptyPathChange)
{
    browse.setPath(box.path("x"));
    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    browse.Tree()->setCurrentIndex(QModelIndex());
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), QString());
    EXPECT_EQ(browse.Path(), QString());
}

TEST_F(Selecting, RightButtonNeverReachesTheTreeWhileLeftClicksAndKeysDo)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&browse));
    ASSERT_TRUE(WaitForListing(browse, box.path(), 5));
    browse.setPath(box.path("x"));
    QTreeView *tree = browse.Tree();
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    QSignalSpy menus(tree, &QWidget::customContextMenuRequested);
    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    const QPoint onY = tree->viewport()->mapTo(&browse, tree->visualRect(ItemOf(browse, box.path("y"))).center());

    QTest::mouseClick(browse.windowHandle(), Qt::RightButton, {}, onY);
    QTest::mouseDClick(browse.windowHandle(), Qt::RightButton, {}, onY);
    EXPECT_EQ(menus.count(), 0);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(PathOfItem(tree->currentIndex()), box.path("x"));

    // A menu asked for from the keyboard is not the right button's.
    QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(5, 5), tree->viewport()->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(tree->viewport(), &fromKeyboard);
    EXPECT_EQ(menus.count(), 1);

    QTest::mouseClick(browse.windowHandle(), Qt::LeftButton, {}, onY);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), box.qualified("y"));

    QTest::keyClick(tree, Qt::Key_Up);
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(changes.at(1).at(0).toString(), box.qualified("x"));
}

TEST_F(Selecting, PropertiesReachTheTree)
{
    ASSERT_TRUE(WaitForListing(browse, box.path(), 5));
    auto *tree = qobject_cast<FolderTreeView *>(browse.Tree());
    ASSERT_NE(tree, nullptr);
    browse.setCheckBoxes(true);
    browse.setFullRowSelect(true);
    browse.setHasButtons(false);
    browse.setHasLines(true);
    browse.setHideSelection(false);
    browse.setHotTracking(false);

    const FolderTreeView::Switches switches = tree->GetSwitches();
    EXPECT_TRUE(switches.checkBoxes);
    EXPECT_TRUE(switches.fullRowSelect);
    EXPECT_FALSE(switches.hasButtons);
    EXPECT_TRUE(switches.hasLines);
    EXPECT_FALSE(switches.hideSelection);
    EXPECT_FALSE(switches.hotTracking);
    EXPECT_TRUE(tree->model()->flags(ItemOf(browse, box.path("x"))) & Qt::ItemIsUserCheckable);

    browse.setEnabled(false);
    EXPECT_FALSE(tree->isEnabled());
    browse.setEnabled(true);
    EXPECT_TRUE(tree->isEnabled());
}

TEST(FlatLook, MainWindowSetUnderAVisualStyleIsFlatWithTheBlueFrameAroundTheTree)
{
    SchemedBrowse browse("NormalColor");
    browse.ReadProperties(QVariantMap{
        {"appearance", 0}, {"haslines", true}, {"hideselection", false}, {"hottracking", false}, {"theme", 2}});
    browse.resize(200, 150);
    browse.show();

    ASSERT_NE(browse.Tree(), nullptr);
    EXPECT_EQ(browse.Tree()->geometry(), QRect(1, 1, 198, 148));
    const QImage image = browse.grab().toImage();
    const QColor blue(127, 157, 185);
    EXPECT_EQ(image.pixelColor(0, 0), blue);
    EXPECT_EQ(image.pixelColor(199, 149), blue);
    EXPECT_EQ(image.pixelColor(100, 0), blue);
    EXPECT_EQ(image.pixelColor(0, 75), blue);
}

} // namespace
