// HEIF test files made with libheif: an HEVC-coded image whose left half is
// dark and right half light (so a turn can be seen), stored with an irot for
// the given orientation and an EXIF block when exif is not empty. Empty when
// libheif has no HEVC encoder here.
#pragma once

#include <QByteArray>

#include <libheif/heif.h>

namespace kestova::test {

QByteArray HeifBytes(int width, int height, heif_orientation orientation, const QByteArray &exif = QByteArray());

} // namespace kestova::test
