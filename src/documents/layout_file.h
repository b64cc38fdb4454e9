#pragma once

// The layout page file (".lsf"): a small text file with CR LF line ends that
// records the page label, the orientation and, back to front, each picture's
// path and its four fractions of the page. No header, version or count: the
// file is its items, read one after the other.
//
//   "Summer",0
//   (one blank)
//   "/home/ann/Pictures/lake.jpg"
//    0.1174425     0.1861499     0.7529427     0.3799483
//
// The reader takes what the program has ever written (a quoted orientation,
// values with or without a leading zero, exponent form, values spread over
// several lines) and LF line ends as well; it refuses a damaged file with a
// reason instead of guessing.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>

#include "components/result.h"
#include "frame/working_folders.h"

namespace lumaset {

// One picture of a layout: its file and its place as fractions of the page
// (left and width of the page's width, top and height of its height).
struct LayoutPicture {
  QString path;
  float leftFrac = 0;
  float topFrac = 0;
  float widthFrac = 0;
  float heightFrac = 0;

  friend bool operator==(const LayoutPicture&, const LayoutPicture&) = default;
};

// `LayoutPageFile`: what a layout file holds.
struct LayoutContent {
  QString label;
  bool landscape = false;
  std::vector<LayoutPicture> pictures;  // from the back to the front

  friend bool operator==(const LayoutContent&, const LayoutContent&) = default;
};

class LayoutFile {
 public:
  // The most pictures a page, and so a layout file, holds.
  static constexpr int kMostPictures = 201;
  // A fraction this far outside the page is no placement but a damaged
  // file; it would also overflow every size computed from it.
  static constexpr float kFarthestFraction = 1000;
  // Far above any real layout (201 long paths); keeps a wrongly chosen
  // large file from being read into memory whole.
  static constexpr qint64 kLargestFile = 16 * 1024 * 1024;

  // The file's bytes. Refuses a label or path holding a double quote or a
  // line break (the format cannot keep them: the file would read back
  // differently), a page of more than 201 pictures, and a fraction that is
  // not a number or lies far outside the page.
  static Result<QByteArray> Write(const LayoutContent& content);

  // Reads the items of a whole file. Fails, naming the reason, for a file
  // that ends inside its header or a picture, holds more than 201 pictures,
  // leaves a quoted text open, or places a picture far outside the page.
  static Result<LayoutContent> Read(QByteArrayView bytes);
  // The same for the file at `path`.
  static Result<LayoutContent> ReadFile(const QString& path);

  // Writes `bytes` to `path` through a temporary file renamed over it, so a
  // failure leaves any old file there as it was.
  static Status SaveFile(const QString& path, const QByteArray& bytes);

  // A fractions line: four values in print zones.
  static QByteArray FractionsLine(float left, float top, float width, float height);
  // One value in print form: a blank (or "-"), at most 7 significant digits,
  // a blank. 0.25 gives " 0.25 ", -0.00001 gives "-1E-05 ".
  static QByteArray PrintNumber(float value);
};

// The header line's write form: the quoted label and the orientation flag.
QByteArray LayoutHeaderLine(const QString& label, const QString& orientation);

// A quoted path line.
QByteArray LayoutPathLine(const QString& path);

// Texts laid out in print zones of 14 columns, each starting where its zone
// starts; a text longer than its zone pushes the next one to the next zone.
QByteArray PrintZones(const QStringList& items);

// The sample layout that start-up writes beside "Sample.jpg" in the layouts
// folder (which ends with "/").
QByteArray SampleLayoutContent(const QString& layoutFolder);

// The paths of the pictures that the layout file at `path` shows.
Result<QStringList> LayoutPicturePaths(const QString& path);

}  // namespace lumaset
