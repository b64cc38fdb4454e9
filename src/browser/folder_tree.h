#pragma once

// The folder tree `DirTree`: every drive as a top-level node and the folders
// below it, read lazily one level ahead of what the user has opened. The
// rules live in FolderTreeModel, a plain class that a test drives without a
// window; FolderTree is the tree control that shows its nodes and turns the
// user's clicks, keys and drops into its actions.
//
// Every node keeps the real path of its folder. Paths are compared whole
// component by whole component and with their letter case, so "/photos/"
// never stands for "/photos2/" or "/Photos/".

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMetaMethod>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "components/drives.h"

class QMenu;
class QMimeData;

namespace lumaset {

// The pictures of the nodes, named like the keys of the tree's image list.
enum class NodeImage { Unknown, Fixed, Ram, Remove, Cd, Remote, Folder, Expanded, Selected, ExSelected };

struct FolderNode {
  QString key;   // drive nodes only: "root" followed by the drive's folder
  QString text;
  QString path;  // the folder the node stands for, ending with "/"
  NodeImage image = NodeImage::Folder;
  std::optional<NodeImage> expandedImage;
  std::optional<NodeImage> selectedImage;
  bool expanded = false;
  FolderNode* parent = nullptr;
  std::vector<std::unique_ptr<FolderNode>> children;

  bool isDrive() const { return key.startsWith(QLatin1String("root")); }
};

// Told of every change of the nodes, in order, so that a view can mirror them.
class FolderTreeObserver {
 public:
  virtual ~FolderTreeObserver() = default;
  // All nodes are about to be destroyed.
  virtual void NodesRemoved() = 0;
  // `node` was added as the last child of its parent (the last top-level
  // node when it has none).
  virtual void NodeAdded(FolderNode& node) = 0;
  // Its images or its expanded state changed.
  virtual void NodeChanged(FolderNode& node) = 0;
  virtual void NodeSelected(FolderNode& node) = 0;
};

using DriveSource = std::function<QList<Drive>()>;
// The names of the subfolders of a folder that the tree shows.
using FolderLister = std::function<QStringList(const QString& folder)>;

// The folders in `folder` by name: no hidden (dot) folders and no files,
// sorted alphabetically regardless of letter case (names that differ only in
// case keep a fixed order). Empty when the folder cannot be read.
QStringList ListSubfolders(const QString& folder);

// A drive node's text: the label, " (" and the drive's folder, ")"; a
// removable drive shows only its folder in brackets. "/media/x/" shows as
// "/media/x", the root as "/".
QString DriveNodeText(const Drive& drive);
NodeImage DriveNodeImage(DriveKind kind);

class FolderTreeModel {
 public:
  explicit FolderTreeModel(DriveSource drives = SystemDrives, FolderLister lister = ListSubfolders);

  void setObserver(FolderTreeObserver* observer) { observer_ = observer; }
  // `ThumbsIdle`: a click opens a folder only while no thumbnails are being made.
  void setIdleCheck(std::function<bool()> idle) { idle_ = std::move(idle); }

  // The main window's `TreeView`: "Load", "Display", "Navigate" or "Select"
  // (compared exactly); any other word does nothing. "Load" ignores the path;
  // "Display" reads the subfolders of the shown node of `path` when it has none.
  void TreeView(QStringView action, const QString& path = {});

  void RemoveAllNodes();
  // Adds the drive nodes, reading the folders of every drive but the
  // removable ones (those are not touched until the user opens them).
  void Load();
  // Adds the subfolders of the node's folder as its children; a folder
  // without any (or that cannot be read) gets the selected image "exselected".
  void Display(FolderNode& parent);
  // Expands the tree down to `folder`, as far as its nodes have been read;
  // the node of the folder itself is expanded too when it has children.
  void Navigate(const QString& folder);
  // Selects the node of `folder`; nothing when no node stands for it.
  void Select(const QString& folder);

  // `DirTree_MouseDown`: remembers whether the right button alone was pressed.
  void MouseDown(Qt::MouseButtons buttons);
  // `DirTree_NodeClick`: reads the node's subfolders when it has none. After
  // a right press it records the node's folder for the folder pop-up menu;
  // otherwise, while idle, it selects the node and gives its folder to open.
  std::optional<QString> NodeClick(FolderNode& node);
  // `DirTree_Expand`: marks the node expanded and reads the subfolders of
  // each child that has none, so every child shows whether it can open.
  void Expand(FolderNode& node);
  void Collapse(FolderNode& node);

