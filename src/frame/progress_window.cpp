#include "frame/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace lumaset {

namespace {

constexpr int kWindowWidth = 360;

}  // namespace

// ---- the protocol ---------------------------------------------------------------

ProgressProtocol::ProgressProtocol(std::function<void()> yieldToEvents)
    : yieldToEvents_(std::move(yieldToEvents)) {}

void ProgressProtocol::Report(int percent, const QString& workText) {
  if (percent == 0) {
    Start(workText);
  } else if (percent == 100) {
    Finish();
  } else {
    Update(percent);
  }
}

void ProgressProtocol::Start(const QString& workText) {
  if (!InOperation()) cancelled_ = false;
  view_.barPercent = 0;
  view_.caption = QStringLiteral("Progress");
  view_.text = workText;
  // A later step of an operation the user has already cancelled stays out of sight.
  view_.shown = !cancelled_;
  view_.ownerDisabled = !cancelled_;
}

void ProgressProtocol::Update(int percent) {
  if (yieldToEvents_) yieldToEvents_();
  view_.barPercent = std::clamp(percent, 0, 100);
  view_.caption = QStringLiteral("Progress %1%").arg(percent);
  if (cancelled_) {
    view_.shown = false;
    view_.ownerDisabled = false;
  }
}

void ProgressProtocol::Finish() {
  view_.barPercent = 100;
  view_.caption = QStringLiteral("Progress 100%");
  view_.shown = false;
  view_.ownerDisabled = false;
}

void ProgressProtocol::BeginOperation() {
  if (depth_++ == 0) cancelled_ = false;
}

void ProgressProtocol::EndOperation() {
  if (depth_ > 0) --depth_;
  view_.shown = false;
  view_.ownerDisabled = false;
}

// ---- the window -------------------------------------------------------------------

ProgressWindow::ProgressWindow(QWidget* owner)
    : QDialog(owner),
      owner_(owner),
      protocol_([] { QCoreApplication::processEvents(); }) {
  setWindowTitle(QStringLiteral("Progress"));
  setFixedWidth(kWindowWidth);

  picProgress_ = new QProgressBar(this);
  picProgress_->setRange(0, 100);
  picProgress_->setValue(0);  // the bar starts empty
  picProgress_->setTextVisible(false);
  picProgress_->setAccessibleName(QStringLiteral("Progress"));
  lblProgressText_ = new QLabel(this);
  btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  connect(btnCancel_, &QPushButton::clicked, this, &ProgressWindow::btnCancel_Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(picProgress_);
  layout->addWidget(lblProgressText_);
  layout->addLayout(buttons);
}

// Never leaves the owner disabled behind it.
ProgressWindow::~ProgressWindow() {
  if (ownerHeld_ && owner_) owner_->setEnabled(true);
}

void ProgressWindow::Report(int percent, const QString& workText) {
  protocol_.Report(percent, workText);
  Apply();
}

void ProgressWindow::EndOperation() {
  protocol_.EndOperation();
  Apply();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  btnCancel_Click();
}

void ProgressWindow::reject() { btnCancel_Click(); }

void ProgressWindow::btnCancel_Click() { protocol_.Cancel(); }

void ProgressWindow::Apply() {
  const ProgressView& view = protocol_.View();
  setWindowTitle(view.caption);
  picProgress_->setValue(view.barPercent);
  lblProgressText_->setText(view.text);

  if (view.ownerDisabled && !ownerHeld_) {
    ownerHeld_ = true;
    if (owner_) owner_->setEnabled(false);
  }
  if (view.shown) {
    // Disabling the owner disables its windows too; this one must still take the Cancel click.
    setEnabled(true);
    if (!isVisible()) show();
    raise();
    repaint();
  } else if (isVisible()) {
    hide();
  }
  if (!view.ownerDisabled && ownerHeld_) {
    ownerHeld_ = false;
    if (owner_) {
      owner_->setEnabled(true);
      owner_->raise();
      owner_->activateWindow();
    }
  }
}

// ---- the imaging hook ---------------------------------------------------------------

Imaging::ProgressHandler MakeProgressHandler(ProgressWindow& window, const Imaging& imaging,
                                             std::function<void()> playEffectSound) {
  return [target = QPointer<ProgressWindow>(&window), &imaging,
          sound = std::move(playEffectSound)](int percent, bool& cancel) {
    if (percent == 0 && sound) sound();
    ProgressWindow* const shown = target.data();
    if (!shown) return;
    shown->Report(percent, percent == 0 ? imaging.InfoText() : QString());
    // The Cancel click arrives while Report yields, and may close the window.
    if (percent < 100 && target && shown->Cancelled()) cancel = true;
  };
}

}  // namespace lumaset
