#pragma once

// The one progress window `frmProgress` of the program, shared by every long
// picture operation: a bar, the percentage in its caption, a line naming the
// work and a Cancel button. Cancel raises `Cancelled`, so that the window goes
// away at the next progress step and the command throws the result away; an
// imaging operation fed by MakeProgressHandler also stops at once on it.
//
// ProgressProtocol is the rule that turns percentages into what the window
// shows; ProgressWindow applies it to widgets; ProgressScope brackets one
// operation, so that neither a stale Cancel nor a failed operation outlives it.

#include <QPointer>
#include <QString>
#include <QDialog>

#include <functional>

#include "components/imaging/imaging.h"

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;

namespace lumaset {

// What the progress window and its owner look like at a given moment.
struct ProgressView {
  bool shown = false;
  bool ownerDisabled = false;  // the main window takes no input meanwhile
  int barPercent = 0;
  QString caption = QStringLiteral("Progress");
  QString text;
};

class ProgressProtocol {
 public:
  // `yieldToEvents` lets pending window events run; a Cancel click arrives there.
  explicit ProgressProtocol(std::function<void()> yieldToEvents = {});

  // One progress report: 0 starts a run, 100 ends it, anything else updates it
  // after yielding once. `workText` names the work; it is read at 0 only.
  void Report(int percent, const QString& workText = {});

  // The Cancel button: raises the flag and nothing else.
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }
  void SetCancelled(bool cancelled) { cancelled_ = cancelled; }

  // One operation begins and ends (ProgressScope calls these). The flag goes
  // down when the outermost operation begins, so a Cancel of an earlier one
  // never throws away this one's result, even when it reports no progress;
  // within an operation a Cancel holds until it ends. Its end hides the window
  // and frees the owner, however the operation ended.
  void BeginOperation();
  void EndOperation();
  bool InOperation() const { return depth_ > 0; }

  const ProgressView& View() const { return view_; }

 private:
  void Start(const QString& workText);
  void Update(int percent);
  void Finish();

  std::function<void()> yieldToEvents_;
  ProgressView view_;
  bool cancelled_ = false;
  int depth_ = 0;
};

// `frmProgress`. The program makes one, owned by the main window, and keeps it
// hidden between uses.
class ProgressWindow : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressWindow(QWidget* owner);
  ~ProgressWindow() override;

  void Report(int percent, const QString& workText = {});
  bool Cancelled() const { return protocol_.Cancelled(); }
  void SetCancelled(bool cancelled) { protocol_.SetCancelled(cancelled); }
  void BeginOperation() { protocol_.BeginOperation(); }
  void EndOperation();

  const ProgressProtocol& protocol() const { return protocol_; }
  QProgressBar* bar() const { return picProgress_; }
  QLabel* textLine() const { return lblProgressText_; }
  QPushButton* cancelButton() const { return btnCancel_; }

 protected:
  // Closing the window, or Esc, asks to cancel, as the button does.
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void btnCancel_Click();
  void Apply();

  QPointer<QWidget> owner_;
  ProgressProtocol protocol_;
  QProgressBar* picProgress_ = nullptr;
  QLabel* lblProgressText_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
  bool ownerHeld_ = false;
};

// Held by whatever starts an operation that may show progress, for as long as
// the operation runs. Leaving the scope, by return or by exception, hides the
// window and gives the main window back.
class ProgressScope {
 public:
  explicit ProgressScope(ProgressWindow& window) : window_(window) { window_.BeginOperation(); }
  ~ProgressScope() { window_.EndOperation(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

  // True when the user pressed Cancel: the operation's result is to be dropped.
  bool Cancelled() const { return window_.Cancelled(); }

 private:
  ProgressWindow& window_;
};

// A progress handler for an imaging object that feeds `window`: at 0 it plays
// the effect sound through `playEffectSound` and names the work from the
// object's InfoText; once `Cancelled` is up it asks the operation to stop. `imaging` and `window` must outlive the handler's use.
Imaging::ProgressHandler MakeProgressHandler(ProgressWindow& window, const Imaging& imaging,
                                             std::function<void()> playEffectSound = {});

}  // namespace lumaset
