// A registered, shared image: its source, level pyramid, tiles and previews.
//
// Who may touch what: render threads sample (levels and tiles found without
// a lock, created under the level lock and the stores' locks); the interface
// thread loads, resets, releases and draws previews. Whatever a release,
// reset or reload unlinks goes into the image's retire bin and is freed at
// its next one, so a sample in flight never reads freed memory.
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
#include "retire_bin.h"

namespace korvalith {

// Lock indices of an image's own lock.
enum : int {
    kImageLevels = 0,   // level table, level creation, the retire bin
    kImagePreview = 1,  // preview cache
    kImageSource = 2,   // replacing the source
};

class CoreImage final : public CacheItem {
public:
    CoreImage();
    ~CoreImage() override;

    // Release pass: frees what earlier passes unlinked, unlinks what was not
    // used since the previous pass, drops the previews and resizes the codec
    // cache; true when every level went.
    bool release() override;
    // Unlinks every level and drops every preview.
    void releaseAll() override;

    // Drops everything, opens the path as the new source and resets the
    // pyramid. False when the file cannot be opened; the image then has no
    // source, and `error` (when given) receives the reason.
    bool load(const std::string& path, std::string* error = nullptr);
    // The same with a source that is already open (any kind of source);
    // false when it is null or not open.
    bool adoptSource(std::unique_ptr<ImageSource> source);
    void resetPyramid();

    // Any image the codec reads (up to 2^31 − 1 pixels a side) has at most
    // this many levels.
    static constexpr int kMaxLevels = 24;

    // The level, or null when it was not created yet. No lock.
    Level* levelIfPresent(int index) const { return levels_[index].load(std::memory_order_acquire); }
    // The level, created under the level lock on first use; null when it
    // cannot be created (no source, no memory). Never throws.
    Level* levelFor(int index) noexcept;
    // The same for callers that want a reference; throws std::bad_alloc
    // when the level cannot be created.
    Level& level(int index);

    // 1152 for the image plus its levels and tiles.
    uint32_t memoryUsed();

    ImageSource* source() const { return source_.get(); }
    int levelCount() const { return levelCount_; }
    // The pyramid's tile size. A tile wider than INT_MAX occurs only on a
    // one-tile level (an image 2^31 − 1 pixels wide and at most 256 high);
    // it is held as INT_MAX, which divides every pixel of that level into
    // tile 0 and reaches the same last file column.
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
    // Unlinks every level into the retire bin. Level lock held.
    void retireLevels();
    // The source's size refreshed, and the preview cache given the source.
    void refreshSource();
    // Level count, tile size and 1 / min(W, H) from the source's size.
    void setGeometry();

    HostLock lock_;
    int levelCount_ = 0;
    int tileWidth_ = 0;
    int tileHeight_ = 0;
    std::unique_ptr<ImageSource> source_;
    // A fixed table, so a sample never reads a table that a reset freed.
    std::atomic<Level*> levels_[kMaxLevels] = {};
    PreviewCache preview_;
    double inverseMin_ = 0;
    double finestLevelT_ = 0;
    RetireBin bin_;
};

}  // namespace korvalith
