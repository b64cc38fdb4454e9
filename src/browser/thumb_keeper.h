#pragma once

// Which thumbnail cells keep their reduced picture in memory. The cells on
// and near the screen always do; of the others only the ones used last, up
// to a fixed number, so that a folder of any size costs about as much memory
// as a few screens of cells. A cell that let its picture go has it made
// again (from the thumbnail cache, or decoded) when it comes back into view.

#include <QtGlobal>

#include <cstddef>
#include <vector>

namespace lumaset {

class ThumbKeeper {
 public:
  // At most `capacity` pictures are kept beyond the protected cells.
  explicit ThumbKeeper(int capacity = 0) : capacity_(capacity) {}

  void setCapacity(int capacity) { capacity_ = capacity; }
  int capacity() const { return capacity_; }

  // `count` cells, none holding a picture.
  void reset(int count);
  // Cell `index` now holds its picture, used just now.
  void touch(int index);
  // Cell `index` let its picture go.
  void drop(int index);
  // Cell `index` leaves; the later cells move down one place with their state.
  void removeAt(int index);
  // `count` cells: new ones hold nothing, the ones beyond it go.
  void resize(int count);

  bool holds(int index) const;
  int held() const { return held_; }

  // The cells that must let their pictures go so that no more than the
  // capacity stay, oldest use first; cells `first` to `last` are spared.
  // Asks for a little below the capacity, so that the next pictures need no
  // search. The cells given are no longer counted as holding.
  std::vector<int> overflow(int first, int last);

 private:
  std::vector<quint64> used_;  // by cell: 0 = no picture, else when it was last used
  quint64 clock_ = 0;
  int held_ = 0;
  int capacity_ = 0;
};

}  // namespace lumaset
