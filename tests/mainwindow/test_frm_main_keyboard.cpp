// The main window without a mouse: a whole job by keys, the preview that
// follows the cursor, and the columns at 1366 × 768.
#include "main_window_fixture.h"

#include "frm_remark.h"
#include "layout.h"
#include "modal.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QTreeView>

using namespace kestova;
using namespace kestova::test;

namespace {

class KeyboardTest : public MainWindowTest
{
protected:
    // What the window system does for a window that opens or comes back:
    // it becomes the active one, and stays so (an earlier activation still
    // on its way must not take it away again).
    static bool Activate(QWidget *w)
    {
        int stable = 0;
        return QTest::qWaitFor([&] {
            if (QApplication::activeWindow() != w) {
                w->activateWindow();
                stable = 0;
                return false;
            }
            return ++stable >= 3;
        }, 5000);
    }
    void Activate() { ASSERT_TRUE(Activate(window.get())); }

    // A key as the operator presses it: to whatever has the focus.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QTest::keyClick(target, key, modifiers);
    }

    QString CurrentPath() const { return window->Detail()->CurrentRowText(0); }

    bool PreviewSettled() const
    {
        return QTest::qWaitFor([&] { return window->PreviewedPath() == CurrentPath(); }, 5000);
    }
};

} // namespace

TEST_F(KeyboardTest, AWholeJobByKeysAlone)
{
    const QString folder = MakeOrderFolder();
    window->FolderTree()->setPath(Folder(QStringLiteral("orders")));
    Activate();
    QTreeView *tree = window->FolderTree()->Tree();
    tree->setFocus(Qt::OtherFocusReason);

    // The customer's folder: open the shop's folder, go down to Smith.
    Press(Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->model()->rowCount(tree->currentIndex()) > 0 && tree->isExpanded(tree->currentIndex()); }, 10000));
    Press(Qt::Key_Down);
    ASSERT_EQ(window->SelectedFolder(), folder);
    Press(Qt::Key_Return);
    EXPECT_EQ(forms.shown, QStringList{QStringLiteral("frmProgressBar")});
    ASSERT_EQ(window->Total()->model()->rowCount(), 4);

    // Tab: the totals, then the details, never a walk through the cells.
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->Total());
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->Detail());

    // The first row (the text file) comes with the first Down, then three
    // photos, one after the other.
    Press(Qt::Key_Down);
    EXPECT_EQ(window->Detail()->currentIndex().row(), 0);
    ASSERT_TRUE(PreviewSettled()) << window->PreviewedPath().toStdString() << " / " << CurrentPath().toStdString();
    EXPECT_EQ(window->Preview()->Message(), QStringLiteral("无法预览\n无法读出图片的尺寸，统计时记为失败"));
    for (int row = 1; row <= 3; ++row) {
        Press(Qt::Key_Down);
        EXPECT_EQ(window->Detail()->currentIndex().row(), row);
        ASSERT_TRUE(PreviewSettled());
        EXPECT_TRUE(window->Preview()->HasPicture()) << row;
        EXPECT_EQ(PanelText(5), CurrentPath());
    }

    // Ctrl+P: the print information, filled and printed by keys; Tab leaves
    // the remark without typing into it.
    bool answered = false;
    AnswerModal<frmRemark>([&](frmRemark &d) {
        answered = true;
        ASSERT_TRUE(Activate(&d));
        Child<QPlainTextEdit>(d, "txtRemark")->setFocus(Qt::OtherFocusReason);
        for (const QString &c : {QStringLiteral("加"), QStringLiteral("急")})
            QTest::sendKeyEvent(QTest::Click, Child<QPlainTextEdit>(d, "txtRemark"), Qt::Key_unknown, c, Qt::NoModifier);
        QTest::keyClick(Child<QPlainTextEdit>(d, "txtRemark"), Qt::Key_Tab);
        EXPECT_EQ(Child<QPlainTextEdit>(d, "txtRemark")->toPlainText(), QStringLiteral("加急"));
        QWidget *next = QApplication::focusWidget();
        EXPECT_TRUE(next == Child<QComboBox>(d, "cbServiceName") || Child<QComboBox>(d, "cbServiceName")->isAncestorOf(next));
        QTest::keyClick(next, Qt::Key_Return, Qt::ControlModifier);
        if (d.isVisible()) {
            ADD_FAILURE() << "Ctrl+Enter did not print";
            d.reject();
        }
    });
    Press(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(QFileInfo(sandbox.path(QStringLiteral("order.pdf"))).size() > 0);
    // The order went into the book with its remark; the next order starts
    // without one.
    {
        QSqlDatabase peek = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        peek.setDatabaseName(DataMdbPath());
        ASSERT_TRUE(peek.open());
        EXPECT_EQ(QueryRows(peek, QStringLiteral("SELECT Remark, Status FROM OrderRecord")),
                  (QList<QStringList>{{QStringLiteral("加急"), QStringLiteral("<null>")}}));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    EXPECT_EQ(printInfo.Remark, QString());

    // Ctrl+E: the totals into a file.
    Activate();
    const QString file = sandbox.path(QStringLiteral("Smith.txt"));
    dialogs.saveAnswers = {file};
    Press(Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("保存完毕!")});
}

