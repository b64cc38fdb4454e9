#include "components/midi_player.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <mutex>
#include <utility>

#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include "components/shared_library.h"

namespace lumaset {

namespace {

#define LUMASET_FLUIDSYNTH_FUNCTIONS(F) \
  F(delete_fluid_audio_driver) F(delete_fluid_file_renderer) F(delete_fluid_player) \
  F(delete_fluid_settings) F(delete_fluid_synth) F(fluid_file_renderer_process_block) \
  F(fluid_player_add_mem) F(fluid_player_get_current_tick) F(fluid_player_get_status) \
  F(fluid_player_get_total_ticks) F(fluid_player_play) F(fluid_player_stop) F(fluid_set_log_function) \
  F(fluid_settings_getint) F(fluid_settings_getnum) F(fluid_settings_setint) F(fluid_settings_setstr) \
  F(fluid_synth_all_sounds_off) F(fluid_synth_sfload) F(fluid_synth_system_reset) F(new_fluid_audio_driver) \
  F(new_fluid_file_renderer) F(new_fluid_player) F(new_fluid_settings) F(new_fluid_synth)
LUMASET_LIBRARY_FUNCTIONS(FluidSynth, LUMASET_FLUIDSYNTH_LIBRARY, LUMASET_FLUIDSYNTH_FUNCTIONS);

// FluidSynth once it is open: only after Prepare() succeeded.
const FluidSynth& Fluid() { return FluidSynth::Get().value(); }

// Far beyond any song; a larger file is not music.
constexpr qint64 kMaxMidiFileBytes = 16 * 1024 * 1024;

const QStringList kSoundFonts = {QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2"),
                                 QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2")};

// PulseAudio's interface serves PipeWire desktops too. JACK is left out: it
// would try to start a sound server of its own.
constexpr const char* kDrivers[] = {"pulseaudio", "alsa"};

// FluidSynth reports its troubles on standard error; the program keeps the
// last one for its own messages instead.
QMutex logMutex;
QString lastLogMessage;

void RecordLog(int /*level*/, const char* message, void* /*data*/) {
  const QMutexLocker lock(&logMutex);
  lastLogMessage = QString::fromUtf8(message);
}

// ALSA, which FluidSynth may play through, reports on standard error too.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void TakeOverLogs() {
  static std::once_flag once;
  std::call_once(once, [] {
    snd_lib_error_set_handler(&IgnoreAlsaMessage);
    Fluid().fluid_set_log_function(FLUID_PANIC, RecordLog, nullptr);
    Fluid().fluid_set_log_function(FLUID_ERR, RecordLog, nullptr);
    Fluid().fluid_set_log_function(FLUID_WARN, RecordLog, nullptr);
    Fluid().fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    Fluid().fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
  });
}

// `text`, followed by what FluidSynth last complained about, if anything.
Error SynthError(const QString& text) {
  const QMutexLocker lock(&logMutex);
  const QString detail = std::exchange(lastLogMessage, QString());
  return Error{detail.isEmpty() ? text : text + QStringLiteral(" (") + detail.trimmed() + QLatin1Char(')')};
}

bool IsStandardMidi(const QByteArray& bytes) { return bytes.size() >= 14 && bytes.startsWith("MThd"); }

}  // namespace

Result<QByteArray> StandardMidiData(const QByteArray& fileBytes, const QString& name) {
  const Error refused{QStringLiteral("%1 is not a MIDI file.").arg(name)};
  if (IsStandardMidi(fileBytes)) return fileBytes;
  if (fileBytes.size() < 12 || !fileBytes.startsWith("RIFF") || fileBytes.mid(8, 4) != "RMID")
    return refused;
  // The RIFF size itself is not consulted: the chunks end where the bytes do.
  qint64 at = 12;
  while (at + 8 <= fileBytes.size()) {
    const qint64 size = qFromLittleEndian<quint32>(fileBytes.constData() + at + 4);
    const qint64 start = at + 8;
    if (fileBytes.mid(at, 4) == "data") {
      const QByteArray data = fileBytes.mid(start, std::min<qint64>(size, fileBytes.size() - start));
      return IsStandardMidi(data) ? Result<QByteArray>(data) : Result<QByteArray>(refused);
    }
    at = start + size + (size & 1);  // chunks are padded to even sizes
  }
  return refused;
}

Result<QByteArray> ReadMidiFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return Error{QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString())};
  if (file.size() > kMaxMidiFileBytes) return Error{QStringLiteral("%1 is too large for a MIDI file.").arg(path)};
  return StandardMidiData(file.readAll(), path);
}

