#include "components/imaging/picture_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it and the pages fault as usual
#endif

namespace lumaset::pixels {

namespace {

constexpr std::size_t kHuge = std::size_t{2} << 20;
// Smaller pictures come from Qt's own allocation.
constexpr std::size_t kLarge = 2 * kHuge;
// Memory is made ready for photos, not for whatever size a header claims.
constexpr std::size_t kMostReady = std::size_t{256} << 20;
// Threads that make each picture's memory ready, side by side in its order:
// on a virtual machine one thread's faults can lag behind a decoder.
constexpr std::size_t kMakersEach = 2;

std::size_t WholeHugePages(std::size_t bytes) { return (bytes + kHuge - 1) / kHuge * kHuge; }

// A maker only saves time while a core is idle: on a busy machine the
// decoder and the effect go first, and fault in what is not ready yet.
void YieldToOthers() {
  const auto self = static_cast<id_t>(gettid());
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, self);
  if (errno == 0) setpriority(PRIO_PROCESS, self, std::min(now + 10, 19));
}

}  // namespace

// The C library keeps a freed block of up to 32 MB in the heap of the thread
// that made it once it has seen one that size freed; pictures decoded and
// scaled on many threads then leave megabytes behind in every thread's heap.
void GiveLargeBlocksBack() {
  static std::once_flag once;
  std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 1 << 20); });
}

// Memory of its own, on huge-page boundaries, given back to the system
// when the last picture or maker that uses it lets go.
struct ReadyPictures::Block {
  explicit Block(std::size_t bytes) : length(WholeHugePages(bytes)) {
    const std::size_t spanned = length + kHuge;
    void* mapped = mmap(nullptr, spanned, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHuge - 1) / kHuge * kHuge;
    if (aligned > start) munmap(mapped, aligned - start);
    const std::size_t tail = kHuge - (aligned - start);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
    data = reinterpret_cast<uchar*>(aligned);
    // Only advice: without huge pages the picture is the same, with many more faults.
    madvise(data, length, MADV_HUGEPAGE);
  }
  ~Block() {
    if (data) munmap(data, length);
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  // Faults in every `step`th huge page from the `first`, ahead of their first
  // writer, without writing them, so a picture already being filled loses
  // nothing; stops when asked.
  void MakeReady(const std::atomic<bool>& stop, std::size_t first, std::size_t step) const {
    for (std::size_t at = first * kHuge; at < length && !stop.load(std::memory_order_relaxed); at += step * kHuge) {
      if (madvise(data + at, kHuge, MADV_POPULATE_WRITE) != 0) return;
    }
  }

  const std::size_t length;
  uchar* data = nullptr;
  // Guarded by the shelf's mutex: on the shelf now, taken by a picture, and
  // the memory offered once this one is taken.
  bool offered = false;
  bool taken = false;
  std::shared_ptr<Block> next;
};

namespace {

// Made-ready memory waiting for NewPicture.
struct Shelf {
  std::mutex mutex;
  std::condition_variable offered;
  std::vector<std::shared_ptr<ReadyPictures::Block>> blocks;

  std::shared_ptr<ReadyPictures::Block> Take(std::size_t bytes) {
    const std::lock_guard lock(mutex);
    const auto found = std::find_if(blocks.begin(), blocks.end(),
                                    [length = WholeHugePages(bytes)](const auto& block) { return block->length == length; });
    if (found == blocks.end()) return nullptr;
    std::shared_ptr<ReadyPictures::Block> block = std::move(*found);
    blocks.erase(found);
    block->taken = true;
    if (block->next) {
      block->next->offered = true;
      blocks.push_back(std::move(block->next));
    }
    offered.notify_all();
    return block;
  }
};

Shelf& TheShelf() {
  static Shelf shelf;
  return shelf;
}

QImage PictureIn(std::shared_ptr<ReadyPictures::Block> block, int width, int height, std::size_t stride) {
  auto* owner = new std::shared_ptr<ReadyPictures::Block>(std::move(block));
  return QImage((*owner)->data, width, height, static_cast<qsizetype>(stride), QImage::Format_RGB32,
                [](void* kept) { delete static_cast<std::shared_ptr<ReadyPictures::Block>*>(kept); }, owner);
}

}  // namespace

QImage NewPicture(int width, int height) {
  GiveLargeBlocksBack();
  if (width <= 0 || height <= 0) return {};
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  const std::size_t bytes = stride * static_cast<std::size_t>(height);
  if (bytes < kLarge) return QImage(width, height, QImage::Format_RGB32);
  std::shared_ptr<ReadyPictures::Block> block = TheShelf().Take(bytes);
  if (!block) {
    block = std::make_shared<ReadyPictures::Block>(bytes);
    if (!block->data) return {};
  }
  return PictureIn(std::move(block), width, height, stride);
}

// The first picture's memory is offered at once and made ready from its
// start, the order in which a decoder fills it; the next one is offered and
// begun only once the one before has been taken, so a load that makes its
// picture some other way leaves a single one waiting for the effect.
ReadyPictures::ReadyPictures(QSize size, int count) {
  try {
    Start(size, count);
  } catch (const std::exception&) {
    // Ready memory only saves time: without it pictures take new memory.
    Stop();
  }
}

void ReadyPictures::Start(QSize size, int count) {
  if (size.width() <= 0 || size.height() <= 0 || count <= 0) return;
  const std::size_t bytes = static_cast<std::size_t>(size.width()) * 4 * static_cast<std::size_t>(size.height());
  if (bytes < kLarge || bytes > kMostReady) return;
  for (int i = 0; i < count; ++i) {
    auto block = std::make_shared<Block>(bytes);
    if (!block->data) break;
    blocks_.push_back(std::move(block));
  }
  if (blocks_.empty()) return;
  Shelf& shelf = TheShelf();
  {
    const std::lock_guard lock(shelf.mutex);
    for (std::size_t i = 1; i < blocks_.size(); ++i) blocks_[i - 1]->next = blocks_[i];
    blocks_.front()->offered = true;
    shelf.blocks.push_back(blocks_.front());
  }
  for (const std::shared_ptr<Block>& block : blocks_) {
    for (std::size_t part = 0; part < kMakersEach; ++part) {
      makers_.emplace_back([this, &shelf, block, part] {
        YieldToOthers();
        {
          std::unique_lock lock(shelf.mutex);
          shelf.offered.wait(lock, [&] { return block->offered || block->taken || stop_.load(); });
          if (stop_.load()) return;
        }
        block->MakeReady(stop_, part, kMakersEach);
      });
    }
  }
}

ReadyPictures::~ReadyPictures() { Stop(); }

void ReadyPictures::Stop() {
  Shelf& shelf = TheShelf();
  {
    const std::lock_guard lock(shelf.mutex);
    stop_ = true;
    std::erase_if(shelf.blocks, [this](const auto& block) {
      return std::find(blocks_.begin(), blocks_.end(), block) != blocks_.end();
    });
    for (const std::shared_ptr<Block>& block : blocks_) block->next.reset();
    shelf.offered.notify_all();
  }
  for (std::thread& maker : makers_) maker.join();
  makers_.clear();
  blocks_.clear();
}

int ReadyPictures::waiting() const {
  const std::lock_guard lock(TheShelf().mutex);
  return static_cast<int>(std::count_if(blocks_.begin(), blocks_.end(), [](const auto& block) { return !block->taken; }));
}

}  // namespace lumaset::pixels
