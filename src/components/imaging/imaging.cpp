#include "components/imaging/imaging.h"

#include <QTransform>

#include <new>

#include "components/imaging/pixels/pixel_effects.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace lumaset {

namespace {

// Changes stop short of pictures that would need more than 1 GB, so that a
// mistyped size gives a message instead of exhausting memory.
constexpr qint64 kMaxPixels = qint64{1} << 28;

Error noPicture() { return Error{QStringLiteral("No picture is loaded.")}; }

Error tooLarge(qint64 width, qint64 height) {
  return Error{QStringLiteral("A picture of %1 x %2 pixels is too large.").arg(width).arg(height)};
}

bool fits(qint64 width, qint64 height) {
  return width > 0 && height > 0 && width <= kMaxPixels && height <= kMaxPixels / width;
}

}  // namespace

// ---- loading -----------------------------------------------------------------

Status Imaging::LoadFile(const QString& path) { return loadFrom(path, 0); }

Status Imaging::loadFileScaled(const QString& path, int longSide) {
  if (longSide <= 0) return Error{QStringLiteral("A picture cannot be shrunk to %1 pixels.").arg(longSide)};
  return loadFrom(path, longSide);
}

Status Imaging::loadFrom(const QString& path, int longSide) {
  const Operation operation(*this, QStringLiteral("Loading"));
  auto held = decode(path, longSide, true);
  if (!held) return Error{held.error()};
  operation.step(80);
  startPicture(std::move(held).value());
  return Status::success();
}

Status Imaging::LoadFromPicture(const QImage& picture) {
  auto held = toHeldFormat(picture);
  if (!held) return Error{held.error()};
  startPicture(std::move(held).value());
  return Status::success();
}

Status Imaging::LoadFromImgX(const Imaging& other) {
  if (!other.hasPicture()) return noPicture();
  startPicture(other.picture_);
  return Status::success();
}

Status Imaging::LoadBits(const PixelBits& bits, const QString& undoLabel) {
  if (!fits(bits.width, bits.height)) return tooLarge(bits.width, bits.height);
  const auto width = static_cast<std::size_t>(bits.width);
  if (bits.rgb.size() != width * static_cast<std::size_t>(bits.height) * 3) {
    return Error{QStringLiteral("The pixel data does not match a picture of %1 x %2 pixels.")
                     .arg(bits.width)
                     .arg(bits.height)};
  }
  QImage image(bits.width, bits.height, QImage::Format_RGB32);
  if (image.isNull()) return tooLarge(bits.width, bits.height);
  for (int y = 0; y < bits.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    const std::uint8_t* source = bits.pixel(0, y);
    for (std::size_t x = 0; x < width; ++x, source += 3) line[x] = qRgb(source[0], source[1], source[2]);
  }
  commit(std::move(image), undoLabel);
  return Status::success();
}

void Imaging::startPicture(QImage picture) {
  undoStates_.clear();
  picture_ = std::move(picture);
  colorsUsed_.reset();
}

void Imaging::commit(QImage picture, const QString& undoLabel) {
  if (undoLabel != kNoUndo && undoLevels_ > 0 && hasPicture()) {
    undoStates_.push_back(picture_);
    while (undoStates_.size() > static_cast<std::size_t>(undoLevels_)) undoStates_.pop_front();
  }
  picture_ = std::move(picture);
  colorsUsed_.reset();
}

// ---- looking at the picture ----------------------------------------------------

Result<PixelBits> Imaging::GetBits() const {
  if (!hasPicture()) return noPicture();
  PixelBits bits{picture_.width(), picture_.height(), {}};
  bits.rgb.resize(static_cast<std::size_t>(bits.width) * static_cast<std::size_t>(bits.height) * 3);
  for (int y = 0; y < bits.height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(picture_.constScanLine(y));
    std::uint8_t* target = bits.pixel(0, y);
    for (int x = 0; x < bits.width; ++x, target += 3) {
      target[0] = static_cast<std::uint8_t>(qRed(line[x]));
      target[1] = static_cast<std::uint8_t>(qGreen(line[x]));
      target[2] = static_cast<std::uint8_t>(qBlue(line[x]));
    }
  }
  return bits;
}

// Counted exactly, one bit for each of the 2^24 colours; kept until the picture changes.
int Imaging::ColorsUsed() const {
  if (!hasPicture()) return 0;
  if (colorsUsed_) return *colorsUsed_;
  std::vector<std::uint64_t> seen((1U << 24) / 64, 0);
  for (int y = 0; y < picture_.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(picture_.constScanLine(y));
    for (int x = 0; x < picture_.width(); ++x) {
      const QRgb color = line[x] & 0xFFFFFFU;
      seen[color >> 6] |= std::uint64_t{1} << (color & 63U);
    }
  }
  int count = 0;
  for (const std::uint64_t word : seen) count += std::popcount(word);
  colorsUsed_ = count;
  return count;
}

Result<QRgb> Imaging::PixelColor(int x, int y) const {
  if (!picture_.valid(x, y)) {
    return Error{QStringLiteral("The point %1, %2 lies outside the picture.").arg(x).arg(y)};
  }
  return picture_.pixel(x, y) | 0xFF000000U;
}

// ---- changing the picture ------------------------------------------------------

