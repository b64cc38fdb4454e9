#include "layout/page_commands.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include <QTimer>

#include "layout/fake_page_host.h"
#include "support/slow_reader.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

class PageCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::LetterPage(page);
    ASSERT_TRUE(test::WritePicture(photo, 800, 600));
  }

  // Asks for the addition; AddAt also waits until it has been made.
  void Ask(const QString& file, float x, float y, float width = 3000, float height = 2250) {
    std::tie(page.edit().downX, page.edit().downY, page.edit().addWidth, page.edit().addHeight) =
        std::tuple(x, y, width, height);
    page.edit().dragAdd = true;
    commands.PicAdd(file);
  }
  void AddAt(const QString& file, float x, float y, float width = 3000, float height = 2250) {
    Ask(file, x, y, width, height);
    commands.FinishAdding();
  }

  PageModel page;
  test::FakePageHost host{page};
  PageUndo undo{page, host};
  PageCommands commands{page, undo, host};
  QString folder = test::freshFolder("commands") + "/", photo = folder + "photo.jpg";
};

TEST_F(PageCommandsTest, AnAddedPictureIsCentredRecordedAndSelected) {
  AddAt(photo, 4250, 0);
  ASSERT_EQ(page.picLast(), 0);
  EXPECT_EQ(page.box(0), (PicBox{2750, -1125, 3000, 2250, true})) << "not kept on the page";
  EXPECT_FLOAT_EQ(page.pic(0).topFrac, -1125.0f / 11000);
  EXPECT_EQ(page.pic(0).file, photo);
  EXPECT_EQ(host.pictures[0].size(), QSize(350, 263));
  EXPECT_FALSE(page.edit().dragAdd);
  EXPECT_EQ(host.sounds, std::vector<Sound>{Sound::Add});
  EXPECT_EQ(host.status, QStringLiteral("Layout contains 1 picture(s)"));
  EXPECT_EQ(host.caption, QStringLiteral("Layout Preview: (unsaved)"));
  EXPECT_TRUE(host.on("mnuFileSaveAs"));
  EXPECT_TRUE(host.on("Save"));
  EXPECT_TRUE(host.on("mnuFilePrint")) << "printing never waits for a printer";
  EXPECT_TRUE(host.on("Print"));
  EXPECT_FALSE(host.on("mnuFileSave"));
  EXPECT_FALSE(host.enabled.value(QStringLiteral("Properties"), true));
  EXPECT_EQ(host.thumbClears, 1);
  EXPECT_EQ(undo.stack().entry(1).kind, UndoKind::Add);
  EXPECT_EQ(host.undoTip, QStringLiteral("Undo last picture addition"));
  EXPECT_EQ(host.clicked, std::vector<int>{0});

  const QString tall = folder + "tall.png";
  ASSERT_TRUE(test::WritePicture(tall, 200, 400));
  AddAt(tall, 4000, 5000);
  EXPECT_EQ(host.pictures[1].size(), QSize(175, 350));
  EXPECT_EQ(page.pic(1).zRank, 1) << "the newest picture lies in front";
  // A photo whose EXIF data turns it a quarter stands upright on the page.
  const QString turned = folder + "turned.jpg";
  ASSERT_TRUE(test::WriteOrientedJpeg(turned, test::Quarters(800, 600), 6));
  AddAt(turned, 4000, 5000);
  EXPECT_EQ(host.pictures[2].size(), QSize(263, 350));
  EXPECT_EQ(test::CornerColours(host.pictures[2]), "BRWG");
}

TEST_F(PageCommandsTest, AnUnreadableFileOrABoxOfNoSizeIsReportedAndNeverAdded) {
  ASSERT_TRUE(test::WriteText(folder + "damaged.jpg", "not a picture"));
  AddAt(photo, 4000, 4000);
  // Neither can a picture of no width or height be added.
  struct Case { QString file; float width, height; };
  for (const Case& c : {Case{folder + "missing.jpg", 3000, 2250}, Case{folder + "damaged.jpg", 3000, 2250},
                        Case{photo, 0, 2250}, Case{photo, 3000, 0}}) {
    const QString& file = c.file;
    AddAt(file, 1000, 1000, c.width, c.height);
    ASSERT_EQ(host.errors.size(), 1);
    EXPECT_TRUE(host.errors.takeLast().startsWith(QStringLiteral("Preview error: "))) << file.toStdString();
    EXPECT_EQ(std::tuple(page.picLast(), page.picCount(), undo.stack().top()), std::tuple(0, 1, 1));
  }
}

