#include "documents/layout_file.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace lumaset {
namespace {

TEST(LayoutFileTest, SampleLayoutIsTheFourExactLines) {
  const QByteArray expected =
      "\"Sample:  Mt. Shasta volcano, California\",\"0\"\r\n"
      " \r\n"
      "\"/home/ann/Documents/Tavrin/Lumaset/Sample.jpg\"\r\n"
      "0.1174425     0.1861499     0.7529427     0.3799483\r\n";
  EXPECT_EQ(SampleLayoutContent(QStringLiteral("/home/ann/Documents/Tavrin/Lumaset/")), expected);
}

TEST(LayoutFileTest, PrintZonesStartEveryFourteenColumns) {
  const QByteArray line = PrintZones({QStringLiteral(" .25 "), QStringLiteral("-1E-05 "),
                                      QStringLiteral(" 0 "), QStringLiteral(" 1 ")});
  EXPECT_TRUE(line.startsWith(" .25 "));
  EXPECT_TRUE(line.endsWith(" 1 \r\n"));
  EXPECT_EQ(line.size(), 42 + 3 + 2);
  EXPECT_EQ(line.indexOf("-1E-05"), 14);
  EXPECT_EQ(line.indexOf(" 0 "), 28);
  EXPECT_EQ(line.lastIndexOf(" 1 "), 42);
}

TEST(LayoutFileTest, QuotedLinesKeepCommasAndBlanks) {
  EXPECT_EQ(LayoutHeaderLine(QStringLiteral("Trip, day 2"), QStringLiteral("1")),
            "\"Trip, day 2\",1\r\n");
  EXPECT_EQ(LayoutPathLine(QStringLiteral("/photos/a b.jpg")), "\"/photos/a b.jpg\"\r\n");
}

}  // namespace
}  // namespace lumaset
