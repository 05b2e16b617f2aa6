// The desktop's shell requests.
#include "shell.h"

#include <QDesktopServices>

#ifdef Q_OS_UNIX
#include "path_codec.h"

#include <cerrno>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#else
#include <QProcess>
#endif

namespace kestova {

#ifdef Q_OS_UNIX
namespace {

bool IsExecutableFile(const QByteArray &path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.constData(), X_OK) == 0;
}

// The file to run: the program itself when it names a path, otherwise the
// first executable of that name along PATH.
QByteArray ProgramFile(const QByteArray &program)
{
    if (program.contains('/'))
        return program;
    for (const QByteArray &folder : qgetenv("PATH").split(':')) {
        const QByteArray candidate = (folder.isEmpty() ? QByteArray(".") : folder) + '/' + program;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace

// QProcess would pass the argument on as UTF-8, which does not name a file
// whose name on disk is GBK; the program gets the bytes the path codec finds
// on disk instead. Detached as QProcess::startDetached does it: a first
// child starts the program and ends at once, so the program is never left
// behind as this process's zombie. Everything the children need is prepared
// before the fork.
void SystemShell::StartProgram(const QString &program, const QString &argument)
{
    QByteArray name = EncodePath(program);
    const QByteArray file = ProgramFile(name);
    if (file.isEmpty())
        return;
    QByteArray bytes = EncodePath(argument);
    char *const argv[] = {name.data(), bytes.data(), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::execve(file.constData(), argv, environ);
            ::_exit(127);
        }
        ::_exit(0);
    }
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}
#else
void SystemShell::StartProgram(const QString &program, const QString &argument)
{
    QProcess::startDetached(program, {argument});
}
#endif

void SystemShell::OpenUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

} // namespace kestova
