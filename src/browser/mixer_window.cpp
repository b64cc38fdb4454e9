#include "browser/mixer_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

#include <utility>

#include "components/mixer_device.h"
#include "components/settings_store.h"
#include "frame/units.h"

namespace lumaset {

// The line list: dropping it down stops the window's timer, so the window
// never closes under an open list.
class MixerLineBox : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;

  void showPopup() override {
    emit droppedDown();
    QComboBox::showPopup();
  }

 signals:
  void droppedDown();
};

int MatchMixerLine(const QStringList& lines, const QString& source, int current) {
  // A line of exactly that name wins: choosing "Headphone" must not end on
  // "Headphone 1" at the next tick.
  if (const auto exact = lines.indexOf(source); exact >= 0) return static_cast<int>(exact);
  for (int i = 0; i < lines.size(); ++i)
    if (lines[i].contains(source, Qt::CaseSensitive)) current = i;
  return current;
}

MixerWindow::MixerWindow(std::unique_ptr<MixerDevice> mixer, QPoint topLeftTwips, QString source,
                         NamedSoundPlayer sounds, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      mixer_(std::move(mixer)),
      source_(std::move(source)),
      sounds_(std::move(sounds)) {
  BuildControls();
  Place(topLeftTwips);
  if (sounds_) sounds_(u"RestoreUp");
  tmrMix_.setInterval(kTickMs);
  connect(&tmrMix_, &QTimer::timeout, this, &MixerWindow::tmrMix_Timer);
  tmrMix_.start();
  if (mixer_ && mixer_->ReadyCheck1() && mixer_->ReadyCheck2()) MixerGet();
}

MixerWindow::~MixerWindow() {
  if (!unloaded_) done(QDialog::Rejected);
}

void MixerWindow::BuildControls() {
  setWindowTitle(QStringLiteral("Mixer"));
  setMouseTracking(true);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* border = new QFrame(this);
  border->setFrameStyle(QFrame::Box | QFrame::Plain);
  border->setMouseTracking(true);
  outer->addWidget(border);
  auto* column = new QVBoxLayout(border);

  cmbMixer_ = new MixerLineBox(border);
  cmbMixer_->setToolTip(QStringLiteral("Choose source"));
  cmbMixer_->setAccessibleName(QStringLiteral("Source"));
  column->addWidget(cmbMixer_);

  sldrVol_ = new QSlider(Qt::Horizontal, border);
  sldrVol_->setToolTip(QStringLiteral("Set volume"));
  sldrVol_->setAccessibleName(QStringLiteral("Volume"));
  sldrVol_->setRange(MixerDevice::kVolumeMinimum, MixerDevice::kVolumeMaximum);
  sldrVol_->setPageStep(10);
  sldrVol_->setMouseTracking(true);
  sldrVol_->installEventFilter(this);
  column->addWidget(sldrVol_);

  auto* row = new QHBoxLayout;
  chkMute_ = new QCheckBox(QStringLiteral("Mute"), border);
  cmdClose_ = new QPushButton(QStringLiteral("Close"), border);
  row->addWidget(chkMute_);
  row->addStretch();
  row->addWidget(cmdClose_);
  column->addLayout(row);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  connect(cmbMixer_, &MixerLineBox::droppedDown, &tmrMix_, &QTimer::stop);
  connect(cmbMixer_, &QComboBox::activated, this, &MixerWindow::LineChosen);
  connect(chkMute_, &QCheckBox::toggled, this, &MixerWindow::MuteClicked);
  connect(sldrVol_, &QSlider::valueChanged, this, &MixerWindow::VolumeMoved);
  connect(cmdClose_, &QPushButton::clicked, this, &QDialog::reject);
}

// The pointer goes to the window's corner, so that it shows even where a
// slide show hid it and the window counts as in use at once.
void MixerWindow::Place(QPoint topLeftTwips) {
  const QScreen* screen = this->screen();
  const double twipsPerPixel = TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96);
  const QPoint corner(TwipsToPixels(topLeftTwips.x(), twipsPerPixel),
                      TwipsToPixels(topLeftTwips.y(), twipsPerPixel));
  move(corner);
  setCursor(Qt::ArrowCursor);
  QCursor::setPos(corner);
}

QComboBox* MixerWindow::lineBox() const { return cmbMixer_; }

