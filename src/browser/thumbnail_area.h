#pragma once

// The thumbnail panel `picPan`: the viewport with the canvas `picBrowse` that
// shows one cell per picture of the open folder, its scroll bar `VScroll1` and
// the title `labPicPan`. It owns the thumbnail table, builds the cells, keeps
// the selection and the hover, offers the cell menu and starts drags.
//
// One canvas widget paints every cell, so a folder of ten thousand pictures
// costs no more widgets than one of ten. Pictures are decoded straight to
// their thumbnail size on a pool of worker threads and taken in cell order.
// Only the cells on and near the screen, and a bounded number of those used
// last, keep their picture in memory; the others make it again (from the
// thumbnail cache, or decoded) when they scroll back into view.
//
// What the rest of the main window does around the panel travels through the
// signals below; each says what the window is to do.

#include <QFrame>
#include <QFutureWatcher>
#include <QImage>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "browser/thumb_geometry.h"
#include "browser/thumb_keeper.h"
#include "browser/thumb_table.h"
#include "components/result.h"

class QAction;
class QLabel;
class QMenu;
class QMimeData;
class QScrollBar;

namespace lumaset {

struct CellPicture;
struct PictureListing;
class PaintPace;
class ThumbnailCache;
class ThumbCanvas;
class ThumbMaker;

// How one cell shows: its frame colour, its inset and where its picture lies.
struct ThumbCellState {
  QImage picture;  // the reduced picture, the placeholder, or none while it is away from the screen
  PictureFit fit;  // the picture's place in its frame
  QColor back;     // light grey, red when selected, blue when last hovered
  bool inset = false;       // the frame's bevel: inset when selected, else raised
  bool dragSource = false;  // a press on the picture starts dragging it
  bool visible = false;     // shown once its picture is made
};

// What lies under a point of the canvas.
struct CellHit {
  enum class Part { None, Frame, Picture };
  int index = -1;
  Part part = Part::None;
};

class ThumbnailPanel : public QFrame {
  Q_OBJECT

 public:
  // What a selection and the hover rule read of the page.
  struct PageReadings {
    QString presetWidthText;  // cmbWH's text, such as "4.0 in width"
    QString widthEntryText;   // txtWidth's text
    float paperWidth = 0;     // PaperWidth, PaperHeight: current unit
    float paperHeight = 0;
    float previewWidth = 0;   // picPreview's size, twips
    float previewHeight = 0;
  };

  // The cell menu's commands that other parts of the program carry out.
  enum class CellCommand { Email, Rotate, Edit, Copy, Move, Rename, Delete };

  // Hands a drag's data (ownership passes) and the picture to show with it
  // to whatever runs the drag; by default a QDrag.
  using DragRunner = std::function<void(QMimeData* carried, const QImage& picture)>;

  static inline const QString kMimeType = QStringLiteral("application/x-lumaset-thumbnail");
  static inline const QString kMakingText = QStringLiteral("Making thumbnails (0% done)...");

  explicit ThumbnailPanel(QWidget* parent = nullptr);
  ~ThumbnailPanel() override;

  QWidget* browse() const;  // picBrowse; its height is the height of the rows made
  QScrollBar* scrollBar() const { return scroll_; }
  QLabel* notice() const { return notice_; }

  ThumbTable& table() { return table_; }
  const ThumbTable& table() const { return table_; }
  const ThumbGeometry& geometry() const { return geometry_; }
  int thumbCell() const { return geometry_.cell; }
  // True from ThumbNail's start to buildFinished: the table must then stay as it is.
  bool building() const { return building_; }

  // Starts making the thumbnails of `folder` (ending with "/"); the cell size
  // follows `large` (GenLarge). Refused while a build runs.
  Status ThumbNail(const QString& folder, bool large);
  // ThumbNail, then lets window events run until the build has ended, for
  // callers that go on with its count; gives ThumbCount, or -1 when refused.
  int ThumbNailAndWait(const QString& folder, bool large);
  // Empties the panel and the table and clears the abort flag; does nothing
  // and gives false while a build runs.
  bool ThumbNailClear();
  // Reads cell `index` afresh from its file (after it was edited or rotated);
  // the selected cell's new size is the next addition's.
  void ThumbNailCreate(int index);
  // Selects (`select` true) or unselects cell `index`; an index outside the
  // table is ignored.
  void ThumbNailSelect(int index, bool select);

