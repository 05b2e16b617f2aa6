// Manual check of the folder tree control: lays out a small folder tree with
// Chinese names, shows ucBrowse over it with the main window's stored set
// (lines on) and saves a picture of the control.
//   foldertree_demo OUT.png [--focus-out]
#include "uc_browse.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: foldertree_demo OUT.png\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);

    QTemporaryDir dir;
    const QStringList folders = {"客户订单/张三 2024-05", "客户订单/李四's 婚纱照/精修", "客户订单/李四's 婚纱照/原片",
                                 "客户订单/王五", "证件照", "Prints & Scans/4x6", ".hidden"};
    for (const QString &folder : folders)
        QDir(dir.path()).mkpath(folder);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Kestova图片统计"));
    auto *layout = new QVBoxLayout(&window);
    auto *browse = new kestova::ucBrowse(&window);
    auto *status = new QLabel(&window);
    layout->addWidget(browse, 1);
    layout->addWidget(status);
    QObject::connect(browse, &kestova::ucBrowse::PathChange, status, &QLabel::setText);

    browse->ReadProperties(QVariantMap{{"appearance", 0},
                                       {"haslines", true},
                                       {"hideselection", false},
                                       {"hottracking", false},
                                       {"theme", 2},
                                       {"root", kestova::ucBrowse::RootHandle(dir.path())},
                                       {"path", dir.path() + "/客户订单/李四's 婚纱照/精修"}});
    window.resize(320, 380);
    window.show();

    // Give the file-system model time to list the opened folders, then take
    // the picture.
    QTimer::singleShot(1500, [&] {
        const bool saved = window.grab().save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
