// The thumbnail panel's selection, hover, cell menu, double click and drag.

#include <QDrag>
#include <QMenu>
#include <QMimeData>

#include <cmath>

#include "browser/thumb_canvas.h"
#include "browser/thumbnail_area.h"
#include "frame/number_from_setting.h"

namespace lumaset {

namespace {

const QColor kNormalBack(192, 192, 192);
const QColor kSelectedBack(255, 0, 0);
const QColor kHoveredBack(0, 0, 255);

constexpr int kCommandCount = 7;

}  // namespace

// --- The cell menu ----------------------------------------------------------

void ThumbnailPanel::buildMenu() {
  menu_ = new QMenu(QStringLiteral("&File Options"), this);
  unselect_ = menu_->addAction(QStringLiteral("&Unselect"), this, &ThumbnailPanel::mnuFileOptionsUnselect_Click);
  properties_ =
      menu_->addAction(QStringLiteral("&Properties..."), this, &ThumbnailPanel::mnuFileOptionsProperties_Click);
  view_ = menu_->addAction(QStringLiteral("&Image Preview..."), this, &ThumbnailPanel::mnuFileOptionsView_Click);
  const auto command = [this](const QString& text, CellCommand which) {
    QAction* action = menu_->addAction(text);
    action->setEnabled(false);  // until the part of the program that carries it out is there
    connect(action, &QAction::triggered, this,
            [this, which] { emit cellCommandRequested(which, table_.ThumbSel()); });
    commands_.push_back(action);
  };
  command(QStringLiteral("Add to Email List"), CellCommand::Email);
  commands_.back()->setCheckable(true);
  menu_->addSeparator();
  command(QStringLiteral("&Rotate Clockwise"), CellCommand::Rotate);
  command(QStringLiteral("&Edit File..."), CellCommand::Edit);
  command(QStringLiteral("&Copy File To..."), CellCommand::Copy);
  command(QStringLiteral("&Move File To..."), CellCommand::Move);
  command(QStringLiteral("Rename &File"), CellCommand::Rename);
  command(QStringLiteral("&Delete File"), CellCommand::Delete);
  static_assert(static_cast<int>(CellCommand::Delete) + 1 == kCommandCount);
  properties_->setEnabled(false);
  view_->setEnabled(false);
}

QAction* ThumbnailPanel::commandAction(CellCommand command) const {
  return commands_.at(static_cast<std::size_t>(command));
}

void ThumbnailPanel::setCommandAvailable(CellCommand command, bool available) {
  commandAction(command)->setEnabled(available);
}

void ThumbnailPanel::setPreviewAvailable(bool available) {
  previewAvailable_ = available;
  view_->setEnabled(available);
}

void ThumbnailPanel::setPropertiesAvailable(bool available) { properties_->setEnabled(available); }

// The e-mail item says whether the selected file is on the list already.
void ThumbnailPanel::showCellMenu(QPoint globalPos) {
  QAction* email = commandAction(CellCommand::Email);
  email->setChecked(false);
  email->setText(QStringLiteral("Add to Email List"));
  const int sel = table_.ThumbSel();
  if (table_.isValid(sel) && emailLookup_ && emailLookup_(table_.ThumbFiles(sel))) {
    email->setText(QStringLiteral("Added to Email List"));
    email->setChecked(true);
  }
  menu_->popup(globalPos);
}

void ThumbnailPanel::mnuFileOptionsUnselect_Click() {
  if (table_.ThumbSel() >= 0) ThumbNailSelect(table_.ThumbSel(), false);
}

void ThumbnailPanel::mnuFileOptionsProperties_Click() {
  if (table_.isValid(table_.ThumbSel())) emit propertiesRequested(table_.ThumbSel());
}

void ThumbnailPanel::mnuFileOptionsView_Click() {
  const int sel = table_.ThumbSel();
  if (!previewAvailable_ || !table_.isValid(sel) || table_.ThumbUnsupported(sel)) return;
  const int height = table_.ThumbHeights(sel);
  const float aspect = height > 0 ? static_cast<float>(table_.ThumbWidths(sel)) / static_cast<float>(height) : 1.0F;
  emit previewRequested(table_.ThumbFiles(sel), aspect, sel);
}

// --- Selecting --------------------------------------------------------------

void ThumbnailPanel::repaintAllNormal() {
  for (ThumbCellState& state : cells_) {
    state.back = kNormalBack;
    state.inset = false;
  }
  canvas_->update();
}

void ThumbnailPanel::ThumbNailSelect(int index, bool select) {
  if (!table_.isValid(index) || index >= cellCount()) return;
  ThumbCellState& chosen = cells_[static_cast<std::size_t>(index)];
  if (!select) {
    chosen.dragSource = false;
    table_.setThumbSel(-1);
    repaintAllNormal();
    emit thumbToolsEnabled(false);
    emit pictureToolsOffRequested();
    return;
  }
  if (index != table_.ThumbSel()) emit selectSoundRequested();
  chosen.dragSource = true;
  table_.setThumbSel(index);
  repaintAllNormal();
  chosen.back = kSelectedBack;
  chosen.inset = true;
  emit thumbToolsEnabled(true);
  emit pictureToolsOffRequested();
  emitAddSize(index);
}

// The next picture added to the page takes the preset width as a share of
// the paper's width, and the height that the picture's aspect gives it. A
// picture without a known size leaves the height as it was.
void ThumbnailPanel::emitAddSize(int index) {
  if (!readings_) return;
  const PageReadings page = readings_();
  const double width = NumberFromSetting(page.presetWidthText);
  if (page.paperWidth > 0) emit addWidthChanged(static_cast<float>(width / page.paperWidth * page.previewWidth));
  const int pixelWidth = table_.ThumbWidths(index);
  const int pixelHeight = table_.ThumbHeights(index);
  if (pixelWidth <= 0 || pixelHeight <= 0 || !(page.paperHeight > 0)) return;
  const double ratio = static_cast<double>(pixelHeight) / pixelWidth;
  emit addHeightChanged(static_cast<float>(width * ratio / page.paperHeight * page.previewHeight));
}

void ThumbnailPanel::DropSelection() {
  repaintAllNormal();
  table_.setThumbHover(-1);
  table_.setThumbSel(-1);
  emit thumbToolsEnabled(false);
}

void ThumbnailPanel::picBrowse_Click() { DropSelection(); }
void ThumbnailPanel::picPan_Click() { DropSelection(); }

void ThumbnailPanel::panPrev_MouseMove() {
  const int sel = table_.ThumbSel();
  for (int i = 0; i < cellCount(); ++i) {
    if (i != sel) cells_[static_cast<std::size_t>(i)].back = kNormalBack;
  }
  canvas_->update();
}

// --- Hover ------------------------------------------------------------------

// Marks cell `index` as the one a drag carries, and shows the printed height
// it would take at the width in the width box. A picture without a known
// size is only repainted.
void ThumbnailPanel::hoverRule(int index, Qt::MouseButtons buttons) {
  const int sel = table_.ThumbSel();
  for (int i = 0; i < cellCount(); ++i) {
    if (i != sel) cells_[static_cast<std::size_t>(i)].back = kNormalBack;
  }
  ThumbCellState& state = cells_[static_cast<std::size_t>(index)];
  if (buttons != Qt::LeftButton && buttons != Qt::RightButton) state.dragSource = false;
  const int width = table_.ThumbWidths(index);
  const int height = table_.ThumbHeights(index);
  if (width != 0 && height != 0) {
    if (readings_) {
      const double printed = static_cast<double>(NumberFromSetting(readings_().widthEntryText)) * height / width;
      emit printedHeightChanged(QString::number(printed, 'f', 2));
    }
    table_.setThumbHover(index);
    state.back = kHoveredBack;
  }
  canvas_->update();
}

void ThumbnailPanel::imBr_MouseMove(int index, Qt::MouseButtons buttons) {
  if (!table_.isValid(index) || table_.ThumbUnsupported(index) || index == table_.ThumbSel()) return;
  hoverRule(index, buttons);
}

// While a cell is selected, frames take no part in the hover.
void ThumbnailPanel::panBr_MouseMove(int index, Qt::MouseButtons buttons) {
  if (!table_.isValid(index) || table_.ThumbUnsupported(index) || table_.ThumbSel() != -1) return;
  hoverRule(index, buttons);
}

// --- Clicks -----------------------------------------------------------------

void ThumbnailPanel::imBr_MouseUp(int index, Qt::MouseButton button, QPoint globalPos) {
  if (!table_.isValid(index) || table_.ThumbUnsupported(index)) return;
  if (index != table_.ThumbSel()) ThumbNailSelect(index, true);
  if (button == Qt::RightButton) showCellMenu(globalPos);
}

void ThumbnailPanel::panBr_MouseDown(int index, Qt::MouseButton /*button*/) {
  if (!table_.isValid(index) || table_.ThumbUnsupported(index)) return;
  if (index != table_.ThumbSel()) ThumbNailSelect(index, true);
}

void ThumbnailPanel::panBr_MouseUp(int index, Qt::MouseButton button, QPoint globalPos) {
  if (!table_.isValid(index) || table_.ThumbUnsupported(index)) return;
  if (button == Qt::RightButton) showCellMenu(globalPos);
}

// The preview shows the selected cell: the first click of the double click selected it.
void ThumbnailPanel::imBr_DblClick(int index) {
  if (table_.isValid(index) && !table_.ThumbUnsupported(index)) mnuFileOptionsView_Click();
}

void ThumbnailPanel::panBr_DblClick(int index) { imBr_DblClick(index); }

// --- Dragging ---------------------------------------------------------------

// The drag carries the picture that was dragged: it becomes the cell the page
// adds on the drop, whatever cell the pointer crossed before.
void ThumbnailPanel::beginDrag(int index) {
  if (!table_.isValid(index) || table_.ThumbUnsupported(index)) return;
  table_.setThumbHover(index);
  const QString file = table_.ThumbFiles(index);
  emit dragStarted(index, file);
  auto* carried = new QMimeData;
  carried->setData(kMimeType, file.toUtf8());
  runDrag(carried, cell(index).picture);
}

void ThumbnailPanel::runDrag(QMimeData* carried, const QImage& picture) {
  if (dragRunner_) {
    dragRunner_(carried, picture);
    return;
  }
  auto* drag = new QDrag(canvas_);
  drag->setMimeData(carried);
  if (!picture.isNull()) drag->setPixmap(QPixmap::fromImage(picture));
  drag->exec(Qt::CopyAction);
}

}  // namespace lumaset
