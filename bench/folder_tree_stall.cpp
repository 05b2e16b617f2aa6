// How long the window stops while the folder tree shows a slow share: the
// tree opens on SHARE (a slowfs mount, see folder_tree_stall.sh), opens its
// top folder, walks down the folders with the arrow keys and picks a folder
// by path, while a 5 ms timer measures every gap in the event loop and each
// key press the time until the tree has handled it.
//   folder_tree_stall SHARE [SECONDS]
// Prints the longest gap and the slowest key, in milliseconds.
#include "uc_browse.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
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

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
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
