#include "frame/number_from_setting.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QProcess>
#include <QScopeGuard>

#include <cfloat>
#include <clocale>

#include "support/test_support.h"

namespace lumaset::test {

// Qt's default locale and the C library's both German, with "," as the
// decimal separator; the C locale is built in a private folder when the system
// has none. False when the C locale could not be had (Qt's is set anyway).
bool SwitchToGermanLocales() {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) return true;
  static const QString built = [] {
    const QString folder = freshFolder(QStringLiteral("locales"));
    QProcess::execute(QStringLiteral("localedef"),
                      {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                       QStringLiteral("UTF-8"), folder + QStringLiteral("/de_DE.UTF-8")});
    return folder;
  }();
  qputenv("LOCPATH", built.toLocal8Bit());
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
         std::localeconv()->decimal_point == std::string_view(",");
}

void RestoreLocales() {
  QLocale::setDefault(QLocale::c());
  std::setlocale(LC_ALL, "C");
}

namespace {

struct Case {
  const char16_t* text;
  float expected;
};

const Case kCases[] = {
    {u"", 0}, {u"False", 0}, {u"True", 1}, {u"true", 0}, {u"FALSE", 0},
    {u"12.5 cm", 12.5F}, {u"7x", 7}, {u"x7", 0}, {u"1e3", 1000}, {u" 1280", 1280},
    {u"350", 350}, {u"3.5 in width", 3.5F}, {u"4.0 cm width", 4}, {u"1e", 1}, {u"-", 0},
    {u".", 0}, {u"1.", 1}, {u".5", 0.5F}, {u"+2", 2}, {u"1e+", 1}, {u" 12 ", 12},
    {u"\t-3.25", -3.25F}, {u"-.5e1", -5}, {u"2.5E-1", 0.25F}, {u"1.e2", 100}, {u"12 3", 12},
    {u"--5", 0}, {u"+ 5", 0}, {u"1.2.3", 1.2F}, {u"007", 7},
    // Only "." separates decimals, and nothing but plain decimal numbers counts.
    {u"3,5", 3}, {u"1,280", 1}, {u"inf", 0}, {u"nan", 0}, {u"0x1A", 0}, {u"\u0663", 0},
    // Beyond the float range a beginning counts as no number; the longest
    // shorter one that fits is taken.
    {u"1e39", 1000}, {u"3.4e38", 3.4e38F}, {u"3.5e38", 3.5e3F},
    // Up to the float limit (halfway past the largest float), where the value
    // would round to infinity.
    {u"340282346638528859811704183484516925440", FLT_MAX},
    {u"340282356779733661637539395458142568447", FLT_MAX},
    {u"3.4028235677973366163753939545814256844e38", FLT_MAX},
    {u"340282356779733661637539395458142568448", 3.4028235677973366e37F},
    {u"340282356779733661637539395458142568448.0", 3.4028235677973366e37F},
    {u"340282356779733661637539395458142568449", 3.4028235677973366e37F},
    {u"1e-400", 0}, {u"1e-40", 1e-40F},
};

TEST(NumberFromSetting, ReadsTheLongestNumericBeginning) {
  for (const Case& c : kCases) {
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(NumberFromSetting(text), c.expected) << text.toStdString();
  }
}

TEST(NumberFromSetting, IgnoresTheUsersLocale) {
  const bool cLocale = SwitchToGermanLocales();
  const auto restore = qScopeGuard(RestoreLocales);
  SCOPED_TRACE(cLocale ? "German C and Qt locales" : "German Qt locale only (no C locale)");
  for (const Case& c : kCases) {
    EXPECT_EQ(NumberFromSetting(QString::fromUtf16(c.text)), c.expected);
  }
}

TEST(NumberFromSetting, LongTextsStayLinearAndInRange) {
  // "1" and 200000 zeros: the longest beginning a float holds is 1e38.
  EXPECT_EQ(NumberFromSetting(QStringLiteral("1") + QString(200000, u'0')), 1e38F);
  EXPECT_EQ(NumberFromSetting(QStringLiteral("0.") + QString(200000, u'0') + u'5'), 0.0F);
  EXPECT_EQ(NumberFromSetting(QStringLiteral("2e") + QString(200000, u'0') + u'1'), 2e1F);
}

TEST(WholeNumber, AcceptsOnlyOneNumberWithBlanksAround) {
  EXPECT_EQ(WholeNumber(u" 12 ").value_or(-1), 12);
  EXPECT_EQ(WholeNumber(u"-0.5e1").value_or(-1), -5);
  for (const char16_t* text : {u"", u" ", u"1e", u"7x", u"1e39", u"True", u"1 2"})
    EXPECT_FALSE(WholeNumber(text).has_value()) << QString::fromUtf16(text).toStdString();
  EXPECT_EQ(LeadingNumber(u"True"), 0.0F);
}

}  // namespace
}  // namespace lumaset::test
