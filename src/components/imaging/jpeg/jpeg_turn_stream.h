#pragma once

// The turned file as its encoder writes it, read back by a decoder on a
// thread of its own while it is being written, so that checking what was
// written costs little more time than writing it.

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// jpeglib.h needs FILE declared before it.
#include <jpeglib.h>

namespace lumaset::imaging_detail {

// Bytes written on one thread, in pieces that never move once written, and
// read on another as each piece is done. A reader that has read all there
// is waits for more until the stream has ended; past the end it finds the
// end of the file.
class TurnStream {
 public:
  TurnStream();
  TurnStream(const TurnStream&) = delete;
  TurnStream& operator=(const TurnStream&) = delete;

  // The encoder writes into the stream (the stream ends with its last byte)...
  void writeFrom(jpeg_compress_struct& out);
  // ...and once it has written its last byte calls `wait`, before it
  // finishes and frees what it worked with.
  void beforeEnd(std::function<void()> wait) { beforeEnd_ = std::move(wait); }
  // ...or these bytes stand for what it would write.
  void put(QByteArrayView bytes);
  // The decoder reads from the stream. One reader at a time.
  void readInto(jpeg_decompress_struct& in);
  // No more bytes will come: after the last, or when the writing failed.
  void end();
  // Every byte written; once it has ended.
  QByteArray bytes() const;

 private:
  struct Destination {
    jpeg_destination_mgr pub;  // first, so that libjpeg's pointer is also ours
    TurnStream* stream;
  };
  struct Source {
    jpeg_source_mgr pub;  // first, so that libjpeg's pointer is also ours
    TurnStream* stream;
    std::size_t next = 0;  // the piece to read next
  };
  static void startWriting(j_compress_ptr out);
  static boolean pieceFull(j_compress_ptr out);
  static void endWriting(j_compress_ptr out);
  static void startReading(j_decompress_ptr) {}
  static boolean nextPiece(j_decompress_ptr in);
  static void skipBytes(j_decompress_ptr in, long count);
  static void endReading(j_decompress_ptr) {}

  // A new piece to write into; nullptr when there is no memory for it.
  JOCTET* newPiece();
  // The last piece is done, holding `used` bytes.
  void finishPiece(std::size_t used);

  mutable std::mutex mutex_;
  std::condition_variable more_;
  std::vector<std::unique_ptr<JOCTET[]>> pieces_;
  std::vector<std::size_t> done_;  // the bytes of each piece that is done
  bool ended_ = false;
  std::function<void()> beforeEnd_;
  Destination destination_{};
  Source source_{};
};

// A check run on a thread of its own beside the work it checks, which reads
// what that work writes into `stream`. Its decodes stop when the check is
// given up: when the thread that waits for its verdict is told to stop, or
// when it is destroyed before that.
class CheckBeside {
 public:
  CheckBeside(TurnStream& stream, std::function<bool()> check);
  ~CheckBeside();
  CheckBeside(const CheckBeside&) = delete;
  CheckBeside& operator=(const CheckBeside&) = delete;

  // Waits for the check's verdict, the first time it is asked; nothing when
  // the decode on this thread was stopped meanwhile (the check is then
  // given up). Where no thread could be started, the check runs here, once
  // the stream has ended.
  std::optional<bool> verdict();

 private:
  void run();
  void giveUp();

  TurnStream& stream_;
  std::function<bool()> check_;
  std::atomic<bool> givenUp_{false};
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::optional<bool> verdict_;
  bool asked_ = false;
  std::thread thread_;
};

}  // namespace lumaset::imaging_detail
