#include "components/imaging/imaging_jpeg.h"

#include <QFile>
#include <QTransform>

#include <algorithm>
#include <csetjmp>
#include <vector>

// jpeglib.h needs FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/pixel_support.h"

namespace lumaset::imaging_detail {

namespace {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "JCS_EXT_BGRA lays pixels out as Format_RGB32 only on little-endian machines");

constexpr int kApp1 = JPEG_APP0 + 1;
constexpr int kRowsPerRead = 16;
constexpr std::size_t kReadBytes = 64 * 1024;

const QString kDamaged = QStringLiteral("the picture is damaged or incomplete");

// libjpeg reports through these hooks. A fatal error leaves the decoder at
// once, and so do a stop asked for and a file of more scans than any
// encoder writes. The end of the picture reached while picture data is
// still wanted (the file runs out, or its end marker comes before the last
// row of blocks) leaves too; a file that lacks only its end marker is
// whole. Every other warning (extraneous bytes, a corrupt restart
// interval, a data segment that ends early at the next segment's marker)
// is passed over and the picture is given.
struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer is also ours
  std::jmp_buf jump;
  bool outOfMemory = false;
  bool stopped = false;
  bool tooManyScans = false;
  bool inHeader = true;  // still reading the markers before the first scan
  bool fileEnded = false;  // the file ran out; libjpeg goes on as if it had ended there
};

[[noreturn]] void leave(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(errors->jump, 1);
}

[[noreturn]] void onError(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  const int code = errors->pub.msg_code;
  errors->outOfMemory = code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE;
  leave(info);
}

bool beforeLastRow(j_common_ptr common) {
  const auto* info = reinterpret_cast<j_decompress_ptr>(common);
  return info->input_iMCU_row + 1 < info->total_iMCU_rows;
}

// Huffman data that runs short is reported when its bits are wanted: after
// the file ran out that is damage, wherever it happens. Arithmetic-coded
// data is not reported at all, so the file's end decides: before the last
// row of a scan it is damage. A file that runs out between scans is whole
// when it has all of them, which the decode looks at when it is done.
void onMessage(j_common_ptr common, int level) {
  if (level >= 0 || !common->is_decompressor) return;
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  const auto* info = reinterpret_cast<j_decompress_ptr>(common);
  const int code = common->err->msg_code;
  if (code == JWRN_JPEG_EOF) {
    errors->fileEnded = true;
    if (errors->inHeader || (info->arith_code && beforeLastRow(common))) leave(common);
  } else if (code == JWRN_HIT_MARKER && info->unread_marker == JPEG_EOI) {
    if (errors->fileEnded || beforeLastRow(common)) leave(common);
  }
}

// Asked by libjpeg between rows and scans.
void onProgress(j_common_ptr common) {
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  if (DecodeStop::requested()) {
    errors->stopped = true;
    leave(common);
  }
  if (common->is_decompressor && reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMostJpegScans) {
    errors->tooManyScans = true;
    leave(common);
  }
}

// Whether a file that ran out had every scan: a progressive file has then
// brought every coefficient of every component to its last bit, a
// sequential one ended on a scan of all components.
bool hasEveryScan(const jpeg_decompress_struct& info) {
  if (!info.progressive_mode) return info.comps_in_scan == info.num_components;
  for (int c = 0; c < info.num_components; ++c) {
    for (int k = 0; k < DCTSIZE2; ++k) {
      if (info.coef_bits[c][k] != 0) return false;
    }
  }
  return true;
}

// Every block of every component costs at least one bit of Huffman code
// (its DC difference), so a file with fewer bits than blocks is cut off, or
// lies about its size. Arithmetic coding has no such floor (a page of one
// colour takes a few bytes), so those files are bounded by their memory
// and their scans alone.
bool holdsItsBlocks(const jpeg_decompress_struct& info, qint64 fileBytes) {
  if (info.arith_code) return true;
  double blocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    blocks += static_cast<double>(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks;
  }
  return static_cast<double>(fileBytes) * 8 >= blocks;
}

// What decoding holds besides the picture: a progressive file keeps every
// block's coefficients (64 of 2 bytes) until its last scan.
qint64 coefficientBytes(const jpeg_decompress_struct& info) {
  if (!info.progressive_mode) return 0;
  qint64 blocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    blocks += qint64{info.comp_info[c].width_in_blocks} * info.comp_info[c].height_in_blocks;
  }
  return blocks * 128;
}

// libjpeg reads the file a piece at a time through this source, never
// through a map of it: a file that another program cuts short meanwhile
// gives a short read, which the decoder takes as the end of the file.
struct FileSource {
  jpeg_source_mgr pub;  // first, so that libjpeg's pointer is also ours
  QFile* file = nullptr;
  std::vector<JOCTET> buffer;
};

const JOCTET kEndMarker[] = {0xFF, JPEG_EOI};

void startSource(j_decompress_ptr) {}
void endSource(j_decompress_ptr) {}

