// The main window driven as an operator drives it: pick a folder, count,
// answer the question, read the grids, click and double-click rows, export,
// change settings, exit.
#include "main_window_fixture.h"

#include "frm_about.h"
#include "frm_config.h"
#include "ini_file.h"
#include "layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTreeView>

#include <sys/resource.h>
#include <csignal>

using namespace kestova;
using namespace kestova::test;

namespace {

const QColor Yellow(255, 255, 128);
const QColor Magenta(255, 128, 255);


QStringList MenuTexts(QMenu *menu)
{
    QStringList texts;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

} // namespace

TEST_F(MainWindowTest, LoadShowsTheDesignedWindow)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestova图片统计"));
    EXPECT_FALSE(window->windowIcon().isNull());

    const QStringList captions{QStringLiteral("统计图片"), QStringLiteral("导出"), QStringLiteral("打印"),
                               QStringLiteral("参数"), QStringLiteral("退出")};
    for (int position = 1; position <= 5; ++position) {
        QToolButton *button = window->ToolbarButton(position);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), captions[position - 1]);
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_EQ(button->iconSize(), QSize(24, 24));
        EXPECT_FALSE(button->icon().pixmap(24, 24).toImage().isNull());
        EXPECT_FALSE(button->toolTip().isEmpty());
        // The button shows its whole caption.
        EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(captions[position - 1]));
    }
    // The information strip lies to the right of the buttons.
    auto *strip = window->findChild<QWidget *>(QStringLiteral("Picture1"));
    ASSERT_NE(strip, nullptr);
    EXPECT_GE(strip->x(), window->ToolbarButton(5)->geometry().right());
    // Label1's text is drawn in the highlight colour: some pixels are exactly
    // that colour (the glyphs' cores), none is black.
    auto *label1 = window->findChild<QLabel *>(QStringLiteral("Label1"));
    EXPECT_FALSE(label1->text().isEmpty());
    const QImage drawn = label1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb highlight = label1->palette().color(QPalette::Highlight).rgb();
    ASSERT_NE(qGray(highlight), 0);
    int highlighted = 0;
    int black = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            highlighted += drawn.pixel(x, y) == highlight;
            black += qRed(drawn.pixel(x, y)) + qGreen(drawn.pixel(x, y)) + qBlue(drawn.pixel(x, y)) < 60;
        }
    }
    EXPECT_GT(highlighted, 20);
    EXPECT_EQ(black, 0);

    auto *refresh = window->findChild<QPushButton *>(QStringLiteral("cmdRefresh"));
    ASSERT_NE(refresh, nullptr);
    EXPECT_EQ(refresh->text(), QStringLiteral("刷新"));
    EXPECT_EQ(refresh->size(), QSize(213, 28));

    QStringList titles;
    for (QAction *action : window->menuBar()->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("帮助(&H)")}));
    EXPECT_EQ(MenuTexts(window->findChild<QMenu *>(QStringLiteral("mmu_File"))),
              (QStringList{QStringLiteral("统计图片(&C)"), QStringLiteral("导出(&E)..."), QStringLiteral("打印(&P)..."),
                           QStringLiteral("打印预览(&V)..."), QStringLiteral("订单记录(&O)..."),
                           QStringLiteral("价格表(&L)..."), QStringLiteral("参数(&S)..."), QStringLiteral("退出(&X)")}));
    EXPECT_EQ(MenuTexts(window->findChild<QMenu *>(QStringLiteral("mmu_Help"))), QStringList{QStringLiteral("关于(&A)")});
    // Every command has a key, shown in its tooltip; each toolbar button has
    // its command's key and takes the focus by Tab.
    for (QMenu *menu : window->menuBar()->findChildren<QMenu *>()) {
        for (QAction *action : menu->actions()) {
            if (action->isSeparator() || action->menu())
                continue;
            EXPECT_FALSE(action->shortcut().isEmpty()) << action->text().toStdString();
            EXPECT_TRUE(action->toolTip().contains(action->shortcut().toString(QKeySequence::NativeText)))
                << action->toolTip().toStdString();
        }
    }
    const QStringList keys{"F5", "Ctrl+E", "Ctrl+P", "Ctrl+,", "Ctrl+Q"};
    for (int position = 1; position <= 5; ++position) {
        EXPECT_TRUE(window->ToolbarButton(position)->toolTip().contains(keys[position - 1]))
            << window->ToolbarButton(position)->toolTip().toStdString();
        EXPECT_EQ(window->ToolbarButton(position)->focusPolicy(), Qt::TabFocus);
    }

    EXPECT_EQ(PanelText(1), QStringLiteral("当前路径："));
    EXPECT_EQ(PanelText(2), QString());
    EXPECT_EQ(PanelText(3), QStringLiteral("当前路径文件数量："));
    EXPECT_EQ(PanelText(4), QString());
    EXPECT_EQ(PanelText(5), QString());
    EXPECT_EQ(window->Panel(1)->width(), 96);
    EXPECT_EQ(window->Panel(2)->width(), 400);
    EXPECT_EQ(window->Panel(3)->width(), 133);
    EXPECT_EQ(window->Panel(4)->width(), 160);
    EXPECT_GE(window->Panel(5)->width(), 96);

    // Both grids: their header row and one empty row.
    EXPECT_EQ(window->Total()->Model().HeaderTexts(),
              (QStringList{QStringLiteral("图片尺寸"), QStringLiteral("数量"), QStringLiteral("面积")}));
    EXPECT_EQ(window->Detail()->Model().HeaderTexts(),
              (QStringList{QStringLiteral("文件名"), QStringLiteral("图片尺寸"), QStringLiteral("水平分辨率"),
                           QStringLiteral("垂直分辨率"), QStringLiteral("面积"), QStringLiteral("统计结果")}));
    EXPECT_EQ(Rows(*window->Total()), (QList<QStringList>{{"", "", ""}}));
    EXPECT_EQ(Rows(*window->Detail()), (QList<QStringList>{{"", "", "", "", "", ""}}));
}

