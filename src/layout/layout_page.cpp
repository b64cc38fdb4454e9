#include "layout/layout_page.h"

#include <QAction>
#include <QMenu>

#include <cmath>

#include "frame/app_state.h"
#include "layout/adjust_panel.h"
#include "layout/page_area.h"
#include "layout/temporary_pictures.h"

namespace lumaset {

namespace {

int WholeTwips(float twips) { return static_cast<int>(std::lround(static_cast<double>(twips))); }

}  // namespace

LayoutPage::LayoutPage(AppState& app, LayoutPageWindow& window, PagePanel* panPrev,
                       QWidget* panAdjust, QObject* parent)
    : QObject(parent),
      app_(app),
      window_(window),
      panPrev_(panPrev),
      view_(panPrev->page()),
      panel_(new PageAdjustPanel(panAdjust)),
      undo_(model_, *this),
      commands_(model_, undo_, *this),
      width_(model_, undo_, *this),
      mouse_(model_, *this),
      refresh_(model_, *this, app.options, app.label),
      orientation_(model_, *this, refresh_),
      label_(model_, refresh_, app.label, *this),
      mnuImOpt_(std::make_unique<QMenu>()) {
  mnuImOpt_->setObjectName(QStringLiteral("mnuImOpt"));
  QAction* paste = mnuImOpt_->addAction(QStringLiteral("&Paste"));
  paste->setObjectName(QStringLiteral("mnuImOptPaste"));
  connect(paste, &QAction::triggered, this, &LayoutPage::mnuImOptPaste_Click);

  ConnectPage(*panPrev);
  ConnectPanel();
  app_.imaging().setProgressHandler([this](int percent, bool& cancel) { ImgX_Progress(percent, cancel); });
}

LayoutPage::~LayoutPage() {
  app_.imaging().setProgressHandler({});
  if (PagePanel* panel = panPrev_.data()) {
    // The panel may outlive the page for a moment: it must not draw from a model that is gone.
    panel->SetRefresh({});
    view_->SetModel(nullptr);
  }
  if (PageAdjustPanel* panel = panel_.data(); panel && !panel->parent()) delete panel;
}

PageAdjustPanel* LayoutPage::adjustPanel() const { return panel_; }
PagePanel* LayoutPage::pagePanel() const { return panPrev_; }

void LayoutPage::ConnectPage(PagePanel& panel) {
  PageView* view = view_;
  view->SetModel(&model_);
  panel.SetRefresh([this] { refresh_.Run(); });
  // A gesture on the page acts on it as it is once the pictures asked for
  // are on it, and finds what lies under the pointer then. Only a press
  // that asks for one more addition goes ahead at once, in its order.
  connect(view, &PageView::pressedAt, this, [this](QPointF at, int button, int held, int slot) {
    if (held == button) gestureWaits_ = AdditionsPending() && !mouse_.PressArmsAddition(button, slot);
    RouteMouse(gestureWaits_, at, slot,
               [this, at, button, held](int under) { mouse_.PressAt(at, button, held, under); });
  });
  connect(view, &PageView::movedAt, this, [this](QPointF at, int buttons, int slot) {
    RouteMouse(buttons != 0 && gestureWaits_, at, slot,
               [this, at, buttons](int under) { mouse_.MoveAt(at, buttons, under); });
  });
  connect(view, &PageView::releasedAt, this, [this](QPointF at, int button, int held, int slot) {
    const bool waits = gestureWaits_;
    if (held == 0) gestureWaits_ = false;
    RouteMouse(waits, at, slot,
               [this, at, button, held](int under) { mouse_.ReleaseAt(at, button, held, under); });
  });
  // The double click stands in for a press: the release after it follows it.
  connect(view, &PageView::doubleClickedAt, this, [this](int slot) {
    gestureWaits_ = AdditionsPending();
    AfterAdding([this, slot] { mouse_.DoubleClickAt(slot); });
  });
  connect(view, &PageView::dragMovedAt, this, [this](QPointF at, bool thumbnail, int slot) {
    mouse_.DragOverAt(at, thumbnail, slot);
  });
  connect(view, &PageView::droppedAt, this, [this](QPointF at, int slot) { mouse_.DropAt(at, slot); });
  // A thumbnail taken away again must not leave its addition armed: the next
  // click on a picture would be swallowed and its release would give the
  // selected picture the drop frame's width.
  connect(view, &PageView::dragLeft, this, [this] {
    if (!model_.edit().dragAdd) return;
    model_.edit().dragAdd = false;
    ToolEnable(false, -1);
  });
  connect(view, &PageView::escapePressed, this,
          [this] { mouse_.picPreview_KeyDown(Qt::Key_Escape); });
}

bool LayoutPage::AdditionsPending() const { return adding() || commands_.commandsWaiting(); }

void LayoutPage::RouteMouse(bool waits, QPointF at, int slotUnder, std::function<void(int)> event) {
  if (!waits) {
    event(slotUnder);
    return;
  }
  AfterAdding([this, at, event = std::move(event)] { event(view_->SlotAt(at)); });
}

// The panel's controls act on the page as it is once the pictures asked
// for are on it.
void LayoutPage::ConnectPanel() {
  connect(panel_, &PageAdjustPanel::orientationChosen, this,
          [this](bool portrait) { AfterAdding([this, portrait] { orientation_.OptionClicked(portrait); }); });
  // The width typed is the one entered, whatever selecting the new pictures
  // shows in the box meanwhile.
  connect(panel_, &PageAdjustPanel::widthEntered, this, [this] {
    AfterAdding([this, typed = panel_->WidthText()] {
      panel_->SetWidthText(typed);
      width_.EnterPressed();
      RaiseFrameAfterWidth();
    });
  });
  connect(panel_, &PageAdjustPanel::widthStepped, this, [this](int direction) {
    AfterAdding([this, direction] {
      if (direction > 0) {
        width_.SpinUp();
      } else {
        width_.SpinDown();
      }
      RaiseFrameAfterWidth();
    });
  });
  connect(panel_, &PageAdjustPanel::labelClicked, this, [this] { AfterAdding([this] { cmdLabel_Click(); }); });
}

// ---- The page as a whole ----------------------------------------------------

// Each step goes on whatever the one before it did, so the page is cleared
// as far as it can be.
void LayoutPage::ClearPreview() {
  commands_.StopAdding();
  view_->ClearPictures();
  undo_.Clear();
  model_.Clear();
  mouse_.Reset();
  // The page has no layout yet: the caption names none, the status bar says so.
  panPrev_->SetCaption(QStringLiteral("Layout Preview: "));
  window_.SetStatusText(QStringLiteral("Undefined layout"));

  const QString& folder = app_.programFolders.tempImages;
  if (const int leftBehind = DeleteTemporaryPictures(folder); leftBehind > 0) {
    window_.ShowError(QStringLiteral("ClearPreview error: ") +
                      QStringLiteral("%1 temporary picture(s) in %2 could not be deleted.")
                          .arg(leftBehind)
                          .arg(folder));
  }
  window_.DropSelection();
  for (const char16_t* name :
       {u"mnuFileSave", u"mnuFileSaveAs", u"mnuFilePrint", u"Save", u"Print", u"Undo"}) {
    window_.SetCommandEnabled(QStringView(name), false);
  }
  ToolEnable(false, -1);
  refresh_.Run();
}

void LayoutPage::PageRefresh() { refresh_.Run(); }

void LayoutPage::ShowDefaultWidth() { panel_->SetWidthText(FormatPrinted(app_.options.layOutWidth)); }

ThumbnailPanel::PageReadings LayoutPage::Readings() const {
  const PageGeometry& geometry = model_.geometry();
  return ThumbnailPanel::PageReadings{PresetWidthText(), panel_->WidthText(),
                                      geometry.paperWidth,       geometry.paperHeight,
                                      geometry.previewWidth,     geometry.previewHeight};
}

// The progress window is made when the first operation reports, not before.
void LayoutPage::ImgX_Progress(int percent, bool& cancel) {
  if (!progress_) progress_ = window_.ImagingProgress();
  if (progress_) progress_(percent, cancel);
}

void LayoutPage::ToolEnable(bool enable, int slot) {
  const bool on = enable && model_.OnPage(slot);
  mouse_.FollowToolEnable(on, slot);
  if (!on) {
    window_.ToolEnable(std::nullopt);
    return;
  }
  const PicBox& box = model_.box(slot);
  window_.ToolEnable(PicturePlace{
      model_.pic(slot).zRank, model_.picLast(),
      TwipsRect{WholeTwips(box.left), WholeTwips(box.top), WholeTwips(box.width), WholeTwips(box.height)}});
}

void LayoutPage::RaiseFrameAfterWidth() {
  if (model_.SelectedOnPage() >= 0) refresh_.RaisePrintableFrame();
}

// ---- Commands ---------------------------------------------------------------

void LayoutPage::mnuToolCrop_Click() { mouse_.mnuToolCrop_Click(); }
void LayoutPage::mnuToolDelete_Click() { commands_.Delete(); }
void LayoutPage::mnuToolCopy_Click() { commands_.Copy(); }
void LayoutPage::mnuToolCut_Click() { commands_.Cut(); }
void LayoutPage::mnuToolPlaceFront_Click() { commands_.PlaceFront(); }
void LayoutPage::mnuToolPlaceBack_Click() { commands_.PlaceBack(); }
// An Undo asked for while a picture was being added is meant for that
// picture: when it never came onto the page, there is nothing to take back.
void LayoutPage::mnuToolUndo_Click() {
  if (commands_.AdditionMissed()) return;
  undo_.UndoTool();
}
void LayoutPage::mnuImOptPaste_Click() { commands_.Paste(); }

void LayoutPage::mnuToolFull_Click() {
  width_.FullSize();
  RaiseFrameAfterWidth();
}

void LayoutPage::mnuViewRefresh_Click() { ShowPage(refresh_.scene()); }

void LayoutPage::cmdLabel_Click() { label_.Run(); }

}  // namespace lumaset
