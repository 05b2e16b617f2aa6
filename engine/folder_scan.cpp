// The folder scan: the listing, the measuring pipeline and the store, put
// together.
#include "folder_scan.h"

#include "clock.h"
#include "dialogs.h"
#include "measure_pipeline.h"
#include "numbers.h"
#include "photo_store.h"
#include "read_failure.h"
#include "settings.h"

#include <QDateTime>
#include <QDir>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace kestova {

namespace {

// Whether the counted folder is still the one listed, asked on a thread of
// its own: on a share that stopped answering the question itself may never
// return, and the scan must still end when the operator stops it. Nothing
// when stopped; otherwise the error (0: the same folder, -1: another one).
std::optional<int> FolderStill(const QString &folder, const FolderListing &listing, ScanObserver *observer,
                               int done)
{
    struct Answer {
        std::mutex mutex;
        std::condition_variable ready;
        bool given = false;
        int error = 0;
    };
    const auto answer = std::make_shared<Answer>();
    FolderListing identity;
    identity.device = listing.device;
    identity.inode = listing.inode;
    std::thread([answer, folder, identity] {
        int error = 0;
        const bool same = SameFolderStill(folder, identity, &error);
        const std::lock_guard lock(answer->mutex);
        answer->error = same ? 0 : error != 0 ? error : -1;
        answer->given = true;
        answer->ready.notify_all();
    }).detach();
    std::unique_lock lock(answer->mutex);
    while (!answer->ready.wait_for(lock, std::chrono::milliseconds(25), [&] { return answer->given; })) {
        lock.unlock();
        const bool stop = observer && observer->Waiting(done);
        lock.lock();
        if (stop && !answer->given)
            return std::nullopt;
    }
    return answer->error;
}

QString GoneMessage(const QString &folder, int error)
{
    const QString why = error < 0 ? QStringLiteral("已换成了别的文件夹") : SystemCause(error);
    return QStringLiteral("统计失败：文件夹 %1 在统计中途已无法访问（%2），合计未更新。")
        .arg(QDir::toNativeSeparators(folder), why);
}

ScanEnd StoreFailed(PhotoStore &store, Dialogs &dialogs)
{
    store.AbortBatch();
    dialogs.ShowMessage(QStringLiteral("数据库写入失败：") + store.WriteFailureCause(), QStringLiteral("错误"),
                        MessageIcon::Critical, MessageButtons::Ok);
    return ScanEnd::StoreFailed;
}

} // namespace

