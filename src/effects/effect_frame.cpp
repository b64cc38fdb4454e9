#include "effects/effect_frame.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "components/imaging/imaging.h"
#include "components/imaging/picture_memory.h"
#include "layout/page_model.h"
#include "layout/temporary_pictures.h"
#include "layout/undo_stack.h"

namespace lumaset {

namespace {

// Gives the window back however the command ends: the pointers and panels,
// File > Save for a titled page, and the status text from before.
class BusyWindow {
 public:
  explicit BusyWindow(EffectHost& host) : host_(host), status_(host.StatusText()) { host_.SetBusy(true); }
  ~BusyWindow() {
    host_.SetBusy(false);
    if (!host_.Page().edit().layoutTitle.isEmpty()) host_.EnableSave();
    host_.SetStatusText(status_);
  }
  BusyWindow(const BusyWindow&) = delete;
  BusyWindow& operator=(const BusyWindow&) = delete;

 private:
  EffectHost& host_;
  QString status_;
};

// Progress events on for the work when the setting asks for them, and off
// again afterwards whatever happens.
class ProgressEvents {
 public:
  ProgressEvents(Imaging& imaging, bool on) : imaging_(imaging) { imaging_.setProgressEnabled(on); }
  ~ProgressEvents() { imaging_.setProgressEnabled(false); }
  ProgressEvents(const ProgressEvents&) = delete;
  ProgressEvents& operator=(const ProgressEvents&) = delete;

 private:
  Imaging& imaging_;
};

// The box turns about its top-left corner: width and height trade places,
// and the fractions follow the turned box.
void TurnBox(PageModel& page, int slot) {
  PicBox& box = page.box(slot);
  std::swap(box.width, box.height);
  FractionsFromBox(page, slot);
}

// Saves the held picture as the slot's next temporary JPEG and gives back
// the picture the page shows. The record is not touched here; on failure no
// file is left behind and the counter is as it was.
Result<QImage> SaveResult(EffectHost& host, PageModel& page, int slot, QString& target) {
  const std::int32_t countBefore = page.edit().tempCount;
  target = page.NextTemporaryPicture(host.TempImagesFolder(), slot);
  Result<QImage> shown =
      SaveTemporaryPicture(host.imaging(), target, static_cast<int>(std::nearbyint(host.ImageRes())));
  if (!shown) page.edit().tempCount = countBefore;
  return shown;
}

}  // namespace

Status Declined() { return Error{QString(), true}; }

EffectOutcome RunEffect(EffectHost& host, const EffectSpec& spec, const EffectWork& work,
                        const EffectPreparation& prepare) {
  PageModel& page = host.Page();
  const int slot = page.SelectedOnPage();
  if (slot < 0) return EffectOutcome::NothingSelected;

  const BusyWindow busy(host);
  host.ToolEnable(false, slot);
  if (const Status pushed = host.UndoAdd(spec.kind, spec.tip); !pushed) {
    host.ShowError(spec.errorPrefix + pushed.error());
    return EffectOutcome::Failed;
  }
  if (!spec.statusText.isEmpty()) host.SetStatusText(spec.statusText);

  // Anything short of a commit takes the step back: the page stays as it was.
  const auto drop = [&](const Status& why) {
    host.UndoAbandon();
    if (why.cancelled()) return EffectOutcome::Dropped;
    host.ShowError(spec.errorPrefix + why.error());
    return EffectOutcome::Failed;
  };

  if (prepare) {
    if (const Status ready = prepare(); !ready) return drop(ready);
  }
  Imaging& imaging = host.imaging();
  {
    // The memory of the loaded picture and of the effect's result is made
    // ready on other cores while the file is read.
    const Result<FileFacts> facts = Imaging::FileInfo(page.pic(slot).file);
    const pixels::ReadyPictures memory(facts ? QSize(facts->width, facts->height) : QSize(), 2);
    if (const Status loaded = imaging.LoadFile(page.pic(slot).file); !loaded) return drop(loaded);
    const ProgressEvents progress(imaging, host.ShowProgress());
    if (const Status worked = work(imaging); !worked) return drop(worked);
  }

  QString target;
  const Result<QImage> shown = SaveResult(host, page, slot, target);
  if (!shown) return drop(Error{shown.error()});
  page.pic(slot).file = target;
  if (spec.turnsBox) TurnBox(page, slot);
  host.SetPicture(slot, *shown);
  host.ClickPicture(slot);
  return EffectOutcome::Committed;
}

}  // namespace lumaset
