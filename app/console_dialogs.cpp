// Messages on stderr.
#include "console_dialogs.h"

#include <cstdio>

namespace kestova {

MessageAnswer ConsoleDialogs::ShowMessage(const QString &text, const QString &, MessageIcon, MessageButtons buttons)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

} // namespace kestova
