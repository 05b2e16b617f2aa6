// Fitting label text: trial layouts at falling sizes, then drawing.
#include "label_text.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace kestova {

namespace {

constexpr double TwipsPerPoint = 20.0;

QString LayoutText(QString text, bool oneLine)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(u'\n', oneLine ? QChar(u' ') : QChar::LineSeparator);
    return text;
}

QFont FontAt(const LabelFont &font, double points, double scale)
{
    QFont qfont(font.face);
    qfont.setPointSizeF(points * scale);
    qfont.setBold(font.bold);
    // Neither Chinese nor Latin text needs shaping, and shaped glyphs (the
    // digits of a Latin run in Noto CJK) lose their characters in a PDF.
    qfont.setStyleStrategy(QFont::PreferNoShaping);
    // Unhinted advances scale with the size: what fits at one resolution
    // fits at another.
    qfont.setHintingPreference(QFont::PreferNoHinting);
    return qfont;
}

QTextOption Option(Qt::Alignment alignment)
{
    QTextOption option(alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

struct Trial {
    int lines = 0;
    double widest = 0;
    int lastLineStart = 0;  // where the last line allowed begins
};

// Lays the text out at `width`, stopping after maxLines + 1 lines.
Trial TryLayout(const QString &text, const QFont &font, QPaintDevice *device, double width, int maxLines)
{
    QTextLayout layout(text, font, device);
    layout.setTextOption(Option(Qt::AlignLeft));
    Trial trial;
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (++trial.lines > maxLines)
            break;
        if (trial.lines == maxLines)
            trial.lastLineStart = line.textStart();
        trial.widest = std::max(trial.widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return trial;
}

QImage &TwipsDevice()
{
    // One device unit per twip.
    static QImage image = [] {
        QImage i(1, 1, QImage::Format_RGB32);
        i.setDotsPerMeterX(qRound(1440 / 0.0254));
        i.setDotsPerMeterY(qRound(1440 / 0.0254));
        return i;
    }();
    return image;
}

} // namespace

LabelFit FitLabelText(const QString &raw, const LabelFont &font, const QRectF &box, QPaintDevice *device,
                      double twipX, double twipY, double scale)
{
    LabelFit fit;
    fit.points = font.points;
    const double heightTwips = box.height() / twipY;
    const auto linesAt = [heightTwips](double points) {
        return std::max(1, int(std::floor(heightTwips / (points * TwipsPerPoint * LinePitchEm) + 1e-6)));
    };
    const int designLines = linesAt(font.points);
    const bool oneLineBox = designLines == 1;
    fit.text = LayoutText(raw, oneLineBox);
    if (fit.text.isEmpty())
        return fit;

    const double inner = box.width() - 2 * FitInsetTwips * twipX;
    const QFont design = FontAt(font, font.points, scale);
    if (TryLayout(fit.text, design, device, inner, designLines).lines <= designLines) {
        fit.lines = designLines;
        return fit;
    }
    fit.atDesign = false;

    // Candidate sizes: the design's, then each size that gives the box one
    // more line; a one-line box stops at two.
    const int lastLines = oneLineBox ? 2 : std::max(designLines, int(std::floor(heightTwips / (MinPoints * TwipsPerPoint * LinePitchEm))));
    double points = font.points;
    for (int lines = designLines; lines <= lastLines; ++lines) {
        points = lines == designLines ? font.points : heightTwips / (lines * TwipsPerPoint * LinePitchEm);
        const QFont qfont = FontAt(font, points, scale);
        const Trial plain = TryLayout(fit.text, qfont, device, inner, lines);
        const Trial condensed = plain.lines <= lines ? plain : TryLayout(fit.text, qfont, device, inner / MinCondense, lines);
        if (condensed.lines <= lines) {
            fit.points = points;
            fit.lines = lines;
            fit.condense = std::clamp(inner / std::max(condensed.widest, 1.0), MinCondense, 1.0);
            return fit;
        }
    }

    // Still too long at the smallest size: the last line ends in "…".
    const QFont qfont = FontAt(font, points, scale);
    const Trial full = TryLayout(fit.text, qfont, device, inner / MinCondense, lastLines);
    QString rest = fit.text.mid(full.lastLineStart);
    rest.replace(QChar::LineSeparator, u' ');
    const QFontMetricsF metrics(qfont, device);
    fit.text = fit.text.left(full.lastLineStart) + metrics.elidedText(rest, Qt::ElideRight, inner / MinCondense);
    const Trial cut = TryLayout(fit.text, qfont, device, inner / MinCondense, lastLines);
    fit.points = points;
    fit.lines = lastLines;
    fit.condense = std::clamp(inner / std::max(cut.widest, 1.0), MinCondense, 1.0);
    fit.cut = true;
    return fit;
}

void DrawLabelText(QPainter &painter, const QString &text, const LabelFont &font, Qt::Alignment alignment,
                   const QRectF &box, double twipX, double twipY, double scale)
{
    const LabelFit fit = FitLabelText(text, font, box, painter.device(), twipX, twipY, scale);
    if (fit.text.isEmpty())
        return;
    const double inset = fit.atDesign ? 0 : FitInsetTwips * twipX;
    const double width = (box.width() - 2 * inset) / fit.condense;
    const double em = fit.points * TwipsPerPoint * twipY;

    QTextLayout layout(fit.text, FontAt(font, fit.points, scale), painter.device());
    layout.setTextOption(Option(alignment));
    layout.beginLayout();
    for (int n = 0; n < fit.lines; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, n * em * LinePitchEm + em * BaselineEm - line.ascent()));
    }
    layout.endLayout();

    painter.save();
    painter.setClipRect(box, Qt::IntersectClip);
    painter.setPen(Qt::black);
    painter.translate(box.left() + inset, box.top());
    painter.scale(fit.condense, 1.0);
    layout.draw(&painter, QPointF(0, 0));
    painter.restore();
}

bool LabelTakesWhole(const LayoutItem &label, const QString &text)
{
    // 2 % narrower than the box: a printer's device may round advances
    // differently from this measurement.
    const QRectF box(0, 0, label.width * 0.98, label.height);
    return !FitLabelText(text, label.font, box, &TwipsDevice(), 1.0, 1.0, 1.0).cut;
}

} // namespace kestova
