// The preview that follows the detail grid's cursor.
#include "detail_preview.h"

#include "photo_preview.h"
#include "result_grids.h"
#include "settings.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>

namespace kestova {

DetailPreview::DetailPreview(ResultGrid &grid, PhotoBox &box, QLabel &pathPanel, const Settings &settings,
                             QObject *parent)
    : QObject(parent)
    , m_grid(grid)
    , m_box(box)
    , m_panel(pathPanel)
    , m_settings(settings)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { Show(m_pendingPath); });
    connect(grid.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { OnCurrentRowChanged(current); });
    connect(&grid, &QAbstractItemView::clicked, this, &DetailPreview::ShowCurrent);
    grid.installEventFilter(this);
}

bool DetailPreview::eventFilter(QObject *watched, QEvent *event)
{
    // A held key sends auto-repeated presses (and, on some systems,
    // releases); the key let go is the one release that is not repeated.
    if (watched == &m_grid && event->type() == QEvent::KeyRelease && m_settle.isActive()
        && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
        Show(m_pendingPath);
    return QObject::eventFilter(watched, event);
}

QString DetailPreview::RowPath(int row) const
{
    if (row < 0 || m_grid.Model().IsPlaceholderRow(row))
        return {};
    return m_grid.Text(row, 0).trimmed().isEmpty() ? QString() : m_grid.Text(row, 0);
}

void DetailPreview::OnCurrentRowChanged(const QModelIndex &current)
{
    const QString path = current.isValid() ? RowPath(current.row()) : QString();
    if (path.isEmpty()) {
        Clear();
        return;
    }
    // The old photo goes at once; the panel names the row under the cursor.
    m_box.ClearPicture();
    m_shownPath.clear();
    m_panel.setText(path);
    m_pendingPath = path;
    m_settle.start();
}

void DetailPreview::ShowCurrent()
{
    const QModelIndex current = m_grid.currentIndex();
    const QString path = current.isValid() ? RowPath(current.row()) : QString();
    if (!path.isEmpty())
        Show(path);
}

void DetailPreview::Clear()
{
    m_settle.stop();
    m_pendingPath.clear();
    m_shownPath.clear();
    m_box.ClearPicture();
    m_panel.clear();
}

void DetailPreview::Refit()
{
    if (!m_shownPath.isEmpty() && !m_settle.isActive())
        Show(m_shownPath);
}

void DetailPreview::Show(QString path)
{
    m_settle.stop();
    m_pendingPath.clear();
    m_panel.setText(path);
    m_shownPath = path;
    if (!m_settings.Preview) {
        m_box.ClearPicture();
        return;
    }
    const QSize inner = m_box.InnerSize();
    const FittedPhoto photo = DecodeFitted(path, inner.width(), inner.height());
    if (photo.ok)
        m_box.SetPicture(photo.visible, photo.target, photo.visibleTopLeft);
    else
        m_box.SetMessage(QStringLiteral("无法预览\n") + photo.reason);
}

} // namespace kestova
