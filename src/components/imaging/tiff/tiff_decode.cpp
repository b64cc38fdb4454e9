#include "components/imaging/tiff/tiff_decode.h"

#include <QColorSpace>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/oriented_samples.h"
#include "components/imaging/picture_shrink.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/tiff/tiff_memory.h"
#include "components/imaging/tiff/tiff_pixels.h"
#include "components/imaging/tiff/tiff_samples.h"

namespace lumaset::imaging_detail {

namespace {

Error damaged(const QString& message) {
  return Error{QStringLiteral("the picture is damaged or incomplete%1")
                   .arg(message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message))};
}

Error noMemory(const TiffSamples& layout) {
  return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                   .arg(layout.width)
                   .arg(layout.length)};
}

// The colour profile and resolution the file gives, as Qt's reader sets them.
void setFacts(TIFF* tiff, QImage& image) {
  uint32_t size = 0;
  const char* profile = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &profile) && profile)
    image.setColorSpace(QColorSpace::fromIccProfile(QByteArray(profile, static_cast<qsizetype>(size))));
  uint16_t unit = RESUNIT_INCH;
  float across = 0, down = 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double perMetre = unit == RESUNIT_CENTIMETER ? 100 : unit == RESUNIT_INCH ? 100 / 2.54 : 0;
  if (perMetre > 0 && TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &across) &&
      TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &down) && across > 0 && down > 0 && across < 1e6 && down < 1e6) {
    image.setDotsPerMeterX(static_cast<int>(std::lround(across * perMetre)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(down * perMetre)));
  }
}

// The first picture of a file as libtiff hands it out, a band (a strip, or
// a row of tiles) of each plane at a time, in order from the top.
class Bands {
 public:
  explicit Bands(QIODevice& file) : tiff_(openTiff(file, message_)) {
    if (tiff_) kind_ = tiffKindOf(tiff_.get());
  }

  // Why the picture cannot be read here, if it cannot.
  std::optional<Error> problem() const {
    if (!kind_) return damaged(message_);
    if (!readsTiffKind(*kind_)) return unreadableTiffKind(*kind_);
    return std::nullopt;
  }
  const TiffKind& kind() const { return *kind_; }
  const TiffSamples& layout() const { return kind_->samples; }
  TIFF* tiff() const { return tiff_.get(); }

  // Row `y` of `image` from the file, its band read when it is not the one
  // held (rows asked for from the top down read each band once). False when
  // the file is damaged there, or the decode was stopped.
  bool put(uint32_t y, QImage& image, int imageRow) {
    if (!loaded_ || y < *loaded_ || y >= *loaded_ + layout().rowsAt(*loaded_)) {
      if (DecodeStop::requested()) {
        stopped_ = true;
        return false;
      }
      if (!load(y - y % layout().bandRows())) return false;
    }
    putTiffRow(*kind_, planes_, (y - *loaded_) * layout().rowBytes(layout().width), image, imageRow);
    return true;
  }
  // The error that ended the reading.
  Error failure() const { return stopped_ ? CancelledError() : damaged(message_); }

 private:
  bool load(uint32_t y) {
    const TiffSamples& samples = layout();
    if (planes_.empty()) {
      planes_.assign(static_cast<size_t>(samples.planes()),
                     std::vector<unsigned char>(samples.rowBytes(samples.width) * samples.bandRows()));
    }
    loaded_.reset();
    for (int p = 0; p < samples.planes(); ++p)
      if (!readTiffBand(tiff_.get(), samples, p, y, planes_[static_cast<size_t>(p)].data(), tile_)) return false;
    loaded_ = y;
    return true;
  }

  QString message_;  // before the handle, which reports into it
  TiffHandle tiff_;
  std::optional<TiffKind> kind_;
  TiffPlanes planes_;
  std::vector<unsigned char> tile_;
  std::optional<uint32_t> loaded_;  // the first row of the band held
  bool stopped_ = false;
};

}  // namespace

std::optional<TiffDepth> tiffDepth(QIODevice& file) {
  QString message;
  const TiffHandle tiff = openTiff(file, message);
  const std::optional<TiffSamples> samples = tiff ? tiffSamplesOf(tiff.get()) : std::nullopt;
  if (!samples) return std::nullopt;
  const bool palette = samples->photometric == PHOTOMETRIC_PALETTE && samples->bits <= 16;
  const int bits = samples->bits * samples->samples;
  return TiffDepth{bits, palette ? 1 << samples->bits : bits == 1 ? 2 : 0};
}

bool isBigTiff(QByteArrayView fileStart) {
  return fileStart.startsWith(QByteArrayView("II+\0", 4)) || fileStart.startsWith(QByteArrayView("MM\0+", 4));
}

std::optional<TiffMeasure> measureTiff(QIODevice& file) {
  QString message;
  const TiffHandle tiff = openTiff(file, message);
  const std::optional<TiffSamples> samples = tiff ? tiffSamplesOf(tiff.get()) : std::nullopt;
  if (!samples || samples->width > INT_MAX || samples->length > INT_MAX) return std::nullopt;
  return TiffMeasure{QSize(static_cast<int>(samples->width), static_cast<int>(samples->length)),
                     uprightTransformation(samples->orientation),
                     static_cast<int>(TIFFNumberOfDirectories(tiff.get()))};
}

std::optional<TiffReading> tiffReading(QIODevice& file) {
  QString message;
  const TiffHandle tiff = openTiff(file, message);
  const std::optional<TiffKind> kind = tiff ? tiffKindOf(tiff.get()) : std::nullopt;
  if (!kind) return std::nullopt;
  const TiffSamples& layout = kind->samples;
  // Counted in double: a header's tile may claim billions of rows.
  const double piece = static_cast<double>(layout.rowBytes(layout.width)) * layout.bandRows() * layout.planes() +
                       (layout.tiled ? static_cast<double>(TIFFTileSize64(tiff.get())) : 0);
  return TiffReading{readsTiffKind(*kind), qtMisreadsTiffKind(*kind), static_cast<qint64>(std::min(piece, 1e15))};
}

Result<QImage> decodeTiff(QIODevice& file) {
  Bands bands(file);
  if (auto problem = bands.problem()) return *problem;
  const TiffSamples& layout = bands.layout();
  QImage image = newTiffPicture(bands.kind(), static_cast<int>(layout.width), static_cast<int>(layout.length));
  if (image.isNull()) return noMemory(layout);
  for (uint32_t y = 0; y < layout.length; ++y)
    if (!bands.put(y, image, static_cast<int>(y))) return bands.failure();
  setFacts(bands.tiff(), image);
  return image;
}

Result<QImage> shrunkTiff(QIODevice& file, QSize target) {
  Bands bands(file);
  if (auto problem = bands.problem()) return *problem;
  const TiffSamples& layout = bands.layout();
  const QSize size(static_cast<int>(layout.width), static_cast<int>(layout.length));
  Result<QImage> small = shrunkInBands(size, target, [&](int top, int rows) -> Result<QImage> {
    QImage band = newTiffPicture(bands.kind(), size.width(), rows);
    if (band.isNull()) return noMemory(layout);
    for (int r = 0; r < rows; ++r)
      if (!bands.put(static_cast<uint32_t>(top + r), band, r)) return bands.failure();
    return band;
  });
  if (!small) return small;
  QImage picture = std::move(small).value();
  setFacts(bands.tiff(), picture);
  return picture;
}

}  // namespace lumaset::imaging_detail