  // In-place changes of the file commands: a cell leaves (the later pictures
  // move up a place, every cell keeps its look), or a new last one is made.
  void removeCell(int index);
  int appendCell(const QString& path);

  // Every cell normal, no selection, no hover: a click on the empty panel,
  // and what the page does after each picture it adds.
  void DropSelection();
  // The pointer moved over the page panel.
  void panPrev_MouseMove();

  void mnuFileOptionsUnselect_Click();
  void mnuFileOptionsProperties_Click();
  void mnuFileOptionsView_Click();

  // The program-wide abort flag that Esc sets; the panel keeps its own until given one.
  void setAbortFlag(bool* flag) { abort_ = flag ? flag : &ownAbort_; }
  bool& abortFlag() { return *abort_; }
  void setPageReadings(std::function<PageReadings()> readings) { readings_ = std::move(readings); }

  // Makes one cell's picture, its longer side `scale` pixels; runs on worker
  // threads. Empty: the file is decoded.
  using CellWork = std::function<CellPicture(const QString& file, int scale)>;
  void setCellWork(CellWork work) { cellWork_ = std::move(work); }
  // Whether a path is on the e-mail list (exact comparison).
  void setEmailListLookup(std::function<bool(const QString&)> lookup) { emailLookup_ = std::move(lookup); }
  void setDragRunner(DragRunner runner) { dragRunner_ = std::move(runner); }
  // How many pictures are made at once; one a processor unless told.
  void setWorkers(int count);
  // Where thumbnails are kept between openings; by default the desktop's
  // shared cache. The next build takes it; one already running keeps the old.
  void setThumbnailCache(std::shared_ptr<const ThumbnailCache> cache);
  const ThumbnailCache& thumbnailCache() const { return *cache_; }

  // The cell menu `mnuFileOptions`, also the File menu's "&File Options".
  QMenu* fileOptionsMenu() const { return menu_; }
  QAction* commandAction(CellCommand command) const;
  // A command's item stays disabled until the part that carries it out exists.
  void setCommandAvailable(CellCommand command, bool available);
  bool previewAvailable() const { return previewAvailable_; }
  void setPreviewAvailable(bool available);
  void setPropertiesAvailable(bool available);

  // How the window's paints are paced while cells are made.
  PaintPace& paintPace() const { return *paintPace_; }

  // The cells as they show, for the canvas and for tests.
  int cellCount() const { return static_cast<int>(cells_.size()); }
  const ThumbCellState& cell(int index) const { return cells_.at(static_cast<std::size_t>(index)); }
  QRect frameRect(int index) const;    // canvas pixels, as scrolled
  QRect pictureRect(int index) const;  // canvas pixels, as scrolled
  CellHit hitAt(QPoint canvasPoint) const;
  QString cellTooltip(int index) const;
  double twipsPerPixel() const;
  qint64 canvasHeightTwips() const { return canvasHeight_; }

  // The canvas's mouse events, by cell and part.
  void imBr_MouseMove(int index, Qt::MouseButtons buttons);
  void panBr_MouseMove(int index, Qt::MouseButtons buttons);
  void imBr_MouseUp(int index, Qt::MouseButton button, QPoint globalPos);
  void panBr_MouseDown(int index, Qt::MouseButton button);
  void panBr_MouseUp(int index, Qt::MouseButton button, QPoint globalPos);
  void imBr_DblClick(int index);
  void panBr_DblClick(int index);
  void picBrowse_Click();
  void picPan_Click();
  void VScroll1_Change();
  // A drag of cell `index` begins: it carries that cell's picture.
  void beginDrag(int index);

