#include "file_command_fixture.h"

namespace lumaset::test {
namespace {

QString KeptText(const QString& folder) {
  return "Unable to remove folder < " + folder + " >\n a subfolder or other non-photo files exist.";
}

TEST_F(FileCommandsTest, CreateFolderMakesOneLevelOrSaysWhyNot) {
  const QString parent = freshFolder("Holiday") + "/";
  host_.texts = {std::nullopt, QString(), QStringLiteral("New"), QStringLiteral("New"), QStringLiteral("New/b"),
                 QStringLiteral("../x")};
  for (int i = 0; i < 6; ++i) commands_.mnuNodeFolderCreate_Click(parent);
  const QString last = FileSystemUtility::PathPart(parent, false);
  EXPECT_EQ(host_.prompts.first(), "Enter name of new folder to be created in folder '.../" + last + "'");
  EXPECT_EQ(host_.promptSounds, 6);
  EXPECT_EQ(host_.treeRebuilds, QStringList{parent + "New/"});
  EXPECT_EQ(QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"New"});
  ASSERT_EQ(host_.errors.size(), 3);
  EXPECT_EQ(host_.errors[0], "Folder already exists, try another name.");
  // Names that would reach below "New" or beside the parent make nothing.
  EXPECT_TRUE(host_.errors[1].startsWith("Unable to create folder < " + parent + "New/b >\n"));
  EXPECT_TRUE(host_.errors[2].startsWith("Unable to create folder < " + parent + "../x >\n"));
  EXPECT_TRUE(QDir(parent + "New").isEmpty());
  EXPECT_FALSE(QFileInfo::exists(parent + "../x"));

  SmallDisk readOnly("create-ro", 64, true);
  if (!readOnly.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  host_.texts = {QStringLiteral("New")};
  commands_.mnuNodeFolderCreate_Click(readOnly.folder());
  EXPECT_TRUE(host_.errors.last().contains("Read-only file system"));
  EXPECT_EQ(host_.treeRebuilds.size(), 1);
}

// Only the folder's pictures go, one by one to the trash; what else it holds
// keeps it, and the panel moves to the parent folder either way.
TEST_F(FileCommandsTest, RemoveFolderTrashesOnlyItsPictures) {
  const QString root = freshFolder("remove") + "/";
  const QString album = root + "album/";
  QDir().mkpath(album);
  QDir().mkpath(root + "nested/sub");
  QDir().mkpath(root + "only");
  ASSERT_TRUE(WritePicture(album + "a.jpg", 8, 8));
  ASSERT_TRUE(WritePicture(root + "only/c.png", 8, 8));
  ASSERT_TRUE(WriteText(album + "b.GIF", "any"));
  ASSERT_TRUE(WriteText(album + "notes.txt", "keep me"));
  Open(album);

  host_.answers = {false, true, true, true};
  commands_.mnuNodeFolderRemove_Click(album);
  EXPECT_EQ(Names(album).size(), 3);
  commands_.mnuNodeFolderRemove_Click(album);
  EXPECT_EQ(Names(album), QStringList{"notes.txt"});
  EXPECT_TRUE(QFileInfo::exists(Trash() + "a.jpg"));
  EXPECT_TRUE(QFileInfo::exists(Trash() + "b.GIF"));
  EXPECT_EQ(table().ThumbCount(), 0);
  EXPECT_EQ(folders_.current, root);
  EXPECT_EQ(settings_.readSetting("Folder", ""), root);
  EXPECT_EQ(host_.questions[1],
            "Do you wish to send \n< " + album + " >\nand all of its photo files to the Recycle Bin?");

  commands_.mnuNodeFolderRemove_Click(root + "nested/");
  commands_.mnuNodeFolderRemove_Click(root + "only/");
  EXPECT_TRUE(QFileInfo(root + "nested/sub").isDir());
  EXPECT_FALSE(QFileInfo::exists(root + "only"));
  EXPECT_EQ(host_.errors, (QStringList{KeptText(album), KeptText(root + "nested/")}));
  EXPECT_EQ(host_.reopened, 3);
  EXPECT_EQ(host_.treeRebuilds, (QStringList{QString(), QString(), QString()}));

  // Never the home folder, one above it, a mount point or a link: refused before asking.
  QFile::link(root + "nested", root + "link");
  for (const QString& kept : {QDir::homePath() + "/", root + "../../", QStringLiteral("/dev/shm/"), root + "link/"})
    commands_.mnuNodeFolderRemove_Click(kept);
  EXPECT_EQ(host_.questions.size(), 4);
  EXPECT_EQ(host_.errors.size(), 6);
}

TEST_F(FileCommandsTest, RemoveFolderStopsAtATrashRefusal) {
  const QString folder = FolderWith("refused", {"a.jpg", "b.jpg"});
  host_.answers = {true};
  {
    const BlockedTrash blocked;
    commands_.mnuNodeFolderRemove_Click(folder);
  }
  EXPECT_EQ(Names(folder), (QStringList{"a.jpg", "b.jpg"}));
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(host_.errors[0].startsWith("Error: File <" + folder + "a.jpg> not deleted!\n"));
  EXPECT_EQ(host_.reopened, 0);
  EXPECT_TRUE(host_.treeRebuilds.isEmpty());
}

}  // namespace
}  // namespace lumaset::test
