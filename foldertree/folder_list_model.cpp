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


namespace {

// How old a share folder's answer may be before a row in sight asks again.
constexpr qint64 RecheckMs = 2000;

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity PathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity PathCase = Qt::CaseSensitive;
#endif



} // namespace

QString FolderListModel::ChildPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

FolderListModel::FolderListModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<Node>())
    , m_lister(new FolderLister(this))
{
    connect(m_lister, &FolderLister::Listed, this, &FolderListModel::OnListed);
    connect(m_lister, &FolderLister::Changed, this, &FolderListModel::OnChanged);
    connect(m_lister, &FolderLister::Gone, this, &FolderListModel::OnGone);
    m_mounts = MountTable::Instance().Entries();
    connect(&MountTable::Instance(), &MountTable::Changed, this, &FolderListModel::OnMountsChanged);
    m_clock.start();
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
    m_merging.clear();
    endResetModel();
    if (m_topIsFileSystem)
        SetTops(StartPlaces(m_firstPlace, QDir::homePath(), MountTable::Instance().Entries()));
}

// Mounting changes nothing a watch sees: the folders where something was
// mounted or unmounted, those above them and the top items are read again.
void FolderListModel::OnMountsChanged()
{
    const QList<MountEntry> now = MountTable::Instance().Entries();
    QStringList changed;
    for (const MountEntry &entry : now) {
        if (!m_mounts.contains(entry))
            changed.append(entry.point);
    }
    for (const MountEntry &entry : std::as_const(m_mounts)) {
        if (!now.contains(entry))
            changed.append(entry.point);
    }
    m_mounts = now;
    if (m_topIsFileSystem)
        SetTops(StartPlaces(m_firstPlace, QDir::homePath(), now));
    const auto related = [&](const QString &path) {
        const QString below = path.endsWith(u'/') ? path : path + u'/';
        return std::any_of(changed.begin(), changed.end(), [&](const QString &point) {
            const QString pointBelow = point.endsWith(u'/') ? point : point + u'/';
            return point == path || point.startsWith(below) || path.startsWith(pointBelow);
        });
    };
    std::vector<Node *> again;
    for (const auto &top : m_root->children)
        again.push_back(top.get());
    for (auto it = m_byPath.cbegin(); it != m_byPath.cend(); ++it) {
        if (related(it.key()))
            again.insert(again.end(), it.value().begin(), it.value().end());
    }
    for (Node *node : again)
        Reread(node);
}

// Reads the folder anew: its sub-folders when they were read, else whether
// it holds one (and until then it shows its expand button).
void FolderListModel::Reread(Node *node)
{
    if (node->listed) {
        RequestList(node, true);
        return;
    }
    if (node->children.empty()) {
        node->probedAt = -1;
        SetHoldsFolders(node, std::nullopt);
        m_lister->Request(node->path, FolderLister::Kind::Probe, true);
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

void FolderListModel::Look(const QModelIndex &index)
{
    Node *node = NodeOf(index);
    if (node == m_root.get() || node->listed || !node->children.empty()
        || m_lister->Busy(node->path, FolderLister::Kind::Probe))
        return;
    // A local folder's answer is kept up to date by its watch; a share's,
    // or an answer that never came, is asked again after a while.
    const bool known = node->probedAt >= 0 && node->holdsFolders.has_value();
    if (known && !node->remote)
        return;
    if (node->probedAt >= 0 && m_clock.elapsed() - node->probedAt < RecheckMs)
        return;
    m_lister->Request(node->path, FolderLister::Kind::Probe);
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
    return node->holdsFolders.value_or(true);
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
        node->remote = listing.remote;
        if (!listing.full) {
            node->probedAt = m_clock.elapsed();
            // A folder that cannot be read keeps its expand button: the
            // operator may try to open it.
            if (!node->listed && node->children.empty())
                SetHoldsFolders(node, listing.error == 0 ? std::optional<bool>(!listing.folders.isEmpty())
                                                         : std::nullopt);
            continue;
        }
        // An unreadable folder keeps what is known below it: a folder picked
        // by its path there exists even though it cannot be listed.
        if (listing.error != 0)
            continue;
        node->listed = true;
        node->target = listing.folders;
        node->targetRank = listing.rank;
        node->renamesFound = false;
        node->mergedUpTo = 0;
        node->merging = true;
        Merge(node);
    }
    if (std::exchange(m_renamed, false))
        emit pathsChanged();
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

void FolderListModel::SetHoldsFolders(Node *node, std::optional<bool> holds)
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
// A top folder has no parent item (see topGone).
void FolderListModel::OnGone(const QString &path)
{
    for (Node *node : m_byPath.value(path)) {
        if (node->parent != m_root.get()) {
            RequestList(node->parent, true);
            continue;
        }
        if (!m_topIsFileSystem) {
            const QString clean = QDir::cleanPath(path);
            const qsizetype cut = clean.lastIndexOf(u'/');
            if (cut < 0 || clean.size() <= 1 || clean.endsWith(u':') || clean.endsWith(QLatin1String(":/")))
                return;
            QString parent = clean.left(cut == 0 ? 1 : cut);
            if (parent.endsWith(u':'))
                parent += u'/';
            SetTopFolder(parent);
            emit topGone(path, true);
            return;  // the nodes are gone with the reset
        }
        if (!node->children.empty())
            RemoveRun(node, 0, int(node->children.size()) - 1);
        node->listed = false;
        node->merging = false;
        node->target.clear();
        node->targetRank.clear();
        node->probedAt = -1;
        SetHoldsFolders(node, std::nullopt);
        emit topGone(path, false);
    }
}

void FolderListModel::Forget(Node *node)
{
    for (const auto &child : node->children)
        Forget(child.get());
    if (node->merging)
        m_merging.erase(std::remove(m_merging.begin(), m_merging.end(), node), m_merging.end());
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
