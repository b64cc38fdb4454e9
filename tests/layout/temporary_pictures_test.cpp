#include "layout/temporary_pictures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "components/imaging/imaging.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

TEST(TemporaryPicturesTest, DeletesOnlyTheJpegsAndKeepsTheFolder) {
  const QString folder = test::freshFolder("temp") + "/Temp Images/";
  ASSERT_TRUE(EnsurePrivateFolder(folder));
  for (const char* name : {"0-01.jpg", "12-123.jpg", "notes.txt"}) ASSERT_TRUE(test::WriteText(folder + name, "x"));

  EXPECT_EQ(DeleteTemporaryPictures(folder), 0);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("notes.txt")});
  EXPECT_FALSE(RemoveFolderIfEmpty(folder)) << "a folder with other files in it stays";

  QFile::remove(folder + QStringLiteral("notes.txt"));
  EXPECT_TRUE(RemoveFolderIfEmpty(folder));
  EXPECT_FALSE(QFileInfo::exists(folder));
  // A missing folder is no error.
  EXPECT_EQ(DeleteTemporaryPictures(QStringLiteral("/nonexistent/Temp Images/")), 0);
  EXPECT_TRUE(RemoveFolderIfEmpty(QStringLiteral("/nonexistent/Temp Images/")));
}

TEST(TemporaryPicturesTest, FolderIsPrivateToTheUser) {
  const QString folder = test::freshFolder(QStringLiteral("temp")) + QStringLiteral("/a/b/");
  ASSERT_TRUE(EnsurePrivateFolder(folder));
  const QFileDevice::Permissions others(0x0077);  // group and others: read, write, execute
  EXPECT_EQ(QFileInfo(folder).permissions() & others, QFileDevice::Permissions());
  EXPECT_TRUE(EnsurePrivateFolder(folder)) << "an existing folder is fine";
}

// The cause is named: a folder that cannot be made (here a file stands in its
// way), a full disk; either way no picture file is left.
TEST(TemporaryPicturesTest, AFailedWriteSaysWhyAndLeavesNothing) {
  const QString root = test::freshFolder(QStringLiteral("temp-fail")) + QLatin1Char('/');
  ASSERT_TRUE(test::WriteText(root + "cache", "in the way"));
  Imaging imaging;
  ASSERT_TRUE(imaging.LoadFromPicture(test::Quarters(40, 30)));
  EXPECT_EQ(SaveTemporaryPicture(imaging, root + "cache/Temp Images/1-01.jpg", 20).error(),
            "The folder \"" + root + "cache\" cannot be made: Not a directory");
  {
    test::FileSizeLimit full(16);
    EXPECT_TRUE(SaveTemporaryPicture(imaging, root + "Temp Images/1-01.jpg", 20).error().endsWith(": File too large"));
  }
  EXPECT_EQ(QDir(root + "Temp Images").entryList(QDir::Files | QDir::Hidden), QStringList());
}

}  // namespace
}  // namespace lumaset
