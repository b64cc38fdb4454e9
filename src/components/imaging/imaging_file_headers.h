#pragma once

// Facts that the imaging layer reads from the raw bytes of a picture file,
// where Qt's codecs do not tell them: whether the file holds a whole picture
// (Qt's BMP and GIF decoders hand back a partly grey picture from a cut-off
// file without complaint), the palette of an indexed picture, and the EXIF
// orientation of a JPEG file.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace lumaset::imaging_detail {

// Whether files of this format (Qt's format name) need holdsWholePicture;
// the other codecs report a cut-off file themselves.
bool needsWholenessCheck(QByteArrayView format);

// Whether the file's first picture is all there.
bool holdsWholePicture(QByteArrayView file, QByteArrayView format);

struct PaletteFacts {
  int bitsPerPixel = 0;
  int colors = 0;
};

// The depth and palette size of an indexed GIF, PNG or BMP from the start of the file.
std::optional<PaletteFacts> paletteFacts(QByteArrayView fileStart, QByteArrayView format);

// The orientation (1 to 8) that an APP1 segment's EXIF data gives, from the
// segment's content after its length; 0 when it is no EXIF segment or names
// no valid orientation.
int exifOrientation(QByteArrayView app1);
// The same content with the orientation set to 1, upright as stored;
// unchanged when it names none.
QByteArray exifUpright(QByteArrayView app1);

}  // namespace lumaset::imaging_detail
