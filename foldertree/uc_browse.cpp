// ucBrowse: properties, look, lifecycle and the hosting of the folder tree.
#include "uc_browse.h"

#include "folder_dialog.h"
#include "folder_lister.h"
#include "folder_tree_view.h"
#include "path_codec.h"
#include "platform_queries.h"
#include "property_bag.h"
#include "tree_look.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QStringList>
#include <QTreeView>
#include <QUrl>
#include <qdrawutil.h>

namespace kestova {

namespace {

const QString TextInitialized = QStringLiteral("SystemTreeView Initalized");
const QString TextShutDown = QStringLiteral("SystemTreeView ShutDown");

// The folder a path lies in, by its text: "/a/b" gives "/a", "/a" gives "/".
QString ParentOf(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    const qsizetype cut = clean.lastIndexOf(u'/', clean.size() - 2);
    if (cut < 0)
        return {};
    const QString parent = clean.left(cut == 0 ? 1 : cut);
    return parent.endsWith(u':') ? parent + u'/' : parent;  // a drive: "C:/"
}

// Folders named by Root handles, handle n at index n - 1.
QStringList &RootFolders()
{
    static QStringList folders;
    return folders;
}

} // namespace

ucBrowse::ucBrowse(QWidget *parent) : QWidget(parent)
{
    SetContainerLook(m_appearance, true);
}

// Terminate. Signals are blocked: the host may already be half destroyed
// when its children go, so "SystemTreeView ShutDown" is not raised here.
ucBrowse::~ucBrowse()
{
    const QSignalBlocker silence(this);
    if (m_active) {
        try {
            CloseUp();
            UnhookAll();
        } catch (...) {
        }
        m_active = false;
    }
    if (m_host)
        m_host->removeEventFilter(this);
}

// ---- methods -----------------------------------------------------------------

void ucBrowse::Refresh()
{
    const QString scheme = ThemeColorName();
    const int forced = ForcedAppearance(scheme, m_theme, m_appearance);
    if (forced != m_appearance) {
        m_inRefresh = true;
        setAppearance(forced);
        m_inRefresh = false;
    }

    if (m_appearance != 0) {
        SetContainerLook(1, true);
        m_frameColor.reset();
    } else {
        SetContainerLook(0, false);
        m_frameColor = BgrToQColor(BorderColor(m_theme, scheme, Enabled()));
    }
    update();

    if (m_tree) {
        const QRect inner = contentsRect();
        SizeSysTreeView(1, 1, inner.width() - 2, inner.height() - 2);
        ApplyTreeStyles();
        m_tree->setEnabled(Enabled());
    }
}

void ucBrowse::Reset()
{
    CloseUp();
    Refresh();
    if (m_active) {
        CloseUp();
        OpenFolderDialog();
    }
}

void ucBrowse::CloseUp()
{
    if (!m_tree)
        return;
    QWidget *dialog = m_dialog;
    m_tree->setParent(dialog);
    if (!dialog)
        m_tree->deleteLater();
    if (m_cancel) {
        // Like a click on Cancel; the dialog is gone before it is handled,
        // so it is the close request below that ends the dialog.
        m_cancel->setFocus();
        QCoreApplication::postEvent(m_cancel, new QMouseEvent(QEvent::MouseButtonPress, QPointF(), QPointF(),
                                                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        QCoreApplication::postEvent(m_cancel, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(), QPointF(),
                                                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }
    if (dialog) {
        dialog->close();
        dialog->deleteLater();
    }
    m_cancel = nullptr;
    m_tree = nullptr;
    m_dialog = nullptr;
    emit Status(TextShutDown);
}

QString ucBrowse::QualifyPath(const QString &sPath)
{
    if (IsFolder(sPath) && !sPath.endsWith(QLatin1Char('/')) && !sPath.endsWith(QDir::separator()))
        return sPath + QDir::separator();
    return sPath;
}

// Asked on a worker thread: a share that does not answer at once counts as
// no folder rather than stopping the window.
bool ucBrowse::IsFolder(const QString &sPath)
{
    return !sPath.isEmpty() && FolderLister::IsFolderWithin(sPath, 50).value_or(false);
}

bool ucBrowse::IsFile(const QString &sPath)
{
    return !IsFolder(sPath);
}

void ucBrowse::SizeSysTreeView(int mLeft, int mTop, int mWidth, int mHeight)
{
    if (!m_tree)
        return;
    const QPoint origin = contentsRect().topLeft();
    m_tree->setGeometry(origin.x() + mLeft, origin.y() + mTop, mWidth, mHeight);
    m_tree->update();
}

bool ucBrowse::IsWin2K()
{
    return kestova::IsWin2K();
}

bool ucBrowse::IsWinXP()
{
    return kestova::IsWinXP();
}

qint32 ucBrowse::TranslateColor(qint32 lColor)
{
    return kestova::TranslateColor(lColor);
}

QString ucBrowse::Version(bool bDateTime)
{
    return bDateTime ? QStringLiteral("1.0.50 (10/28/2007 8:05:13 PM)") : QStringLiteral("1.0.50");
}

int ucBrowse::RootHandle(const QString &folder)
{
    if (folder.isEmpty())
        return 0;
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QStringList &folders = RootFolders();
    qsizetype index = folders.indexOf(path);
    if (index < 0) {
        folders.append(path);
        index = folders.size() - 1;
    }
    return int(index) + 1;
}

QString ucBrowse::RootFolder(int root)
{
    const QStringList &folders = RootFolders();
    return root > 0 && root <= folders.size() ? folders.at(root - 1) : QString();
}

FolderDialog *ucBrowse::Dialog() const
{
    return qobject_cast<FolderDialog *>(m_dialog.data());
}

QString ucBrowse::ThemeColorName() const
{
    return kestova::ThemeColorName();
}

// ---- hosting -----------------------------------------------------------------

void ucBrowse::StartUp()
{
    if (m_active)
        return;
    m_canTrackLeave = PlatformTracksLeave();
    if (!m_canTrackLeave)
        return;
    HookWindow(this);
    HookMessage(this, DialogReady, HookAfter);
    HookMessage(this, DialogSelChanged, HookAfter);
    if (QWidget *host = window(); host != this) {
        m_host = host;
        host->installEventFilter(this);
        host->setAcceptDrops(true);
    }
    m_active = true;
}

// Opens the tree at Root with Path as its first selection. Unlike the
// platform's modal folder dialog this returns at once; the tree stays open
// until CloseUp.
void ucBrowse::OpenFolderDialog()
{
    const int flags = m_folderFlags == 0 ? 5 : m_folderFlags;
    const QString place = m_lastFolder.isEmpty() ? QString() : ParentOf(m_lastFolder);
    auto *dialog = new FolderDialog(RootFolder(m_root), flags, m_active ? this : nullptr, this, place);
    dialog->Open();
}

int ucBrowse::zSubclass_Proc(bool bBefore, bool &bHandled, qint32 &lReturn, QWidget *&lng_hWnd, quint32 &uMsg,
                             QVariant &wParam, QVariant &)
{
    switch (uMsg) {
    case DialogReady:
        OnDialogReady(lng_hWnd);
        break;
    case DialogSelChanged:
        OnSelectionChanged(wParam);
        break;
    case MsgMove:
        HideDialog();
        break;
    case MsgRightButtonDown:
        if (bBefore) {
            bHandled = true;
            lReturn = 0;
        }
        break;
    default:
        break;
    }
    return 0;
}

void ucBrowse::OnDialogReady(QWidget *dialog)
{
    m_dialog = dialog;
    if (!dialog)
        return;
    // Far to the left of every screen until its first move hides it.
    const int screenWidth = dialog->screen() ? dialog->screen()->geometry().width() : 0;
    dialog->setGeometry(-screenWidth * 15, 0, 480, 480);

    // May raise PathChange (through the selection notice) before we go on.
    if (FolderDialog *folders = Dialog())
        folders->SetSelection(m_currentPath);

    for (QObject *child : dialog->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget->isWindow())
            continue;
        if (auto *button = qobject_cast<QAbstractButton *>(widget);
            button && button->text().left(6).toUpper() == QLatin1String("CANCEL"))
            m_cancel = button;
        if (auto *tree = qobject_cast<QTreeView *>(widget))
            m_tree = tree;
    }

    if (m_tree) {
        AdoptTree();
        StripTreeBorder();
        HookWindow(m_tree);
        HookMessage(m_tree, MsgRightButtonDown, HookBoth);
        Refresh();
    } else {
        CloseUp();
    }
    emit Status(TextInitialized);
}

void ucBrowse::OnSelectionChanged(const QVariant &item)
{
    // The tree holds folders only, so the separator is added without asking
    // the disk again.
    QString path;
    if (!FolderDialog::PathOfItem(item, path))
        path.clear();
    else if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QDir::separator()))
        path += QDir::separator();
    m_currentPath = path;
    emit PathChange(m_currentPath);
}

void ucBrowse::AdoptTree()
{
    m_tree->setParent(this);
    m_tree->show();
    if (m_dialog) {
        HookWindow(m_dialog);
        HookMessage(m_dialog, MsgMove, HookAfter);
    }
}

void ucBrowse::StripTreeBorder()
{
    m_tree->setFrameShape(QFrame::NoFrame);
}

// Runs from inside the dialog's own hook; the engine copes with the entry
// going away under it.
void ucBrowse::HideDialog()
{
    if (!m_dialog)
        return;
    m_dialog->hide();
    UnhookWindow(m_dialog);
}

bool ucBrowse::ApplyTreeStyles()
{
    auto *tree = qobject_cast<FolderTreeView *>(m_tree.data());
    if (!tree)
        return false;
    FolderTreeView::Switches switches;
    switches.checkBoxes = m_checkBoxes;
    switches.fullRowSelect = m_fullRowSelect;
    switches.hasButtons = m_hasButtons;
    switches.hasLines = m_hasLines;
    switches.hideSelection = m_hideSelection;
    switches.hotTracking = m_hotTracking;
    tree->SetSwitches(switches);
    return true;
}

void ucBrowse::SetContainerLook(int appearance, bool singleBorder)
{
    m_containerAppearance = appearance;
    m_singleBorder = singleBorder;
    const int border = !singleBorder ? 0 : appearance != 0 ? 2 : 1;
    setContentsMargins(border, border, border, border);
    update();
}

// ---- events --------------------------------------------------------------------

void ucBrowse::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (m_singleBorder) {
        if (m_containerAppearance != 0)
            qDrawWinPanel(&painter, rect(), palette(), true);
        else
            qDrawPlainRect(&painter, rect(), palette().color(QPalette::WindowText), 1);
    }
    // The flat frame is drawn on every paint, so it is there whenever the
    // control is visible.
    if (m_frameColor)
        DrawBorder(painter, contentsRect(), *m_frameColor);
}

