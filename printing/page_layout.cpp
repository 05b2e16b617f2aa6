// Mapping twips onto a target and drawing a layout's items.
#include "page_layout.h"

#include "label_text.h"

#include <QFont>
#include <QFontDatabase>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace kestova {

namespace {

constexpr double TwipsPerInch = 1440.0;
// Rules are one screen pixel (15 twips) wide, as the layout was drawn.
constexpr double RuleTwips = 15.0;

} // namespace

TwipsMap TwipsMap::For(const QRectF &area, const QSizeF &dpi, int layoutWidth)
{
    TwipsMap map;
    const double exactWidth = layoutWidth * dpi.width() / TwipsPerInch;
    map.fit = exactWidth > area.width() && exactWidth > 0 ? area.width() / exactWidth : 1.0;
    map.sx = dpi.width() / TwipsPerInch * map.fit;
    map.sy = dpi.height() / TwipsPerInch * map.fit;
    map.origin = QPointF(area.left() + (area.width() - layoutWidth * map.sx) / 2, area.top());
    return map;
}

void DrawItems(QPainter &painter, const TwipsMap &map, const QList<LayoutItem> &items)
{
    InstallSongFontSubstitution();
    const QPen rule(Qt::black, RuleTwips * map.sx, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    for (const LayoutItem &item : items) {
        switch (item.kind) {
        case ItemKind::Label:
            if (!item.text.isEmpty()) {
                DrawLabelText(painter, item.text, item.font, item.alignment,
                              map.Rect(item.left, item.top, item.width, item.height), map.sx, map.sy, map.fit);
            }
            break;
        case ItemKind::Line:
            painter.setPen(rule);
            painter.drawLine(map.Point(item.left, item.top),
                             map.Point(item.left + item.width, item.top + item.height));
            break;
        case ItemKind::Rectangle:
            painter.setPen(rule);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(map.Rect(item.left, item.top, item.width, item.height));
            break;
        }
    }
}

void InstallSongFontSubstitution()
{
    static const bool installed = [] {
        const QStringList song = {QStringLiteral("宋体"), QStringLiteral("SimSun")};
        if (std::any_of(song.begin(), song.end(), [](const QString &f) { return QFontDatabase::hasFamily(f); }))
            return true;
        const QStringList standIns = {
            QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
            QStringLiteral("Source Han Serif CN"), QStringLiteral("AR PL UMing CN"),
        };
        for (const QString &face : standIns) {
            if (QFontDatabase::hasFamily(face)) {
                for (const QString &name : song)
                    QFont::insertSubstitution(name, face);
                return true;
            }
        }
        return false;
    }();
    (void)installed;
}

} // namespace kestova
