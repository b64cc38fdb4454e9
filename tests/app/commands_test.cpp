#include "app/commands.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>

#include <functional>
#include <utility>
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
  commands.Wire(u"mnuFileSave", [] {});
  commands.SetEnabled(u"mnuFileSave", false);
  commands.SetBusy(true);
  commands.Item(u"mnuFileNew")->trigger();
  commands.ButtonClick(u"New");
  commands.Item(u"mnuHelpContents")->trigger();
  EXPECT_EQ(std::pair(newPages, helps), std::pair(0, 1));
  // The others show off; what the work switches meanwhile waits for its end.
  EXPECT_FALSE(commands.Button(u"New")->isEnabled());
  commands.SetEnabled(u"mnuFileSave", true);
  EXPECT_FALSE(commands.Item(u"mnuFileSave")->isEnabled());
  commands.SetBusy(false);
  EXPECT_TRUE(commands.Item(u"mnuFileSave")->isEnabled());
  commands.Button(u"New")->trigger();
  EXPECT_EQ(newPages, 1);
}

// A check clicked while its command waits for pictures still being added
// shows the click, and the command, when it runs, does what the last click
// asked for: two clicks meanwhile leave it as it was.
TEST(CommandSetTest, WhatWaitsForAdditionsAndWhatDoesNot) {
  QMainWindow window;
  CommandSet commands(&window);
  bool reduce = false;
  commands.WireCheck(u"mnuFileEmailReduce", [&] { return reduce; }, [&] { reduce = !reduce; });
  std::vector<std::function<void()>> waiting;
  commands.SetGate([&](std::function<void()> command) { waiting.push_back(std::move(command)); });
  QAction* check = commands.Item(u"mnuFileEmailReduce");
  const auto runWaiting = [&] {
    for (const auto& command : std::exchange(waiting, {})) command();
  };
  check->trigger();
  EXPECT_TRUE(check->isChecked()) << "the click snapped back while its command waits";
  runWaiting();
  EXPECT_TRUE(reduce);
  EXPECT_TRUE(check->isChecked());
  check->trigger();
  check->trigger();
  runWaiting();
  EXPECT_TRUE(reduce) << "two clicks while waiting turned it off";
  EXPECT_TRUE(check->isChecked());

  // A command of the selected thumbnail acts on it as it is selected now,
  // while a page command waits.
  int deleted = 0, newPages = 0;
  commands.Wire(u"mnuFileOptionsDelete", [&] { ++deleted; });
  commands.Wire(u"mnuFileNew", [&] { ++newPages; });
  commands.Item(u"mnuFileOptionsDelete")->trigger();
  commands.Item(u"mnuFileNew")->trigger();
  EXPECT_EQ(std::pair(deleted, newPages), std::pair(1, 0));
  runWaiting();
  EXPECT_EQ(newPages, 1);
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
