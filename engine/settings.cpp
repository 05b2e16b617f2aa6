// The Settings record.
#include "settings.h"

#include "ini_file.h"
#include "numbers.h"

#include <QSysInfo>

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
    s.OrderBookConnection =
        ReadIniValue(QStringLiteral("OrderBook"), QStringLiteral("Connection"), &ok).trimmed();
    s.CounterName = ReadIniValue(QStringLiteral("OrderBook"), QStringLiteral("CounterName"), &ok).trimmed();
    return s;
}

QString Settings::SizeUnit() const
{
    return PhotoSize == QLatin1String("1") ? QStringLiteral("in") : QStringLiteral("cm");
}

QString Settings::AreaUnit() const
{
    return PhotoArea == QLatin1String("0") ? QStringLiteral("m2") : QStringLiteral("cm2");
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
    QList<ProfileValue> values{{sum, QStringLiteral("PhotoSize"), PhotoSize},
                           {sum, QStringLiteral("PhotoArea"), PhotoArea},
                           {sum, QStringLiteral("EditPath"), EditPath},
                           {sum, QStringLiteral("Preview"), Preview},
                           {sum, QStringLiteral("RadixPoint"), typed.RadixPoint},
                           {sum, QStringLiteral("UnitRadixPoint"), typed.UnitRadixPoint},
                           {sum, QStringLiteral("Sameness"), Sameness ? one : zero},
                           {QStringLiteral("MemberName"), QStringLiteral("PathAsMemberName"), PathAsMemberName ? one : zero},
                           {QStringLiteral("DPIAlarm"), QStringLiteral("AlarmNum"), typed.AlarmNum}};
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
            QStringLiteral("PhotoSize=") + s.PhotoSize,
            QStringLiteral("PhotoArea=") + s.PhotoArea,
            QStringLiteral("EditPath=") + s.EditPath,
            QStringLiteral("Preview=") + s.Preview};
}

} // namespace kestova
