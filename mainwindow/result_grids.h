// The result grids mfgTotal and mfgDetail: a read-only model over rows the
// photo store hands out, the grid widget around it, and the operations the main
// window runs on them (ShowScanResults, FitGridColumns, MarkAlarmRows).
//
// A grid has one header row and shows every value as text. Unbound, or bound
// to an empty result, it shows one empty row under the header, so the grid
// never looks like a blank box.
//
// The model fetches lazily (255 rows at a time as the view scrolls), so
// binding 40,000 detail rows costs no more than binding 255.
// The alarm colours therefore cannot be painted onto rows up front: the
// model computes each row's colour the first time the view asks for it.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <QTableView>
#include <QVector>

#include <memory>

namespace kestova {

class PhotoStore;
class RowCursor;
struct Settings;

inline const QString TotalGridHeader = QStringLiteral("图片尺寸|数量|面积");
inline const QString DetailGridHeader = QStringLiteral("文件名|图片尺寸|水平分辨率|垂直分辨率|面积|统计结果");

// A colour written &HBBGGRR: blue in the high byte, red in the low one.
QColor ColorFromBgr(quint32 bgr);
inline constexpr quint32 FailedRowColor = 0x80FFFF;   // light yellow
inline constexpr quint32 LowDpiRowColor = 0xFF80FF;   // light magenta

// The grids' font: "宋体" 9 pt, which maps to an installed CJK serif face
// where SimSun itself is missing.
QFont GridFont();

class ResultGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ResultGridModel(QObject *parent = nullptr);
    ~ResultGridModel() override;

    // Shows the rows: the first block at once, the rest as the view asks.
    // Null rows (a statement the store rejected) show the empty grid.
    void SetRows(std::unique_ptr<RowCursor> rows);
    // Back to no rows; the store's statement is released.
    void Clear();

    // "|" separates the columns; the parts become the header row and their
    // number the column count.
    void SetHeaderText(const QString &headers);
    QStringList HeaderTexts() const { return m_headers; }

    // Columns holding single-precision values, shown with 7 digits.
    void SetSingleColumns(const QList<int> &columns) { m_singleColumns = columns; }

    // Marking colours for the detail grid, with the threshold in force when
    // the marks were made. Off for the totals grid.
    void SetAlarmMarking(bool on, qint16 alarmNum);
    bool AlarmMarking() const { return m_marking; }

    bool IsPlaceholderRow(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    enum Mark : qint8 { Unknown = -1, None = 0, Failed = 1, LowDpi = 2 };
    QString CellText(int row, int column) const;
    Mark RowMark(int row) const;

    std::unique_ptr<RowCursor> m_source;
    QList<QVariantList> m_rows; // fetched so far
    QStringList m_headers;
    QList<int> m_singleColumns;
    bool m_marking = false;
    qint16 m_alarmNum = 0;
    mutable QVector<qint8> m_marks; // grows with the rows the view has asked for
};

// The grid widget: a table view that owns its model and has no row header.
class ResultGrid : public QTableView
{
    Q_OBJECT
public:
    explicit ResultGrid(QWidget *parent = nullptr);
    ResultGridModel &Model() { return *m_model; }
    const ResultGridModel &Model() const { return *m_model; }

    // The cell text (data rows from 0).
    QString Text(int row, int column) const;
    // The same text as it is drawn in the column's present width: cut on
    // the left in the path column, so the file name stays; elsewhere cut on
    // the right with "…", so a number never turns into another number.
    QString ShownText(int row, int column) const;
    void SetPathColumn(int column) { m_pathColumn = column; }
    int PathColumn() const { return m_pathColumn; }
    // The narrowest width that shows the column's header whole, and the
    // values fetched so far (of a path, its file name).
    int MinimumColumnWidth(int column) const;
    // The text in column 0 of the current row, or "" when there is none.
    QString CurrentRowText(int column) const;

    // Shows the rows the store handed out; null rows (a statement the store
    // rejected) show the empty grid.
    void Bind(std::unique_ptr<RowCursor> rows);
    // Back to the header row and one empty row; the query is released.
    void Detach();

protected:
    bool viewportEvent(QEvent *event) override;

private:
    ResultGridModel *m_model;
    int m_pathColumn = -1;
};

// Shares the width of the grid's cells (without a vertical scroll bar's
// width) among the columns: equal widths where every header fits
// (GridColumnWidths). Runs again by itself whenever the cells' width
// changes, so a scroll bar that comes with many rows never brings a
// horizontal one with it.
void FitGridColumns(ResultGrid &grid);

// The outer width that shows every column of the grid whole beside a
// vertical scroll bar: the columns' minimums, the path column's at least
// pathBudget.
int GridNeeds(const ResultGrid &grid, int pathBudget = 0);

// The width a file name of FileNameChars characters takes in the path
// column ("…/" and the name), CJK characters being the widest usual ones.
inline constexpr int FileNameChars = 40;
int FileNameBudget(const ResultGrid &grid);

// Colours the detail grid's rows: "失败" rows light yellow, rows with a
// resolution below alarmNum light magenta, the whole row. Afterwards no cell
// is current.
void MarkAlarmRows(ResultGrid &grid, qint16 alarmNum);

// Binds the detail grid to SelectDetailGrid and the totals grid to
// SelectTotalGrid, sets both headers and column widths and marks the detail
// rows. False, with the store's message, when a statement was rejected; the
// grids then show whatever could be bound.
bool ShowScanResults(ResultGrid &total, ResultGrid &detail, PhotoStore &store, const Settings &settings,
                     QString *error);

} // namespace kestova
