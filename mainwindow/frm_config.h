// frmConfig, the settings dialog "参数设置": shows the Settings record, and on
// OK checks the three number fields and writes all nine keys (and the order
// book's place) to Config.ini in one replacement of the file; only when that succeeded does it update the
// record and close. A failed save says why and keeps the dialog open. Cancel
// and the close box change nothing.
#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace kestova {

class Dialogs;
struct Settings;

// The OK checks on the typed texts, in the order they are made: the two
// decimal counts (a number that rounds to 0 … 2^31−1), then the DPI
// threshold (a number that rounds into 16 bits). The message for the first
// failure, or "" when all pass.
QString CheckSettingsTexts(const QString &radixPoint, const QString &unitRadixPoint, const QString &dpi);

class frmConfig : public QDialog
{
    Q_OBJECT
public:
    frmConfig(Settings &settings, Dialogs &dialogs, QWidget *parent = nullptr);
    // Shows the 价格表... button, which runs open.
    void SetPriceListAction(std::function<void()> open);

private:
    void Load();
    void OnBrowse();
    void OnOK();
    void OnTestConnection();

    Settings &m_settings;
    Dialogs &m_dialogs;
    QComboBox *m_cmbPhotoSize;
    QComboBox *m_cmbPhotoArea;
    QLineEdit *m_txtFileName;
    QPushButton *m_cmdBrow;
    QCheckBox *m_chkPreview;
    QLineEdit *m_txtUnitRadixPoint;
    QLineEdit *m_txtRadixPoint;
    QCheckBox *m_chkSameness;
    QCheckBox *m_chkMemberName;
    QLineEdit *m_txtDPI;
    QLineEdit *m_txtOrderBook;    // [OrderBook] Connection
    QLineEdit *m_txtCounterName;  // [OrderBook] CounterName
    QPushButton *m_cmdTestConnection;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdCancel;
    QPushButton *m_cmdPriceList;
    std::function<void()> m_openPriceList;
};

} // namespace kestova
