#pragma once

// The properties window `frmProperties`: the facts of the selected
// thumbnail's picture file. A JPEG file whose EXIF data jhead can read shows
// the first lines of jhead's report; any other picture shows a table of
// file, picture and print facts. Everything is gathered by Load, before the
// window is shown modally. The user's picture is only read.
//
// What the window shows is worked out by GatherProperties, which a test
// drives without a window.

#include <QDialog>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

#include "components/exif_reader.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace lumaset {

class ThumbTable;
template <typename T>
class BackgroundWork;

// The picture described and the print facts that go with it.
struct PropertiesSubject {
  QString path;
  int width = 0;   // pixels, as the thumbnail table has them
  int height = 0;
  int bits = 0;    // colour depth, bits per pixel
  int colors = 0;  // colours used; 0 when not counted yet
  QString printerName;     // the caption of the page's printer panel
  float printerRes = 300;  // `PrinterRes`: printer dots per unit of the current measure
  bool inches = true;      // the current measure: inches, else centimetres
};

// The picture part of a subject from entry `index` of the thumbnail table,
// which must be valid; the printer part is left as it is.
PropertiesSubject SubjectFromTable(const ThumbTable& table, int index);

struct FactRow {
  QString caption;
  QString value;
};

inline constexpr int kFactRows = 9;
// The most lines of jhead's report that the window shows.
inline constexpr int kExifLinesShown = 14;

// The nine rows of the facts table, numbers written for `locale`. With
// centimetres chosen the resolution is still given in dots per inch and the
// print size is given, and captioned, in centimetres.
std::array<FactRow, kFactRows> FactsTable(const PropertiesSubject& subject, const QLocale& locale = QLocale());

// The number of different colours in the whole picture at `path` (0 when
// it cannot be read, or when the count is stopped). It reads the picture:
// the window calls it on a worker thread.
int CountColorsUsed(const QString& path);

// Whether jhead is asked about the file: its name's last three letters,
// in any case, are "jpg".
bool AsksForExif(const QString& path);

// What the window shows: the EXIF report or the facts table, with the
// window's caption and width (twips) for each.
struct PropertiesContent {
  bool exif = false;
  QString caption;
  int widthTwips = 0;
  QStringList exifLines;       // at most kExifLinesShown, unchanged
  std::vector<FactRow> facts;  // the table, when there is no EXIF report
  int colors = 0;              // the colours used the table shows; 0 when not counted yet
};

inline const QString kFactsCaption = QStringLiteral("Image Properties");
inline const QString kExifCaption = QStringLiteral("Image Properties (Jpeg EXIF)");

// The EXIF report when jhead finds EXIF fields in the picture; the facts
// table in every other case (not a JPEG name, jhead missing, failing or
// running out of time, a JPEG without EXIF data). The table's colours are
// the subject's; the window counts them when the subject has none yet.
PropertiesContent GatherProperties(const PropertiesSubject& subject, const ExifReader& reader,
                                   const QLocale& locale = QLocale());

class PropertiesWindow : public QDialog {
  Q_OBJECT

 public:
  enum class Sound { Open, Close };

  explicit PropertiesWindow(QWidget* parent = nullptr);
  ~PropertiesWindow() override;

  // Form_Load: plays OPEN, gathers the facts of `subject` and lays them out.
  // Colours not counted yet are counted on a worker thread, so that a slow
  // picture never blocks the window; they show when counted, and closing
  // the window stops the count.
  void Load(const PropertiesSubject& subject, const ExifReader& reader = ExifReader());
  // Whether the colours are still being counted.
  bool counting() const;
  void Command1_Click();

  const PropertiesContent& content() const { return content_; }
  QGroupBox* factsFrame() const { return frame1_; }
  QGroupBox* exifFrame() const { return frame2_; }
  QListWidget* exifList() const { return listInfo_; }
  QLabel* factCaption(int row) const { return label1_.at(static_cast<std::size_t>(row)); }
  QLabel* factValue(int row) const { return label2_.at(static_cast<std::size_t>(row)); }
  QPushButton* closeButton() const { return command1_; }

 signals:
  // A sound to play; `wait` true when the window waits until it has played.
  void soundRequested(lumaset::PropertiesWindow::Sound sound, bool wait);
  // The colours of the picture, once counted for the window.
  void colorsCounted(int colors);

 public slots:
  // Form_Unload: plays CLOSE, waiting.
  void done(int result) override;

 private:
  void BuildControls();
  int FitFactColumns(int widthTwips);
  void Arrange(int widthPixels);
  void ShowFacts();
  void ShowColors(int colors);
  int Pixels(int twips) const;

  PropertiesContent content_;
  std::unique_ptr<BackgroundWork<int>> counting_;
  QGroupBox* frame1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QListWidget* listInfo_ = nullptr;
  QPushButton* command1_ = nullptr;
  std::array<QLabel*, kFactRows> label1_{};
  std::array<QLabel*, kFactRows> label2_{};
};

}  // namespace lumaset
