// The folder dialog's model of the file system's folders.
#include "folder_list_model.h"

#include "folder_lister.h"
#include "start_places.h"

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace kestova {

struct FolderListModel::Node {
    QString name;
    QString path;  // '/' separators
    Node *parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;
    quint64 inode = 0;
    bool listed = false;  // children are what the folder held when last read
    std::optional<bool> holdsFolders;  // known once looked at
};

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity PathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity PathCase = Qt::CaseSensitive;
#endif

QString ChildPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString NameKey(const QString &name)
{
    return PathCase == Qt::CaseInsensitive ? name.toLower() : name;
}

} // namespace

FolderListModel::FolderListModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<Node>())
    , m_lister(new FolderLister(this))
{
    connect(m_lister, &FolderLister::Listed, this, &FolderListModel::OnListed);
    connect(m_lister, &FolderLister::Changed, this, &FolderListModel::OnChanged);
    connect(m_lister, &FolderLister::Gone, this, &FolderListModel::OnGone);
}

FolderListModel::~FolderListModel() = default;

void FolderListModel::setIconProvider(QAbstractFileIconProvider *provider)
{
    m_folderIcon = provider ? provider->icon(QAbstractFileIconProvider::Folder) : QIcon();
    m_driveIcon = provider ? provider->icon(QAbstractFileIconProvider::Drive) : QIcon();
}

void FolderListModel::SetTopFolder(const QString &folder, const QString &firstPlace)
{
    beginResetModel();
    for (const auto &top : m_root->children)
        Forget(top.get());
    m_root = std::make_unique<Node>();
    m_topIsFileSystem = folder.isEmpty();
    m_firstPlace = firstPlace;
    if (!m_topIsFileSystem) {
        const QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder));
        const QString name = path.section(u'/', -1);
        Node *top = AddChild(m_root.get(), 0, name.isEmpty() ? path : name, 0);
        top->path = path;
        m_byPath[path].append(top);
    }
    endResetModel();
    delete std::exchange(m_mounts, nullptr);
    if (m_topIsFileSystem) {
        SetTops(StartPlaces(m_firstPlace));
        m_mounts = new MountWatch(this);
        connect(m_mounts, &MountWatch::Changed, this, [this] { SetTops(StartPlaces(m_firstPlace)); });
    }
}

// Brings the top items in line with the start places: those gone (a stick
// pulled out) are removed, new ones inserted in their places.
void FolderListModel::SetTops(const QStringList &paths)
{
    auto &tops = m_root->children;
    for (int i = int(tops.size()) - 1; i >= 0; --i) {
        Node *top = tops[size_t(i)].get();
        if (paths.contains(top->path))
            continue;
        emit aboutToRemove(IndexOf(top));
        beginRemoveRows({}, i, i);
        Forget(top);
        tops.erase(tops.begin() + i);
        for (size_t r = size_t(i); r < tops.size(); ++r)
            tops[r]->row = int(r);
        endRemoveRows();
    }
    for (int i = 0; i < paths.size(); ++i) {
        const QString &path = paths[i];
        if (std::any_of(tops.begin(), tops.end(), [&](const auto &top) { return top->path == path; }))
            continue;
        const int row = std::min(i, int(tops.size()));
        // A drive ("C:/") is named without its slash, any other place by its path.
        const QString name = path.size() > 1 && path.endsWith(u'/') ? path.chopped(1) : path;
        beginInsertRows({}, row, row);
        Node *top = AddChild(m_root.get(), row, name, 0);
        top->path = path;
        m_byPath[path].append(top);
        endInsertRows();
    }
}

FolderListModel::Node *FolderListModel::AddChild(Node *parent, int row, const QString &name, quint64 inode)
{
    auto child = std::make_unique<Node>();
    child->name = name;
    child->inode = inode;
    child->parent = parent;
    Node *added = child.get();
    parent->children.insert(parent->children.begin() + row, std::move(child));
    for (size_t i = size_t(row); i < parent->children.size(); ++i)
        parent->children[i]->row = int(i);
    if (parent != m_root.get()) {
        added->path = ChildPath(parent->path, name);
        m_byPath[added->path].append(added);
    }
    return added;
}

FolderListModel::Node *FolderListModel::NodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : m_root.get();
}

QModelIndex FolderListModel::IndexOf(const Node *node) const
{
    return node == m_root.get() ? QModelIndex() : createIndex(node->row, 0, const_cast<Node *>(node));
}

