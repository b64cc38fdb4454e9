// The emboss dialog and the colour replace dialog: colours picked from the
// colour dialog or from the preview, directions and zoom.

#include <QButtonGroup>
#include <QKeyEvent>
#include <QCheckBox>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>

#include "components/imaging/pixels/dialog_pixels.h"
#include "components/imaging/pixels/imaging_effects.h"
#include "components/theme_icons.h"
#include "effects/effect_dialogs.h"
#include "frame/about_box.h"

namespace lumaset {

namespace {

FrameSpec EmbossFrame() {
  FrameSpec spec;
  spec.caption = QStringLiteral("Emboss");
  spec.minHeight = 4455;
  spec.client = {5895, 4140};
  spec.preview = {1800, 60, 4000, 4000};
  spec.cancelLeft = 360;
  spec.applyLeft = 1080;
  spec.buttonTop = 3720;
  spec.helpTop = 3660;
  return spec;
}

FrameSpec ColorReplaceFrame() {
  FrameSpec spec;
  spec.caption = QStringLiteral("Replace Color");
  spec.minHeight = 4095;
  spec.client = {6170, 4320};
  spec.preview = {1860, 60, 4200, 4200};
  spec.buttonTop = 3420;
  spec.helpTop = 3360;
  spec.applyIsDefault = false;
  return spec;
}

// An arrow from the centre of a square towards the corner (dx, dy), each -1 or 1.
QIcon DiagonalArrow(int dx, int dy, const QColor& ink) {
  constexpr int kSide = 32;
  QPixmap pixmap(kSide, kSide);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  // Drawn pointing to the bottom right, then turned to the wanted corner.
  painter.translate(kSide / 2.0, kSide / 2.0);
  painter.scale(dx, dy);
  painter.setPen(QPen(ink, 3, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPointF(-8, -8), QPointF(7, 7));
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink);
  painter.drawPolygon(QPolygonF({QPointF(13, 13), QPointF(1, 13), QPointF(13, 1)}));
  painter.end();
  return QIcon(pixmap);
}

}  // namespace

// ---- emboss ---------------------------------------------------------------------

EmbossDialog::EmbossDialog(Imaging& original, DialogServices services)
    : EffectDialog(original, std::move(services), EmbossFrame()) {
  MakeLabel(QStringLiteral("Direction:"), {600, 60, 675, 195});
  static constexpr int kColumns[3] = {90, 590, 1080};
  static constexpr int kRows[3] = {300, 800, 1290};
  static const char* const kPlaces[8] = {"Top left",    "Top middle", "Top right",     "Middle left",
                                         "Middle right", "Bottom left", "Bottom middle", "Bottom right"};
  auto* group = new QButtonGroup(this);
  for (int index = 0; index < 8; ++index) {
    const int cell = index < 4 ? index : index + 1;  // the centre stays empty
    auto* button = new QToolButton(this);
    button->setCheckable(true);
    button->setToolTip(QStringLiteral("Select emboss offset"));
    button->setAccessibleName(QString::fromLatin1(kPlaces[index]));
    button->setAccessibleDescription(button->toolTip());
    Place(button, kColumns[cell % 3], kRows[cell / 3], 495, 495);
    group->addButton(button, index);
    optDirection[static_cast<std::size_t>(index)] = button;
  }
  optDirection[0]->setChecked(true);
  // Corner buttons show an arrow along their diagonal; the others are plain.
  const QColor ink = palette().color(QPalette::ButtonText);
  for (const int corner : {0, 2, 5, 7}) {
    int dx = 0;
    int dy = 0;
    EmbossState::Offset(corner, dx, dy);
    QToolButton* button = optDirection[static_cast<std::size_t>(corner)];
    button->setIcon(DiagonalArrow(dx, dy, ink));
    button->setIconSize(QSize(Pixels(300), Pixels(300)));
  }
  // The chosen direction is the group's one stop of Tab; the arrow keys move
  // the choice across the grid.
  connect(group, &QButtonGroup::idToggled, this, [this](int index, bool on) {
    optDirection[static_cast<std::size_t>(index)]->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
    if (!on) return;
    state_.SetDirection(index);
    RefreshPreview();
  });
  for (QToolButton* button : optDirection) {
    button->setFocusPolicy(button->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    button->installEventFilter(this);
  }

  MakeLabel(QStringLiteral("Base Color:"), {90, 1920, 810, 195});
  btnColor = MakeButton(QString(), QStringLiteral("Select embossing color"), {960, 1860, 615, 285},
                        QStringLiteral("Base color"));
  SetSwatchColor(btnColor, base_);
  static const char* const kChannels[3] = {"Red Channel", "Green Channel", "Blue Channel"};
  static constexpr int kChannelWidths[3] = {1455, 1455, 1395};
  for (int k = 0; k < 3; ++k) {
    QCheckBox* box = MakeCheck(QString::fromLatin1(kChannels[k]), {90, 2220 + 240 * k, kChannelWidths[k], 225}, true);
    connect(box, &QCheckBox::toggled, this, &EmbossDialog::ChannelsClicked);
    chkChannels[static_cast<std::size_t>(k)] = box;
  }
  chkOtherChannels = MakeCheck(QStringLiteral("Set Other Channels To:"), {90, 2940, 1455, 435}, false);
  scrOtherChannels = MakeBar(QStringLiteral("Other channels value"), {90, 3420, 1485, 150}, 0, 255, 1, 1, 0);
  SyncOther();
  connect(chkOtherChannels, &QCheckBox::toggled, this, &EmbossDialog::OtherClicked);
  ConnectBar(scrOtherChannels, {}, [this](int value) {
    state_.SetOtherBar(value);
    RefreshPreview();
  });
  SetTabOrder({btnCancel(), btnApply(), btnColor, optDirection[7], optDirection[1], optDirection[5], optDirection[3],
               optDirection[4], optDirection[2], optDirection[6], optDirection[0], chkChannels[0], chkChannels[1],
               chkChannels[2], chkOtherChannels, scrOtherChannels, cmdHelp()});
  connect(btnColor, &QPushButton::clicked, this, [this] {
    const std::optional<QColor> picked = PickColor(QColor(base_));
    if (!picked) return;
    base_ = picked->rgb();
    SetSwatchColor(btnColor, base_);
    RefreshPreview();
  });
}

bool EmbossDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto found = std::find(optDirection.begin(), optDirection.end(), watched);
    const int key = static_cast<QKeyEvent*>(event)->key();
    const int dx = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
    const int dy = key == Qt::Key_Up ? -1 : key == Qt::Key_Down ? 1 : 0;
    if (found != optDirection.end() && (dx != 0 || dy != 0)) {
      const int next = EmbossState::Neighbour(static_cast<int>(found - optDirection.begin()), dx, dy);
      if (next >= 0) {
        QToolButton* button = optDirection[static_cast<std::size_t>(next)];
        button->setChecked(true);
        button->setFocus(Qt::TabFocusReason);
      }
      return true;
    }
  }
  return EffectDialog::eventFilter(watched, event);
}

