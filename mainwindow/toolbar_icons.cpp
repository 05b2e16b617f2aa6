// The program's pictures. Each is an SVG drawn on a 24-unit grid with
// outlines on whole and half units, so that it stays sharp at 24 pixels.
#include "toolbar_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace kestova {

namespace {

// 统计图片: a photo with a bar chart in front of it.
const char CountSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">
<rect x="1.5" y="2.5" width="17" height="13" rx="1" fill="#ffffff" stroke="#3b5b85"/>
<rect x="3" y="4" width="14" height="10" fill="#bfe1ff"/>
<circle cx="13.5" cy="6.5" r="1.5" fill="#f5b400"/>
<path d="M3 14 L7.5 8.5 L10.5 12 L12.5 10 L17 14 Z" fill="#3f9b4a"/>
<rect x="11.5" y="15.5" width="3" height="7" fill="#e8702a" stroke="#9c4310"/>
<rect x="15.5" y="12.5" width="3" height="10" fill="#2f7fd8" stroke="#1c4f8a"/>
<rect x="19.5" y="9.5" width="3" height="13" fill="#2fae5a" stroke="#1d6d38"/>
</svg>)svg";

// 导出: a text page with an arrow leaving it.
const char ExportSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">
<path d="M3.5 1.5 H12.5 L16.5 5.5 V22.5 H3.5 Z" fill="#ffffff" stroke="#55606e"/>
<path d="M12.5 1.5 V5.5 H16.5" fill="#dfe4ea" stroke="#55606e"/>
<path d="M6 9.5 H13 M6 12.5 H11 M6 15.5 H13 M6 18.5 H10" stroke="#7d8896"/>
<path d="M12 14.5 H18 V11 L23 16 L18 21 V17.5 H12 Z" fill="#2fae5a" stroke="#1d6d38" stroke-linejoin="round"/>
</svg>)svg";

// 打印: a printer with a sheet coming out.
const char PrintSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">
<rect x="6.5" y="1.5" width="11" height="7" fill="#ffffff" stroke="#55606e"/>
<rect x="1.5" y="8.5" width="21" height="9" rx="1.5" fill="#8a96a6" stroke="#3d4652"/>
<rect x="4" y="10.5" width="2" height="1.5" fill="#2fd15a"/>
<rect x="6.5" y="14.5" width="11" height="8" fill="#ffffff" stroke="#55606e"/>
<path d="M8.5 17.5 H15.5 M8.5 19.5 H13.5" stroke="#7d8896"/>
</svg>)svg";

// 参数: a gear.
const char SettingsSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">
<path fill="#7b8794" stroke="#3d4652" stroke-linejoin="round" d="
M10.5 1.5 H13.5 L14.1 4.4 L16.1 5.3 L18.6 3.7 L20.3 5.4 L18.7 7.9 L19.6 9.9 L22.5 10.5 V13.5 L19.6 14.1
L18.7 16.1 L20.3 18.6 L18.6 20.3 L16.1 18.7 L14.1 19.6 L13.5 22.5 H10.5 L9.9 19.6 L7.9 18.7 L5.4 20.3
L3.7 18.6 L5.3 16.1 L4.4 14.1 L1.5 13.5 V10.5 L4.4 9.9 L5.3 7.9 L3.7 5.4 L5.4 3.7 L7.9 5.3 L9.9 4.4 Z"/>
<circle cx="12" cy="12" r="3.5" fill="#ffffff" stroke="#3d4652"/>
</svg>)svg";

// 退出: an open door and an arrow going out.
const char ExitSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">
<rect x="2.5" y="1.5" width="12" height="21" fill="#e9d3b0" stroke="#7a5a2e"/>
<path d="M2.5 1.5 L10.5 4.5 V22.5 L2.5 22.5 Z" fill="#b07a3a" stroke="#6b4719" stroke-linejoin="round"/>
<circle cx="8.5" cy="13" r="1" fill="#f5d26b"/>
<path d="M12 10.5 H17 V7 L22.5 12 L17 17 V13.5 H12 Z" fill="#d9342b" stroke="#8c1a14" stroke-linejoin="round"/>
</svg>)svg";

// The window icon: a stack of photos with a count bar.
const char ProgramSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">
<rect x="0.5" y="0.5" width="23" height="23" rx="4" fill="#1f6fc5"/>
<rect x="6.5" y="3.5" width="14" height="11" fill="#ffffff" stroke="#0e3e73" transform="rotate(8 13.5 9)"/>
<rect x="3.5" y="5.5" width="14" height="11" fill="#ffffff" stroke="#0e3e73"/>
<rect x="5" y="7" width="11" height="8" fill="#bfe1ff"/>
<path d="M5 15 L9 10 L12 13 L13.5 11.5 L16 15 Z" fill="#3f9b4a"/>
<rect x="3.5" y="18.5" width="5" height="3" fill="#f5b400"/>
<rect x="9.5" y="18.5" width="5" height="3" fill="#ffffff"/>
<rect x="15.5" y="18.5" width="5" height="3" fill="#ffffff"/>
</svg>)svg";

QIcon IconFromSvg(const char *svg, std::initializer_list<int> sizes)
{
    QSvgRenderer renderer{QByteArray(svg)};
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon ToolbarIcon(int position)
{
    static const char *const svgs[] = {CountSvg, ExportSvg, PrintSvg, SettingsSvg, ExitSvg};
    if (position < 1 || position > 5)
        return {};
    return IconFromSvg(svgs[position - 1], {ToolbarIconSize, ToolbarIconSize * 2});
}

QIcon ProgramIcon()
{
    return IconFromSvg(ProgramSvg, {16, 24, 32, 48, 64, 128, 256});
}

} // namespace kestova
