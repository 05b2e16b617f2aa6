// Entry point of the widget tests: a QApplication on the offscreen platform.
#include <QApplication>

#include "qt_image_readers.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // The folder tree reads no mount table of this machine: nothing is
    // mounted unless a test says so.
    if (qgetenv("KESTOVA_MOUNT_TABLE").isEmpty())
        qputenv("KESTOVA_MOUNT_TABLE", "/dev/null");
    QApplication app(argc, argv);
    kestova::InstallQtImageReaders(&kestova::LinkedQtImageReaders());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