TEST_F(PageCommandsTest, ThePageTakes201AdditionsUntilItIsCleared) {
  page.setPicLast(199);
  AddAt(photo, 4000, 4000);
  EXPECT_EQ(page.picLast(), 200);
  AddAt(photo, 4000, 4000);
  EXPECT_EQ(host.notes, QStringList{QStringLiteral("Maximum number of images on page reached. Start a new page")});
  EXPECT_EQ(std::tuple(page.picLast(), page.picCount(), undo.stack().top()), std::tuple(200, 1, 1));
  EXPECT_EQ(host.sounds.back(), Sound::Add);
  EXPECT_FALSE(page.edit().dragAdd);
  page.Clear();
  AddAt(photo, 4000, 4000);
  EXPECT_EQ(page.picLast(), 0);
}

TEST_F(PageCommandsTest, StackingKeepsRanksDistinctAcrossGaps) {
  // Slots 0, 1 and 3 on the page with ranks 0, 1 and 3; slot 2 deleted.
  struct Case { bool front; int slot; std::array<std::int16_t, 4> ranks; };
  for (const Case& c : {Case{true, 0, {3, 0, -1, 2}}, Case{false, 3, {1, 2, -1, 0}}}) {
    page.Clear();
    for (int i = 0; i < 4; ++i) test::PlacePicture(page, 0, 0, 1000, 1000);
    page.pic(2).zRank = -1;
    page.setPicCur(c.slot);
    c.front ? commands.PlaceFront() : commands.PlaceBack();
    EXPECT_EQ((std::array{page.pic(0).zRank, page.pic(1).zRank, page.pic(2).zRank, page.pic(3).zRank}), c.ranks);
    EXPECT_TRUE(host.toolSlot == c.slot);
    EXPECT_TRUE(host.sounds.back() == Sound::Tool);
    EXPECT_EQ(host.undoTip, QStringLiteral("Undo last picture placement"));
  }
}

TEST_F(PageCommandsTest, CutThenPasteAddsTheCopyAtItsSizeWhereThePopupOpened) {
  AddAt(photo, 4000, 4000, 2000, 1500);
  AddAt(photo, 6000, 6000);
  page.setPicCur(0);
  commands.Cut();
  EXPECT_EQ(host.sounds.back(), Sound::Delete);
  EXPECT_EQ(std::tuple(page.pic(0).zRank, page.picCur(), host.newPages), std::tuple(-1, -1, 0));
  EXPECT_EQ(host.status, QStringLiteral("Layout contains 1 picture(s)"));
  for (int slot : {2, 3}) {
    std::tie(page.edit().downX, page.edit().downY) = std::pair(1000.f, 2000.f);
    commands.Paste();
    commands.FinishAdding();
    EXPECT_EQ(page.box(slot), (PicBox{0, 1250, 2000, 1500, true}));
  }
  EXPECT_EQ(page.picCount(), 3);
  EXPECT_FALSE(page.box(0).visible) << "the cut picture's own slot stays hidden";
}

TEST_F(PageCommandsTest, CommandsWithoutAPictureOnThePageDoNothing) {
  AddAt(photo, 4000, 4000);
  page.pic(0).zRank = -1;  // still PicCur, but no longer on the page
  const std::size_t sounds = host.sounds.size();
  for (auto command : {&PageCommands::Copy, &PageCommands::Cut, &PageCommands::Delete, &PageCommands::PlaceFront,
                       &PageCommands::PlaceBack, &PageCommands::Paste}) {
    (commands.*command)();
  }
  EXPECT_TRUE(host.sounds.size() == sounds);
  EXPECT_TRUE(undo.stack().top() == 1);
}