TEST_F(MainWindowTest, LayoutFollowsTheClientAreaAndRefitsTheColumns)
{
    window->resize(1300, 760);
    const QWidget *client = window->centralWidget();
    const QRect total = window->Total()->geometry();
    const QRect detail = window->Detail()->geometry();
    const QRect preview = window->Preview()->geometry();
    EXPECT_EQ(total.left(), 213);
    EXPECT_EQ(detail.left(), 213 + total.width());
    EXPECT_EQ(total.width() + detail.width(), client->width() - 213);
    EXPECT_EQ(total.width(), TotalGridWidth(client->width() - 213, GridNeeds(*window->Total()),
                                            GridNeeds(*window->Detail(), FileNameBudget(*window->Detail()))));
    EXPECT_EQ(preview.top(), total.bottom() + 1);
    EXPECT_EQ(preview.width(), total.width());
    EXPECT_EQ(window->FolderTree()->width(), 213);
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(window->Detail()->horizontalHeader()->sectionSize(c), FitColumnWidthPixels(detail.width(), 6));
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(window->Total()->horizontalHeader()->sectionSize(c), FitColumnWidthPixels(total.width(), 3));

    // Wider: the details keep what they need, the totals and the preview
    // grow.
    window->resize(1600, 900);
    EXPECT_GT(window->Total()->width(), total.width());
    EXPECT_GE(window->Detail()->width(), GridNeeds(*window->Detail(), FileNameBudget(*window->Detail())));
    EXPECT_EQ(window->Detail()->horizontalHeader()->sectionSize(5),
              FitColumnWidthPixels(window->Detail()->width(), 6));

    // Minimised, the controls stay where they were.
    const QRect before = window->Detail()->geometry();
    window->showMinimized();
    window->centralWidget()->resize(300, 200);
    EXPECT_EQ(window->Detail()->geometry(), before);
}