Status EmbossDialog::Effect(Imaging& imaging) {
  return ImgEmboss(imaging, state_.dx(), state_.dy(), base_, state_.mask(), state_.EffectOther());
}

void EmbossDialog::SyncOther() {
  const QSignalBlocker quiet(chkOtherChannels);
  chkOtherChannels->setChecked(state_.otherChecked());
  chkOtherChannels->setEnabled(state_.OtherEnabled());
  scrOtherChannels->setEnabled(state_.otherChecked());
}

void EmbossDialog::ChannelsClicked() {
  state_.SetChannels(chkChannels[0]->isChecked(), chkChannels[1]->isChecked(), chkChannels[2]->isChecked());
  SyncOther();
  RefreshPreview();
}

void EmbossDialog::OtherClicked() {
  state_.SetOtherChecked(chkOtherChannels->isChecked(), scrOtherChannels->value());
  SyncOther();
  RefreshPreview();
}

// ---- colour replace -------------------------------------------------------------------

ColorReplaceDialog::ColorReplaceDialog(Imaging& original, DialogServices services)
    : EffectDialog(original, std::move(services), ColorReplaceFrame()),
      view_(QSize(original.PixelWidth(), original.PixelHeight())) {
  const auto mode = [this](const QString& tip, const QIcon& icon, QRect twips) {
    auto* button = new QToolButton(this);
    button->setCheckable(true);
    button->setIcon(icon);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    Place(button, twips.x(), twips.y(), twips.width(), twips.height());
    return button;
  };
  cmdZoom = mode(QStringLiteral("Zoom in on area to replace color"),
                 ThemeIcon({"zoom-in", "edit-find"}, QStyle::SP_FileDialogContentsView), {240, 60, 1305, 375});
  cmdSel = mode(QStringLiteral("Select old color (left click) and new color (right click)"),
                ThemeIcon({"color-select", "color-picker"}, QStyle::SP_ArrowUp), {240, 480, 1305, 375});
  labTol = MakeLabel(QStringLiteral("Tolerance = 5%"), {240, 900, 1305, 195});
  scrTol = MakeBar(QStringLiteral("Tolerance"), {240, 1140, 1300, 150}, 0, 230, 8, 40, 38);
  btnOld = MakeButton(QStringLiteral("Old Color"), QStringLiteral("Color to be replaced"), {240, 1380, 1305, 240});
  labCol = MakeLabel(QString(), {240, 1680, 1305, 195});
  labCol->setToolTip(QStringLiteral("Current color"));
  labCol->setAccessibleName(QStringLiteral("Current color"));
  labCol->setAutoFillBackground(true);
  btnNew = MakeButton(QStringLiteral("New Color"), QStringLiteral("New color"), {240, 1920, 1305, 240});
  cmdReplace = MakeButton(QStringLiteral("Replace"), QStringLiteral("Perform replace"), {240, 2220, 1300, 525});
  cmdUndo = MakeButton(QStringLiteral("Undo"), QStringLiteral("Undo replace"), {240, 2745, 1300, 300});
  btnReset = MakeButton(QStringLiteral("Reset"), QStringLiteral("Reset to original"), {240, 3060, 1300, 300});
  cmdUndo->setEnabled(false);
  btnApply()->setEnabled(false);
  SetSwatchColor(btnOld, old_);
  SetSwatchColor(btnNew, new_);
  SetTabOrder({cmdZoom, cmdSel, scrTol, btnOld, btnNew, cmdReplace, cmdUndo, btnReset, btnCancel(), btnApply(),
               cmdHelp()});
  picPreview()->setMouseTracking(true);
  picPreview()->setCursor(Qt::CrossCursor);
  picPreview()->installEventFilter(this);

  // A mode follows its button's state, however the button was switched.
  connect(cmdSel, &QToolButton::toggled, this, [this](bool on) {
    if (on != (view_.mode() == MouseMode::Select)) view_.ClickSelect();
    ShowModes();
  });
  connect(cmdZoom, &QToolButton::toggled, this, [this](bool on) {
    if (on != (view_.mode() == MouseMode::Zoom)) view_.ClickZoom();
    ShowModes();
  });
  const auto tolerance = [this](int value) {
    labTol->setText(ToleranceLabel(value));
    labTol->setAccessibleName(labTol->text());
  };
  ConnectBar(scrTol, tolerance, tolerance);
  ReserveTexts(labTol, &ToleranceLabel, scrTol);
  const auto panel = [this](QPushButton* button, QRgb& color) {
    connect(button, &QPushButton::clicked, this, [this, button, &color] {
      const std::optional<QColor> picked = PickColor(QColor());
      if (!picked) return;
      color = picked->rgb();
      SetSwatchColor(button, color);
    });
  };
  panel(btnOld, old_);
  panel(btnNew, new_);
  connect(cmdReplace, &QPushButton::clicked, this, &ColorReplaceDialog::cmdReplace_Click);
  connect(cmdUndo, &QPushButton::clicked, this, &ColorReplaceDialog::cmdUndo_Click);
  connect(btnReset, &QPushButton::clicked, this, &ColorReplaceDialog::btnReset_Click);
}

