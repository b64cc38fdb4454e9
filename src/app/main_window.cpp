#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <utility>

#include "acquire/file_commands.h"
#include "app/main_window_acquire.h"
#include "app/main_window_documents.h"
#include "app/main_window_effects.h"
#include "browser/folder_tree.h"
#include "browser/thumbnail_area.h"
#include "components/mail_sender.h"
#include "components/scanner.h"
#include "effects/effect_commands.h"
#include "frame/about_box.h"
#include "frame/app_state.h"
#include "frame/help_window.h"
#include "frame/memory_meter.h"
#include "layout/adjust_panel.h"
#include "layout/page_area.h"

namespace lumaset {

namespace {

// The layout rules measure the window as a frame whose toolbar lies inside
// it. Here the toolbar, menu bar, status bar and title bar lie outside the
// central widget, so the window's measures in the rules' terms are the
// central widget's plus these fixed allowances, whatever the desktop's
// decorations: the rules then place every pane inside the central widget.
constexpr int kOuterExtraWidth = 120;    // the frame's two borders
constexpr int kOuterExtraHeight = 1390;  // title, menu, toolbar, status bar and borders
constexpr int kInnerExtraHeight = 700;   // toolbar and status bar inside the frame
constexpr int kToolbarHeight = 400;      // the rules' panes start below the toolbar

// Design positions that the rules leave to the window, twips in the rules'
// coordinates.
constexpr int kPaneTop = kSplitterTop;           // the tree, the splitter and the page panel
constexpr int kTreeLeft = 60;
constexpr int kColumnWidth = 3000;
constexpr int kAdjustHeight = 1790;
constexpr int kFolderCaptionTop = kPaneTop + kAdjustHeight + 40;
constexpr int kPanelTop = kPaneTop + 2130;       // the thumbnail panel ends with the tree
// The caption takes the whole band above the panel: a desktop font needs it.
constexpr int kFolderCaptionHeight = kPanelTop - kFolderCaptionTop;
constexpr int kMeterWidth = 240;

// While the window manager refuses the window's shape, it is asked again this
// often, this many times after the last size the window manager gave.
constexpr int kShapeRetryMs = 250;
constexpr int kShapeTries = 80;

}  // namespace

// One icon for the whole run, of the pictures drawn from its SVG ahead (data/icons).
QIcon MainWindow::ProgramIcon() {
  static const QIcon* icon = [] {
    auto* sized = new QIcon;  // kept to the end of the run
    for (const int side : {16, 24, 32, 48, 64, 128})
      sized->addFile(QStringLiteral(":/lumaset/lumaset-%1.png").arg(side), QSize(side, side));
    return sized;
  }();
  return *icon;
}

MainWindow::MainWindow(AppState& app, QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      help_(std::make_unique<HelpService>(app.programFolders.data + QStringLiteral("help"), this)),
      meter_(std::make_unique<MemoryMeter>()) {
  setWindowTitle(app_.identity.name);
  setWindowIcon(ProgramIcon());
  setAttribute(Qt::WA_QuitOnClose);
  shapeTimer_ = new QTimer(this);
  shapeTimer_->setSingleShot(true);
  connect(shapeTimer_, &QTimer::timeout, this, &MainWindow::AskForShape);
  BuildPanes();
  BuildCommands();
  BuildStatusBar();
  ConnectLayoutPage();
  ConnectDocuments();
  ConnectEffects();
  ConnectAcquire();
  ConnectBrowser();
  ConnectViewing();
}

// A running slide show calls back into this window as it ends: it goes
// while the window is still whole.
MainWindow::~MainWindow() { delete slideShow_; }

void MainWindow::BuildPanes() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  dirTree_ = new FolderTree(central);
  dirTree_->setHeaderHidden(true);
  dirTree_->setAccessibleName(QStringLiteral("Folders"));
  dirTree_->setToolTip(QStringLiteral("Select folder to show thumbnails"));

  picSplit_ = new QFrame(central);
  picSplit_->setFrameStyle(QFrame::NoFrame);
  picSplit_->setAutoFillBackground(true);
  picSplit_->setAccessibleName(QStringLiteral("Folder tree width"));
  picSplit_->installEventFilter(this);
  picSplit_->setMouseTracking(true);

  panAdjust_ = new QFrame(central);
  panAdjust_->setFrameStyle(QFrame::Panel | QFrame::Raised);

  labFolder_ = new ShortenedLabel(central);

  picPan_ = new ThumbnailPanel(central);
  panPrev_ = new PagePanel(central);

  pbarMem_ = new QProgressBar(central);
  pbarMem_->setOrientation(Qt::Vertical);
  pbarMem_->setTextVisible(false);
  pbarMem_->setAccessibleName(QStringLiteral("Free memory"));
  pbarMem_->hide();
}

void MainWindow::BuildStatusBar() {
  statusLayout_ = new QLabel(QStringLiteral("Undefined layout"), this);
  statusMemory_ = new QLabel(QStringLiteral("Memory"), this);
  statusDate_ = new QLabel(StatusDateText(QDateTime::currentDateTime()), this);
  statusTime_ = new QLabel(StatusTimeText(QDateTime::currentDateTime()), this);
  for (QLabel* panel : {statusLayout_, statusMemory_, statusDate_, statusTime_}) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  }
  statusBar()->addWidget(statusLayout_, 1);
  statusBar()->addWidget(statusMemory_);
  statusBar()->addPermanentWidget(statusDate_);
  statusBar()->addPermanentWidget(statusTime_);
}

