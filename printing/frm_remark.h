// frmRemark "打印信息": asks for the customer name, a remark and the service
// before an order is printed, shows which count the order is made of and
// its amount, and carries an empty append text into PrintInfo unseen. It is
// loaded once per run and afterwards only hidden and shown again; its texts
// stay for the next try of the same order and are cleared for a new one.
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

// What the load takes from the order book: the service names, or the
// reason they could not be read in `error`.
struct RemarkSources {
    QStringList serviceNames;
    QString error;
};
RemarkSources LoadRemarkSources(OrderBookSource &source);

class frmRemark : public QDialog
{
    Q_OBJECT
public:
    // Loads the dialog with the service list.
    frmRemark(OrderBookSource &source, const Settings &settings, PrintInfo &info, QWidget *parent = nullptr);

    // A load that got no service list (the shared order book did not
    // answer), or got it from another order book than the one now set, is
    // made again by LoadAgain; false with *error the reason.
    bool NeedsLoading() const;
    bool LoadAgain(QString *error);

    // The next order is another customer's: the name (unless it comes from
    // the folder), the remark and the append text start empty.
    void StartNewOrder();

    // Shows the dialog modally; returns the result text, "1" after OK and
    // "0" otherwise.
    QString Show();
    QString result() const { return m_result; }

    QLineEdit *txtMemberName;
    QPlainTextEdit *txtRemark;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QComboBox *cbServiceName;
    // The folder and time of the count the order is made of.
    QLabel *lblCounted;
    // The order's amount for the chosen service, told before printing.
    QLabel *lblAmount;
    // Beyond the right edge of the client area:
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
    QString m_servicesPlace; // the order book the service list came from
    bool m_servicesLoaded = false;
    // The remark as it last fitted the printed field.
    QString m_fittingRemark;
};

} // namespace kestova
