#include "browser/background_work.h"

#include <QThreadPool>

namespace lumaset {

QThreadPool* BackgroundPool() {
  static auto* pool = new QThreadPool;
  return pool;
}

}  // namespace lumaset
