// The result grids.
#include "result_grids.h"

#include "layout.h"
#include "numbers.h"
#include "photo_store.h"
#include "settings.h"

#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>

namespace kestova {

QColor ColorFromBgr(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QFont GridFont()
{
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                    QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
                                    QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(9);
    return font;
}

namespace {

// Rows fetched at a time, as the view scrolls.
constexpr int FetchBlock = 255;

} // namespace

ResultGridModel::ResultGridModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

ResultGridModel::~ResultGridModel() = default;

void ResultGridModel::SetRows(std::unique_ptr<RowCursor> rows)
{
    beginResetModel();
    m_source = std::move(rows);
    m_rows = m_source ? m_source->Next(FetchBlock) : QList<QVariantList>();
    m_marks.clear();
    endResetModel();
}

void ResultGridModel::Clear()
{
    beginResetModel();
    m_source.reset();
    m_rows.clear();
    m_marks.clear();
    endResetModel();
}

bool ResultGridModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_source && !m_source->AtEnd();
}

void ResultGridModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const QList<QVariantList> more = m_source->Next(FetchBlock);
    if (more.isEmpty()) {
        // The end, found only now: an empty result shows its placeholder.
        if (m_rows.isEmpty()) {
            beginResetModel();
            endResetModel();
        }
        return;
    }
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(more.size()) - 1);
    m_rows.append(more);
    endInsertRows();
}

void ResultGridModel::SetHeaderText(const QString &headers)
{
    const QStringList parts = headers.split(u'|');
    const int before = columnCount();
    // Columns come and go with the header string: one column per part.
    if (parts.size() != before) {
        beginResetModel();
        m_headers = parts;
        endResetModel();
    } else {
        m_headers = parts;
        emit headerDataChanged(Qt::Horizontal, 0, int(parts.size()) - 1);
    }
}

void ResultGridModel::SetAlarmMarking(bool on, qint16 alarmNum)
{
    m_marking = on;
    m_alarmNum = alarmNum;
    m_marks.clear();
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1), {Qt::BackgroundRole});
}

bool ResultGridModel::IsPlaceholderRow(int row) const
{
    return row == 0 && m_rows.isEmpty();
}

int ResultGridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    const int rows = int(m_rows.size());
    // Only a result that can bring no rows (none bound, or bound and empty)
    // shows the placeholder, so it never stands where fetched rows would
    // be inserted.
    return rows == 0 && !canFetchMore(QModelIndex()) ? 1 : rows;
}

int ResultGridModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    if (!m_headers.isEmpty())
        return int(m_headers.size());
    return m_source ? m_source->ColumnCount() : 0;
}

QString ResultGridModel::CellText(int row, int column) const
{
    if (IsPlaceholderRow(row) || row >= m_rows.size() || column >= m_rows[row].size())
        return {};
    const QVariant &value = m_rows[row][column];
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return m_singleColumns.contains(column) ? SingleText(float(value.toDouble())) : NumberText(value.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return value.toString();
    }
}

ResultGridModel::Mark ResultGridModel::RowMark(int row) const
{
    if (row >= m_marks.size())
        m_marks.resize(row + 1, Unknown);
    qint8 &mark = m_marks[row];
    if (mark != Unknown)
        return Mark(mark);

    mark = None;
    if (CellText(row, 5) == QStringLiteral("失败")) {
        mark = Failed;
    } else {
        // A cell that holds no number (the empty row) is never below the
        // threshold.
        double horizontal = 0;
        double vertical = 0;
        const bool lowH = ParseNumber(CellText(row, 2), &horizontal) && horizontal < m_alarmNum;
        const bool lowV = ParseNumber(CellText(row, 3), &vertical) && vertical < m_alarmNum;
        if (lowH || lowV)
            mark = LowDpi;
    }
    return Mark(mark);
}

QVariant ResultGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const QString text = CellText(index.row(), index.column());
        if (role == Qt::ToolTipRole && text.isEmpty())
            return {};
        return text;
    }
    case Qt::BackgroundRole:
        if (!m_marking)
            return {};
        switch (RowMark(index.row())) {
        case Failed: return ColorFromBgr(FailedRowColor);
        case LowDpi: return ColorFromBgr(LowDpiRowColor);
        default: return {};
        }
    default:
        return {};
    }
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section >= 0 && section < m_headers.size())
        return m_headers.at(section);
    return {};
}

Qt::ItemFlags ResultGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

namespace {

// Draws each cell with the text ShownText() gives, already cut to fit.
class ResultGridDelegate : public QStyledItemDelegate
{
public:
    explicit ResultGridDelegate(ResultGrid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = m_grid->ShownText(index.row(), index.column());
        option->textElideMode = Qt::ElideNone;
    }

private:
    ResultGrid *m_grid;
};

// The room for text in a cell of the given width: the style keeps a focus
// frame margin and one pixel on each side.
int CellTextRoom(const QWidget &grid, int columnWidth)
{
    const int margin = grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1;
    return columnWidth - 2 * margin;
}

} // namespace

