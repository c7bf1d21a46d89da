#include "tile_store.h"

#include <algorithm>

namespace korvalith {

namespace {
std::atomic<uint64_t> g_tilesRead{0};
std::atomic<uint64_t> g_tileBytes{0};
std::atomic<uint64_t> g_failedTileReads{0};

uint64_t packSlot(int tx, int ty) { return uint64_t(uint32_t(ty)) << 32 | uint32_t(tx); }
uint32_t slotX(uint64_t slot) { return uint32_t(slot); }
uint32_t slotY(uint64_t slot) { return uint32_t(slot >> 32); }
}  // namespace

void noteTileRead(uint64_t bytes, bool ok) {
    g_tilesRead.fetch_add(1, std::memory_order_relaxed);
    g_tileBytes.fetch_add(bytes, std::memory_order_relaxed);
    if (!ok) g_failedTileReads.fetch_add(1, std::memory_order_relaxed);
}
uint64_t tilesRead() { return g_tilesRead.load(std::memory_order_relaxed); }
uint64_t tileBytesRead() { return g_tileBytes.load(std::memory_order_relaxed); }
uint64_t failedTileReads() { return g_failedTileReads.load(std::memory_order_relaxed); }

TileStoreBase::TileStoreBase(int levelIndex, int factor, ImageSource* source, int tileWidth, int tileHeight,
                             RetireBin& bin)
    : factor_(factor), source_(source), tileWidth_(tileWidth), tileHeight_(tileHeight), bin_(bin),
      slots_(levelIndex) {}

// The store goes with its level, which a pass unlinked one pass earlier:
// no sample can still hold its tiles.
TileStoreBase::~TileStoreBase() {
    for (uint64_t slot : occupied_) delete slots_.remove(slotX(slot), slotY(slot));
}

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

bool TileStoreBase::link(int tx, int ty, TileBase* tile) {
    try {
        occupied_.push_back(packSlot(tx, ty));
    } catch (...) {
        return false;
    }
    if (slots_.insert(uint32_t(tx), uint32_t(ty), tile)) return true;
    occupied_.pop_back();
    return false;
}

bool TileStoreBase::releaseUnused(bool closeWhenEmpty) {
    ScopedHostLock guard(*this, 0);
    size_t kept = 0;
    for (uint64_t slot : occupied_) {
        TileBase* t = slots_.find(slotX(slot), slotY(slot));
        if (t->used()) {
            t->setUsed(false);
            occupied_[kept++] = slot;
        } else {
            bin_.retire(slots_.remove(slotX(slot), slotY(slot)));
        }
    }
    occupied_.resize(kept);
    if (kept == 0 && closeWhenEmpty) closed_ = true;
    return kept == 0;
}

void TileStoreBase::releaseAll() {
    ScopedHostLock guard(*this, 0);
    for (uint64_t slot : occupied_) bin_.retire(slots_.remove(slotX(slot), slotY(slot)));
    occupied_.clear();
}

void TileStoreBase::close() {
    ScopedHostLock guard(*this, 0);
    closed_ = true;
}

uint32_t TileStoreBase::memoryUsed() {
    ScopedHostLock guard(*this, 0);
    uint32_t bytes = 0;
    for (uint64_t slot : occupied_) bytes += slots_.find(slotX(slot), slotY(slot))->memoryUsed();
    return bytes;
}

std::unique_ptr<TileStoreBase> makeTileStore(int cellType, int levelIndex, int factor, ImageSource* source,
                                             int tileWidth, int tileHeight, RetireBin& bin) {
    switch (cellType) {
        case kCell8: return std::make_unique<TileStore<uint8_t>>(levelIndex, factor, source, tileWidth, tileHeight, bin);
        case kCell16: return std::make_unique<TileStore<int16_t>>(levelIndex, factor, source, tileWidth, tileHeight, bin);
        case kCell32: return std::make_unique<TileStore<int32_t>>(levelIndex, factor, source, tileWidth, tileHeight, bin);
        default: return nullptr;
    }
}

}  // namespace korvalith
