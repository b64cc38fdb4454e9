#pragma once

// A picture reader that holds every read at a gate until the test opens
// it, then reads the file as the program does: additions stay waiting for
// exactly as long as a test needs them to.

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

class GatedReader {
 public:
  // The reader to hand to the page; it may outlive this object. A gate left
  // shut fails the read after ten seconds rather than hang the test.
  std::function<Result<QImage>(const QString&, int)> reader() const {
    return [state = state_](const QString& path, int longSide) -> Result<QImage> {
      state->held = true;
      const QDeadlineTimer patience(std::chrono::seconds(10));
      while (!state->open && !DecodeStop::requested() && !patience.hasExpired()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      if (!state->open) return Error{QStringLiteral("The test's gate stayed shut.")};
      return Imaging::readScaled(path, longSide);
    };
  }

  // A read is waiting at the gate (or has passed it).
  bool held() const { return state_->held; }
  void open() { state_->open = true; }

 private:
  struct State {
    std::atomic<bool> held{false};
    std::atomic<bool> open{false};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace lumaset::test
