#include "components/imaging/jpeg/jpeg_strips.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace lumaset {

namespace {

// 4:2:0 sampling, libjpeg's default: an MCU covers 16 x 16 pixels.
constexpr int kMcuSide = 16;
// Strips are cut at multiples of this many rows.
constexpr int kStripRows = 256;

struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void trapError(j_common_ptr info) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  (*info->err->format_message)(info, trap->message);
  std::longjmp(trap->jump, 1);
}

// Compresses rows firstRow .. firstRow + rows − 1 as a JPEG of their own into
// `*bytes` (malloc'ed, for the caller to free). Plain C flow: libjpeg leaves by longjmp.
bool compressRows(const QImage& picture, int firstRow, int rows, int quality, int dotsPerInch,
                  unsigned char** bytes, unsigned long* size, char* message) {
  jpeg_compress_struct info{};
  ErrorTrap trap{};
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = trapError;
  if (setjmp(trap.jump) != 0) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", trap.message);
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, bytes, size);
  info.image_width = static_cast<JDIMENSION>(picture.width());
  info.image_height = static_cast<JDIMENSION>(rows);
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;  // QRgb in memory on a little-endian machine
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.density_unit = 1;  // dots per inch
  info.X_density = static_cast<UINT16>(dotsPerInch);
  info.Y_density = static_cast<UINT16>(dotsPerInch);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    auto* row = const_cast<JSAMPROW>(picture.constScanLine(firstRow + static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

struct Parts {
  qsizetype sof = -1;   // the frame header's marker
  qsizetype sos = -1;   // the scan header's marker
  qsizetype data = -1;  // the first byte of entropy-coded data
};

// Where the headers of a JPEG that libjpeg has just written lie.
Parts findParts(const QByteArray& jpeg) {
  Parts parts;
  qsizetype at = 2;  // after SOI
  while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
    const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    const qsizetype length = (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
    if (marker == 0xC0) parts.sof = at;
    if (marker == 0xDA) {
      parts.sos = at;
      parts.data = at + 2 + length;
      break;
    }
    at += 2 + length;
  }
  return parts;
}

}  // namespace

Result<QByteArray> EncodeJpeg(const QImage& picture, int quality, int dotsPerInch, PixelJob& job) {
  if (picture.isNull() || picture.format() != QImage::Format_RGB32) {
    return Error{QStringLiteral("there is no picture to write")};
  }
  const int height = picture.height();
  const int stripRows = PixelJob::BandRows(height, kStripRows);
  const long long mcusPerStrip = static_cast<long long>((picture.width() + kMcuSide - 1) / kMcuSide) * (stripRows / kMcuSide);
  const int strips = (height + stripRows - 1) / stripRows;
  const bool joined = strips > 1 && mcusPerStrip <= 0xFFFF;  // the restart interval is 16 bits
  const int cut = joined ? stripRows : height;

  std::vector<QByteArray> parts(static_cast<std::size_t>(joined ? strips : 1));
  std::vector<QString> failures(parts.size());
  const bool done = job.Run(height, cut, [&](int firstRow, int endRow, const BandContext&) {
    const std::size_t strip = static_cast<std::size_t>(firstRow / cut);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    if (compressRows(picture, firstRow, endRow - firstRow, quality, dotsPerInch, &bytes, &size, message)) {
      parts[strip] = QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    } else {
      failures[strip] = QString::fromLocal8Bit(message);
    }
    std::free(bytes);
  });
  if (!done) return CancelledError();
  for (const QString& failure : failures) {
    if (!failure.isEmpty()) return Error{failure};
  }
  if (!joined) return parts.front();

  // The first strip's headers, its frame as tall as the picture, a restart
  // interval of one strip; then each strip's data, with RST0..RST7 between.
  QByteArray& first = parts.front();
  const Parts layout = findParts(first);
  if (layout.sof < 0 || layout.sos < 0) return Error{QStringLiteral("the JPEG library wrote an unexpected header")};
  first[layout.sof + 5] = static_cast<char>(height >> 8);
  first[layout.sof + 6] = static_cast<char>(height & 0xFF);
  QByteArray out;
  qsizetype total = 0;
  for (const QByteArray& part : parts) total += part.size() + 2;
  out.reserve(total + 16);
  out.append(first.constData(), layout.sos);
  const char restart[] = {char(0xFF), char(0xDD), 0, 4, char(mcusPerStrip >> 8), char(mcusPerStrip & 0xFF)};
  out.append(restart, sizeof restart);
  for (std::size_t strip = 0; strip < parts.size(); ++strip) {
    const QByteArray& part = parts[strip];
    const Parts own = strip == 0 ? layout : findParts(part);
    if (own.data < 0 || part.size() < own.data + 2) return Error{QStringLiteral("the JPEG library wrote an unexpected strip")};
    if (strip == 0) {
      out.append(part.constData() + layout.sos, part.size() - layout.sos - 2);
    } else {
      out.append(char(0xFF)).append(char(0xD0 + (strip - 1) % 8));
      out.append(part.constData() + own.data, part.size() - own.data - 2);
    }
  }
  out.append(char(0xFF)).append(char(0xD9));
  return out;
}

}  // namespace lumaset