FolderListModel::Node *FolderListModel::TopOf(const QString &path, QString *rest) const
{
    const QString wanted = QDir::cleanPath(QDir::fromNativeSeparators(path));
    for (const auto &top : m_root->children) {
        if (wanted.compare(top->path, PathCase) == 0) {
            rest->clear();
            return top.get();
        }
        const QString prefix = top->path.endsWith(u'/') ? top->path : top->path + u'/';
        if (wanted.startsWith(prefix, PathCase)) {
            *rest = wanted.mid(prefix.size());
            return top.get();
        }
    }
    return nullptr;
}

QModelIndex FolderListModel::index(const QString &path) const
{
    QString rest;
    Node *node = TopOf(path, &rest);
    if (!node)
        return {};
    for (const QStringView name : QStringView(rest).tokenize(u'/', Qt::SkipEmptyParts)) {
        const auto child = std::find_if(node->children.begin(), node->children.end(),
                                        [&](const auto &c) { return name.compare(c->name, PathCase) == 0; });
        if (child == node->children.end())
            return {};
        node = child->get();
    }
    return IndexOf(node);
}

QModelIndex FolderListModel::Reveal(const QString &path)
{
    QString rest;
    Node *node = TopOf(path, &rest);
    if (!node)
        return {};
    for (const QString &name : rest.split(u'/', Qt::SkipEmptyParts)) {
        if (!node->listed)
            RequestList(node);
        auto &children = node->children;
        const auto child = std::find_if(children.begin(), children.end(),
                                        [&](const auto &c) { return name.compare(c->name, PathCase) == 0; });
        if (child != children.end()) {
            node = child->get();
            continue;
        }
        // Not read yet, or made since the last reading.
        const int row = int(std::find_if(children.begin(), children.end(),
                                         [&](const auto &c) { return FolderNameLess(name, c->name); })
                            - children.begin());
        beginInsertRows(IndexOf(node), row, row);
        Node *added = AddChild(node, row, name, 0);
        endInsertRows();
        if (node->listed)
            RequestList(node, true);
        SetHoldsFolders(node, true);
        node = added;
    }
    return IndexOf(node);
}

bool FolderListModel::Holds(const QString &path) const
{
    QString rest;
    return TopOf(path, &rest) != nullptr;
}

QString FolderListModel::filePath(const QModelIndex &index) const
{
    return index.isValid() ? NodeOf(index)->path : QString();
}

bool FolderListModel::Listed(const QModelIndex &index) const
{
    return index.isValid() && NodeOf(index)->listed;
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
        if (m_topIsFileSystem && node->parent == m_root.get() && node->path.endsWith(QLatin1String(":/")))
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
    if (node == m_root.get() || node->listed || !node->children.empty())
        return !node->children.empty();
    if (node->holdsFolders)
        return *node->holdsFolders;
    m_lister->Request(node->path, FolderLister::Kind::Probe);
    return true;
}

bool FolderListModel::canFetchMore(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return false;
    const Node *node = NodeOf(parent);
    return !node->listed && node->holdsFolders != false;
}

void FolderListModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        RequestList(NodeOf(parent));
}

void FolderListModel::RequestList(Node *node, bool again) const
{
    m_lister->Request(node->path, FolderLister::Kind::List, again);
}

void FolderListModel::OnListed(const FolderListing &listing)
{
    const QList<Node *> nodes = m_byPath.value(listing.path);
    if (nodes.isEmpty()) {
        m_lister->Unwatch(listing.path);  // forgotten while it was read
        return;
    }
    if (listing.error == ENOENT || listing.error == ENOTDIR) {
        OnGone(listing.path);
        return;
    }
    m_renamed = false;
    for (Node *node : nodes) {
        if (!listing.full) {
            if (!node->listed && node->children.empty())
                SetHoldsFolders(node, listing.error == 0 && !listing.folders.isEmpty());
            continue;
        }
        // An unreadable folder keeps what is known below it: a folder picked
        // by its path there exists even though it cannot be listed.
        if (listing.error == 0)
            Merge(node, listing.folders);
        node->listed = true;
        SetHoldsFolders(node, !node->children.empty());
    }
    if (listing.full)
        emit directoryLoaded(listing.path);
    if (std::exchange(m_renamed, false))
        emit pathsChanged();
}

