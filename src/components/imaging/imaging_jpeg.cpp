#include "components/imaging/imaging_jpeg.h"

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
#include "components/imaging/pixel_support.h"

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

// What libjpeg holds besides the coefficients of a file of several scans:
// rows of every component being decoded, upsampled and converted, at most
// this many rows of the full width, and its tables.
constexpr qint64 kDecoderRows = 128;
constexpr qint64 kDecoderTableBytes = qint64{4} << 20;

const QString kDamaged = QStringLiteral("the picture is damaged or incomplete");

// libjpeg reports through these hooks. A fatal error leaves the decoder at
// once, and so do a stop asked for, a file whose scans would take more work
// than any encoder asks for, and one that goes on past what its picture
// could need. The end of the picture reached while picture data is still
// wanted (the file runs out, or its end marker comes before the last
// row of blocks) leaves too; a file that lacks only its end marker is
// whole. Every other warning (extraneous bytes, a corrupt restart
// interval, a data segment that ends early at the next segment's marker)
// is passed over and the picture is given.
struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer is also ours
  std::jmp_buf jump;
  int failure = 0;  // libjpeg's code for the fatal error
  int precision = 0;  // bits a sample of a picture refused for them
  bool stopped = false;
  bool tooManyScans = false;
  bool tooMuchWork = false;
  bool tooMuchData = false;  // the file went on past what its picture could need
  bool inHeader = true;  // still reading the markers before the first scan
  bool fileEnded = false;  // the file ran out; libjpeg goes on as if it had ended there
  int scan = 0;  // the last scan counted
  qint64 steps = 0;  // what the scans so far cost, as countScan counts it
  unsigned scanned = 0;  // the components that have had a scan, one bit each

  bool outOfMemory() const { return failure == JERR_OUT_OF_MEMORY || failure == JERR_NO_BACKING_STORE; }
};

[[noreturn]] void leave(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(errors->jump, 1);
}

[[noreturn]] void onError(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  errors->failure = errors->pub.msg_code;
  if (errors->failure == JERR_BAD_PRECISION) errors->precision = errors->pub.msg_parm.i[0];
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

// A scan is counted when its first row is asked for: the steps it takes,
// and the components it holds. Huffman code spends bits on every block it
// goes over (a run of empty blocks costs a few bits for thousands, each
// still gone over), arithmetic code may spend none on each coefficient of
// the scan's band.
void countScan(j_decompress_ptr info, ErrorManager& errors) {
  errors.scan = info->input_scan_number;
  const qint64 band = info->arith_code ? std::clamp(info->Se - info->Ss + 1, 1, DCTSIZE2) : 1;
  errors.steps += qint64{info->MCUs_per_row} * info->MCU_rows_in_scan * info->blocks_in_MCU * band;
  for (int i = 0; i < info->comps_in_scan; ++i) errors.scanned |= 1U << info->cur_comp_info[i]->component_index;
  errors.tooManyScans = errors.scan > kMostJpegScans;
  errors.tooMuchWork = errors.steps > kMostJpegDecodeSteps;
}

// Asked by libjpeg between rows and scans.
void onProgress(j_common_ptr common) {
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  if (DecodeStop::requested()) {
    errors->stopped = true;
    leave(common);
  }
  if (!common->is_decompressor) return;
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  if (info->input_scan_number == errors->scan) return;
  countScan(info, *errors);
  if (errors->tooManyScans || errors->tooMuchWork) leave(common);
}

// Whether a file that ran out had every scan: a progressive file has then
// brought every coefficient of every component to its last bit, a
// sequential one has had a scan of each component.
bool hasEveryScan(const jpeg_decompress_struct& info, unsigned scanned) {
  if (!info.progressive_mode) return scanned == (1U << info.num_components) - 1;
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

// What the decoder holds besides the picture. A file of several scans
// (progressive, or sequential with a scan per component) keeps every
// block's coefficients (64 of 2 bytes) until its last scan, at full size
// whatever the scale, in arrays whose sides are whole multiples of the
// component's sampling; every file keeps rows being decoded.
qint64 decoderBytes(j_decompress_ptr info) {
  const auto roundUp = [](qint64 value, qint64 step) { return (value + step - 1) / step * step; };
  qint64 blocks = 0;
  if (jpeg_has_multiple_scans(info)) {
    for (int c = 0; c < info->num_components; ++c) {
      const jpeg_component_info& component = info->comp_info[c];
      blocks += roundUp(component.width_in_blocks, component.h_samp_factor) *
                roundUp(component.height_in_blocks, component.v_samp_factor);
    }
  }
  return blocks * DCTSIZE2 * 2 + qint64{info->image_width} * info->num_components * kDecoderRows + kDecoderTableBytes;
}

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

void silently(j_common_ptr) {}

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
  d.info.err = jpeg_std_error(&d.errors.pub);
  d.errors.pub.error_exit = onError;
  d.errors.pub.emit_message = onMessage;
  d.errors.pub.output_message = silently;
  d.created = true;
  jpeg_create_decompress(&d.info);
  d.info.mem->max_memory_to_use = static_cast<long>(byteLimit);
  d.progress.progress_monitor = onProgress;
  d.info.progress = &d.progress;
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

// Why the rows of a picture of `stored` size could not be decoded.
Error decodeFailure(const ErrorManager& errors, QSize stored, const Error& memory) {
  const auto sized = [stored](const QString& text) { return Error{text.arg(stored.width()).arg(stored.height())}; };
  if (errors.tooManyScans) {
    return Error{QStringLiteral("the picture is stored in more than %1 scans").arg(kMostJpegScans)};
  }
  if (errors.tooMuchWork) {
    return sized(QStringLiteral("the picture of %1 x %2 pixels asks for more decoding work than any photo"));
  }
  if (errors.tooMuchData) {
    return sized(QStringLiteral("the file holds far more data than a picture of %1 x %2 pixels needs"));
  }
  return errors.outOfMemory() ? memory : Error{kDamaged};
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
