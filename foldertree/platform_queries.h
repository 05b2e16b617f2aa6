// What the folder tree control asks of the platform: version tests, the
// visual style's colour-scheme name, export lookups, mouse-leave tracking
// and the translation of system and palette colours.
#pragma once

#include <QString>

namespace kestova {

// Exact version tests: Windows 2000 (5.0), Windows XP (5.1, build 2600 or
// later). Every other system, later Windows versions included, answers false.
bool IsWin2K();
bool IsWinXP();

// The colour-scheme name of the current visual style: "None" unless the
// system is Windows XP or when the name is empty; "UxTheme_Error" when the
// query fails.
QString ThemeColorName();
// The scheme text as the platform hands it back in a buffer: up to and
// including its last NUL, NULs removed, blanks trimmed; empty gives "None".
QString SchemeNameFromBuffer(const QString &buffer);

// Whether the library exports the function; loads the library only for the
// question when it is not loaded already.
bool HasExport(const QString &library, const char *function);

// Whether the platform reports the mouse leaving a widget. Qt reports it
// (QEvent::Leave) on every windowing system; on Windows the answer comes
// from the exports the platform's own tracking needs.
bool PlatformTracksLeave();

// A system colour (0x80000000 | index), a palette index (0x01000000 | index,
// the 20-colour default palette) or a plain or palette-relative RGB value
// (high byte 0 or 2) as a 0xBBGGRR value; -1 for anything else. System
// colours come from the application's palette.
qint32 TranslateColor(qint32 color);

} // namespace kestova
