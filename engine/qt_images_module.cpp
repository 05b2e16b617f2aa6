// kestova-qt-images: the readers of Qt-only formats as a module, which the
// command-line counter loads the first time it meets such a file.
#include "qt_image_readers.h"

extern "C" Q_DECL_EXPORT const kestova::QtImageReaders *kestova_qt_image_readers()
{
    return &kestova::LinkedQtImageReaders();
}