TEST_F(KeyboardTest, ThePreviewFollowsTheCursorAndNeverShowsAnotherRowsPhoto)
{
    // Photos of different proportions, so the fitted rectangle tells which
    // one is drawn.
    QList<QSize> sizes;
    for (int i = 0; i < 24; ++i) {
        const QSize size(600 + 40 * i, 400 + 13 * (i % 7));
        sizes << size;
        sandbox.writeFile(QStringLiteral("many/p%1.jpg").arg(i, 2, 10, QChar(u'0')),
                          JpegBytes(size.width(), size.height(), 300));
    }
    SelectFolder(Folder(QStringLiteral("many")));
    PressToolbar(1);
    ASSERT_EQ(window->Detail()->model()->rowCount(), 24);
    Activate();
    window->Detail()->setFocus(Qt::OtherFocusReason);
    window->Detail()->setCurrentIndex(window->Detail()->model()->index(0, 0));

    const auto shownIsCurrent = [&] {
        if (!window->Preview()->HasPicture())
            return true; // cleared while the cursor moves
        const QString path = CurrentPath();
        const int i = QFileInfo(path).baseName().mid(1).toInt();
        const QSize inner = window->Preview()->InnerSize();
        return window->PreviewedPath() == path
               && window->Preview()->Target() == FitPhotoRect(sizes[i].width(), sizes[i].height(), inner.width(), inner.height());
    };
    const struct {
        Qt::Key key;
        int repeat;
    } bursts[] = {{Qt::Key_Down, 9}, {Qt::Key_Up, 4}, {Qt::Key_PageDown, 1}, {Qt::Key_End, 1}, {Qt::Key_Home, 1},
                  {Qt::Key_PageDown, 2}};
    for (const auto &burst : bursts) {
        for (int i = 0; i < burst.repeat; ++i) {
            Press(burst.key);
            EXPECT_TRUE(shownIsCurrent()) << burst.key;
        }
        ASSERT_TRUE(PreviewSettled()) << burst.key;
        EXPECT_TRUE(window->Preview()->HasPicture());
        EXPECT_TRUE(shownIsCurrent()) << burst.key;
        EXPECT_EQ(PanelText(5), CurrentPath());
    }
    EXPECT_EQ(window->Detail()->currentIndex().row(), 23); // End went to the last row, Home back

    // A held key: its repeated presses decode nothing, and letting it go
    // shows the row under the cursor at once.
    for (int i = 0; i < 5; ++i) {
        QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(window->Detail(), &repeated);
    }
    EXPECT_FALSE(window->Preview()->HasPicture());
    QKeyEvent letGo(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(window->Detail(), &letGo);
    EXPECT_TRUE(window->Preview()->HasPicture());
    EXPECT_EQ(window->PreviewedPath(), CurrentPath());
    EXPECT_TRUE(shownIsCurrent());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(KeyboardTest, At1366AFortyCharacterNameShowsWithEveryColumnAndNoScrollBar)
{
    window->resize(1366, 768);
    const QString name = QStringLiteral("二〇二四年五月张三全家福海边合影第一组照片精选冲印六寸光面版本留存") + QStringLiteral("001.jpg");
    ASSERT_EQ(name.size(), 40);
    sandbox.writeFile(QStringLiteral("客户/") + name, JpegBytes(1800, 1200, 300));
    sandbox.writeFile(QStringLiteral("客户/low.jpg"), JpegBytes(1000, 700, 72));
    SelectFolder(Folder(QStringLiteral("客户")));
    PressToolbar(1);
    QCoreApplication::processEvents();

    for (ResultGrid *grid : {window->Total(), window->Detail()}) {
        int sum = 0;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            sum += grid->horizontalHeader()->sectionSize(c);
        EXPECT_LE(sum, grid->viewport()->width()) << grid->objectName().toStdString();
        EXPECT_FALSE(grid->horizontalScrollBar()->isVisible()) << grid->objectName().toStdString();
        for (int r = 0; r < grid->model()->rowCount(); ++r) {
            for (int c = 0; c < grid->model()->columnCount(); ++c) {
                if (c == grid->PathColumn())
                    EXPECT_TRUE(grid->ShownText(r, c).endsWith(QFileInfo(grid->Text(r, c)).fileName()));
                else
                    EXPECT_EQ(grid->ShownText(r, c), grid->Text(r, c)) << r << "," << c;
            }
        }
    }
    // The totals grid takes what it needs, not half the window.
    EXPECT_LT(window->Total()->width(), (window->centralWidget()->width() - 213) / 2);

    // The status bar keeps its labels; the previewed photo has its own panel.
    QTest::mouseClick(window->Detail()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(PanelText(1), QStringLiteral("当前路径："));
    EXPECT_EQ(PanelText(3), QStringLiteral("当前路径文件数量："));
    EXPECT_TRUE(PanelText(5).endsWith(name));
    EXPECT_GT(window->Panel(5)->geometry().right(), window->Panel(4)->geometry().right());
    EXPECT_LE(window->Panel(5)->geometry().right(), window->centralWidget()->width());
}
