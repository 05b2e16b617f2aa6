// The look rules of the folder tree control as plain functions: which
// appearance a theme forces, which colour the flat frame gets, and colour
// values in the platform's encodings.
// Colours are 0xBBGGRR values (blue in the high byte).
#pragma once

#include <QColor>
#include <QString>

namespace kestova {

inline constexpr quint32 ColorBlueFrame = 0xB99D7F;   // "NormalColor", "Metallic", Theme 2 and 4
inline constexpr quint32 ColorOliveFrame = 0x69A18B;  // "HomeStead", Theme 3
inline constexpr quint32 ColorDisabledFrame = 0xC0C0C0;

// The frame colour for a theme and colour-scheme name; a disabled control
// always gets 0xC0C0C0.
quint32 BorderColor(int theme, const QString &schemeName, bool enabled);

// The Appearance that Refresh leaves: 1 (sunken) under the scheme "None" or
// Theme 1, else 0 (flat) unless Theme is 5, which keeps the given value.
int ForcedAppearance(const QString &schemeName, int theme, int appearance);

QColor BgrToQColor(quint32 bgr);
quint32 QColorToBgr(const QColor &color);

// A system colour (0x80000000 | index), a palette index (0x01000000 | index,
// the 20-colour default palette) or a plain or palette-relative RGB value
// (high byte 0 or 2) as a 0xBBGGRR value; -1 for anything else. System
// colours come from the application's palette.
qint32 TranslateColor(qint32 color);

} // namespace kestova
