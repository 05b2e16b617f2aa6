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
    // digits: the classic Basic number text. to_chars gives the same digits
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

qint64 AreaAmountFen(double area, bool squareCentimetres, qint64 fenPerSquareMetre)
{
    // The area's text as digits and a power of ten: "0.0155" is 155 × 10^-4.
    const QString text = NumberText(area);
    const qsizetype e = text.indexOf(u'E');
    QString mantissa = e < 0 ? text : text.left(e);
    int exponent = e < 0 ? 0 : text.mid(e + 1).toInt();
    const bool negative = mantissa.startsWith(u'-');
    if (negative)
        mantissa.remove(0, 1);
    const qsizetype point = mantissa.indexOf(u'.');
    if (point >= 0) {
        exponent -= int(mantissa.size() - point - 1);
        mantissa.remove(point, 1);
    }
    if (squareCentimetres)
        exponent -= 4;
    if (exponent > 12)
        return std::numeric_limits<qint64>::max(); // no print order covers 10^12 m²
    __int128 value = __int128(mantissa.toLongLong()) * fenPerSquareMetre;
    for (; exponent > 0; --exponent)
        value *= 10;
    if (exponent < -36)
        return 0; // far below half a fen
    __int128 unit = 1;
    for (; exponent < 0; ++exponent)
        unit *= 10;
    __int128 whole = value / unit;
    if ((value % unit) * 2 >= unit)
        ++whole;
    return negative ? -qint64(whole) : qint64(whole);
}

} // namespace kestova
