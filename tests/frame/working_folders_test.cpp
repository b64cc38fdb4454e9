#include "frame/working_folders.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "components/settings_store.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

class WorkingFoldersTest : public ::testing::Test {
 protected:
  WorkingFoldersTest() : root_(test::freshFolder(QStringLiteral("working-folders")) + QLatin1Char('/')) {}

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

TEST_F(WorkingFoldersTest, FirstStartMakesTheLayoutsFolderInTheDocumentsAndStoresIt) {
  const WorkingFolders folders = SetUpWorkingFolders(settings_, program_, documents_);
  EXPECT_EQ((QStringList{folders.defaultPictures, folders.current, folders.copyMove, folders.scan,
                         folders.downloadTarget, folders.midi}),
            QStringList(6, documents_));
  EXPECT_EQ(folders.layouts, documents_ + QStringLiteral("Tavrin/Lumaset/"));
  EXPECT_TRUE(QFileInfo(folders.layouts).isDir());
  EXPECT_EQ(settings_.readSetting(QStringLiteral("DataPath"), QString()), folders.layouts);
}

TEST_F(WorkingFoldersTest, WithoutDocumentsFolderTheUsersDataFolderServes) {
  const WorkingFolders folders = SetUpWorkingFolders(settings_, program_, QString());
  EXPECT_EQ(folders.defaultPictures, program_.userData + QStringLiteral("Photos/"));
  EXPECT_EQ(folders.layouts, program_.userData + QStringLiteral("Page Layouts/"));
  EXPECT_TRUE(QFileInfo(folders.layouts).isDir());
  EXPECT_FALSE(QFileInfo::exists(folders.defaultPictures)) << "the photos fallback is not created";

  // A stored folder that has gone keeps its name when the fallback is missing
  // too, so that opening it names the folder the user had.
  settings_.writeSetting(QStringLiteral("Folder"), root_ + QStringLiteral("Trips"));
  settings_.writeSetting(QStringLiteral("FolderMove"), QString());
  const WorkingFolders gone = SetUpWorkingFolders(settings_, program_, QString());
  EXPECT_EQ(gone.current, root_ + QStringLiteral("Trips/"));
  EXPECT_EQ(gone.copyMove, folders.defaultPictures);
}

TEST_F(WorkingFoldersTest, StoredFoldersAreUsedWhileTheyExistAndDroppedWhenGone) {
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


}  // namespace
}  // namespace lumaset
