// The folder scan: list every file under a folder, measure each one into
// PhotoDetail and rebuild PhotoTotal.
//
// How a scan ends decides what the store holds afterwards:
//   no file found   PhotoDetail and PhotoTotal unchanged
//   all files done  PhotoDetail one row per file, PhotoTotal rebuilt
//   stopped         PhotoDetail the files measured so far, PhotoTotal unchanged
//   store failed    what the last commit before the failure left; the scan
//                   stops at the first write the store refuses, and PhotoTotal
//                   is only ever replaced as a whole
//   busy            nothing touched: another count holds the store
#pragma once

#include <QString>
#include <QStringList>

namespace kestova {

class Dialogs;
class PhotoStore;
struct Settings;

// Appends the files under folder to list, depth first: a folder's own files
// before its sub-folders, each in case-insensitive name order as NTFS keeps
// it (upper-case folding, ties by the plain text). Hidden entries (Unix: the
// name begins with "."; Windows: the hidden or system attribute), anything
// but regular files and folders, and folders whose name begins with "." are
// left out; a folder reached twice through links is entered once. Names are
// decoded by the path codec, and folders of any depth are listed. Paths use
// the platform's separator; the folder gets one appended when it has none.
// Returns the number of files in the list.
int ListFiles(const QString &folder, const QString &pattern, QStringList &list);

// Told about the scan's progress, on the scanning thread.
class ScanObserver
{
public:
    virtual ~ScanObserver() = default;
    // The file list is complete; count files will be measured.
    virtual void FilesListed(int count) { (void)count; }
    // After each file: done files of the list are measured. Returning true
    // stops the scan before the next file.
    virtual bool FileDone(int done) { (void)done; return false; }
};

enum class ScanEnd { NoFiles, Completed, Stopped, StoreFailed, Busy };

// An empty folder path is a folder without files (it does not mean the root).
ScanEnd ScanFolder(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                   ScanObserver *observer = nullptr);

} // namespace kestova
