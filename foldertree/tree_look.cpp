// Look rules of the folder tree control.
#include "tree_look.h"

#include <QApplication>
#include <QPalette>

#include <array>

namespace kestova {

quint32 BorderColor(int theme, const QString &schemeName, bool enabled)
{
    if (!enabled)
        return ColorDisabledFrame;
    switch (theme) {
    case 0:
        if (schemeName == QLatin1String("NormalColor") || schemeName == QLatin1String("Metallic"))
            return ColorBlueFrame;
        if (schemeName == QLatin1String("HomeStead"))
            return ColorOliveFrame;
        return 0;
    case 2:
    case 4:
        return ColorBlueFrame;
    case 3:
        return ColorOliveFrame;
    default:
        return 0;
    }
}

int ForcedAppearance(const QString &schemeName, int theme, int appearance)
{
    if (schemeName == QLatin1String("None") || theme == 1)
        return 1;
    if (theme != 5)
        return 0;
    return appearance;
}

QColor BgrToQColor(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

quint32 QColorToBgr(const QColor &color)
{
    return quint32(color.red()) | quint32(color.green()) << 8 | quint32(color.blue()) << 16;
}

qint32 TranslateColor(qint32 color)
{
    const auto value = quint32(color);
    switch (value >> 24) {
    case 0x00:
    case 0x02:
        return qint32(value & 0xFFFFFF);
    case 0x01: {
        // The platform's default palette: its 20 static colours.
        static constexpr std::array<quint32, 20> defaults = {
            0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0, 0xC0DCC0, 0xF0CAA6,
            0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
        const quint32 index = value & 0xFFFFFF;
        return index < defaults.size() ? qint32(defaults[index]) : -1;
    }
    case 0x80: {
        // Index of a system colour to the palette role that plays its part.
        struct Role { QPalette::ColorGroup group; QPalette::ColorRole role; };
        static constexpr std::array<Role, 31> roles = {{
            {QPalette::Active, QPalette::Button},           // 0 scroll bar
            {QPalette::Active, QPalette::Dark},             // 1 desktop
            {QPalette::Active, QPalette::Highlight},        // 2 active caption
            {QPalette::Inactive, QPalette::Highlight},      // 3 inactive caption
            {QPalette::Active, QPalette::Window},           // 4 menu
            {QPalette::Active, QPalette::Base},             // 5 window
            {QPalette::Active, QPalette::Shadow},           // 6 window frame
            {QPalette::Active, QPalette::WindowText},       // 7 menu text
            {QPalette::Active, QPalette::Text},             // 8 window text
            {QPalette::Active, QPalette::HighlightedText},  // 9 caption text
            {QPalette::Active, QPalette::Button},           // 10 active border
            {QPalette::Inactive, QPalette::Button},         // 11 inactive border
            {QPalette::Active, QPalette::Dark},             // 12 application workspace
            {QPalette::Active, QPalette::Highlight},        // 13 highlight
            {QPalette::Active, QPalette::HighlightedText},  // 14 highlight text
            {QPalette::Active, QPalette::Button},           // 15 button face
            {QPalette::Active, QPalette::Dark},             // 16 button shadow
            {QPalette::Disabled, QPalette::Text},           // 17 grey text
            {QPalette::Active, QPalette::ButtonText},       // 18 button text
            {QPalette::Inactive, QPalette::HighlightedText},// 19 inactive caption text
            {QPalette::Active, QPalette::Light},            // 20 button highlight
            {QPalette::Active, QPalette::Shadow},           // 21 3-D dark shadow
            {QPalette::Active, QPalette::Midlight},         // 22 3-D light
            {QPalette::Active, QPalette::ToolTipText},      // 23 info text
            {QPalette::Active, QPalette::ToolTipBase},      // 24 info background
            {QPalette::Active, QPalette::NoRole},           // 25 not a system colour
            {QPalette::Active, QPalette::Link},             // 26 hot light
            {QPalette::Active, QPalette::Highlight},        // 27 gradient active caption
            {QPalette::Inactive, QPalette::Highlight},      // 28 gradient inactive caption
            {QPalette::Active, QPalette::Highlight},        // 29 menu highlight
            {QPalette::Active, QPalette::Window},           // 30 menu bar
        }};
        const quint32 index = value & 0xFFFFFF;
        if (index >= roles.size() || roles[index].role == QPalette::NoRole)
            return -1;
        return qint32(QColorToBgr(QApplication::palette().color(roles[index].group, roles[index].role)));
    }
    default:
        return -1;
    }
}

} // namespace kestova
