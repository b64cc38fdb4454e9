#include "components/sound_output.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace lumaset {
namespace {

QByteArray Le(quint32 value, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i) out.append(char((value >> (8 * i)) & 0xff));
  return out;
}

QByteArray Chunk(const char* id, const QByteArray& body, quint32 claimedSize = 0) {
  QByteArray out = QByteArray(id) + Le(claimedSize ? claimedSize : quint32(body.size()), 4) + body;
  if (body.size() % 2) out.append('\0');
  return out;
}

QByteArray Format(int encoding, int channels, int rate, int bits) {
  const int frame = channels * bits / 8;
  return Le(encoding, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * frame, 4) + Le(frame, 2) +
         Le(bits, 2);
}

QByteArray Riff(const QByteArray& chunks) { return "RIFF" + Le(4 + chunks.size(), 4) + "WAVE" + chunks; }

QByteArray Wave(int channels, int rate, int bits, const QByteArray& data) {
  return Riff(Chunk("fmt ", Format(1, channels, rate, bits)) + Chunk("data", data));
}

TEST(ParseWaveTest, ReadsWellFormedAndForgivableFiles) {
  struct GoodCase { const char* what; QByteArray bytes; int channels, rate, bits; qsizetype frames; };
  const QByteArray tenBytes(10, '\x40');
  const GoodCase cases[] = {
      {"8-bit mono", Wave(1, 11025, 8, tenBytes), 1, 11025, 8, 10},
      {"16-bit stereo after an odd-sized chunk",
       Riff(Chunk("fmt ", Format(1, 2, 22050, 16)) + Chunk("LIST", "abc") + Chunk("data", QByteArray(16, 1))), 2, 22050,
       16, 4},
      {"data before format", Riff(Chunk("data", tenBytes) + Chunk("fmt ", Format(1, 1, 8000, 8))), 1, 8000, 8, 10},
      {"data chunk longer than the file",
       Riff(Chunk("fmt ", Format(1, 1, 8000, 16)) + Chunk("data", tenBytes, 1000000)), 1, 8000, 16, 5},
      {"partial last frame", Wave(2, 8000, 16, QByteArray(10, 0)), 2, 8000, 16, 2},
  };
  for (const GoodCase& c : cases) {
    const Result<WaveClip> clip = ParseWave(c.bytes, QStringLiteral("x.wav"));
    ASSERT_TRUE(clip.ok()) << c.what << ": " << clip.error().toStdString();
    EXPECT_EQ(std::tuple(clip->channels, clip->sampleRate, clip->bitsPerSample, clip->frameCount()),
              std::tuple(c.channels, c.rate, c.bits, c.frames)) << c.what;
    EXPECT_EQ(clip->samples.size(), c.frames * clip->bytesPerFrame()) << c.what;
  }
}

TEST(ParseWaveTest, RefusesWhatItCannotPlay) {
  const QByteArray data(8, 0);
  const std::pair<const char*, QByteArray> cases[] = {
      {"empty", {}},
      {"not RIFF", "RIFX" + Wave(1, 8000, 8, data).mid(4)},
      {"float samples", Riff(Chunk("fmt ", Format(3, 1, 8000, 32)) + Chunk("data", data))},
      {"24-bit", Wave(1, 8000, 24, QByteArray(9, 0))},
      {"three channels", Wave(3, 8000, 16, QByteArray(12, 0))},
      {"no data chunk", Riff(Chunk("fmt ", Format(1, 1, 8000, 8)))},
      {"short format chunk", Riff(Chunk("fmt ", Format(1, 1, 8000, 8).left(10)) + Chunk("data", data))},
      {"no samples", Wave(1, 8000, 8, {})},
      {"chunk size past the end", Riff(Chunk("fmt ", Format(1, 1, 8000, 8)) +
                                       Chunk("JUNK", "ab", 0xfffffff0u) + Chunk("data", data))},
  };
  for (const auto& [what, bytes] : cases) {
    const Result<WaveClip> clip = ParseWave(bytes, QStringLiteral("broken.wav"));
    ASSERT_FALSE(clip.ok()) << what;
    EXPECT_TRUE(clip.error().contains(QStringLiteral("\"broken.wav\""))) << what;
  }
}

TEST(ParseWaveTest, DurationCoversTheLastSampleAndAMissingFileIsNamed) {
  WaveClip clip{QStringLiteral("x"), 1, 22050, 16, QByteArray(2 * 22050 + 2, 0)};
  EXPECT_EQ(clip.duration().count(), 1001);
  const QString path = test::freshFolder("waves") + "/missing.wav";
  const Result<WaveClip> missing = LoadWaveFile(path);
  ASSERT_TRUE(!missing.ok());
  EXPECT_TRUE(missing.error().contains(path));
}

WaveClip Silence(int milliseconds) {
  return *ParseWave(Wave(1, 8000, 8, QByteArray(8 * milliseconds, '\x80')), QStringLiteral("silence.wav"));
}

// ALSA's "null" device takes every sample at once and plays nothing; it runs
// the whole path through the worker without a sound card.
TEST(AlsaSoundOutputTest, PlaysThroughTheNullDevice) {
  AlsaSoundOutput output(QByteArrayLiteral("null"));
  if (!output.DevicePresent()) GTEST_SKIP() << "ALSA's null device is not configured here";

  const Status waited = output.Play(Silence(200), PlayMode::Wait);
  EXPECT_TRUE(waited.ok()) << waited.error().toStdString();
  EXPECT_FALSE(output.IsPlaying());
  EXPECT_TRUE(output.Play(Silence(5000), PlayMode::Async).ok());
  output.Stop();
  EXPECT_TRUE(output.Play(Silence(50), PlayMode::Wait).ok());
  EXPECT_FALSE(output.IsPlaying());
  // Ends with a clip in the background: the destructor must not hang.
  EXPECT_TRUE(output.Play(Silence(3000), PlayMode::Async).ok());
}

TEST(AlsaSoundOutputTest, WithoutADeviceNothingBlocks) {
  AlsaSoundOutput output(QByteArrayLiteral("lumaset_no_such_device"));
  EXPECT_FALSE(output.DevicePresent());
  EXPECT_FALSE(output.Play(Silence(2000), PlayMode::Wait).ok());
  EXPECT_FALSE(output.IsPlaying());
  EXPECT_TRUE(output.Play(Silence(2000), PlayMode::Async).ok());
  output.Stop();
}

}  // namespace
}  // namespace lumaset
