#include "frame/number_from_setting.h"

#include <QByteArray>

#include <algorithm>
#include <charconv>
#include <string_view>

namespace lumaset {

namespace {

// Halfway between the largest 32-bit float and the next power of two, all
// its digits: 3.40282356...e38. A number from there up rounds to infinity.
constexpr std::string_view kFloatLimitDigits = "340282356779733661637539395458142568448";
constexpr long long kFloatMaxExponent = 38;
// Far beyond any float; keeps a run of exponent digits from overflowing.
constexpr long long kExponentCap = 100000;

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
int DigitValue(QChar c) { return c.unicode() - u'0'; }

// Reads the number at the start of a text in one pass. Every character that
// completes a number ends a candidate beginning; the scanner remembers the
// last one whose value a float can hold. Whether it can is decided from the
// digits as they pass (the decimal exponent of the leading digit and a
// running comparison with the float limit), so the text is converted once.
class NumberScanner {
 public:
  explicit NumberScanner(QStringView text) : text_(text) { scan(); }

  bool found() const { return fitEnd_ >= 0; }
  // The whole text is one number that fits, with blanks at most around it.
  bool whole() const;
  // The value of the longest fitting beginning; 0 when there is none.
  float value() const;

 private:
  void scan();
  void scanMantissa();
  void scanExponent();
  void takeMantissaDigit(int digit, bool inFraction);
  void accept(qsizetype end);
  bool fitsFloat() const;

  QStringView text_;
  qsizetype pos_ = 0;
  qsizetype begin_ = 0;    // the sign or first digit, after leading blanks
  qsizetype fitEnd_ = -1;  // end of the longest beginning that is a fitting number
  qsizetype numberEnd_ = 0;  // where the number's characters stop

  qsizetype significantDigits_ = 0;
  qsizetype fractionDigits_ = 0;
  long long leadingExponent_ = 0;  // decimal exponent of the first significant digit
  long long exponent_ = 0;         // the written exponent
  int versusLimit_ = 0;            // significant digits so far, compared with kFloatLimitDigits
};

void NumberScanner::scan() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  begin_ = pos_;
  if (pos_ < text_.size() && (text_[pos_] == u'+' || text_[pos_] == u'-')) ++pos_;
  scanMantissa();
  numberEnd_ = pos_;
}

void NumberScanner::scanMantissa() {
  bool anyDigit = false;
  bool inFraction = false;
  for (; pos_ < text_.size(); ++pos_) {
    const QChar c = text_[pos_];
    if (IsDigit(c)) {
      takeMantissaDigit(DigitValue(c), inFraction);
      anyDigit = true;
    } else if (c == u'.' && !inFraction) {
      inFraction = true;
    } else {
      break;
    }
    if (anyDigit) accept(pos_ + 1);  // "1." is a number, "." alone is not
  }
  if (anyDigit && pos_ < text_.size() && (text_[pos_] == u'e' || text_[pos_] == u'E'))
    scanExponent();
}

void NumberScanner::scanExponent() {
  qsizetype p = pos_ + 1;
  long long sign = 1;
  if (p < text_.size() && (text_[p] == u'+' || text_[p] == u'-')) {
    sign = text_[p] == u'-' ? -1 : 1;
    ++p;
  }
  long long magnitude = 0;
  const qsizetype firstDigit = p;
  for (; p < text_.size() && IsDigit(text_[p]); ++p) {
    magnitude = std::min(magnitude * 10 + DigitValue(text_[p]), kExponentCap);
    exponent_ = sign * magnitude;
    accept(p + 1);
  }
  if (p > firstDigit) pos_ = p;  // a bare "e" or "e+" is not part of the number
}

void NumberScanner::takeMantissaDigit(int digit, bool inFraction) {
  if (inFraction) ++fractionDigits_;
  if (significantDigits_ == 0) {
    if (digit == 0) return;  // leading zeros change nothing
    leadingExponent_ = inFraction ? -fractionDigits_ : 0;
  } else if (!inFraction) {
    ++leadingExponent_;
  }
  if (versusLimit_ == 0) {
    if (significantDigits_ < static_cast<qsizetype>(kFloatLimitDigits.size())) {
      const int reference = kFloatLimitDigits[significantDigits_] - '0';
      versusLimit_ = digit < reference ? -1 : (digit > reference ? 1 : 0);
    } else if (digit != 0) {
      versusLimit_ = 1;
    }
  }
  ++significantDigits_;
}

void NumberScanner::accept(qsizetype end) {
  if (fitsFloat()) fitEnd_ = end;
}

bool NumberScanner::fitsFloat() const {
  if (significantDigits_ == 0) return true;  // zero
  const long long magnitude = leadingExponent_ + exponent_;
  if (magnitude != kFloatMaxExponent) return magnitude < kFloatMaxExponent;
  // The limit's last digit is not 0: fewer digits that match it are below it.
  return versusLimit_ < 0 ||
         (versusLimit_ == 0 && significantDigits_ < static_cast<qsizetype>(kFloatLimitDigits.size()));
}

bool NumberScanner::whole() const {
  if (!found() || fitEnd_ != numberEnd_) return false;
  return std::all_of(text_.begin() + numberEnd_, text_.end(), IsBlank);
}

float NumberScanner::value() const {
  if (!found()) return 0.0F;
  QStringView number = text_.sliced(begin_, fitEnd_ - begin_);
  if (number.startsWith(u'+')) number = number.sliced(1);  // from_chars takes no "+"
  const QByteArray latin = number.toLatin1();
  // Straight to float: by way of a double, a text just below the limit would
  // round to the limit first and then on to infinity.
  float result = 0.0F;
  const auto [end, error] =
      std::from_chars(latin.constData(), latin.constData() + latin.size(), result);
  // Overflow was ruled out while scanning, so out of range means a value too
  // small for a float: zero.
  if (error != std::errc()) return 0.0F;
  return result;
}

}  // namespace

float LeadingNumber(QStringView text) { return NumberScanner(text).value(); }

float NumberFromSetting(QStringView text) {
  if (text.isEmpty() || text == u"False") return 0.0F;
  if (text == u"True") return 1.0F;
  return LeadingNumber(text);
}

std::optional<float> WholeNumber(QStringView text) {
  const NumberScanner scanner(text);
  if (!scanner.whole()) return std::nullopt;
  return scanner.value();
}

}  // namespace lumaset