  const std::vector<std::unique_ptr<FolderNode>>& roots() const { return roots_; }
  FolderNode* selected() const { return selected_; }
  // `NodeMenuFolder`: the folder of the node last right-clicked, "" at first.
  const QString& nodeMenuFolder() const { return nodeMenuFolder_; }
  bool treeRightDown() const { return treeRightDown_; }
  // The node already read whose folder is exactly `folder`, or nullptr.
  FolderNode* FindNode(const QString& folder) const;

 private:
  FolderNode& AddNode(FolderNode* parent, std::unique_ptr<FolderNode> node);
  FolderNode* TopNodeFor(const QString& folder) const;
  static FolderNode* ChildLeadingTo(const FolderNode& node, const QString& folder);
  void Changed(FolderNode& node);

  DriveSource drives_;
  FolderLister lister_;
  FolderTreeObserver* observer_ = nullptr;
  std::function<bool()> idle_;
  std::vector<std::unique_ptr<FolderNode>> roots_;
  FolderNode* selected_ = nullptr;
  QString nodeMenuFolder_;
  bool treeRightDown_ = false;
};

// The tree control: mirrors a FolderTreeModel and offers its pop-up menus.
class FolderTree : public QTreeWidget, private FolderTreeObserver {
  Q_OBJECT

 public:
  explicit FolderTree(QWidget* parent = nullptr, DriveSource drives = SystemDrives,
                      FolderLister lister = ListSubfolders);
  ~FolderTree() override;

  FolderTreeModel& folders() { return folders_; }
  void TreeView(QStringView action, const QString& path = {}) { folders_.TreeView(action, path); }
  void RemoveAllNodes() { folders_.RemoveAllNodes(); }
  void setIdleCheck(std::function<bool()> idle) { folders_.setIdleCheck(std::move(idle)); }

  QTreeWidgetItem* itemOf(const FolderNode* node) const { return items_.value(node); }
  FolderNode* nodeOf(QTreeWidgetItem* item) const { return nodes_.value(item); }
  // The node a dragged thumbnail was last over, or nullptr.
  FolderNode* dropHighlight() const { return dropHighlight_; }
  // The file of the thumbnail last dropped on the tree.
  const QString& droppedFile() const { return droppedFile_; }
  // A drop of `carried` on `node` (nullptr: no node): keeps the thumbnail's
  // file and pops up "Copy File" / "Move File" at `globalPos`. False, with
  // nothing changed, when it carries no thumbnail or nothing takes the request.
  bool DropThumbnail(const QMimeData& carried, FolderNode* node, QPoint globalPos);
  QMenu* nodeFolderMenu() const { return mnuNodeFolder_; }
  QMenu* nodeFileMenu() const { return mnuNodeFile_; }

 signals:
  // A left click on a node asks to open its folder (ending with "/").
  void folderClicked(const QString& folder);
  // "Create Folder" and "Remove Folder" of the folder pop-up, for `NodeMenuFolder`.
  void createFolderRequested(const QString& folder);
  void removeFolderRequested(const QString& folder);
  // "Copy File" and "Move File" of the drop pop-up: the dropped thumbnail's
  // file, as its drag carried it, into the folder of the node it was dropped
  // on (its drop highlight is cleared).
  void copyFileRequested(const QString& file, const QString& folder);
  void moveFileRequested(const QString& file, const QString& folder);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Whether anything carries out the request that a pop-up item makes.
  template <typename... Args>
  bool Offered(void (FolderTree::*request)(Args...)) const {
    return isSignalConnected(QMetaMethod::fromSignal(request));
  }
  void NodesRemoved() override;
  void NodeAdded(FolderNode& node) override;
  void NodeChanged(FolderNode& node) override;
  void NodeSelected(FolderNode& node) override;

  void BuildMenus();
  void NodeClicked(QTreeWidgetItem* item);
  void SetDropHighlight(FolderNode* node);
  void FileMenuChosen(bool move);
  QIcon ItemIcon(const FolderNode& node);

  FolderTreeModel folders_;
  QHash<const FolderNode*, QTreeWidgetItem*> items_;
  QHash<QTreeWidgetItem*, FolderNode*> nodes_;
  QHash<int, QIcon> icons_;
  FolderNode* dropHighlight_ = nullptr;
  QString droppedFile_;  // what the last drop carried
  QMenu* mnuNodeFolder_ = nullptr;
  QMenu* mnuNodeFile_ = nullptr;
};

}  // namespace lumaset
