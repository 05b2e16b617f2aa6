// The 价格表 window.
#include "frm_price_list.h"

#include "dialogs.h"
#include "numbers.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <QSet>

namespace kestova {

frmPriceList::frmPriceList(OrderBook &book, Dialogs &dialogs, const QStringList &countedSizes, QWidget *parent)
    : QDialog(parent)
    , m_book(book)
    , m_dialogs(dialogs)
    , m_countedSizes(countedSizes)
{
    setObjectName(QStringLiteral("frmPriceList"));
    setWindowTitle(QStringLiteral("价格表"));
    setModal(true);

    lstService = new QListWidget(this);
    lstService->setObjectName(QStringLiteral("lstService"));
    optPerPhoto = new QRadioButton(QStringLiteral("按尺寸每张计价"), this);
    optPerPhoto->setObjectName(QStringLiteral("optPerPhoto"));
    optPerSquareMetre = new QRadioButton(QStringLiteral("按面积计价（每平方米）"), this);
    optPerSquareMetre->setObjectName(QStringLiteral("optPerSquareMetre"));
    auto *kinds = new QButtonGroup(this);
    kinds->addButton(optPerPhoto);
    kinds->addButton(optPerSquareMetre);
    txtPerSquareMetre = new QLineEdit(this);
    txtPerSquareMetre->setObjectName(QStringLiteral("txtPerSquareMetre"));
    txtPerSquareMetre->setPlaceholderText(QStringLiteral("元/平方米"));
    mfgSizePrice = new QTableWidget(0, 2, this);
    mfgSizePrice->setObjectName(QStringLiteral("mfgSizePrice"));
    mfgSizePrice->setHorizontalHeaderLabels({QStringLiteral("图片尺寸"), QStringLiteral("单价（元/张）")});
    mfgSizePrice->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    mfgSizePrice->verticalHeader()->hide();
    cmdAddSizes = new QPushButton(QStringLiteral("添加本次统计的尺寸"), this);
    cmdAddSizes->setObjectName(QStringLiteral("cmdAddSizes"));
    cmdAddSize = new QPushButton(QStringLiteral("添加尺寸"), this);
    cmdAddSize->setObjectName(QStringLiteral("cmdAddSize"));
    cmdRemoveSize = new QPushButton(QStringLiteral("删除尺寸"), this);
    cmdRemoveSize->setObjectName(QStringLiteral("cmdRemoveSize"));
    cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *right = new QGridLayout;
    right->addWidget(optPerSquareMetre, 0, 0);
    right->addWidget(txtPerSquareMetre, 0, 1);
    right->addWidget(optPerPhoto, 1, 0, 1, 2);
    right->addWidget(mfgSizePrice, 2, 0, 1, 2);
    auto *sizeButtons = new QHBoxLayout;
    sizeButtons->addWidget(cmdAddSizes);
    sizeButtons->addWidget(cmdAddSize);
    sizeButtons->addWidget(cmdRemoveSize);
    right->addLayout(sizeButtons, 3, 0, 1, 2);
    auto *top = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("服务"), this));
    left->addWidget(lstService);
    top->addLayout(left, 1);
    top->addLayout(right, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
    resize(640, 420);

    connect(lstService, &QListWidget::currentRowChanged, this, [this](int row) {
        KeepDraft();
        ShowDraft(row);
    });
    const auto kindChanged = [this] {
        txtPerSquareMetre->setEnabled(optPerSquareMetre->isChecked());
        mfgSizePrice->setEnabled(optPerPhoto->isChecked());
        cmdAddSizes->setEnabled(optPerPhoto->isChecked() && !m_countedSizes.isEmpty());
        cmdAddSize->setEnabled(optPerPhoto->isChecked());
        cmdRemoveSize->setEnabled(optPerPhoto->isChecked());
    };
    connect(optPerPhoto, &QRadioButton::toggled, this, kindChanged);
    connect(cmdAddSizes, &QPushButton::clicked, this, [this] {
        QSet<QString> present;
        for (int r = 0; r < mfgSizePrice->rowCount(); ++r)
            present.insert(mfgSizePrice->item(r, 0)->text().trimmed());
        for (const QString &size : std::as_const(m_countedSizes)) {
            if (!present.contains(size))
                AddSizeRow(size, QString());
        }
    });
    connect(cmdAddSize, &QPushButton::clicked, this, [this] {
        AddSizeRow(QString(), QString());
        mfgSizePrice->editItem(mfgSizePrice->item(mfgSizePrice->rowCount() - 1, 0));
    });
    connect(cmdRemoveSize, &QPushButton::clicked, this, [this] {
        if (mfgSizePrice->currentRow() >= 0)
            mfgSizePrice->removeRow(mfgSizePrice->currentRow());
    });
    connect(cmdOK, &QPushButton::clicked, this, &frmPriceList::OnOK);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    Load();
    kindChanged();
}

