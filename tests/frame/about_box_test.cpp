#include "frame/about_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <vector>

#include "components/settings_store.h"
#include "frame/general.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

const QDate kToday(2024, 3, 31);
const QString kReminder = QStringLiteral(
    "Its been over 30 days since you last checked for an update.\r\nDo you wish to do it now?");

QString DaysAgo(int days) { return UpdateReminder::DateText(kToday.addDays(-days)); }

void Press(QWidget* widget) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
}

void Key(QWidget* widget, Qt::Key key) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(UpdateReminder, CountsThirtyDaysFromAReadableDayAndRestartsFromAnUnreadableOne) {
  const struct { const char* stored; bool due; QString storedAfter; } cases[] = {  // stored nullptr: never written
      {nullptr, false, DaysAgo(0)},        {"", false, DaysAgo(0)},
      {"03-01-2024", false, "03-01-2024"},  // 30 days
      {"02-29-2024", true, "02-29-2024"},   // 31 days, over a leap day
      {"1/5/2013", true, "1/5/2013"},      {"13-45-2020", false, DaysAgo(0)},
      {"2024-01-01", false, DaysAgo(0)},   {"yesterday", false, DaysAgo(0)},
      {"12-31-2099", false, DaysAgo(0)},  // from a clock that was wrong
  };
  for (const auto& c : cases) {
    SettingsStore store("Lumaset", test::freshFolder("reminder") + "/s.conf");
    if (c.stored) store.writeSetting("UpdateDate", QString::fromLatin1(c.stored));
    UpdateReminder reminder(store, [] { return kToday; });
    EXPECT_EQ(reminder.Due(), c.due) << (c.stored ? c.stored : "(never)");
    EXPECT_EQ(store.readSetting("UpdateDate", "?"), c.storedAfter)
        << (c.stored ? c.stored : "(never)");
  }
}

TEST(UpdateReminder, ReadsTheSwitchAsANumberAndStoresItAsZeroOrOne) {
  const struct { const char* stored; bool on; const char* after; } cases[] = {
      {nullptr, false, "0"}, {"0", false, "0"}, {"1", true, "1"},   {" 1", true, "1"},
      {"True", true, "1"},   {"2", false, "0"}, {"on", false, "0"},
  };
  for (const auto& c : cases) {
    SettingsStore store("Lumaset", test::freshFolder("switch") + "/s.conf");
    if (c.stored) store.writeSetting("Update", QString::fromLatin1(c.stored));
    UpdateReminder reminder(store, [] { return kToday; });
    EXPECT_EQ(reminder.SwitchOn(), c.stored && QString(c.stored) == "1");
    EXPECT_EQ(reminder.LoadSwitch(), c.on) << (c.stored ? c.stored : "(never)");
    EXPECT_EQ(store.readSetting("Update", "?"), c.after);
    EXPECT_EQ(reminder.SwitchOn(), c.on);
  }
}

TEST(AboutTexts, FormatTheVersionAndTheDay) {
  EXPECT_EQ(VersionText(QVersionNumber(2, 5, 7)), "2.05.0007");
  EXPECT_EQ(VersionText(QVersionNumber(10, 12, 12345)), "10.12.12345");
  EXPECT_EQ(UpdateReminder::DateText(QDate(2013, 1, 5)), "01-05-2013");
  EXPECT_EQ(SplashPosition(QSize(100, 80), QRect(10, 20, 500, 400)), QPoint(210, 60));
}

