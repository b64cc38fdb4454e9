#pragma once

// The memory that pictures being decoded hold at once. Every decode takes
// its share before the first pixel and gives it back when done; one that
// would go over the whole waits until others have given theirs back, and
// one larger than the whole waits until it has all of it. So a pool of
// thumbnail workers holds a bounded amount, whatever the folder holds.

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

namespace lumaset::imaging_detail {

class DecodeMemory {
 public:
  explicit DecodeMemory(qint64 total) : total_(total) {}

  // The process's one share, of kTotalBytes.
  static DecodeMemory& Shared();
  static constexpr qint64 kTotalBytes = qint64{256} << 20;

  // Holds `bytes` (at most the whole) until it goes out of scope.
  class Share {
   public:
    Share(DecodeMemory& memory, qint64 bytes);
    ~Share();
    Share(const Share&) = delete;
    Share& operator=(const Share&) = delete;

   private:
    DecodeMemory& memory_;
    qint64 bytes_;
  };

  qint64 held() const;
  // Decodes waiting for their share.
  int waiting() const;

 private:
  const qint64 total_;
  qint64 held_ = 0;
  int waiting_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable returned_;
};

}  // namespace lumaset::imaging_detail
