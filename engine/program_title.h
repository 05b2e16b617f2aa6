// The program's title: the main window's caption and the title of messages
// that carry no title of their own.
#pragma once

#include <QString>

namespace kestova {

inline const QString ProgramTitle = QStringLiteral("Kestova图片统计");

} // namespace kestova
