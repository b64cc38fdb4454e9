#include "frame/sounds.h"

#include <QStringList>
#include <utility>

#include "components/settings_store.h"
#include "frame/settings.h"

namespace lumaset {

namespace {

// In the order of enum Sound.
constexpr std::array<const char*, kSoundCount> kClipFiles{
    "start.wav", "exit.wav",   "open.wav", "close.wav", "add.wav", "effect.wav", "delete.wav",
    "print.wav", "select.wav", "show.wav", "tool.wav",  "in.wav",  "out.wav"};

struct EventSound {
  QStringView name;
  const char* file;
};

constexpr std::array kEventSounds{
    EventSound{u"RestoreUp", "restore-up.wav"}, EventSound{u"RestoreDown", "restore-down.wav"},
    EventSound{u"Minimize", "minimize.wav"}, EventSound{u"Maximize", "maximize.wav"},
    EventSound{u"SystemQuestion", "question.wav"}};
// What a name that is no event of ours plays.
constexpr const char* kDefaultEventFile = "default.wav";

std::size_t EventIndex(QStringView name) {
  for (std::size_t i = 0; i < kEventSounds.size(); ++i)
    if (kEventSounds[i].name == name) return i;
  return kEventSounds.size();
}

// Reads one clip; a failure leaves it empty, and so silent, and is added to
// `failures` for whoever wants to know.
WaveClip LoadClip(const QString& path, QStringList& failures) {
  Result<WaveClip> clip = LoadWaveFile(path);
  if (clip.ok()) return std::move(clip).value();
  failures.append(clip.error());
  return {};
}

}  // namespace

Sounds::Sounds(std::unique_ptr<SoundOutput> output, const QString& dataFolder, Options& options)
    : output_(std::move(output)),
      folder_(dataFolder + QStringLiteral("sounds/")),
      options_(options),
      eventClips_(kEventSounds.size() + 1) {}

Sounds::~Sounds() = default;

QString Sounds::FileName(Sound sound) {
  return QLatin1String(kClipFiles[static_cast<std::size_t>(sound)]);
}

QString Sounds::EventFileName(QStringView eventName) {
  const std::size_t index = EventIndex(eventName);
  return QLatin1String(index < kEventSounds.size() ? kEventSounds[index].file : kDefaultEventFile);
}

QStringList Sounds::AllFileNames() {
  QStringList names;
  for (const char* file : kClipFiles) names.append(QLatin1String(file));
  for (const EventSound& event : kEventSounds) names.append(QLatin1String(event.file));
  names.append(QLatin1String(kDefaultEventFile));
  return names;
}

bool Sounds::LoadClips(Status* failures) {
  deviceExists_ = output_->DevicePresent();
  if (!deviceExists_) return false;
  QStringList failed;
  for (std::size_t i = 0; i < clips_.size(); ++i)
    clips_[i] = LoadClip(folder_ + QLatin1String(kClipFiles[i]), failed);
  for (std::size_t i = 0; i < kEventSounds.size(); ++i)
    eventClips_[i] = LoadClip(folder_ + QLatin1String(kEventSounds[i].file), failed);
  eventClips_.back() = LoadClip(folder_ + QLatin1String(kDefaultEventFile), failed);
  if (failures && !failed.isEmpty()) *failures = Error{failed.join(QLatin1Char('\n'))};
  return true;
}

Status Sounds::Load(const SettingsStore& settings) {
  Status failures;
  if (!LoadClips(&failures)) {
    options_.genSound = false;
    return failures;
  }
  const SettingKey& key = *FindSettingKey(u"GenSound");
  const bool byDefault = FlagFromSetting(key.defaultText).value_or(true);
  const QString text = settings.readSetting(key.key.toString(), key.defaultText.toString());
  options_.genSound = FlagFromSetting(text).value_or(byDefault);
  return failures;
}

void Sounds::Play(Sound sound, Wait wait) {
  if (options_.genSound) PlayClip(clips_[static_cast<std::size_t>(sound)], wait, Cut::No);
}

void Sounds::PlaySlideShow() {
  if (deviceExists_ && options_.ssSound)
    PlayClip(clips_[static_cast<std::size_t>(Sound::Show)], Wait::No, Cut::No);
}

void Sounds::PlayEvent(QStringView name, Wait wait, Cut cut) {
  if (deviceExists_) PlayClip(eventClips_[EventIndex(name)], wait, cut);
}

void Sounds::PlayPrompt() {
  if (options_.genSound) PlayClip(eventClips_[EventIndex(u"SystemQuestion")], Wait::No, Cut::No);
}

// Playing errors go unreported: a missing sound is no reason to interrupt
// the user.
void Sounds::PlayClip(const WaveClip& clip, Wait wait, Cut cut) {
  if (clip.isEmpty()) return;
  if (output_->IsPlaying()) {
    if (cut == Cut::No) return;
    output_->Stop();
  }
  (void)output_->Play(clip, wait == Wait::Yes ? PlayMode::Wait : PlayMode::Async);
}

}  // namespace lumaset
