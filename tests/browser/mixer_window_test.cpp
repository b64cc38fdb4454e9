#include "browser/mixer_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "components/settings_store.h"
#include "fake_mixer_device.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

TEST(MixerLineTest, AnExactNameWinsElseTheLastLineContainingTheSource) {
  const QStringList lines = {"Master", "PCM", "Synth", "Synth Capture", "Headphone", "Headphone 1"};
  struct Case { const char* source; int current, expected; };
  for (const Case& c : {Case{"Synth", 0, 2}, Case{"Headphone", 0, 4}, Case{"Capture", 0, 3}, Case{"phone", 1, 5},
                        Case{"synth", 1, 1} /* letter case counts */, Case{"Line In", 5, 5}}) {
    EXPECT_EQ(MatchMixerLine(lines, c.source, c.current), c.expected) << c.source;
  }
  EXPECT_EQ(MatchMixerLine({}, "Wave", 0), 0);
}

class MixerWindowTest : public ::testing::Test {
 protected:
  std::unique_ptr<MixerWindow> Open(const QString& source) {
    auto window = std::make_unique<MixerWindow>(std::make_unique<test::FakeMixerDevice>(state), QPoint(1500, 3000),
                                                source, [this](QStringView name) { sounds.append(name.toString()); });
    window->show();
    return window;
  }

  std::shared_ptr<test::FakeMixerState> state = std::make_shared<test::FakeMixerState>();
  QStringList sounds;
};

TEST_F(MixerWindowTest, LoadFindsTheSourceLineAndShowsItsValues) {
  state->lines = {{"Master", 80}, {"Wave", 30, true}, {"Wave 2", 60, false, false, true}};
  auto window = Open(QStringLiteral("Wav"));
  EXPECT_EQ(window->pos(), QPoint(100, 200));  // twips at 96 DPI
  EXPECT_EQ(window->lineBox()->count(), 3);
  EXPECT_EQ(test::AccessibilityProblems(window.get()), QStringList());
  EXPECT_EQ(window->lineBox()->currentText(), "Wave 2");
  EXPECT_EQ(window->OptMixerSource(), "Wave 2");
  EXPECT_EQ(state->current, 2);
  EXPECT_FALSE(window->volumeSlider()->isEnabled()) << "that line has no volume";
  EXPECT_TRUE(window->muteBox()->isEnabled());
  EXPECT_EQ(sounds, QStringList{"RestoreUp"});

  // A source that no line contains leaves the mixer's line as it was.
  state->current = 0;
  auto other = Open(QStringLiteral("Line In"));
  EXPECT_EQ(other->lineBox()->currentText(), "Master");
  EXPECT_EQ(other->volumeSlider()->value(), 80);
  EXPECT_TRUE(other->volumeSlider()->isEnabled());
}

TEST_F(MixerWindowTest, UserChangesReachTheMixerAtOnce) {
  state->lines = {{"Master", 80}, {"PCM", 40}};
  auto window = Open(QStringLiteral("Master"));
  QSlider* slider = window->volumeSlider();
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);  // a keyboard move, not only a drag
  EXPECT_TRUE(state->volumeWrites == std::vector<int>{81});
  EXPECT_TRUE(state->lines[0].volume == 81);
  QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() - 2, slider->height() / 2));
  EXPECT_FALSE(window->timerActive());
  window->MixerGet();  // a refresh while the slider is held does not move it back
  QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() - 2, slider->height() / 2));
  ASSERT_TRUE(test::RunUntil([&] { return state->volumeWrites.size() == 2; }));
  EXPECT_TRUE(state->volumeWrites.back() == slider->value());
  EXPECT_TRUE(window->timerActive());
  window->muteBox()->click();
  EXPECT_TRUE(state->muteWrites == std::vector<bool>{true});
  EXPECT_TRUE(state->lines[0].muted);
  window->muteBox()->setChecked(false);  // a screen reader's toggle, without a click
  EXPECT_TRUE(state->muteWrites == (std::vector<bool>{true, false}));

  // Choosing a line moves the controls to it before anything else is written.
  window->lineBox()->setCurrentIndex(1);
  emit window->lineBox()->activated(1);
  EXPECT_EQ(window->OptMixerSource(), "PCM");
  EXPECT_EQ(std::pair(state->current, slider->value()), std::pair(1, 40));
  EXPECT_FALSE(window->muteBox()->isChecked());
}

TEST_F(MixerWindowTest, TheSixthIdleTickClosesAndActivityPutsItOff) {
  state->lines = {{"Master"}};
  auto window = Open(QStringLiteral("Master"));
  for (int i = 0; i < 5; ++i) window->tmrMix_Timer();
  QTest::mouseMove(window.get(), QPoint(5, 5));
  EXPECT_EQ(window->idleTicks(), 0);
  for (int i = 0; i < 5; ++i) window->tmrMix_Timer();
  EXPECT_TRUE(window->isVisible());
  window->tmrMix_Timer();
  EXPECT_TRUE(!window->isVisible());
  EXPECT_TRUE(state->released);
  EXPECT_EQ(sounds, (QStringList{"RestoreUp", "RestoreDown"}));
}

TEST_F(MixerWindowTest, WithoutAMixerEverythingIsOffUntilItTurnsUp) {
  state->name.clear();
  state->lines = {{"Master", 20}};
  auto window = Open(QStringLiteral("Master"));
  window->MixerGet();
  EXPECT_FALSE(window->timerActive());
  EXPECT_FALSE(window->lineBox()->isEnabled());
  EXPECT_FALSE(window->volumeSlider()->isEnabled());
  EXPECT_FALSE(window->muteBox()->isEnabled());
  state->name = QStringLiteral("Late Card");
  window->MixerGet();
  EXPECT_TRUE(window->timerActive());
  EXPECT_TRUE(window->volumeSlider()->value() == 20);
  window->closeButton()->click();
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MixerWindowTest, ShowMixerWindowReadsAndStoresTheSetting) {
  state->lines = {{"Master"}, {"Synth"}};
  SettingsStore store("Lumaset", test::freshFolder("mixer") + "/settings.ini");
  // The stored source wins over the one asked for; the line shown is stored.
  for (const auto& [stored, shown] : {std::pair{"", "Synth"}, {"Mas", "Master"}}) {
    if (*stored) store.writeSetting("MixerSource", stored);
    QTimer::singleShot(0, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    ShowMixerWindow(nullptr, store, "Synth", QPoint(0, 0), std::make_unique<test::FakeMixerDevice>(state), {});
    EXPECT_EQ(store.readSetting("MixerSource", "none"), shown);
  }
}

}  // namespace
}  // namespace lumaset
