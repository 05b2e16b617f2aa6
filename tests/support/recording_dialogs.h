// A Dialogs that records every request and answers from a script.
#pragma once

#include "dialogs.h"

#include <QList>
#include <QStringList>

namespace kestova::test {

struct RecordedMessage {
    QString text;
    QString title;
    MessageIcon icon;
    MessageButtons buttons;
};

class RecordingDialogs : public Dialogs
{
public:
    MessageAnswer ShowMessage(const QString &text, const QString &title, MessageIcon icon,
                              MessageButtons buttons) override
    {
        messages.append({text, title, icon, buttons});
        if (buttons == MessageButtons::Ok)
            return MessageAnswer::Ok;
        return answers.isEmpty() ? MessageAnswer::No : answers.takeFirst();
    }
    QString GetOpenFileName(const FileDialogRequest &request) override
    {
        fileRequests.append(request);
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString GetSaveFileName(const FileDialogRequest &request) override
    {
        fileRequests.append(request);
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }

    QList<RecordedMessage> messages;
    QList<MessageAnswer> answers;  // for Yes/No questions, in order
    QList<FileDialogRequest> fileRequests;
    QStringList openAnswers;
    QStringList saveAnswers;
};

} // namespace kestova::test
