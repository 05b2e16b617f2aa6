// The folder tree's model filter and its drawing.
#include "folder_tree_view.h"

#include "folder_list_model.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QPainter>
#include <QtMath>
#include <QStyledItemDelegate>
#include <QTimer>

namespace kestova {

// ---- FolderModel ---------------------------------------------------------

FolderModel::FolderModel(QObject *parent) : QSortFilterProxyModel(parent) {}

void FolderModel::SetCheckable(bool checkable)
{
    m_checkable = checkable;
}

QString FolderModel::KeyOf(const QModelIndex &index) const
{
    return mapToSource(index).data(FolderListModel::FilePathRole).toString();
}

QVariant FolderModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::CheckStateRole && m_checkable && index.column() == 0)
        return m_checked.contains(KeyOf(index)) ? Qt::Checked : Qt::Unchecked;
    return QSortFilterProxyModel::data(index, role);
}

bool FolderModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !m_checkable || !index.isValid())
        return QSortFilterProxyModel::setData(index, value, role);
    if (value.toInt() == Qt::Checked)
        m_checked.insert(KeyOf(index));
    else
        m_checked.remove(KeyOf(index));
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags FolderModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QSortFilterProxyModel::flags(index) & ~Qt::ItemIsEditable;
    if (m_checkable && index.isValid())
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool FolderModel::filterAcceptsColumn(int sourceColumn, const QModelIndex &) const
{
    return sourceColumn == 0;
}

// ---- drawing -------------------------------------------------------------

namespace {

QColor LineColor(const QPalette &palette)
{
    return palette.color(QPalette::Disabled, QPalette::Text);
}

// Paints one item as the platform's tree does: check box, icon, and a label
// as wide as its text that carries the selection (unless the whole row does)
// and, for the hot item, an underline in the link colour.
class FolderItemDelegate : public QStyledItemDelegate
{
public:
    explicit FolderItemDelegate(FolderTreeView *view) : QStyledItemDelegate(view), m_view(view) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : m_view->style();
        const bool selected = opt.state & QStyle::State_Selected;
        const bool hot = opt.state & QStyle::State_MouseOver;
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : m_view->hasFocus()                 ? QPalette::Active
                                                                                : QPalette::Inactive;

        painter->save();
        if (opt.features & QStyleOptionViewItem::HasCheckIndicator) {
            QStyleOptionViewItem check = opt;
            check.rect = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
            check.state = check.state & ~QStyle::State_HasFocus;
            check.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
            style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);
        }
        if (opt.features & QStyleOptionViewItem::HasDecoration) {
            const QRect decoration = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, widget);
            opt.icon.paint(painter, decoration, opt.decorationAlignment,
                           group == QPalette::Disabled ? QIcon::Disabled : QIcon::Normal);
        }

        QFont font = opt.font;
        font.setUnderline(hot);
        const int margin = 3;
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int room = qMax(0, textRect.width() - 2 * margin);
        const int textWidth = qCeil(QFontMetricsF(font).horizontalAdvance(opt.text));
        const QString text = textWidth <= room ? opt.text : QFontMetrics(font).elidedText(opt.text, Qt::ElideRight, room);
        const QRect label(textRect.left(), textRect.top(), qMin(textWidth, room) + 2 * margin, textRect.height());
        if (selected && !m_view->GetSwitches().fullRowSelect)
            painter->fillRect(label, opt.palette.brush(group, QPalette::Highlight));
        const QPalette::ColorRole textRole = selected ? QPalette::HighlightedText
                                             : hot    ? QPalette::Link
                                                      : QPalette::Text;
        painter->setFont(font);
        painter->setPen(opt.palette.color(group, textRole));
        painter->drawText(label.adjusted(margin, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }

private:
    FolderTreeView *m_view;
};

} // namespace

// ---- FolderTreeView ------------------------------------------------------

