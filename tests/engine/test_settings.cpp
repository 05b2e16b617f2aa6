// The Settings record: conversions, defaults and the file it is saved to.
#include "ini_file.h"
#include "program_folder.h"
#include "sandbox.h"
#include "settings.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestova;
using kestova::test::Sandbox;

namespace {

// Runs work in a child process and gives back the text it returned. A child
// that hangs is ended after 20 seconds, one that reads without end fails at
// 1 GiB; either way the answer says how it ended instead of hanging the test.
QString InChild(const std::function<QString()> &work)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return QStringLiteral("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeEnds[0]);
        ::alarm(20);
        const rlimit memory{rlim_t(1) << 30, rlim_t(1) << 30};
        ::setrlimit(RLIMIT_DATA, &memory);
        // The child never returns into the test runner, not even by an
        // exception such as running out of memory.
        try {
            const QByteArray answer = work().toUtf8();
            ::_exit(::write(pipeEnds[1], answer.constData(), size_t(answer.size())) == answer.size() ? 0 : 1);
        } catch (...) {
            ::_exit(1);
        }
    }
    ::close(pipeEnds[1]);
    QByteArray answer;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            answer.append(buffer, n);
        else if (errno != EINTR)
            break;
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return WTERMSIG(status) == SIGALRM ? QStringLiteral("did not finish")
                                           : QStringLiteral("died of signal %1").arg(WTERMSIG(status));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("failed");
    return QString::fromUtf8(answer);
}

QString Brief(const Settings &s)
{
    return QStringLiteral("%1 %2 %3").arg(s.RadixPoint).arg(s.AlarmNum).arg(UnitCode(s.PhotoArea));
}

} // namespace

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
    EXPECT_EQ(s.PhotoSize, LengthUnit::Centimetre);
    EXPECT_EQ(s.PhotoArea, AreaUnit::SquareMetre);
    EXPECT_TRUE(s.EditPath.isEmpty());
    EXPECT_TRUE(s.Preview);
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
    EXPECT_EQ(s.PhotoSize, LengthUnit::Inch);
    EXPECT_EQ(s.PhotoArea, AreaUnit::SquareCentimetre);
    EXPECT_EQ(s.EditPath, "/usr/bin/gimp");
    EXPECT_FALSE(s.Preview);
    EXPECT_EQ(s.RadixPoint, 4);
    EXPECT_EQ(s.UnitRadixPoint, 4); // did not convert: default
    EXPECT_FALSE(s.Sameness);
    EXPECT_TRUE(s.PathAsMemberName);
    EXPECT_EQ(s.AlarmNum, 150); // outside 16 bits: default
}

