#include "tile_store.h"

#include <algorithm>

namespace korvalith {

namespace {
std::atomic<uint64_t> g_tilesRead{0};
std::atomic<uint64_t> g_tileBytes{0};
}  // namespace

void noteTileRead(uint64_t bytes) {
    g_tilesRead.fetch_add(1, std::memory_order_relaxed);
    g_tileBytes.fetch_add(bytes, std::memory_order_relaxed);
}
uint64_t tilesRead() { return g_tilesRead.load(std::memory_order_relaxed); }
uint64_t tileBytesRead() { return g_tileBytes.load(std::memory_order_relaxed); }

TileStoreBase::TileStoreBase(int64_t slotCount, int factor, ImageSource* source, int tileWidth, int tileHeight)
    : slotCount_(slotCount), factor_(factor), source_(source), tileWidth_(tileWidth), tileHeight_(tileHeight) {
    ScopedHostLock guard(*this, 0);
    slots_.reset(new std::atomic<TileBase*>[static_cast<size_t>(slotCount)]);
    for (int64_t i = 0; i < slotCount; ++i) slots_[i].store(nullptr, std::memory_order_relaxed);
}

TileStoreBase::~TileStoreBase() { releaseAll(); }

void TileStoreBase::placeTile(TileBase& tile, int tx, int ty) const {
    const int64_t f = factor_;
    const int64_t xs = static_cast<int64_t>(tx) * tileWidth_;
    const int64_t ys = static_cast<int64_t>(ty) * tileHeight_;
    const int64_t x0 = f * xs, y0 = f * ys;
    const int64_t x1 = std::min<int64_t>(f * (xs + tileWidth_), static_cast<int64_t>(source_->width()) - 1);
    const int64_t y1 = std::min<int64_t>(f * (ys + tileHeight_), static_cast<int64_t>(source_->height()) - 1);
    tile.xs = static_cast<int>(xs);
    tile.ys = static_cast<int>(ys);
    tile.x0 = static_cast<int>(x0);
    tile.y0 = static_cast<int>(y0);
    tile.x1 = static_cast<int>(x1);
    tile.y1 = static_cast<int>(y1);
    tile.pw = static_cast<int>(std::max<int64_t>(0, (x1 - x0) / f));
    tile.ph = static_cast<int>(std::max<int64_t>(0, (y1 - y0) / f));
    tile.bands = source_->fileBandCount();
    tile.source = source_;
}

bool TileStoreBase::releaseUnused() {
    ScopedHostLock guard(*this, 0);
    size_t kept = 0;
    for (int64_t slot : occupied_) {
        TileBase* t = slots_[slot].load(std::memory_order_relaxed);
        if (t->age()) {
            slots_[slot].store(nullptr, std::memory_order_relaxed);
            delete t;
        } else {
            occupied_[kept++] = slot;
        }
    }
    occupied_.resize(kept);
    return kept == 0;
}

void TileStoreBase::releaseAll() {
    ScopedHostLock guard(*this, 0);
    for (int64_t slot : occupied_) {
        TileBase* t = slots_[slot].exchange(nullptr, std::memory_order_relaxed);
        t->releaseAll();
        delete t;
    }
    occupied_.clear();
}

uint32_t TileStoreBase::memoryUsed() {
    ScopedHostLock guard(*this, 0);
    uint32_t bytes = 0;
    for (int64_t slot : occupied_) bytes += slots_[slot].load(std::memory_order_relaxed)->memoryUsed();
    return bytes;
}

std::unique_ptr<TileStoreBase> makeTileStore(int cellType, int64_t slotCount, int factor, ImageSource* source,
                                             int tileWidth, int tileHeight) {
    switch (cellType) {
        case kCell8: return std::make_unique<TileStore<uint8_t>>(slotCount, factor, source, tileWidth, tileHeight);
        case kCell16: return std::make_unique<TileStore<int16_t>>(slotCount, factor, source, tileWidth, tileHeight);
        case kCell32: return std::make_unique<TileStore<int32_t>>(slotCount, factor, source, tileWidth, tileHeight);
        default: return nullptr;
    }
}

}  // namespace korvalith
