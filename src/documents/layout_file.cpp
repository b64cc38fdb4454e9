#include "documents/layout_file.h"

#include <QFile>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "components/file_system.h"

namespace lumaset {

namespace {

constexpr qsizetype kZoneWidth = 14;
constexpr char kLineEnd[] = "\r\n";

QByteArray Quoted(const QString& text) { return '"' + text.toUtf8() + '"'; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Puts `item` at the start of the next zone; an item that does not end in a
// blank keeps at least one blank before the next, so items never run together.
void AppendZoned(QByteArray& line, const QByteArray& item, bool first) {
  if (!first) {
    const qsizetype used = line.size() + (line.endsWith(' ') ? 0 : 1);
    const qsizetype next = (used + kZoneWidth - 1) / kZoneWidth * kZoneWidth;
    line.append(next - line.size(), ' ');
  }
  line += item;
}

// A number as the reader takes it: an optional sign, digits with an optional
// decimal point (".25" and "5." too), and an optional exponent written with
// E or D. Anything else is not a number and reads as 0. A number too large
// for any value reads as infinity, one too small as 0.
double NumberValue(QByteArrayView token) {
  QByteArray text = token.trimmed().toByteArray();
  qsizetype at = 0;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  const qsizetype mantissa = at;
  qsizetype digits = 0;
  int scale = 0;  // where the first significant digit lies, from the point
  bool seenPoint = false, seenSignificant = false;
  for (; at < text.size() && (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.'); ++at) {
    if (text[at] == '.') {
      if (seenPoint) return 0;
      seenPoint = true;
      continue;
    }
    ++digits;
    if (text[at] != '0') seenSignificant = true;
    if (!seenPoint && seenSignificant) ++scale;
    if (seenPoint && !seenSignificant) --scale;
  }
  if (digits == 0) return 0;
  long exponent = 0;
  if (at < text.size() && std::strchr("EeDd", text[at])) {
    text[at] = 'E';
    qsizetype expDigits = 0;
    const qsizetype expStart = ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at, ++expDigits) {
      if (exponent < 100000) exponent = exponent * 10 + (text[at] - '0');
    }
    if (expDigits == 0) return 0;
    if (text[expStart] == '-') exponent = -exponent;
  }
  if (at != text.size()) return 0;
  if (!seenSignificant) return 0;

  double value = 0;
  const char* begin = text.constData() + mantissa;
  const auto [end, problem] = std::from_chars(begin, text.constData() + text.size(), value);
  if (problem == std::errc::result_out_of_range) {
    value = scale + exponent > 0 ? HUGE_VAL : 0.0;
  } else if (problem != std::errc() || end != text.constData() + text.size()) {
    return 0;
  }
  return negative ? -value : value;
}

bool FractionUsable(double value) {
  return std::isfinite(value) && std::fabs(value) <= LayoutFile::kFarthestFraction;
}

// The file's items, one after the other. Items are separated by commas or
// line ends (CR LF, LF or CR); blanks before an item are skipped, and the
// blanks, comma or line end after it belong to it.
class ItemReader {
 public:
  explicit ItemReader(QByteArrayView bytes) : bytes_(bytes) {}

  // Anything but blanks and line ends left to read.
  bool HasContent() const {
    for (qsizetype at = pos_; at < bytes_.size(); ++at) {
      if (!IsBlank(bytes_[at]) && !IsLineEnd(bytes_[at])) return true;
    }
    return false;
  }

  // A quoted item runs to its closing quote and may hold commas and blanks;
  // an unquoted one runs to the next comma or line end.
  std::optional<QString> Text() {
    const std::optional<QByteArrayView> item = Item(false);
    if (!item) return std::nullopt;
    return QString::fromUtf8(*item);
  }

  // A bare number ends at a blank, a comma or the line end.
  std::optional<double> Number() {
    const std::optional<QByteArrayView> item = Item(true);
    if (!item) return std::nullopt;
    return NumberValue(*item);
  }

  // Why the last item could not be read.
  QString Problem(const QString& atEnd) const {
    return openQuote_ ? QStringLiteral("A quoted text in the file is not closed.") : atEnd;
  }

 private:
  std::optional<QByteArrayView> Item(bool number) {
    SkipBlanks();
    if (pos_ >= bytes_.size()) return std::nullopt;
    QByteArrayView item;
    if (bytes_[pos_] == '"') {
      // A quoted text closes on its own line: no writer puts a line break in
      // one, so a quote still open at the line end is a damaged file, not a
      // text that takes in the lines after it.
      const qsizetype start = pos_ + 1;
      qsizetype close = start;
      while (close < bytes_.size() && bytes_[close] != '"' && !IsLineEnd(bytes_[close])) ++close;
      if (close == bytes_.size() || bytes_[close] != '"') {
        openQuote_ = true;
        return std::nullopt;
      }
      item = bytes_.sliced(start, close - start);
      pos_ = close + 1;
      // Whatever stands between the closing quote and the separator is no part of it.
      while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !IsLineEnd(bytes_[pos_])) ++pos_;
    } else {
      const qsizetype start = pos_;
      while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !IsLineEnd(bytes_[pos_]) &&
             !(number && IsBlank(bytes_[pos_]))) {
        ++pos_;
      }
      item = bytes_.sliced(start, pos_ - start);
      SkipBlanks();
    }
    EndItem();
    return item;
  }

