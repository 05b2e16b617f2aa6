// The folder dialog: its file-system tree, its notices and path lookups.
#include "folder_dialog.h"

#include "folder_tree_view.h"
#include "hook_engine.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QPushButton>
#include <QScreen>

namespace kestova {

FolderDialog::FolderDialog(const QString &topFolder, int flags, QWidget *owner, QWidget *parent)
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
    m_files->SetTopFolder(m_topFolder);
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
    const QModelIndex root = m_tree->rootIndex();
    if (m_folders->rowCount(root) == 1)
        m_tree->expand(m_folders->index(0, 0, root));

    const QPointer<FolderDialog> self(this);
    Notify(DialogReady);
    if (!self || m_closed)
        return;
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 800, 600);
    move(area.center() - rect().center());
}

bool FolderDialog::SetSelection(const QString &path)
{
    QString folder = QDir::fromNativeSeparators(path);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1String(":/")))
        folder.chop(1);
    if (folder.isEmpty())
        return false;
    const QModelIndex item = m_folders->mapFromSource(m_files->index(folder));
    if (!item.isValid())
        return false;
    QModelIndex above = item;
    while (above.isValid() && above.parent() != m_tree->rootIndex())
        above = above.parent();
    if (!above.isValid())
        return false;  // not below the top folder
    m_tree->setCurrentIndex(item);
    m_tree->scrollTo(item);
    return true;
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
    if (!m_owner)
        return;
    WindowMessage notice(this, message, wParam);
    QCoreApplication::sendEvent(m_owner, &notice);
}

} // namespace kestova
