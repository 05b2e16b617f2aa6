// ucBrowse: the folder tree control in which the operator picks the folder
// to count. It owns its properties and their stored set, its look (white
// surface, border, tree switches), its events, and its tree: a
// FolderTreeView child over the FolderListModel of the file system (folders
// only, hidden ones left out, names in any encoding). The tree's current
// item is the selection; each change of it raises PathChange at once. The
// selection only ever moves to a folder the operator can account for: when
// the selected folder is removed its parent is selected, when it is renamed
// the new path is told, when a folder above it is closed that folder is
// selected, when a top folder goes away the next start place (or the single
// top folder's parent) is selected.
//
// Hosting it (the main window):
//
//     auto *tree = new kestova::ucBrowse(this);      // run mode by default
//     tree->ReadProperties(QVariantMap{{"appearance", 0}, {"haslines", true},
//                                      {"hideselection", false}, {"hottracking", false},
//                                      {"theme", 2}});
//     connect(tree, &kestova::ucBrowse::PathChange, this, &frmMain::OnPathChange);
//     // ... lay it out; when it is first shown it opens the tree.
//
// PathChange carries the selected folder with a trailing separator ("/" on
// Unix, "\" on Windows), or empty text for an item without a file-system
// path. Closing the host window closes the tree (Status "SystemTreeView
// ShutDown"); Reset() reopens it.
//
// Naming: each property has a getter named as the property (Appearance())
// and a setter set<Property> (setAppearance()). The Enabled property is the
// widget's own enabled flag: Enabled() reads it, QWidget::setEnabled() sets
// it, and the control refreshes on the change.
//
// Root: 0 is the top of the file system (the root folder on Unix, the drives
// on Windows). Any other value is a handle from RootHandle(folder), which
// names that folder as the tree's single top item; handles last for the run
// of the program, and one that names nothing opens the top of the file system.
//
// Where it starts: with Root 0 the tree's top items are the start places
// (start_places.h). SetLastFolder names the folder counted last: its parent
// comes first, and it is the first selection when it still exists. A folder
// dropped on the host window from the file manager is selected.
//
// Nothing the control does waits for a disk: folders are read in the
// background, and a folder picked by path on a disk that does not answer at
// once is selected when it answers.
//
// Modes: setUserMode(false) before ReadProperties() is design mode (no
// tree, only the border, no events); run mode (the default) starts up when
// the properties are read and opens the tree when the control is shown.
// Right-button presses never reach the tree: the control's message hook
// (HookEngine) stops them.
#pragma once

#include "hook_engine.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QTreeView>
#include <QVariantMap>
#include <QWidget>

#include <optional>

class QPainter;

namespace kestova {

class FolderListModel;
class FolderModel;
class FolderTreeView;
class PropertyBag;

class ucBrowse : public QWidget, public HookClient
{
    Q_OBJECT
public:
    explicit ucBrowse(QWidget *parent = nullptr);
    ~ucBrowse() override;

    // Run mode (true, the default) or design mode; decided before ReadProperties.
    void setUserMode(bool run) { m_userMode = run; }
    bool UserMode() const { return m_userMode; }

    // ---- the stored property set ----
    // A control placed new: Appearance 1, Theme 0, FolderFlags 4101 (through
    // their setters), every Boolean False, Path empty, Root 0.
    void InitProperties();
    // Reads the twelve keys in their order (Appearance, CheckBoxes, Enabled,
    // FolderFlags, FullRowSelect, HasLines, HasButtons, HideSelection,
    // HotTracking, Path, Root, Theme), in run mode starts up, and gives the
    // keyboard focus to the host window.
    void ReadProperties(const PropertyBag &bag);
    void ReadProperties(const QVariantMap &values);
    // Writes the twelve keys in the same order; defaults are left out.
    void WriteProperties(PropertyBag &bag) const;
    QVariantMap WriteProperties() const;

    // ---- properties (defaults of the stored set in brackets) ----
    int Appearance() const { return m_appearance; }  // [1] 0 flat, 1 sunken; Refresh may force it
    void setAppearance(int value);
    bool CheckBoxes() const { return m_checkBoxes; }  // [False]
    void setCheckBoxes(bool value);
    bool Enabled() const;  // [True] set with QWidget::setEnabled
    int FolderFlags() const { return m_folderFlags; }  // [4101] 0 opens the tree with 5
    void setFolderFlags(int value);
    bool FullRowSelect() const { return m_fullRowSelect; }  // [False]
    void setFullRowSelect(bool value);
    bool HasLines() const { return m_hasLines; }  // [False]
    void setHasLines(bool value);
    bool HasButtons() const { return m_hasButtons; }  // [True]
    void setHasButtons(bool value);
    bool HideSelection() const { return m_hideSelection; }  // [True]
    void setHideSelection(bool value);
    bool HotTracking() const { return m_hotTracking; }  // [True]
    void setHotTracking(bool value);
    QString Path() const;  // [""] the selected folder, qualified
    void setPath(const QString &sNewPath);
    int Root() const { return m_root; }  // [0]
    void setRoot(int value);
    int Theme() const { return m_theme; }  // [0] 0-5, chooses the frame colour
    void setTheme(int value);

