#pragma once

// TIFF files opened with libtiff in memory (read from a view of their bytes
// or written to a growing array) or read through a device, their errors
// gathered as words.

#include <tiffio.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <memory>

namespace lumaset::imaging_detail {

// A TIFF file in memory, read from a view or written to a growing array.
struct TiffMemoryFile {
  TiffMemoryFile() : writing(true) {}
  explicit TiffMemoryFile(QByteArrayView bytes) : in(bytes) {}

  QByteArrayView in;
  QByteArray out;
  bool writing = false;
  qint64 at = 0;

  qint64 size() const { return writing ? out.size() : in.size(); }
  const char* data() const { return writing ? out.constData() : in.data(); }
};

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// `file` opened in libtiff's `mode`; the first error libtiff reports goes to
// `message`, which must outlive the handle. Warnings are ignored.
TiffHandle openTiff(TiffMemoryFile& file, const char* mode, QString& message);

// A TIFF file read through a seekable `device`, never past its end and never
// mapped; as above otherwise.
TiffHandle openTiff(QIODevice& device, QString& message);

}  // namespace lumaset::imaging_detail
