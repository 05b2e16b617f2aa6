// The printer chooser of the preview.
#include "queue_chooser.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

namespace kestova {

QueueChooser::QueueChooser(const QStringList &queues, const QString &defaultQueue, QWidget *parent)
    : QDialog(parent)
    , m_queues(new QComboBox(this))
    , m_copies(new QSpinBox(this))
{
    setWindowTitle(QStringLiteral("打印"));
    m_queues->addItems(queues);
    m_queues->setCurrentIndex(std::max(0, static_cast<int>(queues.indexOf(defaultQueue))));
    m_copies->setRange(1, 99);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("打印"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("打印机(&P)："), m_queues);
    form->addRow(QStringLiteral("份数(&C)："), m_copies);
    form->addRow(buttons);
}

QString QueueChooser::queue() const
{
    return m_queues->currentText();
}

int QueueChooser::copies() const
{
    return m_copies->value();
}

} // namespace kestova
