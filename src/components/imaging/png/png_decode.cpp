#include "components/imaging/png/png_decode.h"

#include <png.h>
#include <zlib.h>

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/pixels/pixel_bands.h"

namespace lumaset::imaging_detail {

namespace {

constexpr int kColorTypeGrey = 0;
constexpr int kColorTypePalette = 3;

// Chunks that make up a picture's form in Qt's reader (palette, transparency,
// colour profile, resolution, texts); at most this much of them is looked at.
constexpr std::array<const char*, 10> kFormChunks = {"PLTE", "tRNS", "gAMA", "cHRM", "sRGB",
                                                     "iCCP", "pHYs", "tEXt", "zTXt", "iTXt"};
constexpr qint64 kMostFormBytes = qint64{8} << 20;
// Compressed texts are inflated to this much in all; those beyond are left
// out, so that a file of a thousand texts of megabytes costs no more.
constexpr qsizetype kMostTextBytes = qsizetype{1} << 20;

// The decode asks whether it is still wanted after this many rows.
constexpr int kRowsBetweenStops = 64;

QByteArray bigEndian(std::uint32_t value) {
  QByteArray out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
  return out;
}

std::uint32_t chunkCrc(QByteArrayView body) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char c : body) {
    crc ^= static_cast<quint8>(c);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return crc ^ 0xFFFFFFFF;
}

QByteArray chunk(QByteArrayView type, QByteArrayView data) {
  const QByteArray body = type.toByteArray() + data.toByteArray();
  return bigEndian(static_cast<std::uint32_t>(data.size())) + body + bigEndian(chunkCrc(body));
}

// `compressed` (a zlib stream) inflated, when it makes at most `budget`
// bytes; what it inflated is taken from the budget, whole or not.
std::optional<QByteArray> inflatedWithin(QByteArrayView compressed, qsizetype& budget) {
  const qsizetype most = budget;
  z_stream z{};
  if (most <= 0 || inflateInit(&z) != Z_OK) return std::nullopt;
  QByteArray out(most + 1, Qt::Uninitialized);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&z, Z_FINISH);
  const auto made = static_cast<qsizetype>(z.total_out);
  inflateEnd(&z);
  budget -= std::min(made, most);
  if (status != Z_STREAM_END || made > most) return std::nullopt;
  out.truncate(made);
  return out;
}

// A compressed text (zTXt, or iTXt marked compressed) as the same text
// uncompressed, within what is left of `budget`, which it draws on; the
// chunk as it is when it is no compressed text, nothing when it is over the
// budget or damaged.
std::optional<QByteArray> plainText(const QByteArray& type, const QByteArray& data, qsizetype& budget) {
  const qsizetype keyEnd = data.indexOf('\0');
  if (type == "zTXt" && keyEnd >= 0 && keyEnd + 2 <= data.size()) {
    const auto text = inflatedWithin(QByteArrayView(data).sliced(keyEnd + 2), budget);
    if (!text) return std::nullopt;
    return chunk("tEXt", data.left(keyEnd + 1) + *text);
  }
  if (type == "iTXt" && keyEnd >= 0 && keyEnd + 3 <= data.size() && data[keyEnd + 1] != '\0') {
    const qsizetype language = data.indexOf('\0', keyEnd + 3);
    const qsizetype translated = language < 0 ? -1 : data.indexOf('\0', language + 1);
    if (translated < 0) return std::nullopt;
    const auto text = inflatedWithin(QByteArrayView(data).sliced(translated + 1), budget);
    if (!text) return std::nullopt;
    const QByteArray languageAndTranslated = data.mid(keyEnd + 3, translated - keyEnd - 2);
    return chunk("iTXt", data.left(keyEnd + 1) + QByteArray(2, '\0') + languageAndTranslated + *text);
  }
  return chunk(type, data);
}

// A PNG of one pixel with the file's own header and the chunks that shape
// its form; Qt's reader makes of it the empty picture the file is to fill.
std::optional<QImage> formOf(FileWindow& file, const PngHeader& header) {
  QByteArray ihdr = file.bytes(16, 13).toByteArray();
  if (ihdr.size() != 13) return std::nullopt;
  ihdr.replace(0, 8, bigEndian(1) + bigEndian(1));
  ihdr[12] = '\0';  // not interlaced
  QByteArray probe = QByteArray("\x89PNG\r\n\x1A\n") + chunk("IHDR", ihdr);
  qint64 kept = 0;
  qsizetype textBudget = kMostTextBytes;
  for (qint64 pos = 8; pos + 8 <= file.size();) {
    const QByteArrayView head = file.bytes(pos, 8);
    if (head.size() != 8) return std::nullopt;
    const auto length = static_cast<qint64>(qFromBigEndian<quint32>(head.data()));
    const QByteArray type = head.sliced(4).toByteArray();
    if (type == "IDAT") break;
    const bool shapes = std::any_of(kFormChunks.begin(), kFormChunks.end(), [&](const char* t) { return type == t; });
    if (shapes && kept + length <= kMostFormBytes) {
      const QByteArray data = file.bytes(pos + 8, static_cast<qsizetype>(length)).toByteArray();
      if (data.size() != length) return std::nullopt;
      // Qt's reader is given texts inflated already, so that it inflates none.
      if (const auto text = plainText(type, data, textBudget)) probe += *text;
      kept += length;
    }
    pos += 12 + length;
  }
  const int rowBytes = (header.bitsPerPixel() + 7) / 8;
  probe += chunk("IDAT", qCompress(QByteArray(1 + rowBytes, '\0')).mid(4)) + chunk("IEND", {});
  QBuffer buffer(&probe);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  QImage form;
  if (!reader.read(&form)) return std::nullopt;
  return form;
}

