// Everything on a printed order can be read: texts too long for their boxes
// are condensed no further than 80 %, then set on two lines at a smaller
// size, and only what still cannot fit is cut with "…"; the remark shows
// whatever the print information dialog accepts. Read back from the PDF.
#include "frm_remark.h"
#include "order_pdf_fixture.h"
#include "photo_store.h"
#include "print_job.h"
#include "print_target.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "rpt_print_a4.h"
#include "sandbox.h"
#include "settings.h"

#include <QSqlQuery>

#include <gtest/gtest.h>

namespace kestova::test {
namespace {

// Design boxes, in twips.
const QRectF ServiceCell(0, 1320, 1410, 225);
const QRectF MemberCell(1500, 510, 2745, 225);
const QRectF RemarkField(1515, 4035, 6960, 435);

class OrderLegibilityTest : public OrderPdfTest
{
protected:
    void SetUp() override
    {
        OrderPdfTest::SetUp();
        if (Stopped())
            return;
        ASSERT_TRUE(PutSmallOrder(*store));
        info.NoteNumber = QStringLiteral("8");
    }

    OrderPage Print()
    {
        PdfPrintTarget target(pdf);
        EXPECT_EQ(PrintCounted(target).pages, 1);
        return OrderPage(PdfWords(pdf), 0);
    }

    // The lines of words in a box, each as its words' union box and text.
    static QList<PdfWord> Lines(const QList<PdfWord> &words)
    {
        QList<PdfWord> lines;
        for (const PdfWord &w : words) {
            if (!lines.isEmpty() && std::abs(lines.last().box.top() - w.box.top()) <= 20) {
                lines.last().box |= w.box;
                lines.last().text += w.text;
            } else {
                lines.append(w);
            }
        }
        return lines;
    }

    // Each line lies inside the box, off its sides, and its characters are
    // at least 80 % as wide as the lines are apart (CJK characters are one
    // em wide, and lines one em apart).
    static void ExpectReadableIn(const QList<PdfWord> &lines, const QRectF &box)
    {
        ASSERT_FALSE(lines.isEmpty());
        const double pitch = lines.size() > 1 ? (lines.last().box.top() - lines.first().box.top()) / (lines.size() - 1)
                                              : box.height();
        EXPECT_GE(lines.first().box.top(), box.top() - 20);
        EXPECT_LE(lines.last().box.top() - lines.first().box.top() + pitch, box.height() + 5);
        for (const PdfWord &line : lines) {
            SCOPED_TRACE(line.text.toStdString());
            EXPECT_GE(line.box.left(), box.left() + 20);
            EXPECT_LE(line.box.right(), box.right() - 20);
            EXPECT_GE(line.box.width() / line.text.size(), 0.8 * std::min(pitch, 210.0) - 1);
        }
    }

};

TEST_F(OrderLegibilityTest, TheFirstStarterServiceKeepsItsLineAndStaysOffTheRules)
{
    info.ServiceName = LoadRemarkSources(Source()).serviceNames.value(0);
    ASSERT_EQ(info.ServiceName, QStringLiteral("数码冲印（光面）"));
    const OrderPage page = Print();
    const QList<PdfWord> lines = Lines(page.WordsIn(ServiceCell));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].text, info.ServiceName);
    ExpectReadableIn(lines, ServiceCell);
}

TEST_F(OrderLegibilityTest, LongNamesGoOnTwoLinesAtASmallerSizeAndLoseNothing)
{
    info.ServiceName = QStringLiteral("高级艺术微喷冲印加厚相纸光面覆膜装裱特别定制款式");  // 25
    info.MemberName = QStringLiteral("上海市浦东新区陆家嘴环路一千号环球金融中心七十七楼摄影工作室王小明先生收");  // 38
    info.MemberName += QStringLiteral("转交李女士");  // 43
    const OrderPage page = Print();

    const QList<PdfWord> service = Lines(page.WordsIn(ServiceCell));
    ASSERT_EQ(service.size(), 2);
    EXPECT_EQ(service[0].text + service[1].text, info.ServiceName);
    ExpectReadableIn(service, ServiceCell);

    const QList<PdfWord> member = Lines(page.WordsIn(MemberCell));
    ASSERT_EQ(member.size(), 2);
    EXPECT_EQ(member[0].text + member[1].text, info.MemberName);
    ExpectReadableIn(member, MemberCell);
}

TEST_F(OrderLegibilityTest, OnlyWhatCannotFitIsCutAndTheCutShows)
{
    info.ServiceName = QStringLiteral("特大幅面艺术微喷").repeated(5);  // 40 characters
    const QString printed = Print().JoinedIn(ServiceCell);
    ASSERT_TRUE(printed.endsWith(u'…')) << printed.toStdString();
    EXPECT_TRUE(info.ServiceName.startsWith(printed.chopped(1)));
    EXPECT_GE(printed.size(), 25);
}

TEST_F(OrderLegibilityTest, TheRemarkPrintsEveryLineAndWhateverTheDialogAccepts)
{
    info.Remark = QStringLiteral("第一行：加急\n第二行：光面相纸\n第三行：周五下午取件");
    OrderPage page = Print();
    EXPECT_EQ(page.JoinedIn(RemarkField), QString(info.Remark).remove(u'\n'));
    ExpectReadableIn(Lines(page.WordsIn(RemarkField)), RemarkField);

    info.Remark = QStringLiteral("照片请按文件夹分装，每袋注明尺寸与张数，").repeated(6);  // one long line
    ASSERT_TRUE(RemarkFits(info.Remark));
    page = Print();
    EXPECT_EQ(page.JoinedIn(RemarkField), info.Remark);
    ExpectReadableIn(Lines(page.WordsIn(RemarkField)), RemarkField);

    // The longest remark the dialog takes, one character at a time, prints
    // whole; one character more is refused.
    QString remark;
    const QString source = QStringLiteral("每张照片都要仔细核对尺寸和数量，");
    while (RemarkFits(remark + source[remark.size() % source.size()]))
        remark += source[remark.size() % source.size()];
    ASSERT_GT(remark.size(), 150);
    info.Remark = remark;
    page = Print();
    EXPECT_EQ(page.JoinedIn(RemarkField), remark);
    ExpectReadableIn(Lines(page.WordsIn(RemarkField)), RemarkField);
}

} // namespace
} // namespace kestova::test
