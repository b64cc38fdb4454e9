#include "browser/preview_window.h"

#include <QBitmap>
#include <QCursor>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "browser/background_work.h"
#include "browser/thumb_table.h"
#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "components/theme_icons.h"
#include "frame/about_box.h"
#include "frame/units.h"

namespace lumaset {

namespace {

constexpr double kZoomStep = 1.5;
constexpr float kPanelRightTwips = 200;
constexpr float kPanelBottomTwips = 500;

// The picture of the preview: stretched to its rectangle, and the place of
// the zoom click.
class ZoomImage : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void(Qt::MouseButton, QPointF)> pressed;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (pressed) pressed(event->button(), event->position());
    event->accept();
  }
};

// A magnifying glass, black with a white edge, its hot spot in the lens.
QCursor MagnifierCursor() {
  QBitmap shape(32, 32);
  QBitmap mask(32, 32);
  shape.fill(Qt::color0);
  mask.fill(Qt::color0);
  {
    QPainter painter(&mask);
    painter.setPen(QPen(Qt::color1, 4));
    painter.setBrush(Qt::color1);
    painter.drawEllipse(QPoint(9, 8), 8, 8);
    painter.setPen(QPen(Qt::color1, 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(15, 14, 28, 27);
  }
  {
    QPainter painter(&shape);
    painter.setPen(QPen(Qt::color1, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPoint(9, 8), 7, 7);
    painter.setPen(QPen(Qt::color1, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(15, 14, 27, 26);
  }
  return QCursor(shape, mask, 9, 8);
}


// Enter and Return press a focused button, as Space does.
class EnterPresses : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || (key != Qt::Key_Return && key != Qt::Key_Enter)) return false;
    button->click();
    return true;
  }
};

}  // namespace

long long RoundHalfEven(double value) {
  if (!std::isfinite(value)) return 0;
  constexpr double kLimit = 9.0e18;
  value = std::clamp(value, -kLimit, kLimit);
  const double below = std::floor(value);
  const double fraction = value - below;
  auto result = static_cast<long long>(below);
  if (fraction > 0.5 || (fraction == 0.5 && result % 2 != 0)) ++result;
  return result;
}

// ---- the numbers -------------------------------------------------------------

float PreviewGeometry::WindowSide(float mainWidth, float mainHeight, float screenHeight) {
  return mainWidth <= screenHeight ? mainWidth : mainHeight;
}

// The fit goes by the area's own width and height, so a client area that is
// not square (a window's outer square less its title bar) still takes the
// whole picture.
QRectF PreviewGeometry::FitPicture(float width, float height, float aspect) {
  if (!std::isfinite(aspect) || aspect <= 0) aspect = 1;
  float fitWidth = 0;
  float fitHeight = 0;
  if (aspect >= 1) {
    fitWidth = width;
    if (width / aspect > height) fitWidth = height * aspect;
    fitHeight = fitWidth / aspect;
  } else {
    fitHeight = height;
    if (height * aspect > width) fitHeight = width / aspect;
    fitWidth = fitHeight * aspect;
  }
  return {(width - fitWidth) / 2, (height - fitHeight) / 2, fitWidth, fitHeight};
}

QPointF PreviewGeometry::ButtonPanelPlace(float areaWidth, float areaHeight, float panelWidth, float panelHeight) {
  return {areaWidth - panelWidth - kPanelRightTwips, areaHeight - panelHeight - kPanelBottomTwips};
}

// Each step is taken in double precision and stored as a 32-bit float, so the
// ladders read 1.5, 2.25 ... 38.443359 up and 38, 25.333334 ... 1.4827008 down.
bool PreviewZoom::In() {
  if (factor_ >= kMax) return false;
  const double next = static_cast<double>(factor_) * kZoomStep;
  factor_ = next > kMax ? kMax : static_cast<float>(next);
  return true;
}

bool PreviewZoom::Out() {
  if (factor_ <= kMin) return false;
  const double next = static_cast<double>(factor_) / kZoomStep;
  factor_ = next < kMin ? kMin : static_cast<float>(next);
  return true;
}

QString PreviewZoom::Tooltip() const {
  if (factor_ <= kMin) return kTipIn;
  if (factor_ >= kMax) return kTipOut;
  return kTipBoth;
}

CropRect PreviewZoom::Crop(int pixelWidth, int pixelHeight, QPointF click, QSizeF shownSize) const {
  const auto share = [](double at, double length) {
    return length > 0 ? std::clamp(at / length, 0.0, 1.0) : 0.0;
  };
  const double zoom = factor_;
  // A tiny picture at a high zoom would otherwise ask for a crop of nothing.
  const long long width = std::max(1LL, RoundHalfEven(pixelWidth / zoom));
  const long long height = std::max(1LL, RoundHalfEven(pixelHeight / zoom));
  const long long left = RoundHalfEven(share(click.x(), shownSize.width()) * static_cast<double>(pixelWidth - width));
  const long long top = RoundHalfEven(share(click.y(), shownSize.height()) * static_cast<double>(pixelHeight - height));
  return {static_cast<int>(std::max(0LL, left)), static_cast<int>(std::max(0LL, top)), static_cast<int>(width),
          static_cast<int>(height)};
}

int PreviewNavigator::Step(const ThumbTable& table, int from, int direction) {
  const int count = table.ThumbCount();
  const int step = direction < 0 ? -1 : 1;
  int index = from;
  for (int walked = 0; walked < count; ++walked) {
    index += step;
    if (index < 0) {
      index = count - 1;
    } else if (index > count - 1) {
      index = step < 0 ? count - 1 : 0;
    }
    if (!table.ThumbUnsupported(index)) return index;
  }
  return -1;
}

// ---- the window --------------------------------------------------------------

PreviewWindow::PreviewWindow(const ThumbTable& table, QString appTitle, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      table_(table),
      appTitle_(std::move(appTitle)),
      reading_(std::make_unique<BackgroundWork<Result<QImage>>>()) {
  showError_ = [this](const QString& text) { ShowMessageBox(this, QMessageBox::Warning, appTitle_, text, QMessageBox::Ok); };
  setWindowTitle(kCaption);
  BuildControls();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::BuildControls() {
  const QCursor cursor = MagnifierCursor();
  setCursor(cursor);

  auto* image = new ZoomImage(this);
  image->setScaledContents(true);
  image->setToolTip(PreviewZoom::kTipIn);
  image->setCursor(cursor);
  image->pressed = [this](Qt::MouseButton button, QPointF at) { Image1_MouseDown(button, at); };
  image1_ = image;
  image1_->setAccessibleName(QStringLiteral("Picture"));

  panCon_ = new QFrame(this);
  panCon_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panCon_->setAutoFillBackground(true);
  panCon_->setCursor(Qt::ArrowCursor);
  auto* row = new QHBoxLayout(panCon_);
  row->setContentsMargins(3, 3, 3, 3);
  auto* enter = new EnterPresses(this);
  const auto button = [this, row, enter](const QIcon& icon, const QString& tip) {
    auto* made = new QToolButton(panCon_);
    made->installEventFilter(enter);
    made->setIcon(icon);
    made->setIconSize(QSize(24, 24));
    made->setToolTip(tip);
    made->setAccessibleName(tip);  // the button shows only its icon
    row->addWidget(made);
    return made;
  };
  cmdPrev_ = button(ThemeIcon({"go-previous"}, QStyle::SP_ArrowLeft), QStringLiteral("Previous photo"));
  cmdStop_ = button(ThemeIcon({"window-close", "process-stop"}, QStyle::SP_DialogCloseButton), QStringLiteral("Close"));
  cmdNext_ = button(ThemeIcon({"go-next"}, QStyle::SP_ArrowRight), QStringLiteral("Next photo"));
  panCon_->adjustSize();
  connect(cmdPrev_, &QToolButton::clicked, this, &PreviewWindow::cmdPrev_Click);
  connect(cmdStop_, &QToolButton::clicked, this, &PreviewWindow::cmdStop_Click);
  connect(cmdNext_, &QToolButton::clicked, this, &PreviewWindow::cmdNext_Click);
}

// The square that the rules give is the window's outer size; the picture
// fits into what is left inside the desktop's frame, which is taken to be as
// wide as the main window's own.
QSize PreviewWindow::ClientSize() const {
  const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
  const QScreen* screen = main ? main->screen() : this->screen();
  const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  const QSize outer = main ? main->frameGeometry().size() : screenRect.size();
  const QSize frame = main ? main->frameGeometry().size() - main->size() : QSize(0, 0);
  const auto side = static_cast<int>(std::lround(PreviewGeometry::WindowSide(
      static_cast<float>(outer.width()), static_cast<float>(outer.height()), static_cast<float>(screenRect.height()))));
  return {std::max(1, side - frame.width()), std::max(1, side - frame.height())};
}

Result<QImage> PreviewWindow::ReadPicture(const QString& path) {
  try {
    Imaging imaging;
    if (const Status loaded = imaging.LoadFile(path); !loaded) return Error{loaded.error()};
    return imaging.GetPicture();
  } catch (const std::bad_alloc&) {
    return Error{QStringLiteral("There is not enough memory to read \"%1\".").arg(path)};
  }
}

void PreviewWindow::StartReading(std::function<void(Result<QImage>)> then) {
  reading_->start([path = viewPath_] { return ReadPicture(path); }, std::move(then));
}

bool PreviewWindow::loading() const { return reading_->running(); }

void PreviewWindow::ShowPicture(const QImage& picture) {
  shown_ = picture;
  if (picture.isNull()) {
    image1_->clear();
  } else {
    image1_->setPixmap(QPixmap::fromImage(picture));
  }
}

void PreviewWindow::View(const QString& file, float aspect, int index) {
  image1_->hide();
  const QSize client = ClientSize();
  setFixedSize(client);
  viewPath_ = file;
  viewAspect_ = aspect;
  viewIndex_ = index;
  setWindowTitle(FileSystemUtility::PathPart(file, false));
  emit thumbNailSelectRequested(index);

  const QRectF fit = PreviewGeometry::FitPicture(static_cast<float>(client.width()),
                                                 static_cast<float>(client.height()), aspect);
  image1_->setGeometry(static_cast<int>(std::lround(fit.left())), static_cast<int>(std::lround(fit.top())),
                       static_cast<int>(std::lround(fit.width())), static_cast<int>(std::lround(fit.height())));

  if (!viewImgX_) viewImgX_ = std::make_unique<Imaging>();
  // Nothing of the picture shown before may stand under the new caption,
  // neither while the file is read nor when it cannot be.
  ShowPicture({});
  zoomReading_ = false;  // the read of an earlier zoom click stops here
  StartReading([this](const Result<QImage>& read) {
    if (read && viewImgX_->LoadFromPicture(*read).ok()) {
      ShowPicture(viewImgX_->GetPicture());
    } else {
      viewImgX_ = std::make_unique<Imaging>();
      ShowPicture({});
    }
  });
  emit soundRequested(Sound::Show, false);

  const QScreen* screen = this->screen();
  const double perPixel = TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
  const QPointF place = PreviewGeometry::ButtonPanelPlace(
      static_cast<float>(client.width() * perPixel), static_cast<float>(client.height() * perPixel),
      static_cast<float>(panCon_->width() * perPixel), static_cast<float>(panCon_->height() * perPixel));
  panCon_->move(TwipsToPixels(place.x(), perPixel), TwipsToPixels(place.y(), perPixel));
  panCon_->raise();

  cmdPrev_->setEnabled(index != -1);
  cmdNext_->setEnabled(index != -1);
  zoom_.reset();
  shownZoom_ = zoom_;
  image1_->setToolTip(zoom_.Tooltip());
  image1_->show();
}

void PreviewWindow::ShowStep(int direction) {
  const int index = PreviewNavigator::Step(table_, viewIndex_, direction);
  if (index < 0) return;
  const int height = table_.ThumbHeights(index);
  const float aspect = height > 0 ? static_cast<float>(static_cast<double>(table_.ThumbWidths(index)) / height) : 0.0f;
  View(table_.ThumbFiles(index), aspect, index);
}

void PreviewWindow::cmdNext_Click() { ShowStep(+1); }
void PreviewWindow::cmdPrev_Click() { ShowStep(-1); }
void PreviewWindow::cmdStop_Click() { reject(); }

// Every click steps the zoom at once, so that no click is lost however long
// the file takes to read. Each crop starts again from the file at full size,
// so the zoom never works on pixels an earlier crop has already thrown away;
// a read under way serves the clicks made meanwhile, with the latest zoom
// and the latest place.
void PreviewWindow::Image1_MouseDown(Qt::MouseButton button, QPointF at) {
  const bool zoomIn = button == Qt::LeftButton;
  if (!(zoomIn ? zoom_.In() : zoom_.Out())) return;
  emit soundRequested(zoomIn ? Sound::In : Sound::Out, false);
  image1_->setToolTip(zoom_.Tooltip());
  zoomClick_ = ZoomClick{at, image1_->size()};
  if (zoomReading_) return;
  zoomReading_ = true;
  StartReading([this](const Result<QImage>& read) {
    zoomReading_ = false;
    ZoomInto(read);
  });
}

// A picture that cannot be read or cropped leaves the picture and the zoom
// as they were before the clicks it was read for.
void PreviewWindow::ZoomInto(const Result<QImage>& read) {
  if (!viewImgX_) viewImgX_ = std::make_unique<Imaging>();
  const QString failed = QStringLiteral("Crop/Resize error: ");
  const auto fail = [&](const QString& why) {
    zoom_ = shownZoom_;
    image1_->setToolTip(zoom_.Tooltip());
    showError_(failed + why);
  };
  const Status loaded = read ? viewImgX_->LoadFromPicture(*read) : Status(Error{read.error()});
  if (!loaded) return fail(loaded.error());
  const CropRect crop =
      zoom_.Crop(viewImgX_->PixelWidth(), viewImgX_->PixelHeight(), zoomClick_.at, zoomClick_.shownSize);
  if (const Status cropped = viewImgX_->ImgCrop(crop.left, crop.top, crop.width, crop.height); !cropped) {
    return fail(cropped.error());
  }
  shownZoom_ = zoom_;
  ShowPicture(viewImgX_->GetPicture());
}

void PreviewWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
}

void PreviewWindow::done(int result) {
  reading_->stop();
  zoomReading_ = false;
  viewImgX_.reset();
  emit soundRequested(Sound::Show, true);
  QDialog::done(result);
}

}  // namespace lumaset