// The same text in each of the four coded keys, read and saved again. A
// size code is compared as text, so "00" or "0.0" names no unit and stays in
// the file; an empty key is the default; "0" alone means no editor.
TEST(SettingsCodes, ReadAndWrittenBack)
{
    const std::optional<LengthUnit> none;
    const LengthUnit cm = LengthUnit::Centimetre;
    const AreaUnit m2 = AreaUnit::SquareMetre;
    const AreaUnit cm2 = AreaUnit::SquareCentimetre;
    const struct {
        const char *text;
        std::optional<LengthUnit> size;
        AreaUnit area;
        const char *editor;
        bool preview;
        const char *written; // PhotoSize, PhotoArea, EditPath, Preview
    } cases[] = {
        {"0", cm, m2, "", false, "0 0 0 0"},
        {"1", LengthUnit::Inch, cm2, "1", true, "1 1 1 1"},
        {"2", none, cm2, "2", true, "2 1 2 1"},
        {"", cm, m2, "", true, "0 0 0 1"},
        {"00", none, cm2, "00", false, "00 1 00 0"},
        {"0.0", none, cm2, "0.0", false, "0.0 1 0.0 0"},
        {"yes", none, cm2, "yes", true, "yes 1 yes 1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        Sandbox sandbox;
        const QString text = QString::fromLatin1(c.text);
        ASSERT_TRUE(WriteIniValues({{"Sum", "PhotoSize", text},
                                    {"Sum", "PhotoArea", text},
                                    {"Sum", "EditPath", text},
                                    {"Sum", "Preview", text}}));
        const Settings s = Settings::Load();
        EXPECT_EQ(s.PhotoSize, c.size);
        EXPECT_EQ(s.PhotoArea, c.area);
        EXPECT_EQ(s.EditPath, QString::fromLatin1(c.editor));
        EXPECT_EQ(s.Preview, c.preview);
        ASSERT_TRUE(s.Save());
        bool ok = true;
        QStringList written;
        for (const char *key : {"PhotoSize", "PhotoArea", "EditPath", "Preview"})
            written << ReadIniValue("Sum", key, &ok);
        EXPECT_EQ(written.join(u' '), QString::fromLatin1(c.written));
    }
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

TEST(SettingsLoad, AConfigIniThatIsNoRegularFileOrTooLargeCountsAsMissing)
{
    Sandbox sandbox;
    const QString ini = ConfigIniPath();
    const auto load = [] { return Brief(Settings::Load()); };
    const QString defaults = QStringLiteral("2 150 0");

    ASSERT_EQ(::mkfifo(QFile::encodeName(ini).constData(), 0644), 0);
    EXPECT_EQ(InChild(load), defaults);
    ASSERT_TRUE(QFile::remove(ini));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), ini));
    EXPECT_EQ(InChild(load), defaults);
    ASSERT_TRUE(QFile::remove(ini));

    // Over 1 MiB is no settings file, whatever it starts with.
    QByteArray big = "[Sum]\r\nRadixPoint=5\r\n";
    big += QByteArray(1 << 20, ';') + "\r\n";
    sandbox.writeFile(QStringLiteral("program/Config.ini"), big);
    EXPECT_EQ(load(), defaults);
    ASSERT_TRUE(QFile::remove(ini));

    // A link to a regular file is followed.
    ASSERT_TRUE(QFile::link(sandbox.writeFile(QStringLiteral("elsewhere.ini"), "[Sum]\r\nRadixPoint=5\r\n"), ini));
    EXPECT_EQ(load(), QStringLiteral("5 150 0"));
}

TEST(SettingsSave, ReplacesAFifoOrALinkToADeviceAndWritesThroughALinkToAFile)
{
    Sandbox sandbox;
    const QString ini = ConfigIniPath();
    const auto save = [] {
        Settings s;
        s.RadixPoint = 3;
        return s.Save() ? Brief(Settings::Load()) : QStringLiteral("not saved");
    };

    ASSERT_EQ(::mkfifo(QFile::encodeName(ini).constData(), 0644), 0);
    EXPECT_EQ(InChild(save), QStringLiteral("3 150 0"));
    EXPECT_TRUE(QFileInfo(ini).isFile());

    // The link is replaced; the device it pointed at stays a device.
    if (::geteuid() == 0) {
        const QString device = sandbox.path(QStringLiteral("zero"));
        ASSERT_EQ(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 5)), 0);
        ASSERT_TRUE(QFile::remove(ini));
        ASSERT_TRUE(QFile::link(device, ini));
        EXPECT_EQ(InChild(save), QStringLiteral("3 150 0"));
        EXPECT_FALSE(QFileInfo(ini).isSymLink());
        struct stat st;
        ASSERT_EQ(::stat(QFile::encodeName(device).constData(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }

    const QString target = sandbox.writeFile(QStringLiteral("elsewhere.ini"), "[Sum]\r\nRadixPoint=5\r\n");
    ASSERT_TRUE(QFile::remove(ini));
    ASSERT_TRUE(QFile::link(target, ini));
    EXPECT_EQ(save(), QStringLiteral("3 150 0"));
    EXPECT_TRUE(QFileInfo(ini).isSymLink());
    EXPECT_EQ(ReadProfileString(target, QStringLiteral("Sum"), QStringLiteral("RadixPoint")), QStringLiteral("3"));
}
