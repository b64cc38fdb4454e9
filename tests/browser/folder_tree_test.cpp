#include "browser/folder_tree.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

#include "browser/thumbnail_area.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

QStringList Texts(const std::vector<std::unique_ptr<FolderNode>>& nodes) {
  QStringList texts;
  for (const auto& node : nodes) texts << node->text;
  return texts;
}

// A fixed drive and a removable one over real folders; every listing counted.
class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"fixed/photos/a", "fixed/photos2/b", "fixed/Photos/c", "fixed/Photo/d", "fixed/empty",
                               "fixed/.hidden/e", "fixed/zeta", "usb/pics"})
      QDir().mkpath(path(folder));
    WriteText(path("fixed/file.jpg"), "");
    drives_ = {{path("fixed/"), "Disk", DriveKind::Fixed}, {path("usb/"), "USB", DriveKind::Removable}};
  }

  DriveSource drives() { return [this] { return drives_; }; }
  FolderLister lister() {
    return [this](const QString& folder) {
      listed_ << folder.mid(base_.size());
      return ListSubfolders(folder);
    };
  }
  QString path(const char* relative) const { return base_ + QLatin1String(relative); }

  QString base_ = freshFolder(QStringLiteral("tree")) + QLatin1Char('/');
  QList<Drive> drives_;
  QStringList listed_;
};

TEST_F(FolderTreeTest, LoadShowsDrivesAndReadsOneLevelLazily) {
  FolderTreeModel tree(drives(), lister());
  tree.TreeView(u"load");  // action words are exact
  EXPECT_TRUE(tree.roots().empty());
  tree.TreeView(u"Load");
  ASSERT_EQ(tree.roots().size(), 2U);
  const FolderNode& fixed = *tree.roots()[0];
  const FolderNode& usb = *tree.roots()[1];
  EXPECT_EQ(fixed.key, "root" + path("fixed/"));
  EXPECT_EQ((QStringList{fixed.text, usb.text}),
            (QStringList{"Disk (" + path("fixed") + ")", "(" + path("usb") + ")"}));
  EXPECT_EQ(usb.image, NodeImage::Remove);
  // Sorted regardless of case, real names kept, no dot folders, no files;
  // the removable drive is not touched.
  EXPECT_EQ(Texts(fixed.children), (QStringList{"empty", "Photo", "Photos", "photos", "photos2", "zeta"}));
  EXPECT_EQ(fixed.children[1]->path, path("fixed/Photo/"));
  EXPECT_TRUE(usb.children.empty());
  EXPECT_EQ(listed_, QStringList{"fixed/"});
  tree.Load();
  EXPECT_EQ(tree.roots().size(), 2U) << "loading again rebuilds rather than doubling the drives";
}

TEST_F(FolderTreeTest, ExpandReadsEachChildOnceAndClickRereadsOnlyEmptyNodes) {
  FolderTreeModel tree(drives(), lister());
  tree.Load();
  FolderNode& fixed = *tree.roots()[0];
  listed_.clear();
  tree.Expand(fixed);
  EXPECT_TRUE(fixed.expanded);
  EXPECT_TRUE(listed_.size() == 6);
  EXPECT_EQ(fixed.children[0]->selectedImage, NodeImage::ExSelected);

  tree.Collapse(fixed);
  listed_.clear();
  tree.Expand(fixed);  // only the folders without subfolders are read again
  EXPECT_EQ(listed_, (QStringList{"fixed/empty/", "fixed/zeta/"}));

  listed_.clear();
  EXPECT_EQ(tree.NodeClick(*fixed.children[2]), path("fixed/Photos/"));
  EXPECT_TRUE(listed_.isEmpty());
  EXPECT_TRUE(tree.selected() == fixed.children[2].get());

  // The removable drive is read when clicked; a drive without folders gets "exselected".
  FolderNode& usb = *tree.roots()[1];
  EXPECT_EQ(tree.NodeClick(usb), path("usb/"));
  EXPECT_EQ(Texts(usb.children), QStringList{"pics"});
  drives_.append({path("fixed/empty/"), QString(), DriveKind::Fixed});
  tree.Load();
  EXPECT_EQ(tree.roots()[2]->selectedImage, NodeImage::ExSelected);
}

