// The Dialogs seam on real widgets.
#include "widget_dialogs.h"

#include "qt_translations.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

namespace kestova {

namespace {

QMessageBox::Icon ToIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QFileDialog *MakeFileDialog(QWidget *owner, const FileDialogRequest &request)
{
    auto *dialog = new QFileDialog(owner, request.title, request.initialFolder, request.filter);
    if (!request.fileName.isEmpty())
        dialog->selectFile(request.fileName);
    dialog->setDefaultSuffix(request.defaultSuffix);
    UseChineseFileColumns(*dialog);
    return dialog;
}

} // namespace

MessageAnswer WidgetDialogs::ShowMessage(const QString &text, const QString &title, MessageIcon icon,
                                         MessageButtons buttons)
{
    // A message without a title carries the application's name.
    QMessageBox box(ToIcon(icon), title.isEmpty() ? QApplication::applicationDisplayName() : title, text,
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, m_owner);
    // Wide enough for the title bar to show the whole title beside its
    // buttons: a short message would otherwise cut it to "K…计".
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    // A message that comes while the program waits (a wait cursor is set)
    // gets the normal cursor; the wait cursor comes back after it.
    int waits = 0;
    for (; QApplication::overrideCursor() && waits < 8; ++waits)
        QApplication::restoreOverrideCursor();
    const int answer = box.exec();
    for (; waits > 0; --waits)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

QString WidgetDialogs::GetOpenFileName(const FileDialogRequest &request)
{
    std::unique_ptr<QFileDialog> dialog(MakeFileDialog(m_owner, request));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().constFirst();
}

QString WidgetDialogs::GetSaveFileName(const FileDialogRequest &request)
{
    std::unique_ptr<QFileDialog> dialog(MakeFileDialog(m_owner, request));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().constFirst();
}

} // namespace kestova
