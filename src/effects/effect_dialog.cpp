#include "effects/effect_dialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <utility>

#include "components/theme_icons.h"
#include "effects/effect_frame.h"
#include "frame/progress_window.h"
#include "frame/units.h"

namespace lumaset {

namespace {

constexpr int kHeightAllowance = 480;  // below the box, title bar included
constexpr int kWidthAllowance = 2000;  // the controls left of the box
constexpr int kButtonMargin = 420;
constexpr int kHelpRaise = 60;
constexpr int kOuterFrame = 390;  // title bar and borders of the outer window
constexpr int kHelpTopic = 19;

}  // namespace

int PreviewTarget(QSize picture, QSize boxInner) {
  const int side = picture.width() < picture.height() ? boxInner.height() : boxInner.width();
  return std::min(side, kPreviewMaxSide);
}

FrameLayout LayOutFrame(int boxWidth, int boxHeight, int minHeight, int buttonHeight) {
  FrameLayout layout;
  layout.formHeight = std::max(boxHeight + kHeightAllowance, minHeight);
  layout.formWidth = boxWidth + kWidthAllowance;
  layout.buttonTop = layout.formHeight - buttonHeight - kButtonMargin;
  layout.helpTop = layout.buttonTop - kHelpRaise;
  return layout;
}

// ---- the preview copy -------------------------------------------------------------

Status PreviewCopy::Load(const Imaging& original, QSize boxInner, QSize proportions, int undoLevels) {
  copy_ = std::make_unique<Imaging>();
  copy_->setProgressEnabled(false);
  // A copy this small is done before worker threads would have started.
  copy_->setWorkerThreads(1);
  // The full-size picture is not kept as an earlier state of the copy.
  copy_->UndoLevels(0);
  if (Status loaded = copy_->LoadFromImgX(original); !loaded) return loaded;
  if (Status shrunk = copy_->ImgResize(std::max(PreviewTarget(proportions, boxInner), 1)); !shrunk) return shrunk;
  copy_->UndoLevels(undoLevels);
  return Status::success();
}

Result<QImage> PreviewCopy::Preview(const std::function<Status(Imaging&)>& effect) {
  if (!copy_) return Error{QStringLiteral("No picture is loaded.")};
  if (Status done = effect(*copy_); !done) return Error{done.error(), done.cancelled()};
  QImage shown = copy_->GetPicture();
  if (Status back = copy_->UndoLast(); !back) return Error{back.error()};
  return shown;
}

// ---- the window -------------------------------------------------------------------

EffectDialog::EffectDialog(Imaging& original, DialogServices services, const FrameSpec& spec)
    : QDialog(services.parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      original_(original),
      services_(std::move(services)),
      spec_(spec),
      twipsPerPixel_(TwipsPerPixel(logicalDpiX())) {
  setWindowTitle(spec.caption);
  setModal(true);
  setFixedSize(Pixels(spec.client.width()), Pixels(spec.client.height()));

  picPreview_ = new QLabel(this);
  picPreview_->setObjectName(QStringLiteral("picPreview"));
  picPreview_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picPreview_->setLineWidth(1);
  picPreview_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  picPreview_->setAccessibleName(QStringLiteral("Preview"));
  Place(picPreview_, spec.preview.x(), spec.preview.y(), spec.preview.width(), spec.preview.height());

  btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel_->setObjectName(QStringLiteral("btnCancel"));
  btnCancel_->setToolTip(QStringLiteral("Exit without changes"));
  btnApply_ = new QPushButton(QStringLiteral("&Apply"), this);
  btnApply_->setObjectName(QStringLiteral("btnApply"));
  btnApply_->setToolTip(QStringLiteral("Commit changes"));
  for (QPushButton* button : {btnCancel_, btnApply_}) {
    button->setAutoDefault(false);
    button->setAccessibleName(button->text().remove(QLatin1Char('&')));
    button->setAccessibleDescription(button->toolTip());
  }
  (spec.applyIsDefault ? btnApply_ : btnCancel_)->setDefault(true);
  Place(btnCancel_, spec.cancelLeft, spec.buttonTop, 650, 300);
  Place(btnApply_, spec.applyLeft, spec.buttonTop, 650, 300);

  cmdHelp_ = new QToolButton(this);
  cmdHelp_->setObjectName(QStringLiteral("cmdHelp"));
  cmdHelp_->setIcon(ThemeIcon({"help-contents", "help-browser"}, QStyle::SP_DialogHelpButton));
  cmdHelp_->setToolTip(QStringLiteral("Help"));
  cmdHelp_->setAccessibleName(QStringLiteral("Help"));
  Place(cmdHelp_, 60, spec.helpTop, 300, 375);

  connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnApply_, &QPushButton::clicked, this, &EffectDialog::btnApply_Click);
  connect(cmdHelp_, &QToolButton::clicked, this, [this] {
    if (services_.showHelp) services_.showHelp(kHelpTopic);
  });

  PlaySound(Sound::Open, Wait::No);
}

EffectDialog::~EffectDialog() = default;

int EffectDialog::Pixels(int twips) const { return TwipsToPixels(twips, twipsPerPixel_); }

void EffectDialog::Place(QWidget* widget, int left, int top, int width, int height) const {
  widget->setGeometry(Pixels(left), Pixels(top), Pixels(width), Pixels(height));
}

QScrollBar* EffectDialog::MakeBar(const QString& name, QRect twips, int minimum, int maximum, int small, int large,
                                  int value) {
  auto* bar = new QScrollBar(Qt::Horizontal, this);
  // Scroll bars take no focus unless told: without it no key could move them.
  bar->setFocusPolicy(Qt::StrongFocus);
  // A scroll bar's keys are turned round by default (Right lowers the value);
  // these bars set values, so Right and Up raise them as on a slider.
  bar->setInvertedControls(false);
  bar->setAccessibleName(name);
  bar->setRange(minimum, maximum);
  bar->setSingleStep(small);
  bar->setPageStep(large);
  bar->setValue(value);
  Place(bar, twips.x(), twips.y(), twips.width(), twips.height());
  return bar;
}

QLabel* EffectDialog::MakeLabel(const QString& text, QRect twips) {
  auto* label = new QLabel(text, this);
  label->setAccessibleName(text);
  Place(label, twips.x(), twips.y(), twips.width(), twips.height());
  return label;
}

QCheckBox* EffectDialog::MakeCheck(const QString& text, QRect twips, bool checked) {
  auto* box = new QCheckBox(text, this);
  box->setChecked(checked);
  box->setAccessibleName(text);
  Place(box, twips.x(), twips.y(), twips.width(), twips.height());
  return box;
}

QPushButton* EffectDialog::MakeButton(const QString& text, const QString& tip, QRect twips, const QString& name) {
  auto* button = new QPushButton(text, this);
  button->setAutoDefault(false);
  button->setToolTip(tip);
  button->setAccessibleName(name.isEmpty() ? QString(text).remove(QLatin1Char('&')) : name);
  button->setAccessibleDescription(tip);
  Place(button, twips.x(), twips.y(), twips.width(), twips.height());
  return button;
}

void EffectDialog::SetTabOrder(std::initializer_list<QWidget*> order) {
  tabOrder_.assign(order.begin(), order.end());
  QWidget* previous = nullptr;
  for (QWidget* widget : order) {
    if (previous) setTabOrder(previous, widget);
    previous = widget;
  }
}

QSize EffectDialog::BoxInner() const {
  const int frame = picPreview_->frameWidth();
  return {picPreview_->width() - 2 * frame, picPreview_->height() - 2 * frame};
}

Status EffectDialog::Setup() {
  const QSize inner(Pixels(spec_.preview.width()) - 2 * picPreview_->frameWidth(),
                    Pixels(spec_.preview.height()) - 2 * picPreview_->frameWidth());
  if (Status loaded = copy_.Load(original_, inner, Proportions(), CopyUndoLevels()); !loaded) return loaded;
  // The box fits the copy exactly and keeps that size.
  const QImage picture = copy_.imaging().GetPicture();
  const int frame = picPreview_->frameWidth();
  picPreview_->resize(picture.width() + 2 * frame, picture.height() + 2 * frame);
  ShowPicture(picture);

  layout_ = LayOutFrame(PixelsToTwips(picPreview_->width(), twipsPerPixel_),
                        PixelsToTwips(picPreview_->height(), twipsPerPixel_), spec_.minHeight);
  setFixedSize(Pixels(layout_.formWidth), Pixels(layout_.formHeight - kOuterFrame));
  btnCancel_->move(btnCancel_->x(), Pixels(layout_.buttonTop));
  btnApply_->move(btnApply_->x(), Pixels(layout_.buttonTop));
  cmdHelp_->move(cmdHelp_->x(), Pixels(layout_.helpTop));
  AfterSetup();
  // The dialog opens on the first control of its tab order that takes focus.
  const auto first = std::find_if(tabOrder_.begin(), tabOrder_.end(), [](const QWidget* widget) {
    return widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) != 0;
  });
  if (first != tabOrder_.end()) (*first)->setFocus(Qt::TabFocusReason);
  return Status::success();
}

