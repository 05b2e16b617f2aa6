// frmProgressBar, the scan window "[ESC键中断] 正在处理，请稍候...": a modal
// window with one progress bar that runs ScanFolder when it is first shown
// and closes itself when the scan returns, however it ended.
//
// The scan runs on the user-interface thread. While it runs, the window lets
// the event loop run at least ten times a second (not after every file,
// which would cost more than the measuring), so every window of the program
// keeps repainting: also while the folders are listed (the bar then runs as
// a busy bar) and while the next file is awaited from a slow share. Escape
// pressed in any window stops the scan at the next turn of the event loop,
// without waiting for files still being read; an application-wide event
// filter catches the key before any window could act on it.
#pragma once

#include "folder_scan.h"

#include <QDialog>
#include <QElapsedTimer>

class QProgressBar;

namespace kestova {

class Dialogs;
class PhotoStore;
struct Settings;

class frmProgressBar : public QDialog, private ScanObserver
{
    Q_OBJECT
public:
    frmProgressBar(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                   QWidget *parent = nullptr);
    ~frmProgressBar() override;

    // How long the scan may run between two turns of the event loop.
    void SetYieldInterval(int milliseconds) { m_yieldIntervalMs = milliseconds; }

    bool Scanned() const { return m_scanned; }
    ScanEnd End() const { return m_end; }
    // Files measured before the scan ended, and files found.
    int Done() const { return m_done; }
    int Found() const { return m_found; }
    // Entries that could not be read, and the message of a folder gone.
    const ScanReport &Report() const { return m_report; }
    QProgressBar *Bar() const { return m_bar; }

signals:
    // The number of files found, before the first is measured.
    void FileCount(int count);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void RunScan();
    bool Listing(int found) override;
    void FilesListed(int count) override;
    bool Waiting(int done) override;
    bool FileDone(int done) override;
    void Yield();

    QString m_folder;
    const Settings &m_settings;
    PhotoStore &m_store;
    Dialogs &m_dialogs;
    QProgressBar *m_bar;
    QElapsedTimer m_sinceYield;
    int m_yieldIntervalMs = 25;
    bool m_started = false;
    bool m_scanning = false;
    bool m_scanned = false;
    bool m_stop = false;
    ScanEnd m_end = ScanEnd::NoFiles;
    ScanReport m_report;
    int m_done = 0;
    int m_found = 0;
};

} // namespace kestova