TEST_F(FolderTreeTest, NavigateAndSelectMatchWholeComponentsWithCase) {
  FolderTreeModel tree(drives(), lister());
  tree.Load();
  const FolderNode& fixed = *tree.roots()[0];
  tree.TreeView(u"Navigate", path("fixed/photos2/b"));
  tree.TreeView(u"Select", path("fixed/photos2/b/"));
  // Only photos2 opens: neither Photo, a prefix by text only, nor photos.
  EXPECT_TRUE(fixed.expanded);
  EXPECT_TRUE(fixed.children[4]->expanded);
  EXPECT_FALSE(fixed.children[1]->expanded);
  EXPECT_FALSE(fixed.children[3]->expanded);
  ASSERT_NE(tree.selected(), nullptr);
  EXPECT_EQ(tree.selected()->path, path("fixed/photos2/b/"));

  tree.Select(path("fixed/Photos/"));
  EXPECT_EQ(tree.selected(), fixed.children[2].get());
  for (const char* absent : {"fixed/PHOTOS/", "fixed/photos3/", "elsewhere/", ""}) {
    tree.Select(path(absent));
    EXPECT_EQ(tree.selected(), fixed.children[2].get()) << absent;
  }
  // The folder reached is itself expanded when it has subfolders.
  tree.Navigate(path("fixed/photos/"));
  EXPECT_TRUE(fixed.children[3]->expanded);

  // Of nested drives the nearest one leads to the folder.
  drives_.append({path("fixed/photos2/"), QString(), DriveKind::Fixed});
  tree.Load();
  tree.Navigate(path("fixed/photos2/b/"));
  EXPECT_TRUE(!tree.roots()[0]->expanded);
  EXPECT_TRUE(tree.roots()[2]->expanded);
  EXPECT_EQ(tree.FindNode(path("fixed/photos2/b")), tree.roots()[2]->children[0].get());
}

TEST_F(FolderTreeTest, VanishedAndUnreadableFoldersGiveNoChildren) {
  FolderTreeModel tree(drives(), lister());
  tree.Load();
  FolderNode& zeta = *tree.roots()[0]->children[5];
  ASSERT_TRUE(QDir(path("fixed/zeta")).removeRecursively());
  EXPECT_EQ(tree.NodeClick(zeta), path("fixed/zeta/"));
  EXPECT_TRUE(zeta.children.empty());
  EXPECT_TRUE(zeta.selectedImage == NodeImage::ExSelected);
  tree.Navigate(path("fixed/zeta/x/"));  // stops where the nodes end
  EXPECT_FALSE(zeta.expanded);
  EXPECT_EQ(tree.FindNode(path("fixed/zeta/x/")), nullptr);
  EXPECT_TRUE(tree.roots()[0]->expanded);

  EXPECT_TRUE(ListSubfolders(path("fixed/file.jpg")).isEmpty());
  // Of links, only those that lead to folders are nodes.
  for (const auto& [link, target] : {std::pair{"c.jpg", "/dev/zero"}, {"gone", "fixed/nowhere"},
                                     {"tofile", "fixed/file.jpg"}, {"tofolder", "fixed/photos2"}}) {
    const QString to = target[0] == '/' ? QString::fromLatin1(target) : path(target);
    ASSERT_TRUE(QFile::link(to, path("fixed/empty/") + QLatin1String(link))) << link;
  }
  EXPECT_EQ(ListSubfolders(path("fixed/empty")), QStringList{QStringLiteral("tofolder")});
  if (::geteuid() != 0) {  // root reads every folder
    QFile::setPermissions(path("fixed/photos"), QFileDevice::WriteOwner);
    EXPECT_TRUE(ListSubfolders(path("fixed/photos")).isEmpty());
    QFile::setPermissions(path("fixed/photos"), QFileDevice::Permissions(0x7000));
  }
}

TEST_F(FolderTreeTest, RightPressRecordsTheMenuFolderAndBusyClicksOpenNothing) {
  FolderTreeModel tree(drives(), lister());
  bool idle = false;
  tree.setIdleCheck([&] { return idle; });
  tree.Load();
  FolderNode& photos = *tree.roots()[0]->children[3];
  EXPECT_EQ(tree.NodeClick(photos), std::nullopt);  // busy: it only fills children
  EXPECT_FALSE(photos.children.empty());
  idle = true;
  tree.MouseDown(Qt::RightButton);
  EXPECT_EQ(tree.NodeClick(photos), std::nullopt);
  EXPECT_EQ(tree.nodeMenuFolder(), path("fixed/photos/"));
  EXPECT_FALSE(tree.selected());
  tree.MouseDown(Qt::LeftButton | Qt::RightButton);
  EXPECT_EQ(tree.NodeClick(photos), path("fixed/photos/"));
}

