#include "app/commands.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>

#include <functional>
#include <vector>

#include "frame/tool_enable.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

TEST(CommandSetTest, ToolbarButtonsAreNamedAndOnlyWiredCommandsCanRun) {
  QMainWindow window;
  CommandSet commands(&window);
  int buttons = 0;
  for (QAction* action : commands.toolBar()->actions()) {
    if (action->isSeparator()) continue;
    ++buttons;
    EXPECT_FALSE(action->toolTip().isEmpty());
    EXPECT_EQ(action->text(), action->toolTip()) << "an icon button is named by its tooltip";
    EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
  }
  EXPECT_EQ(buttons, 23);
  EXPECT_EQ(commands.toolBar()->actions().size(), 23 + 10);

  int exits = 0;
  commands.Wire(u"mnuFileExit", [&] { ++exits; });
  EXPECT_TRUE(commands.Item(u"mnuFileExit")->isEnabled());
  EXPECT_TRUE(commands.Button(u"Exit")->isEnabled());
  commands.Button(u"Exit")->trigger();
  commands.Item(u"mnuFileExit")->trigger();
  EXPECT_EQ(exits, 2);

  // Switching on a command that nobody carries out yet changes nothing.
  commands.SetEnabled(u"Crop", true);
  commands.SetEnabled(u"mnuToolCrop", true);
  EXPECT_FALSE(commands.Button(u"Crop")->isEnabled());
  EXPECT_FALSE(commands.Item(u"mnuToolCrop")->isEnabled());

  // A button runs its own command and no other; a key of no button runs nothing.
  int crops = 0;
  commands.Wire(u"mnuToolCrop", [&] { ++crops; });
  commands.ButtonClick(u"Crop");
  EXPECT_EQ(crops, 1);
  EXPECT_EQ(exits, 2);
  commands.ButtonClick(u"NoSuchKey");
  EXPECT_EQ(crops, 1);
  EXPECT_EQ(exits, 2);
}

TEST(CommandSetTest, SaveButtonSavesUnderTheTitleOnlyWhenSaveIsOnAndTheLayoutHasOne) {
  QMainWindow window;
  CommandSet commands(&window);
  QString ran;
  commands.Wire(u"mnuFileSave", [&] { ran = QStringLiteral("Save"); });
  commands.Wire(u"mnuFileSaveAs", [&] { ran = QStringLiteral("SaveAs"); });
  QString title;
  commands.SetLayoutTitle([&] { return title; });

  struct Case { bool saveEnabled; const char *title, *expected; };
  for (const Case& c : {Case{true, "", "SaveAs"}, Case{false, "Trip.lsf", "SaveAs"}, Case{true, "Trip.lsf", "Save"}}) {
    commands.SetEnabled(u"mnuFileSave", c.saveEnabled);
    title = QString::fromLatin1(c.title);
    ran.clear();
    commands.ButtonClick(u"Save");
    EXPECT_EQ(ran, QString::fromLatin1(c.expected)) << c.saveEnabled << " " << c.title;
  }
}

TEST(CommandSetTest, LongWorkLetsOnlyCommandsThatLeaveThePageAloneRun) {
  QMainWindow window;
  CommandSet commands(&window);
  int newPages = 0, helps = 0;
  commands.Wire(u"mnuFileNew", [&] { ++newPages; });
  commands.Wire(u"mnuHelpContents", [&] { ++helps; });
  commands.SetBusy(true);
  commands.Item(u"mnuFileNew")->trigger();
  commands.Button(u"New")->trigger();
  commands.Item(u"mnuHelpContents")->trigger();
  EXPECT_EQ(std::pair(newPages, helps), std::pair(0, 1));
  commands.SetBusy(false);
  commands.Button(u"New")->trigger();
  EXPECT_EQ(newPages, 1);
}

// While long work runs, what may not run shows disabled; what the work
// switches meanwhile takes its state when the work ends. Commands that may
// have to wait go through the gate, help and Exit never do.
TEST(CommandSetTest, LongWorkShowsItsCommandsOffAndTheGateHoldsThePagesCommands) {
  QMainWindow window;
  CommandSet commands(&window);
  int runs = 0;
  for (const char16_t* name :
       {u"mnuFileNew", u"mnuFilePrint", u"mnuFileSave", u"mnuFileSaveAs", u"mnuHelpContents", u"mnuFileExit"}) {
    commands.Wire(QStringView(name), [&runs] { ++runs; });
  }
  commands.SetEnabled(u"mnuFileSave", false);
  commands.SetBusy(true);
  EXPECT_FALSE(commands.Button(u"New")->isEnabled());
  EXPECT_FALSE(commands.Item(u"mnuFilePrint")->isEnabled());
  EXPECT_TRUE(commands.Item(u"mnuHelpContents")->isEnabled());
  EXPECT_TRUE(commands.Button(u"Exit")->isEnabled());
  commands.SetEnabled(u"mnuFileSave", true);
  commands.SetEnabled(u"Print", false);
  EXPECT_FALSE(commands.Item(u"mnuFileSave")->isEnabled()) << "held until the work ends";
  commands.SetBusy(false);
  EXPECT_TRUE(commands.Item(u"mnuFileSave")->isEnabled());
  EXPECT_FALSE(commands.Button(u"Print")->isEnabled());
  EXPECT_TRUE(commands.Item(u"mnuFilePrint")->isEnabled());
  EXPECT_TRUE(commands.Button(u"New")->isEnabled());

  std::vector<std::function<void()>> held;
  commands.SetGate([&held](std::function<void()> command) { held.push_back(std::move(command)); });
  commands.Button(u"New")->trigger();
  commands.ButtonClick(u"Save");
  commands.Item(u"mnuHelpContents")->trigger();
  commands.Button(u"Exit")->trigger();
  EXPECT_EQ(std::pair(runs, held.size()), std::pair(2, std::size_t{2}));
  for (const auto& command : held) command();
  EXPECT_EQ(runs, 4);
}

TEST(ToolEnableTest, FrontAndBackFollowThePicturesPlaceInTheStack) {
  struct Case { int zRank, picLast; bool front, back; };
  for (const Case& c :
       {Case{0, 0, false, false}, Case{1, 3, true, true}, Case{3, 3, false, true}, Case{0, 3, true, false}}) {
    const ToolState state = ToolEnable(PicturePlace{c.zRank, c.picLast, {0, 0, 100, 100}});
    EXPECT_TRUE(state.tools);
    EXPECT_EQ(std::pair(state.front, state.back), std::pair(c.front, c.back)) << c.zRank << "/" << c.picLast;
  }
}

TEST(ToolEnableTest, HandlesSitAtTheCornersAndOffPutsEverythingAway) {
  const ToolState on = ToolEnable(PicturePlace{0, 0, {0, 0, 1000, 600}});
  ASSERT_TRUE(on.frame);
  EXPECT_EQ(*on.frame, (TwipsRect{0, 0, 1000, 600}));
  EXPECT_EQ(QList<QPoint>(on.handles.begin(), on.handles.end()),
            (QList<QPoint>{{-50, -50}, {950, -50}, {-50, 550}, {950, 550}})) << "handles may lie partly off the page";
  EXPECT_FALSE(on.leaveCropMode);

  const ToolState off = ToolEnable(std::nullopt);
  EXPECT_FALSE(off.frame);
  EXPECT_FALSE(off.tools);
  EXPECT_FALSE(off.front);
  EXPECT_FALSE(off.back);
  EXPECT_TRUE(off.leaveCropMode);
  EXPECT_TRUE(off.clearMouseStates);
}

}  // namespace
}  // namespace lumaset
