#include "browser/folder_tree.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMetaMethod>
#include <QMimeData>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QStyle>

#include <algorithm>
#include <initializer_list>

#include "browser/thumbnail_area.h"
#include "components/theme_icons.h"

namespace lumaset {

namespace {

// An absolute folder path in the one form nodes keep: clean, ending with
// "/". Anything else stands for no folder ("").
QString AsFolderPath(const QString& path) {
  if (!path.startsWith(QLatin1Char('/'))) return {};
  const QString clean = QDir::cleanPath(path);
  return clean.endsWith(QLatin1Char('/')) ? clean : clean + QLatin1Char('/');
}

bool CaseBlindLess(const QString& a, const QString& b) {
  const int order = a.compare(b, Qt::CaseInsensitive);
  return order != 0 ? order < 0 : a < b;
}

}  // namespace

QStringList ListSubfolders(const QString& folder) {
  const QFileInfo info(folder);
  if (!info.isDir() || !info.isReadable() || !info.isExecutable()) return {};
  // Without QDir::Hidden the listing leaves out every name that starts with a dot.
  QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
  // The listing also passes links to devices and sockets; only a link that
  // leads to a folder is one.
  const QString base = info.absoluteFilePath() + QLatin1Char('/');
  names.removeIf([&base](const QString& name) { return !QFileInfo(base + name).isDir(); });
  std::sort(names.begin(), names.end(), CaseBlindLess);
  return names;
}

QString DriveNodeText(const Drive& drive) {
  QString shown = drive.rootPath;
  if (shown.size() > 1 && shown.endsWith(QLatin1Char('/'))) shown.chop(1);
  if (drive.kind == DriveKind::Removable) return QStringLiteral("(%1)").arg(shown);
  return QStringLiteral("%1 (%2)").arg(drive.label, shown);
}

NodeImage DriveNodeImage(DriveKind kind) {
  switch (kind) {
    case DriveKind::Fixed: return NodeImage::Fixed;
    case DriveKind::Removable: return NodeImage::Remove;
    case DriveKind::Remote: return NodeImage::Remote;
    case DriveKind::CdRom: return NodeImage::Cd;
    case DriveKind::RamDisk: return NodeImage::Ram;
  }
  return NodeImage::Unknown;
}

// --- The nodes -------------------------------------------------------------

FolderTreeModel::FolderTreeModel(DriveSource drives, FolderLister lister)
    : drives_(std::move(drives)), lister_(std::move(lister)), idle_([] { return true; }) {}

void FolderTreeModel::TreeView(QStringView action, const QString& path) {
  if (action == u"Load") {
    Load();
  } else if (action == u"Display") {
    if (FolderNode* node = FindNode(path)) Display(*node);
  } else if (action == u"Navigate") {
    Navigate(path);
  } else if (action == u"Select") {
    Select(path);
  }
}

void FolderTreeModel::RemoveAllNodes() {
  if (observer_) observer_->NodesRemoved();
  selected_ = nullptr;
  roots_.clear();
}

void FolderTreeModel::Load() {
  // Loading twice must not show every drive twice.
  if (!roots_.empty()) RemoveAllNodes();
  const QList<Drive> drives = drives_ ? drives_() : QList<Drive>{};
  for (const Drive& drive : drives) {
    auto node = std::make_unique<FolderNode>();
    node->path = AsFolderPath(drive.rootPath);
    if (node->path.isEmpty()) continue;
    node->key = QStringLiteral("root") + node->path;
    node->text = DriveNodeText(drive);
    node->image = DriveNodeImage(drive.kind);
    FolderNode& added = AddNode(nullptr, std::move(node));
    if (drive.kind != DriveKind::Removable) Display(added);
  }
}

void FolderTreeModel::Display(FolderNode& parent) {
  // A node's children are read together, once; only a node without any is read again.
  if (!parent.children.empty()) return;
  const QStringList names = lister_ ? lister_(parent.path) : QStringList{};
  if (names.isEmpty()) {
    parent.selectedImage = NodeImage::ExSelected;
    Changed(parent);
    return;
  }
  for (const QString& name : names) {
    auto node = std::make_unique<FolderNode>();
    node->text = name;
    node->path = parent.path + name + QLatin1Char('/');
    node->image = NodeImage::Folder;
    node->expandedImage = NodeImage::Expanded;
    node->selectedImage = NodeImage::ExSelected;
    AddNode(&parent, std::move(node));
  }
}

void FolderTreeModel::Navigate(const QString& folder) {
  const QString target = AsFolderPath(folder);
  for (FolderNode* node = TopNodeFor(target); node && !node->children.empty();
       node = ChildLeadingTo(*node, target)) {
    Expand(*node);
  }
}

void FolderTreeModel::Select(const QString& folder) {
  FolderNode* node = FindNode(folder);
  if (!node) return;
  selected_ = node;
  if (observer_) observer_->NodeSelected(*node);
}

FolderNode* FolderTreeModel::FindNode(const QString& folder) const {
  const QString target = AsFolderPath(folder);
  for (FolderNode* node = TopNodeFor(target); node; node = ChildLeadingTo(*node, target)) {
    if (node->path == target) return node;
  }
  return nullptr;
}

void FolderTreeModel::MouseDown(Qt::MouseButtons buttons) { treeRightDown_ = buttons == Qt::RightButton; }

std::optional<QString> FolderTreeModel::NodeClick(FolderNode& node) {
  if (node.children.empty()) Display(node);
  if (treeRightDown_) {
    nodeMenuFolder_ = node.path;
    return std::nullopt;
  }
  if (!idle_ || !idle_()) return std::nullopt;
  selected_ = &node;
  if (observer_) observer_->NodeSelected(node);
  return node.path;
}

void FolderTreeModel::Expand(FolderNode& node) {
  if (node.children.empty()) Display(node);
  if (node.expanded || node.children.empty()) return;
  node.expanded = true;
  Changed(node);
  for (const auto& child : node.children) {
    if (child->children.empty()) Display(*child);
  }
}

void FolderTreeModel::Collapse(FolderNode& node) {
  if (!node.expanded) return;
  node.expanded = false;
  Changed(node);
}

FolderNode& FolderTreeModel::AddNode(FolderNode* parent, std::unique_ptr<FolderNode> node) {
  node->parent = parent;
  FolderNode& added = *node;
  (parent ? parent->children : roots_).push_back(std::move(node));
  if (observer_) observer_->NodeAdded(added);
  return added;
}

// Drives nest (the home folder lies inside "/", a volume inside the home
// folder): a folder is reached from the drive nearest to it.
FolderNode* FolderTreeModel::TopNodeFor(const QString& folder) const {
  FolderNode* best = nullptr;
  for (const auto& root : roots_) {
    if (folder.startsWith(root->path) && (!best || root->path.size() > best->path.size()))
      best = root.get();
  }
  return best;
}

// Node paths end with "/", so a prefix match is a match of whole components.
FolderNode* FolderTreeModel::ChildLeadingTo(const FolderNode& node, const QString& folder) {
  for (const auto& child : node.children) {
    if (folder.startsWith(child->path)) return child.get();
  }
  return nullptr;
}

void FolderTreeModel::Changed(FolderNode& node) {
  if (observer_) observer_->NodeChanged(node);
}

// --- The tree control ------------------------------------------------------

namespace {

QIcon ImageIcon(NodeImage image) {
  switch (image) {
    case NodeImage::Unknown:
    case NodeImage::Fixed: return ThemeIcon({"drive-harddisk"}, QStyle::SP_DriveHDIcon);
    case NodeImage::Ram: return ThemeIcon({"media-flash", "drive-harddisk"}, QStyle::SP_DriveHDIcon);
    case NodeImage::Remove:
      return ThemeIcon({"drive-removable-media", "media-removable"}, QStyle::SP_DriveFDIcon);
    case NodeImage::Cd: return ThemeIcon({"media-optical", "drive-optical"}, QStyle::SP_DriveCDIcon);
    case NodeImage::Remote: return ThemeIcon({"folder-remote", "network-server"}, QStyle::SP_DriveNetIcon);
    case NodeImage::Folder: return ThemeIcon({"folder"}, QStyle::SP_DirClosedIcon);
    case NodeImage::Expanded:
    case NodeImage::Selected:
    case NodeImage::ExSelected: return ThemeIcon({"folder-open"}, QStyle::SP_DirOpenIcon);
  }
  return {};
}

constexpr int kIconSize = 16;

}  // namespace

FolderTree::FolderTree(QWidget* parent, DriveSource drives, FolderLister lister)
    : QTreeWidget(parent), folders_(std::move(drives), std::move(lister)) {
  setHeaderHidden(true);
  setColumnCount(1);
  // Names are never cut short: the column is as wide as the longest name
  // shown, and the tree scrolls sideways when that is wider than the tree.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setIconSize(QSize(kIconSize, kIconSize));
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setToolTip(QStringLiteral("Select folder to show thumbnails"));
  setAccessibleName(QStringLiteral("Folders"));
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(false);
  folders_.setObserver(this);
  BuildMenus();

  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { NodeClicked(item); });
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (FolderNode* node = nodeOf(item)) folders_.Expand(*node);
  });
  connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    if (FolderNode* node = nodeOf(item)) folders_.Collapse(*node);
  });
}

