#include "components/imaging/jpeg/jpeg_quarter_turn.h"

#include <QString>

#include <QSize>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/jpeg/jpeg_guard.h"
#include "components/imaging/jpeg/jpeg_metadata.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"

namespace lumaset {

namespace {

using imaging_detail::ErrorManager;

// One of the eight ways a picture can be turned and mirrored: the turned
// picture is the original transposed (when `transpose`), then mirrored
// across and down as the flags say.
struct Turn {
  bool transpose = false;
  bool mirrorAcross = false;
  bool mirrorDown = false;
};

constexpr Turn kClockwise{true, true, false};

// The turn that stands a picture of this EXIF orientation upright.
Turn uprightTurn(int orientation) {
  switch (orientation) {
    case 2: return {false, true, false};
    case 3: return {false, true, true};
    case 4: return {false, false, true};
    case 5: return {true, false, false};
    case 6: return {true, true, false};
    case 7: return {true, true, true};
    case 8: return {true, false, true};
    default: return {};
  }
}

// A turn as the matrix taking a point of the turned picture (from its
// centre) to the point of the original it comes from: [[a, b], [c, d]].
struct Matrix {
  int a, b, c, d;
};

Matrix matrixOf(Turn turn) {
  const int across = turn.mirrorAcross ? -1 : 1, down = turn.mirrorDown ? -1 : 1;
  return turn.transpose ? Matrix{0, down, across, 0} : Matrix{across, 0, 0, down};
}

// `first`, then `then` on its result.
Turn followedBy(Turn first, Turn then) {
  const Matrix p = matrixOf(first), q = matrixOf(then);
  const Matrix m{p.a * q.a + p.b * q.c, p.a * q.b + p.b * q.d, p.c * q.a + p.d * q.c, p.c * q.b + p.d * q.d};
  return m.a != 0 ? Turn{false, m.a < 0, m.d < 0} : Turn{true, m.c < 0, m.b < 0};
}

// Where the sample (or block) at x, y of the turned plane, of `width` x
// `height`, comes from in the original plane.
std::pair<int, int> sourceOf(Turn turn, int x, int y, int width, int height) {
  const int across = turn.mirrorAcross ? width - 1 - x : x;
  const int down = turn.mirrorDown ? height - 1 - y : y;
  return turn.transpose ? std::pair{down, across} : std::pair{across, down};
}

// A block's coefficients turned: transposing swaps the frequencies across
// and down; mirroring negates the odd frequencies of its direction.
void turnBlock(Turn turn, const JCOEF* in, JCOEF* out) {
  for (int v = 0; v < DCTSIZE; ++v) {
    for (int u = 0; u < DCTSIZE; ++u) {
      const int value = turn.transpose ? in[u * DCTSIZE + v] : in[v * DCTSIZE + u];
      const bool negate = (turn.mirrorAcross && (u & 1) != 0) != (turn.mirrorDown && (v & 1) != 0);
      out[v * DCTSIZE + u] = static_cast<JCOEF>(negate ? -value : value);
    }
  }
}

// Whether the picture's width (`across`) or height is whole blocks of
// every component, none of them padded: then that edge may move.
bool wholeBlocks(const jpeg_decompress_struct& info, bool across) {
  const qint64 side = across ? info.image_width : info.image_height;
  const int most = across ? info.max_h_samp_factor : info.max_v_samp_factor;
  for (int c = 0; c < info.num_components; ++c) {
    const int factor = across ? info.comp_info[c].h_samp_factor : info.comp_info[c].v_samp_factor;
    if (side * factor % (qint64{most} * DCTSIZE) != 0) return false;
  }
  return true;
}

// Whether the coefficients can be turned: every edge that moves is whole.
bool turnsWhole(const jpeg_decompress_struct& info, Turn turn) {
  const bool acrossMoves = turn.transpose ? turn.mirrorDown : turn.mirrorAcross;
  const bool downMoves = turn.transpose ? turn.mirrorAcross : turn.mirrorDown;
  return (!acrossMoves || wholeBlocks(info, true)) && (!downMoves || wholeBlocks(info, false));
}

// The quantisation table of component `c`, if the file has it.
const JQUANT_TBL* tableOf(const jpeg_decompress_struct& info, int c) {
  const int number = info.comp_info[c].quant_tbl_no;
  return number >= 0 && number < NUM_QUANT_TBLS ? info.quant_tbl_ptrs[number] : nullptr;
}

// Whether every component's table can quantise afresh: a step of 0,
// which a decoder takes, would leave the encoder dividing by it.
bool quantisesAfresh(const jpeg_decompress_struct& info) {
  for (int c = 0; c < info.num_components; ++c) {
    const JQUANT_TBL* table = tableOf(info, c);
    if (table == nullptr || std::find(table->quantval, table->quantval + DCTSIZE2, 0) != table->quantval + DCTSIZE2)
      return false;
  }
  return true;
}

// libjpeg writes the turned file into this, growing it as it goes.
struct ByteSink {
  jpeg_destination_mgr pub;  // first, so that libjpeg's pointer is also ours
  QByteArray bytes;
};

constexpr qsizetype kSinkStart = 64 * 1024;

void startSink(j_compress_ptr info) {
  auto* sink = reinterpret_cast<ByteSink*>(info->dest);
  sink->bytes.resize(kSinkStart);
  sink->pub.next_output_byte = reinterpret_cast<JOCTET*>(sink->bytes.data());
  sink->pub.free_in_buffer = static_cast<std::size_t>(sink->bytes.size());
}

boolean growSink(j_compress_ptr info) {
  auto* sink = reinterpret_cast<ByteSink*>(info->dest);
  const qsizetype full = sink->bytes.size();
  sink->bytes.resize(full * 2);
  sink->pub.next_output_byte = reinterpret_cast<JOCTET*>(sink->bytes.data()) + full;
  sink->pub.free_in_buffer = static_cast<std::size_t>(full);
  return TRUE;
}

void endSink(j_compress_ptr info) {
  auto* sink = reinterpret_cast<ByteSink*>(info->dest);
  sink->bytes.resize(sink->bytes.size() - static_cast<qsizetype>(sink->pub.free_in_buffer));
}

// A decoder over bytes in memory, watched as every JPEG read is.
struct Reader {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  bool created = false;