    // ---- methods ----
    // Forces Appearance from the theme, sets border and surface, places the
    // tree and applies its six switches.
    void Refresh();
    // CloseUp, Refresh; in run mode also opens the tree anew at Root.
    void Reset();
    // Closes the tree and raises Status "SystemTreeView ShutDown"; without a
    // tree it does nothing.
    void CloseUp();
    // sPath with a trailing separator when it names a folder and has none.
    static QString QualifyPath(const QString &sPath);
    static bool IsFolder(const QString &sPath);
    static bool IsFile(const QString &sPath);  // also true for a path that does not exist
    // Places the tree inside the control's border (pixels).
    void SizeSysTreeView(int mLeft, int mTop, int mWidth, int mHeight);
    static bool IsWin2K();
    static bool IsWinXP();
    static qint32 TranslateColor(qint32 lColor);  // 0xBBGGRR, -1 when it cannot
    static QString Version(bool bDateTime = false);

    // The folder counted last (see the top of this file); used when the tree
    // is next opened.
    void SetLastFolder(const QString &folder);
    QString LastFolder() const { return m_lastFolder; }

    // Root handles (see the top of this file).
    static int RootHandle(const QString &folder);
    static QString RootFolder(int root);

    // ---- the hook engine ----
    const HookEngine &Hooks() const { return m_hooks; }
    // The hook callback; public so that the hook engine can reach it.
    int zSubclass_Proc(bool bBefore, bool &bHandled, qint32 &lReturn, QWidget *&lng_hWnd, quint32 &uMsg,
                       QVariant &wParam, QVariant &lParam) override;

    // ---- state ----
    bool Active() const { return m_active; }
    QTreeView *Tree() const;
    // The folders the open tree shows; null without a tree.
    FolderListModel *FileSystem() const { return m_files; }

signals:
    void MouseEnter();  // declared for hosts; never raised
    void MouseLeave();  // likewise
    void Status(const QString &sStatus);
    void PathChange(const QString &path);
    // A property was set through its setter; the stored set is out of date.
    void PropertyChanged(const QString &name);

protected:
    // The visual style's colour-scheme name ("None" off Windows XP).
    virtual QString ThemeColorName() const;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void StartUp();
    void OpenTree();
    void OnCurrentChanged(const QModelIndex &current);
    // Selects the folder at path (see setPath); false when it names none
    // under the tops, or its disk has not answered yet (it is selected
    // when it does). orItsFolder: a file selects its folder.
    bool SelectPath(const QString &path, bool orItsFolder = false);
    void OnChecked(const QString &path, bool folder);
    void KeepSelectionOff(const QModelIndex &gone);
    void OnPathsChanged();
    void OnTopGone(const QString &path, bool replaced);
    bool ApplyTreeStyles();
    void SetContainerLook(int appearance, bool singleBorder);
    bool OnHostDrag(QEvent *event);
    static void DrawBorder(QPainter &painter, const QRect &rect, const QColor &color);

    HookEngine m_hooks{*this};
    bool m_userMode = true;

    int m_appearance = 1;
    bool m_checkBoxes = false;
    int m_folderFlags = 4101;
    bool m_fullRowSelect = false;
    bool m_hasLines = false;
    bool m_hasButtons = true;
    bool m_hideSelection = true;
    bool m_hotTracking = true;
    QString m_currentPath;
    int m_root = 0;
    int m_theme = 0;
    QString m_lastFolder;

    FolderListModel *m_files = nullptr;
    FolderModel *m_folders = nullptr;
    QPointer<FolderTreeView> m_tree;
    QString m_pendingSelection;  // waits for its disk to answer
    bool m_pendingOrItsFolder = false;
    QString m_notifiedPath;      // of the last PathChange from the tree
    QPointer<QWidget> m_host;
    bool m_active = false;
    bool m_inRefresh = false;
    bool m_reading = false;  // ReadProperties at work: no Refresh on the way
    bool m_inHostClose = false;

    // The container's own look: its appearance and whether it has a border
    // (single: 2-pixel sunken edge when 3-D, 1-pixel line when flat), and
    // the frame Refresh draws on a flat control.
    int m_containerAppearance = 1;
    bool m_singleBorder = true;
    std::optional<QColor> m_frameColor;
};

} // namespace kestova
