#include "documents/layout_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <limits>

#include "support/test_support.h"

namespace lumaset {
namespace {

TEST(LayoutFileTest, SampleQuotedLinesAndNumbersTakeTheirExactForms) {
  EXPECT_EQ(SampleLayoutContent("/home/ann/Documents/Tavrin/Lumaset/"),
            "\"Sample:  Mt. Shasta volcano, California\",\"0\"\r\n \r\n"
            "\"/home/ann/Documents/Tavrin/Lumaset/Sample.jpg\"\r\n"
            "0.1174425     0.1861499     0.7529427     0.3799483\r\n");
  // Print zones start every fourteen columns; the widest values still start at 1, 15, 29 and 43.
  EXPECT_EQ(PrintZones({" .25 ", "-1E-05 ", " 0 ", " 1 "}), " .25          -1E-05         0             1 \r\n");
  EXPECT_EQ(LayoutFile::FractionsLine(-1.234567e-5f, -0.0001234567f, -1234567, 3.402823e38f),
            "-1.234567E-05 -0.0001234567 -1234567       3.402823E+38 \r\n");
  // Seven digits at most.
  const std::pair<float, const char*> cases[] = {
      {0, " 0 "},           {-0.0f, " 0 "},      {0.25f, " 0.25 "},         {-0.00001f, "-1E-05 "},
      {1.5e7f, " 1.5E+07 "}, {0.1174425f, " 0.1174425 "}, {1, " 1 "},      {123.5f, " 123.5 "},
      {2.0f / 3, " 0.6666667 "}, {-1.25f, "-1.25 "}};
  for (const auto& [value, text] : cases) EXPECT_EQ(LayoutFile::PrintNumber(value), text) << value;
}

TEST(LayoutFileTest, WritesTheSpecifiedLines) {
  EXPECT_EQ(*LayoutFile::Write({}), "\"\",0\r\n \r\n");
  const LayoutContent page{
      "Summer", true, {{"/p/lake.jpg", 0.1f, 0.25f, 0.5f, -0.03125f}, {"/l/Trip-1 (LSG).jpg", 0, 1, 0.75f, 0.5f}}};
  EXPECT_EQ(*LayoutFile::Write(page),
            "\"Summer\",1\r\n \r\n"
            "\"/p/lake.jpg\"\r\n 0.1           0.25          0.5          -0.03125 \r\n"
            "\"/l/Trip-1 (LSG).jpg\"\r\n 0             1             0.75          0.5 \r\n");
}

TEST(LayoutFileTest, RoundTripsContentAndBytes) {
  LayoutContent page{QStringLiteral("Trip, day 2:  \u00e9t\u00e9"), false, {}};
  for (int i = 0; i < LayoutFile::kMostPictures; ++i) {
    page.pictures.push_back({QStringLiteral("/p/%1, x.jpg").arg(i), i * 0.004f - 0.1f, 1.0f / (i + 1),
                             1e-6f * i, -i * 1234.5f / 1e6f});
  }
  const QByteArray bytes = *LayoutFile::Write(page);
  const Result<LayoutContent> read = LayoutFile::Read(bytes);
  ASSERT_TRUE(read) << read.error().toStdString();
  EXPECT_EQ(read->label, page.label);
  ASSERT_EQ(read->pictures.size(), page.pictures.size());
  for (std::size_t i = 0; i < page.pictures.size(); ++i) {
    EXPECT_EQ(read->pictures[i].path, page.pictures[i].path);
    // Seven significant digits keep every value to within half a unit of the seventh digit.
    EXPECT_NEAR(read->pictures[i].topFrac, page.pictures[i].topFrac, 6e-7 * page.pictures[i].topFrac);
    EXPECT_NEAR(read->pictures[i].widthFrac, page.pictures[i].widthFrac, 6e-7 * page.pictures[i].widthFrac);
  }
  EXPECT_EQ(*LayoutFile::Write(*read), bytes);
  // The same file with LF line ends reads the same.
  QByteArray lf = bytes;
  EXPECT_EQ(*LayoutFile::Read(lf.replace("\r\n", "\n")), *read);
}

TEST(LayoutFileTest, ReadsWhatEarlierWritersWrote) {
  const Result<LayoutContent> sample = LayoutFile::Read(SampleLayoutContent(QStringLiteral("/l/")));
  ASSERT_TRUE(sample);
  EXPECT_EQ(*sample, (LayoutContent{"Sample:  Mt. Shasta volcano, California", false,
                                    {{"/l/Sample.jpg", 0.1174425f, 0.1861499f, 0.7529427f, 0.3799483f}}}));
  // Values with and without a leading zero, in exponent form (E or D), spread
  // over lines, separated by commas; text that is no number reads as 0.
  const Result<LayoutContent> loose =
      LayoutFile::Read("Label, 2\n\n  /p/a b.jpg \r\n .25 -2.5E-01, +1D-1\r\n x5\r\"/q.jpg\" tail\r5. 0 0 0");
  ASSERT_TRUE(loose) << loose.error().toStdString();
  EXPECT_EQ(*loose, (LayoutContent{"Label", true, {{"/p/a b.jpg ", 0.25f, -0.25f, 0.1f, 0}, {"/q.jpg", 5, 0, 0, 0}}}));
  for (const char* portrait : {"\"\",0\r\n \r\n", "\"\",\"0\"\r\n \r\n", "\"\",x\r\n \r\n", "\"\",0.0\n\n"}) {
    EXPECT_FALSE(LayoutFile::Read(portrait)->landscape) << portrait;
  }
  // Small fractions in exponent form, as earlier writers put them; one too
  // small for any value reads as 0.
  const Result<LayoutContent> small =
      LayoutFile::Read("\"\",0\r\n \r\n\"/s.jpg\"\r\n 1.5E-02  2.5E-05 -1.5D-02  1E-400\r\n");
  ASSERT_TRUE(small) << small.error().toStdString();
  EXPECT_EQ(small->pictures, (std::vector<LayoutPicture>{{"/s.jpg", 0.015f, 2.5e-5f, -0.015f, 0}}));
  // An empty line or blanks after the last picture end the file cleanly.
  EXPECT_EQ(LayoutFile::Read("\"\",1\r\n \r\n\"/a\"\r\n1 2 3 4\r\n\r\n  \n")->pictures.size(), 1u);
}

TEST(LayoutFileTest, RefusesDamagedFilesWithTheirReason) {
  QByteArray tooMany = "\"\",0\r\n \r\n";
  for (int i = 0; i <= LayoutFile::kMostPictures; ++i) tooMany += "\"/p.jpg\"\r\n 0 0 0 0 \r\n";
  const std::pair<QByteArray, const char*> cases[] = {
      {"", "ends before its first line"},
      {"\"Summer\",0\r\n", "ends after its first line"},
      {"\"Summer\"", "ends before its first line"},
      {"\"\",0\r\n \r\n\"/a.jpg\"\r\n", "inside the items of picture 1"},
      {"\"\",0\r\n \r\n\"/a.jpg\"\r\n 0 0 0 0\r\n\"/b.jpg\"\r\n 0 0 0\r\n", "inside the items of picture 2"},
      {"\"\",0\r\n \r\n\"/a.jpg\r\n 0 0 0 0\r\n", "not closed"},
      {"\"Sum,0\r\n \r\n", "not closed"},
      {"\"Unterminated label,0\r\n \r\n\"/a.jpg\"\r\n 0 0 0 0\r\n", "not closed"},
      {"\"\",0\r\n \r\n\"/a.jpg\r\n\"/b.jpg\"\r\n 0 0 0 0\r\n", "not closed"},
      {"\"\",0\r\n \r\n\"/a.jpg\"\r\n 0 1E39 0 0\r\n", "far outside the page"},
      {"\"\",0\r\n \r\n\"/a.jpg\"\r\n 0 0 -1001 0\r\n", "far outside the page"},
      {tooMany, "more than 201 pictures"},
  };
  for (const auto& [bytes, reason] : cases) {
    const Result<LayoutContent> read = LayoutFile::Read(bytes);
    ASSERT_FALSE(read) << bytes.toStdString();
    EXPECT_TRUE(read.error().contains(QLatin1String(reason))) << read.error().toStdString();
  }
  tooMany.chop(tooMany.size() - tooMany.lastIndexOf("\"/p.jpg\""));
  EXPECT_EQ(LayoutFile::Read(tooMany)->pictures.size(), 201u);
}

TEST(LayoutFileTest, RefusesToWriteWhatCannotBeReadBack) {
  const LayoutPicture plain{QStringLiteral("/p/a.jpg"), 0, 0, 0, 0};
  for (const char* label : {"Say \"cheese\"", "two\nlines", "carriage\rreturn"}) {
    const Result<QByteArray> written = LayoutFile::Write({QString::fromLatin1(label), false, {plain}});
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().startsWith(QLatin1String("The page label holds a double quote")));
  }
  for (const LayoutContent& refused :
       {LayoutContent{{}, false, {{"/p/\"a\".jpg", 0, 0, 0, 0}}},
        LayoutContent{{}, false, {{"/p/a\n.jpg", 0, 0, 0, 0}}},
        LayoutContent{{}, false, {{plain.path, std::numeric_limits<float>::quiet_NaN(), 0, 0, 0}}},
        LayoutContent{{}, false, std::vector<LayoutPicture>(202, plain)}})
    EXPECT_FALSE(LayoutFile::Write(refused));
}

TEST(LayoutFileTest, SavingReplacesWholeOrNotAtAll) {
  const QString folder = test::freshFolder("layout-file");
  const QString path = folder + "/Trip.lsf";
  ASSERT_TRUE(LayoutFile::SaveFile(path, "\"old\",0\r\n \r\n"));
  ASSERT_TRUE(LayoutFile::SaveFile(path, "\"new\",1\r\n \r\n"));
  EXPECT_EQ(*LayoutFile::ReadFile(path), (LayoutContent{"new", true, {}}));
  const Status blocked = LayoutFile::SaveFile(path + "/inside.lsf", "x");
  ASSERT_FALSE(blocked);
  EXPECT_TRUE(blocked.error().contains("cannot be written"));
  EXPECT_FALSE(LayoutFile::ReadFile(folder + "/none.lsf"));
}

}  // namespace
}  // namespace lumaset
