#include "effects/effect_commands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <functional>
#include <memory>

#include "components/imaging/pixels/color_reduce.h"
#include "components/imaging/pixels/pixel_effects.h"
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

  host_.answers = {QStringLiteral("0.2"), QStringLiteral("12345678"), QStringLiteral("0.35")};
  for (int run = 0; run < 4; ++run) commands_.mnuToolEffectsIntensify_Click();
  // A remembered level is offered as a person would type it, never with an exponent.
  EXPECT_EQ(host_.offered.mid(host_.offered.size() - 4),
            (QStringList{QStringLiteral("0.2"), QStringLiteral("0.2"), QStringLiteral("12345678"), QStringLiteral("0.35")}));
  EXPECT_EQ(host_.undoDepth, 4);
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
  EXPECT_TRUE(host_.calls.contains(QStringLiteral("ChoosePalette(/)")));  // the folder is missing
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

TEST_F(EffectCommandsTest, PalettesComeWithTheProgramAndTheDialogOpensInTheirFolder) {
  const QString folder = QStringLiteral(LUMASET_BUILD_DATA_DIR "/Palettes");
  EffectCommands commands(host_, folder);
  commands.mnuToolEffectsPalette_Click();
  EXPECT_TRUE(host_.calls.contains(QStringLiteral("ChoosePalette(%1)").arg(folder)));

  // Entries the reader must give for each palette, scaled from 0..63.
  const struct {
    const char* file;
    int entry;
    QRgb color;
  } entries[] = {{"Gray.pal", 0, qRgb(0, 0, 0)},           {"Gray.pal", 255, qRgb(252, 252, 252)},
                 {"Color Cube.pal", 1, qRgb(0, 0, 52)},     {"Color Cube.pal", 36, qRgb(52, 0, 0)},
                 {"Color Cube.pal", 215, qRgb(252, 252, 252)}, {"Sepia.pal", 0, qRgb(0, 0, 0)},
                 {"Sepia.pal", 255, qRgb(252, 228, 188)}};
  for (const auto& each : entries) {
    const Result<Palette256> palette = ReadPaletteFile(folder + QLatin1Char('/') + QLatin1String(each.file));
    ASSERT_TRUE(palette.ok()) << each.file << " " << palette.error().toStdString();
    EXPECT_EQ((*palette)[static_cast<std::size_t>(each.entry)] | 0xFF000000U, each.color) << each.file << each.entry;
  }
}