TEST(SystemInfo, StartsTheFirstProgramFoundOnThePathWithoutAShell) {
  const QString folder = test::freshFolder("path");
  const QByteArray keptPath = qgetenv("PATH");
  qputenv("PATH", folder.toLocal8Bit());
  QStringList started;
  const auto record = [&](const QString& program, const QStringList& arguments) {
    started << program + "|" + arguments.join(' ');
    return true;
  };
  EXPECT_FALSE(StartSystemInfo({}, record)) << "none on the path";
  for (const char* name : {"hardinfo", "kinfocenter"}) {
    const QString program = folder + "/" + name;
    ASSERT_TRUE(test::WriteText(program, "#!/bin/sh\n"));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  EXPECT_TRUE(StartSystemInfo({}, record));
  qputenv("PATH", keptPath);
  EXPECT_EQ(started, QStringList{folder + "/kinfocenter|"}) << "kinfocenter comes before hardinfo";
  EXPECT_FALSE(StartSystemInfo([](const QString&) { return QString("/bin/x"); },
                               [](const QString&, const QStringList&) { return false; }))
      << "a program that will not start counts as none";
}

struct Message {
  QMessageBox::Icon icon;
  QString title;
  QString text;
};

class AboutBoxTest : public ::testing::Test {
 protected:
  AboutBoxTest()
      : store_("Lumaset", test::freshFolder("about") + "/s.conf"),
        service_(store_, AppIdentity{}, &main_) {
    main_.setWindowTitle("Lumaset - Pictures");
    AboutHooks& hooks = service_.hooks();
    hooks.today = [] { return kToday; };
    hooks.sounds = [this](QStringView name, EventSoundPlay how) {
      sounds_.push_back({name.toString(), how});
    };
    hooks.messageBox = [this](QWidget*, QMessageBox::Icon icon, const QString& title,
                              const QString& text, QMessageBox::StandardButtons) {
      messages_.push_back({icon, title, text});
      return answer_;
    };
    hooks.openUrl = [this](const QUrl& url) {
      opened_.push_back(url);
      return browserWorks_;
    };
    hooks.pause = [](std::chrono::milliseconds) {};
    hooks.showNotice = [this](QWidget* owner) { noticeOwner_ = owner; };
    hooks.startSystemInfo = [this] { return systemInfoStarts_; };
  }

  void ReminderDue() {
    store_.writeSetting("Update", "1");
    store_.writeSetting("UpdateDate", DaysAgo(31));
  }

  // Ends the splash the way a user would not notice: its time runs out.
  void RunOut(AboutBox* splash) {
    for (int i = 0; i < 11 && splash; ++i) splash->TimerTick();
  }

  QMainWindow main_;
  SettingsStore store_;
  AboutService service_;
  std::vector<std::pair<QString, EventSoundPlay>> sounds_;
  std::vector<Message> messages_;
  std::vector<QUrl> opened_;
  QMessageBox::StandardButton answer_ = QMessageBox::No;
  bool browserWorks_ = true;
  bool systemInfoStarts_ = false;
  QWidget* noticeOwner_ = nullptr;
};

TEST_F(AboutBoxTest, SplashIsACompactStripThatItsEleventhTickCloses) {
  QPointer<AboutBox> splash = service_.ShowSplash();
  ASSERT_TRUE(splash);
  EXPECT_EQ(splash->use(), AboutBox::Use::Splash);
  EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(splash->timerRunning());
  const auto* timer = splash->findChild<QTimer*>();
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 100);
  EXPECT_GE(splash->findChild<QPushButton*>("cmdOK")->y(), splash->height());
  EXPECT_LE(splash->findChild<QLabel*>("Label5")->geometry().bottom(), splash->height());
  EXPECT_EQ(service_.ShowSplash(), splash.data());

  for (int i = 1; i < 11; ++i) splash->TimerTick();
  EXPECT_TRUE(splash->isVisible());
  splash->TimerTick();
  FlushDeletes();
  EXPECT_TRUE(!splash);
  EXPECT_TRUE(service_.splashDone());
  EXPECT_TRUE(messages_.empty()) << "the splash is silent";
  EXPECT_TRUE(sounds_.empty()) << "the splash is silent";
  // With the reminder off, closing counts as a check today.
  EXPECT_EQ(store_.readSetting("UpdateDate", ""), DaysAgo(0));
  EXPECT_EQ(service_.ShowSplash(), nullptr);
}