struct ReadState {
  QIODevice* file = nullptr;
  bool shortRead = false;
};

void readFromDevice(png_structp png, png_bytep data, png_size_t length) {
  auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
  qint64 done = 0;
  while (done < static_cast<qint64>(length)) {
    const qint64 read = state->file->read(reinterpret_cast<char*>(data) + done, static_cast<qint64>(length) - done);
    if (read <= 0) break;
    done += read;
  }
  if (done != static_cast<qint64>(length)) {
    state->shortRead = true;
    png_error(png, "the file ends too soon");
  }
}

void ignoreWarning(png_structp, png_const_charp) {}

[[noreturn]] void stopOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// libpng's transformations that give the samples in the layout of `format`,
// as Qt's reader asks them for the same file.
bool requestForm(png_structp png, png_infop info, QImage::Format format) {
  const int colorType = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  const bool grey = (colorType & PNG_COLOR_MASK_COLOR) == 0;
  const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  const bool transparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  switch (format) {
    case QImage::Format_Mono:
      if (colorType == kColorTypeGrey) png_set_invert_mono(png);  // white first in the colour table
      return depth == 1;
    case QImage::Format_Indexed8:
      if (depth < 8) png_set_packing(png);
      return colorType == kColorTypeGrey || colorType == kColorTypePalette;
    case QImage::Format_Grayscale8: return colorType == kColorTypeGrey && depth == 8;
    case QImage::Format_Grayscale16: png_set_swap(png); return colorType == kColorTypeGrey && depth == 16;
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
      // The transparent colour becomes an alpha channel: a 16-bit colour
      // picture that keeps it as three samples fills 64-bit pixels wrongly.
      if (transparentColour) png_set_tRNS_to_alpha(png);
      if (!alpha && !transparentColour) png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
      if (grey) png_set_gray_to_rgb(png);
      png_set_swap(png);
      return depth == 16;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      if (depth == 16) png_set_strip_16(png);
      png_set_expand(png);
      if (grey) png_set_gray_to_rgb(png);
      if (!alpha && !transparentColour) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
      png_set_bgr(png);
      return true;
    default: return false;
  }
}

// Each bit of a byte spread `step` bits apart, most significant first, in
// the top byte of a word and onwards: the pixels of one pass of an
// interlaced black-and-white row, placed where they lie in the whole row.
struct BitSpread {
  std::array<std::array<std::uint64_t, 256>, 4> table{};  // steps 1, 2, 4 and 8
  BitSpread() {
    for (int shift = 0; shift < 4; ++shift) {
      const int step = 1 << shift;
      for (int byte = 0; byte < 256; ++byte) {
        std::uint64_t spread = 0;
        for (int bit = 0; bit < 8; ++bit) {
          if (byte & (0x80 >> bit)) spread |= std::uint64_t{1} << (63 - bit * step);
        }
        table[shift][byte] = spread;
      }
    }
  }
};

// Puts the `count` pixels of a pass row at every `step`th place from `first` in `row`.
void placeBits(const uchar* pass, int count, int first, int shift, uchar* row, int rowBytes) {
  static const BitSpread spread;
  const int step = 1 << shift;
  const int bytes = (count + 7) / 8;
  for (int i = 0; i < bytes; ++i) {
    unsigned byte = pass[i];
    if (i == bytes - 1 && count % 8 != 0) byte &= 0xFF00U >> (count % 8);  // no bits past the row's end
    if (byte == 0) continue;
    const std::uint64_t bits = spread.table[shift][byte] >> first;
    for (int k = 0; k < step && i * step + k < rowBytes; ++k) row[i * step + k] |= static_cast<uchar>(bits >> (56 - 8 * k));
  }
}

void placePixels(const uchar* pass, int count, int first, int step, uchar* row, int pixelBytes) {
  for (int i = 0; i < count; ++i) std::memcpy(row + (first + i * step) * pixelBytes, pass + i * pixelBytes, pixelBytes);
}

enum class RowsRead { Done, Damaged, Stopped };