FolderTree::~FolderTree() { folders_.setObserver(nullptr); }

void FolderTree::BuildMenus() {
  mnuNodeFolder_ = new QMenu(this);
  QAction* create = mnuNodeFolder_->addAction(QStringLiteral("Create Folder"));
  QAction* remove = mnuNodeFolder_->addAction(QStringLiteral("Remove Folder"));
  create->setObjectName(QStringLiteral("mnuNodeFolderCreate"));
  remove->setObjectName(QStringLiteral("mnuNodeFolderRemove"));
  // Before any node was right-clicked there is no folder to act on; a
  // command nobody carries out yet is not offered.
  connect(mnuNodeFolder_, &QMenu::aboutToShow, this, [this, create, remove] {
    const bool haveFolder = !folders_.nodeMenuFolder().isEmpty();
    create->setEnabled(haveFolder && Offered(&FolderTree::createFolderRequested));
    remove->setEnabled(haveFolder && Offered(&FolderTree::removeFolderRequested));
  });
  connect(create, &QAction::triggered, this,
          [this] { emit createFolderRequested(folders_.nodeMenuFolder()); });
  connect(remove, &QAction::triggered, this,
          [this] { emit removeFolderRequested(folders_.nodeMenuFolder()); });

  mnuNodeFile_ = new QMenu(this);
  QAction* copy = mnuNodeFile_->addAction(QStringLiteral("Copy File"));
  QAction* move = mnuNodeFile_->addAction(QStringLiteral("Move File"));
  copy->setObjectName(QStringLiteral("mnuNodeFileCopy"));
  move->setObjectName(QStringLiteral("mnuNodeFileMove"));
  // However the pop-up goes (a choice, Esc, a click elsewhere), the node
  // stops looking like a drop target; a choice is handled before that.
  connect(mnuNodeFile_, &QMenu::aboutToHide, this, [this] {
    QMetaObject::invokeMethod(this, [this] { SetDropHighlight(nullptr); }, Qt::QueuedConnection);
  });
  connect(mnuNodeFile_, &QMenu::aboutToShow, this, [this, copy, move] {
    copy->setEnabled(Offered(&FolderTree::copyFileRequested));
    move->setEnabled(Offered(&FolderTree::moveFileRequested));
  });
  connect(copy, &QAction::triggered, this, [this] { FileMenuChosen(false); });
  connect(move, &QAction::triggered, this, [this] { FileMenuChosen(true); });
}

