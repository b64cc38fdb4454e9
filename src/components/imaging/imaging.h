#pragma once

// The imaging layer: one object holds one picture at a time and loads,
// shrinks, crops, turns, mirrors and saves it, reporting progress on request.
// Pictures are read from JPEG (with libjpeg directly), PNG, BMP, GIF, TIFF
// and WebP files, told by their content whatever their names, and written
// through Qt's image plugins (PNGs that Qt reads wrong or slowly with libpng
// directly). A picture whose decode would hold more than the decode memory,
// or whose full-size read more than the full-size memory, is refused with a
// message naming its size; the memory is asked for before the file is read.
//
// A held picture is always opaque 32-bit RGB (QImage::Format_RGB32): indexed,
// grey and deep pictures are widened, and transparent parts are laid on white,
// as they would come out on paper. Pictures are read upright: a JPEG's EXIF
// orientation (and a TIFF's orientation tag) is applied to the pixels, and
// the sizes FileInfo gives are the upright ones.

#include <QImage>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "components/file_system.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/result.h"

namespace lumaset {

// What a picture file says about itself, read from its header alone.
struct FileFacts {
  int width = 0;  // upright
  int height = 0;
  int bitsPerPixel = 0;
  int paletteSize = 0;  // the palette's size for indexed pictures, else 0
};

// The held picture's pixels as plain bytes: rows from top to bottom without
// padding, three bytes per pixel in the order red, green, blue.
struct PixelBits {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  std::uint8_t* pixel(int x, int y) { return rgb.data() + offset(x, y); }
  const std::uint8_t* pixel(int x, int y) const { return rgb.data() + offset(x, y); }

 private:
  std::size_t offset(int x, int y) const {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
  }
};

class Imaging {
 public:
  // Receives 0 when an operation starts, values between as it goes, and 100
  // when it ends, also when it fails. Setting `cancel` asks the operation to
  // stop: an effect then leaves the picture as it was and fails with an error
  // whose cancelled() is true.
  using ProgressHandler = std::function<void(int percent, bool& cancel)>;
  // Makes the changed picture from the held one in row bands of `job`.
  using PixelWork = std::function<Result<QImage>(const QImage& source, PixelJob& job)>;

  // The change label that keeps no earlier state for UndoLast.
  static inline const QString kNoUndo = QStringLiteral("No Undo");

  Imaging() = default;
  Imaging(const Imaging&) = delete;
  Imaging& operator=(const Imaging&) = delete;

  // Reading files. These two hold no state, so they may run on a worker thread.
  static Result<FileFacts> FileInfo(const QString& path);
  // The picture in `path` decoded so that its longer side is at most `longSide`
  // pixels; the codec scales while decoding where it can (JPEG does), others
  // are shrunk a band at a time, and the small picture is then turned upright.
  static Result<QImage> readScaled(const QString& path, int longSide);
  // The whole picture in `path` as its reader gives it, turned upright: its
  // own pixel format, transparency, colour profile and resolution kept, for
  // the windows and commands that show or rewrite a file as it is.
  static Result<QImage> ReadAsStored(const QString& path);
  // How many pages or frames the picture file in `path` holds.
  static Result<int> FrameCount(const QString& path);

  // Loading a picture starts afresh: earlier states of the previous one are dropped.
  Status LoadFile(const QString& path);
  Status loadFileScaled(const QString& path, int longSide);
  Status LoadFromPicture(const QImage& picture);
  Status LoadFromImgX(const Imaging& other);
  // Replaces the pixels of the held picture; this is a change that UndoLast can take back.
  Status LoadBits(const PixelBits& bits, const QString& undoLabel = {});

  bool hasPicture() const { return !picture_.isNull(); }
  QImage GetPicture() const { return picture_; }
  Result<PixelBits> GetBits() const;
  int PixelWidth() const { return picture_.width(); }
  int PixelHeight() const { return picture_.height(); }
  // The number of different colours in the held picture (0 without one).
  int ColorsUsed() const;
  // The colour at (x, y) as Qt's QRgb, 0xAARRGGBB with alpha always 0xFF;
  // qRed, qGreen and qBlue split it.
  Result<QRgb> PixelColor(int x, int y) const;

  // With height 0 the longer side becomes `width` and the aspect is kept;
  // otherwise the picture becomes exactly width x height.
  Status ImgResize(int width, int height = 0, const QString& undoLabel = {});
  // The part of the rectangle that lies inside the picture is kept.
  Status ImgCrop(int left, int top, int width, int height, const QString& undoLabel = {});
  // Positive angles turn clockwise. Quarter turns are exact; other angles
  // leave white corners.
  Status ImgRotate(double degrees, const QString& undoLabel = {});
  // Left becomes right.
  Status ImgMirror(const QString& undoLabel = {});

