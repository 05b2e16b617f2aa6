// The folder scan: list every file under a folder, measure each one into
// PhotoDetail and rebuild PhotoTotal.
//
// How a scan ends decides what the store holds afterwards:
//   no file found   PhotoDetail and PhotoTotal unchanged
//   all files done  PhotoDetail one row per file, PhotoTotal rebuilt
//   stopped         PhotoDetail the files measured so far (none when the
//                   listing was stopped), PhotoTotal unchanged
//   store failed    what the last commit before the failure left; the scan
//                   stops at the first write the store refuses, and PhotoTotal
//                   is only ever replaced as a whole
//   busy            nothing touched: another count holds the store
//   folder gone     as stopped: the folder went away during the count (a
//                   card pulled, a share lost), so its files that failed
//                   failed for that reason and no total is made of them
//
// An entry the count cannot read (a folder it may not open, a file whose
// listing, stat or reading fails) is a row of its own, marked failed, with
// the reason in place of its size ("无法读取：权限不足"); a file that is
// read but not plausible or not an image keeps its reason there too.
//
// Every count but a busy one first marks the store's CountState as not
// complete for this folder; only a completed count marks it complete, in the
// transaction that replaces PhotoTotal.
#pragma once

#include "count_lock.h"
#include "folder_list.h"

#include <QString>

#include <memory>

namespace kestova {

class Dialogs;
class PhotoStore;
struct Settings;

// Told about the scan's progress, on the scanning thread.
class ScanObserver
{
public:
    virtual ~ScanObserver() = default;
    // While the folders are being listed, about every 25 ms: found files so
    // far. Returning true stops the scan.
    virtual bool Listing(int found) { (void)found; return false; }
    // The file list is complete; count files will be measured.
    virtual void FilesListed(int count) { (void)count; }
    // While the scan waits for the measurement of the next file (a slow
    // device), about every 25 ms; done files are stored. Returning true
    // stops the scan at once.
    virtual bool Waiting(int done) { (void)done; return false; }
    // After each file: done files of the list are measured. Returning true
    // stops the scan before the next file.
    virtual bool FileDone(int done) { (void)done; return false; }
};

enum class ScanEnd { NoFiles, Completed, Stopped, StoreFailed, Busy, FolderGone };

// What a scan tells besides how it ended.
struct ScanReport {
    // In: keep the count lock after the scan, in lock, so that what the
    // caller reads of the store and shows belongs to this count.
    bool keepLock = false;
    std::unique_ptr<CountLock> lock;
    // Entries that could not be read (rows marked failed with the reason).
    int unreadable = 0;
    // FolderGone: the message shown, naming the folder.
    QString goneMessage;
};

// An empty folder path is a folder without files (it does not mean the root).
ScanEnd ScanFolder(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                   ScanObserver *observer = nullptr, ScanReport *report = nullptr);

} // namespace kestova
