#include "browser/properties_window.h"

#include "frame/fit_text.h"

#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <new>

#include "browser/background_work.h"
#include "browser/thumb_table.h"
#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "frame/units.h"

namespace lumaset {

namespace {

constexpr double kCentimetresPerInch = 2.54;
constexpr int kFactsWidth = 4000;  // twips, the window with the facts table
constexpr int kExifWidth = 6200;   // twips, the window with the EXIF report
constexpr int kFrameHeight = 3000;
constexpr int kButtonTop = 3180;
constexpr int kButtonWidth = 1215;
constexpr int kButtonHeight = 375;
constexpr int kWindowHeight = 3800;
constexpr int kWidestValue = 6000;
constexpr std::size_t kColorsRow = 5;

QString Decimals(double value, int decimals, const QLocale& locale) {
  QLocale plain = locale;
  plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
  return plain.toString(value, 'f', decimals);
}

}  // namespace

PropertiesSubject SubjectFromTable(const ThumbTable& table, int index) {
  PropertiesSubject subject;
  subject.path = table.ThumbFiles(index);
  subject.width = table.ThumbWidths(index);
  subject.height = table.ThumbHeights(index);
  subject.bits = table.ThumbBits(index);
  subject.colors = table.ThumbColors(index);
  return subject;
}

// PrinterRes counts printer dots per unit of the chosen measure, so with
// centimetres it is dots per centimetre: the resolution row turns it back into
// dots per inch, and the print-size row says that its sizes are centimetres.
std::array<FactRow, kFactRows> FactsTable(const PropertiesSubject& subject, const QLocale& locale) {
  const QFileInfo file(subject.path);
  const bool exists = file.exists();
  const double res = subject.printerRes;
  const bool resKnown = std::isfinite(res) && res > 0;
  const double dotsPerInch = subject.inches ? res : res * kCentimetresPerInch;
  QString printSize;
  if (resKnown) {
    printSize = Decimals(subject.width / res, 2, locale) + QStringLiteral(" W x ") +
                Decimals(subject.height / res, 2, locale) + QStringLiteral(" H");
  }
  return {{
      {QStringLiteral("File name:"), FileSystemUtility::PathPart(subject.path, false)},
      {QStringLiteral("File size (kBytes): "),
       exists ? Decimals(static_cast<double>(file.size()) / 1000.0, 3, locale) : QString()},
      {QStringLiteral("Last modified:"),
       exists ? locale.toString(file.lastModified(), QLocale::ShortFormat) : QString()},
      {QStringLiteral("Pixel dimensions:"), QStringLiteral("%1 x %2").arg(subject.width).arg(subject.height)},
      {QStringLiteral("Color Depth (bpp):"), QString::number(subject.bits)},
      {QStringLiteral("Colors used:"), locale.toString(subject.colors)},
      {QStringLiteral("Printer Name:"), subject.printerName},
      {QStringLiteral("Resolution (dpi):"), resKnown ? Decimals(dotsPerInch, 0, locale) : QString()},
      {subject.inches ? QStringLiteral("Print size (in):") : QStringLiteral("Print size (cm):"), printSize},
  }};
}

int CountColorsUsed(const QString& path) {
  try {
    Imaging imaging;
    return imaging.LoadFile(path) ? imaging.ColorsUsed() : 0;
  } catch (const std::bad_alloc&) {
    return 0;  // too large to count: 0, as for an unreadable file
  }
}

bool AsksForExif(const QString& path) { return path.right(3).toLower() == QLatin1String("jpg"); }

PropertiesContent GatherProperties(const PropertiesSubject& subject, const ExifReader& reader, const QLocale& locale) {
  PropertiesContent content;
  if (AsksForExif(subject.path)) {
    const auto report = reader.Read(subject.path);
    if (report && report->hasExif()) {
      content.exif = true;
      content.caption = kExifCaption;
      content.widthTwips = kExifWidth;
      content.exifLines = report->lines.mid(0, kExifLinesShown);
      return content;
    }
  }
  content.caption = kFactsCaption;
  content.widthTwips = kFactsWidth;
  content.colors = std::max(subject.colors, 0);
  const auto rows = FactsTable(subject, locale);
  content.facts.assign(rows.begin(), rows.end());
  return content;
}

// ---- the window --------------------------------------------------------------

PropertiesWindow::PropertiesWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      counting_(std::make_unique<BackgroundWork<int>>()) {
  setWindowTitle(QStringLiteral("Properties"));
  BuildControls();
}

PropertiesWindow::~PropertiesWindow() = default;

int PropertiesWindow::Pixels(int twips) const {
  const QScreen* screen = this->screen();
  return TwipsToPixels(twips, TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0));
}