// A minimised window comes back as it was before, maximised or not.
void MainWindow::BringForward() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

// --- Measures --------------------------------------------------------------

double MainWindow::twipsPerPixel() const {
  const QScreen* screen = this->screen();
  return TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

int MainWindow::ToPixels(int twips) const { return TwipsToPixels(twips, twipsPerPixel()); }
int MainWindow::ToTwips(int pixels) const { return PixelsToTwips(pixels, twipsPerPixel()); }

// Pane rectangles come in the rules' coordinates, whose origin lies above the
// central widget by the toolbar's height.
QRect MainWindow::ToPixels(const TwipsRect& rect) const {
  return {ToPixels(rect.left), ToPixels(rect.top - kToolbarHeight), ToPixels(rect.width),
          ToPixels(rect.height)};
}

int MainWindow::OuterWidthTwips() const { return ToTwips(centralWidget()->width()) + kOuterExtraWidth; }
int MainWindow::OuterHeightTwips() const {
  return ToTwips(centralWidget()->height()) + kOuterExtraHeight;
}

// The window's size in pixels for outer measures in the rules' terms, with
// the bars as they lie now.
QSize MainWindow::OuterPixels(int widthTwips, int heightTwips) const {
  const QSize central(ToPixels(widthTwips - kOuterExtraWidth), ToPixels(heightTwips - kOuterExtraHeight));
  return size() + (central - centralWidget()->size());
}

void MainWindow::ResizeOuter(int widthTwips, int heightTwips) {
  // The menu bar's height follows the window's width: a second step sizes
  // the window with the bars as they lie at the new width.
  for (int step = 0; step < 2; ++step) {
    LayOutWhileHidden();
    resize(OuterPixels(widthTwips, heightTwips));
  }
  LayOutWhileHidden();
  KeepOnScreen();
}

// A window that has not been shown lays out its bars only when it shows, so
// until then its central widget's size says nothing about the window's: the
// bars are laid out here at once, at the window's present size.
void MainWindow::LayOutWhileHidden() {
  if (isVisible() || !layout()) return;
  ensurePolished();
  layout()->invalidate();
  layout()->activate();
}

// A window that grew past the screen's edge is moved back onto it, its
// title bar first.
void MainWindow::KeepOnScreen() {
  const QScreen* screen = this->screen();
  if (!screen || isMaximized()) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = frameGeometry();
  const ScreenPoint onScreen =
      FrameOnScreen({frame.x(), frame.y(), frame.width(), frame.height()},
                    {area.x(), area.y(), area.width(), area.height()});
  if (onScreen.x != frame.x() || onScreen.y != frame.y()) move(onScreen.x, onScreen.y);
}

// --- Layout ----------------------------------------------------------------

MainLayoutInput MainWindow::LayoutInput() const {
  MainLayoutInput in;
  in.state = isMinimized()   ? WindowState::Minimized
             : isMaximized() ? WindowState::Maximized
                             : WindowState::Normal;
  // While the window manager gives back the size from before maximising,
  // the window is laid out and shaped for that size.
  const QSize central = centralWidget()->size() + (restoringTo_.isValid() ? restoringTo_ - size() : QSize(0, 0));
  in.width = ToTwips(central.width()) + kOuterExtraWidth;
  in.height = ToTwips(central.height()) + kOuterExtraHeight;
  in.innerHeight = ToTwips(central.height()) + kInnerExtraHeight;
  if (const QScreen* screen = this->screen()) {
    // The screen in the rules' terms: what the desktop's own decorations
    // take is given back as the rules' allowances.
    const QRect area = screen->availableGeometry();
    const int decorations = frameGeometry().height() - centralWidget()->height();
    in.screen = {ToTwips(area.x()), ToTwips(area.y()),
                 ToTwips(area.width() - (frameGeometry().width() - centralWidget()->width())) +
                     kOuterExtraWidth,
                 ToTwips(area.height() - decorations) + kOuterExtraHeight};
  }
  in.formReady = app_.formReady;
  in.treeShown = app_.options.genTree;
  in.memDisplay = app_.options.memDisplay;
  in.disableScreenSaver = app_.options.disableScreenSaver;
  in.treeWidth = treeWidth_;
  in.splitterLeft = columnLeft_;
  in.adjustTop = kPaneTop;
  in.columnExtra = ColumnExtra();
  in.browseHeight = ToTwips(picPan_->browse()->height());
  in.scrollTop = ToTwips(picPan_->scrollBar()->y());
  in.noticeHeight = ToTwips(picPan_->notice()->height());
  in.thumbCell = app_.thumbCell;
  return in;
}

// The page settings' texts may need a wider column than designed at a large
// desktop font: the column grows and the page moves right.
int MainWindow::ColumnExtra() const {
  if (!layout_) return 0;
  return std::max(0, ToTwips(layout_->adjustPanel()->neededWidth()) - kColumnWidth);
}

void MainWindow::FormResize(bool shapeLater) {
  if (layingOut_) return;
  MainLayoutInput input = LayoutInput();
  input.shapeLater = shapeLater;
  const MainLayout layout = LayOutMainWindow(input);
  if (layout.switchScreenSaverOff) app_.screenSaver().SetActive(false);
  if (!layout.layOut) return;
  layingOut_ = true;
  TakeShape(layout, shapeLater);
  ApplyLayout(layout);
  // Redrawing the page may have given the page settings other texts, and the
  // column another width: the window takes the shape that asks for.
  if (std::exchange(columnGrew_, false)) {
    input = LayoutInput();
    input.shapeLater = shapeLater;
    const MainLayout again = LayOutMainWindow(input);
    TakeShape(again, shapeLater);
    ApplyLayout(again);
  }
  layingOut_ = false;
}

void MainWindow::TakeShape(const MainLayout& layout, bool later) {
  if (!layout.reshape) return;
  if (!later) {
    ResizeOuter(layout.windowWidth, layout.windowHeight);
  } else if (!shapeTimer_->isActive()) {
    shapeTimer_->start(0);
  }
}

// A window manager that is sizing the window as the user drags its frame
// ignores any other size meanwhile. So the shape is asked of the window
// system rather than set: the window keeps the size it really has, laid out
// for it, until the window manager grants the shape and the window follows.
// A refused request is asked again a while later, when the drag may be over.
void MainWindow::AskForShape() {
  if (restoringTo_.isValid()) return;  // the window manager's own size comes first
  QWindow* handle = windowHandle();
  const MainLayout layout = LayOutMainWindow(LayoutInput());
  // A shape less than a pixel away from the present size is the present one.
  if (!layout.layOut || !layout.reshape || OuterPixels(layout.windowWidth, layout.windowHeight) == size()) {
    // granted, or no longer wanted
    if (layout.layOut && isVisible()) KeepOnScreen();
    return;
  }
  if (!handle || !isVisible()) {
    FormResize();
    return;
  }
  if (shapeTries_ <= 0) return;  // a window manager that never grants it: the window stays as it is
  --shapeTries_;
  // The window system knows only the last size asked for: asking the same
  // again would not reach it, so the size the window has is asked first.
  if (handle->size() != size()) handle->resize(size());
  handle->resize(OuterPixels(layout.windowWidth, layout.windowHeight));
  shapeTimer_->start(kShapeRetryMs);
}

void MainWindow::ApplyLayout(const MainLayout& layout) {
  dirTree_->setVisible(layout.treeVisible);
  if (layout.treeVisible) {
    dirTree_->setGeometry(ToPixels(TwipsRect{kTreeLeft, kPaneTop, treeWidth_, layout.treeHeight}));
  }
  panAdjust_->setGeometry(ToPixels(TwipsRect{layout.columnLeft, kPaneTop, kColumnWidth + ColumnExtra(), kAdjustHeight}));
  labFolder_->setGeometry(ToPixels(
      TwipsRect{layout.columnLeft, kFolderCaptionTop, kColumnWidth + ColumnExtra(), kFolderCaptionHeight}));
  picPan_->setGeometry(ToPixels(TwipsRect{layout.columnLeft, kPanelTop, kColumnWidth + ColumnExtra(), layout.panelHeight}));
  panPrev_->setGeometry(ToPixels(layout.preview));

  QScrollBar* scroll = picPan_->scrollBar();
  scroll->setVisible(layout.scrollVisible);
  if (layout.scrollVisible) {
    scroll->resize(scroll->width(), ToPixels(layout.scrollHeight));
    scroll->setMaximum(layout.scrollMax);
    scroll->setPageStep(layout.scrollLargeChange);
  } else {
    scroll->setValue(0);  // nothing may stay scrolled out of sight
  }
  QLabel* notice = picPan_->notice();
  notice->move(notice->x(), ToPixels(layout.noticeTop));

  pbarMem_->setVisible(layout.meterVisible);
  if (layout.meterVisible) {
    pbarMem_->setGeometry(ToPixels(TwipsRect{layout.meterLeft, layout.preview.top, kMeterWidth,
                                             layout.meterHeight}));
  }

  picSplit_->setVisible(layout.splitter.has_value());
  if (layout.splitter) {
    picSplit_->setGeometry(ToPixels(*layout.splitter));
    splitter_.place(layout.splitter->left);
  }
  splitter_.setTreeShown(app_.options.genTree);
  panPrev_->PageRefresh();
}

// A window manager frames the window only after it has been shown, and the
// window learns the frame's size later still, without being moved. Until the
// frame is known, each event that may follow it asks for it once more; then
// the window is shaped and placed again with the frame counted.
bool MainWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
    case QEvent::UpdateRequest:
      if (!frameSettled_ && isVisible()) SettleFrame();
      break;
    default:
      break;
  }
  return handled;
}

