#include "core_image.h"

#include <climits>
#include <new>

#include "sampler.h"

namespace korvalith {

CoreImage::CoreImage() = default;

// Nobody samples an image that is being destroyed: everything goes at once.
CoreImage::~CoreImage() {
    {
        ScopedHostLock guard(lock_, kImageLevels);
        for (auto& level : levels_) delete level.exchange(nullptr, std::memory_order_acq_rel);
        bin_.empty();
    }
    ScopedHostLock preview(lock_, kImagePreview);
    preview_.releaseAll();
}

void CoreImage::retireLevels() {
    for (auto& entry : levels_) {
        Level* level = entry.exchange(nullptr, std::memory_order_acq_rel);
        if (!level) continue;
        level->close();
        bin_.retire(level);
    }
}

bool CoreImage::release() {
    bool allGone = true;
    {
        ScopedHostLock guard(lock_, kImageLevels);
        bin_.empty();
        for (auto& entry : levels_) {
            Level* level = entry.load(std::memory_order_acquire);
            if (!level) continue;
            // A level that lost its last tile is closed by its store in the
            // same step, so it cannot gain one before it is unlinked.
            if (level->release()) {
                entry.store(nullptr, std::memory_order_release);
                bin_.retire(level);
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
    bin_.empty();
    retireLevels();
    ScopedHostLock preview(lock_, kImagePreview);
    preview_.releaseAll();
}

bool CoreImage::load(const std::string& path, std::string* error) {
    // The file is opened before the old source goes, so the codec parses
    // it once; a failure still leaves the image without a source.
    auto source = std::make_unique<EcwImageSource>(path.c_str());
    if (!source->opened() && error) *error = source->lastError();
    return adoptSource(std::move(source));
}

bool CoreImage::adoptSource(std::unique_ptr<ImageSource> source) {
    {
        ScopedHostLock guard(lock_, kImageSource);
        releaseAll();
        {
            ScopedHostLock previewGuard(lock_, kImagePreview);
            preview_.setSource(nullptr);
        }
        {
            // Levels unlinked just now still point at the old source.
            ScopedHostLock levels(lock_, kImageLevels);
            bin_.retire(std::move(source_));
        }
        if (!source || !source->opened()) {
            ScopedHostLock levels(lock_, kImageLevels);
            levelCount_ = 0;
            return false;
        }
        source_ = std::move(source);
    }
    // Everything was released above; a second release here would free what
    // the first unlinked while samples may still read it.
    refreshSource();
    setGeometry();
    return true;
}

void CoreImage::resetPyramid() {
    refreshSource();
    releaseAll();
    setGeometry();
}

void CoreImage::refreshSource() {
    {
        ScopedHostLock guard(lock_, kImageSource);
        if (source_) source_->updateSize();
    }
    ScopedHostLock guard(lock_, kImagePreview);
    preview_.setSource(source_.get());
}

void CoreImage::setGeometry() {
    ScopedHostLock guard(lock_, kImageLevels);
    if (!source_) {
        levelCount_ = 0;
        return;
    }
    const PyramidGeometry g = pyramidGeometry(source_->width(), source_->height());
    levelCount_ = g.levels <= kMaxLevels ? g.levels : 0;
    tileWidth_ = static_cast<int>(g.tileWidth < INT_MAX ? g.tileWidth : INT_MAX);
    tileHeight_ = static_cast<int>(g.tileHeight < INT_MAX ? g.tileHeight : INT_MAX);
    inverseMin_ = g.inverseMin;
    finestLevelT_ = levelOf(inverseMin_);
}

Level* CoreImage::levelFor(int index) noexcept {
    if (index < 0 || index >= kMaxLevels) return nullptr;
    if (Level* existing = levelIfPresent(index)) return existing;
    ScopedHostLock guard(lock_, kImageLevels);
    Level* level = levels_[index].load(std::memory_order_acquire);
    if (!level && source_ && index < levelCount_) {
        try {
            level = new Level(*this, *source_, index, levelCount_, tileWidth_, tileHeight_, bin_);
        } catch (...) {
            return nullptr;
        }
        levels_[index].store(level, std::memory_order_release);
    }
    return level;
}

Level& CoreImage::level(int index) {
    Level* level = levelFor(index);
    if (!level) throw std::bad_alloc();
    return *level;
}

uint32_t CoreImage::memoryUsed() {
    uint32_t bytes = 1152;
    ScopedHostLock guard(lock_, kImageLevels);
    for (const auto& entry : levels_)
        if (Level* level = entry.load(std::memory_order_acquire)) bytes += level->memoryUsed();
    return bytes;
}

}  // namespace korvalith
