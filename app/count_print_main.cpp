// kestova-count-print: the commands of kestova-count that draw pages (order,
// reprint, daily --pdf/--print). kestova-count hands them to this program
// with their arguments, so that a count does not load fonts, Qt Widgets and
// the print system at start; output and exit status are the command's.
#include "console_dialogs.h"
#include "order_command.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

using namespace kestova;

int main(int argc, char *argv[])
{
    // Order pages need fonts, so this runs as a GUI application, on the
    // offscreen platform when there is no display.
    qInstallMessageHandler(DropQtNotices);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = CommandArguments(argc, argv);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    ConsoleDialogs dialogs;
    if (command == QLatin1String("order"))
        return RunOrderCommand(args, dialogs);
    if (command == QLatin1String("reprint"))
        return RunReprintCommand(args, dialogs);
    if (command == QLatin1String("daily"))
        return RunDailyPrintCommand(args, dialogs);
    std::fprintf(stderr, "%s\n", QStringLiteral("未知的命令：%1（请用 kestova-count）").arg(command).toUtf8().constData());
    return 2;
}