void MixerWindow::MixerGet() {
  if (!mixer_) return;
  const QString mixerName = mixer_->MixerName();
  if (mixerName.isEmpty()) {
    tmrMix_.stop();
    SetControlsEnabled(false);
    return;
  }
  TimerOn();
  SetControlsEnabled(true);
  if (mixerName != lastMixerName_) FillLines(mixerName);
  QStringList lines;
  for (int i = 0; i < cmbMixer_->count(); ++i) lines.append(cmbMixer_->itemText(i));
  const int current = mixer_->CurrentLine();
  const int matched = MatchMixerLine(lines, source_, current);
  if (matched != current) mixer_->SetCurrentLine(matched);
  ShowLine();
}

void MixerWindow::FillLines(const QString& mixerName) {
  lastMixerName_ = mixerName;
  const bool wasUpdating = std::exchange(updating_, true);
  cmbMixer_->clear();
  for (int i = 0; i < mixer_->LineCount(); ++i) cmbMixer_->addItem(mixer_->LineName(i));
  updating_ = wasUpdating;
}

// The current line's name becomes the source to store, as choosing it would.
void MixerWindow::ShowLine() {
  const bool wasUpdating = std::exchange(updating_, true);
  const int line = mixer_->CurrentLine();
  cmbMixer_->setCurrentIndex(line >= 0 && line < cmbMixer_->count() ? line : -1);
  if (cmbMixer_->currentIndex() >= 0) source_ = cmbMixer_->currentText();
  if (!sliderHeld_) sldrVol_->setValue(mixer_->Volume());
  sldrVol_->setEnabled(mixer_->HasVolume());
  chkMute_->setChecked(mixer_->Mute());
  chkMute_->setEnabled(mixer_->HasMute());
  updating_ = wasUpdating;
}

void MixerWindow::SetControlsEnabled(bool enabled) {
  cmbMixer_->setEnabled(enabled);
  sldrVol_->setEnabled(enabled);
  chkMute_->setEnabled(enabled);
}

void MixerWindow::TimerOn() {
  if (!tmrMix_.isActive()) tmrMix_.start();
}

void MixerWindow::tmrMix_Timer() {
  MixerGet();
  cmdClose_->setFocus();
  if (idle_.Tick()) reject();
}

// The chosen line takes over at once, so that the slider and the switch
// never act on the line that was shown before.
void MixerWindow::LineChosen(int index) {
  if (updating_ || index < 0) return;
  source_ = cmbMixer_->itemText(index);
  tmrMix_.start();
  MixerGet();
}

void MixerWindow::MuteClicked(bool checked) {
  if (updating_ || !mixer_) return;
  tmrMix_.stop();
  (void)mixer_->SetMute(checked);
  tmrMix_.start();
}

// A drag is written when the slider is let go; a move by keyboard, wheel or
// a click in the track is written as it happens.
void MixerWindow::VolumeMoved(int value) {
  if (updating_ || sliderHeld_ || !mixer_) return;
  idle_.Reset();
  (void)mixer_->SetVolume(value);
}

void MixerWindow::mouseMoveEvent(QMouseEvent* event) {
  idle_.Reset();
  QDialog::mouseMoveEvent(event);
}

bool MixerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == sldrVol_) {
    switch (event->type()) {
      case QEvent::MouseMove: idle_.Reset(); break;
      case QEvent::MouseButtonPress:
        tmrMix_.stop();
        idle_.Reset();
        sliderHeld_ = true;
        break;
      case QEvent::MouseButtonRelease:
        sliderHeld_ = false;
        // The release itself may still move the slider; the value is read after it.
        QTimer::singleShot(0, this, [this] {
          if (mixer_ && !unloaded_) (void)mixer_->SetVolume(sldrVol_->value());
          if (!unloaded_) tmrMix_.start();
        });
        break;
      default: break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void MixerWindow::done(int result) {
  if (!unloaded_) {
    unloaded_ = true;
    if (sounds_) sounds_(u"RestoreDown");
    tmrMix_.stop();
    mixer_.reset();
  }
  QDialog::done(result);
}

void ShowMixerWindow(QWidget* owner, SettingsStore& settings, const QString& defaultSource,
                     QPoint topLeftTwips, std::unique_ptr<MixerDevice> mixer,
                     const NamedSoundPlayer& sounds) {
  const QString key = QStringLiteral("MixerSource");
  MixerWindow window(std::move(mixer), topLeftTwips, settings.readSetting(key, defaultSource), sounds,
                     owner);
  window.exec();
  settings.writeSetting(key, window.OptMixerSource());
}

}  // namespace lumaset

#include "mixer_window.moc"
