// Number text and rounding.
#include "numbers.h"

#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace kestova {

namespace {

QString FormatG(double value, int digits)
{
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    // printf's %G: exponent form exactly when the decimal exponent is below
    // -4 or reaches the precision, no trailing zeros, at least two exponent
    // digits: the number text the program shows everywhere. to_chars gives the same digits
    // as printf, faster, with a lower-case "e".
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits).ptr;
    QString text = QString::fromLatin1(buf, end - buf);
    const qsizetype e = text.indexOf(u'e');
    if (e >= 0)
        text[e] = u'E';
    return text;
}

enum class Tie { Even, AwayFromZero };

// The double nearest to the decimal text, as strtod gives it, but without
// strtod's dependence on the locale and several times faster.
double FromText(const char *first, const char *last)
{
    double result = 0;
    std::from_chars(first, last, result);
    return result;
}

double RoundDecimal(double value, int decimals, Tie tie)
{
    if (value == 0 || !std::isfinite(value))
        return value;

    // 15 significant digits: d.dddddddddddddde±X
    char buf[64];
    const char *const end = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14).ptr;
    char digits[32];
    int count = 0;
    const char *p = buf;
    for (; p < end && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            digits[count++] = *p;
    }
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    const bool negative = value < 0;

    // Digits kept: those before the decimal point plus the decimals.
    const long long keep = static_cast<long long>(exponent) + 1 + decimals;
    if (keep >= count)
        return FromText(buf, end) * (negative ? -1 : 1);
    if (keep < 0)
        return negative ? -0.0 : 0.0;

    const int firstRest = digits[keep] - '0';
    bool restBeyondHalf = false;
    for (int i = int(keep) + 1; i < count; ++i)
        restBeyondHalf |= digits[i] != '0';

    bool up;
    if (firstRest > 5 || (firstRest == 5 && restBeyondHalf))
        up = true;
    else if (firstRest < 5)
        up = false;
    else if (tie == Tie::AwayFromZero)
        up = true;
    else
        up = keep > 0 && ((digits[keep - 1] - '0') % 2 == 1);

    // "0." and the kept digits, with room before them for a carry out of
    // the first, then the exponent.
    char text[64] = {'0', '.', '0'};
    char *kept = text + 3;
    int length = int(keep);
    std::copy(digits, digits + length, kept);
    int shift = exponent; // position of the first kept digit
    if (up) {
        int i = length - 1;
        for (; i >= 0; --i) {
            if (kept[i] == '9') {
                kept[i] = '0';
            } else {
                ++kept[i];
                break;
            }
        }
        if (i < 0) {
            --kept;
            *kept = '1';
            ++length;
            ++shift;
        }
    }
    if (length == 0)
        return negative ? -0.0 : 0.0;
    kept[-2] = '0';
    kept[-1] = '.';
    char *e = kept + length;
    *e++ = 'e';
    e = std::to_chars(e, text + sizeof text, shift + 1).ptr;
    const double result = FromText(kept - 2, e);
    return negative ? -result : result;
}

} // namespace

double StoredDouble(double value)
{
    if (!std::isfinite(value))
        return value;
    // A value whose shortest exact text has at most 15 significant digits is
    // its own 15-digit text: the common case needs no rounding.
    char buf[64];
    const char *end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr;
    int significant = 0;
    for (const char *p = buf; p < end && *p != 'e'; ++p)
        significant += *p >= '0' && *p <= '9';
    if (significant <= 15)
        return value;
    return FromText(buf, std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15).ptr);
}

double StoredSingle(float value)
{
    if (!std::isfinite(value))
        return value;
    char buf[64];
    return FromText(buf, std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 7).ptr);
}

QString NumberText(double value)
{
    return FormatG(value, 15);
}

QString SingleText(float value)
{
    return FormatG(static_cast<double>(value), 7);
}

double RoundHalfEven(double value, int decimals)
{
    return RoundDecimal(value, decimals, Tie::Even);
}

double RoundHalfAway(double value, int decimals)
{
    return RoundDecimal(value, decimals, Tie::AwayFromZero);
}

