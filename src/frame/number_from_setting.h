#pragma once

// Turning stored setting texts back into numbers.
//
// A number here is what a person would type in any locale: blanks around it,
// a sign, digits with "." as the decimal separator, an exponent ("1e3",
// "2.5E-2"). Nothing else counts: no "," decimals, no thousands separators,
// no "inf", "nan" or hexadecimal. The user's locale never changes the result,
// so a settings file means the same on every desktop. A number too large for
// a 32-bit float counts as no number at all.

#include <QStringView>

#include <optional>

namespace lumaset {

// "" and "False" give 0, "True" gives 1 (exact, letter case significant);
// any other text the value of its longest beginning that is a number, 0 when
// none is: "12.5 cm" 12.5, "7x" 7, "x7" 0, "1e3" 1000, "1e" 1.
float NumberFromSetting(QStringView text);

// The value of the longest beginning of `text` that is a number, 0 when none
// is; unlike NumberFromSetting, "True" is no number here.
float LeadingNumber(QStringView text);

// The value of `text` when all of it is one number, nothing otherwise.
std::optional<float> WholeNumber(QStringView text);

}  // namespace lumaset
