#pragma once

// The one frame every effect command runs on the selected page picture: the
// window goes busy, an undo step is pushed, the picture's file is loaded at
// full size into the main imaging object, the command's work changes it, and
// then the result is either committed or dropped.
//
// A commit never writes the picture's own file: the result is saved as the
// page's next temporary JPEG, and only once that file is safely written does
// the page record name it; the page then shows the result and the picture is
// selected again. A drop takes the undo step back and leaves the page as it
// was. Failures drop too, and say why; a Cancel drops without a word. The
// window is given back on every path.

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

#include "components/result.h"
#include "effects/effect_dialog.h"
#include "frame/sounds.h"

namespace lumaset {

class Imaging;
class PageModel;

// What an effect command needs of the main window and its page.
class EffectHost {
 public:
  virtual ~EffectHost() = default;

  virtual PageModel& Page() = 0;
  virtual Imaging& imaging() = 0;                // the main window's imaging object
  virtual QString TempImagesFolder() const = 0;  // private, ending in "/"
  virtual float ImageRes() const = 0;            // pixels of the longer side shown on the page
  virtual bool ShowProgress() const = 0;         // the ShowProgress setting

  // Hourglass pointers and the thumbnail, printer and page panels off while
  // busy; the usual pointers and the panels back afterwards.
  virtual void SetBusy(bool busy) = 0;
  virtual QString StatusText() const = 0;  // the first panel of the status bar
  virtual void SetStatusText(const QString& text) = 0;
  // `ToolEnable`: the picture tools and the selection frame on for `slot`, or off.
  virtual void ToolEnable(bool enable, int slot) = 0;
  // Pushes an undo step for the selected picture as it is now, and takes
  // back the step just pushed.
  virtual Status UndoAdd(const QString& kind, const QString& tip) = 0;
  virtual void UndoAbandon() = 0;
  // The slot shows `picture`, stretched to its box; the boxes are drawn again.
  virtual void SetPicture(int slot, const QImage& picture) = 0;
  // Selects the picture again as a left click on it at the last press point would.
  virtual void ClickPicture(int slot) = 0;
  // File > Save on, for a page that has a layout title.
  virtual void EnableSave() = 0;
  // Message boxes with the application's title: exclamation and information icons.
  virtual void ShowError(const QString& text) = 0;
  virtual void ShowInformation(const QString& text) = 0;

  // An input box with `title`, `prompt` and `preset` text; nullopt when cancelled.
  virtual std::optional<QString> AskText(const QString& title, const QString& prompt,
                                         const QString& preset) = 0;
  // The shared file dialog opening palette files in `folder`; nullopt when cancelled.
  virtual std::optional<QString> ChoosePaletteFile(const QString& folder) = 0;
  // The program's sounds and the desktop's event sounds, when sounds are on.
  virtual void PlaySound(Sound sound) = 0;
  virtual void PlayEvent(const QString& name) = 0;

  // What the effect dialogs are shown with: the main window as owner, the
  // progress window, the sounds and the help window.
  virtual DialogServices EffectDialogServices() = 0;
  // The main timer: off while an effect dialog is open.
  virtual void SetTimerRunning(bool running) = 0;
};

// What distinguishes one effect command from another in the frame.
struct EffectSpec {
  QString kind;         // the undo step's kind: "Effect", "Mirror" or "Rotate"
  QString tip;          // the undo step's tooltip
  QString errorPrefix;  // "Blurring error: "
  QString statusText;   // shown while the command runs; "" leaves the status bar alone
  bool turnsBox = false;  // a quarter turn: the box's width and height trade places
};

// What happens between loading the picture and the commit. It changes the
// picture that the imaging object holds; a cancelled Status (the user
// stopped it, or declined a question) drops the command without a message.
using EffectWork = std::function<Status(Imaging& imaging)>;

// Asked before the picture is loaded, once the undo step is pushed: a
// cancelled Status drops the command silently, another failure drops it
// with the command's error prefix.
using EffectPreparation = std::function<Status()>;

enum class EffectOutcome { NothingSelected, Committed, Dropped, Failed };

// Runs one effect command on the selected page picture.
EffectOutcome RunEffect(EffectHost& host, const EffectSpec& spec, const EffectWork& work,
                        const EffectPreparation& prepare = {});

// A Status that drops the command without a message.
Status Declined();

}  // namespace lumaset
