#pragma once

// The scan window's behaviour without the window: the options menu and what
// it reads back from the device, Start Scan with progress and Cancel, the
// crop rectangle dragged over the shown scan, undo of every crop, and Save.
//
// The window holds three pictures: the scan as it came (never changed, the
// source of undo), the full-size working copy (cropped, and what Save
// writes), and the display copy fitted into the 350-pixel square. A crop
// maps the rectangle drawn on the display copy to the working copy with the
// exact ratio of their sizes, so what is saved is what was drawn.
//
// Everything it asks of the window goes through ScanWindowHost, and every
// device request through ScanService, whose replies arrive later on the
// same thread; a test drives it with a fake of each.

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

#include "components/imaging/imaging.h"
#include "components/scanner.h"

namespace lumaset {

class SettingsStore;

inline constexpr int kScanLeftButton = 1;

// Where the display copy and its picture box go for a working copy of
// `work` pixels: the display copy fits a 350-pixel square (the longer side
// 350, the other rounded half to even), the box of 354 pixels' side is
// centred on it in the square whose top-left corner is (4, `top`), and the
// scale factors are the exact ratios of the working copy to the display.
struct ScanFit {
  QSize view;
  QRectF box;
  double scaleX = 0;
  double scaleY = 0;
};
ScanFit FitScanView(QSize work, int top);

// `work`'s pixels that the rectangle `drawn` on a display copy of `view`
// pixels covers, each edge mapped by the exact ratio of the sizes; the
// rectangle is first clipped to the display copy. Empty when nothing is left.
QRect CropOnWorkingCopy(QRect drawn, QSize view, QSize work);

// The resolution an answer asks for: its longest numeric beginning rounded
// half to even, held to the 32-bit range.
qint32 ResolutionFromAnswer(const QString& answer);

// What the scan window is asked to show and to ask.
class ScanWindowHost {
 public:
  virtual ~ScanWindowHost() = default;

  virtual void SetCaption(const QString& text) = 0;
  virtual void SetOptionsText(const QString& text) = 0;      // `labOpt`
  virtual void SetResolutionItem(const QString& text) = 0;   // `mnuOptionsResolution`
  virtual void SetPixTypeChecked(int index) = 0;             // -1: none
  virtual void SetShowInterfaceChecked(bool checked) = 0;    // `mnuOptionsShow`
  // `picScan` at `box` showing `picture` (null: empty).
  virtual void ShowPicture(const QImage& picture, const QRectF& box) = 0;
  virtual void ShowSelector(const QRect& rect, bool visible) = 0;
  virtual void SetUndoEnabled(bool enabled) = 0;
  // Save enabled also becomes the default button (Enter).
  virtual void SetSaveEnabled(bool enabled) = 0;
  // While the device works: hourglass, Start Scan, Options, Undo and Save
  // unavailable, the Close button stops the work.
  virtual void SetBusy(bool busy) = 0;
  virtual void ShowProgress(int percent) = 0;  // -1 hides it

  // An input box titled with the application's title; nullopt on Cancel.
  virtual std::optional<QString> AskText(const QString& prompt, const QString& defaultText) = 0;
  // A Yes/No question; true on Yes.
  virtual bool AskYesNo(const QString& text) = 0;
  virtual void ShowError(const QString& text) = 0;   // exclamation icon
  virtual void ShowPlain(const QString& text) = 0;   // no icon
  virtual void ShowNotice(const QString& text) = 0;  // information icon
  // The list of devices to choose from; the chosen one's name, or nullopt.
  virtual std::optional<QString> ChooseSource(const QList<ScanSource>& sources, const QString& current) = 0;
  // The folder picker in scan mode over this window; true on OK, the folder
  // then in the scan folder.
  virtual bool PickScanFolder() = 0;
  // The window closes; `saved` tells whether a scan was saved just before.
  virtual void CloseWindow(bool saved) = 0;
};

// The program-wide state the window shares with the scan command.
struct ScanShared {
  ScanService& service;
  SettingsStore& settings;
  QString& scanFolder;  // ends with "/"
  int& saveCount;       // numbers the default names for the whole run
};

class ScanControl {
 public:
  static inline const QString kSourceKey = QStringLiteral("ScanSource");

  ScanControl(ScanShared shared, ScanWindowHost& host);
  ~ScanControl();
  ScanControl(const ScanControl&) = delete;
  ScanControl& operator=(const ScanControl&) = delete;

  // Loading: reads "ShowScan", opens the remembered or first device.
  void FormLoad();
  // The window is going away however it closes: a running scan stops.
  void FormUnload();

  void cmdScan_Click();
  // Close, also Esc: while a scan runs it stops the scan and the window
  // stays; otherwise the window closes without a saved scan.
  void cmdCancel_Click();
  void cmdUndo_Click();
  void cmdSave_Click();
  void mnuOptionsShow_Click();
  void mnuOptionsSource_Click();
  void mnuOptionsResolution_Click();
  void mnuOptionsPixTypes_Click(int index);

  // `picScan`'s mouse, in its pixels.
  void picScan_MouseDown(int button, QPoint point);
  void picScan_MouseMove(int buttons, QPoint point);
  void picScan_MouseUp(int button, QPoint point);

  // For tests and the window.
  const Imaging& scanned() const { return scan_; }
  const Imaging& working() const { return work_; }
  const Imaging& display() const { return view_; }
  double scaleX() const { return fit_.scaleX; }
  double scaleY() const { return fit_.scaleY; }
  QRect selector() const { return selector_; }
  bool busy() const { return job_ != Job::None; }
  bool showInterface() const { return showInterface_; }
  qint32 resolution() const { return scanRes_; }
  QString savedPath() const { return savedPath_; }  // `TargetPath` of the last save

 private:
  enum class Job { None, Opening, Listing, Scanning };

  void StartJob(Job job, const QString& text);
  void EndJob();
  void Opened(Result<ScanReadBack> back);
  void OptionsRead(Result<ScanReadBack> back);  // `ScanOptions`
  void ScanDone(Result<QImage> picture);
  void SourcesListed(Result<QList<ScanSource>> sources);
  void ShowWorkCaption();
  void Fit(int top);  // `FitScanView`
  void Crop();
  template <typename T>
  ScanService::Reply<T> Guarded(void (ScanControl::*handler)(T));

  ScanShared shared_;
  ScanWindowHost& host_;
  std::shared_ptr<int> alive_;  // replies for a window that has gone are dropped
  Imaging scan_;
  Imaging work_;
  Imaging view_;
  ScanFit fit_;
  QString caption_;      // the caption to come back to after a failed scan
  QString optionsText_;  // `labOpt` when no work runs
  QString source_;  // the open device
  qint32 scanRes_ = 0;
  int pixType_ = -1;
  bool showInterface_ = false;
  Job job_ = Job::None;
  bool cancelRequested_ = false;
  QRect selector_{10, 10, 37, 37};
  QPoint cropStart_;
  bool pressed_ = false;
  bool dragged_ = false;
  QString savedPath_;
};

}  // namespace lumaset
