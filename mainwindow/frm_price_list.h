// frmPriceList, the 价格表 window: for each service of the list, its
// pricing kind and prices — one price per square metre, or a price per
// photo for each print size. Sizes can be taken from the current count.
// Nothing is saved until 确定, and then all or nothing: a price that is not
// yuan with at most two decimals is named in a message and nothing changes.
#pragma once

#include "order_book.h"

#include <QDialog>
#include <QList>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace kestova {

class Dialogs;

class frmPriceList : public QDialog
{
    Q_OBJECT
public:
    // countedSizes: the size rows of the current count, offered by
    // "添加本次统计的尺寸".
    frmPriceList(OrderBook &book, Dialogs &dialogs, const QStringList &countedSizes, QWidget *parent = nullptr);

    QListWidget *lstService = nullptr;
    QRadioButton *optPerPhoto = nullptr;
    QRadioButton *optPerSquareMetre = nullptr;
    QLineEdit *txtPerSquareMetre = nullptr;
    QTableWidget *mfgSizePrice = nullptr;
    QPushButton *cmdAddSizes = nullptr;
    QPushButton *cmdAddSize = nullptr;
    QPushButton *cmdRemoveSize = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

private:
    // What the window holds for one service, as typed.
    struct Draft {
        QString service;
        bool perSquareMetre = false;
        QString squareMetrePrice;
        QList<std::pair<QString, QString>> sizes; // size, price
    };

    void Load();
    void ShowDraft(int index);
    void KeepDraft();
    void AddSizeRow(const QString &size, const QString &price);
    void OnOK();

    OrderBook &m_book;
    Dialogs &m_dialogs;
    QStringList m_countedSizes;
    QList<Draft> m_drafts;
    int m_current = -1;
};

} // namespace kestova
