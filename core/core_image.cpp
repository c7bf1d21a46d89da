#include "core_image.h"

#include "sampler.h"

namespace korvalith {

CoreImage::CoreImage() = default;

CoreImage::~CoreImage() {
    releaseAll();
    ScopedHostLock guard(lock_, kImageLevels);
    levels_.reset();
    tableSize_ = 0;
}

void CoreImage::destroyLevels() {
    for (int a = 0; a < tableSize_; ++a) delete levels_[a].exchange(nullptr, std::memory_order_acq_rel);
}

bool CoreImage::release() {
    bool allGone = true;
    {
        ScopedHostLock guard(lock_, kImageLevels);
        for (int a = 0; a < tableSize_; ++a) {
            Level* level = levels_[a].load(std::memory_order_acquire);
            if (!level) continue;
            if (level->release()) {
                levels_[a].store(nullptr, std::memory_order_release);
                delete level;
            } else {
                allGone = false;
            }
        }
    }
    {
        ScopedHostLock guard(lock_, kImagePreview);
        preview_.releaseAll();
    }
    if (source_) source_->adjustCodecCache();
    return allGone;
}

void CoreImage::releaseAll() {
    ScopedHostLock levels(lock_, kImageLevels);
    destroyLevels();
    ScopedHostLock preview(lock_, kImagePreview);
    preview_.releaseAll();
}

bool CoreImage::load(const std::string& path) {
    // The file is opened before the old source goes, so the codec parses
    // it once; a failure still leaves the image without a source.
    return adoptSource(std::make_unique<EcwImageSource>(path.c_str()));
}

bool CoreImage::adoptSource(std::unique_ptr<ImageSource> source) {
    {
        ScopedHostLock guard(lock_, kImageSource);
        releaseAll();
        {
            ScopedHostLock previewGuard(lock_, kImagePreview);
            preview_.setSource(nullptr);
        }
        source_.reset();
        if (!source || !source->opened()) return false;
        source_ = std::move(source);
    }
    resetPyramid();
    return true;
}

void CoreImage::resetPyramid() {
    {
        ScopedHostLock guard(lock_, kImageSource);
        if (source_) source_->updateSize();
    }
    {
        ScopedHostLock guard(lock_, kImagePreview);
        preview_.setSource(source_.get());
    }
    if (levels_) releaseAll();
    ScopedHostLock guard(lock_, kImageLevels);
    if (!source_) return;
    const PyramidGeometry g = pyramidGeometry(source_->width(), source_->height());
    levelCount_ = g.levels;
    tileWidth_ = g.tileWidth;
    tileHeight_ = g.tileHeight;
    inverseMin_ = g.inverseMin;
    finestLevelT_ = levelOf(inverseMin_);
    if (!levels_ || tableSize_ != levelCount_) {
        levels_.reset(new std::atomic<Level*>[static_cast<size_t>(levelCount_)]);
        tableSize_ = levelCount_;
    }
    for (int a = 0; a < tableSize_; ++a) levels_[a].store(nullptr, std::memory_order_relaxed);
}

Level& CoreImage::level(int index) {
    if (Level* existing = levelIfPresent(index)) return *existing;
    ScopedHostLock guard(lock_, kImageLevels);
    Level* level = levels_[index].load(std::memory_order_acquire);
    if (!level) {
        level = new Level(*this, *source_, index, levelCount_, tileWidth_, tileHeight_);
        levels_[index].store(level, std::memory_order_release);
    }
    return *level;
}

uint32_t CoreImage::memoryUsed() {
    uint32_t bytes = 1152;
    ScopedHostLock guard(lock_, kImageLevels);
    for (int a = 0; a < tableSize_; ++a)
        if (Level* level = levels_[a].load(std::memory_order_acquire)) bytes += level->memoryUsed();
    return bytes;
}

}  // namespace korvalith
