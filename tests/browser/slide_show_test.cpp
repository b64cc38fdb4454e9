#include "browser/slide_show.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include <QTimer>

#include "browser/thumb_table.h"
#include "components/settings_store.h"
#include "fake_midi_player.h"
#include "fake_mixer_device.h"
#include "frame/settings.h"
#include "support/slow_reader.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

TEST(SlideRulesTest, SlideRectFollowsThePictureShape) {
  struct Case { int w, h, sw, sh; TwipsRect expected; };
  const Case cases[] = {
      {300, 600, 12000, 9000, {3863, 400, 4275, 8550}},                // tall: 450 shorter, 400 down
      {800, 400, 12000, 9000, {50, 1525, 11900, 5950}},                // wide: 100 narrower, centred
      {800, 600, 12000, 9000, {300, 400, 11400, 8550}},                // wide but too tall: fitted as tall
      {500, 500, 12000, 9000, {1725, 400, 8550, 8550}},                // square counts as wide, refitted
      {0, 0, 12000, 9000, {1725, 400, 8550, 8550}},                    // no size: square, no division by 0
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SlideRect(c.w, c.h, c.sw, c.sh), c.expected) << c.w << "x" << c.h;
  }
}

TEST(SlideRulesTest, IndexStepsWrapBothWays) {
  // After the last comes the first; an index left from a larger table starts again.
  EXPECT_EQ((std::vector{NextSlideIndex(0, 2), NextSlideIndex(1, 2), NextSlideIndex(7, 3), NextSlideIndex(0, 1)}),
            (std::vector{1, 0, 0, 0}));
  // SlideIndex points past the slide on show; Back gives the one before it: on the first the last, on the
  // last the one before (not the same again); an index from a larger table counts as 0.
  EXPECT_EQ((std::vector{BackSlideIndex(1, 5), BackSlideIndex(3, 5), BackSlideIndex(0, 5), BackSlideIndex(0, 2),
                         BackSlideIndex(0, 1), BackSlideIndex(9, 3), BackSlideIndex(0, 0)}),
            (std::vector{4, 1, 3, 0, 0, 1, 0}));
  EXPECT_EQ(std::pair(SlideIntervalMs(0), SlideIntervalMs(45)), std::pair(100, 45000));
}

TEST(SlideRulesTest, FadeLevelsAndBorders) {
  const std::vector<FadeStep> in = FadeInSteps();
  ASSERT_EQ(in.size(), 9U);
  EXPECT_EQ(in.front(), (FadeStep{-80, false}));
  EXPECT_EQ(in[5], (FadeStep{-30, false}));
  EXPECT_EQ(in[6], (FadeStep{-20, true}));
  EXPECT_EQ(in.back(), (FadeStep{0, true}));
  const std::vector<FadeStep> out = FadeOutSteps();
  ASSERT_EQ(out.size(), 10U);
  EXPECT_EQ(out[2], (FadeStep{-30, true}));
  EXPECT_EQ(out[3], (FadeStep{-40, false}));
  EXPECT_EQ(out.back(), (FadeStep{-100, false}));
}

TEST(MidiPoolTest, ListsMidThenRmiAndPicksTheLastListedLast) {
  const QString folder = test::freshFolder(QStringLiteral("midi")) + QLatin1Char('/');
  for (const char* name : {"b.mid", "A.MID", "c.rmi", "notes.txt", "d.Mid"})
    test::WriteText(folder + QLatin1String(name), "x");
  QDir(folder).mkdir(QStringLiteral("folder.mid"));
  const QStringList listing = MidiPool::Listing(folder);
  EXPECT_EQ(listing, (QStringList{folder + "A.MID", folder + "b.mid", folder + "d.Mid", folder + "c.rmi"}));

  MidiPool pool;
  EXPECT_EQ(pool.Pick(folder, 0.99), folder + "d.Mid");  // 0.99 x 3, cut: the third of four
  EXPECT_EQ(pool.Pick(folder, 0.0), folder + "A.MID");
  EXPECT_EQ(pool.Pick(folder, 0.99), folder + "b.mid");
  EXPECT_EQ(pool.Pick(folder, 0.5), folder + "c.rmi");   // alone at last
  EXPECT_EQ(pool.size(), 0);
  EXPECT_EQ(pool.Pick(folder, 0.0), folder + "A.MID");   // refilled
  EXPECT_EQ(MidiPool().Pick(test::freshFolder(QStringLiteral("none")) + "/", 0.3), std::nullopt);
}

class SlideShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = test::freshFolder(QStringLiteral("slides")) + QLatin1Char('/');
    store = std::make_unique<SettingsStore>(QStringLiteral("Lumaset"), folder + "settings.ini");
    options.ssFadeIn = options.ssFadeOut = options.ssMidi = options.ssMouse = false;
    options.ssAuto = options.ssKey = true;
    options.ssTime = 3;
    options.disableScreenSaver = false;
  }

  // A picture on disk and in the table; `size` false leaves it out of the table's facts.
  void Add(const QString& name, int width, int height, bool picture = true, bool size = true) {
    if (picture) test::WritePicture(folder + name, width, height);
    else test::WriteText(folder + name, "not a picture");
    paths.append(folder + name);
    facts.push_back({size ? width : 0, size ? height : 0, 24, 0, false});
  }

  // The show started; `settle` waits until its first slide has been read.
  std::unique_ptr<SlideShowWindow> Open(bool settle = true) {
    table.start(paths);
    for (int i = 0; i < static_cast<int>(facts.size()); ++i) table.setFacts(i, facts[std::size_t(i)]);
    SlideShowContext context{table, options, midiFolder, *store, memory, QStringLiteral("Lumaset"),
                             [this] { ++showSounds; },
                             [this](QStringView name) { events.append(name.toString()); },
                             [this](bool active) { saver.push_back(active); },
                             [this] { return std::make_unique<test::FakeMidiPlayer>(midi); },
                             [this] { return std::make_unique<test::FakeMixerDevice>(mixer); },
                             [this] { return draw; },
                             [this](const QString& text) { messages.append(text); },
                             readSlide};
    auto show = std::make_unique<SlideShowWindow>(context);
    QObject::connect(show.get(), &SlideShowWindow::ended, [this] { ++ended; });
    show->Start();
    if (settle) show->FinishLoading();
    return show;
  }

  // The next slide, read and shown.
  static void Next(SlideShowWindow& show) {
    show.Timer1_Timer();
    show.FinishLoading();
  }
  static void Key(SlideShowWindow& show, Qt::Key key) {
    QTest::keyClick(&show, key);
    show.FinishLoading();
  }

  static void RunFade(SlideShowWindow& show) {
    for (int i = 0; i < 20 && show.Fading(); ++i) show.FadeTimer_Timer();
  }

  QString folder;
  QString midiFolder;
  std::unique_ptr<SettingsStore> store;
  Options options;
  ThumbTable table;
  QStringList paths;
  std::vector<ThumbFacts> facts;
  SlideShowMemory memory;
  std::shared_ptr<test::FakeMidiState> midi = std::make_shared<test::FakeMidiState>();
  std::shared_ptr<test::FakeMixerState> mixer = std::make_shared<test::FakeMixerState>();
  double draw = 0.0;
  std::function<Result<QImage>(const QString&, int)> readSlide;
  int showSounds = 0;
  QStringList events;
  std::vector<bool> saver;
  QStringList messages;
  int ended = 0;
};

// A screen reader announces the show as a window with a name.
TEST_F(SlideShowTest, ScreenReadersHearANamedWindow) {
  Add("a.png", 40, 30);
  auto show = Open();
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(show.get());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->role(), QAccessible::Window);
  EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("Slide Show"));
}

