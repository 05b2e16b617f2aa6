// The program's title, shown on the printing messages.
#pragma once

#include <QString>

namespace kestova {

inline const QString AppTitle = QStringLiteral("Kestova图片统计");

} // namespace kestova