// ---- MidiPlayer ------------------------------------------------------------------

MidiPlayer::MidiPlayer(QObject* parent) : QObject(parent) {
  connect(&timer_, &QTimer::timeout, this, &MidiPlayer::StatusUpdate);
}

MidiPlayer::~MidiPlayer() = default;

void MidiPlayer::SetUpdateInterval(int milliseconds) {
  if (milliseconds <= 0) {
    timer_.stop();
    return;
  }
  timer_.start(milliseconds);
}

// ---- FluidMidiPlayer -----------------------------------------------------------

// The FluidSynth objects. The player is only ever replaced or deleted while
// no audio thread runs, because the audio thread drives it.
struct FluidMidiPlayer::Synth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_audio_driver_t* driver = nullptr;
  fluid_player_t* player = nullptr;
  bool fontLoaded = false;

  Synth() = default;
  Synth(const Synth&) = delete;
  Synth& operator=(const Synth&) = delete;
  ~Synth() {
    CloseOutput();
    DropPlayer();
    if (synth) Fluid().delete_fluid_synth(synth);
    if (settings) Fluid().delete_fluid_settings(settings);
  }

  bool OpenOutput() {
    if (driver) return true;
    for (const char* name : kDrivers) {
      Fluid().fluid_settings_setstr(settings, "audio.driver", name);
      driver = Fluid().new_fluid_audio_driver(settings, synth);
      if (driver) return true;
    }
    return false;
  }

  void CloseOutput() {
    if (driver) Fluid().delete_fluid_audio_driver(driver);
    driver = nullptr;
  }

  void DropPlayer() {
    if (!player) return;
    Fluid().fluid_player_stop(player);
    Fluid().delete_fluid_player(player);
    player = nullptr;
    Fluid().fluid_synth_all_sounds_off(synth, -1);
  }
};

FluidMidiPlayer::FluidMidiPlayer(QString soundFont, QObject* parent)
    : MidiPlayer(parent), soundFont_(std::move(soundFont)) {}

FluidMidiPlayer::FluidMidiPlayer(QString soundFont, QString wavePath)
    : soundFont_(std::move(soundFont)), wavePath_(std::move(wavePath)) {}

std::unique_ptr<FluidMidiPlayer> FluidMidiPlayer::ToFile(const QString& wavePath, QString soundFont) {
  return std::unique_ptr<FluidMidiPlayer>(new FluidMidiPlayer(std::move(soundFont), wavePath));
}

FluidMidiPlayer::~FluidMidiPlayer() { SetUpdateInterval(0); }

QString FluidMidiPlayer::DefaultSoundFont() {
  for (const QString& path : kSoundFonts)
    if (QFileInfo(path).isFile()) return path;
  return {};
}

Status FluidMidiPlayer::Prepare() {
  if (synth_) return Status::success();
  if (soundFont_.isEmpty() || !QFileInfo(soundFont_).isFile())
    return Error{QStringLiteral("No General MIDI sound font is installed.")};
  if (const Result<FluidSynth>& library = FluidSynth::Get(); !library)
    return Error{QStringLiteral("The synthesizer is not available. %1").arg(library.error())};
  TakeOverLogs();
  auto made = std::make_unique<Synth>();
  made->settings = Fluid().new_fluid_settings();
  if (!made->settings) return SynthError(QStringLiteral("The synthesizer could not be set up."));
  // Samples are read when a note first needs them, so a large font starts at once.
  Fluid().fluid_settings_setint(made->settings, "synth.dynamic-sample-loading", 1);
  Fluid().fluid_settings_setstr(made->settings, "player.timing-source", "sample");
  if (!wavePath_.isEmpty()) {
    Fluid().fluid_settings_setstr(made->settings, "audio.file.name", QFile::encodeName(wavePath_).constData());
    Fluid().fluid_settings_setstr(made->settings, "audio.file.type", "wav");
  }
  made->synth = Fluid().new_fluid_synth(made->settings);
  if (!made->synth) return SynthError(QStringLiteral("The synthesizer could not be started."));
  synth_ = std::move(made);
  return Status::success();
}

