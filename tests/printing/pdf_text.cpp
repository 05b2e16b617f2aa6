// pdftotext wrappers and the order page reader.
#include "pdf_text.h"

#include "photo_store.h"
#include "store_connection.h"

#include <QDateTime>
#include <QSqlQuery>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace kestova::test {

namespace {

QString Run(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Twips boxes of the five row fields.
struct Column {
    QString family;
    int left;
    int width;
};
const Column Columns[] = {
    {QStringLiteral("ServiceName"), 0, 1410},   {QStringLiteral("PhotoHeight"), 1500, 1305},
    {QStringLiteral("PhotoWidth"), 2895, 1350}, {QStringLiteral("PhotoAmount"), 4305, 1335},
    {QStringLiteral("PhotoArea"), 5715, 1365}, {QStringLiteral("Money"), 7140, 1365},
};

} // namespace

bool PutSmallOrder(PhotoStore &store)
{
    QSqlQuery q(StoreConnection::Of(store));
    return q.exec(QStringLiteral("INSERT INTO PhotoTotal VALUES('15.24*10.16',3,0.05)")) && store.InsertGrandTotal(2)
        && MarkCounted(store);
}

bool MarkCounted(PhotoStore &store, const QString &folder, LengthUnit sizeUnit, AreaUnit areaUnit)
{
    const CountRecord record{folder, QDateTime(QDate(2026, 12, 8), QTime(10, 0)), sizeUnit, areaUnit, 2, 4, false};
    return store.BeginCount(record) && store.CompleteCount();
}

bool HavePdfToText()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

QStringList PdfLayoutPages(const QString &pdf)
{
    QStringList pages = Run({QStringLiteral("-layout"), pdf, QStringLiteral("-")}).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QList<PdfWord> PdfWords(const QString &pdf)
{
    const QString html = Run({QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression token(
        QStringLiteral(R"re(<page\b|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<PdfWord> words;
    int page = -1;
    for (auto it = token.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        QString text = m.captured(5);
        text.replace(QLatin1String("&lt;"), QLatin1String("<"))
            .replace(QLatin1String("&gt;"), QLatin1String(">"))
            .replace(QLatin1String("&quot;"), QLatin1String("\""))
            .replace(QLatin1String("&amp;"), QLatin1String("&"));
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        words.append({page, text, QRectF(topLeft, bottomRight)});
    }
    return words;
}

OrderPage::OrderPage(const QList<PdfWord> &words, int page)
{
    for (const PdfWord &w : words) {
        if (w.page != page)
            continue;
        m_words.append(w);
        if (w.text == QStringLiteral("品名规格")) {
            m_anchor = w.box.topLeft();
            m_valid = true;
        }
    }
}

QString OrderPage::TextIn(int left, int top, int width) const
{
    QList<PdfWord> hits;
    for (const PdfWord &w : m_words) {
        const double centreX = (w.box.center().x() - m_anchor.x()) * 20 + 225;
        const double wordTop = (w.box.top() - m_anchor.y()) * 20 + 1035;
        if (centreX >= left && centreX <= left + width && std::abs(wordTop - top) < 60)
            hits.append(w);
    }
    std::sort(hits.begin(), hits.end(), [](const PdfWord &a, const PdfWord &b) { return a.box.left() < b.box.left(); });
    QStringList texts;
    for (const PdfWord &w : hits)
        texts << w.text;
    return texts.join(u' ');
}

QString OrderPage::Cell(int row, const QString &family) const
{
    for (const Column &c : Columns) {
        if (c.family == family)
            return TextIn(c.left, 1320 + 270 * (row - 1), c.width);
    }
    return QStringLiteral("<no column %1>").arg(family);
}

QList<PdfWord> OrderPage::WordsIn(const QRectF &twips) const
{
    QList<PdfWord> hits;
    for (const PdfWord &w : m_words) {
        const QPointF topLeft = (w.box.topLeft() - m_anchor) * 20 + QPointF(225, 1035);
        const QRectF box(topLeft, w.box.size() * 20);
        if (twips.contains(box.center()))
            hits.append({w.page, w.text, box});
    }
    std::sort(hits.begin(), hits.end(), [](const PdfWord &a, const PdfWord &b) {
        return std::abs(a.box.top() - b.box.top()) > 20 ? a.box.top() < b.box.top() : a.box.left() < b.box.left();
    });
    return hits;
}

QString OrderPage::JoinedIn(const QRectF &twips) const
{
    QString text;
    for (const PdfWord &w : WordsIn(twips))
        text += w.text;
    return text;
}

QString OrderPage::Append() const
{
    // The append block is set in lines one em (210 twips) apart.
    QStringList lines;
    for (int top = 1320; top + 210 <= 1320 + 2625; top += 210) {
        const QString line = TextIn(8580, top, 2730);
        if (!line.isEmpty())
            lines << line;
    }
    return lines.join(u'\n');
}

} // namespace kestova::test
