#pragma once

// Memory for large pictures. A new page of memory costs a kernel fault and
// the zeroing of the page at its first touch; for a photo's 96 MB that is a
// good share of an effect's time, spent on the thread that first writes. A
// command that knows the size of the pictures it is about to make has their
// memory made ready on otherwise idle cores while it decodes, and the
// decoder and the effect then write into pages that are already there.

#include <QImage>
#include <QSize>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace lumaset::pixels {

// A new picture of the held format (Format_RGB32), or a null one when there
// is no memory for it. A large one takes memory made ready for a picture of
// its size when there is some (its pixels are then undefined, as a new
// picture's are), else new memory in huge pages. From the first call on,
// every block of a megabyte or more that the program allocates is mapped on
// its own and given back to the system when freed, so that pictures made on
// many threads leave nothing behind in the threads' heaps.
QImage NewPicture(int width, int height);

// From now on every block of a megabyte or more that the program allocates
// is mapped on its own and given back to the system the moment it is freed,
// whichever thread frees it; for work that lets go of its input piece by
// piece as its output grows.
void GiveLargeBlocksBack();

// While it lives, memory for `count` pictures of `size` (either way round)
// is made ready in the background, two threads each, and NewPicture takes it;
// what was not taken is given back at its end. Small pictures need none.
class ReadyPictures {
 public:
  ReadyPictures(QSize size, int count);
  ~ReadyPictures();
  ReadyPictures(const ReadyPictures&) = delete;
  ReadyPictures& operator=(const ReadyPictures&) = delete;

  // How many of its pictures NewPicture has not taken yet.
  int waiting() const;

  struct Block;

 private:
  void Start(QSize size, int count);
  void Stop();

  std::vector<std::shared_ptr<Block>> blocks_;
  std::vector<std::thread> makers_;
  std::atomic<bool> stop_{false};
};

}  // namespace lumaset::pixels