// Pictures are read away from the window: additions asked for while one is
// read come onto the page in their order, each in its own box; the window's
// timers go on while a slow picture is read, and Esc drops what is not yet
// on the page and stops the reading (an Esc from before stops nothing).
TEST_F(PageCommandsTest, ASlowPictureLeavesTheWindowRunningAndEscDropsWhatIsNotOnThePage) {
  const QString tall = folder + "tall.png";
  ASSERT_TRUE(test::WritePicture(tall, 200, 400));
  Ask(photo, 2000, 2000);
  Ask(tall, 5000, 5000, 1000, 2000);
  EXPECT_TRUE(commands.adding());
  commands.FinishAdding();
  EXPECT_EQ(std::pair(page.pic(0).file, page.pic(1).file), std::pair(photo, tall));
  EXPECT_EQ(page.box(1), (PicBox{4500, 4000, 1000, 2000, true}));
  EXPECT_EQ(host.clicked, (std::vector<int>{0, 1}));

  const test::SlowReader slow;
  commands.setReader(slow.reader());
  host.abort = true;
  Ask(photo, 1000, 1000);
  EXPECT_FALSE(host.abort) << "an Esc from before is taken when the first addition starts";
  Ask(tall, 1000, 1000);
  bool ticked = false;
  QTimer::singleShot(0, [&ticked] { ticked = true; });
  EXPECT_TRUE(test::RunUntil([&] { return ticked && slow.reading(); })) << "a timer while the picture is read";
  EXPECT_TRUE(commands.adding());
  host.abort = true;
  EXPECT_TRUE(test::RunUntil([&] { return !commands.adding(); })) << "the additions' end after Esc";
  EXPECT_TRUE(test::RunUntil([&] { return slow.returned(); })) << "the stopped read's end";
  EXPECT_TRUE(slow.stopped());
  EXPECT_EQ(std::tuple(page.picLast(), page.picCount(), undo.stack().top()), std::tuple(1, 2, 2));
  EXPECT_TRUE(host.errors.isEmpty());

  // Esc, then at once an addition and a command: the Esc stops the read
  // asked for before it, not those asked for after it.
  test::SlowReader held;
  commands.setReader(held.reader());
  Ask(photo, 1000, 1000);
  ASSERT_TRUE(test::RunUntil([&] { return held.reading(); })) << "the read at the shut gate";
  host.abort = true;
  Ask(tall, 6000, 6000, 1000, 2000);
  std::optional<bool> missed;
  commands.AfterAdding([&] { missed = commands.AdditionMissed(); });
  ASSERT_TRUE(test::RunUntil([&] { return held.stopped(); })) << "the read that Esc stopped";
  held.open();
  ASSERT_TRUE(test::RunUntil([&] { return missed.has_value(); })) << "the command after the addition";
  EXPECT_EQ(missed, false);
  EXPECT_EQ(std::pair(page.picLast(), page.pic(2).file), std::pair(2, tall));
}

// A command asked for while additions are read runs on the page as it is
// once they are all on it, in the order asked; one that asks for another
// addition holds those after it until that one is placed too, and one that
// it asks for runs at once; Esc drops the additions and lets the commands
// run, still in their order. The thumbnail is taken as soon as the addition
// is asked for. A command learns whether the addition it waited for missed
// the page (dropped, or unreadable).
TEST_F(PageCommandsTest, CommandsWaitForTheAdditionsAskedForBeforeThem) {
  test::SlowReader gate;
  commands.setReader(gate.reader());
  std::vector<std::tuple<char, int, bool>> ran;  // each command, the slots used and whether its addition missed
  const auto note = [&](char name) {
    return [&ran, this, name] { ran.emplace_back(name, page.picLast(), commands.AdditionMissed()); };
  };
  Ask(photo, 2000, 2000);
  EXPECT_EQ(host.thumbClears, 1) << "the thumbnail is taken before its picture is read";
  Ask(photo, 4000, 4000);
  commands.AfterAdding(note('a'));
  commands.AfterAdding([&] {
    commands.AfterAdding(note('b'));
    Ask(photo, 6000, 6000);
  });
  commands.AfterAdding(note('c'));
  ASSERT_TRUE(test::RunUntil([&] { return gate.reading(); })) << "the first read at the gate";
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(page.picLast(), -1);
  gate.open();
  ASSERT_TRUE(test::RunUntil([&] { return ran.size() == 3; })) << "the three commands";
  EXPECT_EQ(ran, (std::vector<std::tuple<char, int, bool>>{{'a', 1, false}, {'b', 1, false}, {'c', 2, false}}));
  EXPECT_EQ(host.clicked, (std::vector<int>{0, 1, 2}));
  bool now = false;
  commands.AfterAdding([&] { now = true; });
  EXPECT_TRUE(now) << "with nothing being added a command runs at once";

  ASSERT_TRUE(test::WriteText(folder + "damaged.png", "not a picture"));
  Ask(folder + "damaged.png", 1000, 1000);
  commands.AfterAdding(note('d'));
  commands.FinishAdding();
  EXPECT_EQ(ran.back(), std::tuple('d', 2, true));
  host.errors.clear();

  // Esc drops the additions, also one asked for after a waiting command,
  // but runs the command; one asked for before those run comes after them.
  const test::SlowReader shut;
  commands.setReader(shut.reader());
  Ask(photo, 1000, 1000);
  commands.AfterAdding(note('e'));
  Ask(photo, 3000, 3000);
  ASSERT_TRUE(test::RunUntil([&] { return shut.reading(); })) << "the read at the shut gate";
  commands.StopAdding();
  commands.AfterAdding(note('f'));
  ASSERT_TRUE(test::RunUntil([&] { return ran.size() == 6; })) << "the commands after Esc";
  EXPECT_EQ(std::vector(ran.end() - 2, ran.end()),
            (std::vector<std::tuple<char, int, bool>>{{'e', 2, true}, {'f', 2, true}}));
  EXPECT_FALSE(commands.adding()) << "the one asked for after the command is not read";
  EXPECT_TRUE(host.errors.isEmpty());
}

}  // namespace
}  // namespace lumaset
