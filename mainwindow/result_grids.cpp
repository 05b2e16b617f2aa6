// The result grids.
#include "result_grids.h"

#include "numbers.h"
#include "settings.h"
#include "store_statements.h"
#include "layout.h"

#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

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

ResultGridModel::ResultGridModel(QObject *parent)
    : QSqlQueryModel(parent)
{
}

void ResultGridModel::SetHeaderText(const QString &headers)
{
    const QStringList parts = headers.split(u'|');
    const int before = columnCount();
    // Columns come and go with the header string, as the column count of a
    // flex grid follows its FormatString.
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

void ResultGridModel::queryChange()
{
    m_marks.clear();
}

bool ResultGridModel::IsPlaceholderRow(int row) const
{
    return row == 0 && QSqlQueryModel::rowCount() == 0;
}

int ResultGridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    const int rows = QSqlQueryModel::rowCount();
    // Only a result that can bring no rows (none bound, or bound and empty)
    // shows the placeholder, so it never stands where fetched rows would
    // be inserted.
    return rows == 0 && (!query().isActive() || !QSqlQueryModel::canFetchMore()) ? 1 : rows;
}

int ResultGridModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_headers.isEmpty() ? QSqlQueryModel::columnCount() : int(m_headers.size());
}

QString ResultGridModel::CellText(int row, int column) const
{
    if (IsPlaceholderRow(row) || column >= record().count())
        return {};
    const QVariant value = QSqlQueryModel::data(QSqlQueryModel::index(row, column), Qt::DisplayRole);
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

ResultGrid::ResultGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new ResultGridModel(this))
{
    setModel(m_model);
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
    // Paths are long and columns equal: keep both ends of a cut text.
    setTextElideMode(Qt::ElideMiddle);
    // Without a frame the outer width is the cells' width, so equal columns
    // fill the grid instead of running a few pixels past it.
    setFrameShape(QFrame::NoFrame);
}

QString ResultGrid::Text(int row, int column) const
{
    return m_model->data(m_model->index(row, column)).toString();
}

QString ResultGrid::CurrentRowText(int column) const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return {};
    return Text(current.row(), column);
}

bool ResultGrid::Bind(const QString &statement, const QSqlDatabase &db, QString *error)
{
    m_model->setQuery(statement, db);
    if (m_model->lastError().isValid()) {
        if (error)
            *error = m_model->lastError().text();
        return false;
    }
    return true;
}

void ResultGrid::Detach()
{
    m_model->clear();
    m_model->SetAlarmMarking(false, 0);
}

void FitGridColumns(ResultGrid &grid)
{
    const int columns = grid.Model().columnCount();
    for (int c = 0; c < columns; ++c)
        grid.horizontalHeader()->resizeSection(c, FitColumnWidthPixels(grid.width(), columns));
}

void MarkAlarmRows(ResultGrid &grid, qint16 alarmNum)
{
    grid.Model().SetAlarmMarking(true, alarmNum);
    // The marking leaves no row selected and no cell current.
    grid.clearSelection();
    grid.setCurrentIndex(QModelIndex());
}

bool ShowScanResults(ResultGrid &total, ResultGrid &detail, const QSqlDatabase &db, const Settings &settings,
                     QString *error)
{
    QString detailError;
    QString totalError;
    const bool detailOk = detail.Bind(Statement::S6_SelectDetailGrid, db, &detailError);
    const bool totalOk = total.Bind(Statement::S7_SelectTotalGrid, db, &totalError);
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
