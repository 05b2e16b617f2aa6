// MeasurePhoto: one file turned into a PhotoMeasure (pixel size, resolution,
// print size and print area in the configured units).
#pragma once

#include "numbers.h"

#include <QString>

#include <optional>

namespace kestova {

class Dialogs;
struct ImageHeader;

struct PhotoMeasure {
    bool Succeeded = false;
    qint32 PixelHeight = 0;
    qint32 PixelWidth = 0;
    QString QuotedPath;      // the path with each apostrophe doubled
    float HorizontalDpi = 0;
    float VerticalDpi = 0;
    double Area = 0;         // rounded to UnitRadixPoint decimals, ties to even
    double PrintHeight = 0;  // rounded half away from zero
    double PrintWidth = 0;
    // Why a failed file failed, when there is more to say than "not an
    // image": it could not be read (Unreadable then), its size is not one
    // any printer makes, a decoder's warning. Stored in place of its size.
    QString FailureReason;
    bool Unreadable = false;
    // Set when a computation gave no finite result: the path followed by the
    // error's description. Succeeded is false and QuotedPath empty then, and
    // the scan stores no row for the file.
    QString ArithmeticError;
};

// Pure measurement, safe to call from any thread; never shows anything.
// Without a size unit the print size stays 0 by 0; the area is measured.
PhotoMeasure MeasureFile(const QString &path, std::optional<LengthUnit> sizeUnit, AreaUnit areaUnit,
                         qint32 unitRadixPoint);

// MeasureFile for a header read already.
PhotoMeasure MeasureHeader(const QString &path, const ImageHeader &header, std::optional<LengthUnit> sizeUnit,
                           AreaUnit areaUnit, qint32 unitRadixPoint);

// MeasureFile, then the arithmetic-error message (no icon, default title,
// OK) through the dialogs when there is one.
PhotoMeasure MeasurePhoto(const QString &path, std::optional<LengthUnit> sizeUnit, AreaUnit areaUnit,
                          qint32 unitRadixPoint, Dialogs *dialogs);

// The measurement from known pixel size and resolution, for callers (and
// tests) that have them already.
PhotoMeasure MeasureFromHeader(const QString &path, qint32 pixelWidth, qint32 pixelHeight, float horizontalDpi,
                               float verticalDpi, std::optional<LengthUnit> sizeUnit, AreaUnit areaUnit,
                               qint32 unitRadixPoint);

QString QuotePath(const QString &path);

// The largest picture a count accepts: no camera or scanner makes more
// pixels a side, and no printer prints more than MaxPrintSideMetres a side.
// A header claiming more is damaged or hostile; the file counts as failed.
constexpr qint32 MaxPixelsPerSide = 100000;
constexpr double MaxPrintSideMetres = 10.0;

} // namespace kestova
