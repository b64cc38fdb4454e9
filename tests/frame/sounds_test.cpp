#include "frame/sounds.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>

#include "components/settings_store.h"
#include "frame/settings.h"
#include "support/fake_sound_output.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using std::chrono::milliseconds;
using test::FakeClock;
using test::FakeSoundOutput;

const QString kSourceData = QStringLiteral(LUMASET_DATA_SOURCE_DIR "/");

WaveClip Clip(const QString& file) { return *LoadWaveFile(kSourceData + "sounds/" + file); }

TEST(SoundClipsTest, EveryClipIsAShortDistinctMonoWave) {
  const QStringList names = Sounds::AllFileNames();
  EXPECT_EQ(names.size(), kSoundCount + 6);
  EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size());
  QSet<QByteArray> seen;
  for (const QString& name : names) {
    const Result<WaveClip> clip = LoadWaveFile(kSourceData + "sounds/" + name);
    ASSERT_TRUE(clip.ok()) << clip.error().toStdString();
    EXPECT_EQ(std::tuple(clip->channels, clip->sampleRate, clip->bitsPerSample), std::tuple(1, 22050, 16))
        << name.toStdString();
    EXPECT_TRUE(clip->duration() >= milliseconds(50)) << name.toStdString();
    EXPECT_TRUE(clip->duration() <= milliseconds(700)) << name.toStdString();
    EXPECT_FALSE(seen.contains(clip->samples)) << name.toStdString() << " repeats another clip";
    seen.insert(clip->samples);
  }
  // The build copies them into the data folder the program reads.
  const QString buildData = qEnvironmentVariable("LUMASET_DATA_DIR");
  for (const QString& name : names) EXPECT_TRUE(QFile::exists(buildData + "/sounds/" + name)) << name.toStdString();
}

class SoundsTest : public ::testing::Test {
 protected:
  // Loads the sounds as start-up does, with "GenSound" stored as `genSound`
  // (never written when null).
  Status Start(bool device = true, const QString& genSound = {},
               const QString& dataFolder = kSourceData) {
    auto fake = std::make_unique<FakeSoundOutput>(clock, device);
    output = fake.get();
    sounds = std::make_unique<Sounds>(std::move(fake), dataFolder, options);
    SettingsStore store("Lumaset", test::freshFolder("sounds") + "/settings.ini");
    if (!genSound.isNull()) store.writeSetting(QStringLiteral("GenSound"), genSound);
    return sounds->Load(store);
  }

  QStringList Played() const {
    QStringList names;
    for (const auto& played : output->played) names.append(played.name);
    return names;
  }

  // Moves the clock past whatever plays now.
  void Idle() { clock.advance(milliseconds(1000)); }

  FakeClock clock;
  Options options;
  FakeSoundOutput* output = nullptr;
  std::unique_ptr<Sounds> sounds;
};

TEST_F(SoundsTest, GenSoundIsReadOnlyWhenADeviceExists) {
  const struct { bool device; QString stored; bool genSound; } cases[] = {
      {true, {}, true}, {true, "False", false}, {true, "true", true}, {true, "sometimes", true}, {false, "True", false},
  };
  for (const auto& c : cases) {
    options.genSound = !c.genSound;
    EXPECT_TRUE(Start(c.device, c.stored).ok());
    EXPECT_EQ(options.genSound, c.genSound) << c.stored.toStdString();
    EXPECT_EQ(sounds->DeviceExists(), c.device);
  }
}

TEST_F(SoundsTest, ASoundAskedForWhileAnotherPlaysIsSkipped) {
  ASSERT_TRUE(Start().ok());
  sounds->Play(Sound::Open);
  clock.advance(milliseconds(10));
  sounds->Play(Sound::Close);
  sounds->Play(Sound::Exit, Wait::Yes);  // skipped too, and returns at once
  EXPECT_EQ(clock.now, milliseconds(10));
  EXPECT_EQ(Played(), QStringList{"open.wav"});

  clock.advance(Clip("open.wav").duration());
  sounds->Play(Sound::Close);
  EXPECT_EQ(Played(), (QStringList{"open.wav", "close.wav"}));
  EXPECT_EQ(output->stops, 0);  // nothing was ever cut off

  // Only a cut ends the playing sound, and starts its own at once.
  sounds->PlayEvent(u"RestoreUp", Wait::No, Cut::Yes);
  EXPECT_EQ(output->stops, 1);
  EXPECT_EQ(output->played.back().name, "restore-up.wav");
  EXPECT_EQ(output->played.back().at, clock.now);
}

