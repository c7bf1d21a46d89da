// One level of an image's pyramid (level 0 is the coarsest).
#pragma once

#include <cstdint>
#include <memory>

#include "cache_item.h"
#include "host_lock.h"
#include "pyramid_geometry.h"
#include "retire_bin.h"
#include "tile_store.h"

namespace korvalith {

class CoreImage;

class Level final : public CacheItem {
public:
    Level(CoreImage& image, ImageSource& source, int index, int levelCount, int tileWidth, int tileHeight,
          RetireBin& bin);
    // Ages the store's tiles under the level's lock; true when none is left,
    // and the store is then closed: the caller unlinks the level.
    bool release() override;
    // Unlinks every tile of the store into the retire bin.
    void releaseAll() override;
    // Refuses further tiles; for a level being unlinked.
    void close();
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
