// The Settings record: conversions, defaults and the file it is saved to.
#include "ini_file.h"
#include "program_folder.h"
#include "sandbox.h"
#include "settings.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace kestova;
using kestova::test::Sandbox;

TEST(SettingsConversion, DecimalsRoundTiesToEvenAndNegativeMeansNone)
{
    qint32 v = 99;
    EXPECT_TRUE(ConvertDecimals("2.5", &v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(ConvertDecimals("3.5", &v));
    EXPECT_EQ(v, 4);
    EXPECT_TRUE(ConvertDecimals("-3", &v));
    EXPECT_EQ(v, 0);
    v = 99;
    EXPECT_FALSE(ConvertDecimals("zwei", &v));
    EXPECT_FALSE(ConvertDecimals("", &v));
    EXPECT_FALSE(ConvertDecimals("3000000000", &v));
    EXPECT_EQ(v, 99);
}

TEST(SettingsConversion, AlarmNumIsSixteenBits)
{
    qint16 v = 0;
    EXPECT_TRUE(ConvertAlarmNum("150", &v));
    EXPECT_EQ(v, 150);
    EXPECT_TRUE(ConvertAlarmNum("-32768", &v));
    EXPECT_EQ(v, -32768);
    v = 5;
    EXPECT_FALSE(ConvertAlarmNum("32768", &v));
    EXPECT_FALSE(ConvertAlarmNum("70000", &v));
    EXPECT_EQ(v, 5);
}

TEST(SettingsConversion, SamenessTakesWordsOrAnyNonZeroNumber)
{
    const struct {
        const char *text;
        bool expected;
    } cases[] = {{"True", true}, {"true", true}, {"FALSE", false}, {"false", false}, {"1", true},
                 {"-1", true},   {"2", true},    {"0", false},     {"0.0", false},   {" 1 ", true}};
    for (const auto &c : cases) {
        bool v = !c.expected;
        EXPECT_TRUE(ConvertSameness(c.text, &v)) << c.text;
        EXPECT_EQ(v, c.expected) << c.text;
    }
    bool v = false;
    EXPECT_FALSE(ConvertSameness("yes", &v));
    EXPECT_FALSE(ConvertSameness("", &v));
}

TEST(SettingsConversion, PathAsMemberNameOnlyWhenExactlyOne)
{
    const struct {
        const char *text;
        bool expected;
    } cases[] = {{"1", true}, {"1.0", true}, {"0", false}, {"2", false}, {"-1", false}, {"0.5", false}};
    for (const auto &c : cases) {
        bool v = !c.expected;
        EXPECT_TRUE(ConvertPathAsMemberName(c.text, &v)) << c.text;
        EXPECT_EQ(v, c.expected) << c.text;
    }
    bool v = false;
    EXPECT_FALSE(ConvertPathAsMemberName("True", &v));
}

TEST(SettingsLoad, MissingFileGivesDefaults)
{
    Sandbox sandbox;
    const Settings s = Settings::Load();
    EXPECT_EQ(s.RadixPoint, 2);
    EXPECT_EQ(s.UnitRadixPoint, 4);
    EXPECT_EQ(s.AlarmNum, 150);
    EXPECT_TRUE(s.Sameness);
    EXPECT_FALSE(s.PathAsMemberName);
    EXPECT_EQ(s.PhotoSize, "0");
    EXPECT_EQ(s.PhotoArea, "0");
    EXPECT_EQ(s.EditPath, "0");
    EXPECT_EQ(s.Preview, "1");
}

TEST(SettingsLoad, ReadsEveryKeyAndDefaultsTheOnesThatDoNotConvert)
{
    Sandbox sandbox;
    QFile f(ConfigIniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[sum]\r\nphotosize = 1\r\nPhotoArea=1\r\nEditPath=/usr/bin/gimp\r\nPreview=0\r\n"
            "RadixPoint=3.5\r\nUnitRadixPoint=oops\r\nSameness=False\r\n"
            "[MemberName]\r\nPathAsMemberName=1.0\r\n[DPIAlarm]\r\nAlarmNum=99999\r\n");
    f.close();
    const Settings s = Settings::Load();
    EXPECT_EQ(s.PhotoSize, "1");
    EXPECT_EQ(s.PhotoArea, "1");
    EXPECT_EQ(s.EditPath, "/usr/bin/gimp");
    EXPECT_EQ(s.Preview, "0");
    EXPECT_EQ(s.RadixPoint, 4);
    EXPECT_EQ(s.UnitRadixPoint, 4); // did not convert: default
    EXPECT_FALSE(s.Sameness);
    EXPECT_TRUE(s.PathAsMemberName);
    EXPECT_EQ(s.AlarmNum, 150); // outside 16 bits: default
}

TEST(SettingsLoad, TextFieldsAreKeptAsStored)
{
    Sandbox sandbox;
    // A leading zero is not the unit code "0"; only the trimming of the
    // reader applies.
    ASSERT_TRUE(WriteIniValue("Sum", "PhotoSize", "00"));
    ASSERT_TRUE(WriteIniValue("Sum", "PhotoArea", "  1"));
    const Settings s = Settings::Load();
    EXPECT_EQ(s.PhotoSize, "00");
    EXPECT_EQ(s.PhotoArea, "1");
}

TEST(SettingsSave, FreshFileHoldsTheDefaultsInDialogOrder)
{
    Sandbox sandbox;
    ASSERT_TRUE(Settings().Save());
    QFile f(ConfigIniPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[Sum]\r\nPhotoSize=0\r\nPhotoArea=0\r\nEditPath=0\r\nPreview=1\r\n"
                                      "RadixPoint=2\r\nUnitRadixPoint=4\r\nSameness=1\r\n"
                                      "[MemberName]\r\nPathAsMemberName=0\r\n"
                                      "[DPIAlarm]\r\nAlarmNum=150\r\n"));
    Settings changed;
    changed.RadixPoint = 3;
    changed.EditPath = "/opt/编辑器/bin/edit";
    ASSERT_TRUE(changed.Save());
    const Settings back = Settings::Load();
    EXPECT_EQ(back.RadixPoint, 3);
    EXPECT_EQ(back.EditPath, "/opt/编辑器/bin/edit");
}