void FolderTree::NodeClicked(QTreeWidgetItem* item) {
  // A right press has had its node click already (see mousePressEvent).
  if (folders_.treeRightDown()) return;
  FolderNode* node = nodeOf(item);
  if (!node) return;
  if (const std::optional<QString> folder = folders_.NodeClick(*node)) emit folderClicked(*folder);
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5) {
    folders_.RemoveAllNodes();
    folders_.Load();
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void FolderTree::mousePressEvent(QMouseEvent* event) {
  folders_.MouseDown(event->buttons());
  if (folders_.treeRightDown()) {
    // The node's folder is recorded on the press, so that the pop-up shown
    // on the release acts on it; the selection stays where it was.
    if (FolderNode* node = nodeOf(itemAt(event->position().toPoint()))) (void)folders_.NodeClick(*node);
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void FolderTree::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    mnuNodeFolder_->popup(event->globalPosition().toPoint());
    event->accept();
    return;
  }
  QTreeWidget::mouseReleaseEvent(event);
}

// Only thumbnails of this program are dropped here: a file dragged in from
// elsewhere would otherwise let "Copy File" act on the last thumbnail hovered.
void FolderTree::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FolderTree::dragMoveEvent(QDragMoveEvent* event) {
  if (!event->source()) {
    event->ignore();
    return;
  }
  SetDropHighlight(nodeOf(itemAt(event->position().toPoint())));
  event->acceptProposedAction();
}

void FolderTree::dragLeaveEvent(QDragLeaveEvent* event) {
  SetDropHighlight(nullptr);
  event->accept();
}

// The pop-up acts on the file the drag carried, whatever cell the pointer
// crossed since.
void FolderTree::dropEvent(QDropEvent* event) {
  const QMimeData* carried = event->mimeData();
  const QPoint at = event->position().toPoint();
  if (!event->source() || !carried || !DropThumbnail(*carried, nodeOf(itemAt(at)), viewport()->mapToGlobal(at))) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

bool FolderTree::DropThumbnail(const QMimeData& carried, FolderNode* node, QPoint globalPos) {
  if (!carried.hasFormat(ThumbnailPanel::kMimeType) ||
      !(Offered(&FolderTree::copyFileRequested) || Offered(&FolderTree::moveFileRequested))) {
    return false;
  }
  droppedFile_ = QString::fromUtf8(carried.data(ThumbnailPanel::kMimeType));
  SetDropHighlight(node);
  mnuNodeFile_->popup(globalPos);
  return true;
}

void FolderTree::SetDropHighlight(FolderNode* node) {
  if (node == dropHighlight_) return;
  if (QTreeWidgetItem* old = itemOf(dropHighlight_)) {
    old->setData(0, Qt::BackgroundRole, QVariant());
    old->setData(0, Qt::ForegroundRole, QVariant());
  }
  dropHighlight_ = node;
  if (QTreeWidgetItem* item = itemOf(node)) {
    item->setBackground(0, palette().highlight());
    item->setForeground(0, palette().highlightedText());
  }
}

void FolderTree::FileMenuChosen(bool move) {
  FolderNode* node = dropHighlight_;
  if (!node || droppedFile_.isEmpty()) return;  // dropped where no node was: nothing to copy into
  const QString folder = node->path;
  const QString file = droppedFile_;
  SetDropHighlight(nullptr);
  if (move) {
    emit moveFileRequested(file, folder);
  } else {
    emit copyFileRequested(file, folder);
  }
}

// --- Mirroring the nodes ---------------------------------------------------

void FolderTree::NodesRemoved() {
  dropHighlight_ = nullptr;
  items_.clear();
  nodes_.clear();
  clear();
}

void FolderTree::NodeAdded(FolderNode& node) {
  auto* item = new QTreeWidgetItem(QStringList{node.text});
  item->setIcon(0, ItemIcon(node));
  if (QTreeWidgetItem* parentItem = itemOf(node.parent)) {
    parentItem->addChild(item);
  } else {
    addTopLevelItem(item);
  }
  items_.insert(&node, item);
  nodes_.insert(item, &node);
}

void FolderTree::NodeChanged(FolderNode& node) {
  QTreeWidgetItem* item = itemOf(&node);
  if (!item) return;
  item->setIcon(0, ItemIcon(node));
  if (item->isExpanded() != node.expanded) item->setExpanded(node.expanded);
}

void FolderTree::NodeSelected(FolderNode& node) {
  QTreeWidgetItem* item = itemOf(&node);
  if (!item) return;
  setCurrentItem(item);
  scrollToItem(item);
}

// The node's picture, open while it is expanded, with its selected picture
// shown while it is selected.
QIcon FolderTree::ItemIcon(const FolderNode& node) {
  const NodeImage shown = node.expanded && node.expandedImage ? *node.expandedImage : node.image;
  const int selected = node.selectedImage ? static_cast<int>(*node.selectedImage) + 1 : 0;
  const int cacheKey = static_cast<int>(shown) * 16 + selected;
  if (const auto cached = icons_.constFind(cacheKey); cached != icons_.constEnd()) return *cached;

  QIcon icon = ImageIcon(shown);
  if (node.selectedImage) {
    QIcon composed;
    composed.addPixmap(icon.pixmap(kIconSize), QIcon::Normal);
    composed.addPixmap(ImageIcon(*node.selectedImage).pixmap(kIconSize), QIcon::Selected);
    icon = composed;
  }
  icons_.insert(cacheKey, icon);
  return icon;
}

}  // namespace lumaset
