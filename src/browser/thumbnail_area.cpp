// Building and emptying the thumbnail panel; the selection, the hover and the
// cell menu are in thumb_selection.cpp.

#include "browser/thumbnail_area.h"

#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#include "browser/thumb_canvas.h"
#include "browser/thumb_maker.h"
#include "browser/thumb_picture.h"
#include "browser/thumb_remakes.h"
#include "frame/paint_pace.h"

namespace lumaset {

namespace {

const QColor kNormalBack(192, 192, 192);

// While Esc waits on a cell whose file does not answer, the flag is looked
// at every quarter second, and after two seconds that cell is given up.
constexpr int kAbortWatchMs = 250;
constexpr int kAbortPatienceTicks = 8;

// While cells come faster than anyone sees them, the window paints about
// this often, once for all the cells in between: a paint of the whole window
// costs more than many cells from the thumbnail cache.
constexpr int kPaintPaceMs = 100;

// How long closing waits for the workers, whose decodes have been stopped;
// one stuck on a file system that never answers, or in a decoder that
// cannot be stopped, is left behind, and the program ends without it.
constexpr int kWorkersPatienceMs = 400;

// Pools left behind with a stuck worker. Never freed, not even at exit,
// where freeing one would wait for its worker after all.
std::vector<QThreadPool*>& leftBehind() {
  static auto* pools = new std::vector<QThreadPool*>;
  return *pools;
}

QString errorText(const QString& description) {
  return QStringLiteral("ThumbNail read error: ") + description;
}

}  // namespace

ThumbnailPanel::ThumbnailPanel(QWidget* parent)
    : QFrame(parent),
      cache_(std::make_shared<ThumbnailCache>(ThumbnailCache::DefaultRoot())),
      remakes_(std::make_unique<Remakes>()),
      pool_(std::make_unique<QThreadPool>()),
      abortWatch_(new QTimer(this)),
      paintPace_(new PaintPace(kPaintPaceMs, this)),
      maker_(new ThumbMaker(pool_.get(), this)),
      notice_(new QLabel(QStringLiteral("Thumbnail Panel (none)"), this)) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pool_->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
  abortWatch_->setInterval(kAbortWatchMs);
  connect(abortWatch_, &QTimer::timeout, this, &ThumbnailPanel::watchAbort);
  // The canvas lies over the title, which shows through only while no row covers it.
  canvas_ = new ThumbCanvas(*this, this);
  scroll_ = new QScrollBar(Qt::Vertical, this);
  notice_->setAlignment(Qt::AlignCenter);
  scroll_->setAccessibleName(QStringLiteral("Thumbnail scroll bar"));
  scroll_->setFocusPolicy(Qt::StrongFocus);  // the arrow keys scroll the thumbnails
  scroll_->setRange(0, 1);
  scroll_->setPageStep(1);
  scroll_->hide();
  canvas_->resize(0, 0);
  connect(scroll_, &QScrollBar::valueChanged, this, &ThumbnailPanel::VScroll1_Change);
  connect(maker_, &ThumbMaker::cellReady, this, &ThumbnailPanel::onCellReady);
  connect(maker_, &ThumbMaker::finished, this, &ThumbnailPanel::endMaking);
  buildMenu();
}

// Workers still running end before the pool goes; none of them refers to the panel.
ThumbnailPanel::~ThumbnailPanel() {
  paintPace_->release();
  maker_->stop();
  cancelRemakes();
  listingStop_->store(true);
  listing_.reset();
  pool_->clear();
  if (!pool_->waitForDone(kWorkersPatienceMs)) leftBehind().push_back(pool_.release());
}

QWidget* ThumbnailPanel::browse() const { return canvas_; }

void ThumbnailPanel::setWorkers(int count) { pool_->setMaxThreadCount(std::max(1, count)); }

void ThumbnailPanel::setThumbnailCache(std::shared_ptr<const ThumbnailCache> cache) {
  cache_ = cache ? std::move(cache) : std::make_shared<const ThumbnailCache>();
}

