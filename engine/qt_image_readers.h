// The readers of formats only Qt's image plugins know (icons, PNM, XPM, TGA
// …). They need Qt Gui, which the command-line counter does not load at
// start: loading it (and what it pulls in: fonts, X, GL) is a good part of a
// count of a small folder. A program that links Qt Gui anyway installs them
// at start; any other loads them from the module beside its executable the
// first time a file needs them.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestova {

class ImageSource;
struct ImageHeader;

struct QtImageReaders {
    // The Qt format of a file by its name's extension, or empty: Qt's
    // formats less those the program reads by signature, vector drawings
    // and camera raw formats.
    QByteArray (*formatFor)(const QString &name);
    // Through QImageReader with the handler of that format; size only.
    bool (*read)(ImageSource &source, const QByteArray &format, ImageHeader *header);
};

// The module's one exported function returns its readers.
#define KESTOVA_QT_IMAGE_READERS_ENTRY "kestova_qt_image_readers"
using QtImageReadersEntry = const QtImageReaders *(*)();

// The module's file name in the executable's folder.
QString QtImageReadersModulePath();

// The readers themselves, in the engine_qt_images library (Qt Gui): what a
// program linking it installs, and what the module returns.
const QtImageReaders &LinkedQtImageReaders();

// Before any file is measured.
void InstallQtImageReaders(const QtImageReaders *readers);

// The installed readers, else those of the module (loaded once, by the
// first caller; others wait for it). Null when there is no module.
const QtImageReaders *QtImages();

} // namespace kestova
