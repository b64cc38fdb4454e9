#include "frame/fit_text.h"
#include "frame/about_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

#include "components/settings_store.h"
#include "frame/general.h"
#include "frame/number_from_setting.h"
#include "frame/units.h"

namespace lumaset {

namespace {

const QString kUpdateKey = QStringLiteral("Update");
const QString kUpdateDateKey = QStringLiteral("UpdateDate");
const QString kNoBrowser = QStringLiteral("Internet browser program not available");

// The window's design, in twips. The splash is the strip above the compact
// height: its outer height less the title bar and frame.
constexpr int kClientWidth = 5745;
constexpr int kClientHeight = 7680;
constexpr int kCompactHeight = 3360;
constexpr int kTitleBarAllowance = 390;
constexpr int kButtonsTop = 3120;
constexpr int kColumnRight = 5595;  // where the buttons on the right end
constexpr int kTimerInterval = 100;  // ms
constexpr std::chrono::milliseconds kBrowserStart{2000};

const QString kCreditAuthor = QStringLiteral("Written by Tavrin");
const QString kCreditSecond = QStringLiteral("Made with Qt for the Linux desktop");
const QString kDisclaimer = QStringLiteral(
    "This program is provided as it is, without warranty of any kind, expressed or implied, "
    "including any warranty that it is fit for a particular purpose. You use it at your own "
    "risk.");
const QString kDisclaimer1 = QStringLiteral(
    "Tavrin is not liable for any loss of data, damage to files or equipment, or other loss "
    "that may come from using this program. Keep copies of your pictures.");

// The banner that links to the maker's page, 320 x 100 pixels like its design.
QPixmap Banner() {
  QPixmap banner(320, 100);
  QPainter painter(&banner);
  QLinearGradient gradient(0, 0, 320, 100);
  gradient.setColorAt(0, QColor(20, 40, 90));
  gradient.setColorAt(1, QColor(30, 120, 140));
  painter.fillRect(banner.rect(), gradient);
  QFont font = painter.font();
  font.setPixelSize(44);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(banner.rect(), Qt::AlignCenter, QStringLiteral("Tavrin"));
  return banner;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text,
                        const QString& tip) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1String(name));
  button->setToolTip(tip);
  return button;
}

}  // namespace

// --- UpdateReminder ----------------------------------------------------------

UpdateReminder::UpdateReminder(SettingsStore& settings, Clock today)
    : settings_(settings), today_(std::move(today)) {}

QString UpdateReminder::DateText(QDate date) {
  return QLocale::c().toString(date, QStringLiteral("MM-dd-yyyy"));
}

std::optional<QDate> UpdateReminder::ParseDate(QStringView text) {
  static const QRegularExpression form(
      QStringLiteral(R"(^\s*(\d{1,2})([-/])(\d{1,2})\2(\d{4})\s*$)"));
  const QRegularExpressionMatch match = form.match(text.toString());
  if (!match.hasMatch()) return std::nullopt;
  const QDate date(match.capturedView(4).toInt(), match.capturedView(1).toInt(),
                   match.capturedView(3).toInt());
  if (!date.isValid()) return std::nullopt;
  return date;
}

QString UpdateReminder::QuestionText() {
  return QStringLiteral(
      "Its been over 30 days since you last checked for an update.\r\n"
      "Do you wish to do it now?");
}

QDate UpdateReminder::Today() const { return today_ ? today_() : QDate::currentDate(); }

bool UpdateReminder::LoadSwitch() {
  const bool on = NumberFromSetting(settings_.readSetting(kUpdateKey, "0")) == 1.0f;
  settings_.writeSetting(kUpdateKey, on ? 1 : 0);
  return on;
}

bool UpdateReminder::SwitchOn() const {
  return settings_.readSetting(kUpdateKey, QString()) == QLatin1String("1");
}

bool UpdateReminder::Due() {
  const QDate today = Today();
  const QString stored = settings_.readSetting(kUpdateDateKey, DateText(today));
  std::optional<QDate> last = ParseDate(stored);
  // A day after today comes from a clock that was wrong; trusting it would
  // silence the reminder until that day has long passed.
  if (!last || *last > today) {
    last = today;
    settings_.writeSetting(kUpdateDateKey, DateText(today));
  } else {
    settings_.writeSetting(kUpdateDateKey, stored);
  }
  return last->daysTo(today) > kDaysBetweenChecks;
}

