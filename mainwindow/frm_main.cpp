// The main window.
#include "frm_main.h"

#include "detail_preview.h"
#include "dialogs.h"
#include "form_runner.h"
#include "frm_about.h"
#include "frm_config.h"
#include "frm_order_book.h"
#include "frm_price_list.h"
#include "frm_progress_bar.h"
#include "layout.h"
#include "order_book_source.h"
#include "order_printing.h"
#include "photo_preview.h"
#include "print_info.h"
#include "program_title.h"
#include "result_grids.h"
#include "settings.h"
#include "shell.h"
#include "text_export.h"
#include "toolbar_icons.h"
#include "uc_browse.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace kestova {

namespace {

// Design sizes in twips.
constexpr int ToolbarDesignHeight = 675;
constexpr int StatusDesignHeight = 375;
constexpr int RefreshWidth = 3195;  // also the folder tree's width
constexpr int RefreshHeight = 420;
constexpr int ClientDesignWidth = 12630;
constexpr int ClientDesignHeight = 7770;

const QString Label1Text =
    QStringLiteral("选择照片文件夹后按回车或 F5 统计；明细中的当前行即预览，双击用图片编辑程序打开。");

// A command's tooltip: what it does, and its key.
QString TipWithKey(const QString &tip, const QKeySequence &key)
{
    return key.isEmpty() ? tip : tip + QStringLiteral("（") + key.toString(QKeySequence::NativeText) + u'）';
}

// A status bar panel: a fixed-width label that cuts a long path in the
// middle, so its folder and file name both stay readable.
class StatusPanel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const QRect area = contentsRect().adjusted(3, 0, -3, 0);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

} // namespace

QString MemberNameFromPath(const QString &path)
{
    const QString rest = path.left(path.size() - 1); // without the trailing separator
    const int cut = qMax(rest.lastIndexOf(u'/'), rest.lastIndexOf(QDir::separator()));
    return cut < 0 ? rest : rest.mid(cut + 1);
}

frmMain::frmMain(std::unique_ptr<PhotoStore> store, const MainWindowServices &services, QWidget *parent)
    : QMainWindow(parent)
    , m_store(std::move(store))
    , m_settings(services.settings)
    , m_printInfo(services.printInfo)
    , m_dialogs(services.dialogs)
    , m_shell(services.shell)
    , m_forms(services.forms)
    , m_orderBook(services.orderBook)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ProgramTitle);
    setWindowIcon(ProgramIcon());

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(m_client);

    BuildMenus();
    BuildToolbar(m_client);
    BuildStatusBar(m_client);

    m_cmdRefresh = new QPushButton(QStringLiteral("刷新"), m_client);
    m_cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    m_cmdRefresh->setGeometry(0, 0, TwipsToPixels(RefreshWidth), TwipsToPixels(RefreshHeight));
    connect(m_cmdRefresh, &QPushButton::clicked, this, &frmMain::Refresh);

    m_tree = new ucBrowse(m_client);
    m_tree->setObjectName(QStringLiteral("ucBrowse"));
    m_tree->setGeometry(0, 0, TwipsToPixels(RefreshWidth), 0);
    // The stored property set of the window's folder tree.
    m_tree->ReadProperties(QVariantMap{{QStringLiteral("appearance"), 0},
                                       {QStringLiteral("haslines"), true},
                                       {QStringLiteral("hideselection"), false},
                                       {QStringLiteral("hottracking"), false},
                                       {QStringLiteral("theme"), 2}});
    connect(m_tree, &ucBrowse::PathChange, this, &frmMain::OnPathChange);
    // The tree starts where the last count was made.
    m_tree->SetLastFolder(LoadLastPath());

    m_mfgTotal = new ResultGrid(m_client);
    m_mfgTotal->setObjectName(QStringLiteral("mfgTotal"));
    m_mfgDetail = new ResultGrid(m_client);
    m_mfgDetail->setObjectName(QStringLiteral("mfgDetail"));
    m_mfgDetail->Model().SetSingleColumns({2, 3}); // the resolutions
    m_mfgDetail->SetPathColumn(0);
    connect(m_mfgDetail, &QAbstractItemView::doubleClicked, this, &frmMain::OnDetailDoubleClick);

    m_picView = new PhotoBox(m_client);
    m_picView->setObjectName(QStringLiteral("picView"));
    m_preview = new DetailPreview(*m_mfgDetail, *m_picView, *m_panels.at(4), m_settings, this);
    m_previewRefit = new QTimer(this);
    m_previewRefit->setSingleShot(true);
    m_previewRefit->setInterval(150);
    connect(m_previewRefit, &QTimer::timeout, m_preview, &DetailPreview::Refit);

    // Tab walks the toolbar, the refresh button, the tree and the two grids;
    // Enter on a folder in the tree counts it.
    SetTabOrder();
    // The tree control adopts a new view whenever it opens (again); the view
    // joins the Tab order at the end, so the order is set again.
    connect(m_tree, &ucBrowse::Status, this, &frmMain::SetTabOrder);
    m_tree->installEventFilter(this);

    // Load: the header rows, the totals grid first.
    m_mfgTotal->Model().SetHeaderText(TotalGridHeader);
    m_mfgDetail->Model().SetHeaderText(DetailGridHeader);

    m_printing = std::make_unique<OrderPrinting>(m_orderBook, m_settings, m_dialogs, m_printInfo,
                                                 services.printTarget, this);

    m_client->installEventFilter(this);

    // Restored, the client area is 12630 × 7770 twips, centred on the screen.
    const QSize client(TwipsToPixels(ClientDesignWidth), TwipsToPixels(ClientDesignHeight));
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