TEST_F(AboutBoxTest, DueReminderAsksAfterTheSplashAndRunsTheCheckOnYes) {
  const struct { QMessageBox::StandardButton answer; bool browser; } cases[] = {
      {QMessageBox::No, true}, {QMessageBox::Yes, true}, {QMessageBox::Yes, false}};
  for (const auto& c : cases) {
    AboutService service(store_, AppIdentity{}, &main_);
    service.hooks() = service_.hooks();
    ReminderDue();
    messages_.clear();
    opened_.clear();
    answer_ = c.answer;
    browserWorks_ = c.browser;
    QPointer<AboutBox> splash = service.ShowSplash();
    RunOut(splash);
    FlushDeletes();
    EXPECT_FALSE(splash);

    ASSERT_FALSE(messages_.empty());
    EXPECT_EQ(messages_[0].icon, QMessageBox::Question);
    EXPECT_EQ(messages_[0].title + messages_[0].text, "Tavrin Lumaset" + kReminder);
    if (c.answer == QMessageBox::No) {
      EXPECT_EQ(messages_.size(), 1u);
      EXPECT_TRUE(opened_.empty());
      EXPECT_EQ(store_.readSetting("UpdateDate", ""), DaysAgo(31));  // asks again next time
      continue;
    }
    EXPECT_EQ(opened_, std::vector<QUrl>{UpdatePageUrl()});
    EXPECT_EQ(store_.readSetting("UpdateDate", ""), DaysAgo(0));
    EXPECT_TRUE(main_.isMinimized());
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].icon, c.browser ? QMessageBox::NoIcon : QMessageBox::Warning);
    EXPECT_EQ(messages_[1].text, c.browser ? "Your Version: " + VersionText(ProgramVersion())
                                           : QStringLiteral("Internet browser program not available"));
    main_.showNormal();
  }
}

TEST_F(AboutBoxTest, ClickOnALabelOrEnterOrEscClosesTheSplashAndSkipsTheReminder) {
  const std::vector<std::function<void(AboutBox*)>> endings = {
      [](AboutBox* box) { Press(box->findChild<QLabel*>("lblTitle")); },
      [](AboutBox* box) { Press(box->findChild<QLabel*>("Image1")); },
      [](AboutBox* box) { Key(box, Qt::Key_Escape); },
      [](AboutBox* box) { Key(box, Qt::Key_Return); },
  };
  for (const auto& end : endings) {
    AboutService service(store_, AppIdentity{}, &main_);
    service.hooks() = service_.hooks();
    ReminderDue();
    QPointer<AboutBox> splash = service.ShowSplash();
    end(splash);
    FlushDeletes();
    EXPECT_TRUE(!splash);
    EXPECT_TRUE(service.splashDone());
  }
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(store_.readSetting("UpdateDate", ""), DaysAgo(31));
}

TEST_F(AboutBoxTest, ClickOnTheSplashSurfaceHidesItAndTheReminderStillComes) {
  ReminderDue();
  QPointer<AboutBox> splash = service_.ShowSplash();
  Press(splash);
  EXPECT_FALSE(splash->isVisible());
  EXPECT_TRUE(messages_.empty());
  splash->TimerTick();
  FlushDeletes();
  EXPECT_FALSE(splash);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, kReminder);
}

