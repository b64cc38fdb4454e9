#include "effects/effect_commands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include "support/test_support.h"
#include "fake_effect_host.h"

namespace lumaset {
namespace {

class EffectCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 40 x 20: red on the left half, blue on the right.
    original_ = PlacePhoto(host_, {40, 20}, Qt::red, Qt::blue, PicBox{1440, 1440, 2880, 1440, true});
    originalBytes_ = test::ReadBytes(original_);
  }

  // The page and the user's file exactly as they were.
  void ExpectNothingChanged() {
    EXPECT_EQ(host_.page.pic(4).file, original_);
    EXPECT_EQ(host_.page.edit().tempCount, 6);
    EXPECT_EQ(host_.undoDepth, 0);
    EXPECT_TRUE(QDir(host_.temp).isEmpty());
    EXPECT_EQ(test::ReadBytes(original_), originalBytes_);
  }

  FakeEffectHost host_;
  EffectCommands commands_{host_, QStringLiteral("/palettes")};
  QString original_;
  QByteArray originalBytes_;
};

TEST_F(EffectCommandsTest, CommitWritesTheNextTemporaryPictureAndLeavesTheUsersFileAlone) {
  commands_.mnuToolMirror_Click();
  const QString target = host_.temp + QStringLiteral("4-07.jpg");
  EXPECT_EQ(host_.page.pic(4).file, target);
  EXPECT_EQ(host_.page.edit().tempCount, 7);
  EXPECT_EQ(test::ReadBytes(original_), originalBytes_);
  EXPECT_EQ(host_.calls, (QStringList{QStringLiteral("ToolEnable(0,4)"),
                                      QStringLiteral("UndoAdd(Mirror,Undo mirror)"),
                                      QStringLiteral("SetPicture(4)"), QStringLiteral("Click(4)")}));
  EXPECT_TRUE(host_.errors.isEmpty());
  // Mirrored: blue now on the left, at full size in the file and reduced on the page.
  const QImage saved(target);
  ASSERT_EQ(saved.size(), QSize(40, 20));
  EXPECT_GT(qBlue(saved.pixel(2, 10)), 200);
  EXPECT_GT(qRed(saved.pixel(37, 10)), 200);
  EXPECT_EQ(host_.shown.width(), 50);
  // Mirror leaves the status bar alone; the window is busy, then given back.
  EXPECT_EQ(host_.statuses, QStringList{QStringLiteral("Ready")});
  EXPECT_EQ(host_.busy, (std::vector<bool>{true, false}));

  // A second effect builds on the first one's picture and a titled page offers Save.
  host_.page.edit().layoutTitle = QStringLiteral("Trip");
  commands_.mnuToolEffectsBlur_Click();
  EXPECT_EQ(host_.page.pic(4).file, host_.temp + QStringLiteral("4-08.jpg"));
  EXPECT_EQ(host_.undoDepth, 2);
  EXPECT_TRUE(host_.statuses.contains(QStringLiteral("Applying effect....")));
  EXPECT_EQ(host_.status, u"Ready");
  EXPECT_TRUE(host_.calls.contains(QStringLiteral("EnableSave")));
}

TEST_F(EffectCommandsTest, FailuresAndCancelsLeaveThePageAsItWas) {
  // Nothing selected: nothing happens at all.
  host_.page.setPicCur(-1);
  commands_.mnuToolEffectsSharpen_Click();
  EXPECT_TRUE(host_.calls.isEmpty());
  host_.page.setPicCur(4);

  // A Cancel in the progress window stops the work and drops it without a word.
  host_.imgx.setProgressHandler([](int, bool& cancel) { cancel = true; });
  commands_.mnuToolEffectsBlur_Click();
  ExpectNothingChanged();
  EXPECT_TRUE(host_.errors.isEmpty());
  host_.imgx.setProgressHandler({});

  // A picture that cannot be read: nothing is saved from what the imaging
  // object held before, and the cause is given.
  QFile::remove(original_);
  commands_.mnuToolEffectsEdge_Click();
  EXPECT_EQ(host_.page.pic(4).file, original_);
  EXPECT_EQ(host_.undoDepth, 0);
  EXPECT_TRUE(QDir(host_.temp).isEmpty());
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(host_.errors[0].startsWith(u"Edge enhance error: ")) << host_.errors[0].toStdString();
}

