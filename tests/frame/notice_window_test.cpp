#include "frame/notice_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <vector>

#include "frame/about_box.h"
#include "frame/units.h"

#include "support/accessibility.h"

namespace lumaset {
namespace {

TEST(CentredOver, CentresOverTheOwnerAndKeepsTheWholeWindowOnTheScreen) {
  const QRect screen(0, 0, 1000, 800);
  const QSize size(200, 100);
  const struct { QRect owner; QPoint expected; } cases[] = {
      {{100, 100, 600, 400}, {300, 250}},
      {{900, 100, 600, 400}, {800, 250}},  // near the right edge: ends at it
      {{100, 700, 600, 400}, {300, 700}},  // near the bottom edge
      {{-700, -500, 600, 400}, {0, 0}},    // off the left and top
  };
  for (const auto& c : cases)
    EXPECT_EQ(CentredOver(c.owner, size, screen), c.expected) << c.owner.x();

  // A second screen to the right, and a window taller than its screen,
  // which keeps its title bar on it.
  EXPECT_EQ(CentredOver({1900, 0, 400, 300}, size, {1000, 0, 1000, 800}), QPoint(1800, 100));
  EXPECT_EQ(CentredOver({0, 0, 400, 300}, QSize(200, 900), screen), QPoint(100, 0));
}

class NoticeWindowTest : public ::testing::Test {
 protected:
  QMainWindow main_;
  std::vector<std::pair<QString, EventSoundPlay>> played_;
  EventSoundPlayer player_ = [this](QStringView name, EventSoundPlay how) {
    played_.push_back({name.toString(), how});
  };
};

// A large desktop font lowers the frame's top border with its title: the
// notice's first line stays below the title, and the button below the frame.
TEST_F(NoticeWindowTest, FirstLineStaysInsideItsFrameAtLargeFonts) {
  const QFont kept = QApplication::font();
  for (const int points : {13, 16}) {
    QFont font = kept;
    font.setPointSize(points);
    QApplication::setFont(font);
    NoticeWindow notice(&main_, AppIdentity{}, {});
    const auto* frame = notice.findChild<QGroupBox*>("Frame1");
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
    EXPECT_GT(notice.findChild<QLabel*>("Label1")->y(), title.bottom()) << points << " points";
    EXPECT_GT(notice.findChild<QPushButton*>("Command1")->y(), frame->geometry().bottom()) << points << " points";
  }
  QApplication::setFont(kept);
}

TEST_F(NoticeWindowTest, NamesTheProgramAndFollowsALongNameWithFortyTwipGaps) {
  AppIdentity identity;
  NoticeWindow shortName(&main_, identity, {});
  EXPECT_EQ(test::AccessibilityProblems(&shortName), QStringList());
  EXPECT_EQ(shortName.windowTitle(), "Tavrin Lumaset Software Notice");
  EXPECT_EQ(shortName.findChild<QLabel*>("labName")->text(), "Lumaset");
  EXPECT_EQ(shortName.findChild<QLabel*>("labRelNo")->text(), ProgramVersion().toString());

  identity.name = "Lumaset with a much longer name";
  identity.releaseNo = "2.5 beta";
  NoticeWindow longName(&main_, identity, {});
  const auto* name = longName.findChild<QLabel*>("labName");
  const auto* phrase = longName.findChild<QLabel*>("Label3");
  const auto* number = longName.findChild<QLabel*>("labRelNo");
  const int gap = TwipsToPixels(40, TwipsPerPixelOf(&main_));
  EXPECT_EQ(phrase->x(), name->x() + name->width() + gap);
  EXPECT_EQ(number->x(), phrase->x() + phrase->width() + gap);
  EXPECT_EQ(name->x(), shortName.findChild<QLabel*>("labName")->x());
  EXPECT_GT(phrase->x(), shortName.findChild<QLabel*>("Label3")->x());
  EXPECT_EQ(number->text(), "2.5 beta");
  EXPECT_TRUE(longName.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(NoticeWindowTest, PlaysItsWindowSoundsOnceEachAndNoneWithoutAPlayer) {
  {
    NoticeWindow notice(&main_, AppIdentity{}, player_);
    notice.show();
    notice.findChild<QPushButton*>("Command1")->click();
    EXPECT_FALSE(notice.isVisible());
    notice.close();
  }
  const decltype(played_) expected = {{"RestoreUp", EventSoundPlay::NoWait}, {"Maximize", EventSoundPlay::NoWait},
                                      {"Minimize", EventSoundPlay::NoWait}, {"RestoreDown", EventSoundPlay::Wait}};
  EXPECT_EQ(played_, expected);

  NoticeWindow silent(nullptr, AppIdentity{}, {});
  silent.show();
  silent.findChild<QPushButton*>("Command1")->click();
  EXPECT_FALSE(silent.isVisible());
}

TEST_F(NoticeWindowTest, StaysOnTheScreenWhenTheMainWindowReachesPastItsEdge) {
  const QRect screen = ScreenAreaOf(&main_);
  main_.setGeometry(screen.right() - 100, screen.bottom() - 80, 500, 400);
  main_.show();
  NoticeWindow notice(&main_, AppIdentity{}, {});
  notice.show();
  EXPECT_EQ(notice.frameGeometry().bottomRight(), screen.bottomRight());
}

}  // namespace
}  // namespace lumaset
