#include "level.h"

#include <algorithm>

namespace korvalith {

Level::Level(CoreImage& image, ImageSource& source, int index, int levelCount, int tileWidth, int tileHeight)
    : index_(index),
      factor_(1 << (levelCount - 1 - index)),
      tilesPerSide_(1 << index),
      tileSlots_(int64_t{1} << (2 * index)),
      width_(source.width() / factor_),
      height_(source.height() / factor_),
      image_(image),
      store_(makeTileStore(source.cellType(), tileSlots_, factor_, &source, tileWidth, tileHeight)) {}

bool Level::release() {
    ScopedHostLock guard(lock_, 0);
    return store_ ? store_->releaseUnused() : true;
}

void Level::releaseAll() {
    if (store_) store_->releaseAll();
}

uint32_t Level::memoryUsed() { return store_ ? 80 + store_->memoryUsed() : 72; }

}  // namespace korvalith
