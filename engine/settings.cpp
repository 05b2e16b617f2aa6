// The Settings record.
#include "settings.h"

#include "ini_file.h"
#include "numbers.h"

#include <limits>

namespace kestova {

bool ConvertDecimals(const QString &text, qint32 *out)
{
    qint64 value = 0;
    if (!ToWholeNumber(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), &value))
        return false;
    // A negative count of decimals has no meaning; it keeps no decimals.
    *out = value < 0 ? 0 : static_cast<qint32>(value);
    return true;
}

bool ConvertAlarmNum(const QString &text, qint16 *out)
{
    qint64 value = 0;
    if (!ToWholeNumber(text, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max(), &value))
        return false;
    *out = static_cast<qint16>(value);
    return true;
}

bool ConvertSameness(const QString &text, bool *out)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        *out = true;
        return true;
    }
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        *out = false;
        return true;
    }
    double value = 0;
    if (!ParseNumber(t, &value))
        return false;
    *out = value != 0;
    return true;
}

bool ConvertPathAsMemberName(const QString &text, bool *out)
{
    double value = 0;
    if (!ParseNumber(text, &value))
        return false;
    *out = value == 1;
    return true;
}

Settings Settings::Load()
{
    Settings s;
    bool ok = false;
    // Start-up order: RadixPoint, UnitRadixPoint, AlarmNum, Sameness,
    // PathAsMemberName, PhotoSize, PhotoArea, EditPath, Preview.
    ConvertDecimals(ReadIniValue(QStringLiteral("Sum"), QStringLiteral("RadixPoint"), &ok), &s.RadixPoint);
    ConvertDecimals(ReadIniValue(QStringLiteral("Sum"), QStringLiteral("UnitRadixPoint"), &ok), &s.UnitRadixPoint);
    ConvertAlarmNum(ReadIniValue(QStringLiteral("DPIAlarm"), QStringLiteral("AlarmNum"), &ok), &s.AlarmNum);
    ConvertSameness(ReadIniValue(QStringLiteral("Sum"), QStringLiteral("Sameness"), &ok), &s.Sameness);
    ConvertPathAsMemberName(ReadIniValue(QStringLiteral("MemberName"), QStringLiteral("PathAsMemberName"), &ok),
                            &s.PathAsMemberName);

    // The text fields keep their defaults only when the key is absent or empty.
    const auto text = [&ok](const char *key, QString *field) {
        const QString value = ReadIniValue(QStringLiteral("Sum"), QString::fromLatin1(key), &ok);
        if (!value.isEmpty())
            *field = value;
    };
    text("PhotoSize", &s.PhotoSize);
    text("PhotoArea", &s.PhotoArea);
    text("EditPath", &s.EditPath);
    text("Preview", &s.Preview);
    return s;
}

bool Settings::Save() const
{
    const QString sum = QStringLiteral("Sum");
    bool ok = true;
    ok &= WriteIniValue(sum, QStringLiteral("PhotoSize"), PhotoSize);
    ok &= WriteIniValue(sum, QStringLiteral("PhotoArea"), PhotoArea);
    ok &= WriteIniValue(sum, QStringLiteral("EditPath"), EditPath);
    ok &= WriteIniValue(sum, QStringLiteral("Preview"), Preview);
    ok &= WriteIniValue(sum, QStringLiteral("RadixPoint"), QString::number(RadixPoint));
    ok &= WriteIniValue(sum, QStringLiteral("UnitRadixPoint"), QString::number(UnitRadixPoint));
    ok &= WriteIniValue(sum, QStringLiteral("Sameness"), Sameness ? QStringLiteral("1") : QStringLiteral("0"));
    ok &= WriteIniValue(QStringLiteral("MemberName"), QStringLiteral("PathAsMemberName"),
                        PathAsMemberName ? QStringLiteral("1") : QStringLiteral("0"));
    ok &= WriteIniValue(QStringLiteral("DPIAlarm"), QStringLiteral("AlarmNum"), QString::number(AlarmNum));
    return ok;
}

} // namespace kestova
