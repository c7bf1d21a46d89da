// Tiles of one pyramid level, read from the file on first use.
//
// Reading a tile that exists takes no lock: slots are published with release
// stores once the tile's pixels are in place. Creating a tile, and every
// release, runs under the store's lock index 0. Release passes never run
// while the image is sampled, so a tile found in a slot stays valid for the
// whole sample.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "cache_item.h"
#include "channel.h"
#include "host_lock.h"
#include "image_source.h"
#include "pixel_memory.h"

namespace korvalith {

// Tiles read from files since start-up, and their pixel bytes.
void noteTileRead(uint64_t bytes);
uint64_t tilesRead();
uint64_t tileBytesRead();

// Pixels of one tile: pw × ph × bands cells of one width.
class TileBase : public CacheItem {
public:
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // file rectangle, inclusive
    int xs = 0, ys = 0;                  // level pixel of the top-left cell
    int pw = 0, ph = 0;                  // pixels held
    int bands = 0;
    ImageSource* source = nullptr;
    // Memory counted for the tile: 72 plus its pixels.
    virtual uint32_t memoryUsed() const = 0;
    virtual bool hasData() const = 0;
};

template <typename Cell>
struct CellTraits;
template <>
struct CellTraits<uint8_t> {
    static constexpr float scale = kScale8;
    static bool read(ImageSource& s, uint8_t* d, int x0, int y0, int x1, int y1, int w, int h) {
        return s.readRegion8(d, x0, y0, x1, y1, w, h);
    }
};
template <>
struct CellTraits<int16_t> {
    static constexpr float scale = kScale16;
    static bool read(ImageSource& s, int16_t* d, int x0, int y0, int x1, int y1, int w, int h) {
        return s.readRegion16(d, x0, y0, x1, y1, w, h);
    }
};
template <>
struct CellTraits<int32_t> {
    static constexpr float scale = kScale32;
    static bool read(ImageSource& s, int32_t* d, int x0, int y0, int x1, int y1, int w, int h) {
        return s.readRegion32(d, x0, y0, x1, y1, w, h);
    }
};

template <typename Cell>
class Tile final : public TileBase {
public:
    bool release() override {
        data.reset();
        return true;
    }
    bool hasData() const override { return data != nullptr; }
    uint32_t memoryUsed() const override {
        uint32_t bytes = 72;
        if (data) bytes += static_cast<uint32_t>(pw) * static_cast<uint32_t>(ph) * static_cast<uint32_t>(bands) * sizeof(Cell);
        return bytes;
    }
    // One pixel of the channel into out; nothing when the tile has no pixels.
    void getPixel(const ChannelSpec& channel, int x, int y, float* out) {
        const Cell* cells = data.get();
        if (!cells) return;
        setUsed(true);
        const size_t offset = (static_cast<size_t>(y - ys) * static_cast<size_t>(pw) + static_cast<size_t>(x - xs)) *
                              static_cast<size_t>(bands);
        for (int i = 0; i < channel.bandCount; ++i)
            out[i] = static_cast<float>(cells[offset + static_cast<size_t>(channel.bands[i])]) * CellTraits<Cell>::scale;
    }
    PixelArray<Cell> data;
};

class TileStoreBase : public HostLock {
public:
    TileStoreBase(int64_t slotCount, int factor, ImageSource* source, int tileWidth, int tileHeight);
    ~TileStoreBase() override;
    // Ages every tile; true when none survived.
    virtual bool releaseUnused();
    virtual void releaseAll();
    virtual uint32_t memoryUsed();
    virtual void getPixel(int64_t slot, int tx, int ty, float* out, int x, int y, const ChannelSpec& channel) = 0;
    virtual int cellType() const = 0;

    int64_t slotCount() const { return slotCount_; }
    int factor() const { return factor_; }
    int tileWidth() const { return tileWidth_; }
    int tileHeight() const { return tileHeight_; }
    ImageSource* source() const { return source_; }
    // The tile in a slot, or null. No lock: for the sampling path and tests.
    TileBase* tileAt(int64_t slot) const { return slots_[slot].load(std::memory_order_acquire); }

protected:
    // Fills the geometry of tile (tx, ty); false when it cannot hold pixels.
    void placeTile(TileBase& tile, int tx, int ty) const;

    int64_t slotCount_;
    int factor_;
    ImageSource* source_;
    int tileWidth_, tileHeight_;
    std::unique_ptr<std::atomic<TileBase*>[]> slots_;
    // Slots that hold a tile, so passes visit only what exists.
    std::vector<int64_t> occupied_;
};

template <typename Cell>
class TileStore final : public TileStoreBase {
public:
    using TileStoreBase::TileStoreBase;
    int cellType() const override {
        if constexpr (sizeof(Cell) == 1) return kCell8;
        else if constexpr (sizeof(Cell) == 2) return kCell16;
        else return kCell32;
    }

    void getPixel(int64_t slot, int tx, int ty, float* out, int x, int y, const ChannelSpec& channel) override {
        tile(slot, tx, ty).getPixel(channel, x, y, out);
    }

    // The tile of a slot, created and read on first use.
    Tile<Cell>& tile(int64_t slot, int tx, int ty) {
        TileBase* t = slots_[slot].load(std::memory_order_acquire);
        if (t) return static_cast<Tile<Cell>&>(*t);
        return create(slot, tx, ty);
    }

private:
    Tile<Cell>& create(int64_t slot, int tx, int ty) {
        ScopedHostLock guard(*this, 0);
        if (TileBase* t = slots_[slot].load(std::memory_order_acquire)) return static_cast<Tile<Cell>&>(*t);
        auto tile = std::make_unique<Tile<Cell>>();
        placeTile(*tile, tx, ty);
        const size_t cells = static_cast<size_t>(tile->pw) * static_cast<size_t>(tile->ph) * static_cast<size_t>(tile->bands);
        if (cells > 0) {
            tile->data = PixelArray<Cell>(cells);
            if (tile->data && !CellTraits<Cell>::read(*source_, tile->data.get(), tile->x0, tile->y0, tile->x1,
                                                      tile->y1, tile->pw, tile->ph))
                tile->data.reset();
        }
        noteTileRead(cells * sizeof(Cell));
        occupied_.push_back(slot);
        Tile<Cell>* raw = tile.release();
        slots_[slot].store(raw, std::memory_order_release);
        return *raw;
    }
};

// The store for a cell type, or null for types without one.
std::unique_ptr<TileStoreBase> makeTileStore(int cellType, int64_t slotCount, int factor, ImageSource* source,
                                             int tileWidth, int tileHeight);

}  // namespace korvalith
