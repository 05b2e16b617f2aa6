// Stand-ins for the main window's seams: a FormRunner that plays a script
// instead of a modal loop, and a Shell that records its requests.
#pragma once

#include "form_runner.h"
#include "frm_progress_bar.h"
#include "shell.h"

#include <QCoreApplication>
#include <QDialog>
#include <QStringList>
#include <QTest>

#include <functional>

namespace kestova::test {

// Each modal window is handed to the script registered under its object
// name ("frmConfig", "frmAbout", …). The scan window needs no script: it is
// shown without a modal loop, and its first showing starts the scan exactly
// as it does under exec().
class ScriptedForms : public FormRunner
{
public:
    using Script = std::function<int(QDialog &)>;

    int ShowModal(QDialog &dialog) override
    {
        shown.append(dialog.objectName());
        modal.append(dialog.isModal());
        if (auto *scan = qobject_cast<frmProgressBar *>(&dialog)) {
            scan->SetYieldInterval(scanYieldMs);
            if (beforeScan)
                beforeScan(*scan);
            scan->show();
            QCoreApplication::sendPostedEvents(scan, QEvent::MetaCall);
            // As the window system does when a modal window closes: the
            // window that opened it is active again.
            if (QWidget *owner = scan->parentWidget(); owner && owner->isVisible()) {
                owner->window()->activateWindow();
                (void)QTest::qWaitForWindowActive(owner->window()); // a window manager may refuse
            }
            return scan->result();
        }
        const auto it = scripts.find(dialog.objectName());
        return it == scripts.end() ? QDialog::Rejected : it->second(dialog);
    }

    std::map<QString, Script> scripts;
    std::function<void(frmProgressBar &)> beforeScan;
    int scanYieldMs = 25;
    QStringList shown;
    QList<bool> modal;
};

class RecordingShell : public Shell
{
public:
    struct Start {
        QString program;
        QString argument;
    };
    void StartProgram(const QString &program, const QString &argument) override { starts.append({program, argument}); }
    void OpenUrl(const QUrl &url) override { urls.append(url); }

    QList<Start> starts;
    QList<QUrl> urls;
};

} // namespace kestova::test
