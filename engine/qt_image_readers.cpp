// Where the readers of Qt-only formats come from: installed by the program,
// or loaded from the module beside the executable.
#include "qt_image_readers.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <atomic>

namespace kestova {

namespace {

std::atomic<const QtImageReaders *> installed{nullptr};

const QtImageReaders *LoadModule()
{
    // QLibrary adds the platform's prefix and suffix. The library stays
    // loaded for the rest of the process.
    QLibrary module(QtImageReadersModulePath());
    const auto entry = reinterpret_cast<QtImageReadersEntry>(module.resolve(KESTOVA_QT_IMAGE_READERS_ENTRY));
    return entry ? entry() : nullptr;
}

} // namespace

QString QtImageReadersModulePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("kestova-qt-images"));
}

void InstallQtImageReaders(const QtImageReaders *readers)
{
    installed.store(readers);
}

const QtImageReaders *QtImages()
{
    if (const QtImageReaders *readers = installed.load())
        return readers;
    static const QtImageReaders *const loaded = LoadModule();
    return loaded;
}

} // namespace kestova
