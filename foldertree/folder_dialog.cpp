// The folder dialog: its file-system tree, its notices and path lookups.
#include "folder_dialog.h"

#include "folder_lister.h"
#include "folder_tree_view.h"
#include "hook_engine.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QPushButton>
#include <QScreen>

namespace kestova {

namespace {

// How long a selection by path waits for its disk before it goes on without.
constexpr int SelectionWaitMs = 50;

} // namespace

FolderDialog::FolderDialog(const QString &topFolder, int flags, QWidget *owner, QWidget *parent,
                           const QString &firstPlace)
    : QWidget(parent, Qt::Window),
      m_topFolder(topFolder.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(topFolder))),
      m_flags(flags),
      m_owner(owner)
{
    setAttribute(Qt::WA_DontShowOnScreen);
    setAttribute(Qt::WA_QuitOnClose, false);
    setGeometry(0, 0, 360, 400);

    // The widgets' icon provider falls back on the style's folder icon
    // where the desktop has no icon theme.
    m_icons = std::make_unique<QFileIconProvider>();
    m_files = new FolderListModel(this);
    m_files->setIconProvider(m_icons.get());
    m_files->SetTopFolder(m_topFolder, firstPlace);
    m_folders = new FolderModel(this);
    m_folders->setSourceModel(m_files);

    // Children in this order: the tree, then the buttons.
    m_tree = new FolderTreeView(this);
    m_tree->setModel(m_folders);
    m_tree->setGeometry(10, 10, 340, 340);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(190, 360, 75, 28);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(275, 360, 75, 28);
    connect(m_ok, &QPushButton::clicked, this, &QWidget::close);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);

    if (!m_topFolder.isEmpty())
        m_folders->SetTop(m_files->index(0, 0));
    m_selectionWatch = connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
                               [this](const QModelIndex &current) {
                                   Notify(DialogSelChanged, QVariant::fromValue(QPersistentModelIndex(current)));
                               });
    // The operator never ends up on a folder they did not pick: when the
    // selected folder goes, its parent is selected (not the neighbour the
    // view would choose); when it is renamed, the new name is told; when a
    // folder above it is closed, that folder is selected.
    connect(m_files, &FolderListModel::aboutToRemove, this, &FolderDialog::KeepSelectionOff);
    connect(m_files, &FolderListModel::pathsChanged, this, &FolderDialog::OnPathsChanged);
    connect(m_tree, &QTreeView::collapsed, this, [this](const QModelIndex &folder) {
        if (Below(m_tree->currentIndex(), folder))
            m_tree->setCurrentIndex(folder);
    });
    connect(m_files->Lister(), &FolderLister::Checked, this, &FolderDialog::OnChecked);
    connect(m_files, &FolderListModel::topGone, this, &FolderDialog::OnTopGone);
    // Only the rows in sight are looked at on disk.
    connect(m_tree, &FolderTreeView::rowsInSight, this, [this](const QModelIndexList &rows) {
        for (const QModelIndex &row : rows)
            m_files->Look(m_folders->mapToSource(row));
    });
    // A folder the operator picks meanwhile wins over one still waited for.
    m_tree->installEventFilter(this);
    m_tree->viewport()->installEventFilter(this);
}

bool FolderDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)
        m_pendingSelection.clear();
    return QWidget::eventFilter(watched, event);
}

FolderDialog::~FolderDialog()
{
    // The tree and the models go down with the children; their last signals
    // must not reach a dialog that is half gone.
    disconnect(m_selectionWatch);
    m_owner = nullptr;
    delete m_files;  // before the icon provider it uses
}

void FolderDialog::Open()
{
    show();
    // The first place open: the last count's place, or home.
    const QModelIndex root = m_tree->rootIndex();
    if (m_folders->rowCount(root) >= 1)
        m_tree->expand(m_folders->index(0, 0, root));

    const QPointer<FolderDialog> self(this);
    Notify(DialogReady);
    if (!self || m_closed)
        return;
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 800, 600);
    move(area.center() - rect().center());
}

