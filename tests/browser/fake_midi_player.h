#pragma once

// A MIDI player for tests: it plays nothing, records which files it was
// asked to play, and ends a file when the test says so.

#include <QStringList>

#include <memory>

#include "components/midi_player.h"

namespace lumaset::test {

struct FakeMidiState {
  bool device = true;
  QStringList played;
  QStringList refused;  // files whose Play fails
  bool ended = false;
  bool stopped = false;
};

class FakeMidiPlayer final : public MidiPlayer {
 public:
  explicit FakeMidiPlayer(std::shared_ptr<FakeMidiState> state) : state_(std::move(state)) {}

  bool DevicePresent() override { return state_->device; }
  Status Play(const QString& path) override {
    if (state_->refused.contains(path)) return Error{QStringLiteral("refused")};
    state_->played.append(path);
    state_->ended = false;
    state_->stopped = false;
    return {};
  }
  void Stop() override { state_->stopped = true; }
  qint64 Position() const override { return state_->ended ? 100 : 10; }
  qint64 Length() const override { return 100; }
  bool Ended() const override { return state_->ended; }

 private:
  std::shared_ptr<FakeMidiState> state_;
};

}  // namespace lumaset::test
