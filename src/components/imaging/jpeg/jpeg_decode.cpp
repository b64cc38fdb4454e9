#include "components/imaging/jpeg/jpeg_decode.h"

#include <QFile>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <vector>

#include <unistd.h>

// jpeglib.h needs FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/jpeg/jpeg_guard.h"
#include "components/imaging/pixels/pixel_support.h"

namespace lumaset::imaging_detail {

namespace {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "JCS_EXT_BGRA lays pixels out as Format_RGB32 only on little-endian machines");

constexpr int kApp1 = JPEG_APP0 + 1;
constexpr int kRowsPerRead = 16;
constexpr std::size_t kReadBytes = 64 * 1024;
// The markers before the first scan are read in small pieces: a file may
// put many large segments there, which are passed over by seeking.
constexpr std::size_t kHeaderReadBytes = 512;
// What is read of a file is bounded: before the first scan, by what no
// photo's segments come near (one passed over costs a small read, one kept
// at most 64 KB); after it, by what no picture's data come near, a few
// bytes a pixel. Stray bytes between markers, and tiny segments, are passed
// over one at a time, so a file padded with a gigabyte of them would cost
// seconds.
constexpr qint64 kMostHeaderBytes = qint64{16} << 20;
constexpr qint64 kMostDataBytes = qint64{16} << 20;
constexpr qint64 kMostDataBytesAPixel = 8;
const QByteArrayView kExifMark("Exif\0\0", 6);

// libjpeg reads the file a piece at a time through this source, never
// through a map of it: a file that another program cuts short meanwhile
// gives a short read, which the decoder takes as the end of the file. It
// reads the file's descriptor itself, so that a segment passed over costs a
// seek and the few bytes asked for, not a buffer's worth read ahead.
struct FileSource {
  jpeg_source_mgr pub;  // first, so that libjpeg's pointer is also ours
  int descriptor = -1;
  std::vector<JOCTET> buffer;
  std::size_t readBytes = kHeaderReadBytes;  // asked of the file at a time
  qint64 bytesRead = 0;
  qint64 mostBytes = kMostHeaderBytes;  // read before the file counts as more than a picture
};

const JOCTET kEndMarker[] = {0xFF, JPEG_EOI};

void startSource(j_decompress_ptr) {}
void endSource(j_decompress_ptr) {}

boolean fillSource(j_decompress_ptr info) {
  auto* source = reinterpret_cast<FileSource*>(info->src);
  if (source->bytesRead >= source->mostBytes) {
    reinterpret_cast<ErrorManager*>(info->err)->tooMuchData = true;
    leave(reinterpret_cast<j_common_ptr>(info));
  }
  const std::size_t wanted = std::min(source->readBytes, source->buffer.size());
  ssize_t read = 0;
  do {
    read = ::read(source->descriptor, source->buffer.data(), wanted);
  } while (read < 0 && errno == EINTR);
  if (read <= 0) {
    WARNMS(info, JWRN_JPEG_EOF);
    source->pub.next_input_byte = kEndMarker;
    source->pub.bytes_in_buffer = sizeof kEndMarker;
    return TRUE;
  }
  source->bytesRead += read;
  source->pub.next_input_byte = source->buffer.data();
  source->pub.bytes_in_buffer = static_cast<std::size_t>(read);
  return TRUE;
}

void skipSource(j_decompress_ptr info, long count) {
  auto* source = reinterpret_cast<FileSource*>(info->src);
  if (count <= 0) return;
  const auto wanted = static_cast<std::size_t>(count);
  if (wanted <= source->pub.bytes_in_buffer) {
    source->pub.next_input_byte += wanted;
    source->pub.bytes_in_buffer -= wanted;
    return;
  }
  // Past the buffer: the file is wound on; past its end, the next read finds nothing.
  const auto beyond = static_cast<off_t>(wanted - source->pub.bytes_in_buffer);
  source->pub.bytes_in_buffer = 0;
  if (::lseek(source->descriptor, beyond, SEEK_CUR) < 0) (void)::lseek(source->descriptor, 0, SEEK_END);
}


// Copies the file's next `count` bytes to `out` (nullptr: passes over
// them). The source never suspends: at the file's end it warns, which in
// the header leaves the decoder.
void takeBytes(j_decompress_ptr info, char* out, std::size_t count) {
  jpeg_source_mgr* source = info->src;
  if (!out) {
    (*source->skip_input_data)(info, static_cast<long>(count));
    return;
  }
  while (count > 0) {
    if (source->bytes_in_buffer == 0) (*source->fill_input_buffer)(info);
    const std::size_t piece = std::min(count, source->bytes_in_buffer);
    std::copy_n(source->next_input_byte, piece, out);
    source->next_input_byte += piece;
    source->bytes_in_buffer -= piece;
    out += piece;
    count -= piece;
  }
}

// The first EXIF segment is kept (client_data points to where); the other
// APP1 segments (XMP, further EXIF) are passed over without being held.
boolean readApp1(j_decompress_ptr info) {
  auto* exif = static_cast<QByteArray*>(info->client_data);
  unsigned char length[2];
  takeBytes(info, reinterpret_cast<char*>(length), 2);
  const qsizetype content = (length[0] << 8 | length[1]) - 2;
  if (content <= 0) return TRUE;
  if (!exif->isEmpty() || content < kExifMark.size()) {
    takeBytes(info, nullptr, static_cast<std::size_t>(content));
    return TRUE;
  }
  // Read straight into the decoder's own copy: a damaged file jumps out of
  // a read, past the end of anything made here.
  exif->resize(content);
  takeBytes(info, exif->data(), kExifMark.size());
  const bool isExif = QByteArrayView(*exif).startsWith(kExifMark);
  const auto rest = static_cast<std::size_t>(content - kExifMark.size());
  takeBytes(info, isExif ? exif->data() + kExifMark.size() : nullptr, rest);
  if (!isExif) exif->clear();
  return TRUE;
}

// One decoder over one open file; whatever happens, both are released.
struct Decoder {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  FileSource source{};
  QFile file;
  qint64 size = 0;
  bool created = false;
  QByteArray exif;  // the first EXIF segment's content
  QImage image;
  std::vector<JSAMPLE> cmykRow;

  Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

// The functions that call into libjpeg keep every state in the decoder, so
// that a jump back out of the library skips nothing that needs destroying.
bool readHeader(Decoder& d, qint64 byteLimit) {
  if (setjmp(d.errors.jump)) return false;
  d.created = true;
  createWatchedDecoder(d.info, d.errors, d.progress);
  d.info.mem->max_memory_to_use = static_cast<long>(byteLimit);
  d.source.descriptor = d.file.handle();
  d.source.buffer.resize(kReadBytes);
  d.source.pub.init_source = startSource;
  d.source.pub.fill_input_buffer = fillSource;
  d.source.pub.skip_input_data = skipSource;
  d.source.pub.resync_to_restart = jpeg_resync_to_restart;
  d.source.pub.term_source = endSource;
  d.info.src = &d.source.pub;
  d.info.client_data = &d.exif;
  jpeg_set_marker_processor(&d.info, kApp1, readApp1);
  jpeg_read_header(&d.info, TRUE);
  d.errors.inHeader = false;
  d.source.readBytes = kReadBytes;
  d.source.mostBytes = d.source.bytesRead + kMostDataBytes +
                       qint64{d.info.image_width} * d.info.image_height * kMostDataBytesAPixel;
  return true;
}

bool cmyk(const jpeg_decompress_struct& info) {
  return info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
}

// Adobe's programs write CMYK with every value inverted; others write it plain.
void cmykToRgb(const JSAMPLE* in, QRgb* out, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, in += 4) {
    int c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
  }
}

bool readRows(Decoder& d) {
  if (setjmp(d.errors.jump)) return false;
  jpeg_decompress_struct& info = d.info;
  jpeg_start_decompress(&info);
  d.image = pixels::NewPicture(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
  if (d.image.isNull()) {
    d.errors.failure = JERR_OUT_OF_MEMORY;
    return false;
  }
  const bool fourInks = info.out_color_space == JCS_CMYK;
  if (fourInks) d.cmykRow.resize(std::size_t{info.output_width} * 4);
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    if (fourInks) {
      JSAMPROW row = d.cmykRow.data();
      if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
      cmykToRgb(row, reinterpret_cast<QRgb*>(d.image.scanLine(static_cast<int>(first))), info.output_width,
                info.saw_Adobe_marker);
      continue;
    }
    JSAMPROW rows[kRowsPerRead];
    const JDIMENSION count = std::min<JDIMENSION>(kRowsPerRead, info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = d.image.scanLine(static_cast<int>(first + i));
    if (jpeg_read_scanlines(&info, rows, count) == 0) return false;
  }
  return !d.errors.fileEnded || hasEveryScan(info, d.errors.scanned);
}

Result<bool> open(Decoder& d, const QString& path, qint64 byteLimit) {
  if (!openRegularFile(d.file, path)) return Error{QStringLiteral("it cannot be opened")};
  d.size = d.file.size();
  if (readHeader(d, byteLimit)) return true;
  if (d.errors.tooMuchData) {
    return Error{QStringLiteral("the file holds more than %1 MB before its picture").arg(kMostHeaderBytes >> 20)};
  }
  if (d.errors.failure == JERR_BAD_PRECISION) {
    return Error{QStringLiteral("the picture uses %1 bits a sample, and Lumaset reads JPEG pictures of 8 bits a sample")
                     .arg(d.errors.precision)};
  }
  return Error{kDamaged};
}

int orientationOf(const Decoder& d) {
  const int orientation = exifOrientation(d.exif);
  return orientation != 0 ? orientation : 1;
}

// The smallest of libjpeg's scales (eighths) that decodes at least `target`
// and is smaller than the stored picture; full size when none is (at 7/8 a
// picture of 7 x 7 is still 7 x 7, but its pixels are no longer its own).
unsigned eighthsFor(QSize stored, QSize target) {
  for (unsigned eighths = 1; eighths < 8; ++eighths) {
    const auto scaled = [eighths](int side) { return (qint64{side} * eighths + 7) / 8; };
    const qint64 width = scaled(stored.width()), height = scaled(stored.height());
    const bool reaches = width >= target.width() && height >= target.height();
    if (reaches && (width < stored.width() || height < stored.height())) return eighths;
  }
  return 8;
}

// A shrunk picture is held as decoded at `eighths`, scaled to `target` and
// turned upright; a full-size one is its caller's to count.
qint64 shrunkPictureBytes(QSize stored, QSize target, unsigned eighths, int orientation) {
  const auto scaled = [eighths](int side) { return (qint64{side} * eighths + 7) / 8; };
  const qint64 decoded = scaled(stored.width()) * scaled(stored.height()) * 4;
  const qint64 targetBytes = qint64{target.width()} * target.height() * 4;
  const bool rescaled = scaled(stored.width()) != target.width() || scaled(stored.height()) != target.height();
  return decoded + (rescaled ? targetBytes : 0) + (orientation != 1 ? targetBytes : 0);
}

}  // namespace

bool looksLikeJpeg(QByteArrayView fileStart) { return fileStart.startsWith("\xFF\xD8"); }

QSize JpegHeader::upright() const { return orientation >= 5 ? stored.transposed() : stored; }

Result<JpegHeader> readJpegHeader(const QString& path) {
  Decoder d;
  const auto opened = open(d, path, qint64{1} << 30);
  if (!opened) return Error{opened.error()};
  return JpegHeader{QSize(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height)),
                    d.info.num_components, orientationOf(d)};
}