bool FolderDialog::SetSelection(const QString &path, bool orItsFolder)
{
    m_pendingSelection.clear();
    QString folder = QDir::fromNativeSeparators(path);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1String(":/")))
        folder.chop(1);
    if (folder.isEmpty() || !m_files->Holds(folder))
        return false;
    QModelIndex source = m_files->index(folder);
    if (!source.isValid()) {
        const std::optional<bool> isFolder = m_files->Lister()->CheckFolder(folder, SelectionWaitMs);
        if (!isFolder) {
            m_pendingSelection = folder;
            m_pendingOrItsFolder = orItsFolder;
            return false;
        }
        if (!*isFolder && orItsFolder)
            return SetSelection(QFileInfo(folder).path());
        if (!*isFolder)
            return false;
        source = m_files->Reveal(folder);
    }
    const QModelIndex item = m_folders->mapFromSource(source);
    if (!item.isValid())
        return false;  // not below the top folder
    Select(item);
    return true;
}

void FolderDialog::Select(const QModelIndex &item)
{
    m_tree->ShowCurrent(item);
}

bool FolderDialog::Below(QModelIndex item, const QModelIndex &above) const
{
    if (!item.isValid() || item == above)
        return false;
    while (item.isValid() && item != above)
        item = item.parent();
    return item.isValid();
}

void FolderDialog::KeepSelectionOff(const QModelIndex &gone)
{
    const QModelIndex current = m_folders->mapToSource(m_tree->currentIndex());
    if (current.isValid() && (current == gone || Below(current, gone)))
        m_tree->setCurrentIndex(m_folders->mapFromSource(gone.parent()));
}

void FolderDialog::OnPathsChanged()
{
    const QVariant current = QVariant::fromValue(QPersistentModelIndex(m_tree->currentIndex()));
    QString path;
    if (PathOfItem(current, path) && path != m_notifiedPath)
        Notify(DialogSelChanged, current);
}

void FolderDialog::OnChecked(const QString &path, bool folder)
{
    if (path != m_pendingSelection)
        return;
    m_pendingSelection.clear();
    if (!folder) {
        if (m_pendingOrItsFolder)
            SetSelection(QFileInfo(path).path());
        return;
    }
    const QModelIndex item = m_folders->mapFromSource(m_files->Reveal(path));
    if (item.isValid())
        Select(item);
}

void FolderDialog::OnTopGone(const QString &path, bool replaced)
{
    if (replaced) {
        m_topFolder = m_files->filePath(m_files->index(0, 0));
        m_folders->SetTop(m_files->index(0, 0));
        const QModelIndex top = m_folders->index(0, 0);
        m_tree->expand(top);
        Select(top);
        return;
    }
    const QModelIndex gone = m_folders->mapFromSource(m_files->index(path));
    if (!gone.isValid())
        return;
    m_tree->collapse(gone);
    // Emptied, the item holds no selection but its own.
    if (m_tree->currentIndex() == gone) {
        const int rows = m_folders->rowCount(gone.parent());
        const QModelIndex next = gone.siblingAtRow(gone.row() + 1 < rows ? gone.row() + 1 : gone.row() - 1);
        if (next.isValid())
            m_tree->setCurrentIndex(next);
    }
}

bool FolderDialog::PathOfItem(const QVariant &item, QString &path)
{
    path.clear();
    const auto index = item.value<QPersistentModelIndex>();
    if (!index.isValid())
        return false;
    const auto *folders = qobject_cast<const FolderModel *>(index.model());
    const QModelIndex source = folders ? folders->mapToSource(index) : QModelIndex();
    const auto *files = qobject_cast<const FolderListModel *>(source.model());
    if (!files)
        return false;
    path = QDir::toNativeSeparators(files->filePath(source));
    return !path.isEmpty();
}

void FolderDialog::closeEvent(QCloseEvent *event)
{
    m_closed = true;
    event->accept();
}

void FolderDialog::Notify(quint32 message, const QVariant &wParam)
{
    if (message == DialogSelChanged)
        PathOfItem(wParam, m_notifiedPath);
    if (!m_owner)
        return;
    WindowMessage notice(this, message, wParam);
    QCoreApplication::sendEvent(m_owner, &notice);
}

} // namespace kestova