 signals:
  // A build begins. The window: ThumbsIdle false; folder tree disabled;
  // hourglass on itself, panAdjust, panPrev and picPreview, the last three
  // disabled; keeps status panel 1's text and shows kMakingText there.
  void buildStarted();
  // true: the window shows the progress bar at 0 over status panel 1 and
  // stops its memory timer; false: it hides the bar and starts the timer.
  // Not sent for a folder without pictures.
  void makingCells(bool making);
  void progressChanged(int percent);                  // the bar, 0 to 100
  void folderCaptionChanged(const QString& caption);  // labFolder: "Loading picture 3 of 50"
  void memoryPanelTextChanged(const QString& text);   // status panel 2: "40%...<Press 'Esc' to stop>"
  // The build ended (done or stopped with Esc) with `count` cells. The
  // window: ThumbsIdle true; tree enabled; status panel 1's kept text back;
  // default pointer on itself, panAdjust and panPrev, the cross on
  // picPreview; the three enabled again. ThumbsOpen goes on from here.
  void buildFinished(int count);
  // A failure to show in a message box (exclamation, the application's title).
  void errorMessage(const QString& text);
  // ThumbNailClear ran. The window: ThumbSheet false and the sheet counters 0;
  // labFolder "No folder open"; caption "Tavrin Lumaset"; "Next Page" hidden;
  // View > Properties, Image Preview, ThumbNail Layout, SlideShow and Edit
  // Image disabled with the toolbar's Properties, Preview, Edit, Thumbnail
  // and SlideShow; status panel 1 "Undefined layout".
  void cleared();

  // View > Properties, Image Preview and Edit Image with their toolbar buttons.
  void thumbToolsEnabled(bool enabled);
  void pictureToolsOffRequested();  // ToolEnable(False, -1)
  // A different cell was selected: the SELECT sound, when GenSound is on and
  // the preview window is not visible.
  void selectSoundRequested();
  void addWidthChanged(float twips);   // AddWidth
  void addHeightChanged(float twips);  // AddHeight
  void printedHeightChanged(const QString& text);  // labHeight
  // The window switches its timer off, shows the preview of `file` and
  // switches the timer on again when the preview has closed.
  void previewRequested(const QString& file, float aspect, int index);
  void propertiesRequested(int index);
  void cellCommandRequested(lumaset::ThumbnailPanel::CellCommand command, int index);
  void dragStarted(int index, const QString& file);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void buildMenu();
  void resetCells();
  void onListed();
  void onCellReady(int index, const CellPicture& picture);
  void endMaking();
  void watchAbort();
  void finishBuild();
  void applyPicture(int index, const CellPicture& picture);
  void setCanvasHeight(qint64 twips);
  void applyScrollRange();
  void repaintAllNormal();
  void hoverRule(int index, Qt::MouseButtons buttons);
  void showCellMenu(QPoint globalPos);
  void emitAddSize(int index);
  void runDrag(QMimeData* carried, const QImage& picture);

  // Pictures kept in memory (thumb_memory.cpp).
  struct Remakes;
  CellWork workOrDefault() const;
  std::pair<int, int> cellsNearScreen(int margin = 1) const;
  void keepPicture(int index);
  void requestPictures();
  void cancelRemakes();
  void onRemade(int index);

  ThumbTable table_;
  ThumbGeometry geometry_;
  std::vector<ThumbCellState> cells_;
  qint64 canvasHeight_ = 0;  // twips
  bool building_ = false;
  bool ownAbort_ = false;
  bool* abort_ = &ownAbort_;

  std::function<PageReadings()> readings_;
  CellWork cellWork_;
  std::function<bool(const QString&)> emailLookup_;
  DragRunner dragRunner_;
  bool previewAvailable_ = false;
  std::shared_ptr<const ThumbnailCache> cache_;
  CellWork buildWork_;  // the running or last build's, which re-makes pictures too
  ThumbKeeper keeper_;
  std::unique_ptr<Remakes> remakes_;

  std::unique_ptr<QThreadPool> pool_;
  QTimer* abortWatch_;
  PaintPace* paintPace_;  // holds the window's paints back while cells come fast
  int abortTicks_ = 0;
  std::unique_ptr<QFutureWatcher<PictureListing>> listing_;
  // Set from the window's thread to stop the listing under way.
  std::shared_ptr<std::atomic<bool>> listingStop_ = std::make_shared<std::atomic<bool>>(false);
  ThumbMaker* maker_;
  ThumbCanvas* canvas_;
  QScrollBar* scroll_;
  QLabel* notice_;
  QMenu* menu_;
  QAction* unselect_ = nullptr;
  QAction* properties_ = nullptr;
  QAction* view_ = nullptr;
  std::vector<QAction*> commands_;  // by CellCommand
};

}  // namespace lumaset
