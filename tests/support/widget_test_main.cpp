// Entry point of the widget tests: a QApplication on the offscreen platform.
#include <QApplication>

#include "qt_image_readers.h"
#include "test_environment.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    kestova::test::UseTestEnvironment();
    QApplication app(argc, argv);
    kestova::InstallQtImageReaders(&kestova::LinkedQtImageReaders());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
