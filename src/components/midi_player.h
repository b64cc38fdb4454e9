#pragma once

// Background music: one MIDI file at a time, Standard MIDI Files (.mid) and
// their RIFF-wrapped form (.rmi), played through the FluidSynth synthesizer
// with the General MIDI sound font. While music plays, the player reports
// every update interval, so that its user can start the next file once one
// has ended. Where no audio output or no sound font exists there is simply
// no music: DevicePresent says so, and nothing else fails because of it.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

#include "components/result.h"

namespace lumaset {

// The Standard MIDI File inside a file's bytes: the bytes themselves for a
// .mid, the "data" chunk of a RIFF "RMID" file. Chunk sizes are never
// trusted beyond the bytes that are there; anything that does not hold a
// MIDI header is refused with a description naming `name`.
Result<QByteArray> StandardMidiData(const QByteArray& fileBytes, const QString& name);

// Reads a .mid or .rmi file and gives its Standard MIDI File.
Result<QByteArray> ReadMidiFile(const QString& path);

class MidiPlayer : public QObject {
  Q_OBJECT

 public:
  explicit MidiPlayer(QObject* parent = nullptr);
  ~MidiPlayer() override;

  // Whether music can be heard here: a sound font and an audio output.
  virtual bool DevicePresent() = 0;
  // Plays `path` from its beginning, ending whatever played before.
  virtual Status Play(const QString& path) = 0;
  // Ends the music and the status reports.
  virtual void Stop() = 0;
  // How far the file has played and how long it is, in the file's ticks;
  // Length is 0 until the file has been read.
  virtual qint64 Position() const = 0;
  virtual qint64 Length() const = 0;
  // The file has played to its end, or turned out unplayable once started.
  virtual bool Ended() const = 0;

  // Sends StatusUpdate every `milliseconds`; 0 stops the reports.
  void SetUpdateInterval(int milliseconds);
  int UpdateInterval() const { return timer_.isActive() ? timer_.interval() : 0; }

 signals:
  void StatusUpdate();

 private:
  QTimer timer_;
};

// The real player. It makes its synthesizer and opens the audio output on
// the first DevicePresent or Play, and loads the sound font on the first
// Play; samples are read as notes need them, so starting is quick.
class FluidMidiPlayer final : public MidiPlayer {
  Q_OBJECT

 public:
  // Plays through the desktop's sound server (PulseAudio or PipeWire), or
  // straight through ALSA where there is none.
  explicit FluidMidiPlayer(QString soundFont = DefaultSoundFont(), QObject* parent = nullptr);
  // Renders into the WAVE file `wavePath` instead of an audio output, only
  // while RenderToEnd runs and as fast as the computer can.
  static std::unique_ptr<FluidMidiPlayer> ToFile(const QString& wavePath,
                                                 QString soundFont = DefaultSoundFont());
  ~FluidMidiPlayer() override;

  // The installed General MIDI sound font, or "" when there is none.
  static QString DefaultSoundFont();

  bool DevicePresent() override;
  Status Play(const QString& path) override;
  void Stop() override;
  qint64 Position() const override;
  qint64 Length() const override;
  bool Ended() const override;

  // File output only: renders until the file has ended or `limit` of music
  // has been written, then closes the WAVE file.
  Status RenderToEnd(std::chrono::seconds limit);

 private:
  struct Synth;
  FluidMidiPlayer(QString soundFont, QString wavePath);
  Status Prepare();

  QString soundFont_;
  QString wavePath_;  // empty for the audio output
  std::unique_ptr<Synth> synth_;
  int present_ = -1;  // unknown until first asked
};

}  // namespace lumaset
