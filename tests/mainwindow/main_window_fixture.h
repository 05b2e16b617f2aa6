// A main window on a sandboxed program folder and store, with recording
// seams, and the operator's gestures on it: pick a folder, press a toolbar
// button, click and double-click a detail row.
#pragma once

#include "fakes.h"
#include "frm_main.h"
#include "order_book_source.h"
#include "photo_preview.h"
#include "photo_store.h"
#include "print_info.h"
#include "print_target.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "result_grids.h"
#include "sandbox.h"
#include "settings.h"
#include "uc_browse.h"

#include <QLabel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace kestova::test {

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sandbox.createStore();
        OpenWindow();
    }

    void OpenWindow()
    {
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        window.reset(); // it holds the order book and the target it was given
        printTarget = std::make_unique<PdfPrintTarget>(sandbox.path(QStringLiteral("order.pdf")));
        orderBook = std::make_unique<OrderBookSource>(*store, settings);
        const MainWindowServices services{settings, printInfo, dialogs, shell, forms, *printTarget, *orderBook};
        window = std::make_unique<frmMain>(std::move(store), services);
        window->resize(1200, 800);
        window->show();
    }

    // The standard order folder: two 300 dpi photos (landscape and
    // portrait), one at 72 dpi, one at exactly 150 dpi in a sub-folder, and
    // a text file.
    QString MakeOrderFolder(const QString &name = QStringLiteral("orders/Smith"))
    {
        sandbox.writeFile(name + QStringLiteral("/a.jpg"), JpegBytes(1800, 1200, 300));
        sandbox.writeFile(name + QStringLiteral("/b.jpg"), JpegBytes(1200, 1800, 300));
        sandbox.writeFile(name + QStringLiteral("/low.jpg"), JpegBytes(1000, 700, 72));
        sandbox.writeFile(name + QStringLiteral("/notes.txt"), "not a picture");
        sandbox.writeFile(name + QStringLiteral("/sub/c.jpg"), JpegBytes(1800, 1200, 150));
        return Folder(name);
    }

    // A folder path as the folder tree reports it.
    QString Folder(const QString &relative) const { return sandbox.path(relative) + u'/'; }

    void SelectFolder(const QString &path)
    {
        // Exactly what the tree does when its selection changes.
        emit window->FolderTree()->PathChange(path);
    }

    void PressToolbar(int position) { QTest::mouseClick(window->ToolbarButton(position), Qt::LeftButton); }

    QPoint RowCentre(int row) const
    {
        ResultGrid *grid = window->Detail();
        return grid->visualRect(grid->model()->index(row, 0)).center();
    }
    void ClickDetailRow(int row) { QTest::mouseClick(window->Detail()->viewport(), Qt::LeftButton, {}, RowCentre(row)); }
    // What the mouse sends for a double-click: press, release, double-click,
    // release.
    void DoubleClickDetailRow(int row)
    {
        QWidget *viewport = window->Detail()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCentre(row));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, RowCentre(row));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, RowCentre(row));
    }

    // Another connection makes the store refuse every detail row from now
    // on, as a full or damaged store would.
    void RefuseDetailInserts()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("saboteur"));
            db.setDatabaseName(DataMdbPath());
            ASSERT_TRUE(db.open());
            ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral(
                "CREATE TRIGGER Refuse BEFORE INSERT ON PhotoDetail BEGIN SELECT RAISE(ABORT, 'refused'); END")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("saboteur"));
    }

    QString PanelText(int number) const { return window->Panel(number)->text(); }

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const RecordedMessage &m : dialogs.messages)
            texts << m.text;
        return texts;
    }

    QList<QStringList> Rows(const ResultGrid &grid) const
    {
        QList<QStringList> rows;
        for (int r = 0; r < grid.model()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid.model()->columnCount(); ++c)
                cells << grid.Text(r, c);
            rows << cells;
        }
        return rows;
    }

    QColor RowColour(const ResultGrid &grid, int row, int column = 0) const
    {
        return grid.model()->index(row, column).data(Qt::BackgroundRole).value<QColor>();
    }

    Sandbox sandbox;
    Settings settings;
    PrintInfo printInfo;
    RecordingDialogs dialogs;
    RecordingShell shell;
    ScriptedForms forms;
    std::unique_ptr<PdfPrintTarget> printTarget;
    std::unique_ptr<OrderBookSource> orderBook;
    std::unique_ptr<frmMain> window;
};

} // namespace kestova::test