FolderTreeView::FolderTreeView(QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setRootIsDecorated(true);
    setIndentation(19);
    setAnimated(false);
    // One line of text per folder: rows need not be measured one by one,
    // which with thousands of folders would stop the window.
    setUniformRowHeights(true);
    // Whole rows in sight when scrolled to (per item, the last one may be cut).
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setStretchLastSection(false);
    setItemDelegate(new FolderItemDelegate(this));
    SetSwitches(m_switches);
    connect(this, &QTreeView::expanded, this, &FolderTreeView::FitColumnLater);
    connect(this, &QTreeView::collapsed, this, &FolderTreeView::FitColumnLater);
    // The operator's own scrolling ends the following of the current item.
    for (QScrollBar *bar : {verticalScrollBar(), horizontalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this, [this] { m_follow = false; });
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, this, [this] {
        if (m_anchor.isValid())
            SetAnchor(m_anchorPos);  // scrolled: another row is under the mouse
        LookLater();
    });
    connect(this, &QTreeView::expanded, this, &FolderTreeView::LookLater);
    connect(this, &QTreeView::collapsed, this, &FolderTreeView::LookLater);
    m_lookAgain = new QTimer(this);
    m_lookAgain->setInterval(LookAgainMs);
    connect(m_lookAgain, &QTimer::timeout, this, &FolderTreeView::LookLater);
    // The row under the mouse is followed whether or not it is hot tracked.
    viewport()->setMouseTracking(true);
}

void FolderTreeView::setModel(QAbstractItemModel *model)
{
    for (const auto &connection : std::as_const(m_modelWatch))
        disconnect(connection);
    m_modelWatch.clear();
    QTreeView::setModel(model);
    if (auto *folders = qobject_cast<FolderModel *>(model))
        folders->SetCheckable(m_switches.checkBoxes);
    if (model) {
        // After the view's own handling of the change.
        m_modelWatch = {connect(model, &QAbstractItemModel::rowsInserted, this, &FolderTreeView::KeepAnchor),
                        connect(model, &QAbstractItemModel::rowsRemoved, this, &FolderTreeView::KeepAnchor),
                        connect(model, &QAbstractItemModel::layoutChanged, this, &FolderTreeView::KeepAnchor)};
    }
    FitColumnLater();
    LookLater();
}

QModelIndexList FolderTreeView::RowsInSight() const
{
    QModelIndexList rows;
    if (!model())
        return rows;
    const int x = qMax(0, header()->sectionViewportPosition(0)) + 1;
    const int height = viewport()->height();
    for (QModelIndex row = indexAt(QPoint(x, 0)); row.isValid(); row = indexBelow(row)) {
        if (visualRect(row).top() >= height)
            break;
        rows.append(row);
    }
    return rows;
}

void FolderTreeView::LookLater()
{
    if (std::exchange(m_lookPending, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_lookPending = false;
        if (isVisible())
            emit rowsInSight(RowsInSight());
    });
}

void FolderTreeView::showEvent(QShowEvent *event)
{
    QTreeView::showEvent(event);
    m_lookAgain->start();
    LookLater();
}

void FolderTreeView::hideEvent(QHideEvent *event)
{
    QTreeView::hideEvent(event);
    m_lookAgain->stop();
}

void FolderTreeView::SetAnchor(const QPoint &pos)
{
    m_anchorPos = pos;
    m_anchor = indexAt(pos);
    m_anchorTop = m_anchor.isValid() ? visualRect(m_anchor).top() : 0;
}

// Rows read in above the row under the mouse would push it away just as
// the operator clicks it: the view scrolls along so that it stays put.
// (While the current item is followed, that one is kept in sight instead.)
void FolderTreeView::KeepAnchor()
{
    if (!m_anchor.isValid() || m_follow)
        return;
    executeDelayedItemsLayout();
    const QRect now = visualRect(m_anchor);
    if (!now.isValid())
        return;
    if (now.top() != m_anchorTop)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + now.top() - m_anchorTop);
    m_anchorTop = visualRect(m_anchor).top();
}

// The name column is as wide as its widest shown item, so that long names
// scroll sideways instead of being cut; folders load a few at a time, so the
// fitting waits for the event loop and is done once per batch.
void FolderTreeView::FitColumnLater()
{
    if (m_fitPending)
        return;
    m_fitPending = true;
    QTimer::singleShot(0, this, [this] {
        m_fitPending = false;
        resizeColumnToContents(0);
        if (m_follow)
            FollowLater();
    });
}

