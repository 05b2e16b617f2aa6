// The Dialogs seam on real widgets: QMessageBox and QFileDialog.
#pragma once

#include "dialogs.h"

class QWidget;

namespace kestova {

class WidgetDialogs : public Dialogs
{
public:
    explicit WidgetDialogs(QWidget *owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget *owner) { m_owner = owner; }

    MessageAnswer ShowMessage(const QString &text, const QString &title, MessageIcon icon,
                              MessageButtons buttons) override;
    QString GetOpenFileName(const FileDialogRequest &request) override;
    QString GetSaveFileName(const FileDialogRequest &request) override;

private:
    QWidget *m_owner;
};

} // namespace kestova
