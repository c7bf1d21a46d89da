// One level of an image's pyramid and the pyramid's geometry.
#pragma once

#include <cstdint>
#include <memory>

#include "cache_item.h"
#include "host_lock.h"
#include "tile_store.h"

namespace korvalith {

class CoreImage;

// Geometry of the pyramid of a W × H image.
struct PyramidGeometry {
    int levels = 0;       // L: 1 when min(W, H) ≤ 256, else 1 + the smallest k with m / 2^k ≤ 256
    int tileWidth = 0;    // W / 2^(L−1) + 1
    int tileHeight = 0;   // H / 2^(L−1) + 1
    double inverseMin = 0;  // 1 / min(W, H)
};
PyramidGeometry pyramidGeometry(int width, int height);

class Level final : public CacheItem {
public:
    Level(CoreImage& image, ImageSource& source, int index, int levelCount, int tileWidth, int tileHeight);
    // Ages the store's tiles under the level's lock; true when none is left.
    bool release() override;
    void releaseAll() override;
    // 72 without a store, else 80 plus the store's tiles.
    uint32_t memoryUsed();

    int index() const { return index_; }
    int factor() const { return factor_; }
    int tilesPerSide() const { return tilesPerSide_; }
    int64_t tileSlots() const { return tileSlots_; }
    int width() const { return width_; }
    int height() const { return height_; }
    TileStoreBase* store() const { return store_.get(); }
    CoreImage& image() const { return image_; }

private:
    HostLock lock_;
    int index_;
    int factor_;
    int tilesPerSide_;
    int64_t tileSlots_;
    int width_, height_;
    CoreImage& image_;
    std::unique_ptr<TileStoreBase> store_;
};

}  // namespace korvalith