TEST_F(EffectCommandsTest, AFailedSaveKeepsTheRecordAndTheUndoStack) {
  // The temporary folder is gone and cannot be made again: the JPEG cannot be written.
  QDir(host_.temp).removeRecursively();
  ASSERT_TRUE(test::WriteText(host_.temp.chopped(1), "in the way"));
  commands_.mnuToolEffectsColorGray_Click();
  ExpectNothingChanged();
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(host_.errors[0].startsWith(u"Grayscale error: "));
  EXPECT_TRUE(host_.errors[0].endsWith(u": Not a directory")) << "the cause is given";
  EXPECT_EQ(host_.busy.back(), false);
}

TEST_F(EffectCommandsTest, RotateTurnsTheBoxAboutItsTopLeftCornerAndRewritesTheFractions) {
  // A box 2 inches wide and 1 high at (1 in, 1 in) on a page that is not square.
  commands_.mnuToolRotate_Click();
  EXPECT_EQ(host_.page.box(4), (PicBox{1440, 1440, 1440, 2880, true}));
  const PagePic& pic = host_.page.pic(4);
  EXPECT_FLOAT_EQ(pic.leftFrac, 1440.0f / 8000);
  EXPECT_FLOAT_EQ(pic.widthFrac, 1440.0f / 8000);
  EXPECT_FLOAT_EQ(pic.heightFrac, 2880.0f / 10000);
  EXPECT_EQ(QImage(pic.file).size(), QSize(20, 40));
  EXPECT_TRUE(host_.statuses.contains(QStringLiteral("Rotating ....")));
  EXPECT_TRUE(host_.calls.contains(QStringLiteral("UndoAdd(Rotate,Undo last picture rotation)")));
  // Four turns bring the box back.
  for (int turn = 0; turn < 3; ++turn) commands_.mnuToolRotate_Click();
  EXPECT_EQ(host_.page.box(4), (PicBox{1440, 1440, 2880, 1440, true}));
  EXPECT_EQ(host_.undoDepth, 4);
}

TEST(EffectPromptTest, AnswersAreReadRoundedAndBounded) {
  struct Case { const char* text; int floor, cap; double remembered; bool accepted; };
  const Case cases[] = {
      {"2.5", 2, 256, 2, true},
      {"3.5", 2, 256, 4, true},   {"abc", 1, 1 << 30, 0, false}, {"", 1, 1 << 30, 0, false},
      {"12 blocks", 1, 1 << 30, 12, true},
  };
  for (const Case& c : cases) {
    const Result<PromptedNumber> read = ReadWholeAnswer(QString::fromLatin1(c.text), c.floor, c.cap);
    ASSERT_TRUE(read.ok()) << c.text;
    EXPECT_EQ(read->remembered, c.remembered) << c.text;
    EXPECT_EQ(read->accepted, c.accepted) << c.text;
  }
  EXPECT_FALSE(ReadWholeAnswer(QStringLiteral("3000000000"), 1, 1 << 30).ok()) << "overflow";
  EXPECT_TRUE(ReadIntensity(QStringLiteral("0.2"))->accepted);
  EXPECT_FALSE(ReadIntensity(QStringLiteral("0.19"))->accepted);
  EXPECT_TRUE(ReadIntensity(QStringLiteral("5"))->accepted);
}

TEST_F(EffectCommandsTest, PromptsOfferTheFloorThenTheLastAnswer) {
  host_.answers = {QStringLiteral("300"), QStringLiteral("1"), std::nullopt};
  commands_.mnuToolEffectsDither_Click();
  EXPECT_EQ(commands_.ditherColors(), 256);
  EXPECT_EQ(host_.page.pic(4).file, host_.temp + QStringLiteral("4-07.jpg"));
  commands_.mnuToolEffectsDither_Click();  // "1" is refused: the step goes, silently
  commands_.mnuToolEffectsDither_Click();  // cancelled
  EXPECT_EQ(host_.offered, (QStringList{QStringLiteral("2"), QStringLiteral("256"), QStringLiteral("2")}));
  EXPECT_EQ(host_.prompts[0], u"Lumaset Dither Effect|Enter number of colors (>2)");
  EXPECT_EQ(host_.events.count(QStringLiteral("SystemQuestion")), 3);
  EXPECT_EQ(host_.undoDepth, 1);
  EXPECT_TRUE(host_.errors.isEmpty());

  // Patchwork's tripled block must fit 32 bits.
  host_.answers = {QStringLiteral("1000000000")};
  commands_.mnuToolEffectsPatchwork_Click();
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_EQ(host_.errors[0], u"Patchwork error: Overflow");
  EXPECT_EQ(host_.undoDepth, 1);

  host_.answers = {QStringLiteral("0.2")};
  commands_.mnuToolEffectsIntensify_Click();
  EXPECT_EQ(host_.offered.back(), u"0.2");
  EXPECT_EQ(host_.undoDepth, 2);
}

