// FolderListModel: the folders of the file system as a tree model for the
// folder dialog, listed when a folder is first opened and kept up to date by
// a file-system watcher. Names come through the engine's path codec, so a
// folder whose name is not UTF-8 (GBK, from an archive made on Chinese
// Windows) is shown decoded and can be picked like any other; Qt's
// QFileSystemModel leaves such folders out. Hidden folders are left out.
// Children are in the order QFileSystemModel gives: case-insensitive, with
// numbers compared by value.
#pragma once

#include <QAbstractItemModel>
#include <QFileSystemWatcher>
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
    // The tree's single top item: folder ('/' separators), or for an empty
    // folder the top of the file system (the root folder on Unix, the
    // drives on Windows).
    void SetTopFolder(const QString &folder);

    // The item of a folder below the top ('/' separators); folders on the
    // way are listed. Invalid when the tree holds no such folder.
    QModelIndex index(const QString &path) const;
    QString filePath(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // A folder not listed yet has children when it holds a folder that is
    // not hidden, so that only such folders get an expand button.
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // The folder's sub-folders have been listed.
    void directoryLoaded(const QString &path);

private:
    struct Node;

    Node *NodeOf(const QModelIndex &index) const;
    QModelIndex IndexOf(const Node *node) const;
    void List(Node *node);
    void Relist(const QString &path);
    void Forget(Node *node);

    std::unique_ptr<Node> m_root;  // invisible; its children are the tops
    bool m_topIsFileSystem = true;
    QHash<QString, Node *> m_listed;  // by path: the listed folders
    QFileSystemWatcher m_watcher;
    QIcon m_folderIcon;
    QIcon m_driveIcon;
};

} // namespace kestova
