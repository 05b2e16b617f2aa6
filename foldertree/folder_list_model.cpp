// The folder dialog's model of the file system's folders.
#include "folder_list_model.h"

#include "path_codec.h"

#include <QAbstractFileIconProvider>
#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestova {

struct FolderListModel::Node {
    QString name;
    QString path;  // '/' separators
    Node *parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;
    bool listed = false;
    std::optional<bool> holdsFolders;  // known before listing once asked
};

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity PathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity PathCase = Qt::CaseSensitive;
#endif

// The names of the folder's sub-folders that are not hidden; with firstOnly
// no more than the first.
QStringList SubFolders(const QString &path, bool firstOnly)
{
    QStringList names;
#ifdef Q_OS_UNIX
    const int fd = OpenPath(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return names;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.') // hidden on Unix, and "." and ".."
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            folder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!folder)
            continue;
        names.append(DecodeNameIn(fd, QByteArray(name)));
        if (firstOnly)
            break;
    }
    ::closedir(dir);
#else
    names = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    if (firstOnly && names.size() > 1)
        names.resize(1);
#endif
    return names;
}

void SortNames(QStringList &names)
{
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&collator](const QString &a, const QString &b) {
        const int c = collator.compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
}

QString ChildPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

// The watcher opens paths as UTF-8; a folder whose name is GBK on disk is
// not watched (it is listed afresh when the tree is opened again).
bool Watchable(const QString &path)
{
#ifdef Q_OS_UNIX
    return EncodePath(path) == path.toUtf8();
#else
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace

FolderListModel::FolderListModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<Node>())
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderListModel::Relist);
}

FolderListModel::~FolderListModel() = default;

void FolderListModel::setIconProvider(QAbstractFileIconProvider *provider)
{
    m_folderIcon = provider ? provider->icon(QAbstractFileIconProvider::Folder) : QIcon();
    m_driveIcon = provider ? provider->icon(QAbstractFileIconProvider::Drive) : QIcon();
}

void FolderListModel::SetTopFolder(const QString &folder)
{
    beginResetModel();
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_listed.clear();
    m_root = std::make_unique<Node>();
    m_topIsFileSystem = folder.isEmpty();
    QList<QPair<QString, QString>> tops;  // name, path
    if (!m_topIsFileSystem) {
        const QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder));
        const QString name = path.section(u'/', -1);
        tops.append({name.isEmpty() ? path : name, path});
    } else {
#ifdef Q_OS_WIN
        for (const QFileInfo &drive : QDir::drives()) {
            const QString path = drive.absoluteFilePath();
            tops.append({path.endsWith(u'/') ? path.chopped(1) : path, path});
        }
#else
        tops.append({QStringLiteral("/"), QStringLiteral("/")});
#endif
    }
    for (const auto &[name, path] : std::as_const(tops)) {
        auto node = std::make_unique<Node>();
        node->name = name;
        node->path = path;
        node->parent = m_root.get();
        node->row = int(m_root->children.size());
        m_root->children.push_back(std::move(node));
    }
    endResetModel();
}

FolderListModel::Node *FolderListModel::NodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : m_root.get();
}

QModelIndex FolderListModel::IndexOf(const Node *node) const
{
    return node == m_root.get() ? QModelIndex() : createIndex(node->row, 0, const_cast<Node *>(node));
}

QModelIndex FolderListModel::index(const QString &path) const
{
    const QString wanted = QDir::cleanPath(QDir::fromNativeSeparators(path));
    for (const auto &top : m_root->children) {
        if (wanted.compare(top->path, PathCase) == 0)
            return IndexOf(top.get());
        const QString prefix = top->path.endsWith(u'/') ? top->path : top->path + u'/';
        if (!wanted.startsWith(prefix, PathCase))
            continue;
        Node *node = top.get();
        for (const QStringView name : QStringView(wanted).mid(prefix.size()).tokenize(u'/', Qt::SkipEmptyParts)) {
            if (!node->listed)
                const_cast<FolderListModel *>(this)->List(node);
            const auto child = std::find_if(node->children.begin(), node->children.end(),
                                            [&](const auto &c) { return name.compare(c->name, PathCase) == 0; });
            if (child == node->children.end())
                return {};
            node = child->get();
        }
        return IndexOf(node);
    }
    return {};
}

