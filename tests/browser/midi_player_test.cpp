#include "components/midi_player.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <algorithm>

#include "components/sound_output.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

QByteArray Le32(quint32 value) {
  QByteArray bytes(4, '\0');
  qToLittleEndian(value, bytes.data());
  return bytes;
}

// One piano note of a quarter (96 ticks, half a second at the standard tempo).
QByteArray SmallSong() {
  const QByteArray track("\x00\xC0\x00" "\x00\x90\x3C\x64" "\x60\x80\x3C\x00" "\x00\xFF\x2F\x00", 15);
  QByteArray song("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk", 18);
  QByteArray size(4, '\0');
  qToBigEndian(quint32(track.size()), size.data());
  return song + size + track;
}

// The song inside a RIFF MIDI file, behind an odd-sized chunk that is padded.
QByteArray Wrapped(const QByteArray& song, qint64 claimedSize = -1) {
  QByteArray body = "RMID" + QByteArray("LIST") + Le32(5) + QByteArray("INFOx\0", 6);
  body += "data" + Le32(quint32(claimedSize < 0 ? song.size() : claimedSize)) + song;
  return "RIFF" + Le32(quint32(body.size())) + body;
}

TEST(MidiDataTest, StandardMidiInsideEitherForm) {
  const QByteArray song = SmallSong();
  EXPECT_EQ(StandardMidiData(song, "a.mid").value(), song);
  EXPECT_EQ(StandardMidiData(Wrapped(song), "a.rmi").value(), song);
  // A data chunk that claims more than the file holds is cut to what is there.
  EXPECT_EQ(StandardMidiData(Wrapped(song, 1 << 30), "a.rmi").value(), song);
  const QByteArray refused[] = {
      QByteArray(),
      QByteArray("MThd"),                                   // too short for a header
      "RIFF" + Le32(4) + "WAVE",                            // another kind of RIFF
      "RIFF" + Le32(12) + "RMID" + "LIST" + Le32(0),        // no data chunk
      "RIFF" + Le32(12) + "RMID" + "data" + Le32(4) + "abcd",  // data that is not MIDI
      "RIFF" + Le32(12) + "RMID" + "LIST" + Le32(0xFFFFFFF0),  // a chunk size beyond everything
  };
  for (const QByteArray& bytes : refused) {
    const Result<QByteArray> data = StandardMidiData(bytes, "x.rmi");
    ASSERT_FALSE(data.ok()) << bytes.toHex().toStdString();
    EXPECT_EQ(data.error(), "x.rmi is not a MIDI file.");
  }
  EXPECT_TRUE(ReadMidiFile(test::freshFolder("midi") + "/missing.mid").error().contains("missing.mid"));
}

class FluidPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (FluidMidiPlayer::DefaultSoundFont().isEmpty()) GTEST_SKIP() << "no General MIDI sound font installed";
    folder = test::freshFolder(QStringLiteral("fluid")) + QLatin1Char('/');
  }

  // The loudest sample of a rendered WAVE file.
  static int Loudest(const QString& wave) {
    const Result<WaveClip> clip = LoadWaveFile(wave);
    EXPECT_TRUE(clip.ok()) << (clip.ok() ? "" : clip.error().toStdString());
    if (!clip.ok() || clip->bitsPerSample != 16) return 0;
    const auto* samples = reinterpret_cast<const qint16*>(clip->samples.constData());
    int loudest = 0;
    for (qsizetype i = 0; i < clip->samples.size() / 2; ++i) loudest = std::max(loudest, std::abs(int{samples[i]}));
    return loudest;
  }

  QString folder;
};

TEST_F(FluidPlayerTest, RendersMidAndRmiFilesToTheirEnd) {
  test::WriteText(folder + "song.mid", SmallSong());
  test::WriteText(folder + "song.rmi", Wrapped(SmallSong()));
  for (const char* name : {"song.mid", "song.rmi"}) {
    const QString wave = folder + name + ".wav";
    auto player = FluidMidiPlayer::ToFile(wave);
    EXPECT_TRUE(player->DevicePresent());
    ASSERT_TRUE(player->Play(folder + name).ok()) << name;
    EXPECT_FALSE(player->Ended());
    ASSERT_TRUE(player->RenderToEnd(std::chrono::seconds(20)).ok()) << name;
    EXPECT_TRUE(player->Ended()) << name;
    EXPECT_EQ(player->Length(), 96) << name;
    EXPECT_GT(Loudest(wave), 100) << name;
  }
}

TEST_F(FluidPlayerTest, ANewFileStartsFromItsBeginningAndBadFilesAreRefused) {
  test::WriteText(folder + "song.mid", SmallSong());
  test::WriteText(folder + "photo.mid", "\xFF\xD8\xFF\xE0 not music");
  auto player = FluidMidiPlayer::ToFile(folder + "out.wav");
  ASSERT_TRUE(player->Play(folder + "song.mid").ok());
  ASSERT_TRUE(player->RenderToEnd(std::chrono::seconds(20)).ok());
  ASSERT_TRUE(player->Play(folder + "song.mid").ok());
  EXPECT_TRUE(!player->Ended());
  EXPECT_TRUE(player->Position() == 0);
  const Status refused = player->Play(folder + "photo.mid");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error(), folder + "photo.mid is not a MIDI file.");
  player->Stop();
  EXPECT_FALSE(player->Ended());

  FluidMidiPlayer without(folder + "no-such-font.sf2");
  EXPECT_FALSE(without.DevicePresent());
  EXPECT_FALSE(without.Play(folder + "song.mid").ok());
  EXPECT_FALSE(FluidMidiPlayer::ToFile(folder + "x.wav")->RenderToEnd(std::chrono::seconds(1)).ok());
}

TEST(MidiStatusTest, ReportsEveryIntervalUntilStopped) {
  FluidMidiPlayer player(QString{});
  int reports = 0;
  QObject::connect(&player, &MidiPlayer::StatusUpdate, [&] { ++reports; });
  player.SetUpdateInterval(1);
  ASSERT_TRUE(test::RunUntil([&] { return reports >= 2; }));
  player.SetUpdateInterval(0);
  EXPECT_FALSE(player.DevicePresent());  // no sound font: no music, and nothing breaks
}

}  // namespace
}  // namespace lumaset