bool FluidMidiPlayer::DevicePresent() {
  if (present_ < 0) {
    present_ = Prepare().ok() ? 1 : 0;
    // Only the audio output is tried here; the file output is always there.
    if (present_ && wavePath_.isEmpty() && !synth_->player) {
      present_ = synth_->OpenOutput() ? 1 : 0;
      synth_->CloseOutput();
    }
  }
  return present_ == 1;
}

Status FluidMidiPlayer::Play(const QString& path) {
  const Result<QByteArray> midi = ReadMidiFile(path);
  if (!midi) return Error{midi.error()};
  if (Status prepared = Prepare(); !prepared) return prepared;
  Synth& s = *synth_;
  if (!s.fontLoaded) {
    if (Fluid().fluid_synth_sfload(s.synth, QFile::encodeName(soundFont_).constData(), 1) == FLUID_FAILED)
      return SynthError(QStringLiteral("The sound font %1 cannot be read.").arg(soundFont_));
    s.fontLoaded = true;
  }
  s.CloseOutput();
  s.DropPlayer();
  Fluid().fluid_synth_system_reset(s.synth);  // no instrument or controller of the last file carries over
  s.player = Fluid().new_fluid_player(s.synth);
  if (!s.player) return SynthError(QStringLiteral("The MIDI player could not be started."));
  if (Fluid().fluid_player_add_mem(s.player, midi->constData(), static_cast<size_t>(midi->size())) != FLUID_OK ||
      Fluid().fluid_player_play(s.player) != FLUID_OK) {
    s.DropPlayer();
    return SynthError(QStringLiteral("%1 cannot be played.").arg(path));
  }
  if (wavePath_.isEmpty() && !s.OpenOutput()) {
    s.DropPlayer();
    return SynthError(QStringLiteral("No audio output is available for music."));
  }
  return Status::success();
}

void FluidMidiPlayer::Stop() {
  SetUpdateInterval(0);
  if (!synth_) return;
  synth_->CloseOutput();
  synth_->DropPlayer();
}

qint64 FluidMidiPlayer::Position() const {
  return synth_ && synth_->player ? Fluid().fluid_player_get_current_tick(synth_->player) : 0;
}

qint64 FluidMidiPlayer::Length() const {
  return synth_ && synth_->player ? std::max(0, Fluid().fluid_player_get_total_ticks(synth_->player)) : 0;
}

bool FluidMidiPlayer::Ended() const {
  return synth_ && synth_->player && Fluid().fluid_player_get_status(synth_->player) == FLUID_PLAYER_DONE;
}

Status FluidMidiPlayer::RenderToEnd(std::chrono::seconds limit) {
  if (wavePath_.isEmpty() || !synth_ || !synth_->player)
    return Error{QStringLiteral("No music is being written to a file.")};
  fluid_file_renderer_t* renderer = Fluid().new_fluid_file_renderer(synth_->synth);
  if (!renderer) return SynthError(QStringLiteral("%1 cannot be written.").arg(wavePath_));
  double rate = 44100;
  int period = 64;
  Fluid().fluid_settings_getnum(synth_->settings, "synth.sample-rate", &rate);
  Fluid().fluid_settings_getint(synth_->settings, "audio.period-size", &period);
  const auto blocks = static_cast<qint64>(static_cast<double>(limit.count()) * rate / std::max(period, 1));
  Status result;
  for (qint64 block = 0; block < blocks && !Ended(); ++block) {
    if (Fluid().fluid_file_renderer_process_block(renderer) != FLUID_OK) {
      result = SynthError(QStringLiteral("%1 cannot be written.").arg(wavePath_));
      break;
    }
  }
  Fluid().delete_fluid_file_renderer(renderer);
  return result;
}

}  // namespace lumaset
