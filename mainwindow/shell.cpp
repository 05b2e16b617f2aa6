// The desktop's shell requests.
#include "shell.h"

#include <QDesktopServices>
#include <QProcess>

namespace kestova {

void SystemShell::StartProgram(const QString &program, const QString &argument)
{
    QProcess::startDetached(program, {argument});
}

void SystemShell::OpenUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

} // namespace kestova
