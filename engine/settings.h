// The Settings record: the nine keys of Config.ini, their defaults and the
// conversions from stored text, and the [OrderBook] section that says where
// the order book lives. This is the only place that knows them.
#pragma once

#include "numbers.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kestova {

struct Settings {
    qint32 RadixPoint = 2;      // decimals kept in area totals
    qint32 UnitRadixPoint = 4;  // decimals kept in one picture's area
    qint16 AlarmNum = 150;      // resolution alarm threshold, dpi
    bool Sameness = true;       // W*H and H*W count as one size
    bool PathAsMemberName = false;
    // The unit print sizes are measured in. None when Config.ini holds a
    // code that names neither unit ("00", "2"): a count then measures no
    // print size at all, and its totals say centimetres (SizeUnit()).
    std::optional<LengthUnit> PhotoSize = LengthUnit::Centimetre;
    AreaUnit PhotoArea = AreaUnit::SquareMetre;
    QString EditPath;  // the picture editor; empty when none is set
    bool Preview = true;

    // [OrderBook] Connection: a libpq connection string naming the shared
    // order book on a PostgreSQL server; empty keeps the order book in the
    // local Data.mdb. [OrderBook] CounterName: the name this counter's orders
    // carry; empty stands for the machine's host name (CounterNameOrHost()).
    QString OrderBookConnection;
    QString CounterName;
    QString CounterNameOrHost() const;

    // The length unit a count made with these settings records.
    LengthUnit SizeUnit() const { return PhotoSize.value_or(LengthUnit::Centimetre); }

    // Reads the nine keys from Config.ini in the program folder, in start-up
    // order, then the [OrderBook] keys. A missing file or key, or a value that
    // does not convert, leaves that field at its default; nothing here ever
    // stops the program.
    static Settings Load();

    // Writes all nine keys in the settings dialog's order, in one
    // replacement of Config.ini, so that a fresh file holds the sections Sum,
    // MemberName, DPIAlarm in that order. The [OrderBook] keys follow, after
    // the sections already in the file, when they hold something or the file
    // has them already (a file of a shop without a server keeps its three
    // sections). Text fields are written as they are, the units and the
    // preview as their codes (UnitCode), no editor as "0", numbers as
    // decimal text, or as typed when given. A size unit of none leaves the
    // file's PhotoSize as it is, so the code that named no unit stays. On
    // failure Config.ini stays as it was and *error says why.
    bool Save(QString *error = nullptr) const;
    struct TypedNumbers {
        QString RadixPoint;
        QString UnitRadixPoint;
        QString AlarmNum;
    };
    bool Save(const TypedNumbers &typed, QString *error) const;
};

// [Browse] LastPath: the folder counted last, where the folder tree starts
// the next time. Not one of the nine settings: the settings dialog neither
// shows nor writes it. Empty when absent.
QString LoadLastPath();
// Writes it; a new [Browse] section goes after the sections already in the
// file (Sum, MemberName, DPIAlarm). False when Config.ini could not be written.
bool SaveLastPath(const QString &folder, QString *error = nullptr);

// The record as the program uses it, one "Key=Value" line per key in
// start-up order; the flags and the units as their codes, a size unit of
// none as nothing.
QStringList SettingsLines(const Settings &s);

// The unit codes of Config.ini, the positions of the settings dialog's unit
// lists. PhotoSize "0" is centimetres, "1" inches and any other text ("2",
// "00") no unit; PhotoArea "0" is square metres and any other text square
// centimetres. Preview is off for a number equal to 0 ("0", " 0 ", "0.0")
// and on for anything else. An empty code (the key absent or blank) is the
// default: centimetres, square metres, preview on. UnitCode(none) is empty.
std::optional<LengthUnit> SizeUnitFromCode(const QString &code);
AreaUnit AreaUnitFromCode(const QString &code);
bool PreviewFromCode(const QString &code);
QString UnitCode(std::optional<LengthUnit> unit);
QString UnitCode(AreaUnit unit);

// The conversions of stored text, one per kind of field. Each returns false
// when the text does not convert (the caller then keeps the default).
bool ConvertDecimals(const QString &text, qint32 *out);   // RadixPoint, UnitRadixPoint
bool ConvertAlarmNum(const QString &text, qint16 *out);
bool ConvertSameness(const QString &text, bool *out);
bool ConvertPathAsMemberName(const QString &text, bool *out);

} // namespace kestova
