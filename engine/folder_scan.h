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
// Every count but a busy one first marks the store's CountState as not
// complete for this folder; only a completed count marks it complete, in the
// transaction that replaces PhotoTotal.
#pragma once

#include "folder_list.h"

#include <QString>

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

enum class ScanEnd { NoFiles, Completed, Stopped, StoreFailed, Busy };

// An empty folder path is a folder without files (it does not mean the root).
ScanEnd ScanFolder(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                   ScanObserver *observer = nullptr);

} // namespace kestova
