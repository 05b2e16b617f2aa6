// What a file's headers claim, checked before the file reaches a decoder
// that would allocate what they claim before reading it: libpng allocates
// (and clears) the whole length of a text chunk first, so a 51-byte file
// claiming a 2 GB chunk costs 2 GB; libmng allocates every frame and image
// the file defines, magnified as the file asks; libjpeg keeps the
// coefficients of a progressive JPEG for the whole image, whatever size is
// decoded. The checks read headers only.
#pragma once

#include "image_source.h"

namespace kestova {

// How the chunk list of the PNG stream at start (its signature) fits the
// bytes up to end.
struct PngChunks {
    enum Fit {
        Whole,         // every chunk up to IEND lies within the bytes
        ImageThenCut,  // the image data is complete, but the chunk at cut
                       // (or the end of the bytes, without IEND) does not fit
        Damaged,       // the bytes end inside the header or the image data
    };
    Fit fit = Damaged;
    qint64 cut = 0;
    quint64 pixels = 0; // width × height of its IHDR
};
PngChunks CheckPngChunks(ImageSource &source, qint64 start, qint64 end);

// Every PNG stream embedded in the file (icons hold them) is Whole and
// claims at most maxPixels. Reads the whole file.
bool EmbeddedPngsFit(ImageSource &source, quint64 maxPixels);

// An MNG file's claims in pixels: its frame, every image it defines (IHDR,
// JHDR, BASI, CLON) and their largest magnification (MAGN). Infinity for a
// file that is not MNG or whose chunks cannot be followed to MEND.
double MngClaimedPixels(ImageSource &source);

// The bytes of coefficients libjpeg keeps for the whole image while it
// decodes the JPEG: progressive files, and those whose first scan does not
// hold every component, are decoded from such a buffer. 0 for a JPEG decoded
// as it is read, and for what libjpeg would not decode at all.
double JpegBufferedBytes(ImageSource &source);

// The file's signature.
bool IsPng(const uchar *prefix, qint64 size);
bool IsMng(const uchar *prefix, qint64 size);
// ICO, CUR and ICNS: the icon files that embed PNG streams.
bool IsIconFile(const uchar *prefix, qint64 size);

} // namespace kestova
