// ucBrowse: look, lifecycle and the fixed answers.
#include "uc_browse.h"

#include "folder_lister.h"
#include "folder_tree_view.h"
#include "platform_queries.h"
#include "tree_look.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSignalBlocker>
#include <QStringList>
#include <qdrawutil.h>

namespace kestova {

namespace {

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
        CloseUp();
        m_hooks.UnhookAll();
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
    if (m_active)
        OpenTree();
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

QTreeView *ucBrowse::Tree() const
{
    return m_tree;
}

QString ucBrowse::ThemeColorName() const
{
    return kestova::ThemeColorName();
}

// ---- the tree ---------------------------------------------------------------

void ucBrowse::StartUp()
{
    if (m_active)
        return;
    if (QWidget *host = window(); host != this) {
        m_host = host;
        host->installEventFilter(this);
        host->setAcceptDrops(true);
    }
    m_active = true;
}

int ucBrowse::zSubclass_Proc(bool bBefore, bool &bHandled, qint32 &lReturn, QWidget *&, quint32 &uMsg, QVariant &,
                             QVariant &)
{
    if (uMsg == MsgRightButtonDown && bBefore) {
        bHandled = true;
        lReturn = 0;
    }
    return 0;
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
    if (m_active && !m_tree)
        OpenTree();
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
    if (m_tree && (watched == m_tree || watched == m_tree->viewport())
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress))
        m_pendingSelection.clear();
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

} // namespace kestova
