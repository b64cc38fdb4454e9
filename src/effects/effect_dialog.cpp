#include "effects/effect_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QStyleOptionButton>
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
#include "frame/about_box.h"
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

std::vector<QRect> PushApart(const std::vector<QRect>& design, std::vector<QRect> grown, int gap) {
  const std::size_t count = std::min(design.size(), grown.size());
  grown.resize(count);
  // Side by side: rows that overlap, columns that do not.
  const auto sideBySide = [&design](std::size_t a, std::size_t b) {
    return design[a].top() <= design[b].bottom() && design[b].top() <= design[a].bottom() &&
           (design[a].right() < design[b].left() || design[b].right() < design[a].left());
  };
  std::vector<std::size_t> order(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = i;

  // Across: from the left, each control clears the ones left of it in its row.
  std::stable_sort(order.begin(), order.end(),
                   [&design](std::size_t a, std::size_t b) { return design[a].left() < design[b].left(); });
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t i = order[k];
    for (std::size_t m = 0; m < k; ++m) {
      const std::size_t j = order[m];
      if (!sideBySide(i, j) || design[j].left() >= design[i].left()) continue;
      if (grown[j].right() >= grown[i].left()) grown[i].moveLeft(grown[j].right() + 1 + gap);
    }
  }

  // Down: rows from the top; what a row moves, every row below moves too.
  std::stable_sort(order.begin(), order.end(),
                   [&design](std::size_t a, std::size_t b) { return design[a].top() < design[b].top(); });
  int shift = 0;
  for (std::size_t k = 0; k < count;) {
    std::size_t end = k;
    while (end < count && design[order[end]].top() == design[order[k]].top()) ++end;
    int extra = 0;
    for (std::size_t r = k; r < end; ++r) {
      const std::size_t i = order[r];
      grown[i].translate(0, shift);
      for (std::size_t m = 0; m < k; ++m) {
        const std::size_t j = order[m];
        if (sideBySide(i, j) || !grown[j].intersects(grown[i])) continue;
        extra = std::max(extra, grown[j].bottom() + 1 + gap - grown[i].top());
      }
    }
    for (std::size_t r = k; r < end; ++r) grown[order[r]].translate(0, extra);
    shift += extra;
    k = end;
  }
  return grown;
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

// A dialog as every other of the program's, with no minimise or maximise
// button: the window manager keeps its title bar on the screen, which it does
// not do for a tool window.
EffectDialog::EffectDialog(Imaging& original, DialogServices services, const FrameSpec& spec)
    : QDialog(services.parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      original_(original),
      services_(std::move(services)),
      spec_(spec),
      twipsPerPixel_(TwipsPerPixel(logicalDpiX())) {
  setWindowTitle(spec.caption);
  setModal(true);
  resize(Pixels(spec.client.width()), Pixels(spec.client.height()));

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

Status EffectDialog::Setup() {
  // The copy is made for the screen's own pixels, so that a sharp screen
  // shows it sharp; the box keeps its size in layout pixels.
  previewScale_ = std::max(devicePixelRatioF(), 1.0);
  const int frame = picPreview_->frameWidth();
  const QSize inner(Pixels(spec_.preview.width()) - 2 * frame, Pixels(spec_.preview.height()) - 2 * frame);
  const QSize innerPixels(static_cast<int>(std::lround(inner.width() * previewScale_)),
                          static_cast<int>(std::lround(inner.height() * previewScale_)));
  if (Status loaded = copy_.Load(original_, innerPixels, Proportions(), CopyUndoLevels()); !loaded) return loaded;
  // The box fits the copy exactly and keeps that size.
  const QImage picture = copy_.imaging().GetPicture();
  boxPixels_ = picture.size();
  picPreview_->resize(static_cast<int>(std::ceil(picture.width() / previewScale_)) + 2 * frame,
                      static_cast<int>(std::ceil(picture.height() / previewScale_)) + 2 * frame);
  ShowPicture(picture);

  layout_ = LayOutFrame(PixelsToTwips(picPreview_->width(), twipsPerPixel_),
                        PixelsToTwips(picPreview_->height(), twipsPerPixel_), spec_.minHeight);
  resize(Pixels(layout_.formWidth), Pixels(layout_.formHeight - kOuterFrame));
  btnCancel_->move(btnCancel_->x(), Pixels(layout_.buttonTop));
  btnApply_->move(btnApply_->x(), Pixels(layout_.buttonTop));
  cmdHelp_->move(cmdHelp_->x(), Pixels(layout_.helpTop));
  AfterSetup();
  FitToText();
  // The dialog opens on the first control of its tab order that takes focus.
  const auto first = std::find_if(tabOrder_.begin(), tabOrder_.end(), [](const QWidget* widget) {
    return widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) != 0;
  });
  if (first != tabOrder_.end()) (*first)->setFocus(Qt::TabFocusReason);
  return Status::success();
}

void EffectDialog::ReserveTexts(QWidget* control, const std::function<QString(int)>& text, const QScrollBar* bar) {
  ReserveTexts(control, {text(bar->minimum()), text(bar->maximum())});
}

QSize EffectDialog::TextSize(QWidget* control) const {
  QStringList texts = reserved_.value(control);
  if (auto* label = qobject_cast<QLabel*>(control)) texts << label->text();
  auto* button = qobject_cast<QAbstractButton*>(control);
  if (button) texts << button->text();
  texts.removeAll(QString());
  if (texts.isEmpty()) return {};
  const QFontMetrics metrics = control->fontMetrics();
  QSize text;
  for (const QString& each : texts) text = text.expandedTo(metrics.size(Qt::TextShowMnemonic, each));
  if (auto* box = qobject_cast<QCheckBox*>(control)) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = texts.first();  // a box with a text has room for its label spacing
    return box->style()->sizeFromContents(QStyle::CT_CheckBox, &option, text, box);
  }
  if (button) {
    // The style's frame and margins round the text, without the minimum
    // width some styles prefer for push buttons.
    const int frame = 2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    const int margin = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
    return text + QSize(frame + margin, frame + 2);
  }
  const QMargins margins = control->contentsMargins();
  return text + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void EffectDialog::FitToText() {
  constexpr int kGap = 4;
  // Each control's present place, and that place grown to fit its text.
  const auto place = [this](const std::vector<QWidget*>& controls, int down) {
    std::vector<QRect> design;
    std::vector<QRect> grown;
    for (QWidget* control : controls) {
      design.push_back(control->geometry().translated(0, down));
      grown.push_back(QRect(control->pos() + QPoint(0, down), control->size().expandedTo(TextSize(control))));
    }
    const std::vector<QRect> placed = PushApart(design, grown, kGap);
    QRect bounds;
    for (std::size_t i = 0; i < controls.size(); ++i) {
      controls[i]->setGeometry(placed[i]);
      bounds |= placed[i];
    }
    return bounds;
  };
  // The controls beside the preview, then the bottom row below all of them.
  std::vector<QWidget*> controls;
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide)) continue;
    if (child == picPreview_ || child == btnCancel_ || child == btnApply_ || child == cmdHelp_) continue;
    controls.push_back(child);
  }
  const QRect column = place(controls, 0);
  picPreview_->move(std::max(picPreview_->x(), column.right() + 1 + kGap), picPreview_->y());
  const int down = std::max(0, column.bottom() + 1 + kGap - cmdHelp_->y());
  const QRect row = place({cmdHelp_, btnCancel_, btnApply_}, down);

  const QRect all = column | row | picPreview_->geometry();
  const QSize needed(std::max(width(), all.right() + 1 + kGap), std::max(height(), all.bottom() + 1 + kGap));
  setMinimumSize(needed);
  resize(needed);
}

void EffectDialog::ShowPicture(const QImage& picture) {
  QPixmap shown = QPixmap::fromImage(picture);
  shown.setDevicePixelRatio(previewScale_);
  picPreview_->setPixmap(shown);
}

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
    ShowMessageBox(this, QMessageBox::Warning, windowTitle(), status.error(), QMessageBox::Ok);
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
      ShowMessageBox(parentWidget(), QMessageBox::Warning, source, ApplyErrorText(done.error()), QMessageBox::Ok);
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