Result<QImage> decodeJpeg(const QString& path, int longSide, qint64 byteLimit) {
  Decoder d;
  const auto opened = open(d, path, byteLimit);
  if (!opened) return Error{opened.error()};
  const QSize stored(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height));
  const int orientation = orientationOf(d);
  const bool shrink = longSide > 0 && std::max(stored.width(), stored.height()) > longSide;
  const QSize target = shrink ? fitLongSide(stored, longSide) : stored;
  const auto memory = [&] {
    const QSize named = JpegHeader{stored, 0, orientation}.upright();
    return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                     .arg(named.width())
                     .arg(named.height())};
  };
  if (qint64{target.width()} * target.height() * 4 > byteLimit) return memory();
  if (!holdsItsBlocks(d.info, d.size)) return Error{kDamaged};
  d.info.scale_num = eighthsFor(stored, target);
  d.info.scale_denom = 8;
  d.info.dct_method = JDCT_ISLOW;
  d.info.do_fancy_upsampling = TRUE;
  d.info.out_color_space = cmyk(d.info) ? JCS_CMYK : JCS_EXT_BGRA;
  const qint64 own = decoderBytes(&d.info);
  const qint64 picture = shrink ? shrunkPictureBytes(stored, target, d.info.scale_num, orientation) : 0;
  const DecodeMemory::Share share(DecodeMemory::Shared(), own + picture);
  if (share.tooLarge()) return memory();
  if (!share.granted()) return CancelledError();
  d.info.mem->max_memory_to_use = static_cast<long>(own);
  if (!readRows(d)) return d.errors.stopped ? CancelledError() : decodeFailure(d.errors, stored, memory());
  QImage image = std::move(d.image);
  if (image.size() != target) image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  image = orientedUpright(image, orientation);
  if (image.isNull()) return memory();
  return image;
}

QSize fitLongSide(QSize size, int longSide) {
  const double longer = std::max(size.width(), size.height());
  const auto side = [&](int length) { return std::max(1, qRound(length * (longSide / longer))); };
  return {side(size.width()), side(size.height())};
}

QImage orientedUpright(const QImage& image, int orientation) {
  const auto quarter = [&image](qreal degrees) { return image.transformed(QTransform().rotate(degrees)); };
  switch (orientation) {
    case 2: return image.mirrored(true, false);
    case 3: return image.mirrored(true, true);
    case 4: return image.mirrored(false, true);
    case 5: return quarter(90).mirrored(true, false);
    case 6: return quarter(90);
    case 7: return quarter(90).mirrored(false, true);
    case 8: return quarter(270);
    default: return image;
  }
}

}  // namespace lumaset::imaging_detail
