#pragma once

// A picture reader that reads nothing until its decode is stopped, for the
// tests of windows that must go on while a slow picture is decoded; or, once
// the test opens its gate, reads the file as the program does.

#include <QDeadlineTimer>
#include <QImage>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/result.h"

namespace lumaset::test {

class SlowReader {
 public:
  // The first `passing` pictures are read at once, the later ones held.
  explicit SlowReader(int passing = 0) { state_->passing = passing; }

  // The reader to hand to the window; it may outlive this object.
  std::function<Result<QImage>(const QString&, int)> reader() const {
    return [state = state_](const QString& path, int longSide) -> Result<QImage> {
      if (state->passing-- > 0) return Imaging::readScaled(path, longSide);
      state->reading = true;
      const QDeadlineTimer patience(std::chrono::seconds(10));
      while (!DecodeStop::requested() && !state->open && !patience.hasExpired()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      if (state->open) return Imaging::readScaled(path, longSide);
      state->stopped = DecodeStop::requested();
      state->returned = true;
      return Error{QStringLiteral("The decode was stopped.")};
    };
  }

  bool reading() const { return state_->reading; }
  void open() { state_->open = true; }
  bool returned() const { return state_->returned; }
  // Whether the reader ended because its decode was stopped.
  bool stopped() const { return state_->stopped; }

 private:
  struct State {
    std::atomic<bool> reading{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> open{false};
    std::atomic<int> passing{0};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace lumaset::test