void UpdateReminder::MarkChecked() { settings_.writeSetting(kUpdateDateKey, DateText(Today())); }

void UpdateReminder::Closed(bool switchOn) {
  if (!switchOn) MarkChecked();
}

// --- Helpers -----------------------------------------------------------------

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, parent);
  if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) SetTextShortened(label, text);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

void PauseFor(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec();
}

QString VersionText(const QVersionNumber& version) {
  return QStringLiteral("%1.%2.%3")
      .arg(version.majorVersion())
      .arg(version.minorVersion(), 2, 10, QLatin1Char('0'))
      .arg(version.microVersion(), 4, 10, QLatin1Char('0'));
}

QVersionNumber ProgramVersion() {
  return QVersionNumber::fromString(QStringLiteral(LUMASET_VERSION));
}

QString BuildDateText() {
  const QDateTime modified = QFileInfo(QCoreApplication::applicationFilePath()).lastModified();
  if (!modified.isValid()) return {};
  return QLocale::system().toString(modified.date(), QLocale::ShortFormat);
}

QUrl MakerPageUrl() { return QUrl(QStringLiteral("https://www.tavrin.example/")); }
QUrl UpdatePageUrl() { return QUrl(QStringLiteral("https://www.tavrin.example/lumaset/update")); }

QPoint SplashPosition(const QSize& size, const QRect& screen) {
  return {screen.left() + (screen.width() - size.width()) / 2,
          screen.top() + (screen.height() - size.height()) / 8};
}

// --- AboutService ------------------------------------------------------------

AboutService::AboutService(SettingsStore& settings, AppIdentity identity, QWidget* mainWindow)
    : settings_(settings), identity_(std::move(identity)), mainWindow_(mainWindow) {}

// The splash may outlive the service as a child of the main window; it must
// not call back into a service that is gone.
AboutService::~AboutService() { delete splash_.data(); }

AboutBox* AboutService::ShowSplash() {
  if (splashDone_) return nullptr;
  if (splash_) return splash_;
  splash_ = new AboutBox(*this, mainWindow_);
  splash_->setAttribute(Qt::WA_DeleteOnClose);
  splash_->show();
  // Lets the splash paint before the slow steps of start-up.
  QCoreApplication::processEvents();
  if (splash_) splash_->StartTimer();
  return splash_;
}

void AboutService::ShowFull() {
  if (AboutBox* splash = splash_.data()) splash->done(QDialog::Rejected);
  const QPointer<QWidget> main = mainWindow_;
  const QString keptCaption = main ? main->windowTitle() : QString();
  if (main) main->setWindowTitle(identity_.fullTitle);

  // Held by a guard: closing the main window takes the box with it.
  QPointer<AboutBox> box = new AboutBox(*this, main);
  box->exec();
  delete box.data();

  if (main) main->setWindowTitle(keptCaption);
}

void AboutService::ShowNotice(QWidget* owner) {
  if (hooks_.showNotice) {
    hooks_.showNotice(owner);
  } else {
    lumaset::ShowNotice(mainWindow_, identity_, hooks_.sounds, owner);
  }
}

// --- AboutBox ----------------------------------------------------------------

AboutBox::AboutBox(AboutService& service, QWidget* parent)
    : QDialog(parent),
      service_(service),
      use_(service.splashDone() ? Use::Full : Use::Splash),
      reminder_(service.settings(), service.hooks().today),
      twipsPerPixel_(TwipsPerPixelOf(parent)) {
  Qt::WindowFlags flags =
      Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
  // The splash keeps above the main window that start-up shows under it.
  if (use_ == Use::Splash) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);

  timer1_ = new QTimer(this);
  timer1_->setInterval(kTimerInterval);
  connect(timer1_, &QTimer::timeout, this, &AboutBox::TimerTick);

  BuildTop();
  BuildBottom();
  SetTexts();
  chkUp_->setChecked(reminder_.LoadSwitch());
  setFixedSize(Px(kClientWidth), Px(kClientHeight));
  FitToText(this);
  AlignButtonColumn();
  // The splash is the strip above the buttons, however far the texts moved them.
  if (use_ == Use::Splash)
    setFixedSize(width(), Px(kCompactHeight - kTitleBarAllowance) + cmdOK_->y() - Px(kButtonsTop));
  else
    FitScreen();
  Place();
  if (use_ == Use::Full) Play(u"RestoreUp", EventSoundPlay::Interrupt);
  cmdOK_->setFocus();
}