void FolderTreeView::ShowCurrent(const QModelIndex &index)
{
    setCurrentIndex(index);
    m_follow = true;
    scrollTo(index);
    FollowLater();
}

// Rows read in above the current item push it down, a wider column moves
// it sideways: once the view has settled it is brought back into sight.
void FolderTreeView::FollowLater(bool once)
{
    m_followOnce = m_followOnce || once;
    if (m_followPending)
        return;
    m_followPending = true;
    QTimer::singleShot(0, this, [this] {
        m_followPending = false;
        if ((m_follow || std::exchange(m_followOnce, false)) && currentIndex().isValid())
            scrollTo(currentIndex());
    });
}

void FolderTreeView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QTreeView::scrollTo(index, hint);
    QRect cell = visualRect(index);
    if (!cell.isValid())
        return;
    // Qt leaves the last pixel row of an item at the bottom out of sight.
    if (hint == EnsureVisible && cell.bottom() >= viewport()->height() && cell.height() <= viewport()->height()) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() + cell.bottom() - viewport()->height() + 1);
        cell = visualRect(index);
    }
    // The name's end within reach: the column may not have been fitted yet.
    const int end = cell.left() + sizeHintForIndex(index).width();
    if (header()->sectionSize(0) < end + horizontalOffset())
        resizeColumnToContents(0);
    const int start = cell.left() - indentation();  // with its expand button
    const int width = viewport()->width();
    int shift = 0;
    if (end > width)
        shift = qMin(end - width, start);
    else if (start < 0)
        shift = start;
    if (shift != 0)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + shift);
}

void FolderTreeView::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    if (m_follow)
        FollowLater();
    LookLater();
}

// A key that moves the selection or the view ends the following; others
// (Return, a letter that matches nothing) leave it on.
void FolderTreeView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex before = currentIndex();
    const QPoint scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
    QTreeView::keyPressEvent(event);
    if (currentIndex() != before || QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()) != scrolled)
        m_follow = false;
}

void FolderTreeView::wheelEvent(QWheelEvent *event)
{
    m_follow = false;
    QTreeView::wheelEvent(event);
}

void FolderTreeView::doItemsLayout()
{
    QTreeView::doItemsLayout();
    FitColumnLater();
    LookLater();
}

void FolderTreeView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTreeView::rowsInserted(parent, start, end);
    FitColumnLater();
    if (m_follow)
        FollowLater();
    LookLater();
}

void FolderTreeView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    QTreeView::dataChanged(topLeft, bottomRight, roles);
    if (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::CheckStateRole))
        FitColumnLater();
    // The item's "+" may have come or gone: it lies left of the item's own
    // rectangle, which is all the view repaints.
    if (topLeft.isValid() && topLeft.parent() == bottomRight.parent()) {
        for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
            const QRect cell = visualRect(topLeft.siblingAtRow(row));
            if (cell.isValid())
                viewport()->update(QRect(0, cell.top(), viewport()->width(), cell.height()));
        }
    }
}

void FolderTreeView::SetSwitches(const Switches &switches)
{
    m_switches = switches;
    if (auto *folders = qobject_cast<FolderModel *>(model()))
        folders->SetCheckable(switches.checkBoxes);
    FitColumnLater();
    if (!switches.hotTracking)
        SetHot({});
    viewport()->update();
}

bool FolderTreeView::SelectionShown() const
{
    return !m_switches.hideSelection || hasFocus();
}

void FolderTreeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect cell = visualRect(index);
    const int left = header()->sectionViewportPosition(0);
    const QRect row(left, option.rect.y(), qMax(viewport()->width() - left, header()->sectionSize(0)),
                    option.rect.height());
    const bool shown = selectionModel() && selectionModel()->isSelected(index) && SelectionShown();
    if (shown && m_switches.fullRowSelect)
        painter->fillRect(row, palette().brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));

    drawBranches(painter, QRect(left, row.y(), cell.left() - left, row.height()), index);

    QStyleOptionViewItem item = option;
    item.rect = QRect(cell.left(), row.y(), cell.width(), row.height());
    item.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
    if (shown)
        item.state |= QStyle::State_Selected;
    if (m_switches.hotTracking && index == m_hot)
        item.state |= QStyle::State_MouseOver;
    itemDelegateForIndex(index)->paint(painter, item, index);
}