TEST_F(FolderTreeTest, ControlMirrorsNodesOpensOnClickAndRebuildsOnF5) {
  FolderTree tree(nullptr, drives(), lister());
  tree.resize(300, 400);
  tree.show();
  QSignalSpy opened(&tree, &FolderTree::folderClicked);
  QSignalSpy create(&tree, &FolderTree::createFolderRequested);
  tree.TreeView(u"Load");
  tree.TreeView(u"Navigate", path("fixed/photos/"));
  ASSERT_EQ(tree.topLevelItemCount(), 2);
  QTreeWidgetItem* photos = tree.topLevelItem(0)->child(3);
  EXPECT_TRUE(tree.topLevelItem(0)->isExpanded());
  EXPECT_TRUE(photos->isExpanded());
  ASSERT_EQ(photos->childCount(), 1);
  QCoreApplication::processEvents();  // the column takes its width, as before a user's first click

  // On the name's first letters: the column is as wide as the longest name.
  const QPoint onPhotos = tree.visualItemRect(photos).topLeft() + QPoint(10, 5);
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, onPhotos);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0][0].toString(), path("fixed/photos/"));

  QTreeWidgetItem* zeta = tree.topLevelItem(0)->child(5);
  QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, tree.visualItemRect(zeta).center());
  EXPECT_TRUE(opened.size() == 1) << "a right click leaves the selection";
  EXPECT_TRUE(tree.currentItem() == photos) << "a right click leaves the selection";
  tree.nodeFolderMenu()->findChild<QAction*>(QStringLiteral("mnuNodeFolderCreate"))->trigger();
  tree.nodeFolderMenu()->close();
  ASSERT_EQ(create.size(), 1);
  EXPECT_EQ(create[0][0].toString(), path("fixed/zeta/"));

  QDir().mkpath(path("fixed/new"));
  QTest::keyClick(&tree, Qt::Key_F5);
  ASSERT_EQ(tree.topLevelItemCount(), 2);
  EXPECT_FALSE(tree.topLevelItem(0)->isExpanded());
  EXPECT_FALSE(tree.currentItem());
  EXPECT_EQ(tree.topLevelItem(0)->child(1)->text(0), QStringLiteral("new"));
}

TEST_F(FolderTreeTest, DropsFromOtherProgramsAreRefused) {
  FolderTree tree(nullptr, drives(), lister());
  tree.TreeView(u"Load");
  QMimeData mime;
  mime.setText(QStringLiteral("file:///etc/passwd"));
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QCoreApplication::sendEvent(tree.viewport(), &enter);
  EXPECT_FALSE(enter.isAccepted());
  QSignalSpy copy(&tree, &FolderTree::copyFileRequested);
  tree.nodeFileMenu()->findChild<QAction*>(QStringLiteral("mnuNodeFileCopy"))->trigger();
  EXPECT_EQ(copy.size(), 0);  // no node under the drop: nothing to copy into
}

// A thumbnail dropped on a node lights it up; leaving the Copy/Move pop-up
// with Esc puts it out, while a choice still copies into that node's folder.
TEST_F(FolderTreeTest, DropHighlightGoesWithThePopup) {
  FolderTree tree(nullptr, drives(), lister());
  tree.TreeView(u"Load");
  QSignalSpy copy(&tree, &FolderTree::copyFileRequested);
  QMimeData mime;
  mime.setData(ThumbnailPanel::kMimeType, path("fixed/a.jpg").toUtf8());
  QTreeWidgetItem* item = tree.topLevelItem(0);
  QMenu* menu = tree.nodeFileMenu();
  for (const bool choose : {false, true}) {
    ASSERT_TRUE(tree.DropThumbnail(mime, tree.nodeOf(item), QPoint(5, 5)));
    EXPECT_TRUE(item->data(0, Qt::BackgroundRole).isValid());
    if (choose) menu->findChild<QAction*>(QStringLiteral("mnuNodeFileCopy"))->trigger();
    QTest::keyClick(menu, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(tree.dropHighlight(), nullptr);
    EXPECT_FALSE(item->data(0, Qt::BackgroundRole).isValid());
  }
  EXPECT_EQ(copy.size(), 1);
}

// At the tree's starting width a long folder name is shown whole; the tree
// scrolls sideways to it.
TEST_F(FolderTreeTest, LongNamesAreShownWhole) {
  const QString name = QStringLiteral("Holidays by the sea with the whole family, summer");
  QDir().mkpath(path("fixed/") + name);
  FolderTree tree(nullptr, drives(), lister());
  tree.resize(144, 300);
  tree.TreeView(u"Load");
  tree.topLevelItem(0)->setExpanded(true);
  tree.show();
  QCoreApplication::processEvents();
  QTreeWidgetItem* item = nullptr;
  for (int i = 0; i < tree.topLevelItem(0)->childCount(); ++i)
    if (tree.topLevelItem(0)->child(i)->text(0) == name) item = tree.topLevelItem(0)->child(i);
  ASSERT_NE(item, nullptr);
  EXPECT_GE(tree.visualItemRect(item).width(), tree.fontMetrics().horizontalAdvance(name) + tree.iconSize().width());
}

}  // namespace
}  // namespace lumaset::test
