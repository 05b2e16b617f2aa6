// The Dialogs seam for the command-line tool: every message goes to stderr,
// questions are answered No and file dialogs are cancelled. Also the tool's
// arguments as text, and its handler of Qt's own messages.
#pragma once

#include "dialogs.h"

#include <QStringList>

namespace kestova {

// The arguments after the program name. On Unix they are decoded as the
// scan decodes names on disk (a GBK folder name stays that folder), not
// with Qt's replacement characters.
QStringList CommandArguments(int argc, char **argv);

// For qInstallMessageHandler: Qt's own notices (an image handler's complaint
// about a damaged file, no runtime folder, a painter that could not begin)
// are not the tool's messages, so a script reading stderr sees only those; a
// fatal one still says why the tool stopped.
void DropQtNotices(QtMsgType type, const QMessageLogContext &context, const QString &message);

class ConsoleDialogs : public Dialogs
{
public:
    MessageAnswer ShowMessage(const QString &text, const QString &title, MessageIcon icon,
                              MessageButtons buttons) override;
    QString GetOpenFileName(const FileDialogRequest &) override { return {}; }
    QString GetSaveFileName(const FileDialogRequest &) override { return {}; }
};

} // namespace kestova
