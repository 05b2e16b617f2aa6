// ucBrowse: its tree, the selection, and folders dropped on the host window.
#include "uc_browse.h"

#include "folder_list_model.h"
#include "folder_lister.h"
#include "folder_tree_view.h"
#include "path_codec.h"

#include <QDir>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace kestova {

namespace {

const QString TextInitialized = QStringLiteral("SystemTreeView Initalized");
const QString TextShutDown = QStringLiteral("SystemTreeView ShutDown");

// How long a selection by path waits for its disk before it goes on without.
constexpr int SelectionWaitMs = 50;

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

bool Below(QModelIndex item, const QModelIndex &above)
{
    if (!item.isValid() || item == above)
        return false;
    while (item.isValid() && item != above)
        item = item.parent();
    return item.isValid();
}

} // namespace

// Opens the tree at Root, the place of the last count (or home) open, with
// Path as its first selection.
void ucBrowse::OpenTree()
{
    m_files = new FolderListModel(this);
    {
        // The widgets' icon provider falls back on the style's folder icon
        // where the desktop has no icon theme.
        QFileIconProvider icons;
        m_files->setIconProvider(&icons);
    }
    m_files->SetTopFolder(RootFolder(m_root), m_lastFolder.isEmpty() ? QString() : ParentOf(m_lastFolder));
    m_folders = new FolderModel(this);
    m_folders->setSourceModel(m_files);
    m_tree = new FolderTreeView(this);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setModel(m_folders);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &ucBrowse::OnCurrentChanged);
    connect(m_files, &FolderListModel::aboutToRemove, this, &ucBrowse::KeepSelectionOff);
    connect(m_files, &FolderListModel::pathsChanged, this, &ucBrowse::OnPathsChanged);
    connect(m_files, &FolderListModel::topGone, this, &ucBrowse::OnTopGone);
    connect(m_files->Lister(), &FolderLister::Checked, this, &ucBrowse::OnChecked);
    connect(m_tree, &QTreeView::collapsed, this, [this](const QModelIndex &folder) {
        if (Below(m_tree->currentIndex(), folder))
            m_tree->setCurrentIndex(folder);
    });
    // Only the rows in sight are looked at on disk.
    connect(m_tree, &FolderTreeView::rowsInSight, this, [this](const QModelIndexList &rows) {
        for (const QModelIndex &row : rows)
            m_files->Look(m_folders->mapToSource(row));
    });
    // A folder the operator picks meanwhile wins over one still waited for.
    m_tree->installEventFilter(this);
    m_tree->viewport()->installEventFilter(this);
    m_hooks.HookWindow(m_tree);
    m_hooks.HookMessage(m_tree, MsgRightButtonDown, HookBoth);

    const QModelIndex root = m_tree->rootIndex();
    if (m_folders->rowCount(root) >= 1)
        m_tree->expand(m_folders->index(0, 0, root));
    SelectPath(m_currentPath);  // may raise PathChange
    Refresh();
    m_tree->show();
    emit Status(TextInitialized);
}

void ucBrowse::CloseUp()
{
    if (!m_tree)
        return;
    m_hooks.UnhookWindow(m_tree);
    m_tree->hide();
    // Its last signals must not reach a control that is half gone, and it
    // may be closed from inside one of its own events.
    m_tree->disconnect(this);
    m_tree->selectionModel()->disconnect(this);
    m_tree->deleteLater();
    m_folders->deleteLater();
    m_files->disconnect(this);
    m_files->deleteLater();
    m_tree = nullptr;
    m_folders = nullptr;
    m_files = nullptr;
    m_pendingSelection.clear();
    emit Status(TextShutDown);
}

void ucBrowse::OnCurrentChanged(const QModelIndex &current)
{
    // The tree holds folders only, so the separator is added without asking
    // the disk again.
    QString path = QDir::toNativeSeparators(current.data(FolderListModel::FilePathRole).toString());
    m_notifiedPath = path;
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')) && !path.endsWith(QDir::separator()))
        path += QDir::separator();
    m_currentPath = path;
    emit PathChange(m_currentPath);
}

bool ucBrowse::SelectPath(const QString &path, bool orItsFolder)
{
    m_pendingSelection.clear();
    QString folder = QDir::fromNativeSeparators(path);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1String(":/")))
        folder.chop(1);
    if (!m_tree || folder.isEmpty() || !m_files->Holds(folder))
        return false;
    QModelIndex source = m_files->index(folder);
    if (!source.isValid()) {
        const std::optional<bool> isFolder = m_files->Lister()->CheckFolder(folder, SelectionWaitMs);
        if (!isFolder) {
            m_pendingSelection = folder;
            m_pendingOrItsFolder = orItsFolder;
            return false;
        }
        if (!*isFolder)
            return orItsFolder && SelectPath(ParentOf(folder));
        source = m_files->Reveal(folder);
    }
    const QModelIndex item = m_folders->mapFromSource(source);
    if (!item.isValid())
        return false;  // not below the top folder
    m_tree->ShowCurrent(item);
    return true;
}

void ucBrowse::OnChecked(const QString &path, bool folder)
{
    if (path != m_pendingSelection)
        return;
    m_pendingSelection.clear();
    if (folder || m_pendingOrItsFolder)
        SelectPath(folder ? path : ParentOf(path));
}

void ucBrowse::KeepSelectionOff(const QModelIndex &gone)
{
    const QModelIndex current = m_folders->mapToSource(m_tree->currentIndex());
    if (current.isValid() && (current == gone || Below(current, gone)))
        m_tree->setCurrentIndex(m_folders->mapFromSource(gone.parent()));
}

void ucBrowse::OnPathsChanged()
{
    const QModelIndex current = m_tree->currentIndex();
    if (QDir::toNativeSeparators(current.data(FolderListModel::FilePathRole).toString()) != m_notifiedPath)
        OnCurrentChanged(current);
}

void ucBrowse::OnTopGone(const QString &path, bool replaced)
{
    if (replaced) {
        const QModelIndex top = m_folders->index(0, 0);
        m_tree->expand(top);
        m_tree->ShowCurrent(top);
        return;
    }
    const QModelIndex gone = m_folders->mapFromSource(m_files->index(path));
    if (!gone.isValid())
        return;
    m_tree->collapse(gone);
    // Emptied, the item holds no selection but its own: the next place takes it.
    if (m_tree->currentIndex() == gone) {
        const int rows = m_folders->rowCount(gone.parent());
        const QModelIndex next = gone.siblingAtRow(gone.row() + 1 < rows ? gone.row() + 1 : gone.row() - 1);
        if (next.isValid())
            m_tree->setCurrentIndex(next);
    }
}

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
// a file selects its folder, also on a share that answers late.
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
    const std::optional<bool> folder = FolderLister::IsFolderWithin(path, SelectionWaitMs);
    if (folder)
        setPath(*folder ? path : ParentOf(path));
    else
        SelectPath(path, true);
    if (m_tree)
        m_tree->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace kestova
