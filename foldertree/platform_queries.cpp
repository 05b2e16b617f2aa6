// The Windows version and visual-style answers.
#include "platform_queries.h"

#include <QLibrary>
#include <QOperatingSystemVersion>

#include <array>

namespace kestova {

namespace {

bool IsWindowsVersion(int major, int minor, int minimumBuild)
{
    const QOperatingSystemVersion os = QOperatingSystemVersion::current();
    return os.type() == QOperatingSystemVersion::Windows && os.majorVersion() == major
           && os.minorVersion() == minor && os.microVersion() >= minimumBuild;
}

#ifdef Q_OS_WIN
QString QueryThemeColorName()
{
    using GetCurrentThemeNameFn = long(__stdcall *)(wchar_t *, int, wchar_t *, int, wchar_t *, int);
    auto query = reinterpret_cast<GetCurrentThemeNameFn>(QLibrary::resolve(QStringLiteral("uxtheme"), "GetCurrentThemeName"));
    std::array<wchar_t, 255> file{};
    std::array<wchar_t, 255> scheme{};
    if (!query || query(file.data(), int(file.size()), scheme.data(), int(scheme.size()), nullptr, 0) != 0)
        return QStringLiteral("UxTheme_Error");
    return SchemeNameFromBuffer(QString::fromWCharArray(scheme.data(), int(scheme.size())));
}
#endif

} // namespace

bool IsWin2K()
{
    return IsWindowsVersion(5, 0, 0);
}

bool IsWinXP()
{
    return IsWindowsVersion(5, 1, 2600);
}

QString ThemeColorName()
{
    if (!IsWinXP())
        return QStringLiteral("None");
#ifdef Q_OS_WIN
    return QueryThemeColorName();
#else
    return QStringLiteral("None");
#endif
}

QString SchemeNameFromBuffer(const QString &buffer)
{
    QString name = buffer.left(buffer.lastIndexOf(QChar(0)) + 1);
    name.remove(QChar(0));
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("None") : name;
}

} // namespace kestova