// A one-pixel frame just inside the rectangle.
void ucBrowse::DrawBorder(QPainter &painter, const QRect &rect, const QColor &color)
{
    qDrawPlainRect(&painter, rect, color, 1);
}

void ucBrowse::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Refresh();
}

void ucBrowse::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Refresh();
    // One tree at a time: showing the control again keeps the open one.
    if (m_active && !m_dialog)
        OpenFolderDialog();
}

void ucBrowse::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !m_reading)
        Refresh();
}

// The host window unloads when it accepts its close: let it decide first,
// then give the tree back.
bool ucBrowse::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host && OnHostDrag(event))
        return true;
    if (watched != m_host || event->type() != QEvent::Close || m_inHostClose)
        return QWidget::eventFilter(watched, event);
    m_inHostClose = true;
    QCoreApplication::instance()->notify(watched, event);
    m_inHostClose = false;
    if (event->isAccepted())
        CloseUp();
    return true;
}

// ---- where the tree starts ----------------------------------------------------

void ucBrowse::SetLastFolder(const QString &folder)
{
    m_lastFolder = folder;
    // Selected when the tree opens if it is still there; asking the disk
    // now could wait on a share.
    if (m_currentPath.isEmpty())
        m_currentPath = folder;
}

namespace {

// The local path of the first file or folder dragged, or empty text. The
// file manager sends "file:" URLs whose percent escapes are the name's bytes
// on disk; they are read from the URL list as sent, since a QUrl would
// decode bytes that are not UTF-8 (GBK names) into replacement characters.
QString DraggedPath(const QMimeData *data)
{
    if (!data)
        return {};
#ifdef Q_OS_UNIX
    const QString uriList = QStringLiteral("text/uri-list");
    if (data->hasFormat(uriList)) {
        for (QByteArray line : data->data(uriList).split('\n')) {
            line = line.trimmed();
            if (!line.startsWith("file://"))
                continue;
            const qsizetype path = line.indexOf('/', 7);  // after the host, usually none
            if (path >= 0)
                return DecodePath(QByteArray::fromPercentEncoding(line.mid(path)));
        }
        return {};
    }
#endif
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

} // namespace

// A folder dragged from the file manager onto the host window is selected;
// a file selects its folder.
bool ucBrowse::OnHostDrag(QEvent *event)
{
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    QString path = DraggedPath(drop->mimeData());
    if (path.isEmpty() || !m_active)
        return false;
    drop->acceptProposedAction();
    if (type != QEvent::Drop)
        return true;
    path = QDir::cleanPath(path);
    const std::optional<bool> folder = FolderLister::IsFolderWithin(path, 50);
    if (folder)
        setPath(*folder ? path : ParentOf(path));
    else if (FolderDialog *dialog = Dialog())
        dialog->SetSelection(path, true);  // a slow share: selected when it answers
    if (m_tree)
        m_tree->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace kestova
