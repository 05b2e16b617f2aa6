// Start-up: settings first, then the store; a store that cannot be opened is
// reported and the file is left as it was.
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "start_up.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace kestova;
using kestova::test::RecordingDialogs;
using kestova::test::Sandbox;

namespace {

QStringList FolderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The message keeps its first line and adds the store and the cause.
void ExpectConnectionFailure(const RecordingDialogs &dialogs, const StartUpState &state, const QString &cause)
{
    EXPECT_FALSE(state.store);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("数据库连接失败，请检查数据库是否存在！\n数据库 " + DataMdbPath()
                                                    + "：" + cause))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(dialogs.messages[0].title, "提示");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
}

} // namespace

TEST(StartUp, MissingStoreIsReportedAndNotCreated)
{
    Sandbox box;
    RecordingDialogs dialogs;
    const StartUpState state = StartUp(dialogs);
    ExpectConnectionFailure(dialogs, state, "不存在");
    EXPECT_TRUE(FolderEntries(box.programDir()).isEmpty());
}

TEST(StartUp, FileThatIsNoStoreIsReportedAndLeftUntouched)
{
    // An old Access file, an empty file and random text: none is a store.
    const QList<QByteArray> contents = {
        QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2000, '\x5a'),
        QByteArray(),
        QByteArray("just some text\n"),
    };
    for (const QByteArray &bytes : contents) {
        Sandbox box;
        box.writeFile("program/Data.mdb", bytes);
        RecordingDialogs dialogs;
        const StartUpState state = StartUp(dialogs);
        ExpectConnectionFailure(dialogs, state, "已损坏");
        QFile f(DataMdbPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), bytes);
        EXPECT_EQ(FolderEntries(box.programDir()), QStringList{"Data.mdb"});
    }
}

TEST(StartUp, GoodStoreOpensWithoutMessagesAndSettingsAreRead)
{
    Sandbox box;
    box.createStore();
    box.writeFile("program/Config.ini", "[Sum]\r\nRadixPoint=3\r\n");
    RecordingDialogs dialogs;
    const StartUpState state = StartUp(dialogs);
    EXPECT_TRUE(state.store);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(state.settings.RadixPoint, 3);
}
