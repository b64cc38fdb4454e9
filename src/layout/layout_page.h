#pragma once

// The layout page as the main window holds it: the page model with its undo
// stack, the picture commands, the printed width, the mouse editing, the
// page's drawing, orientation and label, put together over the page panel
// `panPrev` and the page-adjustment panel `panAdjust`.
//
// The pieces each ask their host for what lies outside them; LayoutPage is
// that host for all of them. It reads the program's data from AppState and
// reaches the main window only through LayoutPageWindow, for what only the
// window can do: its menus and toolbar, its status bar, its dialogs and the
// thumbnail panel.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>

#include "browser/thumbnail_area.h"
#include "components/imaging/imaging.h"
#include "frame/sounds.h"
#include "frame/tool_enable.h"
#include "layout/orientation.h"
#include "layout/page_commands.h"
#include "layout/page_label.h"
#include "layout/page_model.h"
#include "layout/page_mouse.h"
#include "layout/page_refresh.h"
#include "layout/printed_width.h"
#include "layout/undo_stack.h"

class QMenu;

namespace lumaset {

class AppState;
class LabelDialog;
class PageAdjustPanel;
class PagePanel;
class PageView;
class ThumbTable;

// What the layout page asks of the main window.
class LayoutPageWindow {
 public:
  virtual ~LayoutPageWindow() = default;

  // The window's side of `ToolEnable`: the Tools menu and the picture tools
  // for a picture on the page, or all of them off (MainWindow::ToolEnable).
  virtual void ToolEnable(const std::optional<PicturePlace>& place) = 0;
  // A menu item by control name ("mnuFileSave") or a toolbar button by key ("Save").
  virtual void SetCommandEnabled(QStringView itemOrKey, bool enabled) = 0;
  // `mnuToolCrop` checked and the toolbar button "Crop" pressed, or neither.
  virtual void SetCropChecked(bool on) = 0;
  virtual void SetUndoTip(const QString& tip) = 0;      // the "Undo" button's tooltip
  virtual void SetStatusText(const QString& text) = 0;  // the first panel of `sb1`

  // Popups at the pointer that return when closed: the Tools menu `mnuTool`,
  // and a menu of the page's own (`mnuImOpt`).
  virtual void PopupToolsMenu() = 0;
  virtual void PopupMenu(QMenu& menu) = 0;
  // The full-size preview of a page picture (no thumbnail), modal, with the
  // memory meter's timer paused.
  virtual void ShowPreview(const QString& file, float aspect) = 0;

  // The thumbnail table, and dropping its selection (every cell shown
  // unselected, `ThumbSel` and `ThumbHover` -1, the thumbnail tools off).
  virtual ThumbTable& Thumbs() = 0;
  virtual void DropSelection() = 0;

  // Message boxes with the application's title: a failure (exclamation
  // icon), an expected condition (information icon).
  virtual void ShowError(const QString& text) = 0;
  virtual void ShowInformation(const QString& text) = 0;
  // One of the program's sounds, when sounds are on.
  virtual void PlaySound(Sound sound, Wait wait) = 0;

