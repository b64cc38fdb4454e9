#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>

#include "acquire/file_command_wiring.h"
#include "browser/folder_open.h"
#include "browser/folder_tree.h"
#include "components/file_system.h"
#include "file_command_fixture.h"

namespace lumaset::test {
namespace {

using FS = FileSystemUtility;

TEST_F(FileCommandsTest, CopyAndMoveIntoThePickedFolder) {
  const QString photos = FolderWith("photos", {"a.jpg", "b.png", "c.jpg"});
  const QString target = freshFolder("Target") + "/";
  Open(photos);
  Select(0);
  QString picked;
  host_.pick = [&](FolderPickMode) {
    folders_.copyMove = picked;
    return !picked.isEmpty();
  };
  commands_.mnuFileOptionsCopy_Click();  // picker cancelled
  picked = photos + "../" + FS::PathPart(photos, false);  // the same folder, spelled otherwise
  commands_.mnuFileOptionsMove_Click();
  EXPECT_EQ(host_.notices, QStringList{"Cannot move file on top of itself."});
  EXPECT_EQ(Names(target), QStringList());

  picked = target;
  WriteText(target + "a.jpg", "theirs");
  host_.answers = {false, true};
  commands_.mnuFileOptionsCopy_Click();
  EXPECT_EQ(ReadBytes(target + "a.jpg"), "theirs");
  commands_.mnuFileOptionsCopy_Click();
  EXPECT_EQ(ReadBytes(target + "a.jpg"), ReadBytes(photos + "a.jpg"));
  EXPECT_EQ(host_.questions.size(), 2);
  EXPECT_EQ(host_.questions.front(), "File already exists in target folder.\nDo you wish to replace it?");
  EXPECT_EQ(table().ThumbCount(), 3);

  Select(1);
  commands_.mnuFileOptionsMove_Click();
  Select(0);
  host_.answers = {true};
  commands_.mnuFileOptionsMove_Click();
  EXPECT_EQ(Names(photos), QStringList{"c.jpg"});
  EXPECT_EQ(Names(target), (QStringList{"a.jpg", "b.png"}));
  EXPECT_EQ(Files(), QStringList{photos + "c.jpg"});
  EXPECT_EQ(host_.folderCaption, "'" + FolderDisplayName(photos) + "' has 1 picture");
  using Mode = FolderPickMode;
  EXPECT_EQ(host_.picked, (std::vector<Mode>{Mode::CopyTo, Mode::MoveTo, Mode::CopyTo, Mode::CopyTo, Mode::MoveTo,
                                             Mode::MoveTo}));
  EXPECT_TRUE(host_.errors.isEmpty());
}

// A read-only or full disk and a picture gone behind the panel's back: the
// failure is reported with its cause and nothing is lost or left behind.
TEST_F(FileCommandsTest, FailedCopiesAndMovesChangeNothing) {
  const QString photos = freshFolder("failing") + "/";
  ASSERT_TRUE(WritePicture(photos + "big.bmp", 200, 200));
  ASSERT_TRUE(WritePicture(photos + "gone.jpg", 8, 8));
  Open(photos);
  const QByteArray big = ReadBytes(photos + "big.bmp");
  SmallDisk readOnly("read-only", 1024, true);
  SmallDisk full("full", 64, false);
  if (!readOnly.mounted() || !full.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  host_.pick = [&](FolderPickMode) { return true; };
  Select(0);
  for (const QString& into : {readOnly.folder(), full.folder()}) {
    folders_.copyMove = into;
    commands_.mnuFileOptionsCopy_Click();
    commands_.mnuFileOptionsMove_Click();
    EXPECT_EQ(Names(into), QStringList());
  }
  ASSERT_EQ(host_.errors.size(), 4);
  EXPECT_TRUE(host_.errors[0].startsWith("Error: File <" + photos + "big.bmp> not copied!\n\""));
  EXPECT_TRUE(host_.errors[3].startsWith("Error: File <" + photos + "big.bmp> not moved!\n\""));
  EXPECT_EQ(ReadBytes(photos + "big.bmp"), big);

  QFile::remove(photos + "gone.jpg");
  Select(1);
  folders_.copyMove = freshFolder("elsewhere") + "/";
  commands_.mnuFileOptionsMove_Click();
  EXPECT_TRUE(host_.errors.last().contains("does not exist"));
  EXPECT_EQ(table().ThumbCount(), 2);
}

TEST_F(FileCommandsTest, DeleteSendsToTheTrashOneByOne) {
  const QString photos = FolderWith("delete", {"a.jpg", "b.jpg"});
  Open(photos);
  Select(1);
  host_.answers = {false, true};
  commands_.mnuFileOptionsDelete_Click();
  commands_.mnuFileOptionsDelete_Click();
  EXPECT_EQ(host_.questions.first(), "Do you wish to send <b.jpg> to the recycle bin?");
  EXPECT_TRUE(QFileInfo::exists(Trash() + "b.jpg"));
  EXPECT_EQ(Files(), QStringList{photos + "a.jpg"});
  commands_.mnuFileOptionsDelete_Click();  // the selection went with its cell
  EXPECT_EQ(host_.questions.size(), 2);

  // A trash that cannot be used keeps the picture, and says why.
  Select(0);
  host_.answers = {true, true};
  {
    const BlockedTrash blocked;
    commands_.mnuFileOptionsDelete_Click();
  }
  EXPECT_TRUE(host_.errors.value(0).startsWith("Error: File <" + photos + "a.jpg> not deleted!\n"));
  EXPECT_EQ(table().ThumbCount(), 1);
  commands_.mnuFileOptionsDelete_Click();
  EXPECT_EQ(table().ThumbCount(), 0);
  EXPECT_EQ(host_.folderCaption, "No photos in folder");
  EXPECT_EQ(host_.panelCaption, "Thumbnail Panel (none)");
  EXPECT_FALSE(host_.folderTools);
}

// A full memory card has no room for its trash folder, or takes the picture
// into its trash but not the record of where it came from: the picture is
// put back. Either way the message names the full disk. The card is a small
// ext2 file system in a file (GIO keeps tmpfs out of the trash), mounted
// through a loop device by root, or through FUSE by an ordinary user in a
// namespace of its own; the picture lies in a folder of it, as a camera puts
// it, so that the trash at the card's top is the one looked in.
TEST_F(FileCommandsTest, DeleteOnAFullCardKeepsThePicture) {
  const QString card = freshFolder("card") + "/";
  const QString image = freshFolder("card-image") + "/card.img";
  ASSERT_TRUE(WriteText(image, QByteArray(1 << 20, '\0')));
  ASSERT_EQ(QProcess::execute("/usr/sbin/mke2fs", {"-q", "-F", image}), 0);
  bool mounted = QProcess::execute("/usr/bin/mount", {"-o", "loop", image, card}) == 0;
  if (!mounted && ::getuid() != 0) RerunThisTestInUserNamespace();
  if (!mounted && (AskedForUserNamespace() || ::getuid() == 0)) {
    mounted = QProcess::execute("/usr/bin/fuse2fs", {"-o", "fakeroot", image, card}) == 0;
  }
  if (!mounted) GTEST_SKIP() << "no ext2 file system can be mounted here, through a loop device or FUSE";
  const auto unmount = qScopeGuard([&card] { QProcess::execute("/usr/bin/umount", {"-l", card}); });
  const QString trash = card + ".Trash-" + QString::number(::getuid());
  const QString photos = card + "DCIM/";
  QDir().mkpath(photos);
  ASSERT_TRUE(WritePicture(photos + "a.png", 8, 8));
  const QByteArray picture = ReadBytes(photos + "a.png");
  Open(photos);
  for (const bool trashMade : {false, true}) {
    QFile::remove(card + "filler");
    if (trashMade) QDir().mkpath(trash + "/files"), QDir().mkpath(trash + "/info");
    QFile filler(card + "filler");
    filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    while (filler.write(QByteArray(1024, 'x')) == 1024) continue;  // until the card is full
    filler.close();
    Select(0);
    host_.errors.clear();
    host_.answers = {true};
    commands_.mnuFileOptionsDelete_Click();
    EXPECT_TRUE(host_.errors.value(0).startsWith("Error: File <" + photos + "a.png> not deleted!\n"));
    // With its trash folder there, the record is refused or left empty,
    // as the file system has it.
    const QString& error = host_.errors.value(0);
    EXPECT_TRUE(error.endsWith("The disk is full.") || (trashMade && error.endsWith("the disk may be full.")))
        << error.toStdString();
    EXPECT_EQ(ReadBytes(photos + "a.png"), picture);
    EXPECT_EQ(Names(trash + "/info"), QStringList());
  }
}

// The drop acts on the picture the drag carried, never on the selection or
// on the cell the pointer crossed last.
TEST_F(FileCommandsTest, TreeDropCopiesOrMovesTheDraggedPicture) {
  const QString root = freshFolder("drive") + "/";
  const QString photos = root + "photos/";
  QDir().mkpath(root + "target");
  QDir().mkpath(photos);
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) ASSERT_TRUE(WritePicture(photos + name, 16, 16));
  Open(photos);
  FolderTree tree(nullptr, [&] { return QList<Drive>{{root, "Disk", DriveKind::Fixed}}; });
  ConnectFileCommands(panel_, tree, commands_);
  EXPECT_TRUE(panel_.commandAction(ThumbnailPanel::CellCommand::Rename)->isEnabled());
  tree.TreeView(u"Load");
  Select(0);
  panel_.table().setThumbHover(0);  // the pointer crossed a last
  QMimeData carried;
  carried.setData(ThumbnailPanel::kMimeType, (photos + "b.jpg").toUtf8());
  const auto drop = [&](const QString& folder, const char* item) {
    ASSERT_TRUE(tree.DropThumbnail(carried, tree.folders().FindNode(folder), {}));
    tree.nodeFileMenu()->findChild<QAction*>(QString::fromLatin1(item))->trigger();
  };
  drop(photos, "mnuNodeFileCopy");
  EXPECT_EQ(host_.notices, QStringList{"Cannot copy file on top of itself."});
  drop(root + "target/", "mnuNodeFileMove");
  EXPECT_EQ(Names(root + "target"), QStringList{"b.jpg"});
  EXPECT_EQ(Files(), (QStringList{photos + "a.jpg", photos + "c.jpg"}));
  EXPECT_EQ(table().ThumbSel(), 0);
  EXPECT_EQ(tree.dropHighlight(), nullptr);
  QMimeData foreign;
  foreign.setText(photos + "c.jpg");
  EXPECT_FALSE(tree.DropThumbnail(foreign, tree.folders().FindNode(root + "target/"), {}));
}

}  // namespace
}  // namespace lumaset::test
