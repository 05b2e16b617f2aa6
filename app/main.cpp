// The program's entry point: settings, store, then the windows.
#include "start_up.h"
#include "widget_dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Kestova图片统计"));

    kestova::WidgetDialogs dialogs;
    kestova::StartUpState state = kestova::StartUp(dialogs);
    if (!state.store)
        return 1;
    return 0;
}