  void SkipBlanks() {
    while (pos_ < bytes_.size() && IsBlank(bytes_[pos_])) ++pos_;
  }

  void EndItem() {
    if (pos_ >= bytes_.size()) return;
    if (bytes_[pos_] == ',') {
      ++pos_;
    } else if (bytes_[pos_] == '\r') {
      ++pos_;
      if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
    } else if (bytes_[pos_] == '\n') {
      ++pos_;
    }
  }

  QByteArrayView bytes_;
  qsizetype pos_ = 0;
  bool openQuote_ = false;
};

Status CheckText(const QString& text, const QString& what) {
  if (text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\r')) ||
      text.contains(QLatin1Char('\n'))) {
    return Error{what + QStringLiteral(" holds a double quote or a line break, which a layout file "
                                       "cannot keep.")};
  }
  return Status::success();
}

// The items of one picture, or why they cannot be read.
Result<LayoutPicture> ReadPicture(ItemReader& in, int number) {
  const QString incomplete = QStringLiteral("The file ends inside the items of picture %1.").arg(number);
  const std::optional<QString> path = in.Text();
  if (!path) return Error{in.Problem(incomplete)};
  double fractions[4] = {};
  for (double& fraction : fractions) {
    const std::optional<double> value = in.Number();
    if (!value) return Error{in.Problem(incomplete)};
    if (!FractionUsable(*value)) {
      return Error{QStringLiteral("Picture %1 of the file is placed far outside the page.").arg(number)};
    }
    fraction = *value;
  }
  return LayoutPicture{*path, static_cast<float>(fractions[0]), static_cast<float>(fractions[1]),
                       static_cast<float>(fractions[2]), static_cast<float>(fractions[3])};
}

}  // namespace

QByteArray LayoutFile::PrintNumber(float value) {
  if (value == 0 || !std::isfinite(value)) return QByteArrayLiteral(" 0 ");
  // printf's %g with 7 digits: fixed from 0.0001 up to 9999999, exponent form
  // beyond (1E-05, 1.5E+07); either way at most 12 characters.
  char digits[32] = {};
  const auto written = std::to_chars(std::begin(digits), std::end(digits),
                                     std::fabs(static_cast<double>(value)), std::chars_format::general, 7);
  QByteArray text(digits, written.ptr - digits);
  text.replace('e', 'E');
  return (value < 0 ? QByteArrayLiteral("-") : QByteArrayLiteral(" ")) + text + ' ';
}

QByteArray LayoutFile::FractionsLine(float left, float top, float width, float height) {
  QByteArray line;
  bool first = true;
  for (const float value : {left, top, width, height}) {
    AppendZoned(line, PrintNumber(value), first);
    first = false;
  }
  return line + kLineEnd;
}

