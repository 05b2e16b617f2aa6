// The folder scan: the listing, the measuring pipeline and the store, put
// together.
#include "folder_scan.h"

#include "dialogs.h"
#include "measure_pipeline.h"
#include "numbers.h"
#include "photo_store.h"
#include "settings.h"

#include <QDateTime>

namespace kestova {

namespace {

ScanEnd StoreFailed(PhotoStore &store, Dialogs &dialogs)
{
    store.AbortBatch();
    dialogs.ShowMessage(QStringLiteral("数据库写入失败：") + store.WriteFailureCause(), QStringLiteral("错误"),
                        MessageIcon::Critical, MessageButtons::Ok);
    return ScanEnd::StoreFailed;
}

} // namespace

ScanEnd ScanFolder(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                   ScanObserver *observer)
{
    // Refused before the listing, which can take long on a large folder.
    PhotoStore::CountLockState lockState;
    const std::unique_ptr<QLockFile> lock = store.LockForCount(&lockState);
    if (lockState == PhotoStore::CountLockState::Busy) {
        dialogs.ShowMessage(QStringLiteral("另一个统计正在进行，请稍后再试。"), QStringLiteral("提示"),
                            MessageIcon::Information, MessageButtons::Ok);
        return ScanEnd::Busy;
    }
    if (!lock)
        return StoreFailed(store, dialogs);
    // From here until the count completes, the store says that its totals
    // are not this folder's: nothing prints them as this customer's order.
    CountRecord record{folder,          QDateTime::currentDateTime(), settings.SizeUnit(), settings.AreaUnit(),
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
        if (!m.ArithmeticError.isEmpty()) {
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
            if (settings.Sameness) {
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
    // The totals are replaced in the batch's last transaction: they are
    // either all new or, after a failure, all as they were.
    if (!store.DeletePhotoTotal() || !store.InsertSizeTotals(settings.RadixPoint)
        || !store.InsertGrandTotal(settings.RadixPoint) || !store.CompleteCount() || !store.EndBatch())
        return StoreFailed(store, dialogs);
    return ScanEnd::Completed;
}

} // namespace kestova
