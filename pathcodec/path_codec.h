// PathCodec: the one translation between file names as the system keeps them
// and the text the program shows, stores and compares, and the one way a
// path given as text is opened again.
//
// On Unix a name is a string of bytes. Names written by Chinese Windows
// (unpacked from its archives, copied from its disks) are GBK, not UTF-8.
// Decoding: bytes that are valid UTF-8 are UTF-8; anything else is read as
// GBK, and each byte GBK cannot place becomes one private-use character
// (U+F780 to U+F7FF for the bytes 0x80 to 0xFF), so no name is ever lost to
// a replacement character and every text encodes back to its bytes.
// Encoding: each component of a path is looked up in its folder as UTF-8
// first, then in its GBK (or escaped) form; the first that exists is used.
// Paths longer than the system's limit are opened folder by folder.
//
// On Windows names are UTF-16 already; only the first two functions are
// there.
#pragma once

#include <QByteArray>
#include <QString>

class QFile;

namespace kestova {

// Opens the file at path for reading into file, which closes it again.
bool OpenForReading(QFile &file, const QString &path);

// Whether path names a folder (a link to one counts).
bool IsFolderPath(const QString &path);

#ifdef Q_OS_UNIX
// One name (no separator) as text.
QString DecodeName(const QByteArray &name);

// A name read from the open folder dirFd. When the folder also holds the
// UTF-8 spelling of its GBK reading (the same text from different bytes),
// its bytes above 0x7F are all escaped instead, so that both stay apart.
QString DecodeNameIn(int dirFd, const QByteArray &name);

// A whole path from the system (a command-line argument), name by name.
QString DecodePath(const QByteArray &path);

// The bytes of a path as they are on disk, for handing to another program.
// A component that does not exist is given in UTF-8.
QByteArray EncodePath(const QString &path);

// open(2) of a path given as text (O_CLOEXEC is added): -1 with errno set
// when it cannot be opened.
int OpenPath(const QString &path, int flags);
#endif

} // namespace kestova
