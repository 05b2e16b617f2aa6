// The program's own pictures: the five toolbar pictures (24 × 24, in button
// order) and the window icon, drawn from small SVG texts.
#pragma once

#include <QIcon>

namespace kestova {

constexpr int ToolbarIconSize = 24;

// position 1 … 5: 统计图片, 导出, 打印, 参数, 退出.
QIcon ToolbarIcon(int position);
QIcon ProgramIcon();

} // namespace kestova