// The rows of an interlaced file come pass by pass, each pass a smaller
// picture of its own, and are put in their places here.
RowsRead readPasses(png_structp png, QImage& image, std::vector<uchar>& pass) {
  const int width = image.width();
  const int height = image.height();
  const bool bits = image.depth() == 1;
  const int pixelBytes = image.depth() / 8;
  const int rowBytes = (width * image.depth() + 7) / 8;
  int rows = 0;
  for (int p = 0; p < PNG_INTERLACE_ADAM7_PASSES; ++p) {
    const auto count = static_cast<int>(PNG_PASS_COLS(width, p));
    const auto passRows = static_cast<int>(PNG_PASS_ROWS(height, p));
    if (count == 0 || passRows == 0) continue;
    const int first = PNG_PASS_START_COL(p);
    for (int r = 0; r < passRows; ++r) {
      png_read_row(png, pass.data(), nullptr);
      uchar* row = image.scanLine(PNG_PASS_START_ROW(p) + (r << PNG_PASS_ROW_SHIFT(p)));
      if (bits) {
        placeBits(pass.data(), count, first, PNG_PASS_COL_SHIFT(p), row, rowBytes);
      } else {
        placePixels(pass.data(), count, first, 1 << PNG_PASS_COL_SHIFT(p), row, pixelBytes);
      }
      if (++rows % kRowsBetweenStops == 0 && DecodeStop::requested()) return RowsRead::Stopped;
    }
  }
  return RowsRead::Done;
}

// libpng leaves an error by a long jump: nothing with a destructor may live
// in this frame.
RowsRead readRows(png_structp png, png_infop info, QImage* image, std::vector<uchar>* pass) {
  if (setjmp(png_jmpbuf(png))) return RowsRead::Damaged;
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>((image->width() * image->depth() + 7) / 8)) {
    return RowsRead::Damaged;  // never write past a row
  }
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) return readPasses(png, *image, *pass);
  for (int y = 0; y < image->height(); ++y) {
    png_read_row(png, image->scanLine(y), nullptr);
    if (y % kRowsBetweenStops == 0 && DecodeStop::requested()) return RowsRead::Stopped;
  }
  return RowsRead::Done;
}

bool readHeader(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  return true;
}

class PngReader {
 public:
  PngReader() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, stopOnError, ignoreWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReader() { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  bool ready() const { return png_ && info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

Error damaged() { return Error{QStringLiteral("the picture is damaged or incomplete")}; }

}  // namespace

bool hasCompressedTexts(FileWindow& file) {
  for (qint64 pos = 8; pos + 8 <= file.size();) {
    const QByteArrayView head = file.bytes(pos, 8);
    if (head.size() != 8) return false;
    const QByteArrayView type = head.sliced(4);
    if (type == "zTXt" || type == "iTXt") return true;
    if (type == "IEND") return false;
    pos += 12 + static_cast<qint64>(qFromBigEndian<quint32>(head.data()));
  }
  return false;
}

bool readsWithLibpng(const PngHeader& header, FileWindow& file) {
  const bool shiftedByQt = header.bitDepth == 16 && header.colorType == 2 && header.transparentColour;
  return header.interlaced || shiftedByQt || hasCompressedTexts(file);
}

Result<QImage> decodePng(QIODevice& file) {
  FileWindow window(file, file.size());
  const auto header = readPngHeader(window);
  if (!header) return damaged();
  const auto form = formOf(window, *header);
  if (!form) return damaged();
  QImage image(header->size, form->format());
  if (image.isNull()) {
    return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                     .arg(header->size.width())
                     .arg(header->size.height())};
  }
  image.setColorTable(form->colorTable());
  image.setColorSpace(form->colorSpace());
  image.setDotsPerMeterX(form->dotsPerMeterX());
  image.setDotsPerMeterY(form->dotsPerMeterY());
  for (const QString& key : form->textKeys()) image.setText(key, form->text(key));
  if (header->interlaced) image.fill(0);  // the passes of a black-and-white picture set bits

  PngReader reader;
  if (!reader.ready() || !file.seek(0)) return damaged();
  ReadState state{&file};
  png_set_read_fn(reader.png(), &state, readFromDevice);
  // The texts came with the form, inflated to a bound: libpng passes them over.
  static constexpr png_byte kTexts[] = "tEXt\0zTXt\0iTXt";
  png_set_keep_unknown_chunks(reader.png(), PNG_HANDLE_CHUNK_NEVER, kTexts, 3);
  // The picture's size was counted before; libpng's own bound on it is not needed.
  png_set_user_limits(reader.png(), PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  if (!readHeader(reader.png(), reader.info())) return damaged();
  if (QSize(static_cast<int>(png_get_image_width(reader.png(), reader.info())),
            static_cast<int>(png_get_image_height(reader.png(), reader.info()))) != image.size()) {
    return damaged();  // changed since its header was read
  }
  if (!requestForm(reader.png(), reader.info(), image.format())) return damaged();
  std::vector<uchar> pass(static_cast<std::size_t>(image.bytesPerLine()));
  switch (readRows(reader.png(), reader.info(), &image, &pass)) {
    case RowsRead::Done: return image;
    case RowsRead::Stopped: return CancelledError();
    case RowsRead::Damaged: break;
  }
  return damaged();
}

}  // namespace lumaset::imaging_detail
