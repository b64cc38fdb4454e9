#pragma once

// A main window for the page's geometry, drawing and orientation that keeps
// what it was told and holds a printer made by hand.

#include <QSizeF>
#include <QString>
#include <QStringList>

#include <array>
#include <utility>
#include <vector>

#include "frame/app_state.h"
#include "frame/settings.h"
#include "layout/orientation.h"
#include "layout/page_model.h"
#include "layout/page_refresh.h"
#include "support/page_builder.h"

namespace lumaset::test {

// A Letter printer: 8.5 x 11 in, strips of `strip` twips on every edge.
inline PrinterFacts LetterPrinter(int orientation = kPortrait, int strip = 360) {
  PrinterFacts printer{true, QStringLiteral("Office"), 12240, 15840, strip, strip, 0, kPortrait};
  printer.printableDots = (12240 - 2 * strip) * 600 / 1440;
  if (orientation == kLandscape) {
    std::swap(printer.pageWidthTwips, printer.pageHeightTwips);
    printer.printableDots = (15840 - 2 * strip) * 600 / 1440;
    printer.orientation = kLandscape;
  }
  return printer;
}

class FakeDrawingHost : public PageHost {
 public:
  PrinterFacts Printer() override { return printer; }
  Status SetPrinterOrientation(int orientation) override {
    orientations.push_back(orientation);
    if (!printerTurns) return Error{QStringLiteral("the printer is offline")};
    if (orientation != printer.orientation) {
      std::swap(printer.pageWidthTwips, printer.pageHeightTwips);
      std::swap(printer.noPrintLeftTwips, printer.noPrintTopTwips);
      printer.orientation = orientation;
    }
    return Status::success();
  }
  QSizeF PanelSize() override { return panel; }
  double TwipsPerPixel() override { return 15; }
  void ToolEnable(bool enable, int slot) override { toolCalls.emplace_back(enable, slot); }
  void ShowPrinterName(const QString& caption) override { printerName = caption; }
  void ShowUnitCaptions(const std::array<QString, 3>& shown) override { captions = shown; }
  void ShowWidthPresets(const QStringList& rows, int selected) override {
    presets = rows;
    presetSelected = selected;
  }
  QString WidthFieldText() override { return widthField; }
  void SetWidthFieldText(const QString& text) override { widthField = text; }
  void ShowOrientationOption(bool portrait) override { optionShown.push_back(portrait); }
  void ShowPage(const PageScene& shown) override {
    scene = shown;
    ++pagesShown;
  }
  void ShowError(const QString& text) override { errors << text; }
  void PlaySound(Sound sound, Wait) override { sounds.push_back(sound); }
  bool ThumbSheet() override { return thumbSheet; }
  void TurnUndoSteps(const FractionTurn& turn) override {
    ++undoTurns;
    for (auto& step : undoSteps) turn(step[0], step[1], step[2], step[3]);
  }

  PrinterFacts printer;  // no printer unless a test gives one
  bool printerTurns = true;
  QSizeF panel{9000, 12000};
  QString widthField = QStringLiteral("3.50");
  bool thumbSheet = false;
  std::vector<std::array<float, 4>> undoSteps;

  std::vector<int> orientations;
  std::vector<std::pair<bool, int>> toolCalls;
  QString printerName;
  std::array<QString, 3> captions;
  QStringList presets;
  int presetSelected = -2;
  std::vector<bool> optionShown;
  PageScene scene;
  int pagesShown = 0;
  QStringList errors;
  std::vector<Sound> sounds;
  int undoTurns = 0;
};

// The page's logic as the main window holds it, over a fake window.
struct DrawingRig {
  DrawingRig() { orientation.emplace(model, host, refresh); }

  // A picture on the page at a box given in twips of the current preview.
  void Place(int slot, float left, float top, float width, float height) {
    ShowPicture(model, slot, PicBox{left, top, width, height, true}, QStringLiteral("/pictures/%1.jpg").arg(slot));
  }

  // The printed width and height of a slot's picture, in the current unit.
  std::pair<float, float> PrintedSize(int slot) const {
    const PageGeometry& page = model.geometry();
    const PagePic& pic = model.pic(slot);
    return {pic.widthFrac * page.paperWidth, pic.heightFrac * page.paperHeight};
  }

  PageModel model;
  FakeDrawingHost host;
  Options options;
  LabelStyle label;
  PageRefresh refresh{model, host, options, label};
  std::optional<PageOrientation> orientation;
};

}  // namespace lumaset::test
