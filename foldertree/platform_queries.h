// The Windows version and visual-style answers of the folder tree control.
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

} // namespace kestova