TEST_F(SlideShowTest, TwoPicturesAlternateAndTheIndexCarriesToTheNextShow) {
  Add("a.png", 40, 30);
  Add("b.png", 30, 40);
  auto show = Open();
  EXPECT_EQ(show->Caption(), "a.png");
  EXPECT_TRUE(show->CaptionVisible());
  EXPECT_TRUE(show->Timer1Active());
  EXPECT_EQ(show->Timer1Interval(), 3000);
  EXPECT_EQ(saver, std::vector<bool>{false});
  QStringList captions;
  for (int i = 0; i < 3; ++i) {
    Next(*show);
    captions.append(show->Caption());
  }
  EXPECT_EQ(captions, (QStringList{"b.png", "a.png", "b.png"}));
  EXPECT_EQ(showSounds, 4);
  // The upright slide stands inside the window, centred across it.
  const QRect slide = show->SlideGeometry();
  EXPECT_TRUE(show->rect().contains(slide));
  EXPECT_TRUE(slide.height() > slide.width());
  EXPECT_NEAR(slide.center().x(), show->rect().center().x(), 1);
  QTest::keyClick(show.get(), Qt::Key_Escape);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(saver, (std::vector<bool>{false, true}));
  EXPECT_EQ(memory.slideIndex, 0);
  auto again = Open();
  EXPECT_EQ(again->Caption(), "a.png");  // the slide after the last one shown
}

TEST_F(SlideShowTest, UnloadableSlidesAreSkippedAndAShowOfNoneEnds) {
  Add("a.png", 40, 30);
  Add("broken.png", 40, 30, false);
  Add("c.png", 50, 20, true, false);  // the table never learnt its size
  auto show = Open();
  Next(*show);
  EXPECT_EQ(show->Caption(), "c.png");
  EXPECT_GT(show->SlideGeometry().width(), show->SlideGeometry().height());
  QFile::remove(folder + "a.png");
  QFile::remove(folder + "c.png");
  Next(*show);  // nothing loads any more: one round, then the end
  EXPECT_EQ(messages, QStringList{SlideShowWindow::kNothingShown});
  EXPECT_TRUE(ended == 1);
  EXPECT_TRUE(show->Unloaded());

  paths.clear();
  facts.clear();
  messages.clear();
  auto empty = Open();
  EXPECT_EQ(messages, QStringList{SlideShowWindow::kNothingShown});
}

TEST_F(SlideShowTest, FadesStepOnTheirTimerAndStopWithTheShow) {
  options.ssFadeIn = options.ssFadeOut = true;
  Add("a.png", 40, 30);
  Add("b.png", 40, 30);
  auto show = Open();
  EXPECT_TRUE(show->Fading());
  EXPECT_TRUE(!show->CaptionVisible());
  show->FadeTimer_Timer();  // -80: nearly black, flat
  EXPECT_LT(qBlue(show->SlidePicture().pixel(5, 5)), 40);
  EXPECT_FALSE(show->SlideRaised());
  QTest::keyClick(show.get(), Qt::Key_Right);  // keys wait while a fade runs
  EXPECT_EQ(show->Caption(), "a.png");
  RunFade(*show);
  EXPECT_TRUE(!show->Fading());
  EXPECT_TRUE(show->SlideRaised());
  EXPECT_TRUE(show->CaptionVisible());
  EXPECT_EQ(show->SlidePicture().pixel(5, 5), qRgb(40, 120, 200));
  EXPECT_EQ(memory.slideIndex, 1);

  show->Timer1_Timer();  // fade out, then the next slide fades in
  EXPECT_TRUE(show->Fading());
  EXPECT_TRUE(!show->Timer1Active());
  for (int step = 0; step <= 10; ++step) show->FadeTimer_Timer();  // ten levels, then the next slide
  show->FinishLoading();
  EXPECT_EQ(show->Caption(), "b.png");
  EXPECT_TRUE(show->Fading());  // now fading in
  show->FadeTimer_Timer();
  QTest::keyClick(show.get(), Qt::Key_Escape);
  EXPECT_EQ(ended, 1);
  const QImage stopped = show->SlidePicture();
  show->FadeTimer_Timer();
  EXPECT_EQ(show->SlidePicture(), stopped);
}

TEST_F(SlideShowTest, KeysStepBackAndForthOrEndTheShow) {
  for (const char* name : {"a.png", "b.png", "c.png"}) Add(QLatin1String(name), 40, 30);
  options.ssFadeIn = true;  // a key's slide appears without fading in
  auto show = Open();
  RunFade(*show);
  Key(*show, Qt::Key_Down);
  EXPECT_FALSE(show->Fading());
  Key(*show, Qt::Key_Right);
  EXPECT_EQ(show->Caption(), "c.png");
  Key(*show, Qt::Key_Left);  // from the last, back one
  EXPECT_EQ(show->Caption(), "b.png");
  Key(*show, Qt::Key_Up);
  Key(*show, Qt::Key_Up);  // from the first, the last
  EXPECT_EQ(show->Caption(), "c.png");
  Key(*show, Qt::Key_V);  // no music: any other key
  EXPECT_EQ(show->Caption(), "a.png");
  EXPECT_EQ(ended, 0);
  options.ssKey = false;
  Key(*show, Qt::Key_Right);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(show->Caption(), "a.png");
}