  // Runs `work` on the held picture as one operation named `workText` for the
  // progress display, and keeps its result as one change (see UndoLast).
  Status ApplyPixelWork(const QString& workText, const QString& undoLabel, const PixelWork& work);
  // How many threads pixel work uses; 0, the default, one per processor.
  void setWorkerThreads(int threads) { workerThreads_ = std::max(threads, 0); }

  // Writes the held picture as JPEG with the quality and resolution below,
  // replacing a file of that name, or with `name` New refusing to.
  Status SaveFile(const QString& path, FileSystemUtility::Name name = FileSystemUtility::Name::Replace);
  // Writes the held picture in the given format ("jpeg", "png", "tiff", "bmp",
  // "wbmp", "webp", ...); JPEG takes the quality and resolution below.
  Status saveAs(const QString& path, const QByteArray& format,
                FileSystemUtility::Name name = FileSystemUtility::Name::Replace);
  // The bytes of the file saveAs would write; a failure gives its cause.
  Result<QByteArray> Encode(const QByteArray& format);

  void setJpegQuality(int quality);  // 1 to 100
  int jpegQuality() const { return jpegQuality_; }
  void setJpegDpi(int dotsPerInch);  // written to the JFIF header
  int jpegDpi() const { return jpegDpi_; }

  void setProgressHandler(ProgressHandler handler) { progressHandler_ = std::move(handler); }
  void setProgressEnabled(bool enabled) { progressEnabled_ = enabled; }
  bool progressEnabled() const { return progressEnabled_; }
  // A short description of the running (or last) operation, such as "Resizing".
  QString InfoText() const { return infoText_; }

  // How many earlier states UndoLast can go back to; 0 keeps none.
  void UndoLevels(int levels);
  // Keeps the present state for UndoLast, as a change would.
  Status UndoSave(const QString& label = {});
  Status UndoLast();

 private:
  // Tells the progress handler 0 when an operation starts and 100 when it
  // ends, however it ends, so that a progress display never stays up.
  class Operation {
   public:
    Operation(Imaging& owner, const QString& text) : owner_(owner) {
      owner_.infoText_ = text;
      cancelled_ = owner_.report(0);
    }
    ~Operation() { owner_.report(100); }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    // False once the progress handler asked to stop.
    bool step(int percent) const {
      if (!cancelled_) cancelled_ = owner_.report(percent);
      return !cancelled_;
    }
    bool cancelled() const { return cancelled_; }

   private:
    Imaging& owner_;
    mutable bool cancelled_ = false;
  };

  static QSize fitLongSide(QSize size, int longSide);
  // The picture as stored, or widened to the held form (`widen`).
  static Result<QImage> decode(const QString& path, int longSide, bool widen);
  static Result<QImage> toHeldFormat(const QImage& image);
  Status loadFrom(const QString& path, int longSide);
  void startPicture(QImage picture);
  void commit(QImage picture, const QString& undoLabel);
  // True when the handler asked to stop.
  bool report(int percent) const;

  QImage picture_;
  std::deque<QImage> undoStates_;
  int undoLevels_ = 0;
  int workerThreads_ = 0;
  int jpegQuality_ = 90;
  int jpegDpi_ = 150;
  bool progressEnabled_ = false;
  ProgressHandler progressHandler_;
  QString infoText_;
  mutable std::optional<int> colorsUsed_;
};

// GIF files are taken by their name alone.
bool IsGifName(const QString& path);

// Whether a file is one of the pictures a folder shows (in the thumbnail
// panel and the folder picker alike): GIF files by name, others when their
// header can be read.
bool AcceptedAsPicture(const QString& path);

namespace imaging_detail {

// The most memory one picture read at full size may take while it is decoded
// and widened to the held form; full-size reads share it.
inline constexpr qint64 kFullSizeBytes = qint64{1536} << 20;
class DecodeMemory;
DecodeMemory& FullSizeMemory();

// What reading a picture asks for before a byte of its pixels is read: from
// the decode memory (the file's bytes while they are held, the picture as
// its reader decodes it, the copies that shrink or turn it; a JPEG's decoder
// asks for its own), and from the full-size memory when the picture is read
// at full size, widened to the held form when `widen` is set.
struct DecodeRequest {
  qint64 decodeBytes = 0;
  qint64 fullSizeBytes = 0;
  QSize size;  // the picture's, as it is decoded
};
Result<DecodeRequest> decodeRequest(const QString& path, int longSide, bool widen);

}  // namespace imaging_detail

}  // namespace lumaset