void EffectDialog::ShowPicture(const QImage& picture) { picPreview_->setPixmap(QPixmap::fromImage(picture)); }

void EffectDialog::RefreshPreview() {
  const Result<QImage> shown = copy_.Preview([this](Imaging& imaging) { return Effect(imaging); });
  if (!shown) {
    ReportPreviewError(Error{shown.error(), shown.cancelled()});
    return;
  }
  ShowPicture(*shown);
}

void EffectDialog::ReportPreviewError(const Status& status) {
  if (status.ok() || status.cancelled()) return;
  if (services_.showError) {
    services_.showError(this, windowTitle(), status.error());
  } else {
    QMessageBox::warning(this, windowTitle(), status.error());
  }
}

std::optional<QColor> EffectDialog::PickColor(QColor initial) {
  if (services_.pickColor) return services_.pickColor(this, initial);
  const QColor chosen = QColorDialog::getColor(initial, this);
  return chosen.isValid() ? std::optional<QColor>(chosen) : std::nullopt;
}

QString ApplyErrorText(const QString& description) {
  return QStringLiteral("Error: \n\n") + description;
}

// The effect runs once at full size. A Cancel of this run, and only of this
// run, leaves the effect unapplied.
void EffectDialog::btnApply_Click() {
  applied_ = false;
  copy_.Release();
  hide();
  Status done;
  bool cancelled = false;
  {
    std::optional<ProgressScope> scope;
    if (services_.progress) scope.emplace(*services_.progress);
    original_.setProgressEnabled(true);
    done = ApplyEffect(original_);
    original_.setProgressEnabled(false);
    cancelled = done.cancelled() || (scope && scope->Cancelled());
  }
  applied_ = done.ok() && !cancelled;
  if (!done.ok() && !done.cancelled()) {
    const QString source = windowTitle();  // the operation's own name may be a stale one
    if (services_.showError) {
      services_.showError(parentWidget(), source, ApplyErrorText(done.error()));
    } else {
      QMessageBox::warning(parentWidget(), source, ApplyErrorText(done.error()));
    }
  }
  accept();
}

// Every way out, the title bar's close button included, ends here; anything
// but Apply leaves the effect unapplied.
void EffectDialog::done(int result) {
  if (result != QDialog::Accepted) applied_ = false;
  copy_.Release();
  if (!closed_) {
    closed_ = true;
    PlaySound(Sound::Close, Wait::Yes);
  }
  QDialog::done(result);
}

void EffectDialog::PlaySound(Sound sound, Wait wait) const {
  if (services_.playSound) services_.playSound(sound, wait);
}

void ConnectBar(QScrollBar* bar, const std::function<void(int)>& scroll, const std::function<void(int)>& change) {
  QObject::connect(bar, &QScrollBar::valueChanged, bar, [bar, scroll, change](int value) {
    if (bar->isSliderDown()) {
      if (scroll) scroll(value);
    } else if (change) {
      change(value);
    }
  });
  QObject::connect(bar, &QScrollBar::sliderReleased, bar, [bar, change] {
    if (change) change(bar->value());
  });
}

Status ShowEffectDialog(EffectDialog& dialog) {
  if (Status ready = dialog.Setup(); !ready) return ready;
  dialog.exec();
  return dialog.EffectApplied() ? Status::success() : Declined();
}

}  // namespace lumaset
