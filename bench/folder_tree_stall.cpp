// How long the window stops while the folder tree shows a slow share: the
// tree opens on SHARE (a slowfs mount, see folder_tree_stall.sh), opens its
// top folder, walks down the folders with the arrow keys and picks a folder
// by path, while a 5 ms timer measures every gap in the event loop and each
// key press the time until the tree has handled it.
//   folder_tree_stall SHARE [SECONDS]
// Prints the longest gap and the slowest key, in milliseconds.
//
// With --places the tree opens on the start places instead, with DEAD (a
// share that does not answer) and SLOW mounted as shares: both are opened,
// with all that shows of them, then "/" and home, and a local folder is
// picked; it prints how long each took and the longest gap.
//   folder_tree_stall --places DEAD SLOW [SECONDS]
#include "folder_list_model.h"
#include "start_places.h"
#include "uc_browse.h"

#include <QDir>
#include <QTemporaryFile>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {

// Times each key press from its posting to the end of its handling.
class KeyClock : public QObject
{
public:
    qint64 worst = 0;
    int handled = 0;
    QElapsedTimer *clock = nullptr;
    qint64 postedAt = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            QCoreApplication::instance()->removeEventFilter(this);
            QCoreApplication::sendEvent(watched, event);
            QCoreApplication::instance()->installEventFilter(this);
            worst = qMax(worst, clock->elapsed() - postedAt);
            ++handled;
            return true;
        }
        return false;
    }
};

// The --places run (see the top of this file).
int RunPlaces(QApplication &app, const QString &dead, const QString &slow, int seconds)
{
    QTemporaryFile table;
    if (!table.open())
        return 1;
    table.write(("dead " + dead.toUtf8() + " fuse.slowfs rw 0 0\nslow " + slow.toUtf8() + " fuse.slowfs rw 0 0\n"));
    table.flush();
    kestova::MountTable::Instance().SetSource(table.fileName());

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 worstGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        worstGap = qMax(worstGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ticks.start(5);

    kestova::ucBrowse browse;
    browse.ReadProperties(QVariantMap{});
    browse.resize(260, 600);
    browse.show();
    QTreeView *tree = browse.Tree();
    kestova::FolderListModel *files = browse.FileSystem();
    if (!tree || !files)
        return 1;
    const auto item = [&](const QString &path) {
        const auto *proxy = static_cast<QSortFilterProxyModel *>(tree->model());
        return proxy->mapFromSource(files->index(path));
    };
    // The operator opens both shares and what shows of them.
    for (const QString &share : {dead, slow}) {
        tree->expand(item(share));
        for (int row = 0; row < tree->model()->rowCount(item(share)); ++row)
            tree->expand(tree->model()->index(row, 0, item(share)));
    }
    const qint64 asked = clock.elapsed();
    qint64 rootAt = -1;
    qint64 homeAt = -1;
    qint64 pickedAt = -1;
    const QString home = QDir::homePath();
    QString local;
    QObject::connect(&browse, &kestova::ucBrowse::PathChange, [&](const QString &path) {
        if (!local.isEmpty() && path.startsWith(local) && pickedAt < 0)
            pickedAt = clock.elapsed() - asked;
    });
    tree->collapse(item(home));
    tree->expand(item(home));
    tree->expand(item(QStringLiteral("/")));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (rootAt < 0 && files->rowCount(files->index(QStringLiteral("/"))) > 0)
            rootAt = clock.elapsed() - asked;
        if (homeAt < 0 && files->Listed(files->index(home)))
            homeAt = clock.elapsed() - asked;
        // A local folder: at home, or else at the top.
        if (local.isEmpty() && homeAt >= 0 && rootAt >= 0) {
            const QModelIndex place = files->index(files->rowCount(files->index(home)) > 0 ? home : QStringLiteral("/"));
            local = files->filePath(files->index(0, 0, place));
            browse.setPath(local);
        }
    });
    poll.start(1);
    QTimer::singleShot(seconds * 1000, [&] { app.quit(); });
    app.exec();
    std::printf("\"/\" listed after %lld ms, home after %lld ms, a local folder picked after %lld ms, "
                "longest gap %lld ms (-1: never)\n",
                static_cast<long long>(rootAt), static_cast<long long>(homeAt), static_cast<long long>(pickedAt),
                static_cast<long long>(worstGap));
    std::fflush(stdout);
    std::_Exit(0);  // readers still wait on the dead share
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc >= 4 && QByteArray(argv[1]) == "--places")
        return RunPlaces(app, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         argc > 4 ? std::atoi(argv[4]) : 10);
    if (argc < 2) {
        std::fprintf(stderr, "usage: folder_tree_stall SHARE [SECONDS]\n");
        return 2;
    }
    const QString share = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 15;

    QElapsedTimer clock;
    clock.start();
    kestova::ucBrowse browse;
    browse.ReadProperties(QVariantMap{{"Root", kestova::ucBrowse::RootHandle(share)}});
    browse.resize(260, 400);
    browse.show();
    const qint64 opening = clock.elapsed();
    QTreeView *tree = browse.Tree();
    if (!tree)
        return 1;

    qint64 last = clock.elapsed();
    qint64 worstGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worstGap = qMax(worstGap, now - last);
        last = now;
    });
    ticks.start(5);

    KeyClock keys;
    keys.clock = &clock;
    app.installEventFilter(&keys);
    int step = 0;
    QTimer walk;
    QObject::connect(&walk, &QTimer::timeout, [&] {
        ++step;
        if (step == 2)
            browse.setPath(share + "/f007/sub");
        const Qt::Key key = step % 7 == 0 ? Qt::Key_Right : step % 5 == 0 ? Qt::Key_Up : Qt::Key_Down;
        keys.postedAt = clock.elapsed();
        QCoreApplication::postEvent(tree, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    });
    walk.start(50);

    QTimer::singleShot(seconds * 1000, [&] { app.quit(); });
    app.exec();
    std::printf("opening %lld ms, longest gap %lld ms, slowest key %lld ms (%d keys), rows shown %d\n",
                static_cast<long long>(opening), static_cast<long long>(worstGap), static_cast<long long>(keys.worst),
                keys.handled, tree->model()->rowCount(tree->model()->index(0, 0, tree->rootIndex())));
    browse.CloseUp();
    std::fflush(stdout);
    std::_Exit(0);  // readers may still wait on the share
}
