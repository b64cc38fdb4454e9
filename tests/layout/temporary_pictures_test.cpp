#include "layout/temporary_pictures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

}  // namespace
}  // namespace lumaset
