// Listing the files under a folder, in the order a count stores them.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestova {

// Appends the files under folder to list, depth first: a folder's own files
// before its sub-folders, each in case-insensitive name order as NTFS keeps
// it (upper-case folding, ties by the plain text). Hidden entries (Unix: the
// name begins with "."; Windows: the hidden or system attribute), anything
// but regular files and folders, and folders whose name begins with "." are
// left out; a folder reached twice through links is entered once, where the
// depth-first order reaches it first. Names are decoded by the path codec,
// and folders of any depth are listed. Paths use the platform's separator;
// the folder gets one appended when it has none.
// Returns the number of files in the list.
int ListFiles(const QString &folder, const QString &pattern, QStringList &list);

struct FolderListing {
    int count = 0;            // entries appended
    bool stopped = false;     // progress asked to stop; nothing was appended
    bool deviceWaits = false; // opening a folder waited for the device
    // Entries that could not be read, by their path in the list, with the
    // reason ("无法读取：权限不足"): a folder that could not be opened or
    // listed is in the list itself, as its path with a separator at the end,
    // where its files would have been; a file whose kind could not be told
    // is in the list like any file.
    QHash<QString, QString> unreadable;
    // The listed folder's device and inode, to tell later whether it is
    // still the same folder (a card pulled, a share gone).
    quint64 device = 0;
    quint64 inode = 0;
};

// Whether the folder listed is still there, the same one: false when it
// cannot be opened any more or another file system sits in its place; *error
// then holds the system's error (0 for another folder).
bool SameFolderStill(const QString &folder, const FolderListing &listing, int *error);

// ListFiles for a count. Folders are listed by several threads at once
// (many on a slow device), the result in the same order. While they run,
// progress(found) is called on the calling thread about every 25 ms with the
// number of files found so far; when it returns true the listing stops.
FolderListing ListFiles(const QString &folder, const QString &pattern, QStringList &list,
                        const std::function<bool(int found)> &progress);

} // namespace kestova
