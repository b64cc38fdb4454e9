#pragma once

// Facts that the imaging layer reads from the raw bytes of a picture file,
// where Qt's codecs do not tell them: whether the file holds a whole picture
// (Qt's BMP and GIF decoders hand back a partly grey picture from a cut-off
// file without complaint), the palette of an indexed picture, and the EXIF
// orientation of a JPEG file.

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QIODevice>
#include <QSize>
#include <QString>

#include <optional>

namespace lumaset::imaging_detail {

// The raster formats read here, told by a file's first bytes alone: "jpeg",
// "png", "gif", "bmp", "tiff" or "webp"; empty for anything else, however the
// file is named (readers that open further files, such as SVG's, never see it).
QByteArray pictureFormat(QByteArrayView fileStart);

// What decoding a picture costs, asked before any pixel is decoded, so that a
// few bytes that claim a huge picture cost nothing.
struct Footprint {
  enum class Verdict { Whole, Damaged, Packed, TooLarge };
  // Damaged: the file cannot hold the picture its header claims, by the
  // format's layout (or a run-length stream that ends at once). Packed: more
  // pixels for its bytes than the codec packs any photo or scan. TooLarge:
  // more pixels than any photo or scan has.
  Verdict verdict = Verdict::Damaged;
  // The memory the reader holds for the whole picture, in the form it
  // decodes it to (a GIF onto its whole screen), with its own buffers.
  qint64 heldBytes = 0;
  // The picture's size as the reader decodes it: a GIF's whole screen.
  QSize decoded;
  // The bits a pixel of that form, and of the own buffers the part a reader
  // that goes through the file a piece at a time holds for its piece (a
  // TIFF's strip or row of tiles, a bitmap's rows read at once).
  int bits = 32;
  qint64 pieceBytes = 0;
};

// A file read a window at a time, for walking its structure without holding
// all of it: a file of hundreds of megabytes costs the window alone. Reads
// past the end of the file (or of `size`, if it grew) give nothing.
class FileWindow {
 public:
  FileWindow(QIODevice& file, qint64 size) : file_(file), size_(size) {}
  qint64 size() const { return size_; }
  // The bytes from `at`, at most `count` of them (fewer where the file ends),
  // valid until the next call.
  QByteArrayView bytes(qint64 at, qsizetype count);

 private:
  QIODevice& file_;
  const qint64 size_;
  QByteArray window_;
  qint64 start_ = -1;
};

// `file` is all of a file in `format` whose header gives `size` (as stored).
Footprint decodeFootprint(QByteArrayView file, QByteArrayView format, QSize size);
// The same from a file that is not held: only the parts the format's layout
// points at are read.
Footprint decodeFootprint(FileWindow& file, QByteArrayView format, QSize size);

// Whether every chunk of a PNG file but its pixels lies whole within the
// file. Qt's reader asks for the memory a chunk states before reading it, so
// a few hundred bytes of file can cost gigabytes; pixels cut short are only
// an incomplete picture. Its size is read from the chunks before the pixels
// alone; a decode reads those after them too (`pastPixels`).
bool pngChunksWithinFile(FileWindow& file, bool pastPixels);

// What a PNG file's chunks before its pixels say.
struct PngHeader {
  QSize size;
  int bitDepth = 0;
  int colorType = 0;
  bool interlaced = false;
  bool transparentColour = false;  // a tRNS chunk
  // The depth the file itself stores: bits a sample times samples a pixel.
  int bitsPerPixel() const;
};

// The header of a PNG file from its start (enough of it to reach its first
// IDAT chunk for the transparent colour), or nothing when it is no PNG.
std::optional<PngHeader> readPngHeader(QByteArrayView fileStart);
std::optional<PngHeader> readPngHeader(FileWindow& file);

struct PaletteFacts {
  int bitsPerPixel = 0;
  int colors = 0;
};

// The depth and palette size of an indexed GIF or PNG from the start of the file.
std::optional<PaletteFacts> paletteFacts(QByteArrayView fileStart, QByteArrayView format);

// The orientation (1 to 8) that an APP1 segment's EXIF data gives, from the
// segment's content after its length; 0 when it is no EXIF segment or names
// no valid orientation.
int exifOrientation(QByteArrayView app1);
// The same for EXIF data without the segment's mark, a TIFF structure from
// its byte-order mark on (as PNG and WebP files hold it)...
int tiffOrientation(QByteArrayView tiff);
// ...and that data with the orientation set to 1, upright as stored;
// unchanged when it names none.
QByteArray tiffUpright(QByteArrayView tiff);

// EXIF data as PNG and WebP files hold it: a TIFF structure, which some
// writers put after the JPEG segment's mark. Its TIFF structure, and the
// orientation it is shown by (1 to 8): 1 where it names none, and for data
// larger than EXIF data ever is, which is not read.
QByteArrayView exifTiff(QByteArrayView exif);
int exifDataOrientation(QByteArrayView exif);

// The EXIF orientation (as exifDataOrientation) of a PNG file, by its eXIf
// chunk before the pixels (as viewers read it), and of a WebP file.
int pngOrientation(FileWindow& file);
int webpOrientation(FileWindow& file);

// Opens `path` for reading only when it is a regular file, without waiting
// on it (a FIFO or a device never answers), and gives the open file; errno
// says why not.
bool openRegularFile(QFile& file, const QString& path);

}  // namespace lumaset::imaging_detail
