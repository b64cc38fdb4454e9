#include "components/mixer_device.h"

#include <gtest/gtest.h>

namespace lumaset {
namespace {

// A device that is not there behaves as no mixer at all; nothing is written
// to the computer's real mixer by any test.
TEST(AlsaMixerTest, AMissingDeviceIsNoMixer) {
  AlsaMixerDevice mixer("lumaset-no-such-device");
  for (const bool answer : {mixer.ReadyCheck1(), mixer.ReadyCheck2(), mixer.HasVolume(), mixer.HasMute(), mixer.Mute()})
    EXPECT_FALSE(answer);
  EXPECT_EQ(mixer.MixerName(), QString());
  EXPECT_EQ(mixer.LineName(0), QString());
  EXPECT_EQ(std::pair(mixer.LineCount(), mixer.Volume()), std::pair(0, MixerDevice::kVolumeMinimum));
  EXPECT_FALSE(mixer.SetVolume(50).ok());
  EXPECT_FALSE(mixer.SetMute(true).ok());
}

TEST(AlsaMixerTest, TheDefaultDeviceAnswersConsistently) {
  AlsaMixerDevice mixer;
  const QString name = mixer.MixerName();
  EXPECT_EQ(name.isEmpty(), mixer.LineCount() == 0);
  if (mixer.LineCount() == 0) GTEST_SKIP() << "no sound card: the window's tests cover the mixer through a fake";
  for (int line = 0; line < mixer.LineCount(); ++line) {
    EXPECT_FALSE(mixer.LineName(line).isEmpty());
    mixer.SetCurrentLine(line);
    const int volume = mixer.Volume();
    EXPECT_GE(volume, MixerDevice::kVolumeMinimum);
    EXPECT_LE(volume, MixerDevice::kVolumeMaximum);
  }
}

}  // namespace
}  // namespace lumaset
