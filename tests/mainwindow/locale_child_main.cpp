// Not a test: starts the application the way the program does and prints
// the locale the C library and Qt are left with, for the locale test.
#include "qt_translations.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <langinfo.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    kestova::UseProgramLocale();
    std::printf("codeset=%s\nctype=%s\ntime=%s\ndefault=%s\n", nl_langinfo(CODESET), std::setlocale(LC_CTYPE, nullptr),
                std::setlocale(LC_TIME, nullptr), qPrintable(QLocale().name()));
    return 0;
}