  Reader() = default;
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  ~Reader() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

// The original's decoder and the turned file's encoder, which reports to
// the decoder's errors: one jump leaves both.
struct Turning {
  Reader in;
  jpeg_compress_struct out{};
  jpeg_progress_mgr outProgress{};
  ByteSink sink{};
  bool outCreated = false;
  Turn turn;
  long memoryLimit = 0;
  jvirt_barray_ptr* source = nullptr;  // the original's coefficients (turned whole only)
  std::vector<jvirt_barray_ptr> turned;  // the coefficients written (turned whole only)
  // The decoded samples (re-encoding only), rows of components interleaved,
  // and one turned row of them.
  std::unique_ptr<JSAMPLE[]> samples;
  std::vector<JSAMPLE> turnedRow;

  Turning() = default;
  Turning(const Turning&) = delete;
  Turning& operator=(const Turning&) = delete;
  ~Turning() { endEncoder(); }
  void endEncoder() {
    if (outCreated) jpeg_destroy_compress(&out);
    outCreated = false;
  }
};

// The functions that call into libjpeg keep every state in the structures
// above, so that a jump back out of the library skips nothing to destroy.
bool readHeader(Reader& r, const QByteArray& bytes, long memoryLimit) {
  if (setjmp(r.errors.jump)) return false;
  r.created = true;
  imaging_detail::createWatchedDecoder(r.info, r.errors, r.progress);
  r.info.mem->max_memory_to_use = memoryLimit;
  jpeg_mem_src(&r.info, reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&r.info, TRUE);
  r.errors.inHeader = false;
  return true;
}

// A file that ran out is whole only when it had every scan.
bool readWhole(const Reader& r) {
  return !r.errors.fileEnded || imaging_detail::hasEveryScan(r.info, r.errors.scanned);
}

// The encoder set up as the original's coder was, for the turned picture:
// its tables, sampling and quantisation turned with it, its colour model,
// coding and restart interval as they were. Header segments are the
// original's, put in afterwards.
void startEncoder(Turning& t) {
  t.outCreated = true;
  imaging_detail::createWatchedEncoder(t.out, t.in.errors, t.outProgress);
  t.out.mem->max_memory_to_use = t.memoryLimit;
  t.sink.pub.init_destination = startSink;
  t.sink.pub.empty_output_buffer = growSink;
  t.sink.pub.term_destination = endSink;
  t.out.dest = &t.sink.pub;
  jpeg_copy_critical_parameters(&t.in.info, &t.out);
  if (t.turn.transpose) {
    std::swap(t.out.image_width, t.out.image_height);
    for (int c = 0; c < t.out.num_components; ++c)
      std::swap(t.out.comp_info[c].h_samp_factor, t.out.comp_info[c].v_samp_factor);
    for (JQUANT_TBL* table : t.out.quant_tbl_ptrs) {
      if (table == nullptr) continue;
      for (int v = 0; v < DCTSIZE; ++v)
        for (int u = v + 1; u < DCTSIZE; ++u)
          std::swap(table->quantval[v * DCTSIZE + u], table->quantval[u * DCTSIZE + v]);
    }
  }
  t.out.write_JFIF_header = FALSE;
  t.out.write_Adobe_marker = FALSE;
  t.out.restart_interval = t.in.info.restart_interval;
  t.out.arith_code = t.in.info.arith_code;
  t.out.optimize_coding = t.in.info.arith_code ? FALSE : TRUE;
  t.out.dct_method = JDCT_ISLOW;
  if (t.in.info.progressive_mode) jpeg_simple_progression(&t.out);
}

// The blocks of one component's array, a row at a time.
JBLOCKROW blockRow(j_common_ptr info, jvirt_barray_ptr array, int row, bool writable) {
  return (*info->mem->access_virt_barray)(info, array, static_cast<JDIMENSION>(row), 1, writable ? TRUE : FALSE)[0];
}

bool turnCoefficients(Turning& t) {
  if (setjmp(t.in.errors.jump)) return false;
  WorkProgress::Stage(0, 0.3);
  t.source = jpeg_read_coefficients(&t.in.info);
  if (!readWhole(t.in)) return false;
  startEncoder(t);
  const int components = t.in.info.num_components;
  t.turned.resize(static_cast<std::size_t>(components));
  const auto roundUp = [](JDIMENSION value, int step) { return (value + step - 1) / step * step; };
  for (int c = 0; c < components; ++c) {
    const jpeg_component_info& from = t.in.info.comp_info[c];
    const jpeg_component_info& to = t.out.comp_info[c];
    const JDIMENSION across = t.turn.transpose ? from.height_in_blocks : from.width_in_blocks;
    const JDIMENSION down = t.turn.transpose ? from.width_in_blocks : from.height_in_blocks;
    t.turned[c] = (*t.out.mem->request_virt_barray)(reinterpret_cast<j_common_ptr>(&t.out), JPOOL_IMAGE, TRUE,
                                                  roundUp(across, to.h_samp_factor), roundUp(down, to.v_samp_factor),
                                                  static_cast<JDIMENSION>(to.v_samp_factor));
  }
  jpeg_write_coefficients(&t.out, t.turned.data());
  auto* in = reinterpret_cast<j_common_ptr>(&t.in.info);
  auto* out = reinterpret_cast<j_common_ptr>(&t.out);
  WorkProgress::Stage(0.3, 0.45);
  for (int c = 0; c < components; ++c) {
    const jpeg_component_info& to = t.out.comp_info[c];
    const auto width = static_cast<int>(to.width_in_blocks), height = static_cast<int>(to.height_in_blocks);
    for (int y = 0; y < height; ++y) {
      if (WorkProgress::Step(c + double(y) / height, components)) {
        t.in.errors.stopped = true;
        return false;
      }
      JBLOCKROW row = blockRow(out, t.turned[c], y, true);
      for (int x = 0; x < width; ++x) {
        const auto [fromX, fromY] = sourceOf(t.turn, x, y, width, height);
        turnBlock(t.turn, blockRow(in, t.source[c], fromY, false)[fromX], row[x]);
      }
    }
  }
  WorkProgress::Stage(0.45, 0.75);
  jpeg_finish_compress(&t.out);
  return true;
}

// Decoded in the file's own colour model, each chroma sample repeated over
// the pixels it covers (so that compressing again with the same sampling
// finds the very same chroma samples), then compressed again.
bool turnSamples(Turning& t) {
  if (setjmp(t.in.errors.jump)) return false;
  jpeg_decompress_struct& in = t.in.info;
  in.out_color_space = in.jpeg_color_space;
  in.do_fancy_upsampling = FALSE;
  in.do_block_smoothing = FALSE;
  in.dct_method = JDCT_ISLOW;
  WorkProgress::Stage(0, 0.35);
  jpeg_start_decompress(&in);
  const std::size_t stride = std::size_t{in.output_width} * static_cast<std::size_t>(in.output_components);
  t.samples.reset(new (std::nothrow) JSAMPLE[stride * in.output_height]);
  if (!t.samples) ERREXIT(&in, JERR_OUT_OF_MEMORY);
  while (in.output_scanline < in.output_height) {
    JSAMPROW row = t.samples.get() + stride * in.output_scanline;
    jpeg_read_scanlines(&in, &row, 1);
  }
  if (!readWhole(t.in)) return false;
  startEncoder(t);
  WorkProgress::Stage(0.35, 0.75);
  jpeg_start_compress(&t.out, TRUE);
  const auto width = static_cast<int>(t.out.image_width), height = static_cast<int>(t.out.image_height);
  const int components = in.output_components;
  t.turnedRow.resize(static_cast<std::size_t>(width) * components);
  while (t.out.next_scanline < t.out.image_height) {
    const auto y = static_cast<int>(t.out.next_scanline);
    for (int x = 0; x < width; ++x) {
      const auto [fromX, fromY] = sourceOf(t.turn, x, y, width, height);
      const JSAMPLE* from =
          t.samples.get() + stride * static_cast<std::size_t>(fromY) + static_cast<std::size_t>(fromX) * components;
      std::copy_n(from, components, t.turnedRow.data() + static_cast<std::size_t>(x) * components);
    }
    JSAMPROW row = t.turnedRow.data();
    jpeg_write_scanlines(&t.out, &row, 1);
  }
  jpeg_finish_compress(&t.out);
  return true;
}

// What the written file must show, taken from the original before its
// decoder is gone.
struct Expected {
  JDIMENSION width = 0, height = 0;
  int components = 0;
  J_COLOR_SPACE space = JCS_UNKNOWN;
  std::vector<std::pair<int, int>> sampling;    // across, down
  std::vector<std::array<UINT16, DCTSIZE2>> quantisation;  // each component's table, turned
};

Expected expectedOf(const Turning& t) {
  const jpeg_decompress_struct& in = t.in.info;
  Expected e{t.turn.transpose ? in.image_height : in.image_width, t.turn.transpose ? in.image_width : in.image_height,
             in.num_components, in.jpeg_color_space, {}, {}};
  for (int c = 0; c < in.num_components; ++c) {
    const jpeg_component_info& component = in.comp_info[c];
    e.sampling.emplace_back(t.turn.transpose ? component.v_samp_factor : component.h_samp_factor,
                            t.turn.transpose ? component.h_samp_factor : component.v_samp_factor);
    std::array<UINT16, DCTSIZE2> table{};
    const JQUANT_TBL* own = tableOf(in, c);
    for (int k = 0; k < DCTSIZE2 && own != nullptr; ++k)
      table[k] = t.turn.transpose ? own->quantval[k % DCTSIZE * DCTSIZE + k / DCTSIZE] : own->quantval[k];
    e.quantisation.push_back(table);
  }
  return e;
}

// Size, colour model, sampling and quantisation as expected.
bool sameFrame(const jpeg_decompress_struct& read, const Expected& e) {
  if (read.image_width != e.width || read.image_height != e.height || read.num_components != e.components ||
      read.jpeg_color_space != e.space)
    return false;
  for (int c = 0; c < e.components; ++c) {
    const jpeg_component_info& component = read.comp_info[c];
    if (std::pair(component.h_samp_factor, component.v_samp_factor) != e.sampling[c]) return false;
    const JQUANT_TBL* table = tableOf(read, c);
    if (table == nullptr || !std::equal(e.quantisation[c].begin(), e.quantisation[c].end(), table->quantval))
      return false;
  }
  return true;
}

// Whether `written` holds every block of the original turned, and nothing else.
bool holdsTurnedCoefficients(Turning& t, const Expected& e, Reader& check, const QByteArray& written) {
  if (!readHeader(check, written, t.memoryLimit)) return false;
  if (setjmp(check.errors.jump)) return false;
  jvirt_barray_ptr* read = jpeg_read_coefficients(&check.info);
  if (!readWhole(check) || !sameFrame(check.info, e)) return false;
  WorkProgress::Stage(0.85, 1);
  auto* in = reinterpret_cast<j_common_ptr>(&t.in.info);
  auto* checked = reinterpret_cast<j_common_ptr>(&check.info);
  JCOEF turned[DCTSIZE2];
  for (int c = 0; c < check.info.num_components; ++c) {
    const jpeg_component_info& component = check.info.comp_info[c];
    const auto width = static_cast<int>(component.width_in_blocks);
    const auto height = static_cast<int>(component.height_in_blocks);
    for (int y = 0; y < height; ++y) {
      if (WorkProgress::Step(c + double(y) / height, check.info.num_components)) {
        check.errors.stopped = true;
        return false;
      }
      JBLOCKROW row = blockRow(checked, read[c], y, false);
      for (int x = 0; x < width; ++x) {
        const auto [fromX, fromY] = sourceOf(t.turn, x, y, width, height);
        turnBlock(t.turn, blockRow(in, t.source[c], fromY, false)[fromX], turned);
        if (!std::equal(turned, turned + DCTSIZE2, row[x])) return false;
      }
    }
  }
  return true;
}

// The turned original's samples as the encoder keeps them: a component
// sampled more coarsely than the picture keeps the mean of the pixels each
// of its samples covers (cells of the picture's sides, cut at its edges).
class KeptSamples {
 public:
  KeptSamples(const Turning& t, const jpeg_decompress_struct& turned)
      : t_(t),
        components_(turned.num_components),
        width_(static_cast<int>(turned.image_width)),
        height_(static_cast<int>(turned.image_height)),
        stride_(std::size_t{t.in.info.output_width} * static_cast<std::size_t>(components_)) {
    for (int c = 0; c < components_; ++c) {
      const jpeg_component_info& component = turned.comp_info[c];
      const auto cell = [](int most, int own) { return most % own == 0 ? most / own : 1; };
      cells_.emplace_back(cell(turned.max_h_samp_factor, component.h_samp_factor),
                          cell(turned.max_v_samp_factor, component.v_samp_factor));
    }
  }

