#include "components/imaging/jpeg/jpeg_turn_parts.h"

#include <algorithm>
#include <bitset>

#include "components/imaging/decode_memory.h"

namespace lumaset::imaging_detail {

namespace {

// Whether a Huffman table codes every symbol that 8-bit samples can ask
// for: a DC table every size up to 11, an AC table every run with every
// size up to 10, the end of a block and a run of 16 zeros.
bool codesEverySymbol(const JHUFF_TBL* table, bool ac) {
  if (table == nullptr) return false;
  int count = 0;
  for (int length = 1; length <= 16; ++length) count += table->bits[length];
  if (count > 256) return false;
  std::bitset<256> has;
  for (int i = 0; i < count; ++i) has.set(table->huffval[i]);
  if (!ac) {
    for (int size = 0; size <= 11; ++size)
      if (!has[size]) return false;
    return true;
  }
  if (!has[0x00] || !has[0xF0]) return false;
  for (int run = 0; run < 16; ++run)
    for (int size = 1; size <= 10; ++size)
      if (!has[run << 4 | size]) return false;
  return true;
}

// A sequential Huffman-coded original whose tables code every symbol keeps
// them (a camera's standard tables stay, and the data is coded in one
// pass); other originals get tables made for the turned data.
bool keepHuffmanTables(const jpeg_decompress_struct& in) {
  if (in.arith_code || in.progressive_mode) return false;
  for (int c = 0; c < in.num_components; ++c) {
    const jpeg_component_info& component = in.comp_info[c];
    if (component.dc_tbl_no < 0 || component.dc_tbl_no >= NUM_HUFF_TBLS || component.ac_tbl_no < 0 ||
        component.ac_tbl_no >= NUM_HUFF_TBLS)
      return false;
    if (!codesEverySymbol(in.dc_huff_tbl_ptrs[component.dc_tbl_no], false) ||
        !codesEverySymbol(in.ac_huff_tbl_ptrs[component.ac_tbl_no], true))
      return false;
  }
  return true;
}

void copyHuffmanTable(j_compress_ptr out, JHUFF_TBL*& to, const JHUFF_TBL& from) {
  if (to == nullptr) to = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(out));
  std::copy(std::begin(from.bits), std::end(from.bits), std::begin(to->bits));
  std::copy(std::begin(from.huffval), std::end(from.huffval), std::begin(to->huffval));
  to->sent_table = FALSE;
}

void keepTablesOf(const jpeg_decompress_struct& in, jpeg_compress_struct& out) {
  for (int c = 0; c < in.num_components; ++c) {
    const int dc = in.comp_info[c].dc_tbl_no, ac = in.comp_info[c].ac_tbl_no;
    out.comp_info[c].dc_tbl_no = dc;
    out.comp_info[c].ac_tbl_no = ac;
    copyHuffmanTable(&out, out.dc_huff_tbl_ptrs[dc], *in.dc_huff_tbl_ptrs[dc]);
    copyHuffmanTable(&out, out.ac_huff_tbl_ptrs[ac], *in.ac_huff_tbl_ptrs[ac]);
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

}  // namespace

const JQUANT_TBL* quantisationOf(const jpeg_decompress_struct& info, int c) {
  const int number = info.comp_info[c].quant_tbl_no;
  return number >= 0 && number < NUM_QUANT_TBLS ? info.quant_tbl_ptrs[number] : nullptr;
}

JpegReader::~JpegReader() {
  if (created) jpeg_destroy_decompress(&info);
}

JpegWriter::~JpegWriter() {
  if (created) jpeg_destroy_compress(&info);
}

// The functions that call into libjpeg keep every state in the structures
// they are given, so that a jump back out of the library skips nothing to
// destroy.
template <typename SetSource>
bool startReaderFrom(JpegReader& reader, long memoryLimit, const SetSource& setSource) {
  if (setjmp(reader.errors.jump)) return false;
  reader.created = true;
  createWatchedDecoder(reader.info, reader.errors, reader.progress);
  reader.info.mem->max_memory_to_use = memoryLimit;
  setSource(reader.info);
  jpeg_read_header(&reader.info, TRUE);
  reader.errors.inHeader = false;
  return true;
}

bool startReader(JpegReader& reader, QByteArrayView bytes, long memoryLimit) {
  return startReaderFrom(reader, memoryLimit, [bytes](jpeg_decompress_struct& info) {
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  });
}

bool startReader(JpegReader& reader, TurnStream& stream, long memoryLimit) {
  return startReaderFrom(reader, memoryLimit, [&stream](jpeg_decompress_struct& info) { stream.readInto(info); });
}

bool readWhole(const JpegReader& reader) {
  return !reader.errors.fileEnded || hasEveryScan(reader.info, reader.errors.scanned);
}

void startWriter(JpegWriter& writer, JpegReader& original, Turn turn, TurnStream& stream, long memoryLimit) {
  jpeg_decompress_struct& in = original.info;
  jpeg_compress_struct& out = writer.info;
  writer.created = true;
  createWatchedEncoder(out, original.errors, writer.progress);
  out.mem->max_memory_to_use = memoryLimit;
  stream.writeFrom(out);
  jpeg_copy_critical_parameters(&in, &out);
  if (turn.transpose) {
    std::swap(out.image_width, out.image_height);
    for (int c = 0; c < out.num_components; ++c)
      std::swap(out.comp_info[c].h_samp_factor, out.comp_info[c].v_samp_factor);
    for (JQUANT_TBL* table : out.quant_tbl_ptrs) {
      if (table == nullptr) continue;
      for (int v = 0; v < DCTSIZE; ++v)
        for (int u = v + 1; u < DCTSIZE; ++u)
          std::swap(table->quantval[v * DCTSIZE + u], table->quantval[u * DCTSIZE + v]);
    }
  }
  // The Adobe segment, which names the colour model of four components
  // (and of three, where they are RGB), is written for the check to read;
  // the original's own takes its place in the file.
  out.write_JFIF_header = FALSE;
  out.write_Adobe_marker = in.saw_Adobe_marker;
  out.restart_interval = in.restart_interval;
  out.arith_code = in.arith_code;
  const bool keepTables = keepHuffmanTables(in);
  if (keepTables) keepTablesOf(in, out);
  out.optimize_coding = in.arith_code || keepTables ? FALSE : TRUE;
  out.dct_method = JDCT_ISLOW;
  if (in.progressive_mode) jpeg_simple_progression(&out);
}

TurnedFrame turnedFrameOf(const jpeg_decompress_struct& in, Turn turn) {
  TurnedFrame frame{turn.transpose ? in.image_height : in.image_width,
                    turn.transpose ? in.image_width : in.image_height, in.num_components, in.jpeg_color_space, {},
                    {}};
  for (int c = 0; c < in.num_components; ++c) {
    const jpeg_component_info& component = in.comp_info[c];
    frame.sampling.emplace_back(turn.transpose ? component.v_samp_factor : component.h_samp_factor,
                                turn.transpose ? component.h_samp_factor : component.v_samp_factor);
    std::array<UINT16, DCTSIZE2> table{};
    const JQUANT_TBL* own = quantisationOf(in, c);
    for (int k = 0; k < DCTSIZE2 && own != nullptr; ++k)
      table[k] = turn.transpose ? own->quantval[k % DCTSIZE * DCTSIZE + k / DCTSIZE] : own->quantval[k];
    frame.quantisation.push_back(table);
  }
  return frame;
}

bool sameFrame(const jpeg_decompress_struct& read, const TurnedFrame& frame) {
  if (read.image_width != frame.width || read.image_height != frame.height ||
      read.num_components != frame.components || read.jpeg_color_space != frame.space)
    return false;
  for (int c = 0; c < frame.components; ++c) {
    const jpeg_component_info& component = read.comp_info[c];
    if (std::pair(component.h_samp_factor, component.v_samp_factor) != frame.sampling[c]) return false;
    const JQUANT_TBL* table = quantisationOf(read, c);
    if (table == nullptr || !std::equal(frame.quantisation[c].begin(), frame.quantisation[c].end(), table->quantval))
      return false;
  }
  return true;
}

bool turnsWhole(const jpeg_decompress_struct& info, Turn turn) {
  const bool acrossMoves = turn.transpose ? turn.mirrorDown : turn.mirrorAcross;
  const bool downMoves = turn.transpose ? turn.mirrorAcross : turn.mirrorDown;
  return (!acrossMoves || wholeBlocks(info, true)) && (!downMoves || wholeBlocks(info, false));
}

TurnOutcome checkedOutcome(CheckBeside& check, const TurnStream& stream) {
  const std::optional<bool> verdict = check.verdict();
  if (!verdict) return {TurnEnd::Stopped, {}};
  if (!*verdict) return {DecodeStop::requested() ? TurnEnd::Stopped : TurnEnd::Unlike, {}};
  return {TurnEnd::Written, stream.bytes()};
}

}  // namespace lumaset::imaging_detail