// Every one-step effect command, run through the menu's path on a ramp
// picture that is neither square nor symmetric, against the pixel rule it
// stands for: a command wired to another effect, a turn the wrong way, width
// and height exchanged or a kernel of the wrong sign all show.
TEST_F(EffectCommandsTest, EachCommandAppliesItsOwnPixelRule) {
  QImage ramp(36, 22, QImage::Format_RGB32);
  for (int y = 0; y < ramp.height(); ++y) {
    for (int x = 0; x < ramp.width(); ++x) ramp.setPixel(x, y, qRgb(x * 7, y * 11, (x * y * 3) % 256));
  }
  for (int y = 3; y < 7; ++y) {
    for (int x = 5; x < 10; ++x) ramp.setPixel(x, y, qRgb(255, 255, 255));
  }
  ASSERT_TRUE(ramp.save(original_, "PNG"));
  Imaging loaded;
  ASSERT_TRUE(loaded.LoadFile(original_).ok());
  const QImage source = loaded.GetPicture().convertToFormat(QImage::Format_RGB32);
  const QString gray = QStringLiteral(LUMASET_BUILD_DATA_DIR "/Palettes/Gray.pal");
  const Result<Palette256> grays = ReadPaletteFile(gray);
  ASSERT_TRUE(grays.ok());
  constexpr double q = 0.25;
  using Rule = std::function<Result<QImage>(const QImage&, PixelJob&)>;
  const struct {
    const char* name;
    void (EffectCommands::*command)();
    const char* answer;
    Rule rule;
  } cases[] = {
      {"blur", &EffectCommands::mnuToolEffectsBlur_Click, nullptr,
       [](const QImage& in, PixelJob& job) { return Blur(in, 100, job); }},
      {"grayscale", &EffectCommands::mnuToolEffectsColorGray_Click, nullptr, &Grayscale},
      {"sharpen", &EffectCommands::mnuToolEffectsSharpen_Click, nullptr,
       [](const QImage& in, PixelJob& job) { return Sharpen(in, 20, job); }},
      {"mirror", &EffectCommands::mnuToolMirror_Click, nullptr, &Mirror},
      {"rotate", &EffectCommands::mnuToolRotate_Click, nullptr,
       [](const QImage& in, PixelJob& job) { return QuarterTurn(in, -1, job); }},
      {"dither", &EffectCommands::mnuToolEffectsDither_Click, "16",
       [](const QImage& in, PixelJob& job) { return Dither(in, 16, job); }},
      {"intensify", &EffectCommands::mnuToolEffectsIntensify_Click, "1.5",
       [](const QImage& in, PixelJob& job) { return Filter(in, {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}}, -1.5, job); }},
      {"mosaic", &EffectCommands::mnuToolEffectsMosaic_Click, "4",
       [](const QImage& in, PixelJob& job) { return Mosaic(in, 4, 4, 7, job); }},
      {"patchwork", &EffectCommands::mnuToolEffectsPatchwork_Click, "3",
       [](const QImage& in, PixelJob& job) -> Result<QImage> {
         Result<QImage> blue = Mosaic(in, 9, 9, 4, job);
         if (!blue) return blue;
         Result<QImage> green = Mosaic(*blue, 3, 9, 2, job);
         if (!green) return green;
         return Mosaic(*green, 9, 3, 1, job);
       }},
      {"edge", &EffectCommands::mnuToolEffectsEdge_Click, nullptr,
       [](const QImage& in, PixelJob& job) { return Filter(in, {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}}, 0.25, job); }},
      {"soften", &EffectCommands::mnuToolEffectsSoften_Click, nullptr,
       [](const QImage& in, PixelJob& job) { return FilterMasked(in, {{{q, q, q}, {q, -1, q}, {q, q, q}}}, 1, 7, 0, job); }},
      {"palette", &EffectCommands::mnuToolEffectsPalette_Click, nullptr,
       [&grays](const QImage& in, PixelJob& job) {
         return DiffuseToPalette(in, std::vector<QRgb>(grays->begin(), grays->end()), job);
       }},
  };
  host_.paletteChoice = gray;
  host_.imgx.UndoLevels(1);  // keeps the result from before the page's shrinking
  const PicBox box = host_.page.box(4);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host_.page.pic(4).file = original_;
    host_.page.box(4) = box;
    if (c.answer) host_.answers = {QString::fromLatin1(c.answer)};
    (commands_.*c.command)();
    ASSERT_NE(host_.page.pic(4).file, original_) << "nothing committed";
    PixelJob job;
    const Result<QImage> expected = c.rule(source, job);
    ASSERT_TRUE(expected.ok());
    const QImage wanted = expected->convertToFormat(QImage::Format_RGB32);
    // The picture as committed, before it was shrunk for the page.
    ASSERT_TRUE(host_.imgx.UndoLast().ok());
    EXPECT_EQ(host_.imgx.GetPicture().convertToFormat(QImage::Format_RGB32), wanted);
    EXPECT_EQ(QImage(host_.page.pic(4).file).size(), wanted.size());
    EXPECT_EQ(host_.shown.width() > host_.shown.height(), wanted.width() > wanted.height());
    // Only a quarter turn turns the picture's box on the page.
    const bool turned = wanted.width() != source.width();
    EXPECT_EQ(host_.page.box(4).width, turned ? box.height : box.width);
    EXPECT_EQ(host_.page.box(4).height, turned ? box.width : box.height);
  }
  // A counter-clockwise quarter turn, checked by hand: the top right corner
  // comes to the top left.
  EXPECT_EQ(QuarterTurn(source, -1, *std::make_unique<PixelJob>())->pixel(0, 0), source.pixel(35, 0));
  EXPECT_TRUE(host_.errors.isEmpty());
}

}  // namespace
}  // namespace lumaset