  // `mnuFileNew_Click`: a new page.
  virtual void FileNew() = 0;
  // The page shows a contact sheet (`ThumbSheet`).
  virtual bool ThumbSheet() = 0;
  // The progress window's handler for the main imaging object (MakeProgressHandler).
  virtual Imaging::ProgressHandler ImagingProgress() = 0;
};

class LayoutPage : public QObject,
                   public PageHost,
                   public PageEditHost,
                   public PageMouseHost,
                   public LabelHost {
  Q_OBJECT
 public:
  // `panPrev` and `panAdjust` are the main window's; both must outlive the
  // page. The adjustment controls are made inside `panAdjust`.
  LayoutPage(AppState& app, LayoutPageWindow& window, PagePanel* panPrev, QWidget* panAdjust,
             QObject* parent = nullptr);
  ~LayoutPage() override;
  LayoutPage(const LayoutPage&) = delete;
  LayoutPage& operator=(const LayoutPage&) = delete;

  PageAdjustPanel* adjustPanel() const;
  PagePanel* pagePanel() const;
  PageModel& model() { return model_; }
  const PageModel& model() const { return model_; }
  const PageUndo& undo() const { return undo_; }
  QMenu* pasteMenu() const { return mnuImOpt_.get(); }
  // The orientation commands and the drawing of the page, for the documents.
  PageOrientation& orientation() { return orientation_; }
  lumaset::PageRefresh& refresher() { return refresh_; }

  // `ClearPreview`: an empty page, drawn; additions not yet made are dropped.
  void ClearPreview();
  // Whether pictures added to the page are still being read, and waiting
  // until they are on it (PageCommands::PicAdd).
  bool adding() const { return commands_.adding(); }
  void FinishAdding() { commands_.FinishAdding(); }
  // A command that acts on the page as it is once every addition asked for
  // is on it: now, or once they are placed (PageCommands::AfterAdding).
  void AfterAdding(std::function<void()> command) { commands_.AfterAdding(std::move(command)); }
  // Whether commands wait for additions to be placed.
  bool commandsWaiting() const { return commands_.commandsWaiting(); }
  void setReader(ScaledReader reader) { commands_.setReader(std::move(reader)); }
  // `PageRefresh`: the page computed for the printer and drawn again.
  void PageRefresh();
  // Start-up and the preferences: the width box shows the LayOutWidth setting.
  void ShowDefaultWidth();

  // The Tools menu, the toolbar and the page's popup.
  void mnuToolCrop_Click();
  void mnuToolDelete_Click();
  void mnuToolCopy_Click();
  void mnuToolCut_Click();
  void mnuToolPlaceFront_Click();
  void mnuToolPlaceBack_Click();
  void mnuToolUndo_Click();
  void mnuToolFull_Click();
  void mnuImOptPaste_Click();
  // "&Refresh": shows the page as it stands; nothing is computed again.
  void mnuViewRefresh_Click();
  // The "Label..." button.
  void cmdLabel_Click();

  // For the Delete key: the selected slot, and whether its frame shows.
  int picCur() const { return model_.picCur(); }
  bool shSelVisible() const { return mouse_.frame().visible; }
  bool cropChecked() const { return mouse_.cropChecked(); }

  // What the thumbnail panel's selection reads of the page.
  ThumbnailPanel::PageReadings Readings() const;

  // `ImgX_Progress`: the main imaging object's progress, shown in the
  // program's progress window.
  void ImgX_Progress(int percent, bool& cancel);

  // ---- The hosts of the page's pieces ----

  // `ToolEnable(Enable, SelIndex)`: the frame and its handles follow the
  // mouse editing, the menus and toolbar follow the window; a slot that is
  // not on the page switches everything off.
  void ToolEnable(bool enable, int slot) override;

  // PageHost
  PrinterFacts Printer() override;
  Status SetPrinterOrientation(int orientation) override;
  QSizeF PanelSize() override;
  double TwipsPerPixel() override;
  void ShowPrinterName(const QString& caption) override;
  void ShowUnitCaptions(const std::array<QString, 3>& captions) override;
  void ShowWidthPresets(const QStringList& rows, int selected) override;
  QString WidthFieldText() override;
  void SetWidthFieldText(const QString& text) override;
  void ShowOrientationOption(bool portrait) override;
  void ShowPage(const PageScene& scene) override;
  void ShowError(const QString& text) override;
  void PlaySound(Sound sound, Wait wait) override;
  bool ThumbSheet() override;
  void TurnUndoSteps(const FractionTurn& turn) override;

  // PageEditHost
  void SetPicture(int slot, const QImage& picture) override;
  void PageChanged() override;
  void ClickPicture(int slot) override;
  void FileNew() override;
  void ClearThumbnailSelection() override;
  void PlaySound(Sound sound) override;
  void ShowInformation(const QString& text) override;
  void SetEnabled(QStringView itemOrKey, bool enabled) override;
  void SetUndoTip(const QString& tip) override;
  void SetPageCaption(const QString& text) override;
  void SetStatusText(const QString& text) override;
  float ImageRes() const override;
  bool TakeAbortRequest() override;
  QString WidthText() const override;
  void SetWidthText(const QString& text) override;
  void SetHeightText(const QString& text) override;

  // PageMouseHost and CropHost
  void PicAdd(const QString& file) override;
  void WidthChange() override;
  void EnableSave() override;
  void PopupToolsMenu() override;
  void PopupPasteMenu() override;
  void ShowPreview(const QString& file, float aspect) override;
  void ShowFrame(const SelectionFrame& frame) override;
  void ShowPictures() override;
  void SetPicturePointer(int slot, PointerShape shape) override;
  void SetPictureTip(int slot, const QString& text) override;
  void SetPagePointer(PointerShape shape) override;
  void SetPageTip(const QString& text) override;
  void ShowCropMode(bool on) override;
  void PlayToolSound() override;
  void RequestAbort() override;
  ThumbTable& Thumbs() override;
  bool GenClick() const override;
  QString PresetWidthText() const override;
  Status UndoAdd(const QString& kind, const QString& tip) override;
  void UndoAbandon() override;
  Imaging& imaging() override;
  QString TempImagesFolder() const override;

  // LabelHost
  std::optional<LabelEntry> ShowLabelDialog(const LabelEntry& preset) override;
  void EnableCommand(const QString& itemOrKey) override;
  void SetPageCrossPointer() override;

 private:
  void ConnectPage(PagePanel& panel);
  void ConnectPanel();
  // Pictures asked for are still being read, or commands wait for them.
  bool AdditionsPending() const;
  // A mouse event now, or, when its gesture waits, once the additions are
  // placed, with the picture under the point as it is then.
  void RouteMouse(bool waits, QPointF at, int slotUnder, std::function<void(int)> event);
  // The printable frame comes in front of the pictures after a picture was
  // given its width, until the next refresh.
  void RaiseFrameAfterWidth();

  AppState& app_;
  LayoutPageWindow& window_;
  QPointer<PagePanel> panPrev_;
  PageView* view_;  // the page on the panel, which lives as long as the panel
  QPointer<PageAdjustPanel> panel_;
  PageModel model_;
  PageUndo undo_;
  PageCommands commands_;
  PrintedWidth width_;
  PageMouse mouse_;
  lumaset::PageRefresh refresh_;
  PageOrientation orientation_;
  PageLabelCommand label_;
  std::unique_ptr<QMenu> mnuImOpt_;
  QPointer<LabelDialog> labelDialog_;
  Imaging::ProgressHandler progress_;
  bool gestureWaits_ = false;  // the mouse gesture under way waits for additions
};

}  // namespace lumaset
