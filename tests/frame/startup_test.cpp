#include "frame/startup.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "components/file_system.h"
#include "components/settings_store.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : root_(test::freshFolder(QStringLiteral("startup")) + QLatin1Char('/')) {}

  void SetUp() override {
    program_.data = root_ + QStringLiteral("share/lumaset/");
    program_.userData = root_ + QStringLiteral("userdata/");
    program_.tempImages = root_ + QStringLiteral("cache/Temp Images/");
    documents_ = root_ + QStringLiteral("Documents/");
    QDir().mkpath(program_.data);
    QDir().mkpath(documents_);
  }

  const QString root_;
  QString documents_;
  ProgramFolders program_;
  SettingsStore settings_{QStringLiteral("Lumaset"), root_ + QStringLiteral("settings.conf")};
};

TEST_F(StartupTest, FirstStartMakesTheLayoutsFolderInTheDocumentsAndStoresIt) {
  const WorkingFolders folders = SetUpWorkingFolders(settings_, program_, documents_);
  EXPECT_EQ((QStringList{folders.defaultPictures, folders.current, folders.copyMove, folders.scan,
                         folders.downloadTarget, folders.midi}),
            QStringList(6, documents_));
  EXPECT_EQ(folders.layouts, documents_ + QStringLiteral("Tavrin/Lumaset/"));
  EXPECT_TRUE(QFileInfo(folders.layouts).isDir());
  EXPECT_EQ(settings_.readSetting(QStringLiteral("DataPath"), QString()), folders.layouts);
}

TEST_F(StartupTest, WithoutDocumentsFolderTheUsersDataFolderServes) {
  const WorkingFolders folders = SetUpWorkingFolders(settings_, program_, QString());
  EXPECT_EQ(folders.defaultPictures, program_.userData + QStringLiteral("Photos/"));
  EXPECT_EQ(folders.layouts, program_.userData + QStringLiteral("Page Layouts/"));
  EXPECT_TRUE(QFileInfo(folders.layouts).isDir());
  EXPECT_FALSE(QFileInfo::exists(folders.defaultPictures)) << "the photos fallback is not created";
}

TEST_F(StartupTest, StoredFoldersAreUsedWhileTheyExistAndDroppedWhenGone) {
  const QString trips = root_ + QStringLiteral("Trips");
  const QString layouts = root_ + QStringLiteral("My Layouts/");
  QDir().mkpath(trips);
  QDir().mkpath(layouts);
  settings_.writeSetting(QStringLiteral("Folder"), trips);  // stored without the final "/"
  settings_.writeSetting(QStringLiteral("FolderMove"), root_ + QStringLiteral("gone/"));
  settings_.writeSetting(QStringLiteral("SSMidiFolder"), QString());
  settings_.writeSetting(QStringLiteral("DataPath"), layouts);

  const WorkingFolders folders = SetUpWorkingFolders(settings_, program_, documents_);
  EXPECT_EQ((QStringList{folders.current, folders.copyMove, folders.scan, folders.midi, folders.layouts}),
            (QStringList{trips + QLatin1Char('/'), documents_, documents_, documents_, layouts}));

  QDir(layouts).removeRecursively();
  const WorkingFolders rebuilt = SetUpWorkingFolders(settings_, program_, documents_);
  EXPECT_EQ(rebuilt.layouts, documents_ + QStringLiteral("Tavrin/Lumaset/"));
  EXPECT_EQ(settings_.readSetting(QStringLiteral("DataPath"), QString()), rebuilt.layouts);
}

TEST_F(StartupTest, SampleLayoutIsRewrittenAtEveryStartFromTheShippedPicture) {
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
  const QList<QByteArray> lines = test::ReadBytes(layouts + QStringLiteral("Sample.lsf")).split('\n');
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0], "\"Sample:  Mt. Shasta volcano, California\",\"0\"\r");
  EXPECT_EQ(lines[2], "\"" + (layouts + QStringLiteral("Sample.jpg")).toUtf8() + "\"\r");
  EXPECT_EQ(lines[4], "");
  EXPECT_FALSE(WriteSampleLayout(files, program_, root_ + QStringLiteral("missing/")).ok()) << "a failure is reported";
}

}  // namespace
}  // namespace lumaset
