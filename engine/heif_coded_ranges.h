// Where a HEIF file's coded pictures lie. When libheif opens a file it
// copies the data of every item into memory, the coded pictures too, though
// it looks at no byte of them until it decodes: for a few hundred bytes of
// boxes it reads the whole photo, which on a share or a cold disk is most of
// the cost of measuring it. The HEIF reader hands libheif zeros for these
// ranges instead of reading them.
#pragma once

#include "image_source.h"

#include <vector>

namespace kestova {

struct ByteRange {
    qint64 start = 0;
    qint64 end = 0; // one past the last byte
};

// The extents of the hvc1 and av01 items, read as libheif reads the boxes,
// sorted. Empty when anything is unexpected (a second meta box, a version
// or field size libheif reads otherwise, an extent outside the mdat box or
// overlapping anything else libheif reads): the whole file is then read.
std::vector<ByteRange> CodedPictureRanges(ImageSource &source);

} // namespace kestova
