// The Settings record.
#include "settings.h"

#include "ini_file.h"
#include "numbers.h"

#include <QSysInfo>

#include <limits>

namespace kestova {

namespace {

// What Config.ini holds for EditPath when no picture editor is set.
const QString NoEditorCode = QStringLiteral("0");

} // namespace

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

    const auto sum = [&ok](const char *key) {
        return ReadIniValue(QStringLiteral("Sum"), QString::fromLatin1(key), &ok);
    };
    s.PhotoSize = SizeUnitFromCode(sum("PhotoSize"));
    s.PhotoArea = AreaUnitFromCode(sum("PhotoArea"));
    const QString editor = sum("EditPath");
    s.EditPath = editor == NoEditorCode ? QString() : editor;
    s.Preview = PreviewFromCode(sum("Preview"));
    s.OrderBookConnection =
        ReadIniValue(QStringLiteral("OrderBook"), QStringLiteral("Connection"), &ok).trimmed();
    s.CounterName = ReadIniValue(QStringLiteral("OrderBook"), QStringLiteral("CounterName"), &ok).trimmed();
    return s;
}

std::optional<LengthUnit> SizeUnitFromCode(const QString &code)
{
    if (code.isEmpty() || code == QLatin1String("0"))
        return LengthUnit::Centimetre;
    if (code == QLatin1String("1"))
        return LengthUnit::Inch;
    return std::nullopt;
}

AreaUnit AreaUnitFromCode(const QString &code)
{
    return code.isEmpty() || code == QLatin1String("0") ? AreaUnit::SquareMetre : AreaUnit::SquareCentimetre;
}

bool PreviewFromCode(const QString &code)
{
    double value = 0;
    return !(ParseNumber(code, &value) && value == 0);
}

QString UnitCode(std::optional<LengthUnit> unit)
{
    if (!unit)
        return QString();
    return *unit == LengthUnit::Inch ? QStringLiteral("1") : QStringLiteral("0");
}

QString UnitCode(AreaUnit unit)
{
    return unit == AreaUnit::SquareCentimetre ? QStringLiteral("1") : QStringLiteral("0");
}

QString Settings::CounterNameOrHost() const
{
    return CounterName.isEmpty() ? QSysInfo::machineHostName() : CounterName;
}

bool Settings::Save(QString *error) const
{
    return Save({QString::number(RadixPoint), QString::number(UnitRadixPoint), QString::number(AlarmNum)}, error);
}

bool Settings::Save(const TypedNumbers &typed, QString *error) const
{
    const QString sum = QStringLiteral("Sum");
    const QString one = QStringLiteral("1");
    const QString zero = QStringLiteral("0");
    QList<ProfileValue> values;
    if (PhotoSize)
        values.append({sum, QStringLiteral("PhotoSize"), UnitCode(PhotoSize)});
    values << ProfileValue{sum, QStringLiteral("PhotoArea"), UnitCode(PhotoArea)}
           << ProfileValue{sum, QStringLiteral("EditPath"), EditPath.isEmpty() ? NoEditorCode : EditPath}
           << ProfileValue{sum, QStringLiteral("Preview"), Preview ? one : zero}
           << ProfileValue{sum, QStringLiteral("RadixPoint"), typed.RadixPoint}
           << ProfileValue{sum, QStringLiteral("UnitRadixPoint"), typed.UnitRadixPoint}
           << ProfileValue{sum, QStringLiteral("Sameness"), Sameness ? one : zero}
           << ProfileValue{QStringLiteral("MemberName"), QStringLiteral("PathAsMemberName"),
                           PathAsMemberName ? one : zero}
           << ProfileValue{QStringLiteral("DPIAlarm"), QStringLiteral("AlarmNum"), typed.AlarmNum};
    const QString orderBook = QStringLiteral("OrderBook");
    const QList<ProfileValue> orderBookKeys{{orderBook, QStringLiteral("Connection"), OrderBookConnection},
                                            {orderBook, QStringLiteral("CounterName"), CounterName}};
    bool ok = true;
    for (const ProfileValue &key : orderBookKeys) {
        if (!key.value.isEmpty() || !ReadIniValue(key.section, key.key, &ok).isEmpty()) {
            values.append(orderBookKeys);
            break;
        }
    }
    return WriteIniValues(values, error);
}

QString LoadLastPath()
{
    bool ok = true;
    return ReadIniValue(QStringLiteral("Browse"), QStringLiteral("LastPath"), &ok);
}

bool SaveLastPath(const QString &folder, QString *error)
{
    return WriteIniValues({{QStringLiteral("Browse"), QStringLiteral("LastPath"), folder}}, error);
}

QStringList SettingsLines(const Settings &s)
{
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    return {QStringLiteral("RadixPoint=") + QString::number(s.RadixPoint),
            QStringLiteral("UnitRadixPoint=") + QString::number(s.UnitRadixPoint),
            QStringLiteral("AlarmNum=") + QString::number(s.AlarmNum),
            QStringLiteral("Sameness=") + flag(s.Sameness),
            QStringLiteral("PathAsMemberName=") + flag(s.PathAsMemberName),
            QStringLiteral("PhotoSize=") + UnitCode(s.PhotoSize),
            QStringLiteral("PhotoArea=") + UnitCode(s.PhotoArea),
            QStringLiteral("EditPath=") + (s.EditPath.isEmpty() ? NoEditorCode : s.EditPath),
            QStringLiteral("Preview=") + flag(s.Preview)};
}

} // namespace kestova
