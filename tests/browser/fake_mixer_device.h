#pragma once

// A sound mixer for tests: lines with volumes and switches that the test
// sets up, and a record of what the window wrote. The test keeps a pointer
// to the state, which outlives the device the window owns and releases.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "components/mixer_device.h"

namespace lumaset::test {

struct FakeMixerLine {
  QString name;
  int volume = 50;
  bool muted = false;
  bool hasVolume = true;
  bool hasMute = true;
};

struct FakeMixerState {
  QString name = QStringLiteral("Fake Card");
  bool ready = true;
  std::vector<FakeMixerLine> lines;
  int current = 0;
  std::vector<int> volumeWrites;  // every SetVolume, in order
  std::vector<bool> muteWrites;
  bool released = false;
};

class FakeMixerDevice final : public MixerDevice {
 public:
  explicit FakeMixerDevice(std::shared_ptr<FakeMixerState> state) : state_(std::move(state)) {}
  ~FakeMixerDevice() override { state_->released = true; }

  bool ReadyCheck1() override { return state_->ready; }
  bool ReadyCheck2() override { return state_->ready; }
  QString MixerName() override { return state_->name; }
  int LineCount() override { return static_cast<int>(state_->lines.size()); }
  QString LineName(int line) override { return valid(line) ? at(line).name : QString(); }
  int CurrentLine() override { return state_->current; }
  void SetCurrentLine(int line) override { state_->current = line; }
  bool HasVolume() override { return valid(state_->current) && at(state_->current).hasVolume; }
  int Volume() override { return HasVolume() ? at(state_->current).volume : 0; }
  Status SetVolume(int volume) override {
    if (!HasVolume()) return Error{QStringLiteral("no volume")};
    at(state_->current).volume = volume;
    state_->volumeWrites.push_back(volume);
    return {};
  }
  bool HasMute() override { return valid(state_->current) && at(state_->current).hasMute; }
  bool Mute() override { return HasMute() && at(state_->current).muted; }
  Status SetMute(bool mute) override {
    if (!HasMute()) return Error{QStringLiteral("no switch")};
    at(state_->current).muted = mute;
    state_->muteWrites.push_back(mute);
    return {};
  }

 private:
  bool valid(int line) const { return line >= 0 && line < static_cast<int>(state_->lines.size()); }
  FakeMixerLine& at(int line) { return state_->lines[static_cast<std::size_t>(line)]; }

  std::shared_ptr<FakeMixerState> state_;
};

}  // namespace lumaset::test