void MainWindow::SettleFrame() {
  if (frameGeometry() == geometry()) return;  // not framed yet, or never (no window manager)
  frameSettled_ = true;
  if (isMaximized() || isMinimized()) return;
  // The frame goes where the placement put it: the stored position is the frame's.
  move(placedAt_);
  FormResize();
  KeepOnScreen();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // A size given by the window system is laid out as it stands; the shape
  // is asked for after the event.
  if (event->spontaneous()) {
    shapeTries_ = kShapeTries;
    restoringTo_ = QSize();
  }
  FormResize(event->spontaneous());
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  constexpr Qt::WindowStates kWhole = Qt::WindowMaximized | Qt::WindowFullScreen;
  const bool was = (static_cast<QWindowStateChangeEvent*>(event)->oldState() & kWhole) != 0;
  restoringTo_ = QSize();
  if (windowState() & kWhole) {
    if (!was) sizeBeforeMaximized_ = normalGeometry().size();
  } else if (was && !isMinimized() && sizeBeforeMaximized_.isValid() && size() != sizeBeforeMaximized_) {
    // The window manager is giving the window back the size it had before,
    // which the window takes with its next resize: the shape is made from
    // that size, not from the maximised one, and nothing is asked of the
    // window manager meanwhile.
    restoringTo_ = sizeBeforeMaximized_;
    FormResize(true);
    return;
  }
  FormResize();
}

