// HEIF test files made with libheif: an HEVC-coded image whose left half is
// dark and right half light (so a turn can be seen), stored with an irot for
// the given orientation and an EXIF block when exif is not empty. Empty when
// libheif has no HEVC encoder here.
#pragma once

#include <QByteArray>
#include <QImage>

#include <libheif/heif.h>

namespace kestova::test {

QByteArray HeifBytes(int width, int height, heif_orientation orientation, const QByteArray &exif = QByteArray());

// The picture coded in 4:2:0 at x265's fastest setting, so that large
// pictures take seconds: converted by libheif, or, with nclx, here with its
// matrix (BT.709, otherwise BT.601) and range, and labelled with it; with an
// EXIF block when exif is not empty. Empty when libheif has no HEVC encoder
// here.
QByteArray HeifFromPicture(const QImage &picture, const heif_color_profile_nclx *nclx = nullptr,
                           const QByteArray &exif = QByteArray());

} // namespace kestova::test
