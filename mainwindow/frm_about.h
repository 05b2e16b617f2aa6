// frmAbout, the about box "关于": the program's picture and description, the
// maker's web address as a link, and OK (Enter and Escape press it).
#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>

class QPushButton;

namespace kestova {

class Shell;

// The maker's web page behind lblConnection.
inline const QUrl MakerWebPage = QUrl(QStringLiteral("https://www.kestova.com/"));

// A label that reports a left click (lblConnection).
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(Shell &shell, QWidget *parent = nullptr);
};

} // namespace kestova