// --- Splitter --------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != picSplit_) return QMainWindow::eventFilter(watched, event);
  const auto* mouse = dynamic_cast<QMouseEvent*>(event);
  if (!mouse) return false;
  const double x = mouse->position().x() * twipsPerPixel();
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      ApplySplitterResponse(splitter_.press(mouse->button(), x));
      return true;
    case QEvent::MouseMove:
      ApplySplitterResponse(splitter_.move(mouse->buttons(), x));
      return true;
    case QEvent::MouseButtonRelease:
      ApplySplitterResponse(splitter_.release(x));
      return true;
    default:
      return false;
  }
}

void MainWindow::ApplySplitterResponse(const SplitterResponse& response) {
  if (response.moveTo) picSplit_->move(ToPixels(*response.moveTo), picSplit_->y());
  if (response.color) {
    QPalette palette = picSplit_->palette();
    palette.setColor(QPalette::Window, *response.color == SplitterColor::Drag
                                           ? QColor(Qt::red)
                                           : QApplication::palette().color(QPalette::Button));
    picSplit_->setPalette(palette);
  }
  if (response.cursor) {
    picSplit_->setCursor(*response.cursor == SplitterCursor::SizeWestEast ? Qt::SizeHorCursor
                                                                          : Qt::ArrowCursor);
  }
  if (response.layOutAgain()) {
    treeWidth_ = *response.treeWidth;
    columnLeft_ = *response.columnLeft;
    FormResize();
  }
}

}  // namespace lumaset
