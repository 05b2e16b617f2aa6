// The A4 order page: its layout as data, the names of the fields a page
// fills in, the unit captions and what the remark field takes.
#pragma once

#include "numbers.h"
#include "page_layout.h"

#include <QString>

namespace kestova {

// Every item of the page in drawing order; fields are labels without text.
const QList<LayoutItem> &OrderPageLayout();

// The captions of the length, width and area columns, naming the units the
// figures below them were counted in; centimetres and square metres give
// those of the layout.
struct UnitCaptions {
    QString length;
    QString width;
    QString area;
};
UnitCaptions CaptionsFor(LengthUnit length, AreaUnit area);

// Whether the remark prints whole in its field (at the smallest size the
// field allows); the print information dialog accepts no more.
bool RemarkFits(const QString &remark);

namespace PrintA4 {

inline constexpr int WidthTwips = 11355;
// Table rows on a page: sizes, and the total row on the last page.
inline constexpr int Rows = 10;

inline const QString NoteNumber = QStringLiteral("NoteNumber");
inline const QString MemberName = QStringLiteral("MemberName");
inline const QString Remark = QStringLiteral("Remark");
inline const QString SumDate = QStringLiteral("SumDate");
inline const QString Append = QStringLiteral("Append");

// The captions over the length, width and area columns.
inline const QString LengthCaption = QStringLiteral("lblPhotoHeight");
inline const QString WidthCaption = QStringLiteral("lblPhotoWidth");
inline const QString AreaCaption = QStringLiteral("lblPhotoArea");

// The five field families of a size row, in column order.
inline const QString ServiceName = QStringLiteral("ServiceName");
inline const QString PhotoHeight = QStringLiteral("PhotoHeight");
inline const QString PhotoWidth = QStringLiteral("PhotoWidth");
inline const QString PhotoAmount = QStringLiteral("PhotoAmount");
inline const QString PhotoArea = QStringLiteral("PhotoArea");
// The amount of a size row, under 金额.
inline const QString Money = QStringLiteral("Money");

// "PhotoArea" and 3 give "PhotoArea3".
inline QString RowField(const QString &family, int row)
{
    return family + QString::number(row);
}

} // namespace PrintA4
} // namespace kestova
