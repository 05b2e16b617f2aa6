// Tests of ucBrowse without its tree: paths, the fixed answers, the look
// (border colours and the appearance each theme forces) and the stored
// property set.
#include "browse_fixture.h"
#include "platform_queries.h"
#include "property_bag.h"
#include "tree_look.h"

#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

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

} // namespace
