#pragma once

// What Qt's TIFF writer cannot keep of a TIFF file that is written back:
// it compresses with LZW or not at all, writes 96 dpi where the file gave no
// resolution, and drops the words a camera or a scanner put in the file.

#include <QByteArray>
#include <QByteArrayView>

#include "components/result.h"

namespace lumaset::imaging_detail {

// `written` is a TIFF that Qt's writer made, uncompressed, of the picture of
// `original` turned a quarter turn. Gives it stored as `original` was: in its
// byte order, with its compression (and predictor) where libtiff has the
// codec (LZW otherwise), its resolution with across and down trading places
// (none where it had none), its colour profile (none where it had none), and
// its description, maker, model, software, date, artist, copyright, XMP,
// IPTC and Photoshop data.
Result<QByteArray> tiffLikeOriginal(QByteArrayView written, QByteArrayView original);

// The bits of each sample of the first picture of a TIFF file; 0 when the
// file cannot be opened.
int tiffSampleBits(QByteArrayView file);

}  // namespace lumaset::imaging_detail
