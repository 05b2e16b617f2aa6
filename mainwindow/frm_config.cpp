// The settings dialog.
#include "frm_config.h"

#include "dialogs.h"
#include "layout.h"
#include "numbers.h"
#include "order_book_source.h"
#include "photo_preview.h"
#include "settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

namespace kestova {

namespace {

const QString DecimalsMessage = QStringLiteral("保留位数格式输入错误！");
const QString DpiMessage = QStringLiteral("DPI警报格式输入错误！");

// The lists hold the units in the order of their Config.ini codes. A size
// code that names no unit ("00", "2") selects nothing, and OK keeps it
// unless a unit is picked.
int ListPosition(std::optional<LengthUnit> unit)
{
    return unit ? UnitCode(unit).toInt() : -1;
}

int ListPosition(AreaUnit unit)
{
    return UnitCode(unit).toInt();
}

bool DecimalsText(const QString &text, qint32 *out)
{
    qint64 value = 0;
    // Counts of decimals below 0 have no meaning, and beyond 32 bits the
    // record could not hold them.
    if (!ToWholeNumber(text, 0, std::numeric_limits<qint32>::max(), &value))
        return false;
    if (out)
        *out = qint32(value);
    return true;
}

bool DpiText(const QString &text, qint16 *out)
{
    qint64 value = 0;
    if (!ToWholeNumber(text, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max(), &value))
        return false;
    if (out)
        *out = qint16(value);
    return true;
}

QHBoxLayout *Row(std::initializer_list<QWidget *> widgets, bool stretch = true)
{
    auto *row = new QHBoxLayout;
    for (QWidget *w : widgets)
        row->addWidget(w);
    if (stretch)
        row->addStretch(1);
    return row;
}

QLineEdit *NumberBox(const QString &name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setFixedWidth(60);
    box->setTextMargins(4, 0, 4, 0); // the digits clear of the border
    return box;
}

} // namespace

QString CheckSettingsTexts(const QString &radixPoint, const QString &unitRadixPoint, const QString &dpi)
{
    if (!DecimalsText(radixPoint, nullptr) || !DecimalsText(unitRadixPoint, nullptr))
        return DecimalsMessage;
    if (!DpiText(dpi, nullptr))
        return DpiMessage;
    return {};
}

frmConfig::frmConfig(Settings &settings, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
    , m_settings(settings)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("参数设置"));
    setModal(true);

