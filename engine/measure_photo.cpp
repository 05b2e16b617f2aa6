// MeasurePhoto.
#include "measure_photo.h"

#include "dialogs.h"
#include "image_headers.h"
#include "numbers.h"

#include <cmath>

namespace kestova {

namespace {

constexpr double CentimetresPerInch = 2.54;
constexpr double SquareCentimetresPerSquareInch = 6.4516;
constexpr double SquareMetresPerSquareInch = 0.00064516;
constexpr double MetresPerInch = 0.0254;

// The descriptions the error gets after the path.
const QString DivisionByZero = QStringLiteral("除数为零");
const QString Overflow = QStringLiteral("溢出");

// a / b in double precision, or the error's description when it has no
// finite result.
bool Divide(double a, double b, double *out, QString *error)
{
    if (b == 0) {
        *error = DivisionByZero;
        return false;
    }
    *out = a / b;
    if (!std::isfinite(*out)) {
        *error = Overflow;
        return false;
    }
    return true;
}

} // namespace

QString QuotePath(const QString &path)
{
    if (!path.contains(u'\''))
        return path;
    QString quoted = path;
    return quoted.replace(u'\'', QStringLiteral("''"));
}

PhotoMeasure MeasureFromHeader(const QString &path, qint32 pixelWidth, qint32 pixelHeight, float horizontalDpi,
                               float verticalDpi, std::optional<LengthUnit> sizeUnit, AreaUnit areaUnit,
                               qint32 unitRadixPoint)
{
    PhotoMeasure m;
    m.PixelWidth = pixelWidth;
    m.PixelHeight = pixelHeight;
    m.HorizontalDpi = horizontalDpi;
    m.VerticalDpi = verticalDpi;

    const auto fail = [&m, &path](const QString &error) {
        m.Succeeded = false;
        m.QuotedPath.clear();
        m.ArithmeticError = path + error;
        return m;
    };

    // The area comes from the unrounded dimensions.
    QString error;
    double heightInches = 0;
    double widthInches = 0;
    if (!Divide(pixelHeight, verticalDpi, &heightInches, &error) || !Divide(pixelWidth, horizontalDpi, &widthInches, &error))
        return fail(error);
    if (pixelWidth > MaxPixelsPerSide || pixelHeight > MaxPixelsPerSide) {
        PhotoMeasure implausible;
        implausible.QuotedPath = QuotePath(path);
        implausible.FailureReason = QStringLiteral("尺寸不合理：%1×%2 像素，每边最多 %3 像素")
                                        .arg(pixelWidth)
                                        .arg(pixelHeight)
                                        .arg(MaxPixelsPerSide);
        return implausible;
    }
    if (widthInches * MetresPerInch > MaxPrintSideMetres || heightInches * MetresPerInch > MaxPrintSideMetres) {
        PhotoMeasure implausible;
        implausible.QuotedPath = QuotePath(path);
        implausible.FailureReason = QStringLiteral("尺寸不合理：打印尺寸 %1×%2 米，每边最多 %3 米")
                                        .arg(NumberText(RoundHalfAway(widthInches * MetresPerInch, 2)),
                                             NumberText(RoundHalfAway(heightInches * MetresPerInch, 2)))
                                        .arg(MaxPrintSideMetres);
        return implausible;
    }
    const double squareInches = heightInches * widthInches;
    if (!std::isfinite(squareInches))
        return fail(Overflow);
    m.Area = areaUnit == AreaUnit::SquareMetre ? squareInches * SquareMetresPerSquareInch
                                             : squareInches * SquareCentimetresPerSquareInch;
    if (!std::isfinite(m.Area))
        return fail(Overflow);

    // Width before height, as the error path reports the first failure.
    if (sizeUnit == LengthUnit::Centimetre) {
        const double w = static_cast<double>(pixelWidth) / horizontalDpi * CentimetresPerInch;
        const double h = static_cast<double>(pixelHeight) / verticalDpi * CentimetresPerInch;
        if (!std::isfinite(w) || !std::isfinite(h))
            return fail(Overflow);
        m.PrintWidth = RoundHalfAway(w, 2);
        m.PrintHeight = RoundHalfAway(h, 2);
    } else if (sizeUnit == LengthUnit::Inch) {
        m.PrintWidth = RoundHalfAway(widthInches, 1);
        m.PrintHeight = RoundHalfAway(heightInches, 1);
    }

    m.Area = RoundHalfEven(m.Area, unitRadixPoint);
    m.Succeeded = true;
    m.QuotedPath = QuotePath(path);
    return m;
}

PhotoMeasure MeasureFile(const QString &path, std::optional<LengthUnit> sizeUnit, AreaUnit areaUnit,
                         qint32 unitRadixPoint)
{
    return MeasureHeader(path, ReadImageHeader(path), sizeUnit, areaUnit, unitRadixPoint);
}

PhotoMeasure MeasureHeader(const QString &path, const ImageHeader &header, std::optional<LengthUnit> sizeUnit,
                           AreaUnit areaUnit, qint32 unitRadixPoint)
{
    if (!header.valid) {
        PhotoMeasure m;
        m.QuotedPath = QuotePath(path);
        m.FailureReason = header.failure;
        m.Unreadable = header.unreadable;
        return m;
    }
    return MeasureFromHeader(path, header.width, header.height, header.horizontalDpi, header.verticalDpi, sizeUnit,
                             areaUnit, unitRadixPoint);
}

PhotoMeasure MeasurePhoto(const QString &path, std::optional<LengthUnit> sizeUnit, AreaUnit areaUnit,
                          qint32 unitRadixPoint, Dialogs *dialogs)
{
    PhotoMeasure m = MeasureFile(path, sizeUnit, areaUnit, unitRadixPoint);
    if (!m.ArithmeticError.isEmpty() && dialogs)
        dialogs->ShowMessage(m.ArithmeticError, QString(), MessageIcon::None, MessageButtons::Ok);
    return m;
}

} // namespace kestova
