// Messages on stderr, and the arguments.
#include "console_dialogs.h"

#include "path_codec.h"

#include <QCoreApplication>

#include <cstdio>

namespace kestova {

MessageAnswer ConsoleDialogs::ShowMessage(const QString &text, const QString &, MessageIcon, MessageButtons buttons)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

void DropQtNotices(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

QStringList CommandArguments(int argc, char **argv)
{
#ifdef Q_OS_UNIX
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << DecodePath(QByteArray(argv[i]));
    return args;
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return QCoreApplication::arguments().mid(1);
#endif
}

} // namespace kestova
