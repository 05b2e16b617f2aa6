// The toolbar's 打印 from a counted folder to the printed order: the customer
// name taken from the folder, one note number for the run, Cancel prints
// nothing.
#include "main_window_fixture.h"

#include "frm_remark.h"
#include "modal.h"
#include "pdf_text.h"
#include "rpt_print_a4.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QFileInfo>
#include <QStandardPaths>

using namespace kestova;
using namespace kestova::test;

TEST_F(MainWindowTest, PrintButtonPrintsTheCountedOrderForTheFolderCustomer)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    settings.PathAsMemberName = true;
    const QString folder = MakeOrderFolder(QStringLiteral("orders/张三"));
    SelectFolder(folder);
    PressToolbar(1);
    const QString pdf = sandbox.path(QStringLiteral("order.pdf"));

    // Cancel: nothing is printed, but the number is issued with the load.
    AnswerModal<frmRemark>([](frmRemark &d) { Click(d, "cmdCancel"); });
    PressToolbar(3);
    EXPECT_FALSE(QFileInfo::exists(pdf));

    AnswerModal<frmRemark>([](frmRemark &d) {
        EXPECT_FALSE(Child<QLineEdit>(d, "txtMemberName")->isEnabled());
        Click(d, "cmdOK");
    });
    PressToolbar(3);
    const OrderPage page(PdfWords(pdf), 0);
    ASSERT_TRUE(page.valid());
    EXPECT_EQ(page.MemberName(), QStringLiteral("张三"));
    EXPECT_EQ(page.NoteNumber(), QStringLiteral("1"));
    // Sizes in key order (30.48*20.32, 35.28*24.69, 15.24*10.16 sorts first),
    // split into length and width, the total row last.
    EXPECT_EQ(page.Cell(1, PrintA4::PhotoHeight), QStringLiteral("15.24"));
    EXPECT_EQ(page.Cell(1, PrintA4::PhotoWidth), QStringLiteral("10.16"));
    EXPECT_EQ(page.Cell(1, PrintA4::PhotoAmount), QStringLiteral("2"));
    EXPECT_EQ(page.Cell(4, PrintA4::ServiceName), QStringLiteral("合计"));
    EXPECT_EQ(page.Cell(4, PrintA4::PhotoAmount), QStringLiteral("4"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}
