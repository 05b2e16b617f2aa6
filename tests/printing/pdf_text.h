// Reading printed orders back from PDF files with poppler's pdftotext, and
// finding what stands in each cell of an rptPrintA4 page.
#pragma once

#include "numbers.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace kestova {
class PhotoStore;
}

namespace kestova::test {

// The totals of a small order in the store: one size, 3 photos, 0.05 m²,
// and the total row, from a completed count. False when the store refused
// them.
bool PutSmallOrder(PhotoStore &store);
// Marks the store's totals as those of a completed count of `folder` in the
// given units, as a count does.
bool MarkCounted(PhotoStore &store, const QString &folder = QStringLiteral("/照片/客户"),
                 LengthUnit sizeUnit = LengthUnit::Centimetre, AreaUnit areaUnit = AreaUnit::SquareMetre);

// False when pdftotext is not installed (tests then skip).
bool HavePdfToText();

// The pages of `pdftotext -layout`, one string each.
QStringList PdfLayoutPages(const QString &pdf);

struct PdfWord {
    int page = 0;   // from 0
    QString text;
    QRectF box;     // points from the page's top-left
};
// The words of `pdftotext -bbox`.
QList<PdfWord> PdfWords(const QString &pdf);

// One printed order page, read by position. Positions are found relative to
// the caption "品名规格" (left 225, top 1035 twips); a PDF target maps twips
// to points exactly, 20 to a point.
class OrderPage
{
public:
    OrderPage() = default;
    OrderPage(const QList<PdfWord> &words, int page);

    bool valid() const { return m_valid; }
    // The words whose centre lies between left and left + width and whose
    // top is that of a label at `top`, joined by blanks.
    QString TextIn(int left, int top, int width) const;
    // The cell of a size row: family is "ServiceName", "PhotoHeight", ...
    QString Cell(int row, const QString &family) const;
    QString NoteNumber() const { return TextIn(8580, 510, 2730); }
    QString MemberName() const { return TextIn(1500, 510, 2745); }
    QString SumDate() const { return TextIn(5700, 510, 1365); }
    QString Remark() const { return TextIn(1515, 4035, 6960); }
    QString Append() const;

    // The words whose centre lies in the box, boxes in twips of the design,
    // top to bottom, then left to right.
    QList<PdfWord> WordsIn(const QRectF &twips) const;
    // Their text joined without blanks or breaks: a text set on more lines
    // than one reads back whole.
    QString JoinedIn(const QRectF &twips) const;

private:
    QList<PdfWord> m_words;
    QPointF m_anchor;
    bool m_valid = false;
};

} // namespace kestova::test
