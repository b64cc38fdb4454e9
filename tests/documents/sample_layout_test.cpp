#include "documents/sample_layout.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "components/file_system.h"
#include "documents/layout_file.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

class SampleLayoutTest : public ::testing::Test {
 protected:
  SampleLayoutTest() : root_(test::freshFolder(QStringLiteral("sample-layout")) + QLatin1Char('/')) {}

  void SetUp() override {
    program_.data = root_ + QStringLiteral("share/lumaset/");
    QDir().mkpath(program_.data);
  }

  const QString root_;
  ProgramFolders program_;
};

TEST_F(SampleLayoutTest, SampleLayoutIsRewrittenAtEveryStartFromTheShippedPicture) {
  const QString layouts = root_ + QStringLiteral("layouts/");
  QDir().mkpath(layouts);
  FileSystemUtility files;

  ASSERT_TRUE(WriteSampleLayout(files, program_, layouts).ok());
  EXPECT_FALSE(QFileInfo::exists(layouts + QStringLiteral("Sample.lsf")))
      << "nothing is written without a shipped sample picture";

  ASSERT_TRUE(test::WritePicture(program_.data + QStringLiteral("Sample.jpg"), 40, 30));
  ASSERT_TRUE(test::WriteText(layouts + QStringLiteral("Sample.lsf"), "\"my own\",1\r\n"));

  ASSERT_TRUE(WriteSampleLayout(files, program_, layouts).ok());
  EXPECT_TRUE(QFileInfo(layouts + QStringLiteral("Sample.jpg")).isFile());
  EXPECT_EQ(test::ReadBytes(layouts + QStringLiteral("Sample.lsf")), SampleLayoutContent(layouts));
  EXPECT_FALSE(WriteSampleLayout(files, program_, root_ + QStringLiteral("missing/")).ok()) << "a failure is reported";

  // A sample already in place is left as it is: nothing is written again.
  const QString picture = layouts + QStringLiteral("Sample.jpg");
  const QString layout = layouts + QStringLiteral("Sample.lsf");
  const QDateTime old = QDateTime::currentDateTime().addDays(-2);
  for (const QString& file : {picture, layout}) {
    QFile stamped(file);
    ASSERT_TRUE(stamped.open(QIODevice::ReadWrite) && stamped.setFileTime(old, QFileDevice::FileModificationTime));
  }
  ASSERT_TRUE(WriteSampleLayout(files, program_, layouts).ok());
  EXPECT_EQ(QFileInfo(picture).lastModified(), old);
  EXPECT_EQ(QFileInfo(layout).lastModified(), old);

  // A disk with room for a tiny picture but not for the layout, which the
  // user had changed.
  ASSERT_TRUE(test::WriteText(layout, "\"my own\",1\r\n"));
  const QByteArray written = test::ReadBytes(layout);
  ASSERT_TRUE(test::WriteText(program_.data + QStringLiteral("Sample.jpg"), "tiny"));
  {
    test::FileSizeLimit limit(16);
    EXPECT_TRUE(WriteSampleLayout(files, program_, layouts).error().endsWith(": File too large"));
  }
  EXPECT_EQ(test::ReadBytes(layouts + QStringLiteral("Sample.lsf")), written);
  EXPECT_EQ(QDir(layouts).entryList(QDir::Files | QDir::Hidden), (QStringList{"Sample.jpg", "Sample.lsf"}));
}

}  // namespace
}  // namespace lumaset
