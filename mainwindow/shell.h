// The Shell seam: starting another program and opening a web address, the
// two things the main window asks of the desktop. Tests replace it with a
// recorder; nothing here reports a failure to the operator.
#pragma once

#include <QString>
#include <QUrl>

namespace kestova {

class Shell
{
public:
    virtual ~Shell() = default;
    // Starts program with argument as its one command-line argument, however
    // many blanks it holds. The result is not reported.
    virtual void StartProgram(const QString &program, const QString &argument) = 0;
    // Opens the address in the default browser.
    virtual void OpenUrl(const QUrl &url) = 0;
};

// The desktop's own: a detached process (on Unix started with the argument's
// bytes as they are on disk) and QDesktopServices.
class SystemShell : public Shell
{
public:
    void StartProgram(const QString &program, const QString &argument) override;
    void OpenUrl(const QUrl &url) override;
};

} // namespace kestova
