#include "components/imaging/jpeg/jpeg_turn_stream.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <utility>

// jerror.h after jpeglib.h.
#include <jerror.h>

#include "components/imaging/decode_memory.h"

namespace lumaset::imaging_detail {

namespace {

// Small enough that the reader follows closely, large enough that a
// photo's data is a few dozen pieces.
constexpr std::size_t kPieceBytes = std::size_t{256} << 10;

const JOCTET kEndMarker[] = {0xFF, JPEG_EOI};

// How often a wait for the check's verdict looks whether it is still wanted.
constexpr std::chrono::milliseconds kStopLook{20};

}  // namespace

TurnStream::TurnStream() {
  destination_.stream = this;
  destination_.pub.init_destination = startWriting;
  destination_.pub.empty_output_buffer = pieceFull;
  destination_.pub.term_destination = endWriting;
  source_.stream = this;
  source_.pub.init_source = startReading;
  source_.pub.fill_input_buffer = nextPiece;
  source_.pub.skip_input_data = skipBytes;
  source_.pub.resync_to_restart = jpeg_resync_to_restart;
  source_.pub.term_source = endReading;
}

void TurnStream::writeFrom(jpeg_compress_struct& out) { out.dest = &destination_.pub; }

void TurnStream::readInto(jpeg_decompress_struct& in) { in.src = &source_.pub; }

JOCTET* TurnStream::newPiece() {
  std::unique_ptr<JOCTET[]> piece(new (std::nothrow) JOCTET[kPieceBytes]);
  JOCTET* start = piece.get();
  if (start == nullptr) return nullptr;
  const std::lock_guard lock(mutex_);
  pieces_.push_back(std::move(piece));
  return start;
}

void TurnStream::finishPiece(std::size_t used) {
  {
    const std::lock_guard lock(mutex_);
    done_.push_back(used);
  }
  more_.notify_all();
}

void TurnStream::put(QByteArrayView bytes) {
  for (qsizetype at = 0; at < bytes.size(); at += static_cast<qsizetype>(kPieceBytes)) {
    JOCTET* piece = newPiece();
    if (piece == nullptr) break;  // the reader finds the file cut short
    const auto used = static_cast<std::size_t>(std::min(bytes.size() - at, static_cast<qsizetype>(kPieceBytes)));
    std::copy_n(bytes.data() + at, used, piece);
    finishPiece(used);
  }
}

void TurnStream::end() {
  {
    const std::lock_guard lock(mutex_);
    ended_ = true;
  }
  more_.notify_all();
}

QByteArray TurnStream::bytes() const {
  const std::lock_guard lock(mutex_);
  qsizetype total = 0;
  for (const std::size_t used : done_) total += static_cast<qsizetype>(used);
  QByteArray all;
  all.reserve(total);
  for (std::size_t i = 0; i < done_.size(); ++i) all.append(reinterpret_cast<const char*>(pieces_[i].get()), done_[i]);
  return all;
}

void TurnStream::startWriting(j_compress_ptr out) {
  auto* destination = reinterpret_cast<Destination*>(out->dest);
  destination->pub.next_output_byte = destination->stream->newPiece();
  if (destination->pub.next_output_byte == nullptr) ERREXIT(out, JERR_OUT_OF_MEMORY);
  destination->pub.free_in_buffer = kPieceBytes;
}

// libjpeg calls this when the piece is full, whatever free_in_buffer says.
boolean TurnStream::pieceFull(j_compress_ptr out) {
  auto* destination = reinterpret_cast<Destination*>(out->dest);
  destination->stream->finishPiece(kPieceBytes);
  startWriting(out);
  return TRUE;
}

void TurnStream::endWriting(j_compress_ptr out) {
  auto* destination = reinterpret_cast<Destination*>(out->dest);
  TurnStream& stream = *destination->stream;
  stream.finishPiece(kPieceBytes - destination->pub.free_in_buffer);
  stream.end();
  if (stream.beforeEnd_) stream.beforeEnd_();
}

boolean TurnStream::nextPiece(j_decompress_ptr in) {
  auto* source = reinterpret_cast<Source*>(in->src);
  TurnStream& stream = *source->stream;
  std::unique_lock lock(stream.mutex_);
  for (;;) {
    stream.more_.wait(lock, [&] { return source->next < stream.done_.size() || stream.ended_; });
    if (source->next >= stream.done_.size()) break;
    const std::size_t piece = source->next++;
    if (stream.done_[piece] == 0) continue;
    source->pub.next_input_byte = stream.pieces_[piece].get();
    source->pub.bytes_in_buffer = stream.done_[piece];
    return TRUE;
  }
  lock.unlock();
  // Past the end, as libjpeg's own sources do: a warning, and an end marker.
  WARNMS(in, JWRN_JPEG_EOF);
  source->pub.next_input_byte = kEndMarker;
  source->pub.bytes_in_buffer = sizeof kEndMarker;
  return TRUE;
}

void TurnStream::skipBytes(j_decompress_ptr in, long count) {
  jpeg_source_mgr& source = *in->src;
  if (count <= 0) return;
  auto left = static_cast<std::size_t>(count);
  while (left > source.bytes_in_buffer) {
    left -= source.bytes_in_buffer;
    (void)nextPiece(in);
  }
  source.next_input_byte += left;
  source.bytes_in_buffer -= left;
}

CheckBeside::CheckBeside(TurnStream& stream, std::function<bool()> check) : stream_(stream), check_(std::move(check)) {
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // verdict() runs the check itself.
  }
}

CheckBeside::~CheckBeside() { giveUp(); }

void CheckBeside::run() {
  const DecodeStop::Scope scope([this] { return givenUp_.load(std::memory_order_relaxed); });
  const bool verdict = check_();
  {
    const std::lock_guard lock(mutex_);
    done_ = true;
    verdict_ = verdict;
  }
  finished_.notify_all();
}

void CheckBeside::giveUp() {
  givenUp_ = true;
  stream_.end();  // a reader waiting for bytes finds the end
  if (thread_.joinable()) thread_.join();
}

std::optional<bool> CheckBeside::verdict() {
  if (std::exchange(asked_, true)) return verdict_;
  if (!thread_.joinable()) {
    if (DecodeStop::requested()) return std::nullopt;
    stream_.end();
    verdict_ = check_();
    return verdict_;
  }
  std::unique_lock lock(mutex_);
  while (!finished_.wait_for(lock, kStopLook, [this] { return done_; })) {
    if (DecodeStop::requested()) {
      lock.unlock();
      giveUp();
      return std::nullopt;
    }
  }
  lock.unlock();
  thread_.join();
  return verdict_;
}

}  // namespace lumaset::imaging_detail