TEST_F(MainWindowTest, CountFillsBothGridsAndMarksTheAlarmRows)
{
    const QString folder = MakeOrderFolder();
    SelectFolder(folder);
    EXPECT_EQ(PanelText(2), folder);
    EXPECT_EQ(window->SelectedFolder(), folder);

    PressToolbar(1);
    EXPECT_EQ(forms.shown, QStringList{QStringLiteral("frmProgressBar")});
    EXPECT_EQ(forms.modal, QList<bool>{true});
    EXPECT_TRUE(dialogs.messages.isEmpty()) << MessageTexts().join(u'\n').toStdString();
    EXPECT_EQ(PanelText(4), QStringLiteral("5"));
    EXPECT_TRUE(window->Counted().Holds(folder));

    // SelectDetailGrid's order: by horizontal, then vertical resolution.
    const QList<QStringList> detail = Rows(*window->Detail());
    ASSERT_EQ(detail.size(), 5);
    EXPECT_EQ(detail[0], (QStringList{folder + "notes.txt", "0*0", "0", "0", "0", "失败"}));
    EXPECT_EQ(detail[1], (QStringList{folder + "low.jpg", "35.28*24.69", "72", "72", "0.0871", "成功"}));
    EXPECT_EQ(detail[2], (QStringList{folder + "sub/c.jpg", "30.48*20.32", "150", "150", "0.0619", "成功"}));
    EXPECT_EQ(detail[3], (QStringList{folder + "a.jpg", "15.24*10.16", "300", "300", "0.0155", "成功"}));
    EXPECT_EQ(detail[4], (QStringList{folder + "b.jpg", "15.24*10.16", "300", "300", "0.0155", "成功"}));

    // The failed file yellow, the 72 dpi photo magenta, every cell of the
    // row; a resolution equal to the threshold is not marked.
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(RowColour(*window->Detail(), 0, c), Yellow);
        EXPECT_EQ(RowColour(*window->Detail(), 1, c), Magenta);
        EXPECT_FALSE(RowColour(*window->Detail(), 2, c).isValid());
        EXPECT_FALSE(RowColour(*window->Detail(), 3, c).isValid());
    }

    EXPECT_EQ(Rows(*window->Total()), (QList<QStringList>{{"15.24*10.16", "2", "0.03"},
                                                           {"30.48*20.32", "1", "0.06"},
                                                           {"35.28*24.69", "1", "0.09"},
                                                           {"合计", "4", "0.18"}}));
    for (int r = 0; r < 4; ++r)
        EXPECT_FALSE(RowColour(*window->Total(), r).isValid()); // the totals grid is never marked

    // Equal columns after the count too.
    EXPECT_EQ(window->Detail()->horizontalHeader()->sectionSize(0),
              FitColumnWidthPixels(window->Detail()->width(), 6));
    EXPECT_FALSE(window->Detail()->currentIndex().isValid());
}

TEST_F(MainWindowTest, CountingAFolderAgainAsksFirst)
{
    const QString folder = MakeOrderFolder();
    SelectFolder(folder);
    PressToolbar(1);
    sandbox.writeFile(QStringLiteral("orders/Smith/d.jpg"), JpegBytes(600, 400, 300));

    // No: nothing is counted, nothing changes.
    dialogs.answers = {MessageAnswer::No};
    PressToolbar(1);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("此文件夹已统计过，是否重新统计？"));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("提示"));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(forms.shown.size(), 1);
    EXPECT_EQ(window->Detail()->model()->rowCount(), 5);
    EXPECT_EQ(PanelText(4), QStringLiteral("5"));

    // Yes: counted again, and listed a second time.
    dialogs.answers = {MessageAnswer::Yes};
    PressToolbar(1);
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(window->Detail()->model()->rowCount(), 6);
    EXPECT_EQ(PanelText(4), QStringLiteral("6"));

    // Another folder is counted without a question, and the last
    // customer's photo goes with their totals.
    ClickDetailRow(3);
    ASSERT_TRUE(window->Preview()->HasPicture());
    const QString other = MakeOrderFolder(QStringLiteral("orders/Jones"));
    SelectFolder(other);
    PressToolbar(1);
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(forms.shown.size(), 3);
    EXPECT_FALSE(window->Preview()->HasPicture());
    EXPECT_EQ(window->PreviewedPath(), QString());
    EXPECT_EQ(PanelText(5), QString());
}