frmMain::~frmMain()
{
    Unload();
}

void frmMain::BuildMenus()
{
    // Every command has its key; the toolbar buttons run the same actions.
    const auto add = [this](QMenu *menu, const char *name, const QString &text, const QKeySequence &key,
                            const QString &tip, auto slot) {
        QAction *action = menu->addAction(text, this, slot);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setToolTip(TipWithKey(tip, key));
        return action;
    };
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->setObjectName(QStringLiteral("mmu_File"));
    m_actions << add(file, "mmu_File_Count", QStringLiteral("统计图片(&C)"), Qt::Key_F5,
                     QStringLiteral("统计所选文件夹及其子文件夹中的图片"), &frmMain::Count);
    m_actions << add(file, "mmu_File_Export", QStringLiteral("导出(&E)..."), Qt::CTRL | Qt::Key_E,
                     QStringLiteral("把合计保存为文本文件"), &frmMain::Export);
    m_actions << add(file, "mmu_File_Print", QStringLiteral("打印(&P)..."), QKeySequence::Print,
                     QStringLiteral("打印冲印单"), &frmMain::Print);
    add(file, "mmu_File_PrintPreview", QStringLiteral("打印预览(&V)..."), Qt::CTRL | Qt::SHIFT | Qt::Key_P,
        QStringLiteral("在屏幕上查看冲印单"), &frmMain::PrintPreview);
    file->addSeparator();
    add(file, "mmu_File_OrderBook", QStringLiteral("订单记录(&O)..."), Qt::CTRL | Qt::Key_H,
        QStringLiteral("查找、补打和导出已打印的订单，日结"), &frmMain::ShowOrderBook);
    add(file, "mmu_File_PriceList", QStringLiteral("价格表(&L)..."), Qt::CTRL | Qt::Key_L,
        QStringLiteral("各服务和尺寸的单价"), &frmMain::ShowPriceList);
    m_actions << add(file, "mmu_File_Settings", QStringLiteral("参数(&S)..."), Qt::CTRL | Qt::Key_Comma,
                     QStringLiteral("设置单位、小数位数、分辨率警告和图片编辑程序"), &frmMain::ShowSettings);
    file->addSeparator();
    m_actions << add(file, "mmu_File_Exit", QStringLiteral("退出(&X)"), Qt::CTRL | Qt::Key_Q,
                     QStringLiteral("退出程序"), &QWidget::close);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("mmu_Help"));
    add(help, "mmu_Help_About", QStringLiteral("关于(&A)"), Qt::Key_F1, QStringLiteral("版本和联系方式"),
        &frmMain::ShowAbout);
    for (QMenu *menu : {file, help})
        menu->setToolTipsVisible(true);
}

