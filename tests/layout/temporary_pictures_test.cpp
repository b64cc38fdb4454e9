#include "layout/temporary_pictures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/test_support.h"

namespace lumaset {
namespace {

void Touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("x");
}

TEST(TemporaryPicturesTest, DeletesOnlyTheJpegsAndKeepsTheFolder) {
  const QString folder = test::freshFolder(QStringLiteral("temp")) + QStringLiteral("/Temp Images/");
  ASSERT_TRUE(EnsurePrivateFolder(folder));
  Touch(folder + QStringLiteral("0-01.jpg"));
  Touch(folder + QStringLiteral("12-123.jpg"));
  Touch(folder + QStringLiteral("notes.txt"));

  EXPECT_EQ(DeleteTemporaryPictures(folder), 0);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("notes.txt")});
  EXPECT_FALSE(RemoveFolderIfEmpty(folder)) << "a folder with other files in it stays";

  QFile::remove(folder + QStringLiteral("notes.txt"));
  EXPECT_TRUE(RemoveFolderIfEmpty(folder));
  EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(TemporaryPicturesTest, FolderIsPrivateToTheUser) {
  const QString folder = test::freshFolder(QStringLiteral("temp")) + QStringLiteral("/a/b/");
  ASSERT_TRUE(EnsurePrivateFolder(folder));
  const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                          QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther;
  EXPECT_EQ(QFileInfo(folder).permissions() & others, QFileDevice::Permissions());
  EXPECT_TRUE(EnsurePrivateFolder(folder)) << "an existing folder is fine";
}

TEST(TemporaryPicturesTest, MissingFolderIsNotAnError) {
  EXPECT_EQ(DeleteTemporaryPictures(QStringLiteral("/nonexistent/Temp Images/")), 0);
  EXPECT_TRUE(RemoveFolderIfEmpty(QStringLiteral("/nonexistent/Temp Images/")));
}

}  // namespace
}  // namespace lumaset
