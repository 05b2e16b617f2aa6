// The settings dialog: load, the checks on OK and their messages, what goes
// into the Settings record and what into Config.ini, Cancel and Browse.
#include "frm_config.h"

#include "ini_file.h"
#include "pg_server.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <sys/mount.h>
#include <unistd.h>

using namespace kestova;
using namespace kestova::test;

namespace {

class SettingsDialogTest : public ::testing::Test
{
protected:
    void Open() { dialog = std::make_unique<frmConfig>(settings, dialogs); }

    template <typename T>
    T *Get(const char *name)
    {
        T *w = dialog->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Type(const char *name, const QString &text) { Get<QLineEdit>(name)->setText(text); }
    QString Text(const char *name) { return Get<QLineEdit>(name)->text(); }
    void Press(const char *name) { QTest::mouseClick(Get<QPushButton>(name), Qt::LeftButton); }

    QString ConfigText() const
    {
        QFile f(ConfigIniPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QStringList ConfigLines() const
    {
        return ConfigText().split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
    }

    Sandbox sandbox;
    Settings settings;
    RecordingDialogs dialogs;
    std::unique_ptr<frmConfig> dialog;
};

} // namespace

TEST_F(SettingsDialogTest, LoadShowsTheRecord)
{
    settings.PhotoSize = LengthUnit::Inch;
    settings.PhotoArea = AreaUnit::SquareMetre;
    settings.EditPath = QStringLiteral("/usr/bin/gimp");
    settings.Preview = false;
    settings.RadixPoint = 3;
    settings.UnitRadixPoint = 5;
    settings.Sameness = false;
    settings.PathAsMemberName = true;
    settings.AlarmNum = 180;
    Open();

    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("参数设置"));
    EXPECT_EQ(dialog->size(), QSize(455, 544));
    auto *size = Get<QComboBox>("cmbPhotoSize");
    ASSERT_EQ(size->count(), 2);
    EXPECT_EQ(size->itemText(0), QStringLiteral("厘米"));
    EXPECT_EQ(size->itemText(1), QStringLiteral("英寸"));
    EXPECT_EQ(size->currentIndex(), 1);
    auto *area = Get<QComboBox>("cmbPhotoArea");
    EXPECT_EQ(area->itemText(0), QStringLiteral("平方米"));
    EXPECT_EQ(area->itemText(1), QStringLiteral("平方厘米"));
    EXPECT_EQ(area->currentIndex(), 0);
    EXPECT_EQ(Text("txtFileName"), QStringLiteral("/usr/bin/gimp"));
    EXPECT_FALSE(Get<QCheckBox>("chkPreview")->isChecked());
    EXPECT_EQ(Get<QCheckBox>("chkPreview")->text(), QStringLiteral("开启预览"));
    EXPECT_EQ(Text("txtRadixPoint"), QStringLiteral("3"));
    EXPECT_EQ(Text("txtUnitRadixPoint"), QStringLiteral("5"));
    EXPECT_FALSE(Get<QCheckBox>("chkSameness")->isChecked());
    EXPECT_TRUE(Get<QCheckBox>("chkMemberName")->isChecked());
    EXPECT_EQ(Text("txtDPI"), QStringLiteral("180"));
    EXPECT_EQ(Get<QPushButton>("cmdBrow")->text(), QStringLiteral("..."));
    EXPECT_EQ(Get<QPushButton>("cmdOK")->text(), QStringLiteral("确定"));
    EXPECT_EQ(Get<QPushButton>("cmdCancel")->text(), QStringLiteral("取消"));

    // Every control fits inside the fixed dialog, none squeezed below its
    // minimum.
    EXPECT_LE(dialog->layout()->minimumSize().height(), dialog->height());
    EXPECT_LE(dialog->layout()->minimumSize().width(), dialog->width());
    for (QWidget *w : dialog->findChildren<QWidget *>()) {
        const QRect r(w->mapTo(dialog.get(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(dialog->rect().contains(r)) << w->objectName().toStdString();
    }
}

TEST_F(SettingsDialogTest, NoEditorShowsAnEmptyBoxAndAnEmptyBoxStoresZero)
{
    Open();
    EXPECT_EQ(Text("txtFileName"), QString());
    Type("txtFileName", QStringLiteral("   "));
    Press("cmdOK");
    EXPECT_TRUE(settings.EditPath.isEmpty());
    bool ok = false;
    EXPECT_EQ(ReadIniValue(QStringLiteral("Sum"), QStringLiteral("EditPath"), &ok), QStringLiteral("0"));

    Type("txtFileName", QStringLiteral("  /opt/my editor/edit  "));
    Press("cmdOK");
    EXPECT_EQ(settings.EditPath, QStringLiteral("/opt/my editor/edit"));
}

TEST_F(SettingsDialogTest, MemoryGetsRoundedNumbersTheFileTheTypedText)
{
    Open();
    Type("txtRadixPoint", QStringLiteral(" 3 "));
    Type("txtUnitRadixPoint", QStringLiteral("2.5"));
    Type("txtDPI", QStringLiteral("3.5E1"));
    Press("cmdOK");
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings.RadixPoint, 3);
    EXPECT_EQ(settings.UnitRadixPoint, 2); // ties to the even neighbour
    EXPECT_EQ(settings.AlarmNum, 35);
    const QStringList lines = ConfigLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("RadixPoint= 3 ")));
    EXPECT_TRUE(lines.contains(QStringLiteral("UnitRadixPoint=2.5")));
    EXPECT_TRUE(lines.contains(QStringLiteral("AlarmNum=3.5E1")));

    Open();
    Type("txtUnitRadixPoint", QStringLiteral("3.5"));
    Press("cmdOK");
    EXPECT_EQ(settings.UnitRadixPoint, 4);
}

TEST_F(SettingsDialogTest, AFreshConfigIniHoldsTheKeysInTheDialogsOrder)
{
    ASSERT_FALSE(QFile::exists(ConfigIniPath()));
    Open();
    Get<QComboBox>("cmbPhotoArea")->setCurrentIndex(1);
    Get<QCheckBox>("chkPreview")->setChecked(false);
    Get<QCheckBox>("chkMemberName")->setChecked(true);
    Press("cmdOK");
    EXPECT_EQ(ConfigLines(), (QStringList{"[Sum]", "PhotoSize=0", "PhotoArea=1", "EditPath=0", "Preview=0",
                                           "RadixPoint=2", "UnitRadixPoint=4", "Sameness=1", "[MemberName]",
                                           "PathAsMemberName=1", "[DPIAlarm]", "AlarmNum=150"}));
    EXPECT_EQ(settings.PhotoArea, AreaUnit::SquareCentimetre);
    EXPECT_FALSE(settings.Preview);
    EXPECT_TRUE(settings.PathAsMemberName);
}

// The shared order book's server: 测试连接 asks the real server and tells
// its answer in Chinese; OK writes the [OrderBook] section after the others.
TEST_F(SettingsDialogTest, TheOrderBookServerIsTestedAndSaved)
{
    PgServer server;
    if (!server.Start())
        GTEST_SKIP() << "no PostgreSQL server: " << server.Problem().toStdString();
    const QString connection = server.NewDatabase();
    Open();
    Type("txtOrderBook", PgServer::Nowhere());
    Press("cmdTestConnection");
    Type("txtOrderBook", connection + QStringLiteral(" dbname=missing"));
    Press("cmdTestConnection");
    Type("txtOrderBook", QStringLiteral("  ") + connection);
    Press("cmdTestConnection");
    ASSERT_EQ(dialogs.messages.size(), 3);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("订单库无法连接：服务器没有运行")))
        << dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(QStringLiteral("订单库无法连接：服务器上没有这个数据库")))
        << dialogs.messages[1].text.toStdString();
    EXPECT_TRUE(dialogs.messages[2].text.startsWith(QStringLiteral("连接成功：PostgreSQL")))
        << dialogs.messages[2].text.toStdString();

    // A password typed into the connection is refused with where it goes
    // instead; nothing is saved.
    Type("txtOrderBook", QStringLiteral("host=192.168.1.10 dbname=kestova user=counter password=geheim"));
    Press("cmdOK");
    ASSERT_EQ(dialogs.messages.size(), 4);
    EXPECT_TRUE(dialogs.messages[3].text.contains(QStringLiteral("192.168.1.10:5432:kestova:counter:你的密码")))
        << dialogs.messages[3].text.toStdString();
    EXPECT_FALSE(dialogs.messages[3].text.contains(QStringLiteral("geheim")));
    EXPECT_FALSE(ConfigLines().join(u'\n').contains(QStringLiteral("geheim")));

    Type("txtOrderBook", QStringLiteral("  ") + connection);
    Type("txtCounterName", QStringLiteral("三号柜台"));
    Press("cmdOK");
    EXPECT_EQ(ConfigLines().mid(12, 2), (QStringList{"[OrderBook]", "Connection=" + connection}));
    EXPECT_EQ(settings.OrderBookConnection, connection);
    EXPECT_EQ(Settings::Load().CounterNameOrHost(), QStringLiteral("三号柜台"));

    // Emptied, the keys stay in the file, empty: back to the local order book.
    Open();
    EXPECT_EQ(Text("txtOrderBook"), connection);
    Type("txtOrderBook", QString());
    Type("txtCounterName", QString());
    Press("cmdOK");
    EXPECT_TRUE(Settings::Load().OrderBookConnection.isEmpty());
    EXPECT_EQ(Settings::Load().CounterNameOrHost(), QSysInfo::machineHostName());
}