void frmPriceList::Load()
{
    bool ok = false;
    const QList<ServicePrices> prices = m_book.Prices(&ok);
    if (!ok) {
        m_dialogs.ShowMessage(QStringLiteral("价格表读取失败。"), QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
    }
    for (const ServicePrices &p : prices) {
        Draft draft;
        draft.service = p.service;
        draft.perSquareMetre = p.kind == PricingKind::PerSquareMetre;
        if (draft.perSquareMetre)
            draft.squareMetrePrice = YuanText(p.perSquareMetre);
        for (auto it = p.perPhoto.cbegin(); it != p.perPhoto.cend(); ++it)
            draft.sizes.append({it.key(), YuanText(it.value())});
        m_drafts.append(draft);
        lstService->addItem(p.service);
    }
    if (!m_drafts.isEmpty())
        lstService->setCurrentRow(0);
}

void frmPriceList::AddSizeRow(const QString &size, const QString &price)
{
    const int row = mfgSizePrice->rowCount();
    mfgSizePrice->insertRow(row);
    mfgSizePrice->setItem(row, 0, new QTableWidgetItem(size));
    mfgSizePrice->setItem(row, 1, new QTableWidgetItem(price));
}

void frmPriceList::ShowDraft(int index)
{
    m_current = index;
    mfgSizePrice->setRowCount(0);
    if (index < 0 || index >= m_drafts.size())
        return;
    const Draft &draft = m_drafts[index];
    (draft.perSquareMetre ? optPerSquareMetre : optPerPhoto)->setChecked(true);
    txtPerSquareMetre->setText(draft.squareMetrePrice);
    for (const auto &[size, price] : draft.sizes)
        AddSizeRow(size, price);
}

void frmPriceList::KeepDraft()
{
    if (m_current < 0 || m_current >= m_drafts.size())
        return;
    Draft &draft = m_drafts[m_current];
    draft.perSquareMetre = optPerSquareMetre->isChecked();
    draft.squareMetrePrice = txtPerSquareMetre->text();
    draft.sizes.clear();
    for (int r = 0; r < mfgSizePrice->rowCount(); ++r) {
        const QTableWidgetItem *size = mfgSizePrice->item(r, 0);
        const QTableWidgetItem *price = mfgSizePrice->item(r, 1);
        draft.sizes.append({size ? size->text() : QString(), price ? price->text() : QString()});
    }
}

void frmPriceList::OnOK()
{
    KeepDraft();
    const auto refuse = [this](int index, const QString &text) {
        lstService->setCurrentRow(index);
        m_dialogs.ShowMessage(text, QStringLiteral("提示"), MessageIcon::Warning, MessageButtons::Ok);
    };
    QList<ServicePrices> prices;
    for (int i = 0; i < m_drafts.size(); ++i) {
        const Draft &draft = m_drafts[i];
        ServicePrices p;
        p.service = draft.service;
        if (draft.perSquareMetre) {
            if (!draft.squareMetrePrice.trimmed().isEmpty()) {
                if (!ParseYuan(draft.squareMetrePrice, &p.perSquareMetre)) {
                    refuse(i, QStringLiteral("“%1”的每平方米单价“%2”无效：单价应为 0 至 99999999.99 元之间、最多两位小数的金额，例如 12.50。")
                                  .arg(draft.service, draft.squareMetrePrice));
                    return;
                }
                p.kind = PricingKind::PerSquareMetre;
            }
        } else {
            for (const auto &[sizeText, priceText] : draft.sizes) {
                const QString size = sizeText.trimmed();
                if (size.isEmpty() && priceText.trimmed().isEmpty())
                    continue;
                qint64 fen = 0;
                if (size.isEmpty() || size == QStringLiteral("合计")) {
                    refuse(i, QStringLiteral("“%1”有一行没有尺寸。").arg(draft.service));
                    return;
                }
                if (p.perPhoto.contains(size)) {
                    refuse(i, QStringLiteral("“%1”的尺寸“%2”出现了两次。").arg(draft.service, size));
                    return;
                }
                if (!ParseYuan(priceText, &fen)) {
                    refuse(i, QStringLiteral("“%1”尺寸“%2”的单价“%3”无效：单价应为 0 至 99999999.99 元之间、最多两位小数的金额，例如 12.50。")
                                  .arg(draft.service, size, priceText));
                    return;
                }
                p.perPhoto.insert(size, fen);
            }
            if (!p.perPhoto.isEmpty())
                p.kind = PricingKind::PerPhoto;
        }
        prices.append(p);
    }
    QString error;
    if (!m_book.SavePrices(prices, &error)) {
        m_dialogs.ShowMessage(QStringLiteral("价格保存失败：") + error, QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
        return;
    }
    accept();
}

} // namespace kestova
