// The printer and the number of copies for a print started from the
// preview: the queues as the print system listed them (within its time
// limit), the default chosen at first.
#pragma once

#include <QDialog>

class QComboBox;
class QSpinBox;

namespace kestova {

class QueueChooser : public QDialog
{
    Q_OBJECT
public:
    QueueChooser(const QStringList &queues, const QString &defaultQueue, QWidget *parent = nullptr);

    QString queue() const;
    int copies() const;

private:
    QComboBox *m_queues;
    QSpinBox *m_copies;
};

} // namespace kestova