ResultGrid::ResultGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new ResultGridModel(this))
{
    setModel(m_model);
    setItemDelegate(new ResultGridDelegate(this));
    const QFont font = GridFont();
    setFont(font);
    horizontalHeader()->setFont(font);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Tab leaves the grid for the next control instead of walking its cells.
    setTabKeyNavigation(false);
    // Without a frame the outer width is the cells' width, so equal columns
    // fill the grid instead of running a few pixels past it.
    setFrameShape(QFrame::NoFrame);
}

QString ResultGrid::Text(int row, int column) const
{
    return m_model->data(m_model->index(row, column)).toString();
}

QString ResultGrid::ShownText(int row, int column) const
{
    const QString text = Text(row, column);
    const QFontMetrics metrics(font());
    const Qt::TextElideMode mode = column == m_pathColumn ? Qt::ElideLeft : Qt::ElideRight;
    return metrics.elidedText(text, mode, CellTextRoom(*this, columnWidth(column)));
}

int ResultGrid::MinimumColumnWidth(int column) const
{
    const QHeaderView *header = horizontalHeader();
    const QString text = m_model->headerData(column, Qt::Horizontal).toString();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    // A little more than the text and its margins: header styles draw a
    // separator line and may pad beyond the margin.
    int width = QFontMetrics(header->font()).horizontalAdvance(text) + 2 * margin + 6;
    // Sizes, resolutions and areas are short, and of a path the file name
    // must show; the rows fetched so far (a few hundred at most) stand for
    // the rest.
    const QFontMetrics metrics(font());
    const int room = CellTextRoom(*this, 0);
    for (int row = 0; row < m_model->rowCount(); ++row) {
        QString text = Text(row, column);
        if (column == m_pathColumn) {
            const qsizetype cut = qMax(text.lastIndexOf(u'/'), text.lastIndexOf(u'\\'));
            text = QStringLiteral("…") + text.mid(cut);
        }
        width = qMax(width, metrics.horizontalAdvance(text) - room + 2);
    }
    return width;
}

bool ResultGrid::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        FitGridColumns(*this);
    return QTableView::viewportEvent(event);
}

QString ResultGrid::CurrentRowText(int column) const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return {};
    return Text(current.row(), column);
}

void ResultGrid::Bind(std::unique_ptr<RowCursor> rows)
{
    m_model->SetRows(std::move(rows));
}

void ResultGrid::Detach()
{
    m_model->Clear();
    m_model->SetAlarmMarking(false, 0);
}

void FitGridColumns(ResultGrid &grid)
{
    const int columns = grid.Model().columnCount();
    QList<int> minimums;
    for (int c = 0; c < columns; ++c)
        minimums.append(grid.MinimumColumnWidth(c));
    // The cells' width: the viewport's once the grid is laid out; before
    // that, the outer width less a vertical scroll bar when rows overflow.
    int width = grid.viewport()->width();
    if (!grid.isVisible()) {
        width = grid.width() - 2 * grid.frameWidth();
        const int rowsHeight = grid.verticalHeader()->length() + grid.horizontalHeader()->sizeHint().height();
        if (rowsHeight > grid.height() - 2 * grid.frameWidth())
            width -= grid.verticalScrollBar()->sizeHint().width();
    }
    const QList<int> widths = GridColumnWidths(width, minimums, grid.PathColumn());
    for (int c = 0; c < columns; ++c)
        grid.horizontalHeader()->resizeSection(c, widths[c]);
}

int GridNeeds(const ResultGrid &grid, int pathBudget)
{
    int width = grid.verticalScrollBar()->sizeHint().width() + 2 * grid.frameWidth();
    for (int c = 0; c < grid.Model().columnCount(); ++c) {
        const int minimum = grid.MinimumColumnWidth(c);
        width += c == grid.PathColumn() ? qMax(minimum, pathBudget) : minimum;
    }
    return width;
}

int FileNameBudget(const ResultGrid &grid)
{
    const QString name = QStringLiteral("…/") + QString(FileNameChars - 4, QChar(0x4E2D)) + QStringLiteral(".jpg");
    return QFontMetrics(grid.font()).horizontalAdvance(name) - CellTextRoom(grid, 0) + 2;
}

void MarkAlarmRows(ResultGrid &grid, qint16 alarmNum)
{
    grid.Model().SetAlarmMarking(true, alarmNum);
    // The marking leaves no row selected and no cell current.
    grid.clearSelection();
    grid.setCurrentIndex(QModelIndex());
}

bool ShowScanResults(ResultGrid &total, ResultGrid &detail, PhotoStore &store, const Settings &settings,
                     QString *error)
{
    QString detailError;
    QString totalError;
    std::unique_ptr<RowCursor> detailRows = store.ReadDetailGrid(&detailError);
    const bool detailOk = detailRows != nullptr;
    detail.Bind(std::move(detailRows));
    std::unique_ptr<RowCursor> totalRows = store.ReadTotalGrid(&totalError);
    const bool totalOk = totalRows != nullptr;
    total.Bind(std::move(totalRows));
    total.Model().SetHeaderText(TotalGridHeader);
    detail.Model().SetHeaderText(DetailGridHeader);
    FitGridColumns(total);
    FitGridColumns(detail);
    MarkAlarmRows(detail, settings.AlarmNum);
    if (error)
        *error = !detailOk ? detailError : totalError;
    return detailOk && totalOk;
}

} // namespace kestova