QString FolderListModel::filePath(const QModelIndex &index) const
{
    return index.isValid() ? NodeOf(index)->path : QString();
}

QModelIndex FolderListModel::index(int row, int column, const QModelIndex &parent) const
{
    const Node *node = NodeOf(parent);
    if (column != 0 || row < 0 || row >= int(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[size_t(row)].get());
}

QModelIndex FolderListModel::parent(const QModelIndex &child) const
{
    return child.isValid() ? IndexOf(NodeOf(child)->parent) : QModelIndex();
}

int FolderListModel::rowCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : int(NodeOf(parent)->children.size());
}

int FolderListModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant FolderListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Node *node = NodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case FileNameRole:
        return node->name;
    case FilePathRole:
        return node->path;
    case Qt::DecorationRole:
#ifdef Q_OS_WIN
        if (m_topIsFileSystem && node->parent == m_root.get())
            return m_driveIcon;
#endif
        return m_folderIcon;
    default:
        return {};
    }
}

bool FolderListModel::hasChildren(const QModelIndex &parent) const
{
    Node *node = NodeOf(parent);
    if (node == m_root.get() || node->listed)
        return !node->children.empty();
    if (!node->holdsFolders)
        node->holdsFolders = !SubFolders(node->path, true).isEmpty();
    return *node->holdsFolders;
}

bool FolderListModel::canFetchMore(const QModelIndex &parent) const
{
    return parent.isValid() && !NodeOf(parent)->listed;
}

void FolderListModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        List(NodeOf(parent));
}

void FolderListModel::List(Node *node)
{
    QStringList names = SubFolders(node->path, false);
    SortNames(names);
    node->listed = true;
    node->holdsFolders = !names.isEmpty();
    if (!names.isEmpty()) {
        beginInsertRows(IndexOf(node), 0, int(names.size()) - 1);
        for (const QString &name : std::as_const(names)) {
            auto child = std::make_unique<Node>();
            child->name = name;
            child->path = ChildPath(node->path, name);
            child->parent = node;
            child->row = int(node->children.size());
            node->children.push_back(std::move(child));
        }
        endInsertRows();
    }
    m_listed.insert(node->path, node);
    if (Watchable(node->path))
        m_watcher.addPath(node->path);
    emit directoryLoaded(node->path);
}

// Brings a listed folder up to date: folders gone are removed (with what was
// listed below them), new ones inserted in their sorted places.
void FolderListModel::Relist(const QString &path)
{
    Node *node = m_listed.value(path);
    if (!node)
        return;
    QStringList names = SubFolders(path, false);
    SortNames(names);
    const QModelIndex parent = IndexOf(node);
    auto &children = node->children;
    const auto renumber = [&children] {
        for (size_t i = 0; i < children.size(); ++i)
            children[i]->row = int(i);
    };
    for (int i = int(children.size()) - 1; i >= 0; --i) {
        if (names.contains(children[size_t(i)]->name))
            continue;
        beginRemoveRows(parent, i, i);
        Forget(children[size_t(i)].get());
        children.erase(children.begin() + i);
        renumber();
        endRemoveRows();
    }
    // What is left is in the order of names, which both sorts share.
    for (int i = 0; i < int(names.size()); ++i) {
        if (i < int(children.size()) && children[size_t(i)]->name == names[i])
            continue;
        beginInsertRows(parent, i, i);
        auto child = std::make_unique<Node>();
        child->name = names[i];
        child->path = ChildPath(path, names[i]);
        child->parent = node;
        children.insert(children.begin() + i, std::move(child));
        renumber();
        endInsertRows();
    }
}

void FolderListModel::Forget(Node *node)
{
    for (const auto &child : node->children)
        Forget(child.get());
    if (m_listed.remove(node->path) > 0 && m_watcher.directories().contains(node->path))
        m_watcher.removePath(node->path);
}

} // namespace kestova
