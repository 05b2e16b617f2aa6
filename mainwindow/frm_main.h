// frmMain, the main window "Kestova图片统计": toolbar, menus, status bar, the
// folder tree, the two result grids and the preview box, and the commands
// behind them. The window owns the photo store from the moment it is made
// and closes it when it unloads.
//
// Everything modal it shows (about box, settings dialog, scan window) goes
// through the FormRunner; messages and file dialogs through Dialogs; the
// editor and the browser through Shell.
#pragma once

#include "counted_folders.h"
#include "photo_store.h"

#include <QMainWindow>

#include <memory>

class QLabel;
class QPushButton;
class QStatusBar;
class QToolBar;
class QTimer;
class QToolButton;

namespace kestova {

class Dialogs;
class OrderBook;
class OrderBookSource;
class FormRunner;
class PhotoBox;
class ResultGrid;
class Shell;
class ucBrowse;
class DetailPreview;
class OrderPrinting;
class PrintTarget;
struct PrintInfo;
struct Settings;

// What the main window works with besides the store; all outlive it.
// orderBook is the order book of the store the window is given: the
// printing and the order book's windows reach it through the window.
struct MainWindowServices {
    Settings &settings;
    PrintInfo &printInfo;
    Dialogs &dialogs;
    Shell &shell;
    FormRunner &forms;
    PrintTarget &printTarget;
    OrderBookSource &orderBook;
};

// The customer name a folder path gives: its last folder name
// ("D:\Orders\Smith\" gives Smith, a drive root "C:\" gives C:).
QString MemberNameFromPath(const QString &path);

class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    frmMain(std::unique_ptr<PhotoStore> store, const MainWindowServices &services, QWidget *parent = nullptr);
    ~frmMain() override;

    // The commands, as the toolbar (by 1-based button position), the menus,
    // the refresh button and the folder tree run them.
    void ButtonClick(int position);
    void OnPathChange(const QString &path);
    void Count();
    void Export();
    void Print();
    void PrintPreview();
    void ShowSettings();
    void ShowPriceList();
    void ShowOrderBook();
    void ShowAbout();
    void Refresh();

    QString SelectedFolder() const { return m_selectedFolder; }
    const CountedFolders &Counted() const { return m_counted; }
    QString LastExportFile() const { return m_lastExportFile; }
    PhotoStore *Store() const { return m_store.get(); }

    ResultGrid *Total() const { return m_mfgTotal; }
    ResultGrid *Detail() const { return m_mfgDetail; }
    PhotoBox *Preview() const { return m_picView; }
    ucBrowse *FolderTree() const { return m_tree; }
    QToolButton *ToolbarButton(int position) const;
    // The photo the preview box shows (or failed to show), "" when none.
    QString PreviewedPath() const;
    // The status bar's panels, 1 to 5.
    QLabel *Panel(int number) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildMenus();
    void BuildToolbar(QWidget *client);
    void BuildStatusBar(QWidget *client);
    void LayOut();
    void SetTabOrder();
    OrderBook *Book();
    void OnDetailDoubleClick();
    void Unload();

    std::unique_ptr<PhotoStore> m_store;
    Settings &m_settings;
    PrintInfo &m_printInfo;
    Dialogs &m_dialogs;
    Shell &m_shell;
    FormRunner &m_forms;
    OrderBookSource &m_orderBook;
    std::unique_ptr<OrderPrinting> m_printing;

    QString m_selectedFolder;
    CountedFolders m_counted;
    QString m_lastExportFile;
    QString m_csvFolder; // where the order book's CSV files went last
    QString m_lastCounted; // the folder of the totals a count left in the store
    bool m_unloaded = false;

    QWidget *m_client = nullptr;
    QToolBar *m_toolbar = nullptr;
    QList<QToolButton *> m_buttons;
    QList<QAction *> m_actions; // the toolbar buttons' commands, in button order
    QWidget *m_picture1 = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QList<QLabel *> m_panels;
    QPushButton *m_cmdRefresh = nullptr;
    ucBrowse *m_tree = nullptr;
    ResultGrid *m_mfgTotal = nullptr;
    ResultGrid *m_mfgDetail = nullptr;
    PhotoBox *m_picView = nullptr;
    DetailPreview *m_preview = nullptr;
    QTimer *m_previewRefit = nullptr;
};

} // namespace kestova
