// Tests of ucBrowse: paths, look, stored properties, and the tree's life from
// opening to closing with the events it raises.
#include "browse_fixture.h"
#include "folder_tree_view.h"
#include "platform_queries.h"
#include "property_bag.h"
#include "tree_look.h"

#include <QApplication>
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

// ---- paths -----------------------------------------------------------------

struct QualifyCase
{
    const char *name;
    QString given;
    QString expected;
};

class QualifyPathTest : public ::testing::TestWithParam<QualifyCase>
{
public:
    static FolderSandbox &Box()
    {
        static FolderSandbox box({"photos", "照片 it's"});
        static const bool file = [] {
            QFile f(box.path("photos/a.jpg"));
            return f.open(QIODevice::WriteOnly);
        }();
        (void)file;
        return box;
    }
};

TEST_P(QualifyPathTest, AddsTheSeparatorToFoldersOnly)
{
    EXPECT_EQ(ucBrowse::QualifyPath(GetParam().given), GetParam().expected);
}

const QString Sep = QDir::separator();

INSTANTIATE_TEST_SUITE_P(
    Cases, QualifyPathTest,
    ::testing::Values(
        QualifyCase{"FolderGainsSeparator", QualifyPathTest::Box().path("photos"), QualifyPathTest::Box().path("photos") + Sep},
        QualifyCase{"FolderWithSeparatorUnchanged", QualifyPathTest::Box().path("photos") + Sep,
                    QualifyPathTest::Box().path("photos") + Sep},
        QualifyCase{"ChineseNameWithBlankAndApostrophe", QualifyPathTest::Box().path("照片 it's"),
                    QualifyPathTest::Box().path("照片 it's") + Sep},
        QualifyCase{"FileUnchanged", QualifyPathTest::Box().path("photos/a.jpg"), QualifyPathTest::Box().path("photos/a.jpg")},
        QualifyCase{"MissingPathUnchanged", QualifyPathTest::Box().path("absent"), QualifyPathTest::Box().path("absent")},
        QualifyCase{"EmptyStaysEmpty", QString(), QString()}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PathTests, FolderAndFileTestsCountMissingPathsAsFiles)
{
    FolderSandbox box({"f"});
    QFile file(box.path("x.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));

    EXPECT_TRUE(ucBrowse::IsFolder(box.path("f")));
    EXPECT_FALSE(ucBrowse::IsFile(box.path("f")));
    EXPECT_FALSE(ucBrowse::IsFolder(box.path("x.png")));
    EXPECT_TRUE(ucBrowse::IsFile(box.path("x.png")));
    EXPECT_FALSE(ucBrowse::IsFolder(box.path("missing")));
    EXPECT_TRUE(ucBrowse::IsFile(box.path("missing")));
    EXPECT_FALSE(ucBrowse::IsFolder(QString()));
}

TEST(PathTests, PathSetterWithoutTreeQualifiesFoldersAndKeepsEmptyEmpty)
{
    FolderSandbox box({"a"});
    ucBrowse browse;

    browse.setPath(box.path("a"));
    EXPECT_EQ(browse.Path(), box.qualified("a"));
    browse.setPath(box.path("gone"));
    EXPECT_EQ(browse.Path(), box.path("gone"));
    browse.setPath(QString());
    EXPECT_EQ(browse.Path(), QString());
}

// ---- fixed answers -------------------------------------------------------------

TEST(FixedAnswers, VersionWithAndWithoutDate)
{
    EXPECT_EQ(ucBrowse::Version(), "1.0.50");
    EXPECT_EQ(ucBrowse::Version(false), "1.0.50");
    EXPECT_EQ(ucBrowse::Version(true), "1.0.50 (10/28/2007 8:05:13 PM)");
}

TEST(FixedAnswers, TranslateColorMapsSystemAndPaletteColoursAndRejectsTheRest)
{
    EXPECT_EQ(ucBrowse::TranslateColor(0x00B99D7F), 0xB99D7F);
    EXPECT_EQ(ucBrowse::TranslateColor(0x02112233), 0x112233);
    EXPECT_EQ(ucBrowse::TranslateColor(0x01000003), 0x008080);  // the palette's olive
    EXPECT_EQ(ucBrowse::TranslateColor(0x01000014), -1);        // past the 20 colours
    EXPECT_EQ(ucBrowse::TranslateColor(qint32(0x80000005)),
              qint32(QColorToBgr(QApplication::palette().color(QPalette::Active, QPalette::Base))));
    EXPECT_EQ(ucBrowse::TranslateColor(qint32(0x8000000D)),
              qint32(QColorToBgr(QApplication::palette().color(QPalette::Active, QPalette::Highlight))));
    EXPECT_EQ(ucBrowse::TranslateColor(qint32(0x80000019)), -1);
    EXPECT_EQ(ucBrowse::TranslateColor(qint32(0x8000001F)), -1);
    EXPECT_EQ(ucBrowse::TranslateColor(0x40000000), -1);
    EXPECT_EQ(ucBrowse::TranslateColor(-1), -1);
}

TEST(FixedAnswers, PlatformAnswersOffWindowsXP)
{
#ifndef Q_OS_WIN
    EXPECT_FALSE(ucBrowse::IsWin2K());
    EXPECT_FALSE(ucBrowse::IsWinXP());
    EXPECT_TRUE(PlatformTracksLeave());
#endif
    EXPECT_EQ(ThemeColorName(), "None");  // no system this builds for is Windows XP
}

TEST(FixedAnswers, SchemeNameIsTheBufferUpToItsLastNulTrimmed)
{
    using namespace Qt::StringLiterals;
    EXPECT_EQ(SchemeNameFromBuffer(u"NormalColor\0\0\0"_s), "NormalColor");
    EXPECT_EQ(SchemeNameFromBuffer(u" Metallic \0"_s), "Metallic");
    EXPECT_EQ(SchemeNameFromBuffer(u"Home\0Stead"_s), "Home");
    EXPECT_EQ(SchemeNameFromBuffer(u"\0\0"_s), "None");
    EXPECT_EQ(SchemeNameFromBuffer(QString()), "None");
}

// ---- look ------------------------------------------------------------------------

TEST(BorderColorTest, ByThemeAndSchemeName)
{
    EXPECT_EQ(BorderColor(0, "NormalColor", true), 0xB99D7Fu);
    EXPECT_EQ(BorderColor(0, "HomeStead", true), 0x69A18Bu);
    EXPECT_EQ(BorderColor(0, "Metallic", true), 0xB99D7Fu);
    EXPECT_EQ(BorderColor(0, "None", true), 0u);
    EXPECT_EQ(BorderColor(0, "UxTheme_Error", true), 0u);
    EXPECT_EQ(BorderColor(0, "Royale", true), 0u);
    EXPECT_EQ(BorderColor(1, "NormalColor", true), 0u);
    EXPECT_EQ(BorderColor(2, "None", true), 0xB99D7Fu);
    EXPECT_EQ(BorderColor(3, "None", true), 0x69A18Bu);
    EXPECT_EQ(BorderColor(4, "HomeStead", true), 0xB99D7Fu);
    EXPECT_EQ(BorderColor(5, "NormalColor", true), 0u);
    EXPECT_EQ(BorderColor(6, "NormalColor", true), 0u);
    EXPECT_EQ(BorderColor(-1, "NormalColor", true), 0u);
    for (int theme = -1; theme <= 6; ++theme)
        EXPECT_EQ(BorderColor(theme, "NormalColor", false), 0xC0C0C0u) << theme;
    EXPECT_EQ(BgrToQColor(0xB99D7F), QColor(127, 157, 185));
    EXPECT_EQ(BgrToQColor(0x69A18B), QColor(139, 161, 105));
}

// A control whose visual style reports a chosen colour-scheme name.
class SchemedBrowse : public ucBrowse
{
public:
    explicit SchemedBrowse(QString scheme, QWidget *parent = nullptr) : ucBrowse(parent), m_scheme(std::move(scheme)) {}

protected:
    QString ThemeColorName() const override { return m_scheme; }

private:
    QString m_scheme;
};

struct ForcingCase
{
    const char *name;
    const char *scheme;
    int theme;
    int stored;
    int expected;
    qint64 frame;  // 0xBBGGRR of the drawn frame, -1 for the sunken border
    bool enabled = true;
};

class RefreshLookTest : public ::testing::TestWithParam<ForcingCase>
{
};

TEST_P(RefreshLookTest, ForcesAppearanceAndDrawsTheFrame)
{
    const ForcingCase &c = GetParam();
    SchemedBrowse browse(c.scheme);
    browse.setUserMode(false);
    browse.resize(60, 40);
    browse.ReadProperties(QVariantMap{{"Appearance", c.stored}, {"Theme", c.theme}, {"Enabled", c.enabled}});
    browse.Refresh();

    EXPECT_EQ(browse.Appearance(), c.expected);
    const QImage image = browse.grab().toImage();
    if (c.frame >= 0) {
        const QColor frame = BgrToQColor(quint32(c.frame));
        EXPECT_EQ(browse.contentsRect(), browse.rect());
        EXPECT_EQ(image.pixelColor(0, 0), frame);
        EXPECT_EQ(image.pixelColor(59, 39), frame);
        EXPECT_EQ(image.pixelColor(30, 0), frame);
        EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
    } else {
        EXPECT_EQ(browse.contentsRect(), browse.rect().adjusted(2, 2, -2, -2));
        EXPECT_NE(image.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefreshLookTest,
    ::testing::Values(
        ForcingCase{"NoneForcesSunkenUnderTheme0", "None", 0, 0, 1, -1},
        ForcingCase{"NoneForcesSunkenUnderTheme2", "None", 2, 0, 1, -1},
        ForcingCase{"NoneForcesSunkenEvenUnderTheme5", "None", 5, 0, 1, -1},
        ForcingCase{"Theme1ForcesSunkenWhateverTheScheme", "NormalColor", 1, 0, 1, -1},
        ForcingCase{"Theme5KeepsStoredSunken", "NormalColor", 5, 1, 1, -1},
        ForcingCase{"Theme5KeepsStoredFlatWithBlackFrame", "NormalColor", 5, 0, 0, 0x000000},
        ForcingCase{"Theme2ForcesFlatBlueFrame", "NormalColor", 2, 1, 0, 0xB99D7F},
        ForcingCase{"Theme0NormalColorBlueFrame", "NormalColor", 0, 1, 0, 0xB99D7F},
        ForcingCase{"Theme0HomeSteadOliveFrame", "HomeStead", 0, 1, 0, 0x69A18B},
        ForcingCase{"Theme0MetallicBlueFrame", "Metallic", 0, 1, 0, 0xB99D7F},
        ForcingCase{"Theme0OtherSchemeBlackFrame", "Royale", 0, 1, 0, 0x000000},
        ForcingCase{"Theme3OliveFrame", "Metallic", 3, 1, 0, 0x69A18B},
        ForcingCase{"Theme4BlueFrame", "HomeStead", 4, 1, 0, 0xB99D7F},
        ForcingCase{"NegativeThemeBlackFrame", "NormalColor", -1, 1, 0, 0x000000},
        ForcingCase{"StyleQueryFailedForcesFlatBlackFrame", "UxTheme_Error", 0, 1, 0, 0x000000},
        ForcingCase{"StyleQueryFailedTheme5Keeps", "UxTheme_Error", 5, 1, 1, -1},
        ForcingCase{"DisabledFrameIsGreyWhateverTheTheme", "NormalColor", 2, 1, 0, 0xC0C0C0, false},
        ForcingCase{"DisabledTheme0HomeSteadGrey", "HomeStead", 0, 0, 0, 0xC0C0C0, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RefreshLook, SettersRefreshAndDisablingTurnsTheFrameGrey)
{
    SchemedBrowse browse("NormalColor");
    browse.setUserMode(false);
    browse.resize(60, 40);
    browse.ReadProperties(QVariantMap{});
    QSignalSpy changed(&browse, &ucBrowse::PropertyChanged);

    browse.setTheme(2);  // refreshes: flat with the blue frame
    EXPECT_EQ(browse.Appearance(), 0);
    EXPECT_EQ(browse.grab().toImage().pixelColor(0, 0), QColor(127, 157, 185));
    browse.setEnabled(false);
    EXPECT_EQ(browse.grab().toImage().pixelColor(0, 0), QColor(192, 192, 192));
    EXPECT_FALSE(browse.Enabled());
    browse.setAppearance(1);  // forced back to flat by Theme 2
    EXPECT_EQ(browse.Appearance(), 0);

    QStringList names;
    for (const auto &args : changed)
        names << args.at(0).toString();
    EXPECT_EQ(names, QStringList({"Appearance", "Theme", "Appearance", "Appearance"}));
}

// ---- the stored property set ------------------------------------------------------

const QStringList TableOrder = {"Appearance", "CheckBoxes", "Enabled", "FolderFlags", "FullRowSelect", "HasLines",
                                "HasButtons", "HideSelection", "HotTracking", "Path", "Root", "Theme"};

class RecordingBag : public PropertyBag
{
public:
    mutable QStringList reads;
    QStringList writes;
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue) const override
    {
        reads << name;
        return defaultValue;
    }
    void WriteProperty(const QString &name, const QVariant &, const QVariant &) override { writes << name; }
};

TEST(StoredProperties, ReadAndWrittenInTableOrder)
{
    ucBrowse browse;
    browse.setUserMode(false);
    RecordingBag bag;
    browse.ReadProperties(bag);
    browse.WriteProperties(bag);
    EXPECT_EQ(bag.reads, TableOrder);
    EXPECT_EQ(bag.writes, TableOrder);
}

TEST(StoredProperties, EmptySetGivesTheDefaultsAndWritesNothing)
{
    ucBrowse browse;
    browse.setUserMode(false);
    browse.ReadProperties(QVariantMap{});

    EXPECT_EQ(browse.Appearance(), 1);
    EXPECT_FALSE(browse.CheckBoxes());
    EXPECT_TRUE(browse.Enabled());
    EXPECT_EQ(browse.FolderFlags(), 4101);
    EXPECT_FALSE(browse.FullRowSelect());
    EXPECT_FALSE(browse.HasLines());
    EXPECT_TRUE(browse.HasButtons());
    EXPECT_TRUE(browse.HideSelection());
    EXPECT_TRUE(browse.HotTracking());
    EXPECT_EQ(browse.Path(), QString());
    EXPECT_EQ(browse.Root(), 0);
    EXPECT_EQ(browse.Theme(), 0);
    EXPECT_TRUE(browse.WriteProperties().isEmpty());
}

TEST(StoredProperties, MainWindowSetReadsWithLowerCaseKeysAndWritesBackWithoutDefaults)
{
    ucBrowse browse;
    browse.setUserMode(false);
    browse.ReadProperties(QVariantMap{
        {"appearance", 0}, {"haslines", true}, {"hideselection", false}, {"hottracking", false}, {"theme", 2}});

    EXPECT_EQ(browse.Appearance(), 0);
    EXPECT_TRUE(browse.HasLines());
    EXPECT_FALSE(browse.HideSelection());
    EXPECT_FALSE(browse.HotTracking());
    EXPECT_EQ(browse.Theme(), 2);
    EXPECT_TRUE(browse.HasButtons());
    EXPECT_EQ(browse.FolderFlags(), 4101);
    EXPECT_EQ(browse.WriteProperties(), QVariantMap({{"Appearance", 0},
                                                     {"HasLines", true},
                                                     {"HideSelection", false},
                                                     {"HotTracking", false},
                                                     {"Theme", 2}}));
}

TEST(StoredProperties, EveryPropertySurvivesWritingAndReading)
{
    FolderSandbox box({"a"});
    const QVariantMap stored = {{"Appearance", 0},    {"CheckBoxes", true},   {"Enabled", false},
                                {"FolderFlags", 0},   {"FullRowSelect", true}, {"HasLines", true},
                                {"HasButtons", false}, {"HideSelection", false}, {"HotTracking", false},
                                {"Path", box.path("a")}, {"Root", 7},          {"Theme", 5}};
    ucBrowse first;
    first.setUserMode(false);
    first.ReadProperties(stored);
    ucBrowse second;
    second.setUserMode(false);
    second.ReadProperties(first.WriteProperties());

    EXPECT_EQ(first.WriteProperties(), stored);
    EXPECT_EQ(second.WriteProperties(), stored);
    EXPECT_EQ(second.Path(), box.qualified("a"));
}

TEST(StoredProperties, NewInstanceSetsThreeThroughSettersAndLeavesBooleansFalse)
{
    ucBrowse browse;
    browse.setUserMode(false);
    QSignalSpy changed(&browse, &ucBrowse::PropertyChanged);
    browse.InitProperties();

    QStringList names;
    for (const auto &args : changed)
        names << args.at(0).toString();
    EXPECT_EQ(names, QStringList({"Appearance", "Theme", "FolderFlags"}));
    EXPECT_EQ(browse.Appearance(), 1);
    EXPECT_EQ(browse.Theme(), 0);
    EXPECT_EQ(browse.FolderFlags(), 4101);
    EXPECT_FALSE(browse.Enabled());
    EXPECT_FALSE(browse.HasButtons());
    EXPECT_FALSE(browse.HideSelection());
    EXPECT_FALSE(browse.HotTracking());
    EXPECT_EQ(browse.Path(), QString());
    EXPECT_EQ(browse.Root(), 0);
}

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
    EXPECT_EQ(browse.Hooks().EntryCount(), 0);
    EXPECT_TRUE(browse.findChildren<FolderDialog *>().isEmpty());
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

TEST(OpenTree, TreeIsAdoptedPlacedAndHookedAndTheDialogHidden)
{
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.resize(240, 320);
    browse.show();

    EXPECT_TRUE(browse.Active());
    EXPECT_TRUE(browse.CanTrackLeave());
    QTreeView *tree = browse.Tree();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->parentWidget(), &browse);
    EXPECT_TRUE(tree->isVisible());
    EXPECT_EQ(tree->frameShape(), QFrame::NoFrame);
    // Sunken border of 2 pixels, then the tree 1 pixel inside it.
    EXPECT_EQ(tree->geometry(), QRect(3, 3, 236 - 2, 316 - 2));

    FolderDialog *dialog = browse.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isHidden());
    EXPECT_EQ(dialog->Flags(), 4101);
    ASSERT_NE(browse.CancelButton(), nullptr);
    EXPECT_EQ(browse.CancelButton()->text(), "Cancel");

    // The control's own entry, the dialog's (freed when its move hid it), the tree's.
    const HookEngine &hooks = browse.Hooks();
    ASSERT_EQ(hooks.EntryCount(), 3);
    EXPECT_EQ(hooks.EntryWindow(0), &browse);
    EXPECT_EQ(hooks.AfterList(0), QList<quint32>({1, 2}));
    EXPECT_TRUE(hooks.BeforeList(0).isEmpty());
    EXPECT_EQ(hooks.EntryWindow(1), nullptr);
    EXPECT_EQ(hooks.EntryWindow(2), tree);
    EXPECT_EQ(hooks.BeforeList(2), QList<quint32>({516}));
    EXPECT_EQ(hooks.AfterList(2), QList<quint32>({516}));
}

TEST(OpenTree, FolderFlagsZeroOpensWith5)
{
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"FolderFlags", 0}});
    browse.show();
    ASSERT_NE(browse.Dialog(), nullptr);
    EXPECT_EQ(browse.Dialog()->Flags(), 5);
    EXPECT_EQ(browse.FolderFlags(), 0);
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
    EXPECT_EQ(PathOfItem(tree->model()->index(tops - 1, 0, tree->rootIndex())), "/");
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

TEST(CloseTree, CloseUpGivesTheTreeBackAndRaisesShutDownOnce)
{
    ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.show();
    QPointer<QTreeView> tree = browse.Tree();
    QPointer<FolderDialog> dialog = browse.Dialog();
    EventLog log(browse);

    browse.CloseUp();
    EXPECT_EQ(log.events, QStringList({ShutDown}));
    EXPECT_EQ(browse.Tree(), nullptr);
    EXPECT_EQ(browse.Dialog(), nullptr);
    EXPECT_EQ(browse.CancelButton(), nullptr);
    ASSERT_TRUE(tree && dialog);
    EXPECT_EQ(tree->parentWidget(), dialog.data());
    EXPECT_TRUE(dialog->Closed());

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
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

TEST_F(Selecting, ItemWithoutFileSystemPathGivesEmptyPathChange)
{
    browse.setPath(box.path("x"));
    QSignalSpy changes(&browse, &ucBrowse::PathChange);
    bool handled = false;
    qint32 result = 0;
    QWidget *window = browse.Dialog();
    quint32 message = DialogSelChanged;
    QVariant item = QVariant::fromValue(QPersistentModelIndex());
    QVariant none;

    browse.zSubclass_Proc(false, handled, result, window, message, item, none);
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
