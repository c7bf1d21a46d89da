#include "level.h"

#include <algorithm>

namespace korvalith {

Level::Level(CoreImage& image, ImageSource& source, int index, int levelCount, int tileWidth, int tileHeight,
             RetireBin& bin)
    : index_(index),
      factor_(1 << (levelCount - 1 - index)),
      tilesPerSide_(1 << index),
      tileSlots_(int64_t{1} << (2 * index)),
      width_(source.width() / factor_),
      height_(source.height() / factor_),
      image_(image),
      store_(makeTileStore(source.cellType(), index, factor_, &source, tileWidth, tileHeight, bin)) {}

bool Level::release() {
    ScopedHostLock guard(lock_, 0);
    return store_ ? store_->releaseUnused(true) : true;
}

void Level::releaseAll() {
    if (store_) store_->releaseAll();
}

void Level::close() {
    if (store_) store_->close();
}

uint32_t Level::memoryUsed() { return store_ ? 80 + store_->memoryUsed() : 72; }

}  // namespace korvalith
