#pragma once

// The thumbnail table `ThumbTable`: what the program knows of each picture of
// the open folder, in the order the thumbnail panel shows them. Entry i
// describes the picture of cell i. The preview, properties and slide-show
// windows, the page and the file commands read it; the file commands also
// remove, append and refresh entries in place.
//
// Counts and indexes are 32-bit, so a folder of more than 32,767 pictures
// keeps every one of them.

#include <QString>
#include <QStringList>

#include <vector>

namespace lumaset {

// What making a cell learns of its picture.
struct ThumbFacts {
  int width = 0;   // pixels
  int height = 0;  // pixels
  int bits = 0;    // bits per pixel, as the file's header gives them
  int colors = 0;  // colours used in the whole picture; 0 until counted
  bool unsupported = false;
};

class ThumbTable {
 public:
  // Valid indexes are 0 to ThumbCount() - 1.
  int ThumbCount() const { return count_; }
  bool isValid(int index) const { return index >= 0 && index < count_; }

  const QString& ThumbFiles(int index) const { return files_.at(static_cast<std::size_t>(index)); }
  int ThumbWidths(int index) const { return widths_.at(static_cast<std::size_t>(index)); }
  int ThumbHeights(int index) const { return heights_.at(static_cast<std::size_t>(index)); }
  int ThumbBits(int index) const { return bits_.at(static_cast<std::size_t>(index)); }
  int ThumbColors(int index) const { return colors_.at(static_cast<std::size_t>(index)); }
  bool ThumbUnsupported(int index) const { return unsupported_.at(static_cast<std::size_t>(index)) != 0; }

  // The selected cell, and the cell a drag from the panel carries; each is
  // -1 or a valid index. Setting an index outside the table gives -1.
  int ThumbSel() const { return sel_; }
  int ThumbHover() const { return hover_; }
  void setThumbSel(int index) { sel_ = isValid(index) ? index : -1; }
  void setThumbHover(int index) { hover_ = isValid(index) ? index : -1; }

  // A new build: one entry for each path, every other field cleared; no
  // selection, no hover.
  void start(const QStringList& paths);
  // A build stopped early keeps only the entries made; the later ones stay in
  // the arrays with their paths but are no longer part of the table.
  void stopAt(int made);
  // No entries, no selection, no hover.
  void clear();

  // Size, depth and colours of entry `index` from a successful read.
  void setFacts(int index, const ThumbFacts& facts);
  // The colours used in entry `index`'s whole picture, once counted.
  void setColors(int index, int colors);
  // The picture of entry `index` could not be read: the sizes of an earlier
  // read stay as they were.
  void markUnsupported(int index);
  // A picture saved under a new name (a rotation that changed its extension).
  void setFile(int index, const QString& path);

  // The entries after `index` move down one place, each with all its fields.
  void removeAt(int index);
  // A new last entry for `path`, every other field cleared; gives its index.
  int append(const QString& path);

 private:
  void keepIndexesValid();

  std::vector<QString> files_;
  std::vector<int> widths_;
  std::vector<int> heights_;
  std::vector<int> bits_;
  std::vector<int> colors_;
  std::vector<char> unsupported_;
  int count_ = 0;
  int sel_ = -1;
  int hover_ = -1;
};

// The order of the panel: file names ascending without regard to letter case,
// by the user's collation; names that differ only in case sit side by side.
QStringList SortPicturePaths(QStringList paths);

}  // namespace lumaset
