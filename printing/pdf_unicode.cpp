// Mending the ToUnicode maps of Qt's PDF output.
#include "pdf_unicode.h"

#include "page_layout.h"

#include <QFont>
#include <QHash>
#include <QRawFont>

namespace kestova {

namespace {

// Radical → the ideograph drawn with the same glyph of the Song face. A real
// SimSun has no radicals and gives an empty table.
const QHash<char16_t, char16_t> &RadicalIdeographs()
{
    static const QHash<char16_t, char16_t> table = [] {
        InstallSongFontSubstitution();
        const QRawFont font = QRawFont::fromFont(QFont(QStringLiteral("宋体")));
        QHash<char16_t, char16_t> map;
        if (!font.isValid())
            return map;
        QHash<quint32, char16_t> ideographByGlyph;
        QString ideographs;
        for (char16_t c = 0x4E00; c <= 0x9FFF; ++c)
            ideographs += QChar(c);
        const QList<quint32> glyphs = font.glyphIndexesForString(ideographs);
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            if (glyphs[i] != 0 && !ideographByGlyph.contains(glyphs[i]))
                ideographByGlyph.insert(glyphs[i], char16_t(0x4E00 + i));
        }
        // CJK Radicals Supplement and Kangxi Radicals.
        for (char16_t r = 0x2E80; r <= 0x2FDF; ++r) {
            const QList<quint32> g = font.glyphIndexesForString(QString(QChar(r)));
            const auto found = g.isEmpty() ? ideographByGlyph.constEnd() : ideographByGlyph.constFind(g.first());
            if (found != ideographByGlyph.constEnd())
                map.insert(r, *found);
        }
        return map;
    }();
    return table;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The four hex digits of "<XXXX>" at `at` as a number, or -1.
int HexCode(const QByteArray &pdf, qsizetype at)
{
    if (at + 6 > pdf.size() || pdf[at] != '<' || pdf[at + 5] != '>')
        return -1;
    int value = 0;
    for (int i = 1; i <= 4; ++i) {
        const int d = HexDigit(pdf[at + i]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

void PutHexCode(QByteArray &pdf, qsizetype at, int value)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 4; i >= 1; --i, value >>= 4)
        pdf[at + i] = digits[value & 15];
}

// One line of a bfrange section: "<g0> <g1> <u>" maps the glyphs g0..g1 to
// u, u+1, ...; "<g0> <g1> [<u> <u> ...]" lists one code per glyph. Only a
// range of one glyph or a list can be mended without touching its
// neighbours (Qt writes longer ranges only for ten or more glyphs in code
// point order, which radicals never are).
int MendRangeLine(QByteArray &pdf, qsizetype begin, qsizetype end)
{
    const QHash<char16_t, char16_t> &table = RadicalIdeographs();
    const int first = HexCode(pdf, begin);
    const int last = HexCode(pdf, begin + 7);
    if (first < 0 || last < 0)
        return 0;
    qsizetype at = begin + 14;
    const bool list = at < end && pdf[at] == '[';
    if (!list && first != last)
        return 0;
    int mended = 0;
    for (at = list ? at + 1 : at; at < end; ++at) {
        if (pdf[at] != '<')
            continue;
        const int code = HexCode(pdf, at);
        const auto found = code < 0 ? table.constEnd() : table.constFind(char16_t(code));
        if (found != table.constEnd()) {
            PutHexCode(pdf, at, *found);
            ++mended;
        }
        at += 5;
        if (!list)
            break;
    }
    return mended;
}

} // namespace

int MendPdfText(QByteArray &pdf)
{
    static const QByteArray begin("beginbfrange\n");
    static const QByteArray end("endbfrange");
    int mended = 0;
    for (qsizetype section = pdf.indexOf(begin); section >= 0; section = pdf.indexOf(begin, section)) {
        section += begin.size();
        const qsizetype sectionEnd = pdf.indexOf(end, section);
        if (sectionEnd < 0)
            break;
        for (qsizetype line = section; line < sectionEnd;) {
            qsizetype lineEnd = pdf.indexOf('\n', line);
            if (lineEnd < 0 || lineEnd > sectionEnd)
                lineEnd = sectionEnd;
            mended += MendRangeLine(pdf, line, lineEnd);
            line = lineEnd + 1;
        }
        section = sectionEnd;
    }
    return mended;
}

} // namespace kestova
