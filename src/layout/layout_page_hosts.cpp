// The layout page as the host of its pieces: each call that a piece makes on
// the window lands here and goes to the page's widgets, the program's data
// or the main window.

#include "layout/layout_page.h"

#include <QScreen>

#include <algorithm>
#include <utility>
#include <vector>

#include "frame/app_state.h"
#include "frame/number_from_setting.h"
#include "layout/printed_width.h"
#include "layout/adjust_panel.h"
#include "layout/page_area.h"

namespace lumaset {

namespace {

Qt::CursorShape CursorOf(PointerShape shape) {
  switch (shape) {
    case PointerShape::Default: return Qt::ArrowCursor;
    case PointerShape::Cross: return Qt::CrossCursor;
    case PointerShape::SizeNeSw: return Qt::SizeBDiagCursor;
    case PointerShape::SizeNwSe: return Qt::SizeFDiagCursor;
    case PointerShape::Custom: break;
  }
  return Qt::PointingHandCursor;
}

}  // namespace

// ---- PageHost ---------------------------------------------------------------

PrinterFacts LayoutPage::Printer() { return app_.printer().Facts(); }

Status LayoutPage::SetPrinterOrientation(int orientation) {
  return app_.printer().SetOrientation(orientation);
}

QSizeF LayoutPage::PanelSize() { return panPrev_->SizeTwips(TwipsPerPixel()); }

double LayoutPage::TwipsPerPixel() {
  const QScreen* screen = panPrev_->screen();
  return lumaset::TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

void LayoutPage::ShowPrinterName(const QString& caption) { panel_->ShowPrinterName(caption); }
void LayoutPage::ShowUnitCaptions(const std::array<QString, 3>& captions) {
  panel_->ShowUnitCaptions(captions);
}
void LayoutPage::ShowWidthPresets(const QStringList& rows, int selected) {
  panel_->ShowWidthPresets(rows, selected);
}
QString LayoutPage::WidthFieldText() { return panel_->WidthText(); }
void LayoutPage::SetWidthFieldText(const QString& text) { panel_->SetWidthText(text); }
void LayoutPage::ShowOrientationOption(bool portrait) { panel_->ShowOrientation(portrait); }

void LayoutPage::ShowPage(const PageScene& scene) { panPrev_->ShowPage(scene, TwipsPerPixel()); }

void LayoutPage::ShowError(const QString& text) { window_.ShowError(text); }
void LayoutPage::PlaySound(Sound sound, Wait wait) { window_.PlaySound(sound, wait); }
bool LayoutPage::ThumbSheet() { return window_.ThumbSheet(); }

void LayoutPage::TurnUndoSteps(const FractionTurn& turn) {
  undo_.TurnSteps([&turn](UndoStep& step) {
    turn(step.leftFrac, step.topFrac, step.widthFrac, step.heightFrac);
  });
}

// ---- PageEditHost -----------------------------------------------------------

void LayoutPage::SetPicture(int slot, const QImage& picture) { view_->setPicture(slot, picture); }
void LayoutPage::PageChanged() { ShowPage(refresh_.scene()); }

void LayoutPage::ClickPicture(int slot) { mouse_.SelectAsClicked(slot); }

void LayoutPage::FileNew() { window_.FileNew(); }
void LayoutPage::ClearThumbnailSelection() { window_.DropSelection(); }
void LayoutPage::PlaySound(Sound sound) { window_.PlaySound(sound, Wait::No); }
void LayoutPage::ShowInformation(const QString& text) { window_.ShowInformation(text); }
void LayoutPage::SetEnabled(QStringView itemOrKey, bool enabled) {
  window_.SetCommandEnabled(itemOrKey, enabled);
}
void LayoutPage::SetUndoTip(const QString& tip) { window_.SetUndoTip(tip); }
void LayoutPage::SetPageCaption(const QString& text) { panPrev_->SetCaption(text); }
void LayoutPage::SetStatusText(const QString& text) { window_.SetStatusText(text); }
float LayoutPage::ImageRes() const { return app_.options.imageRes; }
bool LayoutPage::TakeAbortRequest() { return std::exchange(app_.abortRequested, false); }
QString LayoutPage::WidthText() const { return panel_->WidthText(); }
void LayoutPage::SetWidthText(const QString& text) { panel_->SetWidthText(text); }
void LayoutPage::SetHeightText(const QString& text) { panel_->SetHeightText(text); }

// ---- PageMouseHost and CropHost ---------------------------------------------

void LayoutPage::PicAdd(const QString& file) { commands_.PicAdd(file); }

void LayoutPage::WidthChange() {
  width_.WidthChange();
  RaiseFrameAfterWidth();
}

void LayoutPage::EnableSave() { window_.SetCommandEnabled(u"mnuFileSave", true); }
void LayoutPage::PopupToolsMenu() { window_.PopupToolsMenu(); }
void LayoutPage::PopupPasteMenu() { window_.PopupMenu(*mnuImOpt_); }
void LayoutPage::ShowPreview(const QString& file, float aspect) { window_.ShowPreview(file, aspect); }
void LayoutPage::ShowFrame(const SelectionFrame& frame) { view_->ShowFrame(frame); }
void LayoutPage::ShowPictures() { PageChanged(); }

void LayoutPage::SetPicturePointer(int slot, PointerShape shape) {
  view_->SetPicturePointer(slot, CursorOf(shape));
}
void LayoutPage::SetPictureTip(int slot, const QString& text) { view_->SetPictureTip(slot, text); }
void LayoutPage::SetPagePointer(PointerShape shape) { view_->SetPagePointer(CursorOf(shape)); }
void LayoutPage::SetPageTip(const QString& text) { view_->SetPageTip(text); }
void LayoutPage::ShowCropMode(bool on) { window_.SetCropChecked(on); }
void LayoutPage::PlayToolSound() { window_.PlaySound(Sound::Tool, Wait::No); }
void LayoutPage::RequestAbort() { app_.abortRequested = true; }
ThumbTable& LayoutPage::Thumbs() { return window_.Thumbs(); }
bool LayoutPage::GenClick() const { return app_.options.genClick; }
// A default width that matches no preset leaves the list without a row; the
// default itself is the width then.
QString LayoutPage::PresetWidthText() const {
  const QString preset = panel_->PresetWidthText();
  if (NumberFromSetting(preset) > 0) return preset;
  return FormatPrinted(app_.options.layOutWidth);
}

Status LayoutPage::UndoAdd(const QString& kind, const QString& tip) {
  return undo_.UndoAdd(QStringView(kind), tip);
}
void LayoutPage::UndoAbandon() { undo_.AbandonStep(); }
Imaging& LayoutPage::imaging() { return app_.imaging(); }
QString LayoutPage::TempImagesFolder() const { return app_.programFolders.tempImages; }

// ---- LabelHost --------------------------------------------------------------

std::optional<LabelEntry> LayoutPage::ShowLabelDialog(const LabelEntry& preset) {
  // One dialog for the run, kept hidden between uses.
  if (!labelDialog_) labelDialog_ = new LabelDialog(panPrev_->window());
  return labelDialog_->Run(preset);
}

void LayoutPage::EnableCommand(const QString& itemOrKey) { window_.SetCommandEnabled(itemOrKey, true); }
void LayoutPage::SetPageCrossPointer() { view_->SetPagePointer(Qt::CrossCursor); }

}  // namespace lumaset