// The preview and Apply replace by one and the same rule: the preview on the
// copy, which shows the zoomed area, Apply on that area of the picture.
Status ColorReplaceDialog::Effect(Imaging& imaging) {
  return ImgReplaceInArea(imaging, QRect(0, 0, imaging.PixelWidth(), imaging.PixelHeight()), old_, new_,
                          scrTol->value());
}

Status ColorReplaceDialog::ApplyEffect(Imaging& original) {
  return ImgReplaceInArea(original, view_.area(), old_, new_, scrTol->value());
}

void ColorReplaceDialog::ShowModes() {
  const QSignalBlocker quietSel(cmdSel);
  const QSignalBlocker quietZoom(cmdZoom);
  cmdSel->setChecked(view_.mode() == MouseMode::Select);
  cmdZoom->setChecked(view_.mode() == MouseMode::Zoom);
}

// Previews add up: a second Replace works on the first one's result, and
// Undo takes back the last.
void ColorReplaceDialog::cmdReplace_Click() {
  copy().imaging().UndoLevels(1);
  setCursor(Qt::WaitCursor);
  const Status done = Effect(copy().imaging());
  unsetCursor();
  if (!done) {
    ReportPreviewError(done);
    return;
  }
  ShowPicture(copy().imaging().GetPicture());
  SetSwatchColor(labCol, new_);
  cmdUndo->setEnabled(true);
  view_.ModesOff();
  ShowModes();
  btnApply()->setEnabled(true);
}