Result<QByteArray> LayoutFile::Write(const LayoutContent& content) {
  if (content.pictures.size() > static_cast<std::size_t>(kMostPictures)) {
    return Error{QStringLiteral("A layout holds at most %1 pictures, this page has %2.")
                     .arg(kMostPictures)
                     .arg(content.pictures.size())};
  }
  if (Status label = CheckText(content.label, QStringLiteral("The page label")); !label) {
    return Error{label.error()};
  }
  QByteArray bytes =
      LayoutHeaderLine(content.label, content.landscape ? QStringLiteral("1") : QStringLiteral("0")) + " " +
      kLineEnd;
  for (const LayoutPicture& picture : content.pictures) {
    const QString what = QStringLiteral("The picture path \"%1\"").arg(picture.path);
    if (Status path = CheckText(picture.path, what); !path) return Error{path.error()};
    for (const float fraction : {picture.leftFrac, picture.topFrac, picture.widthFrac, picture.heightFrac}) {
      if (!FractionUsable(fraction)) {
        return Error{what + QStringLiteral(" is placed far outside the page.")};
      }
    }
    bytes += LayoutPathLine(picture.path) +
             FractionsLine(picture.leftFrac, picture.topFrac, picture.widthFrac, picture.heightFrac);
  }
  return bytes;
}

Result<LayoutContent> LayoutFile::Read(QByteArrayView bytes) {
  ItemReader in(bytes);
  LayoutContent content;
  const std::optional<QString> label = in.Text();
  const std::optional<double> orientation = label ? in.Number() : std::nullopt;
  if (!orientation) {
    return Error{in.Problem(QStringLiteral("The file ends before its first line is complete."))};
  }
  content.label = *label;
  content.landscape = *orientation != 0;
  if (!in.Text()) return Error{in.Problem(QStringLiteral("The file ends after its first line."))};

  while (in.HasContent()) {
    if (content.pictures.size() == static_cast<std::size_t>(kMostPictures)) {
      return Error{
          QStringLiteral("The file holds more than %1 pictures, more than a page takes.").arg(kMostPictures)};
    }
    Result<LayoutPicture> picture = ReadPicture(in, static_cast<int>(content.pictures.size()) + 1);
    if (!picture) return Error{picture.error()};
    content.pictures.push_back(std::move(picture).value());
  }
  return content;
}

Result<LayoutContent> LayoutFile::ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Error{QStringLiteral("\"%1\" cannot be opened: %2").arg(path, file.errorString())};
  }
  if (file.size() > kLargestFile) {
    return Error{QStringLiteral("\"%1\" is far too large to be a page layout.").arg(path)};
  }
  const QByteArray bytes = file.read(kLargestFile + 1);
  if (file.error() != QFileDevice::NoError) {
    return Error{QStringLiteral("\"%1\" cannot be read: %2").arg(path, file.errorString())};
  }
  if (bytes.size() > kLargestFile) {
    return Error{QStringLiteral("\"%1\" is far too large to be a page layout.").arg(path)};
  }
  return Read(bytes);
}

Status LayoutFile::SaveFile(const QString& path, const QByteArray& bytes) {
  return FileSystemUtility::WriteFile(path, bytes);
}

QByteArray LayoutHeaderLine(const QString& label, const QString& orientation) {
  return Quoted(label) + ',' + orientation.toUtf8() + kLineEnd;
}

QByteArray LayoutPathLine(const QString& path) { return Quoted(path) + kLineEnd; }

QByteArray PrintZones(const QStringList& items) {
  QByteArray line;
  for (qsizetype i = 0; i < items.size(); ++i) AppendZoned(line, items[i].toUtf8(), i == 0);
  return line + kLineEnd;
}

QByteArray SampleLayoutContent(const QString& layoutFolder) {
  return LayoutHeaderLine(QStringLiteral("Sample:  Mt. Shasta volcano, California"),
                          QStringLiteral("\"0\"")) +
         QByteArray(" ") + kLineEnd + LayoutPathLine(layoutFolder + QLatin1String(kSamplePictureName)) +
         PrintZones({QStringLiteral("0.1174425"), QStringLiteral("0.1861499"), QStringLiteral("0.7529427"),
                     QStringLiteral("0.3799483")});
}

Result<QStringList> LayoutPicturePaths(const QString& path) {
  const Result<LayoutContent> content = LayoutFile::ReadFile(path);
  if (!content) return Error{content.error()};
  QStringList paths;
  for (const LayoutPicture& picture : content->pictures) paths << picture.path;
  return paths;
}

}  // namespace lumaset
