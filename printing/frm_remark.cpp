// frmRemark: layout in twips (15 to a pixel), load, OK and Cancel.
#include "frm_remark.h"

#include "clock.h"
#include "blanks.h"
#include "numbers.h"
#include "order_book_source.h"
#include "rpt_print_a4.h"
#include "settings.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextCursor>

#include <algorithm>

namespace kestova {

namespace {

constexpr int TwipsPerPixel = 15;

QRect Twips(int left, int top, int width, int height)
{
    return QRect(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel, height / TwipsPerPixel);
}

QLabel *Caption(QWidget *parent, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(geometry);
    return label;
}

QPlainTextEdit *MultiLine(QWidget *parent)
{
    auto *edit = new QPlainTextEdit(parent);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setTabChangesFocus(true); // Tab goes on to the next box, never into the text
    return edit;
}

} // namespace

RemarkSources LoadRemarkSources(OrderBookSource &source)
{
    RemarkSources sources;
    bool ok = false;
    const QStringList names = source.ServiceNames(&ok, &sources.error);
    if (ok)
        sources.serviceNames = names;
    return sources;
}

frmRemark::frmRemark(OrderBookSource &source, const Settings &settings, OrderFacts facts, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
    , m_source(source)
    , m_settings(settings)
    , m_facts(std::move(facts))
{
    setObjectName(QStringLiteral("frmRemark"));
    setWindowTitle(QStringLiteral("打印信息"));
    // The service row, the count line and the amount line below the remark.
    setFixedSize(Twips(0, 0, 4425, 4830).size());

    Caption(this, QStringLiteral("客户名称："), Twips(120, 255, 945, 225));
    txtMemberName = new QLineEdit(this);
    txtMemberName->setGeometry(Twips(1080, 210, 3255, 315));

    Caption(this, QStringLiteral("备注："), Twips(120, 705, 915, 225));
    txtRemark = MultiLine(this);
    txtRemark->setGeometry(Twips(1050, 660, 3255, 2055));

    // The service prices the order: the operator picks it, and reads the
    // amount to tell the customer.
    Caption(this, QStringLiteral("品名规格："), Twips(120, 2835, 945, 225));
    cbServiceName = new QComboBox(this);
    cbServiceName->setEditable(true);
    cbServiceName->setGeometry(Twips(1050, 2790, 3255, 315));
    lblCounted = new QLabel(this);
    lblCounted->setGeometry(Twips(1050, 3195, 3255, 270));
    lblAmount = new QLabel(this);
    lblAmount->setGeometry(Twips(1050, 3555, 3255, 270));

    auto *cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setGeometry(Twips(1860, 4050, 975, 495));
    cmdOK->setDefault(true);
    auto *cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setGeometry(Twips(2820, 4050, 975, 495));

    // Tests find the widgets by these names.
    txtMemberName->setObjectName(QStringLiteral("txtMemberName"));
    txtRemark->setObjectName(QStringLiteral("txtRemark"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    lblCounted->setObjectName(QStringLiteral("lblCounted"));
    cbServiceName->setObjectName(QStringLiteral("cbServiceName"));
    lblAmount->setObjectName(QStringLiteral("lblAmount"));

    // Enter starts a new line in 备注; Ctrl+Enter prints from anywhere.
    for (const QKeySequence &key : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        connect(new QShortcut(key, this), &QShortcut::activated, cmdOK, &QPushButton::click);

    connect(cmdOK, &QPushButton::clicked, this, &frmRemark::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &frmRemark::reject);
    connect(txtRemark, &QPlainTextEdit::textChanged, this, &frmRemark::txtRemark_Change);
    connect(cbServiceName, &QComboBox::currentTextChanged, this, &frmRemark::ShowAmount);

    Load();
}

RemarkSources frmRemark::Load()
{
    txtMemberName->setEnabled(!m_settings.PathAsMemberName);
    m_servicesPlace = m_source.Place();
    const RemarkSources sources = LoadRemarkSources(m_source);
    m_servicesLoaded = sources.error.isEmpty();
    cbServiceName->clear();
    cbServiceName->addItems(sources.serviceNames);
    cbServiceName->setCurrentIndex(sources.serviceNames.isEmpty() ? -1 : 0);
    return sources;
}

bool frmRemark::NeedsLoading() const
{
    return !m_servicesLoaded || m_servicesPlace != m_source.Place();
}

bool frmRemark::LoadAgain(QString *error)
{
    const RemarkSources sources = Load();
    *error = sources.error;
    return sources.error.isEmpty();
}

void frmRemark::StartNewOrder()
{
    if (!m_settings.PathAsMemberName)
        txtMemberName->clear();
    txtRemark->clear();
}

std::optional<PrintInfo> frmRemark::Show(const PrintInfo &current)
{
    // A disabled name box shows the name the order will carry.
    if (!txtMemberName->isEnabled())
        txtMemberName->setText(current.MemberName);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    PrintInfo answer = current;
    if (!m_settings.PathAsMemberName)
        answer.MemberName = TrimBlanks(txtMemberName->text());
    answer.Remark = txtRemark->toPlainText();
    answer.ServiceName = cbServiceName->currentText();
    answer.Append.clear();
    return answer;
}

void frmRemark::showEvent(QShowEvent *event)
{
    // The totals may have changed since the last showing.
    const std::optional<CountRecord> count = m_facts.count ? m_facts.count() : std::nullopt;
    // The time first, then the folder, cut in the middle when long: its
    // last name is what the operator recognises. The whole in the tooltip.
    const QString counted = count && count->complete
        ? QStringLiteral("%1 统计：%2")
              .arg(count->countedAt.toString(QStringLiteral("M月d日 HH:mm")), QDir::toNativeSeparators(count->folder))
        : QStringLiteral("没有完整的统计结果");
    lblCounted->setText(lblCounted->fontMetrics().elidedText(counted, Qt::ElideMiddle, lblCounted->width()));
    lblCounted->setToolTip(counted);
    ShowAmount();

    QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void frmRemark::ShowAmount()
{
    const OrderAmount amount = m_facts.amount ? m_facts.amount(cbServiceName->currentText()) : OrderAmount{};
    switch (amount.kind) {
    case OrderAmount::Kind::NoOrder:
        lblAmount->setText(QString());
        break;
    case OrderAmount::Kind::BookDown:
        lblAmount->setText(QStringLiteral("金额：订单库无法连接"));
        break;
    case OrderAmount::Kind::Priced:
        lblAmount->setText(QStringLiteral("金额：%1 元").arg(YuanText(amount.fen)));
        break;
    case OrderAmount::Kind::Unpriced:
        lblAmount->setText(QStringLiteral("金额：有尺寸未定价，不计合计"));
        break;
    }
}

// The box takes no more remark than the printed order can show whole: an
// edit past that is undone with a beep.
void frmRemark::txtRemark_Change()
{
    const QString text = txtRemark->toPlainText();
    if (text == m_fittingRemark)
        return;
    if (RemarkFits(text)) {
        m_fittingRemark = text;
        return;
    }
    QApplication::beep();
    // The cursor goes back to where the refused text was put in.
    const int inserted = int(text.size() - m_fittingRemark.size());
    const int position = std::clamp(txtRemark->textCursor().position() - inserted, 0, int(m_fittingRemark.size()));
    const QSignalBlocker quiet(txtRemark);
    txtRemark->setPlainText(m_fittingRemark);
    QTextCursor cursor = txtRemark->textCursor();
    cursor.setPosition(position);
    txtRemark->setTextCursor(cursor);
}

} // namespace kestova