// Dotted lines (every other pixel, aligned across rows) from each item to its
// parent's line and down to its next sibling, and a boxed plus or minus on
// items that can open.
void FolderTreeView::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    const int step = indentation();
    const int midY = rect.top() + rect.height() / 2;
    int columnLeft = rect.right() + 1 - step;
    const int centreX = columnLeft + step / 2;

    if (m_switches.hasLines) {
        const QBrush dots(LineColor(palette()), Qt::Dense4Pattern);
        const bool firstTop = index.parent() == rootIndex() && index.row() == 0;
        if (!firstTop)
            painter->fillRect(QRect(centreX, rect.top(), 1, midY - rect.top()), dots);
        if (index.siblingAtRow(index.row() + 1).isValid())
            painter->fillRect(QRect(centreX, midY, 1, rect.bottom() + 1 - midY), dots);
        painter->fillRect(QRect(centreX, midY, columnLeft + step - centreX, 1), dots);
        for (QModelIndex ancestor = index.parent(); ancestor.isValid() && ancestor != rootIndex();
             ancestor = ancestor.parent()) {
            columnLeft -= step;
            if (ancestor.siblingAtRow(ancestor.row() + 1).isValid())
                painter->fillRect(QRect(columnLeft + step / 2, rect.top(), 1, rect.height()), dots);
        }
    }

    if (m_switches.hasButtons && model()->hasChildren(index)) {
        const QRect box(centreX - 4, midY - 4, 9, 9);
        painter->fillRect(box, palette().brush(QPalette::Base));
        painter->setPen(LineColor(palette()));
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        painter->setPen(palette().color(QPalette::Text));
        painter->drawLine(centreX - 2, midY, centreX + 2, midY);
        if (!isExpanded(index))
            painter->drawLine(centreX, midY - 2, centreX, midY + 2);
    }
}

bool FolderTreeView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        SetAnchor(static_cast<QMouseEvent *>(event)->position().toPoint());
        if (m_switches.hotTracking)
            SetHot(m_anchor);
        break;
    case QEvent::Leave:
        SetHot({});
        m_anchor = QPersistentModelIndex();
        break;
    case QEvent::Resize:  // a scroll bar came or went
        // A current item in sight keeps its whole name in sight, also when
        // a scroll bar that came would cover its end.
        if (m_follow || visualRect(currentIndex()).intersects(viewport()->rect()))
            FollowLater(!m_follow);
        break;
    default:
        break;
    }
    return QTreeView::viewportEvent(event);
}

void FolderTreeView::SetHot(const QModelIndex &index)
{
    if (index == m_hot)
        return;
    const auto rowRect = [this](const QModelIndex &i) {
        const QRect r = visualRect(i);
        return QRect(0, r.top(), viewport()->width(), r.height());
    };
    if (m_hot.isValid())
        viewport()->update(rowRect(m_hot));
    m_hot = index;
    if (m_hot.isValid())
        viewport()->update(rowRect(m_hot));
}

// Without buttons the indentation in front of an item is dead space, as on
// the platform's tree: no toggling there and no selection.
bool FolderTreeView::InIndent(const QPoint &pos) const
{
    const QModelIndex index = indexAt(pos);
    return index.isValid() && pos.x() < visualRect(index).left();
}

void FolderTreeView::mousePressEvent(QMouseEvent *event)
{
    m_follow = false;
    SetAnchor(event->position().toPoint());
    if (!m_switches.hasButtons && InIndent(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void FolderTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!m_switches.hasButtons && InIndent(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void FolderTreeView::focusInEvent(QFocusEvent *event)
{
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void FolderTreeView::focusOutEvent(QFocusEvent *event)
{
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

} // namespace kestova