void PropertiesWindow::BuildControls() {
  frame1_ = new QGroupBox(this);
  frame1_->setGeometry(Pixels(60), Pixels(60), Pixels(3800), Pixels(kFrameHeight));
  QFont bold = font();
  bold.setBold(true);
  for (int row = 0; row < kFactRows; ++row) {
    const int top = Pixels(300 + 300 * row);
    auto* caption = new QLabel(frame1_);
    caption->setFont(bold);
    caption->setGeometry(Pixels(120), top, Pixels(1750), Pixels(255));
    auto* value = new QLabel(frame1_);
    value->setGeometry(Pixels(1900), top, Pixels(1850), Pixels(255));
    label1_.at(static_cast<std::size_t>(row)) = caption;
    label2_.at(static_cast<std::size_t>(row)) = value;
  }

  frame2_ = new QGroupBox(this);
  frame2_->setGeometry(Pixels(60), Pixels(60), Pixels(6000), Pixels(kFrameHeight));
  listInfo_ = new QListWidget(frame2_);
  listInfo_->setAccessibleName(QStringLiteral("EXIF data"));
  QFont fixed(QStringLiteral("Courier New"));
  fixed.setStyleHint(QFont::TypeWriter);
  fixed.setFixedPitch(true);
  fixed.setPointSizeF(8.25);
  listInfo_->setFont(fixed);
  listInfo_->setGeometry(Pixels(120), Pixels(240), Pixels(5760), Pixels(kFrameHeight - 360));
  frame2_->hide();

  command1_ = new QPushButton(QStringLiteral("Close"), this);
  command1_->setToolTip(QStringLiteral("Exit"));
  connect(command1_, &QPushButton::clicked, this, &PropertiesWindow::Command1_Click);
  Arrange(Pixels(kFactsWidth));
}

// The columns keep their places unless the desktop's fonts need more room;
// the frame and the window then grow to show every caption and value whole.
// Gives the window's width in pixels.
int PropertiesWindow::FitFactColumns(int widthTwips) {
  int captionWidth = Pixels(1750);
  int valueWidth = Pixels(1850);
  for (std::size_t row = 0; row < label1_.size(); ++row) {
    const QLabel* caption = label1_.at(row);
    QLabel* value = label2_.at(row);
    // A very long value (a file's name) loses its middle; its tooltip has it whole.
    const QFontMetrics metrics = value->fontMetrics();
    if (metrics.horizontalAdvance(value->text()) + 4 > Pixels(kWidestValue)) {
      value->setToolTip(value->text());
      value->setAccessibleDescription(value->text());
      value->setText(metrics.elidedText(value->text(), Qt::ElideMiddle, Pixels(kWidestValue) - 4));
    }
    captionWidth = std::max(captionWidth, caption->fontMetrics().horizontalAdvance(caption->text()) + 4);
    valueWidth = std::max(valueWidth, value->fontMetrics().horizontalAdvance(value->text()) + 4);
  }
  const int captionLeft = Pixels(120);
  const int valueLeft = captionLeft + captionWidth + Pixels(30);
  const int frameWidth = std::max(Pixels(3800), valueLeft + valueWidth + Pixels(60));
  frame1_->resize(frameWidth, frame1_->height());
  for (std::size_t row = 0; row < label1_.size(); ++row) {
    const int top = label1_.at(row)->y();
    label1_.at(row)->setGeometry(captionLeft, top, captionWidth, label1_.at(row)->height());
    label2_.at(row)->setGeometry(valueLeft, top, frameWidth - valueLeft - Pixels(60), label2_.at(row)->height());
  }
  return std::max(Pixels(widthTwips), frameWidth + Pixels(200));
}

void PropertiesWindow::Arrange(int widthPixels) {
  setFixedSize(widthPixels, Pixels(kWindowHeight));
  command1_->setGeometry((width() - Pixels(kButtonWidth)) / 2, Pixels(kButtonTop), Pixels(kButtonWidth),
                         Pixels(kButtonHeight));
}

void PropertiesWindow::Load(const PropertiesSubject& subject, const ExifReader& reader) {
  counting_->stop();
  listInfo_->clear();
  emit soundRequested(Sound::Open, false);
  content_ = GatherProperties(subject, reader);
  setWindowTitle(content_.caption);
  frame1_->setVisible(!content_.exif);
  frame2_->setVisible(content_.exif);
  if (content_.exif) {
    listInfo_->addItems(content_.exifLines);
    Arrange(Pixels(content_.widthTwips));
    FitToText(this);  // rows as high as a desktop font needs
    return;
  }
  if (content_.colors <= 0) {
    content_.facts.at(kColorsRow).value.clear();  // until counted
    counting_->start([path = subject.path] { return CountColorsUsed(path); }, [this](int colors) { ShowColors(colors); });
  }
  ShowFacts();
}

bool PropertiesWindow::counting() const { return counting_->running(); }

void PropertiesWindow::ShowFacts() {
  for (std::size_t row = 0; row < content_.facts.size() && row < label1_.size(); ++row) {
    label1_.at(row)->setText(content_.facts.at(row).caption);
    label2_.at(row)->setText(content_.facts.at(row).value);
    label2_.at(row)->setToolTip({});
  }
  Arrange(FitFactColumns(content_.widthTwips));
  FitToText(this);
}

void PropertiesWindow::ShowColors(int colors) {
  content_.colors = colors;
  content_.facts.at(kColorsRow).value = QLocale().toString(colors);
  ShowFacts();
  emit colorsCounted(colors);
}

void PropertiesWindow::Command1_Click() { reject(); }

void PropertiesWindow::done(int result) {
  counting_->stop();
  emit soundRequested(Sound::Close, true);
  QDialog::done(result);
}

}  // namespace lumaset
