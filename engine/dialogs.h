// The Dialogs seam: every message box and open/save dialog goes through this
// interface, so that tests replace it with a recorder and the command-line
// tool with text on stderr. The widget implementation lives in mainwindow/.
#pragma once

#include <QString>

namespace kestova {

enum class MessageIcon { None, Information, Question, Warning, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct FileDialogRequest {
    QString title;
    QString filter;         // "文本文档(*.txt)"
    QString initialFolder;
    QString fileName;       // proposed name, may be empty
    QString defaultSuffix;  // without the dot
    bool confirmOverwrite = false;
};

class Dialogs
{
public:
    virtual ~Dialogs() = default;

    virtual MessageAnswer ShowMessage(const QString &text, const QString &title, MessageIcon icon,
                                      MessageButtons buttons) = 0;
    // The chosen file, or an empty string when the user cancelled.
    virtual QString GetOpenFileName(const FileDialogRequest &request) = 0;
    virtual QString GetSaveFileName(const FileDialogRequest &request) = 0;
};

} // namespace kestova
