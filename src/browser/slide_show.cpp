#include "browser/slide_show.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QRandomGenerator>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <utility>

#include "browser/background_work.h"
#include "browser/thumb_table.h"
#include "components/file_system.h"
#include "components/midi_player.h"
#include "components/mixer_device.h"
#include "components/settings_store.h"
#include "components/imaging/pixels/bright_contrast.h"
#include "frame/about_box.h"
#include "frame/settings.h"

namespace lumaset {

namespace {

constexpr int kTopMargin = 400;      // twips above a slide that is fitted to the height
constexpr int kHeightMargin = 450;   // twips of the screen's height that such a slide leaves
constexpr int kWidthMargin = 100;    // twips of the screen's width that a wide slide leaves
constexpr int kCaptionTop = 50;      // twips above the file name
constexpr int kMixerFromRight = 3800;
constexpr int kMixerFromBottom = 1600;

int Round(double twips) { return static_cast<int>(std::lround(twips)); }

TwipsRect FitToHeight(double width, double height, int screenWidth, int screenHeight) {
  const double fittedHeight = screenHeight - kHeightMargin;
  const double fittedWidth = fittedHeight * width / height;
  return {Round((screenWidth - fittedWidth) / 2), kTopMargin, Round(fittedWidth), Round(fittedHeight)};
}

void ShowWarning(QWidget* parent, const QString& title, const QString& text) {
  ShowMessageBox(parent, QMessageBox::Warning, title, text, QMessageBox::Ok);
}

// A screen reader announces the show as the window it is, not as a dialog.
QAccessibleInterface* SlideShowAccessible(const QString& className, QObject* object) {
  if (className != QLatin1String(SlideShowWindow::staticMetaObject.className()) || !object->isWidgetType())
    return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

}  // namespace

// ---- the rules -------------------------------------------------------------------

TwipsRect SlideRect(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight) {
  const double width = pictureWidth > 0 && pictureHeight > 0 ? pictureWidth : 1;
  const double height = pictureWidth > 0 && pictureHeight > 0 ? pictureHeight : 1;
  if (width < height) return FitToHeight(width, height, screenWidth, screenHeight);
  const double fittedWidth = screenWidth - kWidthMargin;
  const double fittedHeight = fittedWidth * height / width;
  const double top = (screenHeight - fittedHeight) / 2;
  if (top < kTopMargin) return FitToHeight(width, height, screenWidth, screenHeight);
  return {kWidthMargin / 2, Round(top), Round(fittedWidth), Round(fittedHeight)};
}

int NextSlideIndex(int slideIndex, int count) {
  if (slideIndex < 0 || slideIndex >= count - 1) return 0;
  return slideIndex + 1;
}

// SlideIndex already points past the slide on show, so the one before that
// lies two places back, counted round the table.
int BackSlideIndex(int slideIndex, int count) {
  if (count <= 0) return 0;
  const int start = slideIndex >= 0 && slideIndex < count ? slideIndex : 0;
  return ((start - 2) % count + count) % count;
}

std::vector<FadeStep> FadeInSteps() {
  std::vector<FadeStep> steps;
  for (int level = -80; level <= 0; level += 10) steps.push_back({level, level > -30});
  return steps;
}

std::vector<FadeStep> FadeOutSteps() {
  std::vector<FadeStep> steps;
  for (int level = -10; level >= -100; level -= 10) steps.push_back({level, level >= -30});
  return steps;
}

int SlideIntervalMs(int seconds) { return std::max(seconds * 1000, 100); }

QStringList MidiPool::Listing(const QString& folder) {
  QStringList paths;
  for (const char* pattern : {"*.mid", "*.rmi"}) {
    const QDir dir(folder, QLatin1String(pattern), QDir::Name | QDir::IgnoreCase,
                   QDir::Files | QDir::Readable | QDir::Hidden);
    for (const QString& name : dir.entryList()) paths.append(folder + name);
  }
  return paths;
}

std::optional<QString> MidiPool::Pick(const QString& folder, double draw) {
  if (entries_.isEmpty()) entries_ = Listing(folder);
  if (entries_.isEmpty()) return std::nullopt;
  const double clamped = std::clamp(draw, 0.0, 1.0);
  const auto last = entries_.size() - 1;
  const auto index = std::min(static_cast<qsizetype>(clamped * static_cast<double>(last)), last);
  return entries_.takeAt(std::max<qsizetype>(index, 0));
}

// ---- the window ----------------------------------------------------------------

SlideShowWindow::SlideShowWindow(SlideShowContext context, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint),
      context_(std::move(context)),
      reading_(std::make_unique<BackgroundWork<SlideRead>>()) {
  if (!context_.readSlide) context_.readSlide = &Imaging::readScaled;
  if (!context_.random) context_.random = [] { return QRandomGenerator::global()->generateDouble(); };
  if (!context_.showMessage)
    context_.showMessage = [this](const QString& text) { ShowWarning(this, context_.appTitle, text); };
  BuildControls();
  timer1_.setSingleShot(true);
  connect(&timer1_, &QTimer::timeout, this, &SlideShowWindow::Timer1_Timer);
  fadeTimer_.setInterval(kFadeStepMs);
  connect(&fadeTimer_, &QTimer::timeout, this, &SlideShowWindow::FadeTimer_Timer);
}

SlideShowWindow::~SlideShowWindow() { Unload(false); }

void SlideShowWindow::BuildControls() {
  static const bool announced = (QAccessible::installFactory(&SlideShowAccessible), true);
  (void)announced;
  setWindowTitle(QStringLiteral("Slide Show"));
  setAccessibleName(QStringLiteral("Slide Show"));
  setAttribute(Qt::WA_StyledBackground);
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setFocusPolicy(Qt::StrongFocus);

  image1_ = new QLabel(this);
  image1_->setScaledContents(true);
  image1_->setLineWidth(1);
  image1_->setFrameStyle(QFrame::Box | QFrame::Plain);
  image1_->setAccessibleName(QStringLiteral("Slide"));

  labSlide_ = new QLabel(this);
  QFont font = labSlide_->font();
  font.setPointSizeF(13.5);
  font.setBold(true);
  labSlide_->setFont(font);
  labSlide_->setAttribute(Qt::WA_TranslucentBackground);
  QPalette white = labSlide_->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  labSlide_->setPalette(white);
  labSlide_->hide();
}

double SlideShowWindow::TwipsPerPixelHere() const {
  const QScreen* screen = this->screen();
  return TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96);
}

void SlideShowWindow::Start() {
  stopShow_ = false;
  if (context_.setScreenSaverActive) context_.setScreenSaverActive(false);
  if (context_.options.ssMouse) setCursor(Qt::BlankCursor);
  timer1_.setInterval(SlideIntervalMs(context_.options.ssTime));
  // The first slide is laid out before the window manager has answered.
  if (const QScreen* screen = this->screen()) setGeometry(screen->geometry());
  showFullScreen();
  activateWindow();
  setFocus();
  musicWaits_ = true;
  SlideDisplay();
}

// One slide as the worker read it: the first of the candidates that loaded,
// brought to the slide's size; index -1 when none did.
struct SlideShowWindow::SlideRead {
  int index = -1;
  QString file;
  QImage picture;
  TwipsRect place;
};

namespace {

// A slide to try: its table entry, file and the size the table knows.
struct SlideCandidate {
  int index;
  QString file;
  int width;
  int height;
};

// The picture is decoded no larger than the screen and then brought to the
// slide's size, so that every fade step works on screen pixels only.
std::optional<QImage> ReadSlide(const ScaledReader& reader, const SlideCandidate& candidate, QSize screen,
                                double twips, TwipsRect* place) {
  const Result<QImage> read = reader(candidate.file, std::max(screen.width(), screen.height()));
  if (!read) return std::nullopt;
  int width = candidate.width;
  int height = candidate.height;
  if (width <= 0 || height <= 0) {  // the table never learnt its size
    width = read->width();
    height = read->height();
  }
  *place = SlideRect(width, height, PixelsToTwips(screen.width(), twips), PixelsToTwips(screen.height(), twips));
  const QSize target(std::max(1, TwipsToPixels(place->width, twips)), std::max(1, TwipsToPixels(place->height, twips)));
  return read->scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

// The caption changes only together with a picture that loaded, so a slide
// that fails never shows the last picture under its own name.
void SlideShowWindow::SlideDisplay() {
  timer1_.stop();
  SetPicture({}, false);
  labSlide_->hide();
  const int count = context_.table.ThumbCount();
  int& index = context_.memory.slideIndex;
  if (index < 0 || index >= count) index = 0;
  std::vector<SlideCandidate> candidates;
  for (int tried = 0, at = index; tried < count; ++tried, at = NextSlideIndex(at, count)) {
    candidates.push_back({at, context_.table.ThumbFiles(at), context_.table.ThumbWidths(at),
                          context_.table.ThumbHeights(at)});
  }
  if (candidates.empty()) {
    EndShow(kNothingShown);
    return;
  }
  const QSize screen = size().isEmpty() ? QSize(1, 1) : size();
  const double twips = TwipsPerPixelHere();
  reading_->start(
      [reader = context_.readSlide, candidates = std::move(candidates), screen, twips] {
        SlideRead read;
        for (const SlideCandidate& candidate : candidates) {
          if (DecodeStop::requested()) break;
          if (std::optional<QImage> picture = ReadSlide(reader, candidate, screen, twips, &read.place)) {
            read.index = candidate.index;
            read.file = candidate.file;
            read.picture = std::move(*picture);
            break;
          }
        }
        return read;
      },
      [this, keyStep = keyStep_](const SlideRead& read) { ShowRead(read, keyStep); });
}

bool SlideShowWindow::Loading() const { return reading_->running(); }
void SlideShowWindow::FinishLoading() { reading_->finishNow(); }

void SlideShowWindow::ShowRead(const SlideRead& read, bool keyStep) {
  if (read.index < 0) {
    EndShow(kNothingShown);
    return;
  }
  context_.memory.slideIndex = read.index;
  ShowSlide(read.picture, read.place, read.file, keyStep);
  if (std::exchange(musicWaits_, false) && !stopShow_) StartMusic();
}

void SlideShowWindow::ShowSlide(const QImage& picture, const TwipsRect& place, const QString& file, bool keyStep) {
  const double twips = TwipsPerPixelHere();
  image1_->setGeometry(TwipsToPixels(place.left, twips), TwipsToPixels(place.top, twips),
                       TwipsToPixels(place.width, twips), TwipsToPixels(place.height, twips));
  image1_->show();
  labSlide_->setText(FileSystemUtility::PathPart(file, false));
  labSlide_->adjustSize();
  labSlide_->move((width() - labSlide_->width()) / 2, TwipsToPixels(kCaptionTop, twips));
  unfaded_ = picture;
  if (context_.playShowSound) context_.playShowSound();
  if (context_.options.ssFadeIn && !keyStep) {
    fading_ = true;
    RunFade(FadeInSteps(), &SlideShowWindow::FinishSlide);
    return;
  }
  SetPicture(unfaded_, true);
  FinishSlide();
}

void SlideShowWindow::FinishSlide() {
  labSlide_->show();
  labSlide_->raise();
  context_.memory.slideIndex = NextSlideIndex(context_.memory.slideIndex, context_.table.ThumbCount());
  fading_ = false;
  if (context_.options.ssAuto && !stopShow_) timer1_.start();
}

void SlideShowWindow::Timer1_Timer() {
  if (stopShow_) return;
  timer1_.stop();
  if (context_.options.ssFadeOut) {
    fading_ = true;
    labSlide_->hide();
    RunFade(FadeOutSteps(), &SlideShowWindow::SlideDisplay);
    return;
  }
  SlideDisplay();
}

void SlideShowWindow::RunFade(std::vector<FadeStep> steps, void (SlideShowWindow::*then)()) {
  fadeSteps_ = std::move(steps);
  fadeNext_ = 0;
  afterFade_ = then;
  fadeTimer_.start();
}

// One level per tick; the step after the last goes on with the show.
void SlideShowWindow::FadeTimer_Timer() {
  if (stopShow_ || unloaded_) {
    fadeTimer_.stop();
    return;
  }
  if (fadeNext_ < fadeSteps_.size()) {
    ShowFaded(fadeSteps_[fadeNext_++]);
    return;
  }
  fadeTimer_.stop();
  if (afterFade_) (this->*std::exchange(afterFade_, nullptr))();
}

void SlideShowWindow::ShowFaded(const FadeStep& step) {
  if (showImgX_.LoadFromPicture(unfaded_) &&
      ImgBrightContrast(showImgX_, step.level, 0, Imaging::kNoUndo)) {
    SetPicture(showImgX_.GetPicture(), step.raised);
  } else {
    SetPicture(unfaded_, step.raised);
  }
}

void SlideShowWindow::SetPicture(const QImage& picture, bool raised) {
  shown_ = picture;
  image1_->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
  image1_->setFrameStyle(raised ? QFrame::Panel | QFrame::Sunken : QFrame::Box | QFrame::Plain);
}

QRect SlideShowWindow::SlideGeometry() const { return image1_->geometry(); }
bool SlideShowWindow::SlideRaised() const { return image1_->frameShape() == QFrame::Panel; }
QString SlideShowWindow::Caption() const { return labSlide_->text(); }
bool SlideShowWindow::CaptionVisible() const { return labSlide_->isVisibleTo(this); }

// ---- keys, clicks and the mixer -------------------------------------------------

void SlideShowWindow::keyPressEvent(QKeyEvent* event) {
  const Options& options = context_.options;
  const int key = event->key();
  event->accept();
  if (key == Qt::Key_Escape) return EndShow();
  if (options.ssKey && (key == Qt::Key_Right || key == Qt::Key_Down)) return KeyStep(false);
  if (options.ssKey && (key == Qt::Key_Left || key == Qt::Key_Up)) return KeyStep(true);
  if (key == Qt::Key_V && options.ssMidi && MidiDevice()) return OpenMixer();
  if (options.ssKey) return KeyStep(false);
  EndShow();
}

// While a fade runs or a slide is read, keys wait for nothing: they are
// simply not taken.
void SlideShowWindow::KeyStep(bool back) {
  if (fading_ || stopShow_ || reading_->running()) return;
  if (back) {
    context_.memory.slideIndex = BackSlideIndex(context_.memory.slideIndex, context_.table.ThumbCount());
  }
  keyStep_ = true;
  SlideDisplay();
  keyStep_ = false;
}

void SlideShowWindow::OpenMixer() {
  const double twips = TwipsPerPixelHere();
  const QRect frame = geometry();
  const QPoint corner(Round((frame.left() + frame.width()) * twips) - kMixerFromRight,
                      Round((frame.top() + frame.height()) * twips) - kMixerFromBottom);
  const QString key = QStringLiteral("MixerSource");
  MixerWindow mixer(context_.makeMixer ? context_.makeMixer() : nullptr, corner,
                    context_.settings.readSetting(key, "Synth"), context_.playEventSound, this);
  mixer_ = &mixer;
  mixer.exec();  // the slides go on behind it
  mixer_ = nullptr;
  context_.settings.writeSetting(key, mixer.OptMixerSource());
  if (closeAfterMixer_) close();
}

void SlideShowWindow::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  EndShow();
}

// ---- music -----------------------------------------------------------------------

bool SlideShowWindow::MidiDevice() {
  if (!midiDevice_) {
    if (!player_ && context_.makeMidiPlayer) player_ = context_.makeMidiPlayer();
    midiDevice_ = player_ && player_->DevicePresent();
  }
  return *midiDevice_;
}

// A folder with a single MIDI file plays it too, again and again.
void SlideShowWindow::StartMusic() {
  if (!context_.options.ssMidi || context_.midiFolder.isEmpty() || !MidiDevice()) return;
  connect(player_.get(), &MidiPlayer::StatusUpdate, this, &SlideShowWindow::MMControl1_StatusUpdate,
          Qt::UniqueConnection);
  pool_.clear();
  PlayNextMidi();
}

bool SlideShowWindow::PlayNextMidi() {
  std::optional<QString> next = pool_.Pick(context_.midiFolder, context_.random());
  if (!next) {
    StopMusic();
    return false;
  }
  context_.memory.midiFile = *next;
  midiOpen_ = true;
  if (!player_->Play(*next)) {
    StopMusic();
    return false;
  }
  player_->SetUpdateInterval(kMusicUpdateMs);
  return true;
}

void SlideShowWindow::MMControl1_StatusUpdate() {
  if (!player_ || !midiOpen_ || !player_->Ended()) return;
  player_->SetUpdateInterval(0);
  PlayNextMidi();
}

// A failure of the music silences it for the rest of the show.
void SlideShowWindow::StopMusic() {
  if (!player_) return;
  player_->SetUpdateInterval(0);
  player_->Stop();
  midiOpen_ = false;
}

// ---- the end -----------------------------------------------------------------------

void SlideShowWindow::EndShow(const QString& message) {
  stopShow_ = true;
  reading_->stop();
  timer1_.stop();
  fadeTimer_.stop();
  if (!message.isEmpty()) context_.showMessage(message);
  if (mixer_) {  // the mixer's own loop still runs inside this window's key handler
    closeAfterMixer_ = true;
    mixer_->reject();
    return;
  }
  close();
}

void SlideShowWindow::closeEvent(QCloseEvent* event) {
  stopShow_ = true;
  Unload(true);
  event->accept();
}

// The screen saver returns only when the user's own setting does not keep it away.
void SlideShowWindow::Unload(bool announce) {
  if (unloaded_) return;
  unloaded_ = true;
  stopShow_ = true;
  reading_->stop();
  if (midiOpen_) StopMusic();
  if (context_.setScreenSaverActive) context_.setScreenSaverActive(!context_.options.disableScreenSaver);
  timer1_.stop();
  fadeTimer_.stop();
  unsetCursor();
  if (announce) emit ended();
}

}  // namespace lumaset
