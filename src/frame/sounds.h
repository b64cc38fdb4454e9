#pragma once

// The program's sound effects: thirteen clips of its own, held in memory for
// the whole run, and the event sounds that windows play by name. One rule
// governs them all: a sound asked for while another still plays is skipped,
// never queued, and the playing one is not cut off; only a request marked
// Cut ends the playing sound and starts at once.
//
// Which sounds the caller waits for: CLOSE when a dialog window unloads and
// after the label, print and print set-up dialogs; EXIT; ADD after each
// picture of a layout being opened; SHOW when the preview window closes;
// "RestoreUp" when a second copy hands over to the first; "RestoreDown" when
// the full about box, the notice window and the data-folder preferences
// unload. Everything else plays without waiting.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <memory>
#include <vector>

#include "components/result.h"
#include "components/sound_output.h"

namespace lumaset {

struct Options;
class SettingsStore;

enum class Sound {
  Start, Exit, Open, Close, Add, Effect, Delete, Print, Select, Show, Tool, In, Out
};
inline constexpr int kSoundCount = 13;

// Whether the caller waits until the sound has ended.
enum class Wait { No, Yes };
// Whether the request ends a playing sound instead of being skipped.
enum class Cut { No, Yes };

class Sounds {
 public:
  // `dataFolder` is the program's data folder, ending in "/"; the clips lie
  // in its "sounds/". `options` holds the gates, OptGenSound and OptSSSound,
  // and must outlive this object.
  Sounds(std::unique_ptr<SoundOutput> output, const QString& dataFolder, Options& options);
  ~Sounds();
  Sounds(const Sounds&) = delete;
  Sounds& operator=(const Sounds&) = delete;

  // Start-up's loading. Only when an output device exists are the clips
  // loaded and OptGenSound read from the setting "GenSound"; without one it
  // is switched off for the run and nothing will ever play. A clip that
  // cannot be read stays silent; the result names it.
  Status Load(const SettingsStore& settings);
  // The device test and the clips alone, for a copy of the program that
  // reads no settings: true when a device exists.
  bool LoadClips(Status* failures = nullptr);
  bool DeviceExists() const { return deviceExists_; }

  // One of the thirteen, when OptGenSound is on.
  void Play(Sound sound, Wait wait = Wait::No);
  // The slide show's SHOW follows OptSSSound instead of OptGenSound.
  void PlaySlideShow();
  // An event sound by name ("RestoreUp", "RestoreDown", "Minimize",
  // "Maximize", "SystemQuestion"), whenever a device exists. Any other name
  // plays the default sound.
  void PlayEvent(QStringView name, Wait wait = Wait::No, Cut cut = Cut::No);
  // "SystemQuestion" before an input prompt of the main window's commands,
  // which follows OptGenSound.
  void PlayPrompt();

  // The file of each clip, inside "sounds/".
  static QString FileName(Sound sound);
  static QString EventFileName(QStringView eventName);
  // Every clip file the program ships: the thirteen, then the event sounds.
  static QStringList AllFileNames();

  SoundOutput& output() { return *output_; }

 private:
  void PlayClip(const WaveClip& clip, Wait wait, Cut cut);

  std::unique_ptr<SoundOutput> output_;
  QString folder_;
  Options& options_;
  bool deviceExists_ = false;
  std::array<WaveClip, kSoundCount> clips_;
  std::vector<WaveClip> eventClips_;  // in the order of the event names, the default last
};

}  // namespace lumaset
