// A registered, shared image: its source, level pyramid, tiles and previews.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "cache_item.h"
#include "host_lock.h"
#include "image_source.h"
#include "level.h"
#include "preview_cache.h"

namespace korvalith {

// Lock indices of an image's own lock.
enum : int {
    kImageLevels = 0,   // level table and level creation
    kImagePreview = 1,  // preview cache
    kImageSource = 2,   // replacing the source
};

class CoreImage final : public CacheItem {
public:
    CoreImage();
    ~CoreImage() override;

    // Release pass: frees what was not used since the previous pass, drops
    // the previews and resizes the codec cache; true when every level went.
    bool release() override;
    // Frees every level and preview.
    void releaseAll() override;

    // Drops everything, opens the path as the new source and resets the
    // pyramid. False when the file cannot be opened; the image then has no
    // source.
    bool load(const std::string& path);
    // The same with a source that is already open (any kind of source);
    // false when it is null or not open.
    bool adoptSource(std::unique_ptr<ImageSource> source);
    void resetPyramid();

    // The level, or null when it was not created yet. No lock.
    Level* levelIfPresent(int index) const { return levels_[index].load(std::memory_order_acquire); }
    // The level, created under the level lock on first use.
    Level& level(int index);

    // 1152 for the image plus its levels and tiles.
    uint32_t memoryUsed();

    ImageSource* source() const { return source_.get(); }
    int levelCount() const { return levelCount_; }
    int tileWidth() const { return tileWidth_; }
    int tileHeight() const { return tileHeight_; }
    double inverseMin() const { return inverseMin_; }
    // The continuous level of a footprint of one finest pixel, log2(1 / inverseMin).
    double finestLevelT() const { return finestLevelT_; }
    PreviewCache& preview() { return preview_; }
    HostLock& lock() { return lock_; }

    // Reference count and title buffer; the registry guards them.
    int refCount = 1;
    int lastFrame = -1;
    char title[1024] = {};

private:
    void destroyLevels();

    HostLock lock_;
    int levelCount_ = 0;
    int tileWidth_ = 0;
    int tileHeight_ = 0;
    std::unique_ptr<ImageSource> source_;
    std::unique_ptr<std::atomic<Level*>[]> levels_;
    int tableSize_ = 0;
    PreviewCache preview_;
    double inverseMin_ = 0;
    double finestLevelT_ = 0;
};

}  // namespace korvalith