struct CheckCase {
    const char *name;
    const char *radix;
    const char *unitRadix;
    const char *dpi;
    const char *message; // "" when all pass
};

class SettingsChecks : public ::testing::TestWithParam<CheckCase>
{
};

TEST_P(SettingsChecks, MessageForTheFirstFailure)
{
    const CheckCase &c = GetParam();
    EXPECT_EQ(CheckSettingsTexts(QString::fromUtf8(c.radix), QString::fromUtf8(c.unitRadix), QString::fromUtf8(c.dpi)),
              QString::fromUtf8(c.message));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsChecks,
    ::testing::Values(
        CheckCase{"Plain", "2", "4", "150", ""},
        CheckCase{"SignFractionExponentBlanks", " +2.5 ", "1e1", " -3E-1 ", ""},
        CheckCase{"LeadingAndTrailingPoint", ".5", "5.", "150.", ""},
        CheckCase{"SmallNegativeRoundsToZero", "-0.4", "0", "-32768", ""},
        CheckCase{"EmptyDecimals", "", "4", "150", "保留位数格式输入错误！"},
        CheckCase{"BlankUnitDecimals", "2", "   ", "150", "保留位数格式输入错误！"},
        CheckCase{"Letters", "abc", "4", "150", "保留位数格式输入错误！"},
        CheckCase{"ThousandsSeparator", "1,000", "4", "150", "保留位数格式输入错误！"},
        CheckCase{"Hexadecimal", "0x10", "4", "150", "保留位数格式输入错误！"},
        CheckCase{"LoneExponent", "1e", "4", "150", "保留位数格式输入错误！"},
        CheckCase{"NegativeDecimals", "-1", "4", "150", "保留位数格式输入错误！"},
        CheckCase{"DecimalsBeyond32Bits", "2147483648", "4", "150", "保留位数格式输入错误！"},
        CheckCase{"DecimalsAt32Bits", "2147483647", "4", "150", ""},
        CheckCase{"EmptyDpi", "2", "4", "", "DPI警报格式输入错误！"},
        CheckCase{"DpiBeyond16Bits", "2", "4", "32768", "DPI警报格式输入错误！"},
        CheckCase{"DpiRoundsBeyond16Bits", "2", "4", "32767.5", "DPI警报格式输入错误！"},
        CheckCase{"DpiAt16Bits", "2", "4", "32767.4", ""},
        CheckCase{"AllWrongGivesTheDecimalsMessage", "x", "y", "z", "保留位数格式输入错误！"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SettingsDialogTest, AFailedCheckKeepsTheDialogOpenAndChangesNothing)
{
    Open();
    Type("txtRadixPoint", QStringLiteral("two"));
    Type("txtDPI", QString());
    Press("cmdOK");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("保留位数格式输入错误！"));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("提示"));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Text("txtRadixPoint"), QStringLiteral("two"));
    EXPECT_FALSE(QFile::exists(ConfigIniPath()));

    Type("txtRadixPoint", QStringLiteral("2"));
    Press("cmdOK");
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages[1].text, QStringLiteral("DPI警报格式输入错误！"));
    EXPECT_FALSE(QFile::exists(ConfigIniPath()));
    EXPECT_EQ(settings.AlarmNum, 150);
}