void frmMain::BuildToolbar(QWidget *client)
{
    m_toolbar = new QToolBar(client);
    m_toolbar->setObjectName(QStringLiteral("Toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(ToolbarIconSize, ToolbarIconSize));
    const QString captions[] = {QStringLiteral("统计图片"), QStringLiteral("导出"), QStringLiteral("打印"),
                                QStringLiteral("参数"), QStringLiteral("退出")};
    for (int position = 1; position <= 5; ++position) {
        auto *button = new QToolButton(m_toolbar);
        button->setObjectName(QStringLiteral("Toolbar_Button%1").arg(position));
        button->setText(captions[position - 1]);
        button->setToolTip(m_actions.at(position - 1)->toolTip());
        button->setIcon(ToolbarIcon(position));
        button->setIconSize(QSize(ToolbarIconSize, ToolbarIconSize));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::TabFocus);
        connect(button, &QToolButton::clicked, this, [this, position] { ButtonClick(position); });
        m_toolbar->addWidget(button);
        m_buttons.append(button);
    }

    // The information strip on the toolbar, to the right of the buttons.
    auto *picture1 = new QFrame(m_toolbar);
    m_picture1 = picture1;
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    picture1->setGeometry(TwipsToPixels(4200), TwipsToPixels(240), TwipsToPixels(8415), TwipsToPixels(375));
    auto *label1 = new QLabel(Label1Text, picture1);
    label1->setObjectName(QStringLiteral("Label1"));
    // The role, not a colour copied now: the style's palette is only settled
    // once the window is polished, and a copy taken here came out black.
    label1->setForegroundRole(QPalette::Highlight);
    label1->setGeometry(TwipsToPixels(60), TwipsToPixels(60), TwipsToPixels(8310), TwipsToPixels(255));
}

void frmMain::BuildStatusBar(QWidget *client)
{
    m_statusBar = new QStatusBar(client);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    // Label, folder, label, file count, and the previewed photo's path.
    const QString texts[] = {QStringLiteral("当前路径："), QString(), QStringLiteral("当前路径文件数量："), QString(),
                             QString()};
    const int widths[] = {1440, 6000, 2000, 2400, 0};
    for (int i = 0; i < 5; ++i) {
        auto *panel = new StatusPanel(texts[i], m_statusBar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (widths[i] > 0) {
            panel->setFixedWidth(TwipsToPixels(widths[i]));
            m_statusBar->addWidget(panel);
        } else {
            panel->setMinimumWidth(TwipsToPixels(1440)); // the last panel takes the rest
            m_statusBar->addWidget(panel, 1);
        }
        m_panels.append(panel);
    }
}

void frmMain::SetTabOrder()
{
    QWidget *tree = m_tree->Tree() ? static_cast<QWidget *>(m_tree->Tree()) : m_tree;
    QWidget::setTabOrder(m_buttons.last(), m_cmdRefresh);
    QWidget::setTabOrder(m_cmdRefresh, tree);
    QWidget::setTabOrder(tree, m_mfgTotal);
    QWidget::setTabOrder(m_mfgTotal, m_mfgDetail);
}

QToolButton *frmMain::ToolbarButton(int position) const
{
    return position >= 1 && position <= m_buttons.size() ? m_buttons.at(position - 1) : nullptr;
}

QLabel *frmMain::Panel(int number) const
{
    return number >= 1 && number <= m_panels.size() ? m_panels.at(number - 1) : nullptr;
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        LayOut();
    // The tree's view lets Enter pass on to the tree control.
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier
            && !m_selectedFolder.isEmpty()) {
            Count();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        LayOut();
}

void frmMain::LayOut()
{
    if (isMinimized())
        return;
    const int width = m_client->width();
    const int height = m_client->height();
    // The toolbar and the status bar are docked: full width, top and bottom.
    const int toolbarHeight = qMax(TwipsToPixels(ToolbarDesignHeight), m_toolbar->sizeHint().height());
    const int statusHeight = qMax(TwipsToPixels(StatusDesignHeight), m_statusBar->sizeHint().height());
    m_toolbar->setGeometry(0, 0, width, toolbarHeight);
    // The strip keeps its design place unless the buttons, whose width
    // depends on the font, reach into it.
    m_toolbar->layout()->activate();
    const int stripLeft = qMax(TwipsToPixels(4200), m_buttons.last()->geometry().right() + 6);
    m_picture1->move(stripLeft, m_picture1->y());
    m_statusBar->setGeometry(0, qMax(height - statusHeight, 0), width, statusHeight);

    MainLayoutInput in;
    in.clientWidth = width;
    in.clientHeight = height;
    in.toolbarHeight = toolbarHeight;
    in.statusHeight = statusHeight;
    in.totalNeeds = GridNeeds(*m_mfgTotal);
    in.detailNeeds = GridNeeds(*m_mfgDetail, FileNameBudget(*m_mfgDetail));
    const MainLayoutRects now{m_cmdRefresh->geometry(), m_tree->geometry(), m_mfgTotal->geometry(),
                              m_mfgDetail->geometry(), m_picView->geometry()};
    const MainLayoutRects next = LayOutMainWindow(in, now);
    m_cmdRefresh->setGeometry(next.refresh);
    m_tree->setGeometry(next.tree);
    m_mfgTotal->setGeometry(next.total);
    m_mfgDetail->setGeometry(next.detail);
    const QSize previewBefore = m_picView->size();
    m_picView->setGeometry(next.preview);
    // The shown photo is fitted again to the new box, once the window has
    // stopped changing size for a moment (a drag would decode it per step).
    if (!m_preview->ShownPath().isEmpty() && m_picView->size() != previewBefore)
        m_previewRefit->start();

    FitGridColumns(*m_mfgTotal);
    FitGridColumns(*m_mfgDetail);
}

void frmMain::ButtonClick(int position)
{
    switch (position) {
    case 1: Count(); break;
    case 2: Export(); break;
    case 3: Print(); break;
    case 4: ShowSettings(); break;
    case 5: close(); break;
    default: break;
    }
}

void frmMain::OnPathChange(const QString &path)
{
    m_panels.at(1)->setText(path);
    m_selectedFolder = path;
    if (m_settings.PathAsMemberName && !path.trimmed().isEmpty())
        m_printInfo.MemberName = MemberNameFromPath(path);
}

void frmMain::Refresh()
{
    m_tree->Reset();
    if (QWidget *tree = m_tree->Tree())
        tree->setFocus(Qt::OtherFocusReason);
}

void frmMain::Count()
{
    if (!m_store)
        return;
    if (!m_counted.IsEmpty() && m_counted.Holds(m_selectedFolder)) {
        const MessageAnswer answer =
            m_dialogs.ShowMessage(QStringLiteral("此文件夹已统计过，是否重新统计？"), QStringLiteral("提示"),
                                  MessageIcon::Information, MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes)
            return;
    }

    // From here on nothing of the last customer's stays on screen, whatever
    // becomes of this count.
    m_preview->Clear();
    // The grids let go of their queries before the scan rewrites the tables
    // they read; the results are bound again afterwards.
    m_mfgDetail->Detach();
    m_mfgTotal->Detach();
    ScanEnd end;
    int done;
    int found;
    int unreadable;
    // The scan window takes the focus; it goes back where the operator was
    // (the tree, after Enter), so the keys go on where they left off.
    const QPointer<QWidget> focus = QApplication::focusWidget();
    {
        frmProgressBar scan(m_selectedFolder, m_settings, *m_store, m_dialogs, this);
        connect(&scan, &frmProgressBar::FileCount, this,
                [this](int count) { m_panels.at(3)->setText(QString::number(count)); });
        m_forms.ShowModal(scan);
        end = scan.End();
        done = scan.Done();
        found = scan.Found();
        unreadable = scan.Report().unreadable;
    }
    if (focus && !QApplication::focusWidget())
        focus->setFocus(Qt::OtherFocusReason);

    // The store still holds an earlier count's totals after a count that did
    // not finish; they must not appear as this folder's.
    switch (end) {
    case ScanEnd::StoreFailed:
    case ScanEnd::FolderGone: // the scan told why; the folder is not kept as counted
        m_panels.at(3)->setText(QStringLiteral("统计失败"));
        return;
    case ScanEnd::Busy:
        m_panels.at(3)->setText(QStringLiteral("统计未进行"));
        return;
    case ScanEnd::Stopped:
        m_panels.at(3)->setText(QStringLiteral("统计已中断（%1/%2）").arg(done).arg(found));
        break;
    case ScanEnd::NoFiles:
    case ScanEnd::Completed:
        break;
    }
    m_counted.Append(m_selectedFolder);
    if (end == ScanEnd::Completed)
        m_lastCounted = m_selectedFolder; // the store's totals are this folder's now
    SaveLastPath(m_selectedFolder); // a setting lost is no reason to stop

    QString error;
    const bool shown = ShowScanResults(*m_mfgTotal, *m_mfgDetail, *m_store, m_settings, &error);
    if (end == ScanEnd::Stopped)
        m_mfgTotal->Detach();
    LayOut(); // the totals grid takes the width its new rows need
    if (!shown) {
        m_dialogs.ShowMessage(QStringLiteral("统计结果读取失败：") + error, QStringLiteral("错误"),
                              MessageIcon::Critical, MessageButtons::Ok);
    }
    if (unreadable > 0 && end == ScanEnd::Completed) {
        m_panels.at(3)->setText(QStringLiteral("%1（%2 项无法读取）").arg(found).arg(unreadable));
        m_dialogs.ShowMessage(
            QStringLiteral("有 %1 个文件或文件夹无法读取，已在明细中标为“失败”并写明原因，未计入合计。").arg(unreadable),
            QStringLiteral("提示"), MessageIcon::Warning, MessageButtons::Ok);
    }
}

void frmMain::Export()
{
    if (m_store)
        ExportTotals(*m_store, m_dialogs,
                     MemberNameFromPath(m_lastCounted.isEmpty() ? m_selectedFolder : m_lastCounted),
                     m_lastExportFile);
}

void frmMain::Print()
{
    if (m_printing)
        m_printing->Print();
}

void frmMain::PrintPreview()
{
    if (m_printing)
        m_printing->PrintPreview();
}

void frmMain::ShowSettings()
{
    frmConfig dialog(m_settings, m_dialogs, this);
    dialog.SetPriceListAction([this] { ShowPriceList(); });
    m_forms.ShowModal(dialog);
}

OrderBook *frmMain::Book()
{
    if (!m_store)
        return nullptr;
    // A store of an earlier version gains the order book's tables here; a
    // shared order book is connected to (again, after a lost connection).
    QString error;
    OrderBook *book = m_orderBook.Book(&error);
    if (!book)
        m_dialogs.ShowMessage(m_orderBook.BookFailure(error), QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
    return book;
}

void frmMain::ShowOrderBook()
{
    if (OrderBook *book = Book()) {
        frmOrderBook dialog(*book, m_dialogs, this);
        dialog.SetExportFolder(&m_csvFolder);
        if (m_printing) {
            dialog.SetOrderActions(
                [this](const OrderRecordData &order) {
                    return m_printing->Reprint(order)
                        ? QStringLiteral("单号 %1 已补打，送往打印机。").arg(order.noteNumber)
                        : QString();
                },
                [this](const OrderRecordData &order) {
                    const QString file = m_printing->SaveReprintAsPdf(order);
                    return file.isEmpty() ? QString()
                                          : QStringLiteral("单号 %1 已保存为 %2").arg(order.noteNumber)
                                                .arg(QDir::toNativeSeparators(file));
                });
            dialog.SetSummaryPrintAction([this](const QList<DaySummary> &days, const QDate &from, const QDate &to) {
                return m_printing->PrintDailySummary(days, from, to)
                    ? QStringLiteral("%1 至 %2 的日结已送往打印机。")
                          .arg(from.toString(QStringLiteral("yyyy-MM-dd")), to.toString(QStringLiteral("yyyy-MM-dd")))
                    : QString();
            });
        }
        m_forms.ShowModal(dialog);
    }
}

void frmMain::ShowPriceList()
{
    OrderBook *book = Book();
    if (!book)
        return;
    QStringList sizes;
    for (const TotalRow &row : m_store->ReadTotals()) {
        if (row.PhotoSize != QStringLiteral("合计"))
            sizes << row.PhotoSize;
    }
    frmPriceList dialog(*book, m_dialogs, sizes, this);
    m_forms.ShowModal(dialog);
}

void frmMain::ShowAbout()
{
    frmAbout about(m_shell, this);
    m_forms.ShowModal(about);
}

QString frmMain::PreviewedPath() const
{
    return m_preview->ShownPath();
}

void frmMain::OnDetailDoubleClick()
{
    const QString path = m_mfgDetail->CurrentRowText(0);
    if (path.trimmed().isEmpty())
        return;
    if (!EditorSet(m_settings)) {
        m_dialogs.ShowMessage(QStringLiteral("还没有设置图片编辑程序。请在“参数”中选择图片编辑程序。"),
                              QStringLiteral("提示"), MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    OpenPhotoInEditor(path, m_settings, m_shell);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Unload();
    event->accept();
}

void frmMain::Unload()
{
    // Once only: the closed window is destroyed later, and a grid's query
    // must not be touched again once its connection is gone.
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Each step goes on whatever the one before met.
    if (m_mfgDetail)
        m_mfgDetail->Detach();
    if (m_mfgTotal)
        m_mfgTotal->Detach();
    m_counted = CountedFolders();
    m_printing.reset(); // it holds the store
    m_orderBook.Close(); // and so does the order book kept in it
    m_store.reset();
}

} // namespace kestova