    m_cmbPhotoSize = new QComboBox(this);
    m_cmbPhotoSize->setObjectName(QStringLiteral("cmbPhotoSize"));
    m_cmbPhotoArea = new QComboBox(this);
    m_cmbPhotoArea->setObjectName(QStringLiteral("cmbPhotoArea"));
    m_txtFileName = new QLineEdit(this);
    m_txtFileName->setObjectName(QStringLiteral("txtFileName"));
    m_cmdBrow = new QPushButton(QStringLiteral("..."), this);
    m_cmdBrow->setObjectName(QStringLiteral("cmdBrow"));
    m_cmdBrow->setFixedWidth(32);
    m_cmdBrow->setAutoDefault(false);
    m_chkPreview = new QCheckBox(QStringLiteral("开启预览"), this);
    m_chkPreview->setObjectName(QStringLiteral("chkPreview"));
    m_txtUnitRadixPoint = NumberBox(QStringLiteral("txtUnitRadixPoint"), this);
    m_txtRadixPoint = NumberBox(QStringLiteral("txtRadixPoint"), this);
    m_chkSameness = new QCheckBox(QStringLiteral("相同规格（例：是否将800*600与600*800算作相同规格）"), this);
    m_chkSameness->setObjectName(QStringLiteral("chkSameness"));
    m_chkMemberName = new QCheckBox(QStringLiteral("是否将最后一层文件夹名称作为客户名称"), this);
    m_chkMemberName->setObjectName(QStringLiteral("chkMemberName"));
    m_txtDPI = NumberBox(QStringLiteral("txtDPI"), this);
    m_txtOrderBook = new QLineEdit(this);
    m_txtOrderBook->setObjectName(QStringLiteral("txtOrderBook"));
    m_txtOrderBook->setPlaceholderText(QStringLiteral("空：订单记在本机；例 host=192.168.1.10 dbname=kestova user=counter1"));
    m_txtOrderBook->setToolTip(QStringLiteral("几台电脑共用一个订单库时，填写 PostgreSQL 服务器的连接串（libpq 格式）。\n"
                                              "密码不写在这里，放在 .pgpass 或 PGPASSFILE 指定的文件中。"));
    m_txtCounterName = new QLineEdit(this);
    m_txtCounterName->setObjectName(QStringLiteral("txtCounterName"));
    m_txtCounterName->setPlaceholderText(Settings().CounterNameOrHost());
    m_cmdTestConnection = new QPushButton(QStringLiteral("测试连接"), this);
    m_cmdTestConnection->setObjectName(QStringLiteral("cmdTestConnection"));
    m_cmdTestConnection->setAutoDefault(false);
    m_cmdOK = new QPushButton(QStringLiteral("确定"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdOK->setAutoDefault(false);
    m_cmdCancel->setAutoDefault(false);

    const auto label = [this](const QString &text) { return new QLabel(text, this); };
    const auto group = [this](const QString &caption, std::initializer_list<QLayout *> rows) {
        auto *box = new QGroupBox(caption, this);
        auto *column = new QVBoxLayout(box);
        // Seven groups and two buttons share the height.
        column->setContentsMargins(10, 2, 10, 4);
        column->setSpacing(2);
        for (QLayout *row : rows)
            column->addLayout(row);
        return box;
    };

    auto *editRow = new QHBoxLayout;
    editRow->addWidget(label(QStringLiteral("启动程序")));
    editRow->addWidget(m_txtFileName, 1);
    editRow->addWidget(m_cmdBrow);

    // The prices live in the store, not in Config.ini: the button opens
    // their own window, which saves on its own 确定.
    m_cmdPriceList = new QPushButton(QStringLiteral("价格表..."), this);
    m_cmdPriceList->setObjectName(QStringLiteral("cmdPriceList"));
    m_cmdPriceList->setAutoDefault(false);
    m_cmdPriceList->hide();
    connect(m_cmdPriceList, &QPushButton::clicked, this, [this] {
        if (m_openPriceList)
            m_openPriceList();
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdPriceList);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(15, 8, 15, 10);
    top->setSpacing(4);
    top->addWidget(group(QStringLiteral("尺寸"),
                         {Row({label(QStringLiteral("图片尺寸以")), m_cmbPhotoSize, label(QStringLiteral("计算"))}),
                          Row({label(QStringLiteral("图片面积以")), m_cmbPhotoArea, label(QStringLiteral("计算"))})}));
    top->addWidget(group(QStringLiteral("图片编辑"), {editRow}));
    top->addWidget(group(QStringLiteral("图像预览"), {Row({m_chkPreview})}));
    top->addWidget(group(
        QStringLiteral("计算"),
        {Row({label(QStringLiteral("单张图片保留")), m_txtUnitRadixPoint, label(QStringLiteral("位小数"))}),
         Row({label(QStringLiteral("合计小数点保留")), m_txtRadixPoint, label(QStringLiteral("位小数"))}),
         Row({m_chkSameness})}));
    top->addWidget(group(QStringLiteral("客户信息"), {Row({m_chkMemberName})}));
    top->addWidget(group(QStringLiteral("DPI"),
                         {Row({label(QStringLiteral("当DPI低于")), m_txtDPI, label(QStringLiteral("警报"))})}));
    auto *serverRow = new QHBoxLayout;
    serverRow->addWidget(label(QStringLiteral("服务器")));
    serverRow->addWidget(m_txtOrderBook, 1);
    top->addWidget(group(QStringLiteral("订单库"),
                         {serverRow, Row({label(QStringLiteral("本机柜台名称")), m_txtCounterName, m_cmdTestConnection})}));
    top->addStretch(1);
    top->addLayout(buttons);

    // 6825 × 6990 twips of client area, and the order book's group below.
    setFixedSize(TwipsToPixels(6825), TwipsToPixels(6990 + 1170));

    connect(m_cmdBrow, &QPushButton::clicked, this, &frmConfig::OnBrowse);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmConfig::OnOK);
    connect(m_cmdTestConnection, &QPushButton::clicked, this, &frmConfig::OnTestConnection);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    Load();
}

void frmConfig::Load()
{
    m_cmbPhotoSize->addItems({QStringLiteral("厘米"), QStringLiteral("英寸")});
    m_cmbPhotoSize->setCurrentIndex(ListPosition(m_settings.PhotoSize));
    m_cmbPhotoArea->addItems({QStringLiteral("平方米"), QStringLiteral("平方厘米")});
    m_cmbPhotoArea->setCurrentIndex(ListPosition(m_settings.PhotoArea));
    m_txtFileName->setText(m_settings.EditPath);
    m_chkPreview->setChecked(m_settings.Preview);
    m_txtRadixPoint->setText(QString::number(m_settings.RadixPoint));
    m_txtUnitRadixPoint->setText(QString::number(m_settings.UnitRadixPoint));
    m_chkSameness->setChecked(m_settings.Sameness);
    m_chkMemberName->setChecked(m_settings.PathAsMemberName);
    m_txtDPI->setText(QString::number(m_settings.AlarmNum));
    // A password an older Config.ini holds is never shown.
    m_txtOrderBook->setText(MaskPassword(m_settings.OrderBookConnection));
    m_txtCounterName->setText(m_settings.CounterName);
}

void frmConfig::OnTestConnection()
{
    QString connection = m_txtOrderBook->text().trimmed();
    if (connection == MaskPassword(m_settings.OrderBookConnection).trimmed())
        connection = m_settings.OrderBookConnection;
    if (connection.isEmpty()) {
        m_dialogs.ShowMessage(QStringLiteral("没有填写服务器：订单记在本机的 Data.mdb 中。"), QStringLiteral("提示"),
                              MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    QString report;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool answers = ProbeServer(connection, &report);
    QApplication::restoreOverrideCursor();
    if (answers) {
        m_dialogs.ShowMessage(report, QStringLiteral("提示"), MessageIcon::Information, MessageButtons::Ok);
    } else {
        m_dialogs.ShowMessage(CannotConnectMessage(report), QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
    }
}

void frmConfig::OnBrowse()
{
    FileDialogRequest request;
    request.title = QStringLiteral("打开文件");
#ifdef Q_OS_WIN
    request.filter = QStringLiteral("所有文件(*.*)");
#else
    // Programs here have no extension: "*.*" would hide gimp and eog.
    request.filter = QStringLiteral("所有文件(*)");
#endif
    const QString path = m_dialogs.GetOpenFileName(request);
    if (!path.isEmpty())
        m_txtFileName->setText(path);
}

void frmConfig::OnOK()
{
    const QString message = CheckSettingsTexts(m_txtRadixPoint->text(), m_txtUnitRadixPoint->text(), m_txtDPI->text());
    if (!message.isEmpty()) {
        m_dialogs.ShowMessage(message, QStringLiteral("提示"), MessageIcon::None, MessageButtons::Ok);
        return;
    }

    // The changes go into a copy first: only a save that succeeded changes
    // the record, which so stays in step with the file.
    Settings s = m_settings;
    if (m_cmbPhotoSize->currentIndex() >= 0)
        s.PhotoSize = SizeUnitFromCode(QString::number(m_cmbPhotoSize->currentIndex()));
    if (m_cmbPhotoArea->currentIndex() >= 0)
        s.PhotoArea = AreaUnitFromCode(QString::number(m_cmbPhotoArea->currentIndex()));
    DecimalsText(m_txtRadixPoint->text(), &s.RadixPoint);
    DecimalsText(m_txtUnitRadixPoint->text(), &s.UnitRadixPoint);
    s.Sameness = m_chkSameness->isChecked();
    s.PathAsMemberName = m_chkMemberName->isChecked();
    DpiText(m_txtDPI->text(), &s.AlarmNum);
    s.EditPath = m_txtFileName->text().trimmed();
    s.Preview = m_chkPreview->isChecked();
    s.OrderBookConnection = m_txtOrderBook->text().trimmed();
    s.CounterName = m_txtCounterName->text().trimmed();
    if (HasPassword(s.OrderBookConnection)) {
        m_dialogs.ShowMessage(PasswordPlaceMessage(s.OrderBookConnection), QStringLiteral("提示"),
                              MessageIcon::Information, MessageButtons::Ok);
        m_txtOrderBook->setFocus();
        return;
    }

    // Memory holds the rounded numbers; the file gets the texts as typed.
    QString error;
    if (!s.Save({m_txtRadixPoint->text(), m_txtUnitRadixPoint->text(), m_txtDPI->text()}, &error)) {
        // The dialog stays open as typed, so that the operator can try again
        // once the cause is mended, or cancel.
        m_dialogs.ShowMessage(QStringLiteral("参数保存失败：") + error, QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
        return;
    }
    m_settings = s;
    accept();
}

void frmConfig::SetPriceListAction(std::function<void()> open)
{
    m_openPriceList = std::move(open);
    m_cmdPriceList->setVisible(bool(m_openPriceList));
}

} // namespace kestova