// Brings the children up to date with the sorted reading: renamed folders
// (same inode, new name) keep their items, folders gone are removed with
// what lies below them, new ones are inserted in their sorted places.
void FolderListModel::Merge(Node *node, const QList<FolderEntry> &folders)
{
    const QModelIndex parent = IndexOf(node);
    auto &children = node->children;
    if (children.empty()) {  // the first reading: all at once
        if (folders.isEmpty())
            return;
        beginInsertRows(parent, 0, int(folders.size()) - 1);
        for (const FolderEntry &folder : folders)
            AddChild(node, int(children.size()), folder.name, folder.inode);
        endInsertRows();
        return;
    }
    QHash<QString, int> rank;
    for (int i = 0; i < folders.size(); ++i)
        rank.insert(NameKey(folders[i].name), i);
    QHash<QString, bool> present;
    for (const auto &child : children)
        present.insert(NameKey(child->name), true);

    QHash<quint64, int> newByInode;
    for (int i = 0; i < folders.size(); ++i) {
        if (folders[i].inode != 0 && !present.contains(NameKey(folders[i].name)))
            newByInode.insert(folders[i].inode, i);
    }
    if (!newByInode.isEmpty()) {
        std::vector<Node *> renamedAway;
        for (const auto &child : children) {
            if (child->inode != 0 && !rank.contains(NameKey(child->name)) && newByInode.contains(child->inode))
                renamedAway.push_back(child.get());
        }
        for (Node *child : renamedAway)
            Rename(child, folders[newByInode.value(child->inode)].name);
    }

    for (int i = int(children.size()) - 1; i >= 0; --i) {
        Node *child = children[size_t(i)].get();
        if (rank.contains(NameKey(child->name)))
            continue;
        emit aboutToRemove(IndexOf(child));
        beginRemoveRows(parent, i, i);
        Forget(child);
        children.erase(children.begin() + i);
        for (size_t r = size_t(i); r < children.size(); ++r)
            children[r]->row = int(r);
        endRemoveRows();
    }

    present.clear();
    for (const auto &child : children)
        present.insert(NameKey(child->name), true);
    size_t at = 0;
    for (int i = 0; i < folders.size(); ++i) {
        const QString key = NameKey(folders[i].name);
        while (at < children.size() && rank.value(NameKey(children[at]->name)) < i)
            ++at;
        if (at < children.size() && NameKey(children[at]->name) == key) {
            children[at]->inode = folders[i].inode;
            ++at;
            continue;
        }
        if (present.contains(key))
            continue;
        beginInsertRows(parent, int(at), int(at));
        AddChild(node, int(at), folders[i].name, folders[i].inode);
        endInsertRows();
        ++at;
    }
}

// The item takes its folder's new name and its place in the order; paths
// below it follow.
void FolderListModel::Rename(Node *node, const QString &name)
{
    Node *parent = node->parent;
    auto &siblings = parent->children;
    const int from = node->row;
    int to = 0;
    for (const auto &sibling : siblings) {
        if (sibling.get() != node && FolderNameLess(sibling->name, name))
            ++to;
    }
    if (to != from) {
        const QModelIndex parentIndex = IndexOf(parent);
        beginMoveRows(parentIndex, from, from, parentIndex, to > from ? to + 1 : to);
        auto moving = std::move(siblings[size_t(from)]);
        siblings.erase(siblings.begin() + from);
        siblings.insert(siblings.begin() + to, std::move(moving));
        for (size_t r = 0; r < siblings.size(); ++r)
            siblings[r]->row = int(r);
        endMoveRows();
    }
    const QString before = node->path;
    const QString after = ChildPath(parent->path, name);
    node->name = name;
    std::vector<Node *> below{node};
    while (!below.empty()) {
        Node *n = below.back();
        below.pop_back();
        QList<Node *> &old = m_byPath[n->path];
        old.removeAll(n);
        if (old.isEmpty())
            m_byPath.remove(n->path);
        n->path = after + n->path.mid(before.size());
        m_byPath[n->path].append(n);
        for (const auto &child : n->children)
            below.push_back(child.get());
    }
    m_lister->Rewatch(before, after);
    m_renamed = true;
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void FolderListModel::SetHoldsFolders(Node *node, bool holds)
{
    if (node->holdsFolders == holds)
        return;
    node->holdsFolders = holds;
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void FolderListModel::OnChanged(const QString &path)
{
    const QList<Node *> nodes = m_byPath.value(path);
    const bool listed = std::any_of(nodes.begin(), nodes.end(), [](const Node *n) { return n->listed; });
    if (!nodes.isEmpty())
        m_lister->Request(path, listed ? FolderLister::Kind::List : FolderLister::Kind::Probe, true);
}

// The folder itself is gone: its parents are read again, which removes it.
void FolderListModel::OnGone(const QString &path)
{
    for (Node *node : m_byPath.value(path)) {
        if (node->parent != m_root.get())
            RequestList(node->parent, true);
    }
}

void FolderListModel::Forget(Node *node)
{
    for (const auto &child : node->children)
        Forget(child.get());
    const auto found = m_byPath.find(node->path);
    if (found == m_byPath.end())
        return;
    found->removeAll(node);
    if (found->isEmpty()) {
        m_byPath.erase(found);
        m_lister->Unwatch(node->path);
    }
}

} // namespace kestova
