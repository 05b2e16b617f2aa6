// The A4 order page as data: its labels, lines and rectangles in twips, the
// order's fields among them (empty labels the page fills in), 4515 twips high.
#include "rpt_print_a4.h"

#include "label_text.h"

namespace kestova {

namespace {

const LabelFont Song{QStringLiteral("宋体"), 10.5, false};
const LabelFont SongTitle{QStringLiteral("宋体"), 14.25, true};
const LabelFont SongRemark{QStringLiteral("宋体"), 9, false};

LayoutItem Label(const QString &name, const QString &text, int left, int top, int width, int height,
                 Qt::Alignment alignment = Qt::AlignLeft, const LabelFont &font = Song)
{
    return LayoutItem{ItemKind::Label, name, left, top, width, height, text, alignment, font};
}

LayoutItem Field(const QString &name, int left, int top, int width, int height,
                 Qt::Alignment alignment = Qt::AlignLeft, const LabelFont &font = Song)
{
    return Label(name, QString(), left, top, width, height, alignment, font);
}

LayoutItem Rect(const QString &name, int left, int top, int width, int height)
{
    return LayoutItem{ItemKind::Rectangle, name, left, top, width, height, {}, Qt::AlignLeft, {}};
}

LayoutItem VRule(const QString &name, int x, int top, int bottom)
{
    return LayoutItem{ItemKind::Line, name, x, top, 0, bottom - top, {}, Qt::AlignLeft, {}};
}

LayoutItem HRule(const QString &name, int y, int left, int right)
{
    return LayoutItem{ItemKind::Line, name, left, y, right - left, 0, {}, Qt::AlignLeft, {}};
}

QList<LayoutItem> MakeLayout()
{
    using namespace PrintA4;
    QList<LayoutItem> c;

    c << Label(QStringLiteral("lblTitle"), QStringLiteral("冲印单"), 4110, 75, 2835, 300, Qt::AlignHCenter,
               SongTitle);

    c << Rect(QStringLiteral("shpOuter"), 0, 480, 11340, 4035);
    c << Rect(QStringLiteral("shpBandMember"), 0, 480, 11340, 270);
    c << Rect(QStringLiteral("shpBandStaff"), 0, 750, 11340, 270);
    c << Rect(QStringLiteral("shpBandColumns"), 0, 1020, 11340, 270);
    for (int n = 1; n <= Rows; ++n)
        c << Rect(QStringLiteral("shpRow%1").arg(n), 0, 1290 + 270 * (n - 1), 8535, 270);

    c << VRule(QStringLiteral("linService"), 1470, 495, 4515);
    c << VRule(QStringLiteral("linLength"), 2865, 1020, 3990);
    c << VRule(QStringLiteral("linWidthTop"), 4275, 480, 1035);
    c << VRule(QStringLiteral("linWidth"), 4275, 1020, 3975);
    c << VRule(QStringLiteral("linAmountTop"), 5670, 480, 1020);
    c << VRule(QStringLiteral("linAmount"), 5670, 1035, 3990);
    c << VRule(QStringLiteral("linArea"), 7110, 495, 3990);
    c << VRule(QStringLiteral("linMoney"), 8535, 495, 4515);
    c << VRule(QStringLiteral("linSignature"), 9825, 4005, 4515);
    c << HRule(QStringLiteral("linAppendBottom"), 3990, 8550, 11340);

    c << Label(QStringLiteral("lblMemberName"), QStringLiteral("客户名称"), 240, 510, 915, 225);
    c << Label(QStringLiteral("lblSumDate"), QStringLiteral("开单日期"), 4515, 510, 960, 225);
    c << Label(QStringLiteral("lblNoteNumber"), QStringLiteral("单号"), 7545, 510, 510, 225);
    c << Label(QStringLiteral("lblMaker"), QStringLiteral("制作"), 390, 780, 510, 225);
    c << Label(QStringLiteral("lblColour"), QStringLiteral("调色"), 4740, 780, 510, 225);
    c << Label(QStringLiteral("lblSorter"), QStringLiteral("理件"), 7545, 780, 510, 225);
    c << Label(QStringLiteral("lblServiceName"), QStringLiteral("品名规格"), 225, 1035, 960, 225);
    const UnitCaptions units = CaptionsFor(LengthUnit::Centimetre, AreaUnit::SquareMetre);
    c << Label(LengthCaption, units.length, 1875, 1035, 690, 225);
    c << Label(WidthCaption, units.width, 3285, 1050, 720, 225);
    c << Label(QStringLiteral("lblPhotoAmount"), QStringLiteral("数量"), 4755, 1050, 525, 225);
    c << Label(AreaCaption, units.area, 5955, 1050, 915, 225);
    c << Label(QStringLiteral("lblMoney"), QStringLiteral("金额"), 7545, 1050, 540, 225);
    c << Label(QStringLiteral("lblAppend"), QStringLiteral("附加"), 9720, 1050, 540, 225);
    c << Label(QStringLiteral("lblRemark"), QStringLiteral("备注"), 540, 4155, 495, 240);
    c << Label(QStringLiteral("lblSignature"), QStringLiteral("客户签名"), 8700, 4170, 960, 240);

    c << Field(MemberName, 1500, 510, 2745, 225);
    c << Field(SumDate, 5700, 510, 1365, 225);
    c << Field(NoteNumber, 8580, 510, 2730, 225, Qt::AlignHCenter);
    for (int n = 1; n <= Rows; ++n) {
        const int top = 1320 + 270 * (n - 1);
        c << Field(RowField(ServiceName, n), 0, top, 1410, 225, Qt::AlignHCenter);
        c << Field(RowField(PhotoHeight, n), 1500, top, 1305, 225, Qt::AlignHCenter);
        c << Field(RowField(PhotoWidth, n), 2895, top, 1350, 225, Qt::AlignHCenter);
        c << Field(RowField(PhotoAmount, n), 4305, top, 1335, 225, Qt::AlignHCenter);
        c << Field(RowField(PhotoArea, n), 5715, top, 1365, 225, Qt::AlignHCenter);
        c << Field(RowField(Money, n), 7140, top, 1365, 225, Qt::AlignHCenter);
    }
    c << Field(Append, 8580, 1320, 2730, 2625);
    c << Field(Remark, 1515, 4035, 6960, 435, Qt::AlignLeft, SongRemark);
    return c;
}

} // namespace

UnitCaptions CaptionsFor(LengthUnit length, AreaUnit area)
{
    const QString unit = UnitText(length);
    return UnitCaptions{
        QStringLiteral("长(%1)").arg(unit),
        QStringLiteral("宽(%1)").arg(unit),
        area == AreaUnit::SquareMetre ? QStringLiteral("面积(㎡)") : QStringLiteral("面积(cm²)"),
    };
}

bool RemarkFits(const QString &remark)
{
    for (const LayoutItem &item : OrderPageLayout()) {
        if (item.name == PrintA4::Remark)
            return LabelTakesWhole(item, remark);
    }
    return true;
}

const QList<LayoutItem> &OrderPageLayout()
{
    static const QList<LayoutItem> layout = MakeLayout();
    return layout;
}

} // namespace kestova
