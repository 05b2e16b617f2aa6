// The about box.
#include "frm_about.h"

#include "layout.h"
#include "program_title.h"
#include "shell.h"
#include "toolbar_icons.h"

#include <QFrame>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestova {

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

namespace {

QFrame *Line(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

frmAbout::frmAbout(Shell &shell, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于"));
    setModal(true);

    auto *image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(ProgramIcon().pixmap(64, 64));
    image->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto *title = new QLabel(ProgramTitle, this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto *description = new QLabel(this);
    description->setObjectName(QStringLiteral("lblDescription"));
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    description->setText(QStringLiteral(
        "冲印店照片统计工具。\n\n"
        "在左侧文件夹树中选择客户的照片文件夹，点击“统计图片”，"
        "程序逐一读取文件夹及其子文件夹中每张图片的像素尺寸和分辨率，"
        "按冲印尺寸统计张数和面积，并标出无法打开的文件和分辨率过低的图片。\n\n"
        "统计结果可以导出为文本文件，也可以打印为 A4 冲印订单。"));

    auto *label1 = new QLabel(QStringLiteral("详细信息及资料下载请登陆我们的网站："), this);
    label1->setObjectName(QStringLiteral("Label1"));

    auto *connection = new LinkLabel(MakerWebPage.toString(), this);
    connection->setObjectName(QStringLiteral("lblConnection"));
    connection->setCursor(Qt::PointingHandCursor);
    connection->setForegroundRole(QPalette::Highlight); // follows the style's palette once polished
    connect(connection, &LinkLabel::Click, this, [&shell] { shell.OpenUrl(MakerWebPage); });

    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true); // Enter; Escape rejects the dialog, which closes it the same way
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setHorizontalSpacing(16);
    grid->addWidget(image, 0, 0, 2, 1);
    grid->addWidget(title, 0, 1);
    grid->addWidget(description, 1, 1);
    grid->addWidget(Line(this), 2, 0, 1, 2);
    grid->addWidget(label1, 3, 0, 1, 2);
    grid->addWidget(connection, 4, 0, 1, 2);
    grid->addWidget(Line(this), 5, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    grid->addLayout(buttons, 6, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);

    // 8205 × 6645 twips of client area.
    setFixedSize(TwipsToPixels(8205), TwipsToPixels(6645));
}

} // namespace kestova
