// The folder dialog the control takes its tree from: a window that is never
// put on the screen, holding a FolderTreeView over a FolderListModel of the
// file system (folders only, hidden ones left out, names in any encoding),
// an "OK" and a "Cancel" button. Like the
// platform's folder-browse dialog it tells its owner, as WindowMessage
// events sent to the owner widget with the dialog as their window:
//   DialogReady (1)        once it is set up, wParam empty
//   DialogSelChanged (2)   on every change of the tree's current item, wParam
//                          the new item (a QPersistentModelIndex, see PathOfItem)
// Right after its owner has seen it ready it takes its own place on the
// screen, which sends it a move (QEvent::Move).
//
// The selection only ever moves to a folder the operator can account for:
// when the selected folder is removed its parent is selected, when it is
// renamed the new path is told, when a folder above it is closed that folder
// is selected, when a top folder goes away the next start place (or the
// single top folder's parent) is selected.
#pragma once

#include "folder_list_model.h"
#include "folder_tree_view.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <memory>

class QFileIconProvider;
class QPushButton;

namespace kestova {

inline constexpr quint32 DialogReady = 1;
inline constexpr quint32 DialogSelChanged = 2;

class FolderDialog : public QWidget
{
    Q_OBJECT
public:
    // topFolder empty: the start places (firstPlace, home, media and shares,
    // the top of the file system; see start_places.h). flags are the
    // folder-browse option bits, kept as given; the tree shows file-system
    // folders whatever they say. owner receives the notices (none when
    // null). The dialog is a window child of parent, so parent's
    // destruction takes it along.
    FolderDialog(const QString &topFolder, int flags, QWidget *owner, QWidget *parent = nullptr,
                 const QString &firstPlace = {});
    ~FolderDialog() override;

    // Runs the dialog: shows it (never on screen), sends DialogReady, then
    // places itself centred on the screen.
    void Open();
    // Makes the tree's current item the folder at path (native or '/'
    // separators, with or without a trailing one). False when the path names
    // no folder under the top folder; the selection is then left alone. A
    // folder on a disk that does not answer at once is selected when it
    // answers (false meanwhile), unless the selection has moved since.
    // orItsFolder: a path that turns out to name a file selects its folder
    // (a photo dropped from a slow share).
    bool SetSelection(const QString &path, bool orItsFolder = false);

    int Flags() const { return m_flags; }
    QString TopFolder() const { return m_topFolder; }
    FolderTreeView *Tree() const { return m_tree; }
    FolderListModel *FileSystem() const { return m_files; }
    // Whether the dialog was closed (by its close request or its Cancel button).
    bool Closed() const { return m_closed; }

    // The file-system path of an item from DialogSelChanged, with native
    // separators; false (and path empty) for an item that has none.
    static bool PathOfItem(const QVariant &item, QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Notify(quint32 message, const QVariant &wParam = {});
    void Select(const QModelIndex &item);
    bool Below(QModelIndex item, const QModelIndex &above) const;
    void KeepSelectionOff(const QModelIndex &gone);
    void OnChecked(const QString &path, bool folder);
    void OnPathsChanged();
    void OnTopGone(const QString &path, bool replaced);

    QString m_topFolder;
    int m_flags;
    QPointer<QWidget> m_owner;
    std::unique_ptr<QFileIconProvider> m_icons;  // outlives m_files, which uses it
    FolderListModel *m_files;
    FolderModel *m_folders;
    QPointer<FolderTreeView> m_tree;  // adopted by the owner while it shows it
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QMetaObject::Connection m_selectionWatch;
    QString m_pendingSelection;  // waits for its disk to answer
    bool m_pendingOrItsFolder = false;
    QString m_notifiedPath;      // of the last selection notice
    bool m_closed = false;
};

} // namespace kestova
