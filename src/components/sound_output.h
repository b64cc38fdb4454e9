#pragma once

// Plays short sound clips held in memory. The program's sounds are RIFF WAVE
// files of uncompressed PCM, read once and kept as WaveClip; a SoundOutput
// plays one clip at a time, either in the background or while the caller
// waits. The real output goes through ALSA on a thread of its own, so that a
// clip played in the background never holds up a window.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>

#include "components/result.h"

namespace lumaset {

// Uncompressed PCM samples with their format: 8-bit samples are unsigned,
// 16-bit ones signed little-endian, channels interleaved.
struct WaveClip {
  QString name;  // the file it came from, for messages
  int channels = 0;
  int sampleRate = 0;
  int bitsPerSample = 0;
  QByteArray samples;  // whole frames only

  bool isEmpty() const { return samples.isEmpty(); }
  qsizetype bytesPerFrame() const { return qsizetype(channels) * (bitsPerSample / 8); }
  qsizetype frameCount() const;
  std::chrono::milliseconds duration() const;
};

// Reads a WAVE file's bytes. Chunk sizes are never trusted: a data chunk
// longer than the file is cut to what is there, anything else malformed is
// refused with a description naming `name`.
Result<WaveClip> ParseWave(const QByteArray& bytes, const QString& name);
Result<WaveClip> LoadWaveFile(const QString& path);

enum class PlayMode {
  Async,  // returns at once; the clip plays on
  Wait,   // returns when the clip has ended, failed or been stopped
};

class SoundOutput {
 public:
  SoundOutput() = default;
  virtual ~SoundOutput();
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;

  // Whether a playback device is there to play on.
  virtual bool DevicePresent() = 0;
  // Whether a clip given to Play has not yet ended.
  virtual bool IsPlaying() const = 0;
  // Plays the clip, replacing any that has not started yet. A failure is
  // known only to a caller that waits; one in the background goes unheard.
  virtual Status Play(const WaveClip& clip, PlayMode mode) = 0;
  // Ends whatever is playing now.
  virtual void Stop() = 0;
};

// The system's sound through ALSA's PCM interface. The worker thread starts
// with the first clip; each clip opens the device, so nothing holds it
// between sounds. Every wait is bounded by the clip's length and a margin, so
// a device that stalls can hold up neither a caller nor the program's end.
class AlsaSoundOutput final : public SoundOutput {
 public:
  explicit AlsaSoundOutput(QByteArray deviceName = QByteArrayLiteral("default"));
  ~AlsaSoundOutput() override;

  // Asks the device once: it is present when it opens, or when it is busy
  // playing another program's sound.
  bool DevicePresent() override;
  bool IsPlaying() const override;
  Status Play(const WaveClip& clip, PlayMode mode) override;
  void Stop() override;

 private:
  class Worker;
  QByteArray deviceName_;
  int devicePresent_ = -1;  // unknown until first asked
  std::unique_ptr<Worker> worker_;
};

}  // namespace lumaset