ScanEnd ScanFolder(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                   ScanObserver *observer, ScanReport *report)
{
    ScanReport ignored;
    if (!report)
        report = &ignored;
    report->unreadable = 0;
    report->goneMessage.clear();
    // Refused before the listing, which can take long on a large folder.
    PhotoStore::CountLockState lockState;
    std::unique_ptr<CountLock> lock = store.LockForCount(&lockState);
    struct HandOver {
        ScanReport *report;
        std::unique_ptr<CountLock> &lock;
        ~HandOver()
        {
            if (report->keepLock)
                report->lock = std::move(lock);
        }
    } handOver{report, lock};
    if (lockState == PhotoStore::CountLockState::Busy) {
        dialogs.ShowMessage(QStringLiteral("另一个统计正在进行，请稍后再试。"), QStringLiteral("提示"),
                            MessageIcon::Information, MessageButtons::Ok);
        return ScanEnd::Busy;
    }
    if (!lock)
        return StoreFailed(store, dialogs);
    // From here until the count completes, the store says that its totals
    // are not this folder's: nothing prints them as this customer's order.
    CountRecord record{folder,          Now(), settings.SizeUnit(), settings.PhotoArea,
                       settings.RadixPoint, settings.UnitRadixPoint,  false};
    if (!store.BeginBatch() || !store.BeginCount(record) || !store.EndBatch())
        return StoreFailed(store, dialogs);

    QStringList files;
    // An empty path would list the whole root of the disk as one order.
    FolderListing listing;
    if (!folder.isEmpty()) {
        listing = ListFiles(folder, QStringLiteral("*.*"), files,
                            [observer](int found) { return observer && observer->Listing(found); });
    }
    if (listing.stopped) {
        // No file measured: PhotoDetail is emptied as by a scan stopped
        // before its first file.
        if (!store.BeginBatch() || !store.DeletePhotoDetail())
            return StoreFailed(store, dialogs);
        return store.EndBatch() ? ScanEnd::Stopped : StoreFailed(store, dialogs);
    }
    const int n = listing.count;
    if (observer)
        observer->FilesListed(n);
    if (n == 0) {
        dialogs.ShowMessage(QStringLiteral("文件不存在！"), QStringLiteral("系统提示"), MessageIcon::Information,
                            MessageButtons::Ok);
        return ScanEnd::NoFiles;
    }

    // From here on the list is only read, on this thread and by the workers.
    const QStringList &list = files;
    MeasurePipeline pipeline(list, settings, listing.deviceWaits);
    // Any write the store refuses ends the count: going on would leave a
    // PhotoDetail with holes, or an earlier folder's totals, looking complete.
    if (!store.BeginBatch() || !store.DeletePhotoDetail())
        return StoreFailed(store, dialogs);
    for (int i = 0; i < n; ++i) {
        const QString &path = list[i];
        const std::optional<PhotoMeasure> measured =
            pipeline.Take(i, [observer, i] { return observer && observer->Waiting(i); });
        if (!measured)
            return store.EndBatch() ? ScanEnd::Stopped : StoreFailed(store, dialogs);
        const PhotoMeasure &m = *measured;
        const auto refused = listing.unreadable.constFind(path);
        if (refused != listing.unreadable.constEnd() || m.Unreadable)
            ++report->unreadable;
        if (refused != listing.unreadable.constEnd()) {
            DetailRow row;
            row.PhotoPath = path;
            row.WidthAndHeight = refused.value();
            if (!store.InsertPhotoDetail(row))
                return StoreFailed(store, dialogs);
        } else if (!m.ArithmeticError.isEmpty()) {
            dialogs.ShowMessage(m.ArithmeticError, QString(), MessageIcon::None, MessageButtons::Ok);
        } else {
            DetailRow row;
            row.PhotoPath = path;
            row.PhotoWidth = m.PrintWidth;
            row.PhotoHeight = m.PrintHeight;
            row.HorizontalResolution = m.HorizontalDpi;
            row.VerticalResolution = m.VerticalDpi;
            row.IsSucceed = m.Succeeded;
            const QString width = NumberText(m.PrintWidth);
            const QString height = NumberText(m.PrintHeight);
            if (!m.Succeeded && !m.FailureReason.isEmpty()) {
                row.WidthAndHeight = m.FailureReason;
                row.PhotoArea = 0;
            } else if (settings.Sameness) {
                // One size for both turns: the longer side first for landscape
                // pictures, height first for everything else.
                row.WidthAndHeight = m.PixelWidth > m.PixelHeight ? width + u'*' + height : height + u'*' + width;
                row.PhotoArea = m.Area;
            } else {
                row.WidthAndHeight = width + u'*' + height;
                row.PhotoArea = RoundHalfEven(m.Area, settings.RadixPoint);
            }
            if (!store.InsertPhotoDetail(row))
                return StoreFailed(store, dialogs);
        }
        if (observer && observer->FileDone(i + 1))
            return store.EndBatch() ? ScanEnd::Stopped : StoreFailed(store, dialogs);
    }
    // A folder that went away during the count (a card pulled, a share lost)
    // made its files fail for that reason: no totals are made of them.
    const bool opened = listing.device != 0 || listing.inode != 0;
    const std::optional<int> still = opened ? FolderStill(folder, listing, observer, n) : std::optional<int>(0);
    if (!still)
        return store.EndBatch() ? ScanEnd::Stopped : StoreFailed(store, dialogs);
    if (*still != 0) {
        if (!store.EndBatch())
            return StoreFailed(store, dialogs);
        report->goneMessage = GoneMessage(folder, *still);
        dialogs.ShowMessage(report->goneMessage, QStringLiteral("错误"), MessageIcon::Critical, MessageButtons::Ok);
        return ScanEnd::FolderGone;
    }
    // The totals are replaced in the batch's last transaction: they are
    // either all new or, after a failure, all as they were.
    if (!store.DeletePhotoTotal() || !store.InsertSizeTotals(settings.RadixPoint)
        || !store.InsertGrandTotal(settings.RadixPoint) || !store.CompleteCount() || !store.EndBatch())
        return StoreFailed(store, dialogs);
    return ScanEnd::Completed;
}

} // namespace kestova