  double at(int c, int x, int y) const {
    const auto [across, down] = cells_[static_cast<std::size_t>(c)];
    const int left = x / across * across, top = y / down * down;
    const int right = std::min(left + across, width_), bottom = std::min(top + down, height_);
    int sum = 0;
    for (int j = top; j < bottom; ++j)
      for (int i = left; i < right; ++i) sum += turnedAt(c, i, j);
    return double(sum) / ((right - left) * (bottom - top));
  }

 private:
  int turnedAt(int c, int x, int y) const {
    const auto [fromX, fromY] = sourceOf(t_.turn, x, y, width_, height_);
    return t_.samples[stride_ * static_cast<std::size_t>(fromY) + static_cast<std::size_t>(fromX) * components_ +
                      static_cast<std::size_t>(c)];
  }

  const Turning& t_;
  int components_, width_, height_;
  std::size_t stride_;
  std::vector<std::pair<int, int>> cells_;
};

// Whether the samples `written` decodes to differ from the turned original's
// samples, as the encoder keeps them, by no more than compressing them
// again can: per component, a root mean square difference within twice
// what quantising every coefficient afresh with its table gives, and a
// little for rounding.
bool closeToTurnedSamples(const Turning& t, const Expected& e, Reader& check, const QByteArray& written) {
  if (!readHeader(check, written, t.memoryLimit)) return false;
  if (!sameFrame(check.info, e)) return false;
  jpeg_decompress_struct& info = check.info;
  // Made before the jump back can skip them.
  const KeptSamples kept(t, info);
  const int components = info.num_components;
  const auto width = static_cast<int>(info.image_width);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * components);
  std::vector<double> squares(static_cast<std::size_t>(components));
  if (setjmp(check.errors.jump)) return false;
  info.out_color_space = info.jpeg_color_space;
  info.do_fancy_upsampling = FALSE;
  info.do_block_smoothing = FALSE;
  info.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    const auto y = static_cast<int>(info.output_scanline);
    JSAMPROW rows = row.data();
    jpeg_read_scanlines(&info, &rows, 1);
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        const double difference = row[static_cast<std::size_t>(x) * components + c] - kept.at(c, x, y);
        squares[c] += difference * difference;
      }
    }
  }
  if (!readWhole(check)) return false;
  const double samples = double(width) * info.output_height;
  for (int c = 0; c < components; ++c) {
    double quantisation = 0;
    for (const UINT16 step : e.quantisation[c]) quantisation += double(step) * step;
    const double bound = 2 * std::sqrt(quantisation / DCTSIZE2 / 12) + 2;
    if (std::sqrt(squares[c] / samples) > bound) return false;
  }
  return true;
}

