#pragma once

// A sound output for tests: it plays nothing, but keeps a list of what it was
// asked to play and when, on a clock that only the test moves. A clip counts
// as playing until the clock passes its length; a clip the caller waits for
// moves the clock to its end, as a real wait would.

#include <QString>
#include <chrono>
#include <vector>

#include "components/sound_output.h"

namespace lumaset::test {

struct FakeClock {
  std::chrono::milliseconds now{0};
  void advance(std::chrono::milliseconds by) { now += by; }
};

class FakeSoundOutput final : public SoundOutput {
 public:
  struct Played {
    QString name;  // the clip's file name, without its folder
    std::chrono::milliseconds at;
    PlayMode mode;
  };

  explicit FakeSoundOutput(FakeClock& clock, bool device = true) : clock_(clock), device_(device) {}

  bool DevicePresent() override { return device_; }
  bool IsPlaying() const override { return clock_.now < playingUntil_; }

  Status Play(const WaveClip& clip, PlayMode mode) override {
    played.push_back({clip.name.section(QLatin1Char('/'), -1), clock_.now, mode});
    playingUntil_ = clock_.now + clip.duration();
    if (mode == PlayMode::Wait) clock_.now = playingUntil_;
    return {};
  }

  void Stop() override {
    if (IsPlaying()) ++stops;
    playingUntil_ = clock_.now;
  }

  std::vector<Played> played;
  int stops = 0;

 private:
  FakeClock& clock_;
  bool device_;
  std::chrono::milliseconds playingUntil_{0};
};

}  // namespace lumaset::test
