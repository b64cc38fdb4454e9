#pragma once

// The preview window `frmPreview`: one picture file as large as the main
// window allows, a click to zoom into it and Previous/Next through the
// thumbnail panel. The caller calls View and then shows the window modally.
//
// The numbers and rules live in plain classes a test drives without a window:
// PreviewGeometry (window size, fit, button panel), PreviewZoom (the zoom
// ladder, the crop it asks for, the tooltip) and PreviewNavigator (Previous
// and Next over the thumbnail table).

#include <QDialog>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>

#include "components/result.h"

class QFrame;
class QLabel;
class QToolButton;

namespace lumaset {

class Imaging;
class ThumbTable;
template <typename T>
class BackgroundWork;

// Rounds to the nearest whole number, halves to the even neighbour (2.5 gives
// 2, 3.5 gives 4), whatever the floating-point rounding mode.
long long RoundHalfEven(double value);

class PreviewGeometry {
 public:
  // The side of the square window: the main window's width when it is not
  // greater than the screen's height, else the main window's height. All
  // three in one unit.
  static float WindowSide(float mainWidth, float mainHeight, float screenHeight);

  // The largest rectangle of the picture's aspect (width over height)
  // centred in an area of `width` x `height`. An aspect that is not a
  // positive number counts as square.
  static QRectF FitPicture(float width, float height, float aspect);

  // The top-left corner of the button panel, 200 twips from the area's right
  // edge and 500 from its bottom; every size in twips.
  static QPointF ButtonPanelPlace(float areaWidth, float areaHeight, float panelWidth, float panelHeight);
};

// The part of the picture that a zoom click keeps, in pixels.
struct CropRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const CropRect&, const CropRect&) = default;
};

class PreviewZoom {
 public:
  static constexpr float kMin = 1.0f;
  static constexpr float kMax = 57.0f;

  static inline const QString kTipIn = QStringLiteral("Left click to zoom in");
  static inline const QString kTipOut = QStringLiteral("Right click to zoom out");
  static inline const QString kTipBoth = QStringLiteral("Left click to zoom in, right click to zoom out");

  float factor() const { return factor_; }
  void reset() { factor_ = kMin; }

  // One step up (times 1.5, cut to 57) or down (divided by 1.5, raised to 1),
  // stored as a 32-bit float; false, with nothing changed, at the limit.
  bool In();
  bool Out();

  QString Tooltip() const;

  // The crop for a click at `click` on the picture shown at `shownSize`: the
  // picture's size divided by the zoom, placed at the click's share of the
  // shown picture, so that a click on an edge keeps that edge. Each number
  // is rounded half to even; the crop is at least one pixel each way.
  CropRect Crop(int pixelWidth, int pixelHeight, QPointF click, QSizeF shownSize) const;

 private:
  float factor_ = kMin;
};

class PreviewNavigator {
 public:
  // The entry that Next (`direction` +1) or Previous (-1) shows after `from`:
  // the neighbour, past the end round to the other end, passing over
  // unsupported entries. The whole table is walked at most once, so a table
  // of unsupported pictures gives -1, as does an empty one. With a single
  // supported entry the step comes back to it.
  static int Step(const ThumbTable& table, int from, int direction);
};

class PreviewWindow : public QDialog {
  Q_OBJECT

 public:
  enum class Sound { Show, In, Out };

  static inline const QString kCaption = QStringLiteral("Preview");

  // `table` is the thumbnail panel's table, which Previous and Next read; it
  // must outlive the window. `appTitle` captions the error messages; the
  // window centres on `parent`, whose size sets its own.
  PreviewWindow(const ThumbTable& table, QString appTitle, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  // Shows `file` fitted into the window; `aspect` is its width over its
  // height, `index` its thumbnail, or -1 when it does not come from the panel
  // (Previous and Next are then disabled). Never fails: a file that cannot be
  // loaded leaves the picture area empty under its caption.
  //
  // The file is read on a worker thread, as on every zoom click, so that a
  // slow picture never blocks the window: it shows when it has been read.
  // A newer View, a zoom click during it, and closing the window stop the
  // reading; zoom clicks made while the file is read for an earlier one are
  // served by that read.
  void View(const QString& file, float aspect, int index);
  // Whether the file is still being read.
  bool loading() const;

  void cmdPrev_Click();
  void cmdNext_Click();
  void cmdStop_Click();
  // The zoom click at `at` inside the picture (pixels).
  void Image1_MouseDown(Qt::MouseButton button, QPointF at);

  // Replaces the message box of a failed zoom click (for tests).
  void setErrorShower(std::function<void(const QString&)> shower) { showError_ = std::move(shower); }

  // What the window holds and shows, for its caller and for tests.
  const QString& viewPath() const { return viewPath_; }
  float viewAspect() const { return viewAspect_; }
  int viewIndex() const { return viewIndex_; }
  float zoomFactor() const { return zoom_.factor(); }
  QImage shownPicture() const { return shown_; }
  QLabel* image() const { return image1_; }
  QFrame* buttonPanel() const { return panCon_; }
  QToolButton* previousButton() const { return cmdPrev_; }
  QToolButton* stopButton() const { return cmdStop_; }
  QToolButton* nextButton() const { return cmdNext_; }

 signals:
  // ThumbNailSelect(index, True) of the main window; also sent for -1.
  void thumbNailSelectRequested(int index);
  // A sound to play; `wait` true when the window waits until it has played.
  void soundRequested(lumaset::PreviewWindow::Sound sound, bool wait);

 public slots:
  // Form_Unload: releases the held picture and plays SHOW, waiting.
  void done(int result) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void BuildControls();
  QSize ClientSize() const;
  void ShowPicture(const QImage& picture);
  // Reads the file in `path` as View and the zoom click do; runs on a worker.
  static Result<QImage> ReadPicture(const QString& path);
  void StartReading(std::function<void(Result<QImage>)> then);
  void ZoomInto(const Result<QImage>& read);
  void ShowStep(int index);

  const ThumbTable& table_;
  QString appTitle_;
  std::function<void(const QString&)> showError_;

  QString viewPath_;
  float viewAspect_ = 1;
  int viewIndex_ = -1;
  PreviewZoom zoom_;       // every click counted
  PreviewZoom shownZoom_;  // the zoom of the picture shown
  // The latest zoom click: where, on the picture shown at what size.
  struct ZoomClick {
    QPointF at;
    QSizeF shownSize;
  };
  ZoomClick zoomClick_;
  bool zoomReading_ = false;  // the file is being read for zoom clicks
  std::unique_ptr<Imaging> viewImgX_;  // created on first use, released on unload
  std::unique_ptr<BackgroundWork<Result<QImage>>> reading_;
  QImage shown_;

  QLabel* image1_ = nullptr;
  QFrame* panCon_ = nullptr;
  QToolButton* cmdPrev_ = nullptr;
  QToolButton* cmdStop_ = nullptr;
  QToolButton* cmdNext_ = nullptr;
};

}  // namespace lumaset