// What the turn holds at most, besides the file: the coefficients, turned
// as well; or, compressed again, the samples, the decoder's and the
// encoder's coefficients and rows. The file is held three times: as read,
// as written, and with its header segments.
constexpr qint64 kWorkBytes = qint64{8} << 20;

qint64 turnBytes(const jpeg_decompress_struct& info, qint64 fileBytes, bool whole) {
  const qint64 coefficients = imaging_detail::coefficientBytes(info);
  const qint64 own = whole ? 2 * coefficients
                           : qint64{info.image_width} * info.image_height * info.num_components +
                                 imaging_detail::decoderBytes(const_cast<j_decompress_ptr>(&info)) + coefficients;
  return own + 3 * fileBytes + kWorkBytes;
}

Error headerFailure(const ErrorManager& errors) {
  if (errors.failure == JERR_BAD_PRECISION) {
    return Error{
        QStringLiteral("the picture uses %1 bits a sample, and Lumaset turns JPEG pictures of 8 bits a sample.")
                     .arg(errors.precision)};
  }
  return Error{imaging_detail::kDamaged + QLatin1Char('.')};
}

}  // namespace

Result<QByteArray> TurnJpegClockwise(const QByteArray& stored) {
  Turning t;
  const Turn upright = uprightTurn(JpegOrientation(stored));
  t.turn = followedBy(upright, kClockwise);
  if (!readHeader(t.in, stored, static_cast<long>(imaging_detail::kFullSizeBytes))) return headerFailure(t.in.errors);
  const jpeg_decompress_struct& in = t.in.info;
  const QSize stands = upright.transpose ? QSize(static_cast<int>(in.image_height), static_cast<int>(in.image_width))
                                         : QSize(static_cast<int>(in.image_width), static_cast<int>(in.image_height));
  const Error memory{QStringLiteral("there is not enough memory to turn a picture of %1 x %2 pixels.")
                         .arg(stands.width())
                         .arg(stands.height())};
  if (!imaging_detail::holdsItsBlocks(in, stored.size())) return Error{imaging_detail::kDamaged + QLatin1Char('.')};
  const bool whole = turnsWhole(in, t.turn);
  if (!whole && !quantisesAfresh(in)) return Error{imaging_detail::kDamaged + QLatin1Char('.')};
  const Result<QByteArray> metadata = MetadataFor(stored, true, SampleColours::Original);
  if (!metadata) return metadata;
  const qint64 cost = turnBytes(in, stored.size(), whole);
  std::optional<imaging_detail::DecodeMemory::Share> share;
  if (auto refused = imaging_detail::TakeTurnMemory(share, static_cast<double>(cost), stands.width(), stands.height()))
    return *refused;
  t.memoryLimit = static_cast<long>(cost);
  t.in.info.mem->max_memory_to_use = t.memoryLimit;
  const bool turned = whole ? turnCoefficients(t) : turnSamples(t);
  const auto failed = [&](const ErrorManager& errors) -> Result<QByteArray> {
    if (errors.stopped) return CancelledError();
    const Error why = imaging_detail::decodeFailure(errors, stands, memory);
    return Error{why.description.endsWith(QLatin1Char('.')) ? why.description : why.description + QLatin1Char('.')};
  };
  if (!turned) return failed(t.in.errors);
  const Expected e = expectedOf(t);
  QByteArray written = std::move(t.sink.bytes);
  t.endEncoder();
  if (!whole) jpeg_abort_decompress(&t.in.info);  // its coefficients are needed no more
  Result<QByteArray> kept = WithMetadata(written, *metadata);
  if (!kept) return kept;
  written = QByteArray();
  WorkProgress::Stage(0.75, whole ? 0.85 : 1);
  Reader check;
  const bool same = whole ? holdsTurnedCoefficients(t, e, check, *kept) : closeToTurnedSamples(t, e, check, *kept);
  if (check.errors.stopped) return CancelledError();
  if (!same) return Error{QStringLiteral("the turned picture does not read back as it was written.")};
  return kept;
}

}  // namespace lumaset