AboutBox::~AboutBox() = default;

QLabel* AboutBox::AddLabel(const char* name, const QString& text, int left, int top, int width,
                           int height) {
  auto* label = new QLabel(text, this);
  label->setObjectName(QLatin1String(name));
  label->setGeometry(Px(left), Px(top), Px(width), Px(height));
  return label;
}

// Everything that the splash shows: the strip above the compact height.
void AboutBox::BuildTop() {
  picture1_ = AddLabel("Picture1", QString(), 120, 120, 540, 540);
  lblTitle_ = AddLabel("lblTitle", QStringLiteral("Application Title"), 840, 120, 4785, 400);
  QFont titleFont = lblTitle_->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
  lblTitle_->setFont(titleFont);
  lblVersion_ = AddLabel("lblVersion", QStringLiteral("Version"), 840, 540, 1800, 240);
  lblVersion_->setToolTip(QStringLiteral("Current Version"));
  lblDate_ = AddLabel("lblDate", QStringLiteral("Date:"), 2640, 540, 2985, 240);
  label2_ = AddLabel("Label2", kCreditAuthor, 870, 780, 4755, 240);
  label2_->setToolTip(QStringLiteral("Author"));
  label6_ = AddLabel("Label6", kCreditSecond, 840, 1020, 4785, 240);
  auto* line1 = new QFrame(this);
  line1->setFrameShape(QFrame::HLine);
  line1->setGeometry(Px(120), Px(1560), Px(5505), Px(120));
  lblDescription_ =
      AddLabel("lblDescription", QStringLiteral("App Description"), 180, 1780, 5385, 810);
  lblDescription_->setToolTip(QStringLiteral("Application description"));
  lblDescription_->setWordWrap(true);
  lblDescription_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label5_ = AddLabel("Label5", QStringLiteral("* Runs on Linux desktops"), 180,
                     2640, 5385, 240);
  for (QLabel* label :
       {picture1_, lblTitle_, lblVersion_, lblDate_, label2_, label6_, lblDescription_, label5_})
    Listen(label);
}