TEST_F(AboutBoxTest, FullBoxShowsEverythingKeepsTheSwitchAndNeverClosesItself) {
  store_.writeSetting("Update", "1");
  service_.ShowSplash()->done(QDialog::Accepted);
  FlushDeletes();
  sounds_.clear();

  auto* box = new AboutBox(service_, &main_);
  QPointer<AboutBox> guard(box);
  EXPECT_EQ(box->use(), AboutBox::Use::Full);
  EXPECT_EQ(test::AccessibilityProblems(box), QStringList());
  EXPECT_EQ(box->windowTitle(), "About Tavrin Lumaset");
  EXPECT_EQ(box->findChild<QLabel*>("lblTitle")->text(), "Tavrin Lumaset");
  EXPECT_EQ(box->findChild<QLabel*>("lblVersion")->text(),
            "Version: " + VersionText(ProgramVersion()) + "*");
  EXPECT_EQ(box->findChild<QLabel*>("lblDescription")->text(), AppIdentity{}.description);
  EXPECT_NE(box->findChild<QLabel*>("lblDate")->text(), "Date:");
  const auto* chkUp = box->findChild<QCheckBox*>("chkUp");
  EXPECT_TRUE(chkUp->isChecked());
  EXPECT_FALSE(chkUp->isEnabled());
  EXPECT_FALSE(box->findChild<QPushButton*>("cmdUp")->isEnabled());
  EXPECT_TRUE(box->findChild<QPushButton*>("cmdSoft")->isEnabled());
  EXPECT_LE(box->findChild<QLabel*>("Label3")->geometry().bottom(), box->height());
  EXPECT_EQ(sounds_, (decltype(sounds_){{"RestoreUp", EventSoundPlay::Interrupt}}));

  box->show();
  for (int i = 0; i < 22; ++i) box->TimerTick();
  Press(box);
  Press(box->findChild<QLabel*>("lblTitle"));
  EXPECT_TRUE(box->isVisible());
  EXPECT_TRUE(opened_.empty());

  browserWorks_ = false;
  Press(box->findChild<QLabel*>("Label3"));  // says nothing
  Press(box->findChild<QLabel*>("Image1"));
  EXPECT_EQ(opened_, std::vector<QUrl>(2, MakerPageUrl()));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Internet browser program not available");

  box->findChild<QPushButton*>("cmdSoft")->click();
  EXPECT_EQ(noticeOwner_, box);
  auto* sysInfo = box->findChild<QPushButton*>("cmdSysInfo");
  ASSERT_NE(sysInfo, nullptr);
  sysInfo->click();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].text, "System Information Is Unavailable At This Time");
  EXPECT_EQ(messages_[1].icon, QMessageBox::NoIcon);
  EXPECT_EQ(messages_[1].title, "Tavrin Lumaset");
  systemInfoStarts_ = true;
  sysInfo->click();
  EXPECT_EQ(messages_.size(), 2u) << "a tool that starts needs no message";
  box->findChild<QPushButton*>("cmdOK")->click();
  EXPECT_FALSE(box->isVisible());
  EXPECT_EQ(sounds_.back(), std::make_pair(QString("RestoreDown"), EventSoundPlay::Wait));
  EXPECT_EQ(store_.readSetting("UpdateDate", "never"), "never");  // the reminder is on
  delete guard.data();
}

// At a large desktop font the buttons on the right grow to their texts and
// still end together, inside the box.
TEST_F(AboutBoxTest, ButtonsOnTheRightEndTogetherInsideTheBoxAtALargeFont) {
  service_.ShowSplash()->done(QDialog::Accepted);
  FlushDeletes();
  const QFont kept = QApplication::font();
  QFont large = kept;
  large.setPointSize(13);
  QApplication::setFont(large);
  AboutBox box(service_, &main_);
  QApplication::setFont(kept);

  const int right = box.findChild<QPushButton*>("cmdOK")->geometry().right();
  EXPECT_LT(right, box.width());
  for (const char* name : {"cmdUp", "cmdSysInfo", "cmdSoft"}) {
    const auto* button = box.findChild<QPushButton*>(name);
    EXPECT_EQ(button->geometry().right(), right) << name;
    EXPECT_GE(button->width(), button->sizeHint().width()) << name;
  }
}

TEST_F(AboutBoxTest, HelpAboutShowsTheFullBoxOnScreenUnderThePlainTitle) {
  service_.ShowSplash();  // still up: Help > About closes it first
  const QRect screen = ScreenAreaOf(&main_);
  main_.setGeometry(screen.right() - 150, screen.bottom() - 150, 600, 400);
  main_.show();

  QString captionMeanwhile;
  QRect boxFrame;
  QTimer::singleShot(0, [&] {
    captionMeanwhile = main_.windowTitle();
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    boxFrame = box->frameGeometry();
    box->close();
  });
  service_.ShowFull();
  EXPECT_EQ(captionMeanwhile, "Tavrin Lumaset");
  EXPECT_EQ(main_.windowTitle(), "Lumaset - Pictures");
  EXPECT_TRUE(service_.splashDone());
  EXPECT_TRUE(screen.contains(boxFrame)) << boxFrame.x() << "," << boxFrame.y();
}

}  // namespace
}  // namespace lumaset
