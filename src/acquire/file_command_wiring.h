#pragma once

// Hooks the thumbnail cell menu (also File > File Options) and the folder
// tree's pop-up menus up to the file commands, and offers the cell menu's
// file items. `commands` must outlive `panel` and `tree`.

namespace lumaset {

class FileCommands;
class FolderTree;
class ThumbnailPanel;

void ConnectFileCommands(ThumbnailPanel& panel, FolderTree& tree, FileCommands& commands);

}  // namespace lumaset