// What only the full box shows: buttons, disclaimers and the maker's links.
void AboutBox::BuildBottom() {
  cmdOK_ = MakeButton(this, "cmdOK", QStringLiteral("OK"),
                      QStringLiteral("Click to close this window and return to the program"));
  cmdOK_->setDefault(true);
  cmdOK_->setGeometry(Px(4140), Px(kButtonsTop), Px(1455), std::max(Px(375), cmdOK_->sizeHint().height()));
  connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);

  chkUp_ = new QCheckBox(this);
  chkUp_->setObjectName(QStringLiteral("chkUp"));
  chkUp_->setToolTip(QStringLiteral("Check to automatically look for an update every 30 days"));
  chkUp_->setAccessibleName(QStringLiteral("Look for an update every 30 days"));
  chkUp_->setGeometry(Px(4140), Px(3720), Px(240), Px(285));
  chkUp_->setEnabled(false);  // switched in the data-folder preferences

  cmdUp_ = MakeButton(this, "cmdUp", QStringLiteral("Update..."),
                      QStringLiteral("Check web for update now"));
  cmdUp_->setGeometry(Px(4380), Px(3720), Px(1215), std::max(Px(285), cmdUp_->sizeHint().height()));
  cmdUp_->setEnabled(false);  // the check runs from the reminder only

  cmdSysInfo_ = MakeButton(this, "cmdSysInfo", QStringLiteral("&System Info..."),
                           QStringLiteral("Click to get system information"));
  cmdSysInfo_->setGeometry(Px(4140), Px(4020), Px(1455),
                           std::max(Px(285), cmdSysInfo_->sizeHint().height()));
  connect(cmdSysInfo_, &QPushButton::clicked, this, &AboutBox::ShowSystemInfo);

  cmdSoft_ = MakeButton(this, "cmdSoft", QStringLiteral("Software Notice"),
                        QStringLiteral("View software user notice"));
  cmdSoft_->setGeometry(Px(4140), Px(4320), Px(1455),
                        std::max(Px(285), cmdSoft_->sizeHint().height()));
  connect(cmdSoft_, &QPushButton::clicked, this, [this] { service_.ShowNotice(this); });

  lblDisclaimer_ = AddLabel("lblDisclaimer", kDisclaimer, 180, 3120, 3870, 1605);
  lblDisclaimer1_ = AddLabel("lblDisclaimer1", kDisclaimer1, 180, 4680, 5355, 1035);
  lblDisclaimer1_->setToolTip(QStringLiteral("Disclaimer"));
  for (QLabel* label : {lblDisclaimer_, lblDisclaimer1_}) {
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  auto* line2 = new QFrame(this);
  line2->setFrameShape(QFrame::HLine);
  line2->setGeometry(Px(120), Px(5700), Px(5505), Px(120));

  const QString makerTip = QStringLiteral("Click to open the Tavrin web page");
  image1_ = AddLabel("Image1", QString(), 480, 5820, 4800, 1500);
  image1_->setAccessibleName(QStringLiteral("Tavrin web page"));
  // The splash ends above the banner: only the full box draws it.
  if (use_ == Use::Full)
    image1_->setPixmap(Banner().scaled(image1_->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  label3_ = AddLabel("Label3", QStringLiteral("Tavrin"), 480, 7380, 4800, 240);
  for (QLabel* link : {image1_, label3_}) {
    link->setToolTip(makerTip);
    link->setCursor(Qt::PointingHandCursor);
    Listen(link);
  }
}

// The buttons on the right stand in one column: all end where the widest
// text needs, the update switch and its button together as one row.
void AboutBox::AlignButtonColumn() {
  int right = 0;
  for (const QWidget* button : {cmdOK_, cmdUp_, cmdSysInfo_, cmdSoft_})
    right = std::max(right, button->geometry().right());
  for (QWidget* button : {cmdOK_, cmdUp_, cmdSysInfo_, cmdSoft_})
    button->resize(right - button->x() + 1, button->height());
  const int wide = right + 1 + Px(kClientWidth - kColumnRight);
  if (wide > width()) setFixedSize(wide, height());
}

// At a large desktop font the full box may grow taller than the screen: its
// contents then scroll in a box as tall as the screen allows, and moving the
// focus brings each control into view.
void AboutBox::FitScreen() {
  QWidget* main = service_.mainWindow();
  const QRect screen = ScreenAreaOf(main ? main : this);
  const int frame = std::max(Px(kTitleBarAllowance), WithFrameOf(main, size()).height() - height());
  const int room = screen.height() - frame;
  if (screen.isEmpty() || height() <= room) return;
  auto* contents = new QWidget;
  contents->setObjectName(QStringLiteral("contents"));
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;
    const bool hidden = child->isHidden();
    child->setParent(contents);
    child->setHidden(hidden);
  }
  contents->setFixedSize(size());
  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  scroll->setWidget(contents);
  setFixedSize(width() + scroll->verticalScrollBar()->sizeHint().width(), room);
  scroll->setGeometry(rect());
}

void AboutBox::Listen(QWidget* widget) { widget->installEventFilter(this); }

void AboutBox::SetTexts() {
  const AppIdentity& identity = service_.identity();
  QWidget* main = service_.mainWindow();
  const QIcon icon =
      main && !main->windowIcon().isNull() ? main->windowIcon() : QApplication::windowIcon();
  setWindowIcon(icon);
  picture1_->setPixmap(icon.pixmap(picture1_->size()));
  picture1_->setAccessibleName(identity.name);
  setWindowTitle(QStringLiteral("About ") + identity.fullTitle);
  lblTitle_->setText(identity.fullTitle);
  if (const QString built = BuildDateText(); !built.isEmpty()) lblDate_->setText(built);
  lblDescription_->setText(identity.description);
  lblVersion_->setText(QStringLiteral("Version: ") + VersionText(ProgramVersion()) +
                       QLatin1Char('*'));
  // A wide desktop font must not run the version into the date.
  lblVersion_->resize(lblVersion_->sizeHint().width(), lblVersion_->height());
  lblDate_->move(std::max(lblDate_->x(), lblVersion_->geometry().right() + Px(120)), lblDate_->y());
}

void AboutBox::Place() {
  const QWidget* main = service_.mainWindow();
  const QRect screen = ScreenAreaOf(main);
  if (main && main->isVisible()) {
    move(CentredOver(main->frameGeometry(), WithFrameOf(main, size()), screen));
  } else if (!screen.isEmpty()) {
    move(SplashPosition(size(), screen));
  }
}

bool AboutBox::timerRunning() const { return timer1_->isActive(); }

void AboutBox::StartTimer() {
  if (use_ == Use::Splash && !unloaded_) timer1_->start();
}

void AboutBox::TimerTick() {
  if (use_ != Use::Splash || unloaded_) return;
  ++ticks_;
  if (isVisible() && ticks_ < kSplashTicks) return;
  timer1_->stop();
  hide();
  if (reminder_.SwitchOn() && reminder_.Due()) {
    AskForUpdate();
  } else {
    done(QDialog::Accepted);
  }
}

void AboutBox::AskForUpdate() {
  const QPointer<AboutBox> self(this);
  const auto answer = Tell(MessageParent(), QMessageBox::Question, UpdateReminder::QuestionText(),
                           QMessageBox::Yes | QMessageBox::No);
  if (!self) return;
  if (answer == QMessageBox::Yes) {
    RunUpdateCheck();
  } else {
    done(QDialog::Accepted);
  }
}

// The browser gets a moment to come up before the version to compare with
// it is shown; the main window stays minimised for the user to restore.
void AboutBox::RunUpdateCheck() {
  const QPointer<AboutBox> self(this);
  reminder_.MarkChecked();
  if (QWidget* main = service_.mainWindow()) main->showMinimized();
  QCoreApplication::processEvents();
  if (!self) return;
  if (OpenUrl(UpdatePageUrl())) {
    service_.hooks().pause(kBrowserStart);
    if (!self) return;
    Tell(nullptr, QMessageBox::NoIcon,
         QStringLiteral("Your Version: ") + VersionText(ProgramVersion()), QMessageBox::Ok);
  } else {
    Tell(nullptr, QMessageBox::Warning, kNoBrowser, QMessageBox::Ok);
  }
  if (self) done(QDialog::Accepted);
}

void AboutBox::OpenMakerPage(bool reportFailure) {
  if (!OpenUrl(MakerPageUrl()) && reportFailure)
    Tell(this, QMessageBox::Warning, kNoBrowser, QMessageBox::Ok);
}

bool AboutBox::OpenUrl(const QUrl& url) const {
  const auto& open = service_.hooks().openUrl;
  return open ? open(url) : QDesktopServices::openUrl(url);
}

void AboutBox::ShowSystemInfo() {
  const auto& start = service_.hooks().startSystemInfo;
  if (start ? start() : StartSystemInfo()) return;
  Tell(this, QMessageBox::NoIcon, QStringLiteral("System Information Is Unavailable At This Time"),
       QMessageBox::Ok);
}

QMessageBox::StandardButton AboutBox::Tell(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& text,
                                           QMessageBox::StandardButtons buttons) const {
  return service_.hooks().messageBox(parent, icon, service_.identity().fullTitle, text, buttons);
}

// The question may come while the main window is still hidden or minimised,
// where a box that belongs to it would not show.
QWidget* AboutBox::MessageParent() const {
  QWidget* main = service_.mainWindow();
  return main && main->isVisible() && !main->isMinimized() ? main : nullptr;
}

void AboutBox::mousePressEvent(QMouseEvent* event) {
  // A click on the splash's empty surface only hides it; its next tick
  // carries on as if the time were up, reminder included.
  if (use_ == Use::Splash && event->button() == Qt::LeftButton) hide();
  QDialog::mousePressEvent(event);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress ||
      static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
    return QDialog::eventFilter(watched, event);
  if (use_ == Use::Splash) {
    done(QDialog::Rejected);  // skips the reminder for this run
  } else if (watched == image1_ || watched == label3_) {
    OpenMakerPage(watched == image1_);
  }
  return true;
}

void AboutBox::done(int result) {
  if (!unloaded_) {
    unloaded_ = true;
    timer1_->stop();
    if (service_.splashDone()) Play(u"RestoreDown", EventSoundPlay::Wait);
    service_.MarkSplashDone();
    reminder_.Closed(chkUp_->isChecked());
  }
  QDialog::done(result);
}

void AboutBox::Play(QStringView name, EventSoundPlay how) const {
  if (const auto& sounds = service_.hooks().sounds) sounds(name, how);
}

int AboutBox::Px(int twips) const { return TwipsToPixels(twips, twipsPerPixel_); }

}  // namespace lumaset