TEST_F(SettingsDialogTest, CancelAndTheCloseBoxChangeNothing)
{
    WriteIniValue(QStringLiteral("Sum"), QStringLiteral("RadixPoint"), QStringLiteral("2"));
    const QString before = ConfigText();
    const Settings original = settings;

    Open();
    Type("txtRadixPoint", QStringLiteral("5"));
    Get<QCheckBox>("chkSameness")->setChecked(false);
    Press("cmdCancel");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);

    Open();
    Type("txtDPI", QStringLiteral("999"));
    dialog->show();
    dialog->close();

    EXPECT_EQ(ConfigText(), before);
    EXPECT_EQ(settings.RadixPoint, original.RadixPoint);
    EXPECT_EQ(settings.Sameness, original.Sameness);
    EXPECT_EQ(settings.AlarmNum, original.AlarmNum);
}

// A size code that names no unit selects nothing and stays in the file;
// any area code but "0" is square centimetres.
TEST_F(SettingsDialogTest, ASizeCodeTheListCannotShowIsKept)
{
    ASSERT_TRUE(WriteIniValues({{"Sum", "PhotoSize", "00"}, {"Sum", "PhotoArea", "2"}}));
    settings = Settings::Load();
    Open();
    EXPECT_EQ(Get<QComboBox>("cmbPhotoSize")->currentIndex(), -1);
    EXPECT_EQ(Get<QComboBox>("cmbPhotoArea")->currentIndex(), 1);
    Press("cmdOK");
    EXPECT_EQ(settings.PhotoSize, std::nullopt);
    EXPECT_EQ(settings.PhotoArea, AreaUnit::SquareCentimetre);
    EXPECT_TRUE(ConfigLines().contains(QStringLiteral("PhotoSize=00")));
    EXPECT_TRUE(ConfigLines().contains(QStringLiteral("PhotoArea=1")));

    // Picking a unit replaces the odd code.
    Open();
    Get<QComboBox>("cmbPhotoSize")->setCurrentIndex(0);
    Press("cmdOK");
    EXPECT_EQ(settings.PhotoSize, LengthUnit::Centimetre);
    EXPECT_TRUE(ConfigLines().contains(QStringLiteral("PhotoSize=0")));
}