double ThumbnailPanel::twipsPerPixel() const {
  const QScreen* screen = this->screen();
  return TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

// --- Building ---------------------------------------------------------------

Status ThumbnailPanel::ThumbNail(const QString& folder, bool large) {
  if (building_) return Error{QStringLiteral("Thumbnails are still being made; press Esc to stop them first.")};
  building_ = true;
  *abort_ = false;  // an Esc meant for an earlier operation must not stop this one
  resetCells();  // whatever the caller left, a build starts from an empty panel
  geometry_ = ThumbGeometry::ForLarge(large);
  setCursor(Qt::WaitCursor);
  setEnabled(false);
  emit buildStarted();

  const QString path = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  listing_ = std::make_unique<QFutureWatcher<PictureListing>>();
  connect(listing_.get(), &QFutureWatcherBase::finished, this, &ThumbnailPanel::onListed);
  listingStop_ = std::make_shared<std::atomic<bool>>(false);
  listing_->setFuture(QtConcurrent::run(pool_.get(), [path, stop = listingStop_] {
    auto listed = ListPictureFiles(path, [stop] { return stop->load(std::memory_order_relaxed); });
    return listed ? PictureListing{std::move(listed).value(), {}} : PictureListing{{}, listed.error()};
  }));
  abortWatch_->start();  // Esc stops the listing too
  return Status::success();
}

int ThumbnailPanel::ThumbNailAndWait(const QString& folder, bool large) {
  if (!ThumbNail(folder, large).ok()) return -1;
  if (!building_) return table_.ThumbCount();
  QEventLoop loop;
  connect(this, &ThumbnailPanel::buildFinished, &loop, &QEventLoop::quit);
  connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
  const QPointer<ThumbnailPanel> alive(this);
  loop.exec();
  return alive ? table_.ThumbCount() : -1;
}

void ThumbnailPanel::onListed() {
  abortWatch_->stop();
  const PictureListing listed = listing_->result();
  listing_.reset();
  // An Esc while the folder was listed ends the build with nothing, whether
  // or not it reached the listing before it ended.
  if (listingStop_->load() || *abort_) {
    *abort_ = false;
    finishBuild();
    return;
  }
  if (!listed.error.isEmpty()) emit errorMessage(errorText(listed.error));
  if (listed.paths.isEmpty()) {
    finishBuild();
    return;
  }
  table_.start(listed.paths);
  cells_.assign(static_cast<std::size_t>(listed.paths.size()), ThumbCellState{});
  keeper_.reset(cellCount());
  for (ThumbCellState& state : cells_) {
    state.back = kNormalBack;
    state.fit = SquareFit(geometry_);
  }
  emit makingCells(true);
  const int scale = qRound(geometry_.scale);
  buildWork_ = workOrDefault();
  const CellWork work = buildWork_;
  abortTicks_ = 0;
  abortWatch_->start();
  maker_->start(listed.paths, [scale, work](const QString& file) { return work(file, scale); });
}

void ThumbnailPanel::watchAbort() {
  if (listing_) {
    if (*abort_) listingStop_->store(true);
    return;
  }
  abortTicks_ = *abort_ ? abortTicks_ + 1 : 0;
  if (abortTicks_ >= kAbortPatienceTicks) {
    abortTicks_ = 0;
    maker_->giveUpOnNext();
  }
}

void ThumbnailPanel::onCellReady(int index, const CellPicture& picture) {
  paintPace_->hold(window());
  applyPicture(index, picture);
  cells_[static_cast<std::size_t>(index)].visible = true;
  const int total = table_.ThumbCount();
  const auto percent = static_cast<int>((qint64{index} + 1) * 100 / total);
  emit folderCaptionChanged(QStringLiteral("Loading picture %1 of %2").arg(index + 1).arg(total));
  emit progressChanged(percent);
  emit memoryPanelTextChanged(QStringLiteral("%1%...<Press 'Esc' to stop>").arg(percent));
  setCanvasHeight(geometry_.canvasHeightThrough(index));
  canvas_->update(frameRect(index));
  abortTicks_ = 0;
  if (*abort_) {
    *abort_ = false;
    table_.stopAt(index + 1);
    maker_->stop();
    endMaking();
  }
}

void ThumbnailPanel::endMaking() {
  abortWatch_->stop();
  paintPace_->release();
  emit makingCells(false);
  applyScrollRange();
  requestPictures();
  finishBuild();
}

void ThumbnailPanel::finishBuild() {
  building_ = false;
  setEnabled(true);
  unsetCursor();
  emit buildFinished(table_.ThumbCount());
}

// A picture that could not be read keeps the sizes and the place of its
// earlier read and shows the placeholder.
void ThumbnailPanel::applyPicture(int index, const CellPicture& picture) {
  ThumbCellState& state = cells_[static_cast<std::size_t>(index)];
  if (picture.facts.unsupported) {
    table_.markUnsupported(index);
    state.picture = PlaceholderPicture();
    keeper_.drop(index);
    return;
  }
  table_.setFacts(index, picture.facts);
  state.fit = FitPicture(picture.facts.width, picture.facts.height, geometry_);
  state.picture = picture.image;
  keepPicture(index);
}

void ThumbnailPanel::setCanvasHeight(qint64 twips) {
  canvasHeight_ = twips;
  const qint64 pixels = std::llround(static_cast<double>(twips) / twipsPerPixel());
  canvas_->resize(canvas_->width(), static_cast<int>(std::clamp<qint64>(pixels, 0, QWIDGETSIZE_MAX)));
}

// A bar that is not needed is hidden at the top, so that no row stays out of sight.
void ThumbnailPanel::applyScrollRange() {
  const double perPixel = twipsPerPixel();
  const int viewport = PixelsToTwips(height(), perPixel);
  const ScrollRange range = ScrollRangeFor(canvasHeight_, viewport, geometry_.cell);
  if (!range.visible) {
    scroll_->setValue(0);
    scroll_->hide();
    return;
  }
  const int barHeight = std::max(0, viewport - PixelsToTwips(scroll_->y(), perPixel) - 120);
  scroll_->resize(scroll_->width(), TwipsToPixels(barHeight, perPixel));
  scroll_->setMaximum(range.maximum);
  scroll_->setPageStep(range.largeChange);
  scroll_->show();
}

// One step of the bar is one row: the cells move up by a cell pitch while the canvas stays.
void ThumbnailPanel::VScroll1_Change() {
  canvas_->setFirstRowOffset(qint64{scroll_->value()} * geometry_.cell);
  requestPictures();
}

// --- Cells ------------------------------------------------------------------

void ThumbnailPanel::ThumbNailCreate(int index) {
  if (building_ || !table_.isValid(index) || index >= cellCount()) return;
  applyPicture(index, MakeCellPicture(table_.ThumbFiles(index), qRound(geometry_.scale), *cache_));
  canvas_->update(frameRect(index));
  if (index == table_.ThumbSel()) emitAddSize(index);
}

bool ThumbnailPanel::ThumbNailClear() {
  if (building_) return false;
  resetCells();
  *abort_ = false;
  emit cleared();
  return true;
}

void ThumbnailPanel::resetCells() {
  cancelRemakes();
  cells_.clear();
  cells_.shrink_to_fit();
  keeper_.reset(0);
  table_.clear();
  setCanvasHeight(0);
  scroll_->setValue(0);
  scroll_->setMaximum(1);
  scroll_->setPageStep(1);
  scroll_->hide();
  canvas_->update();
}

void ThumbnailPanel::removeCell(int index) {
  if (building_ || !table_.isValid(index)) return;
  table_.removeAt(index);
  cancelRemakes();
  keeper_.removeAt(index);
  const int count = table_.ThumbCount();
  for (int i = index; i < count; ++i) {
    ThumbCellState& into = cells_[static_cast<std::size_t>(i)];
    const ThumbCellState& from = cells_[static_cast<std::size_t>(i) + 1];
    into.picture = from.picture;
    into.fit = from.fit;
  }
  cells_.resize(static_cast<std::size_t>(count));
  keeper_.resize(count);
  setCanvasHeight(count > 0 ? geometry_.canvasHeightThrough(count - 1) : 0);
  applyScrollRange();
  requestPictures();
  canvas_->update();
}

int ThumbnailPanel::appendCell(const QString& path) {
  if (building_) return -1;
  const int index = table_.append(path);
  cancelRemakes();
  cells_.resize(static_cast<std::size_t>(index));  // cells left by a stopped build go
  keeper_.resize(index);
  keeper_.resize(index + 1);
  ThumbCellState state;
  state.back = kNormalBack;
  state.fit = SquareFit(geometry_);
  state.visible = true;
  cells_.push_back(state);
  ThumbNailCreate(index);
  setCanvasHeight(geometry_.canvasHeightThrough(index));
  applyScrollRange();
  requestPictures();  // those given up above
  return index;
}

// --- Geometry ---------------------------------------------------------------

QRect ThumbnailPanel::frameRect(int index) const {
  const double perPixel = twipsPerPixel();
  const TwipsRect frame = geometry_.frame(index);
  const qint64 top = frame.top - canvas_->firstRowOffset();
  return {TwipsToPixels(frame.left, perPixel), TwipsToPixels(static_cast<double>(top), perPixel),
          TwipsToPixels(frame.width, perPixel), TwipsToPixels(frame.height, perPixel)};
}

QRect ThumbnailPanel::pictureRect(int index) const {
  const double perPixel = twipsPerPixel();
  const TwipsRect frame = geometry_.frame(index);
  const PictureFit& fit = cell(index).fit;
  const double left = frame.left + fit.left;
  const double top = static_cast<double>(frame.top - canvas_->firstRowOffset()) + fit.top;
  return {TwipsToPixels(left, perPixel), TwipsToPixels(top, perPixel), std::max(1, TwipsToPixels(fit.width, perPixel)),
          std::max(1, TwipsToPixels(fit.height, perPixel))};
}

CellHit ThumbnailPanel::hitAt(QPoint canvasPoint) const {
  const double perPixel = twipsPerPixel();
  const qint64 y = std::llround(canvasPoint.y() * perPixel) + canvas_->firstRowOffset();
  const qint64 x = std::llround(canvasPoint.x() * perPixel);
  const qint64 column = geometry_.rowOf(x);  // columns step like rows
  const qint64 index = geometry_.rowOf(y) * geometry_.cols + column;
  if (column >= geometry_.cols || index >= cellCount() || x < 0 || y < 0) return {};
  const int cellIndex = static_cast<int>(index);
  if (!cell(cellIndex).visible || !frameRect(cellIndex).contains(canvasPoint)) return {};
  const bool onPicture = pictureRect(cellIndex).contains(canvasPoint);
  return {cellIndex, onPicture ? CellHit::Part::Picture : CellHit::Part::Frame};
}

QString ThumbnailPanel::cellTooltip(int index) const { return CellTooltip(table_, index); }

void ThumbnailPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  const int barWidth = scroll_->sizeHint().width();
  const QRect inside = contentsRect();
  notice_->setGeometry(inside.left(), notice_->y(), inside.width(), notice_->sizeHint().height());
  canvas_->setGeometry(inside.left(), inside.top(), std::max(0, inside.width() - barWidth), canvas_->height());
  scroll_->setGeometry(inside.right() + 1 - barWidth, scroll_->y(), barWidth, scroll_->height());
  requestPictures();
}

// A click on the panel below the rows drops the selection as one on the canvas does.
void ThumbnailPanel::mousePressEvent(QMouseEvent* event) { event->accept(); }

void ThumbnailPanel::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (rect().contains(event->position().toPoint())) picPan_Click();
}

}  // namespace lumaset
