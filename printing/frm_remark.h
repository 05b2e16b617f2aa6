// frmRemark "打印信息": asks for the customer name and a remark before an
// order is printed, and carries the note number it issued at load, the first
// service name and an empty append text into PrintInfo unseen. It is loaded
// once per run and afterwards only hidden and shown again.
#pragma once

#include "print_info.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestova {

class OrderBookSource;
struct Settings;

// What the load takes from the order book: a newly issued note number, then
// the service names. The first failure ends the load, leaving what follows
// it empty and its reason in `error`.
struct RemarkSources {
    QString noteNumber;
    QStringList serviceNames;
    QString error;
};
RemarkSources LoadRemarkSources(OrderBookSource &source);

class frmRemark : public QDialog
{
    Q_OBJECT
public:
    // Loads the dialog: this issues a note number.
    frmRemark(OrderBookSource &source, const Settings &settings, PrintInfo &info, QWidget *parent = nullptr);

    // A load that got no note number (the shared order book did not
    // answer), or got it from another order book than the one now set, is
    // made again by LoadAgain; false with *error the reason.
    bool HasNoteNumber() const;
    bool NumberFromElsewhere() const;
    bool LoadAgain(QString *error);

    // Shows the dialog modally; returns the result text, "1" after OK and
    // "0" otherwise.
    QString Show();
    QString result() const { return m_result; }

    QLineEdit *txtMemberName;
    QPlainTextEdit *txtRemark;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    // Beyond the right edge of the client area:
    QLineEdit *txtNoteNumber;
    QComboBox *cbServiceName;
    // The order's amount for the chosen service, told before printing.
    QLabel *lblAmount;
    QPlainTextEdit *txtAppend;

public slots:
    // The close box and Escape end the dialog like Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    RemarkSources Load();
    void ShowAmount();
    void cmdOK_Click();
    void cmdCancel_Click();
    void txtRemark_Change();

    OrderBookSource &m_source;
    const Settings &m_settings;
    PrintInfo &m_info;
    QString m_result = QStringLiteral("0");
    QString m_numberPlace; // the order book that issued the number
    // The remark as it last fitted the printed field.
    QString m_fittingRemark;
};

} // namespace kestova
