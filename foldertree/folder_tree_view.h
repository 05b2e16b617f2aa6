// The folder tree itself: FolderModel shows a FolderListModel's names and
// keeps check marks; FolderTreeView draws lines,
// expand buttons, selection and the hot item itself so that the six tree
// switches look the same under every Qt style (Qt's own styles draw no lines).
// The view tells which rows are in sight (so that only those are looked at
// on disk), and keeps the row under the mouse where it is when rows arrive
// above it, so that a click lands where the eye is.
#pragma once

#include <QPersistentModelIndex>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>

namespace kestova {

class FolderModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit FolderModel(QObject *parent = nullptr);

    // Items carry check boxes; the marks are kept by file path.
    void SetCheckable(bool checkable);
    bool Checkable() const { return m_checkable; }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected:
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex &sourceParent) const override;

private:
    QString KeyOf(const QModelIndex &index) const;

    bool m_checkable = false;
    QSet<QString> m_checked;
};

class FolderTreeView : public QTreeView
{
    Q_OBJECT
public:
    struct Switches
    {
        bool checkBoxes = false;
        bool fullRowSelect = false;
        bool hasButtons = true;
        bool hasLines = false;
        bool hideSelection = true;  // show the selection only while focused
        bool hotTracking = true;
    };

    explicit FolderTreeView(QWidget *parent = nullptr);

    Switches GetSwitches() const { return m_switches; }
    void SetSwitches(const Switches &switches);

    // Whether the selection is painted now.
    bool SelectionShown() const;
    // The item under the mouse while hot tracking is on.
    QModelIndex HotIndex() const { return m_hot; }

    void setModel(QAbstractItemModel *model) override;
    void doItemsLayout() override;
    // Besides the rows, scrolls sideways so that the item's name can be read
    // however deep it lies.
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    // Makes the item current and keeps it in sight while folders are still
    // being read around it, until the operator scrolls, clicks or types.
    void ShowCurrent(const QModelIndex &index);
    // The rows now in sight, top to bottom.
    QModelIndexList RowsInSight() const;

    // How often the rows in sight are told again while the view is shown.
    static constexpr int LookAgainMs = 2000;

signals:
    // The rows in sight, after scrolling, opening, resizing or new rows, and
    // every LookAgainMs while the view is shown.
    void rowsInSight(const QModelIndexList &rows);

protected:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void SetHot(const QModelIndex &index);
    bool InIndent(const QPoint &pos) const;
    void FitColumnLater();
    // once: bring the current item into sight this once, not following it.
    void FollowLater(bool once = false);
    void LookLater();
    void SetAnchor(const QPoint &pos);
    void KeepAnchor();

    Switches m_switches;
    QPersistentModelIndex m_hot;
    bool m_fitPending = false;
    bool m_follow = false;  // keep the current item in sight
    bool m_followPending = false;
    bool m_followOnce = false;
    bool m_lookPending = false;
    QTimer *m_lookAgain;
    // The row under the mouse and its top while the mouse is over the rows.
    QPersistentModelIndex m_anchor;
    QPoint m_anchorPos;
    int m_anchorTop = 0;
    QList<QMetaObject::Connection> m_modelWatch;
};

} // namespace kestova