boolean fillSource(j_decompress_ptr info) {
  auto* source = reinterpret_cast<FileSource*>(info->src);
  const qint64 read = source->file->read(reinterpret_cast<char*>(source->buffer.data()),
                                         static_cast<qint64>(source->buffer.size()));
  if (read <= 0) {
    WARNMS(info, JWRN_JPEG_EOF);
    source->pub.next_input_byte = kEndMarker;
    source->pub.bytes_in_buffer = sizeof kEndMarker;
    return TRUE;
  }
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
  const auto beyond = static_cast<qint64>(wanted - source->pub.bytes_in_buffer);
  source->pub.bytes_in_buffer = 0;
  if (!source->file->seek(source->file->pos() + beyond)) (void)source->file->seek(source->file->size());
}

void silently(j_common_ptr) {}

// One decoder over one open file; whatever happens, both are released.
struct Decoder {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  FileSource source{};
  QFile file;
  qint64 size = 0;
  bool created = false;
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
  d.info.err = jpeg_std_error(&d.errors.pub);
  d.errors.pub.error_exit = onError;
  d.errors.pub.emit_message = onMessage;
  d.errors.pub.output_message = silently;
  d.created = true;
  jpeg_create_decompress(&d.info);
  d.info.mem->max_memory_to_use = static_cast<long>(byteLimit);
  d.progress.progress_monitor = onProgress;
  d.info.progress = &d.progress;
  d.source.file = &d.file;
  d.source.buffer.resize(kReadBytes);
  d.source.pub.init_source = startSource;
  d.source.pub.fill_input_buffer = fillSource;
  d.source.pub.skip_input_data = skipSource;
  d.source.pub.resync_to_restart = jpeg_resync_to_restart;
  d.source.pub.term_source = endSource;
  d.info.src = &d.source.pub;
  jpeg_save_markers(&d.info, kApp1, 0xFFFF);
  jpeg_read_header(&d.info, TRUE);
  d.errors.inHeader = false;
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
    d.errors.outOfMemory = true;
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
  return !d.errors.fileEnded || hasEveryScan(info);
}

Result<bool> open(Decoder& d, const QString& path, qint64 byteLimit) {
  if (!openRegularFile(d.file, path)) return Error{QStringLiteral("it cannot be opened")};
  d.size = d.file.size();
  if (!readHeader(d, byteLimit)) return Error{kDamaged};
  return true;
}

int orientationOf(const jpeg_decompress_struct& info) {
  for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
    if (marker->marker != kApp1) continue;
    const int orientation = exifOrientation(
        QByteArrayView(reinterpret_cast<const char*>(marker->data), static_cast<qsizetype>(marker->data_length)));
    if (orientation != 0) return orientation;
  }
  return 1;
}

// The smallest of libjpeg's scales (eighths) that decodes at least `target`.
unsigned eighthsFor(QSize stored, QSize target) {
  for (unsigned eighths = 1; eighths < 8; ++eighths) {
    const auto scaled = [eighths](int side) { return (qint64{side} * eighths + 7) / 8; };
    if (scaled(stored.width()) >= target.width() && scaled(stored.height()) >= target.height()) return eighths;
  }
  return 8;
}

}  // namespace

bool looksLikeJpeg(QByteArrayView fileStart) { return fileStart.startsWith("\xFF\xD8"); }

QSize JpegHeader::upright() const { return orientation >= 5 ? stored.transposed() : stored; }

Result<JpegHeader> readJpegHeader(const QString& path) {
  Decoder d;
  const auto opened = open(d, path, qint64{1} << 30);
  if (!opened) return Error{opened.error()};
  return JpegHeader{QSize(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height)),
                    d.info.num_components, orientationOf(d.info)};
}

Result<QImage> decodeJpeg(const QString& path, int longSide, qint64 byteLimit) {
  Decoder d;
  const auto opened = open(d, path, byteLimit);
  if (!opened) return Error{opened.error()};
  const QSize stored(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height));
  const bool shrink = longSide > 0 && std::max(stored.width(), stored.height()) > longSide;
  const QSize target = shrink ? fitLongSide(stored, longSide) : stored;
  const auto memory = [&target] {
    return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                     .arg(target.width())
                     .arg(target.height())};
  };
  if (qint64{target.width()} * target.height() * 4 > byteLimit) return memory();
  if (!holdsItsBlocks(d.info, d.size)) return Error{kDamaged};
  d.info.scale_num = eighthsFor(stored, target);
  d.info.scale_denom = 8;
  d.info.dct_method = JDCT_ISLOW;
  d.info.do_fancy_upsampling = TRUE;
  d.info.out_color_space = cmyk(d.info) ? JCS_CMYK : JCS_EXT_BGRA;
  const unsigned eighths = d.info.scale_num;
  const auto scaled = [eighths](JDIMENSION side) { return (qint64{side} * eighths + 7) / 8; };
  const DecodeMemory::Share share(DecodeMemory::Shared(),
                                  scaled(d.info.image_width) * scaled(d.info.image_height) * 4 + coefficientBytes(d.info));
  if (!share.granted()) return CancelledError();
  if (!readRows(d)) {
    if (d.errors.stopped) return CancelledError();
    if (d.errors.tooManyScans) return Error{QStringLiteral("the picture is stored in more than %1 scans").arg(kMostJpegScans)};
    return d.errors.outOfMemory ? memory() : Error{kDamaged};
  }
  QImage image = std::move(d.image);
  if (image.size() != target) image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  image = orientedUpright(image, orientationOf(d.info));
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
