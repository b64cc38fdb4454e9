#pragma once

// The memory that pictures being decoded hold at once. Every decode takes
// its share before the first pixel and gives it back when done; one that
// would go over what is left waits until others have given theirs back, and
// one larger than the whole is refused at once. So a pool of thumbnail
// workers holds a bounded amount, whatever the folder holds.
//
// Decodes can be stopped: a thread says, for the decodes it runs, how to
// tell that they are no longer wanted, and the decoders that can stop ask
// between rows. When the program ends, every decode is stopped at once.
// Long work (a file's turn) also says how far it has come, for a progress
// display (WorkProgress).

#include <QtGlobal>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace lumaset {

class DecodeStop {
 public:
  // True when the decodes of this thread are no longer wanted. It is asked
  // often, from the decoding thread, and must answer quickly.
  using Question = std::function<bool()>;

  // Decodes on this thread, while the scope lasts, stop when `stop` says so.
  class Scope {
   public:
    explicit Scope(Question stop);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    Question outer_;
  };

  // Whether the decode running on this thread is to end now.
  static bool requested();
  // Every decode, running or to come, ends at its next question; none waits
  // for memory any more. For the end of the program: there is no way back.
  static void endAll();
};

// How far the work on this thread has come. A thread says where the reports
// of its work go (Scope); the work says, as it goes, which share of the
// whole the next steps make (Stage) and how far it is within them (Step).
// The listener hears whole percentages from 1 to 99, each larger than the
// last; 0 and 100 belong to whoever starts and ends the work. Nothing is
// held that a jump out of a C library could skip.
class WorkProgress {
 public:
  // Called on the working thread; it must not touch a window.
  using Listener = std::function<void(int percent)>;

  // The work on this thread, while the scope lasts, reports to `listener`,
  // from stage 0 .. 1 on.
  class Scope {
   public:
    explicit Scope(Listener listener);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    Listener outer_;
    double outerFrom_, outerTo_;
    int outerLast_;
  };

  // The steps that follow make the share `from` .. `to` (0 to 1) of the whole.
  static void Stage(double from, double to);
  // `done` of `total` of the current stage is done. True when the work is
  // to stop (DecodeStop::requested()), so that a loop asks both at once.
  static bool Step(double done, double total);
};

}  // namespace lumaset

namespace lumaset::imaging_detail {

class DecodeMemory {
 public:
  explicit DecodeMemory(qint64 total) : total_(total) {}

  // The process's one share, of kTotalBytes. Never destroyed, so that a
  // decode still running when the program ends finds it intact.
  static DecodeMemory& Shared();
  static constexpr qint64 kTotalBytes = qint64{256} << 20;

  // Holds `bytes` until it goes out of scope. A request larger than the
  // whole gets nothing at once (tooLarge()); a decode stopped while it waits
  // gets nothing either. granted() is then false.
  class Share {
   public:
    Share(DecodeMemory& memory, qint64 bytes);
    ~Share();
    Share(const Share&) = delete;
    Share& operator=(const Share&) = delete;
    bool granted() const { return granted_; }
    bool tooLarge() const { return tooLarge_; }

   private:
    DecodeMemory& memory_;
    qint64 bytes_;
    bool granted_ = false;
    bool tooLarge_ = false;
  };

  qint64 total() const { return total_; }
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
