#pragma once

// The computer's sound mixer as the mixer window sees it: named lines, each
// with a volume and a mute switch where the hardware has them. The real one
// is ALSA's simple mixer; tests use a fake.

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

#include "components/result.h"

typedef struct _snd_mixer snd_mixer_t;
typedef struct _snd_mixer_elem snd_mixer_elem_t;

namespace lumaset {

class MixerDevice {
 public:
  // Every line's volume in the same units, whatever the hardware's steps.
  static constexpr int kVolumeMinimum = 0;
  static constexpr int kVolumeMaximum = 100;

  MixerDevice() = default;
  virtual ~MixerDevice();
  MixerDevice(const MixerDevice&) = delete;
  MixerDevice& operator=(const MixerDevice&) = delete;

  // Both true when the mixer can be used: it opened, and it has lines.
  virtual bool ReadyCheck1() = 0;
  virtual bool ReadyCheck2() = 0;
  // The mixer's name, "" when there is none. Each call looks afresh, so a
  // mixer that turns up or goes away is noticed; the lines are read anew.
  virtual QString MixerName() = 0;
  virtual int LineCount() = 0;
  // "" for a line that is not there.
  virtual QString LineName(int line) = 0;
  // The line that the volume and the mute switch act on; 0 at first.
  virtual int CurrentLine() = 0;
  virtual void SetCurrentLine(int line) = 0;
  virtual bool HasVolume() = 0;
  virtual int Volume() = 0;  // kVolumeMinimum when the line has none
  virtual Status SetVolume(int volume) = 0;
  virtual bool HasMute() = 0;
  virtual bool Mute() = 0;  // false when the line has no switch
  virtual Status SetMute(bool mute) = 0;
};

// ALSA's simple mixer of one device: its playback lines, named as alsamixer
// names them ("Master", "PCM", "Headphone 1" for a second one).
class AlsaMixerDevice final : public MixerDevice {
 public:
  explicit AlsaMixerDevice(QByteArray device = QByteArrayLiteral("default"));
  ~AlsaMixerDevice() override;

  bool ReadyCheck1() override;
  bool ReadyCheck2() override;
  QString MixerName() override;
  int LineCount() override;
  QString LineName(int line) override;
  int CurrentLine() override { return current_; }
  void SetCurrentLine(int line) override { current_ = line; }
  bool HasVolume() override;
  int Volume() override;
  Status SetVolume(int volume) override;
  bool HasMute() override;
  bool Mute() override;
  Status SetMute(bool mute) override;

 private:
  struct Line {
    QString name;
    snd_mixer_elem_t* element;
  };
  void Open();
  void Close();
  snd_mixer_elem_t* Current() const;

  QByteArray device_;
  snd_mixer_t* mixer_ = nullptr;
  QString name_;
  std::vector<Line> lines_;
  int current_ = 0;
  bool opened_ = false;  // whether the first look has been taken
};

}  // namespace lumaset
