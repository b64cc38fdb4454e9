#include "components/mixer_device.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace lumaset {

namespace {

// ALSA reports on standard error by default; the window says what it needs
// to through the mixer's answers.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&IgnoreAlsaMessage); });
}

Error AlsaError(const QString& what, int code) {
  return Error{what + QStringLiteral(": ") + QString::fromLocal8Bit(snd_strerror(code))};
}

// The name the card gives its mixer, else the card's own, else the device's.
QString CardName(snd_mixer_t* mixer, const QByteArray& device) {
  QString name = QString::fromLatin1(device);
  snd_hctl_t* hctl = nullptr;
  if (snd_mixer_get_hctl(mixer, device.constData(), &hctl) < 0 || !hctl) return name;
  snd_ctl_card_info_t* info = nullptr;
  if (snd_ctl_card_info_malloc(&info) < 0) return name;
  if (snd_ctl_card_info(snd_hctl_ctl(hctl), info) >= 0) {
    const QString mixerName = QString::fromUtf8(snd_ctl_card_info_get_mixername(info)).trimmed();
    const QString cardName = QString::fromUtf8(snd_ctl_card_info_get_name(info)).trimmed();
    name = !mixerName.isEmpty() ? mixerName : !cardName.isEmpty() ? cardName : name;
  }
  snd_ctl_card_info_free(info);
  return name;
}

// A volume in the hardware's steps turned into the shared units and back.
int ToUnits(long raw, long low, long high) {
  if (high <= low) return MixerDevice::kVolumeMinimum;
  const double share = static_cast<double>(raw - low) / static_cast<double>(high - low);
  return MixerDevice::kVolumeMinimum +
         static_cast<int>(std::lround(share * (MixerDevice::kVolumeMaximum - MixerDevice::kVolumeMinimum)));
}

long ToRaw(int units, long low, long high) {
  const int clamped = std::clamp(units, MixerDevice::kVolumeMinimum, MixerDevice::kVolumeMaximum);
  const double share = static_cast<double>(clamped - MixerDevice::kVolumeMinimum) /
                       (MixerDevice::kVolumeMaximum - MixerDevice::kVolumeMinimum);
  return low + std::lround(share * static_cast<double>(high - low));
}

}  // namespace

MixerDevice::~MixerDevice() = default;

AlsaMixerDevice::AlsaMixerDevice(QByteArray device) : device_(std::move(device)) { QuietAlsa(); }

AlsaMixerDevice::~AlsaMixerDevice() { Close(); }

void AlsaMixerDevice::Close() {
  lines_.clear();
  name_.clear();
  if (mixer_) snd_mixer_close(mixer_);
  mixer_ = nullptr;
}

// Opens the mixer afresh: its elements are only valid while the handle that
// read them stays open, and a card that went away must not leave any behind.
void AlsaMixerDevice::Open() {
  Close();
  opened_ = true;
  snd_mixer_t* mixer = nullptr;
  if (snd_mixer_open(&mixer, 0) < 0) return;
  if (snd_mixer_attach(mixer, device_.constData()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
      snd_mixer_load(mixer) < 0) {
    snd_mixer_close(mixer);
    return;
  }
  mixer_ = mixer;
  for (snd_mixer_elem_t* element = snd_mixer_first_elem(mixer); element; element = snd_mixer_elem_next(element)) {
    if (!snd_mixer_selem_is_active(element)) continue;
    if (!snd_mixer_selem_has_playback_volume(element) && !snd_mixer_selem_has_playback_switch(element)) continue;
    QString name = QString::fromUtf8(snd_mixer_selem_get_name(element));
    if (const unsigned index = snd_mixer_selem_get_index(element); index > 0)
      name += QLatin1Char(' ') + QString::number(index);
    lines_.push_back({name, element});
  }
  name_ = CardName(mixer, device_);
}

bool AlsaMixerDevice::ReadyCheck1() {
  if (!opened_) Open();
  return mixer_ != nullptr;
}

bool AlsaMixerDevice::ReadyCheck2() {
  if (!opened_) Open();
  return !lines_.empty();
}

QString AlsaMixerDevice::MixerName() {
  Open();
  return lines_.empty() ? QString() : name_;
}

int AlsaMixerDevice::LineCount() { return static_cast<int>(lines_.size()); }

QString AlsaMixerDevice::LineName(int line) {
  return line >= 0 && line < LineCount() ? lines_[static_cast<std::size_t>(line)].name : QString();
}

snd_mixer_elem_t* AlsaMixerDevice::Current() const {
  return current_ >= 0 && current_ < static_cast<int>(lines_.size())
             ? lines_[static_cast<std::size_t>(current_)].element
             : nullptr;
}

bool AlsaMixerDevice::HasVolume() {
  snd_mixer_elem_t* element = Current();
  return element && snd_mixer_selem_has_playback_volume(element);
}

// The loudest channel stands for the line, as the slider shows one value.
int AlsaMixerDevice::Volume() {
  if (!HasVolume()) return kVolumeMinimum;
  snd_mixer_elem_t* element = Current();
  long low = 0;
  long high = 0;
  snd_mixer_selem_get_playback_volume_range(element, &low, &high);
  long loudest = low;
  for (int channel = 0; channel <= SND_MIXER_SCHN_LAST; ++channel) {
    const auto id = static_cast<snd_mixer_selem_channel_id_t>(channel);
    long value = 0;
    if (snd_mixer_selem_has_playback_channel(element, id) &&
        snd_mixer_selem_get_playback_volume(element, id, &value) >= 0)
      loudest = std::max(loudest, value);
  }
  return ToUnits(loudest, low, high);
}

Status AlsaMixerDevice::SetVolume(int volume) {
  if (!HasVolume()) return Error{QStringLiteral("This line has no volume control.")};
  snd_mixer_elem_t* element = Current();
  long low = 0;
  long high = 0;
  snd_mixer_selem_get_playback_volume_range(element, &low, &high);
  if (const int code = snd_mixer_selem_set_playback_volume_all(element, ToRaw(volume, low, high)); code < 0)
    return AlsaError(QStringLiteral("The volume cannot be set"), code);
  return Status::success();
}

bool AlsaMixerDevice::HasMute() {
  snd_mixer_elem_t* element = Current();
  return element && snd_mixer_selem_has_playback_switch(element);
}

// ALSA's switch is on when the line sounds; muted means every channel is off.
bool AlsaMixerDevice::Mute() {
  if (!HasMute()) return false;
  snd_mixer_elem_t* element = Current();
  for (int channel = 0; channel <= SND_MIXER_SCHN_LAST; ++channel) {
    const auto id = static_cast<snd_mixer_selem_channel_id_t>(channel);
    int on = 0;
    if (snd_mixer_selem_has_playback_channel(element, id) &&
        snd_mixer_selem_get_playback_switch(element, id, &on) >= 0 && on)
      return false;
  }
  return true;
}

Status AlsaMixerDevice::SetMute(bool mute) {
  if (!HasMute()) return Error{QStringLiteral("This line has no mute switch.")};
  if (const int code = snd_mixer_selem_set_playback_switch_all(Current(), mute ? 0 : 1); code < 0)
    return AlsaError(QStringLiteral("The mute switch cannot be set"), code);
  return Status::success();
}

}  // namespace lumaset
