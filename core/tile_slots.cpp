#include "tile_slots.h"

#include <new>

namespace korvalith {

namespace {
// Levels up to 256 × 256 tiles (512 KiB of pointers) stay flat, as fast as
// one array; larger ones use leaves of 64 × 64 slots and blocks of 32 × 32.
constexpr int kFlatBits = 8;
constexpr int kLeafBits = 6;
constexpr int kBlockBits = 5;
}  // namespace

TileSlots::TileSlots(int levelIndex) {
    const int bits = levelIndex < 0 ? 0 : levelIndex;
    if (bits <= kFlatBits) {
        leafBits_ = bits;
    } else {
        leafBits_ = kLeafBits;
        int shift = kLeafBits;
        while (shift < bits) {
            Step& s = steps_[++depth_];
            s.shift = shift;
            s.bits = bits - shift < kBlockBits ? bits - shift : kBlockBits;
            s.mask = (uint32_t{1} << s.bits) - 1;
            shift += s.bits;
        }
    }
    leafMask_ = (uint32_t{1} << leafBits_) - 1;
}

TileSlots::~TileSlots() { freeBlock(root_.load(std::memory_order_relaxed), depth_); }

TileSlots::Entry* TileSlots::newBlock(int bits) noexcept {
    const size_t count = size_t{1} << (2 * bits);
    Entry* block = new (std::nothrow) Entry[count]();
    if (block) bytes_ += count * sizeof(Entry);
    return block;
}

void TileSlots::freeBlock(Entry* block, int depth) noexcept {
    if (!block) return;
    if (depth > 0) {
        const size_t count = size_t{1} << (2 * steps_[depth].bits);
        for (size_t i = 0; i < count; ++i)
            freeBlock(static_cast<Entry*>(block[i].load(std::memory_order_relaxed)), depth - 1);
    }
    delete[] block;
}

TileSlots::Entry* TileSlots::slot(uint32_t tx, uint32_t ty, bool create) noexcept {
    Entry* node = root_.load(std::memory_order_relaxed);
    if (!node) {
        if (!create) return nullptr;
        node = newBlock(depth_ > 0 ? steps_[depth_].bits : leafBits_);
        if (!node) return nullptr;
        root_.store(node, std::memory_order_release);
    }
    for (int d = depth_; d > 0; --d) {
        const Step& s = steps_[d];
        Entry& entry = node[(((ty >> s.shift) & s.mask) << s.bits) | ((tx >> s.shift) & s.mask)];
        Entry* child = static_cast<Entry*>(entry.load(std::memory_order_relaxed));
        if (!child) {
            if (!create) return nullptr;
            child = newBlock(d > 1 ? steps_[d - 1].bits : leafBits_);
            if (!child) return nullptr;
            entry.store(child, std::memory_order_release);
        }
        node = child;
    }
    return &node[((ty & leafMask_) << leafBits_) | (tx & leafMask_)];
}

bool TileSlots::insert(uint32_t tx, uint32_t ty, TileBase* tile) noexcept {
    Entry* entry = slot(tx, ty, true);
    if (!entry) return false;
    entry->store(tile, std::memory_order_release);
    return true;
}

TileBase* TileSlots::remove(uint32_t tx, uint32_t ty) noexcept {
    Entry* entry = slot(tx, ty, false);
    if (!entry) return nullptr;
    return static_cast<TileBase*>(entry->exchange(nullptr, std::memory_order_relaxed));
}

}  // namespace korvalith
