#pragma once

// The about box `frmAbout`, one window with two uses. At start-up it is the
// splash: a compact strip with the icon, title, version, build date, credits
// and description, shown without blocking and hidden by its own timer after
// about a second, after which the 30-day update reminder may ask its
// question. Every later showing (Help > About) is the full box, modal, with
// the software notice and the disclaimers. Which use a showing is for is
// decided by one flag that the first closing sets.
//
// The lead's way in is AboutService: ShowSplash() at start-up, ShowFull()
// for Help > About.

#include <QDate>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <QVersionNumber>

#include <chrono>
#include <functional>
#include <optional>

#include "frame/app_state.h"
#include "frame/notice_window.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace lumaset {

class SettingsStore;

// The reminder's bookkeeping over the settings "Update" (the reminder is on
// when it holds "1") and "UpdateDate" (the day of the last check, as
// MM-DD-YYYY). Needs no window; the clock is injected.
class UpdateReminder {
 public:
  using Clock = std::function<QDate()>;

  static constexpr int kDaysBetweenChecks = 30;

  UpdateReminder(SettingsStore& settings, Clock today);

  // "01-05-2013" for 5 January 2013.
  static QString DateText(QDate date);
  // A stored day: month, day and four-digit year separated by "-" (or "/"),
  // one or two digits for month and day; nothing when it is no real date.
  static std::optional<QDate> ParseDate(QStringView text);
  // The reminder's question, as it is asked.
  static QString QuestionText();

  // The about box's reminder switch, as "Update" holds it (a number, 1 on),
  // and written back as 0 or 1.
  bool LoadSwitch();
  // Whether the reminder is on: "Update" holds exactly "1".
  bool SwitchOn() const;
  // Whether the question is due: more than 30 days lie between the stored
  // day and today. Keeps the stored day; a day that is missing, unreadable
  // or after today is replaced by today, so the count starts afresh.
  bool Due();
  // An update check starts today.
  void MarkChecked();
  // The box closes: with the reminder off, today counts as checked, so that
  // turning it on later counts from this day.
  void Closed(bool switchOn);

 private:
  QDate Today() const;

  SettingsStore& settings_;
  Clock today_;
};

// Shows a message box titled `title` and returns the button pressed.
using MessageBoxFunction = std::function<QMessageBox::StandardButton(
    QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons)>;
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons);

// Waits without freezing the windows.
void PauseFor(std::chrono::milliseconds duration);

// What the about box asks of the rest of the program; each has its real
// default, and tests put recorders in their place.
struct AboutHooks {
  UpdateReminder::Clock today = &QDate::currentDate;
  EventSoundPlayer sounds;  // empty: no sound output
  MessageBoxFunction messageBox = &ShowMessageBox;
  std::function<bool(const QUrl&)> openUrl;  // empty: the desktop's browser
  std::function<void(std::chrono::milliseconds)> pause = &PauseFor;
  std::function<void(QWidget* owner)> showNotice;  // empty: the notice window, modally
  std::function<bool()> startSystemInfo;           // empty: the desktop's own tool
};

// "2.05.0007" for major 2, minor 5, revision 7.
QString VersionText(const QVersionNumber& version);
// The version this program was built as.
QVersionNumber ProgramVersion();
// The day the program's file was last changed, in the desktop's short date
// form; empty when it cannot be told.
QString BuildDateText();

QUrl MakerPageUrl();
QUrl UpdatePageUrl();

class AboutBox;

// Owns the program-wide state of the about box: whether the splash has been
// closed (after which every showing is the full box) and the splash itself
// while it is up. One lives as long as the main window.
class AboutService {
 public:
  AboutService(SettingsStore& settings, AppIdentity identity, QWidget* mainWindow);
  ~AboutService();
  AboutService(const AboutService&) = delete;
  AboutService& operator=(const AboutService&) = delete;

  AboutHooks& hooks() { return hooks_; }
  const AboutHooks& hooks() const { return hooks_; }
  SettingsStore& settings() const { return settings_; }
  const AppIdentity& identity() const { return identity_; }
  QWidget* mainWindow() const { return mainWindow_; }

  // Start-up: shows the splash on top of every window without blocking and
  // returns it; it closes itself. Nothing happens, and nullptr is returned,
  // once the splash has been closed.
  AboutBox* ShowSplash();

  // Help > About: the full box, modally; the main window's caption is the
  // plain program title meanwhile. A splash still up is closed first.
  void ShowFull();

  // True once an about box has been closed.
  bool splashDone() const { return splashDone_; }
  // The splash while it is up, else nullptr.
  AboutBox* splash() const { return splash_.data(); }

  // The software notice over `owner`, modally.
  void ShowNotice(QWidget* owner);

 private:
  friend class AboutBox;
  void MarkSplashDone() { splashDone_ = true; }

  SettingsStore& settings_;
  const AppIdentity identity_;
  QPointer<QWidget> mainWindow_;
  AboutHooks hooks_;
  bool splashDone_ = false;
  QPointer<AboutBox> splash_;
};

// Where the splash goes while the main window is not yet shown: centred
// across the screen and an eighth of the free height below its top.
QPoint SplashPosition(const QSize& size, const QRect& screen);

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  enum class Use { Splash, Full };

  static constexpr int kSplashTicks = 11;

  // Loads the box for the use that the service's flag decides.
  explicit AboutBox(AboutService& service, QWidget* parent = nullptr);
  ~AboutBox() override;

  Use use() const { return use_; }
  bool timerRunning() const;

  // One tick of the splash's 100 ms timer; public so that a test can step
  // the splash without waiting.
  void TimerTick();
  // Starts the splash's timer.
  void StartTimer();

  // Every way of closing ends here.
  void done(int result) override;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildTop();
  void BuildBottom();
  void AlignButtonColumn();
  void FitScreen();
  void SetTexts();
  void Place();
  QLabel* AddLabel(const char* name, const QString& text, int left, int top, int width, int height);
  void Listen(QWidget* widget);

  void ShowSystemInfo();
  void AskForUpdate();
  void RunUpdateCheck();
  void OpenMakerPage(bool reportFailure);
  bool OpenUrl(const QUrl& url) const;
  QMessageBox::StandardButton Tell(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                   QMessageBox::StandardButtons buttons) const;
  QWidget* MessageParent() const;
  void Play(QStringView name, EventSoundPlay how) const;
  int Px(int twips) const;

  AboutService& service_;
  const Use use_;
  UpdateReminder reminder_;
  double twipsPerPixel_;
  int ticks_ = 0;
  bool unloaded_ = false;

  QTimer* timer1_ = nullptr;
  QLabel* picture1_ = nullptr;
  QLabel* lblTitle_ = nullptr;
  QLabel* lblVersion_ = nullptr;
  QLabel* lblDate_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label6_ = nullptr;
  QLabel* lblDescription_ = nullptr;
  QLabel* label5_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QCheckBox* chkUp_ = nullptr;
  QPushButton* cmdUp_ = nullptr;
  QPushButton* cmdSysInfo_ = nullptr;
  QPushButton* cmdSoft_ = nullptr;
  QLabel* image1_ = nullptr;
  QLabel* label3_ = nullptr;
  QLabel* lblDisclaimer_ = nullptr;
  QLabel* lblDisclaimer1_ = nullptr;
};

}  // namespace lumaset
