// How fast the preview follows a held arrow key through large photos: a
// detail grid of 6000 × 4000 JPEGs, the Down key repeated every 33 ms (a
// keyboard's usual auto-repeat) over ROWS rows, then released. Measures the
// time from the last key to the current row's photo drawn in the box, and
// the longest stop of the event loop while the key was held.
//   preview_follow [ROWS]
#include "detail_preview.h"
#include "photo_preview.h"
#include "photo_store.h"
#include "result_grids.h"
#include "settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace kestova;

namespace {

// A photo-like JPEG (gradients and grain, so it compresses as a photo does).
void WritePhoto(const QString &path, int seed)
{
    QImage image(6000, 4000, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 6000, 4000);
    sky.setColorAt(0, QColor::fromHsv(seed * 40 % 360, 120, 220));
    sky.setColorAt(1, QColor::fromHsv(seed * 70 % 360, 160, 120));
    p.fillRect(image.rect(), sky);
    p.end();
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(random.bounded(24)) - 12;
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + grain, 255), qBound(0, qGreen(c) + grain, 255),
                           qBound(0, qBlue(c) + grain, 255));
        }
    }
    image.save(path, "JPEG", 90);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    QTemporaryDir folder;
    const int distinct = 4;
    for (int i = 0; i < distinct; ++i)
        WritePhoto(folder.filePath(QStringLiteral("p%1.jpg").arg(i)), i + 1);
    // The rows in a store of their own, as a count leaves them.
    const QString mdb = folder.filePath(QStringLiteral("Data.mdb"));
    if (!PhotoStore::Create(mdb))
        return 1;
    const std::unique_ptr<PhotoStore> store = PhotoStore::Open(mdb);
    if (!store)
        return 1;
    store->BeginBatch();
    for (int r = 0; r <= rows; ++r) {
        const QString copy = folder.filePath(QStringLiteral("row%1.jpg").arg(r));
        QFile::copy(folder.filePath(QStringLiteral("p%1.jpg").arg(r % distinct)), copy);
        DetailRow row;
        row.PhotoPath = copy;
        row.WidthAndHeight = QStringLiteral("50.8*33.87");
        row.HorizontalResolution = row.VerticalResolution = 300;
        row.IsSucceed = true;
        store->InsertPhotoDetail(row);
    }
    store->EndBatch();

    QWidget window;
    window.resize(1366, 700);
    ResultGrid grid(&window);
    grid.setGeometry(560, 0, 800, 700);
    PhotoBox box(&window);
    box.setGeometry(213, 330, 342, 330); // the box at 1366 × 768
    QLabel panel(&window);
    Settings settings;
    DetailPreview preview(grid, box, panel, settings);
    grid.Bind(store->ReadDetailGrid());
    window.show();
    grid.setFocus();
    grid.setCurrentIndex(grid.model()->index(0, 0));

    // One photo decoded for the box alone, for comparison.
    QElapsedTimer clock;
    clock.start();
    DecodeFitted(folder.filePath(QStringLiteral("p0.jpg")), box.InnerSize().width(), box.InnerSize().height());
    const qint64 decode = clock.elapsed();
    clock.restart();
    qint64 lastTick = 0;
    qint64 longestStop = 0;
    qint64 lastKey = -1;
    qint64 shownAfter = -1;
    int sent = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastKey < 0)
            longestStop = qMax(longestStop, now - lastTick);
        lastTick = now;
        if (lastKey >= 0 && box.HasPicture() && preview.ShownPath() == grid.CurrentRowText(0)) {
            shownAfter = now - lastKey;
            app.quit();
        }
    });
    QTimer key;
    key.setInterval(33);
    QObject::connect(&key, &QTimer::timeout, [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(&grid, &press);
        if (++sent == rows) {
            key.stop();
            // The key let go, as the keyboard reports it after its repeats.
            lastKey = clock.elapsed();
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(&grid, &release);
        }
    });
    tick.start();
    key.start();
    QTimer::singleShot(60000, &app, &QApplication::quit);
    app.exec();
    std::printf("rows %d, settle %d ms, one decode %lld ms: last key to the photo shown %lld ms; "
                "longest stop while held %lld ms\n",
                rows, DetailPreview::SettleMs, decode, shownAfter, longestStop);
    return shownAfter >= 0 ? 0 : 1;
}