TEST_F(SettingsDialogTest, BrowsePutsTheChosenFileIntoTheBox)
{
    Open();
    Type("txtFileName", QStringLiteral("/old/editor"));
    dialogs.openAnswers = {QString()}; // cancelled
    Press("cmdBrow");
    EXPECT_EQ(Text("txtFileName"), QStringLiteral("/old/editor"));
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].title, QStringLiteral("打开文件"));
    EXPECT_EQ(dialogs.fileRequests[0].filter, QStringLiteral("所有文件(*)")); // programs have no extension here
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, QString());

    dialogs.openAnswers = {QStringLiteral("/usr/bin/new editor")};
    Press("cmdBrow");
    EXPECT_EQ(Text("txtFileName"), QStringLiteral("/usr/bin/new editor"));
    EXPECT_NE(dialog->result(), QDialog::Accepted); // browsing does not close the dialog
}

TEST_F(SettingsDialogTest, AFailedSaveKeepsConfigIniAndTheRecordAndSaysWhy)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small disk needs root";
    // A 64 KiB disk that holds Config.ini and is then filled to the last byte.
    const QString disk = sandbox.mkdir(QStringLiteral("disk"));
    const QByteArray diskPath = QFile::encodeName(disk);
    ASSERT_EQ(::mount("tmpfs", diskPath.constData(), "tmpfs", 0, "size=64k"), 0);
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{diskPath};
    SetProgramFolder(disk);
    const QByteArray before = "[Sum]\r\nPhotoSize=0\r\nRadixPoint=2\r\n; shop settings\r\n"
                              "[DPIAlarm]\r\nAlarmNum=150\r\n";
    QFile ini(ConfigIniPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write(before) == before.size() && ini.flush());
    ini.close();
    QFile filler(disk + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, 'x');
    while (filler.write(block) > 0) {
    }
    filler.close();

    Open();
    Type("txtRadixPoint", QStringLiteral("5"));
    Get<QCheckBox>("chkPreview")->setChecked(false);
    Press("cmdOK");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), before);
    ini.close();
    ASSERT_EQ(dialogs.messages.size(), 1);
    const QString prefix = QStringLiteral("参数保存失败：");
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(prefix)) << dialogs.messages[0].text.toStdString();
    EXPECT_GT(dialogs.messages[0].text.size(), prefix.size()); // the reason follows
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("错误"));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Critical);
    // Nothing was saved, so nothing changed: the dialog stays open as typed.
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings.RadixPoint, 2);
    EXPECT_TRUE(settings.Preview);
    EXPECT_EQ(Text("txtRadixPoint"), QStringLiteral("5"));

    // With room again, the same OK saves.
    ASSERT_TRUE(filler.remove());
    Press("cmdOK");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings.RadixPoint, 5);
    EXPECT_TRUE(ConfigLines().contains(QStringLiteral("RadixPoint=5")));
    EXPECT_TRUE(ConfigLines().contains(QStringLiteral("; shop settings")));
}
