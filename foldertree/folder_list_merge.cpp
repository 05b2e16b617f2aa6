// The folder model's merging of a reading into the items it has.
#include "folder_list_model.h"

#include "folder_lister.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace kestova {

namespace {

// Time one block of a merge may take (at most BlockRows rows either way).
constexpr qint64 BlockMs = 10;

} // namespace

// Brings the children up to date with the sorted reading in node->target:
// renamed folders (same inode, new name) keep their items, folders gone are
// removed with what lies below them, new ones are inserted in their sorted
// places. Rows go in and out in runs, and after a block's worth the rest is
// left for the next turn of the event loop.
void FolderListModel::Merge(Node *node)
{
    QElapsedTimer block;
    block.start();
    int budget = BlockRows;
    const QList<FolderEntry> &folders = node->target;
    const QHash<QString, int> &rank = node->targetRank;
    auto &children = node->children;
    const auto kept = [&](const Node *child) { return rank.contains(FolderNameKey(child->name)); };

    // A folder that left under one name and came under another is renamed
    // (looked for once per reading).
    QHash<quint64, Node *> leaving;
    for (const auto &child : children) {
        if (!node->renamesFound && child->inode != 0 && !kept(child.get()))
            leaving.insert(child->inode, child.get());
    }
    node->renamesFound = true;
    if (!leaving.isEmpty()) {
        for (const FolderEntry &folder : folders) {
            Node *child = leaving.value(folder.inode);
            const QList<Node *> named = m_byPath.value(ChildPath(node->path, folder.name));
            if (child && std::none_of(named.begin(), named.end(), [&](const Node *n) { return n->parent == node; }))
                Rename(child, folder.name);
        }
    }

    // Removals, in runs from the end.
    bool removalsLeft = false;
    for (int i = int(children.size()) - 1; i >= 0;) {
        if (kept(children[size_t(i)].get())) {
            --i;
            continue;
        }
        if (budget <= 0 || (budget < BlockRows && block.elapsed() >= BlockMs)) {
            removalsLeft = true;
            break;
        }
        int first = i;
        while (first > 0 && i - first + 1 < budget && !kept(children[size_t(first) - 1].get()))
            --first;
        RemoveRun(node, first, i);
        budget -= i - first + 1;
        i = first - 1;
    }

    // Insertions, in runs: the children now are in the reading's order, so
    // the names between two of them that are there already are new.
    node->merging = true;
    if (!removalsLeft) {
        // Where the last block ended, when nothing else changed the rows since.
        int i = node->mergedUpTo;
        size_t at = size_t(i);
        if (i > 0 && (at > children.size() || rank.value(FolderNameKey(children[at - 1]->name), -1) != i - 1))
            i = 0, at = 0;
        while (i < folders.size() && budget > 0 && (budget == BlockRows || block.elapsed() < BlockMs)) {
            const int next = at < children.size() ? rank.value(FolderNameKey(children[at]->name)) : int(folders.size());
            if (next == i) {
                children[at]->inode = folders[i].inode;
                ++at;
                ++i;
                continue;
            }
            if (next < i) {  // out of order: a name told apart in another way
                ++at;
                continue;
            }
            const int end = std::min(next, i + budget);
            InsertRun(node, int(at), folders, i, end - i);
            budget -= end - i;
            at += size_t(end - i);
            i = end;
        }
        node->merging = i < folders.size();
        node->mergedUpTo = i;
    }

    if (node->merging) {
        MergeLater(node);
        return;
    }
    node->target.clear();
    node->targetRank.clear();
    SetHoldsFolders(node, !children.empty());
    emit directoryLoaded(node->path);
}

void FolderListModel::MergeLater(Node *node)
{
    if (std::find(m_merging.begin(), m_merging.end(), node) == m_merging.end())
        m_merging.push_back(node);
    if (std::exchange(m_mergeQueued, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_mergeQueued = false;
        const std::vector<Node *> nodes = std::exchange(m_merging, {});
        m_renamed = false;
        for (Node *node : nodes) {
            if (node->merging)
                Merge(node);
        }
        if (std::exchange(m_renamed, false))
            emit pathsChanged();
    });
}

void FolderListModel::InsertRun(Node *node, int at, const QList<FolderEntry> &folders, int from, int count)
{
    if (count <= 0)
        return;
    beginInsertRows(IndexOf(node), at, at + count - 1);
    auto &children = node->children;
    std::vector<std::unique_ptr<Node>> run;
    run.reserve(size_t(count));
    for (int i = from; i < from + count; ++i) {
        auto child = std::make_unique<Node>();
        child->name = folders[i].name;
        child->inode = folders[i].inode;
        child->parent = node;
        child->path = ChildPath(node->path, child->name);
        m_byPath[child->path].append(child.get());
        run.push_back(std::move(child));
    }
    children.insert(children.begin() + at, std::make_move_iterator(run.begin()), std::make_move_iterator(run.end()));
    for (size_t r = size_t(at); r < children.size(); ++r)
        children[r]->row = int(r);
    endInsertRows();
}

void FolderListModel::RemoveRun(Node *node, int first, int last)
{
    auto &children = node->children;
    for (int i = first; i <= last; ++i)
        emit aboutToRemove(IndexOf(children[size_t(i)].get()));
    beginRemoveRows(IndexOf(node), first, last);
    for (int i = first; i <= last; ++i)
        Forget(children[size_t(i)].get());
    children.erase(children.begin() + first, children.begin() + last + 1);
    for (size_t r = size_t(first); r < children.size(); ++r)
        children[r]->row = int(r);
    endRemoveRows();
}

} // namespace kestova
