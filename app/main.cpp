// The program's entry point: settings and store (steps 1 to 3), then the
// about box and the main window.
#include "form_runner.h"
#include "frm_about.h"
#include "frm_main.h"
#include "order_book_source.h"
#include "order_printing.h"
#include "print_info.h"
#include "program_title.h"
#include "qt_image_readers.h"
#include "qt_translations.h"
#include "shell.h"
#include "start_up.h"
#include "toolbar_icons.h"
#include "widget_dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kestova::UseProgramLocale();
    kestova::InstallQtImageReaders(&kestova::LinkedQtImageReaders());
    // The name, not the display name: a display name would be appended to
    // every window caption. Messages without a title of their own carry it.
    QCoreApplication::setApplicationName(kestova::ProgramTitle);
    QApplication::setWindowIcon(kestova::ProgramIcon());
    kestova::InstallQtTranslations();

    kestova::WidgetDialogs dialogs;
    kestova::StartUpState state = kestova::StartUp(dialogs);
    if (!state.store)
        return 1;

    kestova::SystemShell shell;
    kestova::ExecFormRunner forms;
    kestova::PrintInfo printInfo;

    // 4. The about box, modally; start-up waits until it is closed.
    {
        kestova::frmAbout about(shell);
        forms.ShowModal(about);
    }

    // 5. The main window; the program runs until it is closed. The order
    // book (in the store or on a server) is the run's one, made here and
    // handed down to the window, its printing and its order book windows.
    const std::unique_ptr<kestova::PrintTarget> printTarget = kestova::MakeSystemPrintTarget();
    kestova::OrderBookSource orderBook(*state.store, state.settings);
    const kestova::MainWindowServices services{state.settings, printInfo, dialogs, shell, forms, *printTarget,
                                               orderBook};
    kestova::frmMain window(std::move(state.store), services);
    dialogs.setOwner(&window);
    window.showMaximized();
    return app.exec();
}
