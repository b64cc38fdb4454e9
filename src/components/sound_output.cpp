#include "components/sound_output.h"

#include <alsa/asoundlib.h>

#include <QFile>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace lumaset {

namespace {

using Clock = std::chrono::steady_clock;

// A sound effect is a few seconds at most; anything far larger is not one,
// and is not read into memory.
constexpr qint64 kLargestWaveFile = 16 * 1024 * 1024;
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 192000;

// The device's buffer: short enough that a stop is heard at once.
constexpr unsigned kLatencyMicroseconds = 100000;
constexpr int kPollMilliseconds = 20;
// Opening a sound server's device can take a moment; a clip that has not
// ended this long after its own length never will.
constexpr std::chrono::milliseconds kEndMargin{3000};
constexpr std::chrono::milliseconds kStopGrace{500};

quint32 ReadU32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

quint16 ReadU16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return quint16(b[0] | b[1] << 8);
}

Error Refused(const QString& name, const char* why) {
  return Error{QStringLiteral("The sound \"%1\" %2.").arg(name, QLatin1String(why))};
}

struct WaveFormat {
  quint16 encoding = 0;
  int channels = 0;
  int sampleRate = 0;
  int bitsPerSample = 0;
};

Result<WaveClip> ClipFromChunks(const WaveFormat& format, QByteArray data, const QString& name) {
  if (format.encoding != 1) return Refused(name, "is not uncompressed PCM");
  if (format.channels < 1 || format.channels > 2)
    return Refused(name, "has neither one nor two channels");
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
    return Refused(name, "has neither 8 nor 16 bits a sample");
  if (format.sampleRate < kLowestRate || format.sampleRate > kHighestRate)
    return Refused(name, "has an impossible sample rate");

  WaveClip clip{name, format.channels, format.sampleRate, format.bitsPerSample, {}};
  data.truncate(data.size() - data.size() % clip.bytesPerFrame());
  if (data.isEmpty()) return Refused(name, "holds no sound");
  clip.samples = std::move(data);
  return clip;
}

// ALSA reports on standard error by default; the program reports what it
// needs to through the results of its own calls.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&IgnoreAlsaMessage); });
}

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

Error DeviceError(const WaveClip& clip, int code) {
  return Error{QStringLiteral("The sound \"%1\" could not be played: %2.")
                   .arg(clip.name, QString::fromLocal8Bit(snd_strerror(code)))};
}

Error StalledError(const WaveClip& clip) {
  return Error{
      QStringLiteral("The sound \"%1\" did not end in time; the sound device does not respond.")
          .arg(clip.name)};
}

}  // namespace

qsizetype WaveClip::frameCount() const {
  const qsizetype frameBytes = bytesPerFrame();
  return frameBytes > 0 ? samples.size() / frameBytes : 0;
}

std::chrono::milliseconds WaveClip::duration() const {
  if (sampleRate <= 0) return std::chrono::milliseconds(0);
  // Rounded up, so that a clip counts as playing until its last sample.
  return std::chrono::milliseconds((qint64(frameCount()) * 1000 + sampleRate - 1) / sampleRate);
}

Result<WaveClip> ParseWave(const QByteArray& bytes, const QString& name) {
  if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
    return Refused(name, "is not a WAVE file");

  std::optional<WaveFormat> format;
  std::optional<QByteArray> data;
  qsizetype at = 12;
  while (at + 8 <= bytes.size()) {
    const char* header = bytes.constData() + at;
    const qsizetype size = ReadU32(header + 4);
    const qsizetype body = at + 8;
    const qsizetype available = std::min(size, bytes.size() - body);
    if (std::equal(header, header + 4, "fmt ")) {
      if (available < 16) return Refused(name, "has a damaged format chunk");
      const char* f = bytes.constData() + body;
      format =
          WaveFormat{ReadU16(f), ReadU16(f + 2), int(ReadU32(f + 4) & 0x7fffffff), ReadU16(f + 14)};
    } else if (std::equal(header, header + 4, "data") && !data) {
      data = bytes.mid(body, available);
    }
    at = body + size + (size & 1);  // chunks are padded to even lengths
  }
  if (!format) return Refused(name, "has no format chunk");
  if (!data) return Refused(name, "has no data chunk");
  return ClipFromChunks(*format, std::move(*data), name);
}

Result<WaveClip> LoadWaveFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return Error{
        QStringLiteral("The sound \"%1\" could not be read: %2").arg(path, file.errorString())};
  if (file.size() > kLargestWaveFile) return Refused(path, "is too long for a sound effect");
  return ParseWave(file.readAll(), path);
}

SoundOutput::~SoundOutput() = default;

// --- The ALSA output -------------------------------------------------------

// One thread plays one clip at a time. A clip asked for while another plays
// waits as the pending one; a newer request replaces it. Every request has a
// number, so that a stop ends exactly the requests made before it.
class AlsaSoundOutput::Worker {
 public:
  explicit Worker(QByteArray device) : device_(std::move(device)) {}
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  bool busy() const;
  Status play(const WaveClip& clip, PlayMode mode);
  void stop();

 private:
  struct Job {
    quint64 id;
    WaveClip clip;
  };

  void run();
  Status playOnDevice(const Job& job) const;
  Status writeFrames(snd_pcm_t* pcm, const Job& job, Clock::time_point deadline) const;
  Status awaitEnd(snd_pcm_t* pcm, const Job& job, Clock::time_point deadline) const;
  bool stopped(quint64 id) const { return quit_ || id < stopBelow_; }

