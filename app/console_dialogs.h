// The Dialogs seam for the command-line tool: every message goes to stderr,
// questions are answered No and file dialogs are cancelled. Also the tool's
// arguments as text.
#pragma once

#include "dialogs.h"

#include <QStringList>

namespace kestova {

// The arguments after the program name. On Unix they are decoded as the
// scan decodes names on disk (a GBK folder name stays that folder), not
// with Qt's replacement characters.
QStringList CommandArguments(int argc, char **argv);

class ConsoleDialogs : public Dialogs
{
public:
    MessageAnswer ShowMessage(const QString &text, const QString &title, MessageIcon icon,
                              MessageButtons buttons) override;
    QString GetOpenFileName(const FileDialogRequest &) override { return {}; }
    QString GetSaveFileName(const FileDialogRequest &) override { return {}; }
};

} // namespace kestova