Status Imaging::ImgResize(int width, int height, const QString& undoLabel) {
  if (!hasPicture()) return noPicture();
  if (width <= 0 || height < 0) {
    return Error{QStringLiteral("%1 x %2 pixels is not a picture size.").arg(width).arg(height)};
  }
  const QSize target = height == 0 ? fitLongSide(picture_.size(), width) : QSize(width, height);
  if (!fits(target.width(), target.height())) return tooLarge(target.width(), target.height());
  const Operation operation(*this, QStringLiteral("Resizing"));
  QImage scaled = picture_.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (scaled.isNull()) return tooLarge(target.width(), target.height());
  operation.step(90);
  commit(std::move(scaled), undoLabel);
  return Status::success();
}

Status Imaging::ImgCrop(int left, int top, int width, int height, const QString& undoLabel) {
  if (!hasPicture()) return noPicture();
  // 64-bit sums: a rectangle far outside the picture must not overflow.
  const auto clampTo = [](qint64 value, int limit) {
    return static_cast<int>(std::clamp<qint64>(value, 0, limit));
  };
  const int x0 = clampTo(left, picture_.width());
  const int y0 = clampTo(top, picture_.height());
  const int x1 = clampTo(qint64{left} + width, picture_.width());
  const int y1 = clampTo(qint64{top} + height, picture_.height());
  if (x1 <= x0 || y1 <= y0) {
    return Error{QStringLiteral("The area to keep (%1, %2, %3 x %4 pixels) lies outside the picture.")
                     .arg(left)
                     .arg(top)
                     .arg(width)
                     .arg(height)};
  }
  const Operation operation(*this, QStringLiteral("Cropping"));
  QImage cropped = picture_.copy(x0, y0, x1 - x0, y1 - y0);
  if (cropped.isNull()) return tooLarge(x1 - x0, y1 - y0);
  operation.step(90);
  commit(std::move(cropped), undoLabel);
  return Status::success();
}

Status Imaging::ImgRotate(double degrees, const QString& undoLabel) {
  if (!hasPicture()) return noPicture();
  if (!std::isfinite(degrees)) return Error{QStringLiteral("The angle to turn by is not a number.")};
  const double angle = std::fmod(degrees, 360.0);
  const double quarters = angle / 90.0;
  const bool quarterTurn = std::abs(quarters - std::round(quarters)) < 1e-9;
  if (quarterTurn) {
    const int turns = static_cast<int>(std::lround(quarters));
    return ApplyPixelWork(QStringLiteral("Rotating"), undoLabel,
                          [turns](const QImage& source, PixelJob& job) { return QuarterTurn(source, turns, job); });
  }
  const QTransform turn = QTransform().rotate(angle);
  const QRect bounds = turn.mapRect(picture_.rect());
  if (!fits(bounds.width(), bounds.height())) return tooLarge(bounds.width(), bounds.height());
  Operation operation(*this, QStringLiteral("Rotating"));
  QImage turned = picture_.transformed(turn, Qt::SmoothTransformation);
  if (turned.isNull()) return tooLarge(bounds.width(), bounds.height());
  if (!operation.step(80)) return CancelledError();
  auto held = toHeldFormat(turned);  // the corners of an oblique turn are transparent: white
  if (!held) return Error{held.error()};
  commit(std::move(held).value(), undoLabel);
  return Status::success();
}

Status Imaging::ImgMirror(const QString& undoLabel) {
  return ApplyPixelWork(QStringLiteral("Mirroring"), undoLabel,
                        [](const QImage& source, PixelJob& job) { return Mirror(source, job); });
}

// ---- options, progress and undo ------------------------------------------------

void Imaging::setJpegQuality(int quality) { jpegQuality_ = std::clamp(quality, 1, 100); }

// The JFIF header holds the density in 16 bits.
void Imaging::setJpegDpi(int dotsPerInch) { jpegDpi_ = std::clamp(dotsPerInch, 1, 65535); }

bool Imaging::report(int percent) const {
  if (!progressEnabled_ || !progressHandler_) return false;
  const ProgressHandler handler = progressHandler_;  // the handler may replace itself
  bool cancel = false;
  handler(percent, cancel);
  return cancel;
}

Status Imaging::ApplyPixelWork(const QString& workText, const QString& undoLabel, const PixelWork& work) {
  if (!hasPicture()) return noPicture();
  Operation operation(*this, workText);
  if (operation.cancelled()) return CancelledError();
  // Without anyone to report to (and so no Cancel), a one-thread job runs on this thread.
  KeepGoing keepGoing;
  if (progressEnabled_ && progressHandler_) keepGoing = [&operation](int percent) { return operation.step(percent); };
  PixelJob job(workerThreads_, std::move(keepGoing));
  // The held picture stays untouched until the work has succeeded.
  Result<QImage> changed = [&]() -> Result<QImage> {
    try {
      return work(picture_, job);
    } catch (const std::bad_alloc&) {
      return tooLarge(picture_.width(), picture_.height());
    }
  }();
  if (!changed) return Error{changed.error(), changed.cancelled()};
  commit(std::move(changed).value(), undoLabel);
  return Status::success();
}

void Imaging::UndoLevels(int levels) {
  undoLevels_ = std::max(levels, 0);
  while (undoStates_.size() > static_cast<std::size_t>(undoLevels_)) undoStates_.pop_front();
}

Status Imaging::UndoSave(const QString& label) {
  if (!hasPicture()) return noPicture();
  commit(picture_, label);
  return Status::success();
}

Status Imaging::UndoLast() {
  if (undoStates_.empty()) return Error{QStringLiteral("There is nothing to undo.")};
  picture_ = std::move(undoStates_.back());
  undoStates_.pop_back();
  colorsUsed_.reset();
  return Status::success();
}

}  // namespace lumaset