  const QByteArray device_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Job> pending_;
  bool active_ = false;
  quint64 nextId_ = 1;
  quint64 finished_ = 0;  // every request up to this number has ended or was dropped
  quint64 failedId_ = 0;
  QString failure_;
  std::atomic<quint64> stopBelow_{0};
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

AlsaSoundOutput::Worker::~Worker() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    pending_.reset();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool AlsaSoundOutput::Worker::busy() const {
  std::lock_guard lock(mutex_);
  return active_ || pending_.has_value();
}

Status AlsaSoundOutput::Worker::play(const WaveClip& clip, PlayMode mode) {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  const quint64 id = nextId_++;
  pending_ = Job{id, clip};
  changed_.notify_all();
  if (mode == PlayMode::Async) return {};

  const auto ended = [&] { return finished_ >= id; };
  if (!changed_.wait_until(lock, Clock::now() + clip.duration() + kEndMargin, ended)) {
    stopBelow_ = nextId_;
    changed_.wait_for(lock, kStopGrace, ended);
    return StalledError(clip);
  }
  if (failedId_ == id) return Error{failure_};
  return {};
}

void AlsaSoundOutput::Worker::stop() {
  std::lock_guard lock(mutex_);
  stopBelow_ = nextId_;
  pending_.reset();
  if (!active_) finished_ = nextId_ - 1;
  changed_.notify_all();
}

void AlsaSoundOutput::Worker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return quit_ || pending_.has_value(); });
    if (quit_) break;
    const Job job = std::move(*pending_);
    pending_.reset();
    active_ = true;
    lock.unlock();
    const Status result = playOnDevice(job);
    lock.lock();
    active_ = false;
    if (!result.ok()) {
      failedId_ = job.id;
      failure_ = result.error();
    }
    // Requests replaced while this one played were dropped: they end with it.
    finished_ = pending_ ? pending_->id - 1 : nextId_ - 1;
    changed_.notify_all();
  }
  finished_ = nextId_ - 1;
  changed_.notify_all();
}

Status AlsaSoundOutput::Worker::playOnDevice(const Job& job) const {
  const WaveClip& clip = job.clip;
  if (clip.isEmpty()) return {};
  QuietAlsa();
  snd_pcm_t* opened = nullptr;
  int code = snd_pcm_open(&opened, device_.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (code < 0) return DeviceError(clip, code);
  const PcmHandle pcm(opened);
  code = snd_pcm_set_params(pcm.get(),
                            clip.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                            SND_PCM_ACCESS_RW_INTERLEAVED, unsigned(clip.channels),
                            unsigned(clip.sampleRate), 1, kLatencyMicroseconds);
  if (code < 0) return DeviceError(clip, code);

  const Clock::time_point deadline = Clock::now() + clip.duration() + kEndMargin;
  const Status written = writeFrames(pcm.get(), job, deadline);
  if (!written.ok()) return written;
  return awaitEnd(pcm.get(), job, deadline);
}

Status AlsaSoundOutput::Worker::writeFrames(snd_pcm_t* pcm, const Job& job,
                                            Clock::time_point deadline) const {
  const WaveClip& clip = job.clip;
  const auto total = snd_pcm_uframes_t(clip.frameCount());
  const char* samples = clip.samples.constData();
  snd_pcm_uframes_t done = 0;
  while (done < total) {
    if (stopped(job.id)) return {};
    if (Clock::now() > deadline) return StalledError(clip);
    const snd_pcm_sframes_t count =
        snd_pcm_writei(pcm, samples + qsizetype(done) * clip.bytesPerFrame(), total - done);
    if (count == -EAGAIN) {
      snd_pcm_wait(pcm, kPollMilliseconds);
    } else if (count < 0) {
      const int code = snd_pcm_recover(pcm, int(count), 1);
      if (code < 0) return DeviceError(clip, code);
    } else {
      done += snd_pcm_uframes_t(count);
    }
  }
  return {};
}

// Polls rather than drains, so that a stop or the program's end is never
// stuck behind the device.
Status AlsaSoundOutput::Worker::awaitEnd(snd_pcm_t* pcm, const Job& job,
                                         Clock::time_point deadline) const {
  // A clip shorter than the buffer never fills it, and so never starts by itself.
  if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);
  while (!stopped(job.id)) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING || snd_pcm_delay(pcm, &delay) < 0 || delay <= 0)
      return {};
    if (Clock::now() > deadline) return StalledError(job.clip);
    const qint64 left = qint64(delay) * 1000 / job.clip.sampleRate + 1;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::min<qint64>(left, kPollMilliseconds)));
  }
  return {};
}

AlsaSoundOutput::AlsaSoundOutput(QByteArray deviceName)
    : deviceName_(std::move(deviceName)), worker_(std::make_unique<Worker>(deviceName_)) {}

AlsaSoundOutput::~AlsaSoundOutput() = default;

bool AlsaSoundOutput::DevicePresent() {
  if (devicePresent_ < 0) {
    QuietAlsa();
    snd_pcm_t* pcm = nullptr;
    const int code =
        snd_pcm_open(&pcm, deviceName_.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (code == 0) snd_pcm_close(pcm);
    devicePresent_ = (code == 0 || code == -EBUSY) ? 1 : 0;
  }
  return devicePresent_ == 1;
}

bool AlsaSoundOutput::IsPlaying() const { return worker_->busy(); }

Status AlsaSoundOutput::Play(const WaveClip& clip, PlayMode mode) {
  return worker_->play(clip, mode);
}

void AlsaSoundOutput::Stop() { worker_->stop(); }

}  // namespace lumaset
