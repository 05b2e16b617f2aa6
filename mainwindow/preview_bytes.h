// What of a file the preview's decoders are given. Qt's decoders read a
// file's metadata whole before the picture (libjpeg keeps every APP1 and
// APP2 segment, libtiff every tag's value, the WebP reader the whole file),
// so a small picture behind hundreds of megabytes of metadata would cost
// that much memory to show. The decoders see the file instead as pieces: the
// picture and the metadata that shapes it (orientation, colour profile up
// to MetadataLimit), with every other block of metadata left out.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QList>
#include <QString>

namespace kestova {

class ImageSource;

// The most metadata of one kind (EXIF, colour profile, one TIFF tag) given
// to a decoder.
constexpr qint64 MetadataLimit = 1 << 20;
// The most compressed picture data a WebP may hold to be previewed: its
// reader keeps all of it in memory while decoding.
constexpr qint64 WebpDataLimit = 64 << 20;

// A stretch of the file (from >= 0), or bytes of its own.
struct BytePiece {
    qint64 from = -1;
    qint64 length = 0;
    QByteArray bytes;
};

struct PreviewBytes {
    enum Kind { Whole, Pieces, Refused } kind = Whole;
    QList<BytePiece> pieces;  // Pieces
    QString reason;           // Refused: why, for the operator
    bool leanScans = false;   // the last piece is a JPEG's scans (PieceDevice)
};

// JPEG: APP0, the first EXIF APP1, colour-profile APP2 segments up to the
// limit and APP14 are kept before the first scan; other APPn and comments
// are left out, there and between the scans (libjpeg keeps those it meets
// after the picture too).
PreviewBytes LeanJpeg(ImageSource &source);
// TIFF: entries of the first directory whose values exceed the limit are
// left out of it, save the strips, tiles, colour map and tables.
PreviewBytes LeanTiff(ImageSource &source);
// WebP: EXIF, XMP and unknown chunks are left out, and a colour profile
// over the limit; refused when the picture data exceed WebpDataLimit.
PreviewBytes LeanWebp(ImageSource &source);

// The pieces one after the other, read from the file at path as a
// read-only random-access device. With leanScans the last piece is a JPEG
// from its first scan on: application segments and comments in it are left
// out as the reading reaches them (the device gets shorter then, beyond what
// was read), so the file is not read ahead of the decoder.
class PieceDevice : public QIODevice
{
public:
    PieceDevice(const QString &path, QList<BytePiece> pieces, bool leanScans = false);

    bool open(OpenMode mode) override;
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    // Settles the pieces up to device position upTo.
    void ExamineScans(qint64 upTo);

    QString m_path;
    QList<BytePiece> m_pieces;
    QList<qint64> m_starts;  // where each piece starts in the device
    qint64 m_size = 0;
    qint64 m_pos = 0;
    bool m_leanScans = false;
    qint64 m_examined = 0;  // the file up to here is settled
    QFile m_file;
};

} // namespace kestova