TEST_F(SlideShowTest, AClickEndsTheShowAndTheUserSettingKeepsTheScreenSaverAway) {
  Add("a.png", 40, 30);
  options.disableScreenSaver = true;
  options.ssAuto = false;
  auto show = Open();
  EXPECT_FALSE(show->Timer1Active());
  QTest::mouseClick(show.get(), Qt::LeftButton);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(saver, (std::vector<bool>{false, false}));
}

TEST_F(SlideShowTest, MusicPlaysEveryFileOfTheFolderInTurnWhenThereIsADevice) {
  Add("a.png", 40, 30);
  options.ssMidi = true;
  midiFolder = test::freshFolder(QStringLiteral("music")) + QLatin1Char('/');
  test::WriteText(midiFolder + "only.mid", "MThd");
  midi->device = false;
  Open().reset();
  EXPECT_TRUE(midi->played.isEmpty());
  midi->device = true;
  auto show = Open();
  EXPECT_EQ(midi->played, QStringList{midiFolder + "only.mid"});  // a single file plays too
  EXPECT_EQ(memory.midiFile, midiFolder + "only.mid");
  EXPECT_EQ(show->Music()->UpdateInterval(), 500);
  show->MMControl1_StatusUpdate();
  EXPECT_EQ(midi->played.size(), 1);
  test::WriteText(midiFolder + "second.rmi", "RIFF");
  midi->ended = true;
  show->MMControl1_StatusUpdate();  // the pool refills with both
  EXPECT_EQ(midi->played.last(), midiFolder + "only.mid");
  midi->refused.append(midiFolder + "second.rmi");
  midi->ended = true;
  show->MMControl1_StatusUpdate();  // a failure silences the rest of the show
  EXPECT_TRUE(midi->stopped);
  EXPECT_TRUE(show->Music()->UpdateInterval() == 0);
}

TEST_F(SlideShowTest, VOpensTheMixerOverTheShowAndStoresItsLine) {
  Add("a.png", 40, 30);
  options.ssMidi = true;
  mixer->lines = {{QStringLiteral("Master")}, {QStringLiteral("Synth 1")}};
  auto show = Open();
  QString shownLine;
  QTimer::singleShot(0, [&] {
    auto* window = qobject_cast<MixerWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    shownLine = window->lineBox()->currentText();
    window->closeButton()->click();
  });
  QTest::keyClick(show.get(), Qt::Key_V);
  EXPECT_EQ(shownLine, "Synth 1");
  EXPECT_EQ(store->readSetting(QStringLiteral("MixerSource"), "none"), "Synth 1");
  EXPECT_EQ(events, (QStringList{"RestoreUp", "RestoreDown"}));
  EXPECT_EQ(ended, 0);
}

// A slow picture is read away from the window: the window's timers go on
// meanwhile, and Esc ends the show and stops the reading.
TEST_F(SlideShowTest, ASlowSlideLeavesTheWindowRunningAndEscStopsIt) {
  Add("a.png", 40, 30);
  const test::SlowReader slow;
  readSlide = slow.reader();
  auto show = Open(false);
  bool ticked = false;
  QTimer::singleShot(0, [&ticked] { ticked = true; });
  EXPECT_TRUE(test::RunUntil([&] { return ticked && slow.reading(); })) << "a timer while the slide is read";
  EXPECT_TRUE(show->Loading());
  QTest::keyClick(show.get(), Qt::Key_Escape);
  EXPECT_EQ(ended, 1);
  EXPECT_FALSE(show->Loading());
  EXPECT_TRUE(test::RunUntil([&] { return slow.returned(); })) << "the stopped read's end";
  EXPECT_TRUE(slow.stopped());
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_TRUE(show->SlidePicture().isNull());
}

}  // namespace
}  // namespace lumaset
