// The preview that follows the detail grid's current row, whether the row
// was clicked or reached by the arrow keys, Page Up/Down or Home/End, and the
// status bar panel that names the previewed photo.
//
// Moving the cursor clears the box at once, so a photo never stays beside
// another row; the new row's photo is decoded once the cursor has rested for
// SettleMs (longer than a keyboard's auto-repeat interval), or at once when
// the key is let go, so a held arrow key walks through large photos without
// decoding each one it passes. A click shows its row at once.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;
class QModelIndex;

namespace kestova {

class PhotoBox;
class ResultGrid;
struct Settings;

class DetailPreview : public QObject
{
    Q_OBJECT
public:
    static constexpr int SettleMs = 45;

    DetailPreview(ResultGrid &grid, PhotoBox &box, QLabel &pathPanel, const Settings &settings,
                  QObject *parent = nullptr);

    // The grid's current row, shown now.
    void ShowCurrent();
    // Nothing previewed: an empty box and an empty panel.
    void Clear();
    // The shown photo again, fitted to the box's new size.
    void Refit();

    // The photo shown (or failed) in the box, "" when none.
    QString ShownPath() const { return m_shownPath; }
    bool Pending() const { return m_settle.isActive(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OnCurrentRowChanged(const QModelIndex &current);
    QString RowPath(int row) const;
    void Show(QString path); // by value: it may be m_pendingPath itself

    ResultGrid &m_grid;
    PhotoBox &m_box;
    QLabel &m_panel;
    const Settings &m_settings;
    QTimer m_settle;
    QString m_pendingPath;
    QString m_shownPath;
};

} // namespace kestova