bool ParseNumber(const QString &text, double *out)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    // Only plain decimal forms: QString::toDouble would also take "inf"/"nan".
    for (const QChar c : trimmed) {
        if (!(c.isDigit() || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E'))
            return false;
    }
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

bool ToWholeNumber(const QString &text, qint64 min, qint64 max, qint64 *out)
{
    double value = 0;
    if (!ParseNumber(text, &value))
        return false;
    const double whole = std::nearbyint(value); // default rounding mode: ties to even
    if (whole < static_cast<double>(min) || whole > static_cast<double>(max))
        return false;
    *out = static_cast<qint64>(whole);
    return true;
}

QString YuanText(qint64 fen)
{
    const qint64 whole = fen / 100;
    const qint64 cents = fen % 100;
    const QString sign = fen < 0 && whole == 0 ? QStringLiteral("-") : QString();
    return sign + QString::number(whole) + u'.' + QStringLiteral("%1").arg(qAbs(cents), 2, 10, QChar(u'0'));
}

bool ParseYuan(const QString &text, qint64 *fen)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,8})(?:\\.(\\d{0,2}))?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const QString cents = m.captured(2).leftJustified(2, u'0');
    *fen = m.captured(1).toLongLong() * 100 + cents.toLongLong();
    return true;
}

namespace {

// A side of a size text as digits and decimals: "15.24" is 1524 and 2. Only
// plain decimals of up to nine digits.
struct Side {
    qint64 digits = 0;
    int decimals = 0;
};

std::optional<Side> ReadSide(QStringView text)
{
    Side side;
    bool point = false;
    int count = 0;
    for (const QChar c : text) {
        if (c == u'.' && !point) {
            point = true;
        } else if (c.isDigit() && c.unicode() < 128 && ++count <= 9) {
            side.digits = side.digits * 10 + (c.unicode() - '0');
            side.decimals += point ? 1 : 0;
        } else {
            return std::nullopt;
        }
    }
    if (count == 0)
        return std::nullopt;
    return side;
}

std::optional<std::pair<Side, Side>> ReadSize(const QString &size, LengthUnit unit)
{
    const qsizetype star = size.indexOf(u'*');
    if (star < 0)
        return std::nullopt;
    const std::optional<Side> width = ReadSide(QStringView(size).left(star));
    const std::optional<Side> height = ReadSide(QStringView(size).mid(star + 1));
    if (!width || !height)
        return std::nullopt;
    const double cmPerUnit = unit == LengthUnit::Inch ? 2.54 : 1.0;
    for (const Side &side : {*width, *height}) {
        const double cm = double(side.digits) / std::pow(10.0, side.decimals) * cmPerUnit;
        if (side.digits == 0 || cm > LongestPrintSideCm)
            return std::nullopt;
    }
    return std::pair{*width, *height};
}

__int128 PowerOfTen(int n)
{
    __int128 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

} // namespace

QString UnitText(LengthUnit unit)
{
    return unit == LengthUnit::Inch ? QStringLiteral("in") : QStringLiteral("cm");
}

QString UnitText(AreaUnit unit)
{
    return unit == AreaUnit::SquareCentimetre ? QStringLiteral("cm2") : QStringLiteral("m2");
}

LengthUnit LengthUnitFromText(const QString &text)
{
    return text == QLatin1String("in") ? LengthUnit::Inch : LengthUnit::Centimetre;
}

AreaUnit AreaUnitFromText(const QString &text)
{
    return text == QLatin1String("cm2") ? AreaUnit::SquareCentimetre : AreaUnit::SquareMetre;
}

bool PrintableSize(const QString &size, LengthUnit unit)
{
    return ReadSize(size, unit).has_value();
}

std::optional<qint64> PhotoAmountFen(qint64 count, qint64 fenEach)
{
    qint64 amount = 0;
    if (count < 0 || fenEach < 0 || __builtin_mul_overflow(count, fenEach, &amount) || amount > MaxAmountFen)
        return std::nullopt;
    return amount;
}

std::optional<qint64> SizeAmountFen(const QString &size, LengthUnit unit, qint64 count, qint64 fenPerSquareMetre)
{
    const auto sides = ReadSize(size, unit);
    if (!sides || count < 0 || fenPerSquareMetre < 0)
        return std::nullopt;
    // Sides below 10^9 and a price below 10^10 fen keep the product within
    // 128 bits until the count; the count is checked.
    __int128 value = __int128(sides->first.digits) * sides->second.digits * fenPerSquareMetre;
    int decimals = sides->first.decimals + sides->second.decimals + 4; // cm² to m²
    if (unit == LengthUnit::Inch) {
        value *= 64516; // 2.54² = 6.4516
        decimals += 4;
    }
    if (__builtin_mul_overflow(value, __int128(count), &value))
        return std::nullopt;
    const __int128 unitValue = PowerOfTen(decimals);
    __int128 whole = value / unitValue;
    if ((value % unitValue) * 2 >= unitValue)
        ++whole;
    if (whole > MaxAmountFen)
        return std::nullopt;
    return qint64(whole);
}

} // namespace kestova
