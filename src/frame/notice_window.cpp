#include "frame/fit_text.h"
#include "frame/notice_window.h"

#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>

#include "frame/units.h"

namespace lumaset {

namespace {

// The window's design, in twips.
constexpr int kClientWidth = 7095;
constexpr int kClientHeight = 3645;
constexpr int kNameLineTop = 630;
constexpr int kNameLeft = 1860;
constexpr int kNameLineGap = 40;
constexpr int kTextLeft = 240;
constexpr int kTextWidth = 6500;

const QString kAvailability =
    QStringLiteral("This program is made available free of charge, as it is.");
const QString kReleasePhrase = QStringLiteral("release number");
const QString kTermsOfUse = QStringLiteral(
    "You may use this program and pass on unchanged copies of it freely. It comes without "
    "any warranty: its maker is not liable for any damage or loss of data that its use may "
    "cause, and you use it at your own risk.");
const QString kModifiedCopies = QStringLiteral(
    "A modified copy must say plainly that it has been modified and by whom, and must not be "
    "passed off as the original program.");

QLabel* MakeLabel(QWidget* parent, const QString& objectName, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(objectName);
  return label;
}

void MakeRedAndBold(QLabel* label) {
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  label->setPalette(palette);
}

}  // namespace

QString ReleaseNumber(const AppIdentity& identity) {
  return identity.releaseNo.isEmpty() ? QStringLiteral(LUMASET_VERSION) : identity.releaseNo;
}

double TwipsPerPixelOf(const QWidget* widget) {
  const QScreen* screen = widget ? widget->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  return TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

QRect ScreenAreaOf(const QWidget* widget) {
  const QScreen* screen = widget ? widget->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

QSize WithFrameOf(const QWidget* model, const QSize& client) {
  if (!model) return client;
  return client + (model->frameGeometry().size() - model->geometry().size());
}

QPoint CentredOver(const QRect& owner, const QSize& size, const QRect& screen) {
  int left = owner.left() + (owner.width() - size.width()) / 2;
  int top = owner.top() + (owner.height() - size.height()) / 2;
  if (screen.isEmpty()) return {left, top};
  left = std::min(left, screen.left() + screen.width() - size.width());
  top = std::min(top, screen.top() + screen.height() - size.height());
  return {std::max(left, screen.left()), std::max(top, screen.top())};
}

NoticeWindow::NoticeWindow(QWidget* mainWindow, const AppIdentity& identity,
                           EventSoundPlayer sounds, QWidget* parent)
    : QDialog(parent),
      sounds_(std::move(sounds)),
      twipsPerPixel_(TwipsPerPixelOf(mainWindow ? mainWindow : parent)) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setWindowTitle(QStringLiteral("Software Notice"));
  BuildControls();
  setFixedSize(Px(kClientWidth), Px(kClientHeight));

  Play(u"RestoreUp", EventSoundPlay::NoWait);
  Place(mainWindow);
  setWindowTitle(identity.fullTitle + QStringLiteral(" Software Notice"));
  if (mainWindow) setWindowIcon(mainWindow->windowIcon());
  SetTexts(identity);
  LayOutNameLine();
  MakeRoomForTitle();
  FitToText(this);
  Place(mainWindow);
  Play(u"Maximize", EventSoundPlay::NoWait);
}

NoticeWindow::~NoticeWindow() = default;

void NoticeWindow::BuildControls() {
  auto* frame1 = new QGroupBox(QStringLiteral("Notice:"), this);
  frame1->setObjectName(QStringLiteral("Frame1"));
  frame1->setGeometry(Px(60), Px(60), Px(6975), Px(3075));

  auto* label1 = MakeLabel(frame1, QStringLiteral("Label1"), kAvailability);
  label1->setGeometry(Px(kTextLeft), Px(300), Px(kTextWidth), Px(260));

  labName_ = MakeLabel(frame1, QStringLiteral("labName"), QStringLiteral("Program"));
  MakeRedAndBold(labName_);
  label3_ = MakeLabel(frame1, QStringLiteral("Label3"), kReleasePhrase);
  labRelNo_ = MakeLabel(frame1, QStringLiteral("labRelNo"), QString());
  MakeRedAndBold(labRelNo_);

  auto* label4 = MakeLabel(frame1, QStringLiteral("Label4"), kTermsOfUse);
  label4->setToolTip(QStringLiteral("Software use notice"));
  label4->setWordWrap(true);
  label4->setGeometry(Px(kTextLeft), Px(1020), Px(kTextWidth), Px(1080));

  auto* label5 = MakeLabel(frame1, QStringLiteral("Label5"), kModifiedCopies);
  label5->setWordWrap(true);
  label5->setGeometry(Px(kTextLeft), Px(2200), Px(kTextWidth), Px(780));

  command1_ = new QPushButton(QStringLiteral("OK"), this);
  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setToolTip(QStringLiteral("Click to close this window"));
  command1_->setDefault(true);
  command1_->setGeometry(Px(2775), Px(3240), Px(1635),
                         std::max(Px(255), command1_->sizeHint().height()));
  connect(command1_, &QPushButton::clicked, this, &NoticeWindow::OkClicked);
}

void NoticeWindow::SetTexts(const AppIdentity& identity) {
  labName_->setText(identity.name);
  labRelNo_->setText(ReleaseNumber(identity));
}

// The phrase and the number follow the name however long it is.
void NoticeWindow::LayOutNameLine() {
  for (QLabel* label : {labName_, label3_, labRelNo_}) label->adjustSize();
  labName_->move(Px(kNameLeft), Px(kNameLineTop));
  label3_->move(labName_->x() + labName_->width() + Px(kNameLineGap), Px(kNameLineTop));
  labRelNo_->move(label3_->x() + label3_->width() + Px(kNameLineGap), Px(kNameLineTop));
}

// The frame's title sets where its top border runs: a large desktop font
// lowers it, and the texts inside move down with it, the button and the
// window along.
void NoticeWindow::MakeRoomForTitle() {
  auto* frame1 = findChild<QGroupBox*>(QStringLiteral("Frame1"));
  QStyleOptionGroupBox option;
  option.initFrom(frame1);
  option.text = frame1->title();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  const QRect inside =
      frame1->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, frame1);
  const QList<QWidget*> texts = frame1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  int first = frame1->height();
  for (const QWidget* text : texts) first = std::min(first, text->y());
  const int lower = inside.top() + Px(kNameLineGap) - first;
  if (lower <= 0) return;
  for (QWidget* text : texts) text->move(text->x(), text->y() + lower);
  frame1->resize(frame1->width(), frame1->height() + lower);
  command1_->move(command1_->x(), command1_->y() + lower);
  setFixedSize(width(), height() + lower);
}

void NoticeWindow::Place(QWidget* mainWindow) {
  const QRect screen = ScreenAreaOf(mainWindow);
  const QRect owner = mainWindow ? mainWindow->frameGeometry() : QRect(screen.topLeft(), size());
  move(CentredOver(owner, WithFrameOf(mainWindow, size()), screen));
}

void NoticeWindow::OkClicked() {
  Play(u"Minimize", EventSoundPlay::NoWait);
  accept();
}

void NoticeWindow::done(int result) {
  if (!unloaded_) {
    unloaded_ = true;
    Play(u"RestoreDown", EventSoundPlay::Wait);
  }
  QDialog::done(result);
}

void NoticeWindow::Play(QStringView name, EventSoundPlay how) const {
  if (sounds_) sounds_(name, how);
}

int NoticeWindow::Px(int twips) const { return TwipsToPixels(twips, twipsPerPixel_); }

void ShowNotice(QWidget* mainWindow, const AppIdentity& identity, const EventSoundPlayer& sounds,
                QWidget* owner) {
  // Held by a guard: whatever closes the owner meanwhile takes the notice with it.
  QPointer<NoticeWindow> notice = new NoticeWindow(mainWindow, identity, sounds, owner);
  notice->exec();
  delete notice.data();
}

}  // namespace lumaset