TEST_F(SoundsTest, TheCallerWaitsOnlyWhenItAsks) {
  ASSERT_TRUE(Start().ok());
  sounds->Play(Sound::Exit, Wait::Yes);
  EXPECT_EQ(clock.now, Clip("exit.wav").duration());
  EXPECT_TRUE(output->played.back().mode == PlayMode::Wait);
  EXPECT_TRUE(!output->IsPlaying());

  sounds->Play(Sound::Add);  // right after a wait: nothing is in the way
  EXPECT_TRUE(output->played.back().name == "add.wav");
  EXPECT_TRUE(output->played.back().mode == PlayMode::Async);
  EXPECT_EQ(clock.now, Clip("exit.wav").duration());
}

TEST_F(SoundsTest, GenSoundGatesTheClipsAndThePromptButNotTheEvents) {
  ASSERT_TRUE(Start(true, "False").ok());
  for (int i = 0; i < kSoundCount; ++i) sounds->Play(static_cast<Sound>(i));
  sounds->PlayPrompt();
  EXPECT_TRUE(Played().isEmpty());

  sounds->PlayEvent(u"Maximize");
  Idle();
  sounds->PlaySlideShow();  // follows SSSound, on by default
  Idle();
  options.ssSound = false;
  sounds->PlaySlideShow();
  options.genSound = true;  // the preferences turn sounds on; the next play follows
  sounds->PlayPrompt();
  EXPECT_EQ(Played(), (QStringList{"maximize.wav", "show.wav", "question.wav"}));
}

TEST_F(SoundsTest, EventNamesPlayTheirOwnClipsAndUnknownOnesTheDefault) {
  ASSERT_TRUE(Start().ok());
  const std::pair<QStringView, const char*> cases[] = {
      {u"RestoreUp", "restore-up.wav"}, {u"RestoreDown", "restore-down.wav"}, {u"Minimize", "minimize.wav"},
      {u"Maximize", "maximize.wav"},    {u"SystemQuestion", "question.wav"},    {u"restoreup", "default.wav"},
      {u"", "default.wav"},
  };
  for (const auto& [name, file] : cases) {
    EXPECT_EQ(Sounds::EventFileName(name), QLatin1String(file));
    sounds->PlayEvent(name, Wait::Yes);
    EXPECT_EQ(output->played.back().name, QLatin1String(file));
  }
}

TEST_F(SoundsTest, AnUnreadableClipStaysSilentAndIsNamed) {
  const QString data = test::freshFolder("data") + "/";
  QDir().mkpath(data + "sounds");
  for (const QString& name : Sounds::AllFileNames())
    if (name != "open.wav") QFile::copy(kSourceData + "sounds/" + name, data + "sounds/" + name);
  QFile::remove(data + "sounds/close.wav");
  ASSERT_TRUE(test::WriteText(data + "sounds/close.wav", "not a wave"));

  const Status loaded = Start(true, {}, data);
  ASSERT_FALSE(loaded.ok());
  EXPECT_TRUE(loaded.error().contains("open.wav"));
  EXPECT_TRUE(loaded.error().contains("close.wav"));
  EXPECT_TRUE(options.genSound);
  sounds->Play(Sound::Open);
  sounds->Play(Sound::Close);
  sounds->Play(Sound::Tool);
  EXPECT_EQ(Played(), QStringList{"tool.wav"});
}

// The real output on a machine without sound: start-up and shut-down go on.
TEST(SoundsWithoutDeviceTest, StartAndExitNeitherPlayNorBlock) {
  Options options;
  Sounds sounds(std::make_unique<AlsaSoundOutput>(QByteArrayLiteral("lumaset_no_such_device")),
                kSourceData, options);
  SettingsStore store("Lumaset", test::freshFolder("nodevice") + "/settings.ini");
  EXPECT_TRUE(sounds.Load(store).ok());
  options.genSound = true;  // even when switched on
  sounds.Play(Sound::Start);
  sounds.Play(Sound::Exit, Wait::Yes);
  sounds.PlaySlideShow();
  sounds.PlayPrompt();
  sounds.PlayEvent(u"RestoreUp", Wait::Yes, Cut::Yes);
  EXPECT_FALSE(sounds.output().IsPlaying());
}

}  // namespace
}  // namespace lumaset
