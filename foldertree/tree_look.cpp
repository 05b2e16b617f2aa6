// Look rules of the folder tree control.
#include "tree_look.h"

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

} // namespace kestova