TEST_F(EffectCommandsTest, BlockPromptsTakeOneAndMore) {
  for (void (EffectCommands::*command)() :
       {&EffectCommands::mnuToolEffectsMosaic_Click, &EffectCommands::mnuToolEffectsPatchwork_Click}) {
    host_.answers = {QStringLiteral("0"), QStringLiteral("-3"), QStringLiteral("1")};
    host_.offered.clear();
    for (int run = 0; run < 3; ++run) (commands_.*command)();
    EXPECT_EQ(host_.offered, (QStringList{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1")}));
  }
  EXPECT_EQ(host_.undoDepth, 2) << "only the answers of 1 were taken";
  EXPECT_TRUE(host_.errors.isEmpty());
}

// Stripes that each pass of a patchwork of 8 either keeps or averages: red
// in bands eight rows high, green and blue in bands eight columns wide.
TEST_F(EffectCommandsTest, PatchworkPassesAreTallGreenAndWideRed) {
  QImage stripes(48, 24, QImage::Format_RGB32);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 48; ++x) {
      const int across = (x / 8) % 2 != 0 ? 240 : 0;
      stripes.setPixel(x, y, qRgb((y / 8) % 2 != 0 ? 240 : 0, across, across));
    }
  ASSERT_TRUE(stripes.save(original_, "PNG"));
  host_.answers = {QStringLiteral("8")};
  commands_.mnuToolEffectsPatchwork_Click();
  const QImage saved(host_.page.pic(4).file);
  ASSERT_EQ(saved.size(), QSize(48, 24));
  // Blue: the mean of each 24 x 24 tile, 80 on the left and 160 on the right;
  // green in 8 x 24 tiles and red in 24 x 8 tiles keep their stripes.
  struct Sample { int x, y, red, green, blue; };
  for (const Sample s : {Sample{4, 4, 0, 0, 80}, Sample{12, 12, 240, 240, 80}, Sample{28, 20, 0, 240, 160},
                         Sample{36, 12, 240, 0, 160}}) {
    const QRgb pixel = saved.pixel(s.x, s.y);
    EXPECT_NEAR(qRed(pixel), s.red, 24) << s.x << "," << s.y;
    EXPECT_NEAR(qGreen(pixel), s.green, 24) << s.x << "," << s.y;
    EXPECT_NEAR(qBlue(pixel), s.blue, 24) << s.x << "," << s.y;
  }
}

TEST_F(EffectCommandsTest, APaletteIsChosenAndCheckedBeforeAnythingChanges) {
  // Cancelled: the CLOSE sound, no message, nothing changed.
  commands_.mnuToolEffectsPalette_Click();
  ExpectNothingChanged();
  EXPECT_TRUE(host_.calls.contains(QStringLiteral("ChoosePalette(/palettes)")));
  EXPECT_EQ(host_.sounds, (QList<int>{static_cast<int>(Sound::Open), static_cast<int>(Sound::Close)}));

  // One byte too many: refused by name, nothing changed.
  const QString bad = test::freshFolder(QStringLiteral("palettes")) + QStringLiteral("/bad.pal");
  ASSERT_TRUE(test::WriteText(bad, QByteArray(769, 1)));
  host_.paletteChoice = bad;
  commands_.mnuToolEffectsPalette_Click();
  ExpectNothingChanged();
  EXPECT_EQ(host_.notices, QStringList{bad + QStringLiteral(" is not a valid palette file.")});

  // A palette of black and white only: every pixel becomes one of them.
  QByteArray entries(768, 0);
  for (int i = 3; i < 768; ++i) entries[i] = 63;
  const QString good = QFileInfo(bad).path() + QStringLiteral("/bw.pal");
  ASSERT_TRUE(test::WriteText(good, entries));
  host_.paletteChoice = good;
  commands_.mnuToolEffectsPalette_Click();
  const QImage saved(host_.page.pic(4).file);
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(host_.undoDepth, 1);
}

}  // namespace
}  // namespace lumaset
