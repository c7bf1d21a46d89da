#include "level.h"

#include <algorithm>

namespace korvalith {

PyramidGeometry pyramidGeometry(int width, int height) {
    PyramidGeometry g;
    if (width <= 0 || height <= 0) return g;
    const int m = std::min(width, height);
    int levels = 1;
    if (m > 256) {
        int k = 1;
        while ((m >> k) > 256) ++k;
        levels = 1 + k;
    }
    g.levels = levels;
    g.tileWidth = (width >> (levels - 1)) + 1;
    g.tileHeight = (height >> (levels - 1)) + 1;
    g.inverseMin = 1.0 / static_cast<double>(m);
    return g;
}

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
