// Number text and rounding: the one place where a number becomes text and
// where print sizes and areas are rounded.
#pragma once

#include <QString>

#include <optional>

namespace kestova {

// A double as text: up to 15 significant digits, "." as decimal point, no
// trailing zeros, exponent form (7E-05, 1E+15) below 1E-04 and from 1E+15.
QString NumberText(double value);

// A single-precision value as text: as NumberText with 7 significant digits.
QString SingleText(float value);

// The value its number text stands for: what a statement that spells the
// number out stores (StoredSingle: the 7-digit text of a single).
double StoredDouble(double value);
double StoredSingle(float value);

// Both roundings work on the value's decimal text of 15 significant digits,
// so 2.675 (stored as 2.67499999…) rounds to 2.68 as the text says.
double RoundHalfEven(double value, int decimals);
double RoundHalfAway(double value, int decimals);

// A number turned into a whole number, ties to even; false when the text
// does not convert or the result lies outside [min, max].
bool ToWholeNumber(const QString &text, qint64 min, qint64 max, qint64 *out);

// The text read as a number (blanks around it, sign, fraction and exponent
// allowed); false for empty text, anything else, or a non-finite value.
bool ParseNumber(const QString &text, double *out);

// Money is kept in fen (hundredths of a yuan), as whole numbers, so sums are
// exact. YuanText writes it with two decimals ("12.50").
QString YuanText(qint64 fen);
// A price the operator typed: yuan with at most two decimals, not negative,
// below 100 million yuan ("12", "12.5", "12.50"); false for anything else.
bool ParseYuan(const QString &text, qint64 *fen);
// The length unit print sizes are written in: "15.24*10.16" (cm) or "6*4" (in).
enum class LengthUnit { Centimetre, Inch };
// The unit print areas are written in.
enum class AreaUnit { SquareMetre, SquareCentimetre };

// The units as a count and an order store them, and as exports and the
// command line write them: "cm" or "in", "m2" or "cm2". Read back, "in" is
// inches and any other text centimetres, "cm2" square centimetres and any
// other text square metres.
QString UnitText(LengthUnit unit);
QString UnitText(AreaUnit unit);
LengthUnit LengthUnitFromText(const QString &text);
AreaUnit AreaUnitFromText(const QString &text);

// The longest side any printer makes, 10 m; a size with a longer side, or a
// side of zero, is no print size.
inline constexpr double LongestPrintSideCm = 1000;
// The most one order, or one of its rows, may cost: 99,999,999.99 yuan.
inline constexpr qint64 MaxAmountFen = 9'999'999'999LL;

// The two sides of a size text "W*H" when both are plain decimals within
// the printable range; false for anything else.
bool PrintableSize(const QString &size, LengthUnit unit);

// count × price, or none when it exceeds MaxAmountFen (never overflows).
std::optional<qint64> PhotoAmountFen(qint64 count, qint64 fenEach);
// The amount of `count` prints of `size` at a price per square metre: count ×
// width × height (in m²; an inch is 2.54 cm exactly) × price, computed on the
// sides' decimal digits and rounded once to the fen, half away from zero.
// None when the size is not printable or the amount exceeds MaxAmountFen.
std::optional<qint64> SizeAmountFen(const QString &size, LengthUnit unit, qint64 count, qint64 fenPerSquareMetre);

} // namespace kestova
