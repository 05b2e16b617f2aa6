// frmRemark "打印信息": asks for the customer name, a remark and the service
// before an order is printed, and shows which count the order is made of
// and its amount, as its owner tells them: it reads no totals and takes no
// number. It is loaded once per run and afterwards only hidden and shown
// again; its texts stay for the next try of the same order and are cleared
// for a new one.
#pragma once

#include "print_info.h"
#include "print_job.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

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

// What the dialog shows of the order, asked each time it is shown: the
// count the order is made of (none before a first count), and the amount
// for a service, asked again whenever the service changes.
struct OrderFacts {
    std::function<std::optional<CountRecord>()> count;
    std::function<OrderAmount(const QString &service)> amount;
};

class frmRemark : public QDialog
{
    Q_OBJECT
public:
    // Loads the dialog with the service list of the order book.
    frmRemark(OrderBookSource &source, const Settings &settings, OrderFacts facts, QWidget *parent = nullptr);

    // A load that got no service list (the shared order book did not
    // answer), or got it from another order book than the one now set, is
    // made again by LoadAgain; false with *error the reason.
    bool NeedsLoading() const;
    bool LoadAgain(QString *error);

    // The next order is another customer's: the name (unless it comes from
    // the folder) and the remark start empty.
    void StartNewOrder();

    // Shows the dialog modally for the order `current` describes so far
    // (when the name comes from the folder, the disabled name box shows
    // its name). After OK, `current` with the answers; none after Cancel or
    // the close box. The dialog asks no append text: its orders carry none.
    std::optional<PrintInfo> Show(const PrintInfo &current);

protected:
    void showEvent(QShowEvent *event) override;

private:
    RemarkSources Load();
    void ShowAmount();
    void txtRemark_Change();

    OrderBookSource &m_source;
    const Settings &m_settings;
    OrderFacts m_facts;

    QLineEdit *txtMemberName;
    QPlainTextEdit *txtRemark;
    QComboBox *cbServiceName;
    // The folder and time of the count the order is made of.
    QLabel *lblCounted;
    // The order's amount for the chosen service, told before printing.
    QLabel *lblAmount;
    QString m_servicesPlace; // the order book the service list came from
    bool m_servicesLoaded = false;
    // The remark as it last fitted the printed field.
    QString m_fittingRemark;
};

} // namespace kestova
