// The scan window.
#include "frm_progress_bar.h"

#include "layout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kestova {

frmProgressBar::frmProgressBar(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                               QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
    , m_folder(folder)
    , m_settings(settings)
    , m_store(store)
    , m_dialogs(dialogs)
    , m_bar(new QProgressBar(this))
{
    setObjectName(QStringLiteral("frmProgressBar"));
    setWindowTitle(QStringLiteral("[ESC键中断] 正在处理，请稍候..."));
    setModal(true);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(m_bar);
    setFixedSize(TwipsToPixels(6000), TwipsToPixels(900));
}

frmProgressBar::~frmProgressBar()
{
    qApp->removeEventFilter(this);
}

void frmProgressBar::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        // After the window has been shown: the scan starts from the event
        // loop, so the window paints before the first file.
        QMetaObject::invokeMethod(this, &frmProgressBar::RunScan, Qt::QueuedConnection);
    }
}

void frmProgressBar::closeEvent(QCloseEvent *event)
{
    // The window closes itself when the scan is over, not before.
    if (m_scanning)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

bool frmProgressBar::eventFilter(QObject *watched, QEvent *event)
{
    if (m_scanning && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        m_stop = true;
        return true; // not to the dialog, whose Escape would close it mid-scan
    }
    return QDialog::eventFilter(watched, event);
}

void frmProgressBar::RunScan()
{
    m_scanning = true;
    m_stop = false;
    m_sinceYield.start();
    qApp->installEventFilter(this);
    m_end = ScanFolder(m_folder, m_settings, m_store, m_dialogs, this, &m_report);
    qApp->removeEventFilter(this);
    m_scanning = false;
    m_scanned = true;
    accept();
}

bool frmProgressBar::Listing(int found)
{
    Q_UNUSED(found);
    if (m_bar->maximum() != 0)
        m_bar->setRange(0, 0); // busy until the number of files is known
    if (m_sinceYield.elapsed() >= m_yieldIntervalMs)
        Yield();
    return m_stop;
}

bool frmProgressBar::Waiting(int done)
{
    m_bar->setValue(done);
    Yield();
    return m_stop;
}

void frmProgressBar::FilesListed(int count)
{
    m_found = count;
    emit FileCount(count);
    m_bar->setRange(0, qMax(count, 1));
    m_bar->setValue(0);
    Yield();
}

bool frmProgressBar::FileDone(int done)
{
    m_done = done;
    // The last file shows a full bar while the totals are worked out.
    if (m_sinceYield.elapsed() >= m_yieldIntervalMs || done == m_found) {
        m_bar->setValue(done);
        Yield();
    }
    return m_stop;
}

void frmProgressBar::Yield()
{
    QCoreApplication::processEvents();
    m_sinceYield.start();
}

} // namespace kestova
