// The tile slots of one pyramid level: 2^a × 2^a pointers, found without a
// lock. Storage grows with the tiles actually created. A level of up to
// 256 × 256 tiles keeps one flat array, allocated with its first tile;
// larger levels (images of more than 65536 pixels on their shorter side)
// keep a radix tree of square blocks over the tile coordinates, so a level
// of 2^23 × 2^23 tiles costs only the blocks on the way to its tiles.
//
// Who may do what: lookups run from any thread without a lock; every
// pointer is published with a release store once what it points to is
// complete. Insertions and removals run under the owning store's lock.
// Blocks are never freed before the whole table, so a lookup never follows
// a freed block.
#pragma once

#include <atomic>
#include <cstdint>

namespace korvalith {

class TileBase;

class TileSlots {
public:
    // A level of 2^levelIndex tiles per side (levelIndex ≤ 30).
    explicit TileSlots(int levelIndex);
    ~TileSlots();
    TileSlots(const TileSlots&) = delete;
    TileSlots& operator=(const TileSlots&) = delete;

    // The tile in slot (tx, ty), or null. No lock.
    TileBase* find(uint32_t tx, uint32_t ty) const noexcept {
        const Entry* node = root_.load(std::memory_order_acquire);
        if (!node) return nullptr;
        for (int d = depth_; d > 0; --d) {
            const Step& s = steps_[d];
            const void* child =
                node[(((ty >> s.shift) & s.mask) << s.bits) | ((tx >> s.shift) & s.mask)].load(std::memory_order_acquire);
            if (!child) return nullptr;
            node = static_cast<const Entry*>(child);
        }
        return static_cast<TileBase*>(
            node[((ty & leafMask_) << leafBits_) | (tx & leafMask_)].load(std::memory_order_acquire));
    }

    // Publishes a complete tile in an empty slot, creating the blocks on
    // the way. False when memory for a block cannot be had. Owner's lock.
    bool insert(uint32_t tx, uint32_t ty, TileBase* tile) noexcept;
    // Empties the slot and answers what it held. Owner's lock.
    TileBase* remove(uint32_t tx, uint32_t ty) noexcept;

    // Bytes of the blocks held.
    uint64_t bytes() const noexcept { return bytes_; }

private:
    using Entry = std::atomic<void*>;
    struct Step {
        int shift = 0;      // coordinate bits below this step
        int bits = 0;       // coordinate bits per side the step resolves
        uint32_t mask = 0;  // (1 << bits) − 1
    };
    // The slot of (tx, ty), creating blocks when asked; null when absent.
    Entry* slot(uint32_t tx, uint32_t ty, bool create) noexcept;
    Entry* newBlock(int bits) noexcept;
    void freeBlock(Entry* block, int depth) noexcept;

    std::atomic<Entry*> root_{nullptr};
    int depth_ = 0;          // block steps above the leaves
    int leafBits_ = 0;
    uint32_t leafMask_ = 0;
    Step steps_[8];          // steps_[1 … depth_], steps_[depth_] at the root
    uint64_t bytes_ = 0;
};

}  // namespace korvalith
