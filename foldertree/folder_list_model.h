// FolderListModel: the folders of the file system as a tree model for the
// folder dialog. Folders are read in the background (FolderLister): a folder
// not read yet shows an expand button until it is known whether it holds a
// folder, and opening it shows its sub-folders once they have been read, so
// no call of the model waits for a disk. Names come through the engine's
// path codec, so a folder whose name is not UTF-8 (GBK, from an archive made
// on Chinese Windows) is shown decoded and can be picked like any other.
// Hidden folders are left out. Children are in the order QFileSystemModel
// gives: case-insensitive, with numbers compared by value.
//
// Every folder read is watched: sub-folders made or removed appear or go,
// and so does the expand button of a folder that gains or loses its last
// sub-folder. A folder renamed keeps its item under the new name. Large
// changes are merged in blocks, one per turn of the event loop, so that the
// window never stops long over a folder of thousands. When something is
// mounted or unmounted the top items and the folders at the mount points are
// read again; a top folder that goes away falls back (topGone).
#pragma once

#include "folder_lister.h"
#include "start_places.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>

#include <memory>
#include <optional>
#include <vector>

class QAbstractFileIconProvider;

namespace kestova {


class FolderListModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    // The same numbers as QFileSystemModel's roles.
    enum Roles { FilePathRole = Qt::UserRole + 1, FileNameRole = Qt::UserRole + 2 };

    explicit FolderListModel(QObject *parent = nullptr);
    ~FolderListModel() override;

    // Icons for folders and drives; the provider must outlive the model.
    void setIconProvider(QAbstractFileIconProvider *provider);
    // The tree's single top item: folder ('/' separators). For an empty
    // folder the start places instead (see start_places.h), firstPlace
    // first; they follow the media and shares as they are mounted.
    void SetTopFolder(const QString &folder, const QString &firstPlace = {});

    // The item of a folder the tree holds now ('/' separators); invalid when
    // it holds none. Nothing is read.
    QModelIndex index(const QString &path) const;
    // The item of a folder known to exist below a top item, with items made
    // for the folders on the way that are not read yet (they are read next).
    // Invalid when the path lies under no top item.
    QModelIndex Reveal(const QString &path);
    // Whether the path lies under a top item (by its text).
    bool Holds(const QString &path) const;
    QString filePath(const QModelIndex &index) const;
    FolderLister *Lister() const { return m_lister; }
    // Whether the folder's sub-folders have been read.
    bool Listed(const QModelIndex &index) const;
    // The row is in sight: find out whether the folder holds one, unless
    // that is known and the watch keeps it up to date.
    void Look(const QModelIndex &index);

    // Most rows inserted or removed in one turn of the event loop.
    static constexpr int BlockRows = 1000;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // True for a folder that holds a folder that is not hidden, and for a
    // folder not known yet.
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // The folder's sub-folders have been read.
    void directoryLoaded(const QString &path);
    // The item (and all below it) is about to go: its folder is gone.
    void aboutToRemove(const QModelIndex &index);
    // Items were renamed after their folders: paths below them changed.
    void pathsChanged();
    // A top folder went away. With the start places its item stays, emptied
    // and closed, in case its disk comes back; a single top folder is
    // replaced by its parent (the model is reset, replaced is true).
    void topGone(const QString &path, bool replaced);

private:
    // One folder shown.
    struct Node {
        QString name;
        QString path;  // '/' separators
        Node *parent = nullptr;
        int row = 0;
        std::vector<std::unique_ptr<Node>> children;
        quint64 inode = 0;
        bool listed = false;  // children are what the folder held when last read
        std::optional<bool> holdsFolders;  // known once looked at
        qint64 probedAt = -1;  // on the model's clock, when last answered
        bool remote = false;   // on a share: no watch sees its changes
        bool merging = false;  // target still to be merged in
        QList<FolderEntry> target;
        QHash<QString, int> targetRank;
        bool renamesFound = false;
        int mergedUpTo = 0;  // of target, in place
    };

    static QString ChildPath(const QString &folder, const QString &name);
    Node *NodeOf(const QModelIndex &index) const;
    QModelIndex IndexOf(const Node *node) const;
    Node *TopOf(const QString &path, QString *rest) const;
    Node *AddChild(Node *parent, int row, const QString &name, quint64 inode);
    void OnListed(const FolderListing &listing);
    void OnChanged(const QString &path);
    void OnGone(const QString &path);
    void Merge(Node *node);
    void MergeLater(Node *node);
    void InsertRun(Node *node, int at, const QList<FolderEntry> &folders, int from, int count);
    void RemoveRun(Node *node, int first, int last);
    void OnMountsChanged();
    void Reread(Node *node);
    void Rename(Node *node, const QString &name);
    void SetHoldsFolders(Node *node, std::optional<bool> holds);
    void Forget(Node *node);
    void RequestList(Node *node, bool again = false) const;
    void SetTops(const QStringList &paths);

    std::unique_ptr<Node> m_root;  // invisible; its children are the tops
    bool m_topIsFileSystem = true;
    QString m_firstPlace;
    QList<MountEntry> m_mounts;  // as last seen
    bool m_renamed = false;  // a reading renamed items
    QHash<QString, QList<Node *>> m_byPath;  // every item by its folder
    FolderLister *m_lister;
    QIcon m_folderIcon;
    QIcon m_driveIcon;
    QElapsedTimer m_clock;  // when probes were answered
    std::vector<Node *> m_merging;  // merges with blocks still to do
    bool m_mergeQueued = false;
};

} // namespace kestova
