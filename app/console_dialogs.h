// The Dialogs seam for the command-line tool: every message goes to stderr,
// questions are answered No and file dialogs are cancelled.
#pragma once

#include "dialogs.h"

namespace kestova {

class ConsoleDialogs : public Dialogs
{
public:
    MessageAnswer ShowMessage(const QString &text, const QString &title, MessageIcon icon,
                              MessageButtons buttons) override;
    QString GetOpenFileName(const FileDialogRequest &) override { return {}; }
    QString GetSaveFileName(const FileDialogRequest &) override { return {}; }
};

} // namespace kestova
