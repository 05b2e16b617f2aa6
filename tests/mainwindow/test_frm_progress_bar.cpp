// The scan window: it scans when first shown and closes itself, reports the
// file count, stops on Escape from any window, and keeps the event loop
// turning during a long scan.
#include "frm_progress_bar.h"

#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "result_grids.h"
#include "sandbox.h"
#include "settings.h"
#include "slow_mount.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace kestova;
using namespace kestova::test;

namespace {

class ScanWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sandbox.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
    }

    QString Folder(const QString &relative, int files)
    {
        for (int i = 0; i < files; ++i)
            sandbox.writeFile(QStringLiteral("%1/f%2.png").arg(relative).arg(i, 3, 10, QLatin1Char('0')),
                              PngBytes(30, 20, 300));
        return sandbox.path(relative) + u'/';
    }

    // Shown as the program shows it, minus the modal loop: the first
    // showing queues the scan, which runs when the event is delivered.
    void Run(frmProgressBar &window)
    {
        window.show();
        QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    }

    int DetailRows()
    {
        ResultGrid grid;
        grid.Bind(store->ReadDetailGrid());
        while (grid.model()->canFetchMore(QModelIndex()))
            grid.model()->fetchMore(QModelIndex());
        const int rows = grid.Model().IsPlaceholderRow(0) ? 0 : grid.model()->rowCount();
        grid.Detach();
        return rows;
    }

    Sandbox sandbox;
    Settings settings;
    RecordingDialogs dialogs;
    std::unique_ptr<PhotoStore> store;
};

} // namespace

TEST_F(ScanWindowTest, ScansWhenShownAndClosesItself)
{
    const QString folder = Folder(QStringLiteral("order"), 3);
    frmProgressBar window(folder, settings, *store, dialogs);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("[ESC键中断] 正在处理，请稍候..."));
    EXPECT_TRUE(window.isModal());
    EXPECT_EQ(window.findChildren<QProgressBar *>().size(), 1);
    QSignalSpy count(&window, &frmProgressBar::FileCount);

    window.show();
    EXPECT_FALSE(window.Scanned()); // not before the event loop gets to it
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    EXPECT_TRUE(window.Scanned());
    EXPECT_EQ(window.End(), ScanEnd::Completed);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
    ASSERT_EQ(count.size(), 1);
    EXPECT_EQ(count[0][0].toInt(), 3);
    EXPECT_EQ(window.Bar()->maximum(), 3);
    EXPECT_EQ(DetailRows(), 3);
    EXPECT_EQ(store->ReadTotals().size(), 2);
}

TEST_F(ScanWindowTest, AnEmptyFolderSaysSoAndCloses)
{
    frmProgressBar window(sandbox.mkdir(QStringLiteral("empty")) + u'/', settings, *store, dialogs);
    QSignalSpy count(&window, &frmProgressBar::FileCount);
    Run(window);
    EXPECT_EQ(window.End(), ScanEnd::NoFiles);
    ASSERT_EQ(count.size(), 1);
    EXPECT_EQ(count[0][0].toInt(), 0);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("文件不存在！"));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ScanWindowTest, EscapeInAnyWindowStopsAfterTheCurrentFile)
{
    // The totals of an earlier scan, which a stopped scan leaves alone.
    {
        frmProgressBar first(Folder(QStringLiteral("earlier"), 2), settings, *store, dialogs);
        Run(first);
    }
    const auto totalsBefore = store->ReadTotals();

    QWidget elsewhere; // some other window of the program
    const QString folder = Folder(QStringLiteral("order"), 6);
    frmProgressBar window(folder, settings, *store, dialogs);
    window.SetYieldInterval(0); // let the events in after every file
    QCoreApplication::postEvent(&elsewhere, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    Run(window);
    EXPECT_EQ(window.End(), ScanEnd::Stopped);
    EXPECT_FALSE(window.isVisible()); // closed by the scan's end, not by the key
    // The key was seen at the first chance after listing, so no file or
    // one file was measured, depending on when the events ran.
    EXPECT_LE(DetailRows(), 1);
    const auto totalsAfter = store->ReadTotals();
    ASSERT_EQ(totalsAfter.size(), totalsBefore.size());
    EXPECT_EQ(totalsAfter[0].PhotoAmount, totalsBefore[0].PhotoAmount);
}

TEST_F(ScanWindowTest, TheCloseBoxWaitsForTheScan)
{
    const QString folder = Folder(QStringLiteral("order"), 4);
    frmProgressBar window(folder, settings, *store, dialogs);
    window.SetYieldInterval(0);
    QCoreApplication::postEvent(&window, new QCloseEvent);
    Run(window);
    EXPECT_EQ(window.End(), ScanEnd::Completed);
    EXPECT_EQ(DetailRows(), 4);
}

// A share that stops answering, first while a folder is listed, then while a
// file is read: the event loop keeps turning, and Escape stops the scan at
// once instead of waiting for the share.
TEST_F(ScanWindowTest, EscapeStopsAScanTheShareHoldsUp)
{
    Folder(QStringLiteral("share"), 6); // f000.png … f005.png
    sandbox.writeFile(QStringLiteral("share/held/x.png"), PngBytes(30, 20, 300));
    for (const QString &hold : {QStringLiteral("held"), QStringLiteral("f003.png")}) {
        SCOPED_TRACE(hold.toStdString());
        SlowMount share(sandbox.path(QStringLiteral("share")), 0, hold);
        if (!share.whyNot().isEmpty())
            GTEST_SKIP() << share.whyNot().toStdString();
        frmProgressBar window(share.path() + u'/', settings, *store, dialogs);
        QWidget elsewhere;
        QTimer watch; // runs whenever the event loop gets a turn
        watch.setInterval(0);
        bool pressed = false;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!pressed && share.held()) {
                pressed = true;
                QCoreApplication::postEvent(&elsewhere,
                                            new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            }
        });
        watch.start();
        Run(window);
        EXPECT_TRUE(pressed);
        EXPECT_EQ(window.End(), ScanEnd::Stopped);
        EXPECT_FALSE(share.letGo()) << "the scan waited for the share";
        EXPECT_FALSE(window.isVisible());
        EXPECT_LE(DetailRows(), hold == QStringLiteral("held") ? 0 : 3);
    }
}

