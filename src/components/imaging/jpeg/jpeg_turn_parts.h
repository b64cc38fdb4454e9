#pragma once

// The pieces a JPEG picture's quarter turn is made of, shared by its two
// ways: the blocks' coefficients turned, where the edges that move are
// whole MCUs, and elsewhere the planes of samples turned and compressed
// again. Either way the encoder writes into a stream that a decoder on
// another thread reads back meanwhile, comparing what it reads with the
// original turned.

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <utility>
#include <vector>

#include "components/imaging/jpeg/jpeg_guard.h"
#include "components/imaging/jpeg/jpeg_turn_geometry.h"
#include "components/imaging/jpeg/jpeg_turn_stream.h"

namespace lumaset::imaging_detail {

// A decoder, watched as every JPEG read is.
struct JpegReader {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  bool created = false;

  JpegReader() = default;
  JpegReader(const JpegReader&) = delete;
  JpegReader& operator=(const JpegReader&) = delete;
  ~JpegReader();
};

// The quantisation table of component `c`, if the file has it.
const JQUANT_TBL* quantisationOf(const jpeg_decompress_struct& info, int c);

// Reads the header of `bytes`, or of what `stream` brings; false when
// libjpeg failed (the errors say why).
bool startReader(JpegReader& reader, QByteArrayView bytes, long memoryLimit);
bool startReader(JpegReader& reader, TurnStream& stream, long memoryLimit);

// A file that ran out is whole only when it had every scan.
bool readWhole(const JpegReader& reader);

// The encoder of the turned picture. It reports to the original's errors,
// so that one jump leaves both.
struct JpegWriter {
  jpeg_compress_struct info{};
  jpeg_progress_mgr progress{};
  bool created = false;

  JpegWriter() = default;
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;
  ~JpegWriter();
};

// The encoder set up, writing into `stream`, as the original's coder was,
// for the picture turned by `turn`: its quantisation tables and sampling
// turned with the picture; its colour model, coding (progressive,
// arithmetic) and restart interval as they were; its Huffman tables kept
// where they code every symbol, else made to fit. Header segments are the
// original's, put in afterwards. Call under the original's setjmp.
void startWriter(JpegWriter& writer, JpegReader& original, Turn turn, TurnStream& stream, long memoryLimit);

// What the written file must show, taken from the original while its
// decoder has it.
struct TurnedFrame {
  JDIMENSION width = 0, height = 0;
  int components = 0;
  J_COLOR_SPACE space = JCS_UNKNOWN;
  std::vector<std::pair<int, int>> sampling;               // across, down
  std::vector<std::array<UINT16, DCTSIZE2>> quantisation;  // each component's table, turned
};
TurnedFrame turnedFrameOf(const jpeg_decompress_struct& original, Turn turn);

// Size, colour model, sampling and quantisation as expected.
bool sameFrame(const jpeg_decompress_struct& read, const TurnedFrame& frame);

// Whether the coefficients can be turned: every edge that moves is whole MCUs.
bool turnsWhole(const jpeg_decompress_struct& info, Turn turn);

// One way of turning, given the original's decoder with its header read.
struct TurnWork {
  JpegReader& original;
  Turn turn;
  long memoryLimit = 0;
  // For tests: bytes that stand for what the encoder writes, so that the
  // check of what was written alone decides.
  const QByteArray* standIn = nullptr;
};

enum class TurnEnd {
  Written,  // the bytes hold the turned picture, read back and found so
  Failed,   // libjpeg failed, or was stopped: the original's errors say which
  Unlike,   // what was written does not read back as the original turned
  Stopped,  // stopped while the check read it back
};
struct TurnOutcome {
  TurnEnd end = TurnEnd::Failed;
  QByteArray bytes;  // the turned picture, without the original's header segments
};

// The blocks' coefficients turned, nothing lost.
TurnOutcome turnBlocks(TurnWork& work);
// The symbols of the encoder's one sequential scan of the turned blocks,
// counted as they are turned, on every core, for Huffman tables made as
// libjpeg's optimising pass makes them.
class SymbolCounter {
 public:
  using Frequencies = std::array<long, 257>;
  struct Counts {
    std::array<Frequencies, NUM_HUFF_TBLS> dc{}, ac{};
    bool outOfRange = false;
    void add(const Counts& other);
  };

  SymbolCounter(const jpeg_compress_struct& out, int workers);
  // The block of component `c` at x, y, just turned by worker `worker`.
  void count(int worker, int c, int x, int y, const JCOEF* block);
  // The encoder's tables made; false when a block holds a coefficient
  // that 8-bit samples cannot give.
  bool makeTables(jpeg_compress_struct& out);

 private:
  struct Component {
    int across = 1, down = 1;   // blocks in an MCU
    int width = 0, height = 0;  // the component's own blocks
    int dcTable = 0, acTable = 0;
    std::vector<JCOEF> dc;  // each block's DC, row by row
  };
  std::vector<Component> components_;
  std::vector<Counts> counts_;  // each worker's
  int mcusPerRow_ = 0, mcuRows_ = 0;
  unsigned restart_ = 0;  // MCUs between restarts
};
// Huffman tables for the encoder like the original's: each code as long as
// the original's code for its symbol, and every symbol the original's
// tables lack given one of the longest codes. False where the original has
// no such tables.
bool makeTablesLike(const jpeg_decompress_struct& in, jpeg_compress_struct& out);
// The planes decoded, turned and compressed again.
TurnOutcome turnPlanes(TurnWork& work);

// The verdict of a check beside the writing, as a way of turning ends.
TurnOutcome checkedOutcome(CheckBeside& check, const TurnStream& stream);

}  // namespace lumaset::imaging_detail