TEST_F(MainWindowTest, AFolderWithoutFilesShowsThePreviousResultsAgain)
{
    SelectFolder(MakeOrderFolder());
    PressToolbar(1);
    const QList<QStringList> totals = Rows(*window->Total());

    const QString empty = Folder(QStringLiteral("empty"));
    sandbox.mkdir(QStringLiteral("empty"));
    SelectFolder(empty);
    PressToolbar(1);
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("文件不存在！")});
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("系统提示"));
    EXPECT_EQ(PanelText(4), QStringLiteral("0"));
    EXPECT_EQ(Rows(*window->Total()), totals);
    EXPECT_EQ(window->Detail()->model()->rowCount(), 5);
    // Listed all the same, so counting it again asks.
    EXPECT_TRUE(window->Counted().Holds(empty));
}

// A count that stops half way, by Escape or because the store refused a
// write, leaves the earlier folder's totals in the store: they must not show
// under the new folder, nor the photo previewed before.
TEST_F(MainWindowTest, AnUnfinishedCountNeverShowsTheEarlierTotalsOrPhoto)
{
    SelectFolder(MakeOrderFolder());
    PressToolbar(1);
    ASSERT_EQ(window->Total()->model()->rowCount(), 4);
    ClickDetailRow(3);
    ASSERT_TRUE(window->Preview()->HasPicture());
    const QList<QStringList> noTotals{{"", "", ""}};

    const QString other = MakeOrderFolder(QStringLiteral("orders/Jones"));
    SelectFolder(other);
    forms.scanYieldMs = 0;
    forms.beforeScan = [](frmProgressBar &scan) {
        QCoreApplication::postEvent(&scan, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    PressToolbar(1);
    EXPECT_EQ(PanelText(4), QStringLiteral("统计已中断（1/5）"));
    EXPECT_EQ(Rows(*window->Total()), noTotals);
    EXPECT_EQ(window->Detail()->model()->rowCount(), 1); // what was measured stays visible
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(window->Preview()->HasPicture());
    EXPECT_EQ(PanelText(5), QString());
    ClickDetailRow(0);
    ASSERT_TRUE(window->Preview()->HasPicture() || !window->Preview()->Message().isEmpty());

    // The store refuses the inserts (another connection adds a trigger).
    RefuseDetailInserts();
    forms.beforeScan = nullptr;
    SelectFolder(Folder(QStringLiteral("orders/Smith")));
    dialogs.answers = {MessageAnswer::Yes};
    PressToolbar(1);
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages[1].text, QStringLiteral("数据库写入失败：refused"));
    EXPECT_EQ(dialogs.messages[1].icon, MessageIcon::Critical);
    EXPECT_EQ(PanelText(4), QStringLiteral("统计失败"));
    EXPECT_EQ(Rows(*window->Total()), noTotals);
    EXPECT_FALSE(window->Preview()->HasPicture());
    EXPECT_TRUE(window->Preview()->Message().isEmpty());
    EXPECT_EQ(PanelText(5), QString());
    EXPECT_EQ(window->Detail()->model()->rowCount(), 1);
    EXPECT_EQ(window->Detail()->Text(0, 0), QString());
}

TEST_F(MainWindowTest, FolderSelectionSetsTheMemberNameWhenAsked)
{
    printInfo.MemberName = QStringLiteral("before");
    SelectFolder(Folder(QStringLiteral("orders/Smith")));
    EXPECT_EQ(printInfo.MemberName, QStringLiteral("before"));

    settings.PathAsMemberName = true;
    SelectFolder(Folder(QStringLiteral("orders/张三")));
    EXPECT_EQ(printInfo.MemberName, QStringLiteral("张三"));

    // A tree item that is no folder: the path empties, the name stays.
    SelectFolder(QString());
    EXPECT_EQ(PanelText(2), QString());
    EXPECT_EQ(window->SelectedFolder(), QString());
    EXPECT_EQ(printInfo.MemberName, QStringLiteral("张三"));
}

TEST_F(MainWindowTest, ClickPreviewsAndDoubleClickOpensTheEditor)
{
    // Before the first count the one empty row does nothing.
    ClickDetailRow(0);
    EXPECT_FALSE(window->Preview()->HasPicture());
    EXPECT_EQ(PanelText(5), QString());

    const QString folder = MakeOrderFolder(QStringLiteral("orders/Mr Smith"));
    SelectFolder(folder);
    PressToolbar(1);

    ClickDetailRow(3); // a.jpg, 1800 × 1200
    EXPECT_TRUE(window->Preview()->HasPicture());
    const QSize inner = window->Preview()->InnerSize();
    EXPECT_EQ(window->Preview()->Target(), FitPhotoRect(1800, 1200, inner.width(), inner.height()));
    EXPECT_EQ(PanelText(5), folder + QStringLiteral("a.jpg"));
    EXPECT_EQ(PanelText(3), QStringLiteral("当前路径文件数量："));
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A smaller window: the photo is fitted again, whole, to the new box.
    window->resize(900, 560);
    const auto refitted = [&] {
        const QSize box = window->Preview()->InnerSize();
        return box != inner && window->Preview()->Target() == FitPhotoRect(1800, 1200, box.width(), box.height());
    };
    EXPECT_TRUE(QTest::qWaitFor(refitted));
    const QSize smaller = window->Preview()->InnerSize();
    ASSERT_NE(smaller, inner);
    EXPECT_EQ(window->Preview()->Target(), FitPhotoRect(1800, 1200, smaller.width(), smaller.height()));
    EXPECT_TRUE(QRect(QPoint(), smaller).contains(window->Preview()->Target()));

    // The text file cannot be drawn: the box says so and why, no message
    // box interrupts.
    ClickDetailRow(0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(window->Preview()->HasPicture());
    EXPECT_EQ(window->Preview()->Message(), QStringLiteral("无法预览\n无法读出图片的尺寸，统计时记为失败"));
    EXPECT_EQ(PanelText(5), folder + QStringLiteral("notes.txt"));

    // A photo deleted since the count.
    QFile::remove(folder + QStringLiteral("b.jpg"));
    ClickDetailRow(4);
    EXPECT_EQ(window->Preview()->Message(), QStringLiteral("无法预览\n无法读取文件"));
    EXPECT_FALSE(window->Preview()->HasPicture());

    // No editor set: a double-click previews and says what is missing.
    for (const QString &none : {QString(), QStringLiteral("  ")}) {
        settings.EditPath = none;
        DoubleClickDetailRow(3);
        EXPECT_TRUE(shell.starts.isEmpty());
        EXPECT_TRUE(window->Preview()->HasPicture());
        ASSERT_FALSE(dialogs.messages.isEmpty());
        EXPECT_TRUE(dialogs.messages.last().text.contains(QStringLiteral("图片编辑程序")));
    }
    dialogs.messages.clear();

    // The path, blanks and all, is the editor's one argument.
    settings.EditPath = QStringLiteral("/opt/photo editor/bin/edit");
    DoubleClickDetailRow(2);
    ASSERT_EQ(shell.starts.size(), 1);
    EXPECT_EQ(shell.starts[0].program, QStringLiteral("/opt/photo editor/bin/edit"));
    EXPECT_EQ(shell.starts[0].argument, folder + QStringLiteral("sub/c.jpg"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(MainWindowTest, PreviewSwitchedOffShowsOnlyThePath)
{
    const QString folder = MakeOrderFolder();
    SelectFolder(folder);
    PressToolbar(1);
    ClickDetailRow(3);
    ASSERT_TRUE(window->Preview()->HasPicture());

    settings.Preview = false;
    ClickDetailRow(4);
    EXPECT_FALSE(window->Preview()->HasPicture());
    EXPECT_EQ(PanelText(5), folder + QStringLiteral("b.jpg"));
    ClickDetailRow(0); // not even the failure is drawn, so nothing to report
    EXPECT_TRUE(window->Preview()->Message().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(MainWindowTest, ExportWritesTheTotalsFile)
{
    const QString folder = MakeOrderFolder();
    SelectFolder(folder);
    PressToolbar(1);

    const QString file = sandbox.path(QStringLiteral("totals.txt"));
    dialogs.saveAnswers = {file};
    PressToolbar(2);
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    const FileDialogRequest &request = dialogs.fileRequests[0];
    EXPECT_EQ(request.title, QStringLiteral("另存为"));
    EXPECT_EQ(request.filter, QStringLiteral("文本文档(*.txt)"));
    // Never into the customer's folder, where the next count would list it.
    EXPECT_EQ(request.initialFolder, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    EXPECT_EQ(request.fileName, QStringLiteral("Smith.txt"));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("txt"));
    EXPECT_TRUE(request.confirmOverwrite);

    const QByteArray expected = QByteArray("15.24*10.16 2 0.03\r\n30.48*20.32 1 0.06\r\n35.28*24.69 1 0.09\r\n")
        + QByteArray("\xBA\xCF\xBC\xC6 4 0.18\r\n"); // 合计 in GBK
    EXPECT_EQ(ReadBytes(file), expected);
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("保存完毕!")});
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("提示"));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(window->LastExportFile(), file);

    // The next customer's export proposes their own name in the folder
    // used last, so it cannot overwrite Smith's by a careless Enter;
    // cancelling writes nothing.
    SelectFolder(MakeOrderFolder(QStringLiteral("orders/Jones")));
    PressToolbar(1);
    PressToolbar(2);
    EXPECT_EQ(dialogs.fileRequests[1].initialFolder, sandbox.root());
    EXPECT_EQ(dialogs.fileRequests[1].fileName, QStringLiteral("Jones.txt"));
    EXPECT_EQ(ReadBytes(file), expected);
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(MainWindowTest, ExportOfAnEmptyTotalsTableAsksNothing)
{
    PressToolbar(2);
    EXPECT_TRUE(dialogs.fileRequests.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(MainWindowTest, ExportTotalWithoutImagesIsTotalAndTwoBlanks)
{
    sandbox.writeFile(QStringLiteral("texts/a.txt"), "x");
    SelectFolder(Folder(QStringLiteral("texts")));
    PressToolbar(1);
    const QString file = sandbox.path(QStringLiteral("t.txt"));
    dialogs.saveAnswers = {file};
    PressToolbar(2);
    EXPECT_EQ(ReadBytes(file), QByteArray("\xBA\xCF\xBC\xC6  \r\n"));
}

TEST_F(MainWindowTest, AFailedExportSaysWhyAndKeepsTheOldFile)
{
    SelectFolder(MakeOrderFolder());
    PressToolbar(1);

    // A folder that does not exist.
    const QString nowhere = sandbox.path(QStringLiteral("missing/totals.txt"));
    dialogs.saveAnswers = {nowhere};
    PressToolbar(2);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QDir::toNativeSeparators(nowhere)));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(window->LastExportFile(), nowhere);

    // A disk that fills up half-way: the file keeps its old content.
    const QString file = sandbox.writeFile(QStringLiteral("old.txt"), "old content");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 20;
    setrlimit(RLIMIT_FSIZE, &tiny);
    dialogs.saveAnswers = {file};
    PressToolbar(2);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.messages[1].text.contains(file));
    EXPECT_EQ(ReadBytes(file), QByteArray("old content"));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, SettingsCommandEditsTheRecordAndConfigIni)
{
    forms.scripts[QStringLiteral("frmConfig")] = [](QDialog &dialog) {
        dialog.findChild<QLineEdit *>(QStringLiteral("txtRadixPoint"))->setText(QStringLiteral(" 3 "));
        dialog.findChild<QLineEdit *>(QStringLiteral("txtDPI"))->setText(QStringLiteral("200"));
        dialog.findChild<QComboBox *>(QStringLiteral("cmbPhotoSize"))->setCurrentIndex(1);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
        return dialog.result();
    };
    PressToolbar(4);
    EXPECT_EQ(forms.shown, QStringList{QStringLiteral("frmConfig")});
    EXPECT_EQ(settings.RadixPoint, 3);
    EXPECT_EQ(settings.AlarmNum, 200);
    EXPECT_EQ(settings.PhotoSize, LengthUnit::Inch);
    bool ok = false;
    EXPECT_EQ(ReadProfileString(ConfigIniPath(), QStringLiteral("Sum"), QStringLiteral("PhotoSize"), &ok),
              QStringLiteral("1"));

    // The new threshold marks from the next count on.
    SelectFolder(MakeOrderFolder());
    PressToolbar(1);
    EXPECT_EQ(RowColour(*window->Detail(), 2), Magenta); // 150 dpi < 200
}

TEST_F(MainWindowTest, AboutBoxFromTheHelpMenu)
{
    forms.scripts[QStringLiteral("frmAbout")] = [](QDialog &dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("关于"));
        auto *link = dialog.findChild<QLabel *>(QStringLiteral("lblConnection"));
        QTest::mouseClick(link, Qt::LeftButton);
        auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("cmdOK"));
        EXPECT_TRUE(ok->isDefault());
        QTest::mouseClick(ok, Qt::LeftButton);
        return dialog.result();
    };
    window->findChild<QAction *>(QStringLiteral("mmu_Help_About"))->trigger();
    EXPECT_EQ(forms.shown, QStringList{QStringLiteral("frmAbout")});
    EXPECT_EQ(forms.modal, QList<bool>{true});
    EXPECT_EQ(shell.urls, QList<QUrl>{MakerWebPage});

    // Escape presses OK as well.
    forms.scripts[QStringLiteral("frmAbout")] = [](QDialog &dialog) {
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        return dialog.result();
    };
    window->findChild<QAction *>(QStringLiteral("mmu_Help_About"))->trigger();
    EXPECT_EQ(forms.shown.size(), 2);
}

TEST_F(MainWindowTest, RefreshReopensTheFolderTreeWithTheSelectionInSightAndTheFocus)
{
    for (int i = 0; i < 40; ++i)
        sandbox.mkdir(QStringLiteral("orders/客户_%1").arg(i, 2, 10, QChar(u'0')));
    const QString folder = Folder(QStringLiteral("orders/客户_35"));
    window->FolderTree()->setPath(folder);
    ASSERT_EQ(PanelText(2), folder);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->Total()->setFocus();

    QSignalSpy status(window->FolderTree(), &ucBrowse::Status);
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdRefresh")), Qt::LeftButton);
    EXPECT_TRUE(status.contains(QVariantList{QStringLiteral("SystemTreeView Initalized")}));
    QTreeView *tree = window->FolderTree()->Tree();
    EXPECT_TRUE(tree->hasFocus());
    EXPECT_EQ(PanelText(2), folder);
    // In sight once the folders around it have been read.
    const auto inSight = [&] {
        const QModelIndex current = tree->currentIndex();
        const QRect cell = tree->visualRect(current);
        const QRect name(cell.topLeft(), QSize(tree->sizeHintForIndex(current).width(), cell.height()));
        return current.isValid() && current.parent().isValid() && tree->model()->rowCount(current.parent()) == 40
               && tree->viewport()->rect().contains(name);
    };
    EXPECT_TRUE(QTest::qWaitFor(inSight, 10000));
}

TEST_F(MainWindowTest, TheNextStartBeginsAtTheFolderCountedLast)
{
    ASSERT_TRUE(settings.Save());  // Config.ini as it is laid down: Sum, MemberName, DPIAlarm
    const QString folder = MakeOrderFolder();
    SelectFolder(folder);
    PressToolbar(1);
    EXPECT_EQ(LoadLastPath(), folder);
    const QByteArray ini = ReadBytes(ConfigIniPath());
    EXPECT_LT(ini.indexOf("[DPIAlarm]"), ini.indexOf("[Browse]\r\nLastPath=" + folder.toUtf8())) << ini.toStdString();
    EXPECT_LT(ini.indexOf("[Sum]"), ini.indexOf("[DPIAlarm]"));

    window.reset();
    OpenWindow();
    EXPECT_EQ(PanelText(2), folder);
    EXPECT_EQ(window->SelectedFolder(), folder);
    EXPECT_EQ(window->FolderTree()->Tree()->currentIndex().data().toString(), QStringLiteral("Smith"));
    EXPECT_TRUE(window->acceptDrops());  // a folder dropped from the file manager selects it
}

TEST_F(MainWindowTest, ExitButtonUnloadsTheWindowAndReleasesTheStore)
{
    SelectFolder(MakeOrderFolder());
    PressToolbar(1);
    PressToolbar(5);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Store(), nullptr);
    EXPECT_EQ(window->Detail()->model()->rowCount(), 1);
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
    // The store file is free again: another connection can open it.
    EXPECT_NE(PhotoStore::Open(DataMdbPath()), nullptr);
}

TEST_F(MainWindowTest, FileMenuExitClosesTheWindow)
{
    window->findChild<QAction *>(QStringLiteral("mmu_File_Exit"))->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Store(), nullptr);
}