void ColorReplaceDialog::cmdUndo_Click() {
  if (const Status back = copy().imaging().UndoLast(); !back) ReportPreviewError(back);
  ShowPicture(copy().imaging().GetPicture());
  cmdUndo->setEnabled(false);
}

// The copy shows the zoomed area of the picture, fitted by the whole picture's
// proportions. The copy starts afresh, so there is no Replace left to undo.
Status ColorReplaceDialog::LoadView() {
  Imaging& prev = copy().imaging();
  prev.UndoLevels(0);
  cmdUndo->setEnabled(false);
  if (Status loaded = prev.LoadFromImgX(original()); !loaded) return loaded;
  const QRect area = view_.area();
  if (area != QRect(QPoint(0, 0), view_.full())) {
    if (Status cut = prev.ImgCrop(area.x(), area.y(), area.width(), area.height()); !cut) return cut;
  }
  const Status shrunk = prev.ImgResize(std::max(PreviewTarget(view_.full(), BoxInner()), 1));
  if (shrunk) ShowPicture(prev.GetPicture());
  return shrunk;
}

void ColorReplaceDialog::btnReset_Click() {
  view_.ModesOff();
  ShowModes();
  view_.Reset();
  ReportPreviewError(LoadView());
}

void ColorReplaceDialog::PreviewMouseMove(QPointF at) {
  if (view_.mode() == MouseMode::Select) {
    const Result<QRgb> color = copy().imaging().PixelColor(qRound(at.x()), qRound(at.y()));
    if (color) SetSwatchColor(labCol, *color);
  }
  picPreview()->setCursor(view_.mode() == MouseMode::Zoom ? Qt::PointingHandCursor : Qt::CrossCursor);
  picPreview()->setToolTip(view_.Tooltip(at, BoxInner()));
}

void ColorReplaceDialog::PreviewMouseUp(Qt::MouseButton button, QPointF at) {
  if (view_.mode() == MouseMode::Select) {
    const QRgb picked = PickNine(copy().imaging().GetPicture(), at);
    if (button == Qt::LeftButton) {
      old_ = picked;
      SetSwatchColor(btnOld, old_);
    } else {
      new_ = picked;
      SetSwatchColor(btnNew, new_);
    }
  } else if (view_.mode() == MouseMode::Zoom) {
    if (!view_.Zoom(button == Qt::LeftButton, at, BoxInner())) return;
    if (const Status shown = LoadView(); !shown) {
      ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Lumaset"), QStringLiteral("Crop/Resize error: ") + shown.error(),
                     QMessageBox::Ok);
    }
  }
}

bool ColorReplaceDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == picPreview() && (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease)) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    // In pixels of the preview copy, which may be finer than the layout's.
    const QPointF at =
        (mouse->position() - QPointF(picPreview()->frameWidth(), picPreview()->frameWidth())) * previewScale();
    if (event->type() == QEvent::MouseMove) {
      PreviewMouseMove(at);
    } else {
      PreviewMouseUp(mouse->button(), at);
    }
  }
  return EffectDialog::eventFilter(watched, event);
}

}  // namespace lumaset