namespace {

// 40 folders of 1,000 small photos each, made once for the tests below.
class BigScanTest : public ScanWindowTest
{
protected:
    static void SetUpTestSuite()
    {
        folder = std::make_unique<QTemporaryDir>();
        const QByteArray png = PngBytes(30, 20, 300);
        for (int d = 0; d < 40; ++d) {
            const QString dir = QStringLiteral("%1/d%2").arg(folder->path()).arg(d, 2, 10, QLatin1Char('0'));
            QDir().mkpath(dir);
            for (int f = 0; f < 1000; ++f) {
                QFile file(QStringLiteral("%1/f%2.png").arg(dir).arg(f, 4, 10, QLatin1Char('0')));
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(png);
            }
        }
    }
    static void TearDownTestSuite() { folder.reset(); }

    // Runs the scan with a timer that fires whenever the event loop gets a
    // turn, from the moment the files are listed; onTurn sees each turn's
    // number (from 1).
    QList<qint64> ScanCountingTurns(frmProgressBar &window, const std::function<void(int)> &onTurn = {})
    {
        QElapsedTimer clock;
        QList<qint64> turns;
        QTimer tick;
        tick.setInterval(0);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            turns.append(clock.elapsed());
            if (onTurn)
                onTurn(int(turns.size()));
        });
        QObject::connect(&window, &frmProgressBar::FileCount, [&] {
            clock.start(); // the listing itself is no time for turns
            tick.start();
        });
        Run(window);
        turns.append(clock.elapsed()); // the end of the scan
        return turns;
    }

    static inline std::unique_ptr<QTemporaryDir> folder;
};

} // namespace

TEST_F(BigScanTest, FortyThousandFilesKeepTheEventLoopTurning)
{
    frmProgressBar window(folder->path() + u'/', settings, *store, dialogs);
    QSignalSpy count(&window, &frmProgressBar::FileCount);
    const QList<qint64> turns = ScanCountingTurns(window);
    ASSERT_EQ(count.size(), 1);
    EXPECT_EQ(count[0][0].toInt(), 40000);
    EXPECT_EQ(window.End(), ScanEnd::Completed);
    EXPECT_EQ(DetailRows(), 40000);
    // At least ten turns a second, from the listing to the end.
    qint64 longestGap = turns.first();
    for (int i = 1; i < turns.size(); ++i)
        longestGap = std::max(longestGap, turns[i] - turns[i - 1]);
    EXPECT_LE(longestGap, 100) << "the event loop waited " << longestGap << " ms";
}

TEST_F(BigScanTest, EscapeStopsALongScanAtOnce)
{
    frmProgressBar window(folder->path() + u'/', settings, *store, dialogs);
    QWidget elsewhere;
    QElapsedTimer sinceEscape;
    const QList<qint64> turns = ScanCountingTurns(window, [&](int turn) {
        if (turn == 1) {
            sinceEscape.start();
            QCoreApplication::postEvent(&elsewhere, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        }
    });
    EXPECT_EQ(window.End(), ScanEnd::Stopped);
    EXPECT_LE(sinceEscape.elapsed(), 150);
    EXPECT_LT(DetailRows(), 40000);
}
