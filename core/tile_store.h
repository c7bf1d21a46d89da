// Tiles of one pyramid level, read from the file on first use.
//
// Who may touch what: reading a tile that exists takes no lock; a slot is
// published with a release store once the tile's pixels are in place.
// Creating a tile, and every release, runs under the store's lock index 0.
// A release pass unlinks the tiles it frees and hands them to the image's
// retire bin, which frees them at the image's next pass, so a sample that
// found a tile in its slot may read it to the end even when a pass overlaps
// it. A store whose level is unlinked is closed: it creates no more tiles.
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
#include "retire_bin.h"
#include "tile_slots.h"

namespace korvalith {

// Tiles read from files since start-up, their pixel bytes, and the reads
// that failed (the tile then holds no pixels until a pass frees it).
void noteTileRead(uint64_t bytes, bool ok);
uint64_t tilesRead();
uint64_t tileBytesRead();
uint64_t failedTileReads();

// The most pixel memory one tile may take; a tile that would need more is
// not read (very wide images of few levels have tiles as wide as the image).
inline constexpr uint64_t kMaxTileBytes = uint64_t{1} << 30;

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
    TileStoreBase(int levelIndex, int factor, ImageSource* source, int tileWidth, int tileHeight, RetireBin& bin);
    ~TileStoreBase() override;
    // Ages every tile, unlinking those not used since the previous pass
    // into the retire bin; true when none survived. closeWhenEmpty closes
    // the store in the same step, so no tile appears between the answer and
    // the unlinking of the level.
    virtual bool releaseUnused(bool closeWhenEmpty = false);
    // Unlinks every tile into the retire bin.
    virtual void releaseAll();
    // Refuses further tiles; tiles already linked stay until the store goes.
    void close();
    virtual uint32_t memoryUsed();
    virtual void getPixel(int tx, int ty, float* out, int x, int y, const ChannelSpec& channel) = 0;
    virtual int cellType() const = 0;

    int factor() const { return factor_; }
    int tileWidth() const { return tileWidth_; }
    int tileHeight() const { return tileHeight_; }
    ImageSource* source() const { return source_; }
    // The tile in a slot, or null. No lock: for the sampling path and tests.
    TileBase* tileAt(int tx, int ty) const {
        return slots_.find(static_cast<uint32_t>(tx), static_cast<uint32_t>(ty));
    }
    // Bytes of slot storage held (not counted in memoryUsed).
    uint64_t slotBytes() const { return slots_.bytes(); }

protected:
    // Fills the geometry of tile (tx, ty).
    void placeTile(TileBase& tile, int tx, int ty) const;
    // Links a new tile; false (the caller frees it) when memory runs out.
    bool link(int tx, int ty, TileBase* tile);

    int factor_;
    ImageSource* source_;
    int tileWidth_, tileHeight_;
    RetireBin& bin_;
    TileSlots slots_;
    // Slots that hold a tile, (ty << 32 | tx), so passes visit only what exists.
    std::vector<uint64_t> occupied_;
    bool closed_ = false;
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

    void getPixel(int tx, int ty, float* out, int x, int y, const ChannelSpec& channel) override {
        if (Tile<Cell>* t = tile(tx, ty)) t->getPixel(channel, x, y, out);
    }

    // The tile of a slot, created and read on first use; null when none can
    // be made (no memory, or the store is closed). A tile whose read failed
    // exists without pixels.
    Tile<Cell>* tile(int tx, int ty) {
        if (TileBase* t = tileAt(tx, ty)) return static_cast<Tile<Cell>*>(t);
        return create(tx, ty);
    }

private:
    Tile<Cell>* create(int tx, int ty) {
        ScopedHostLock guard(*this, 0);
        if (TileBase* t = tileAt(tx, ty)) return static_cast<Tile<Cell>*>(t);
        if (closed_) return nullptr;
        std::unique_ptr<Tile<Cell>> tile(new (std::nothrow) Tile<Cell>());
        if (!tile) return nullptr;
        placeTile(*tile, tx, ty);
        const uint64_t cells = uint64_t(tile->pw) * uint64_t(tile->ph) * uint64_t(tile->bands);
        bool ok = true;
        if (cells > 0) {
            ok = false;
            if (cells * sizeof(Cell) > kMaxTileBytes) {
                source_->setLastError("a tile of " + std::to_string(tile->pw) + " x " + std::to_string(tile->ph) +
                                      " pixels is too large to hold");
            } else if (!(tile->data = PixelArray<Cell>(static_cast<size_t>(cells)))) {
                source_->setLastError("no memory for a tile of " + std::to_string(tile->pw) + " x " +
                                      std::to_string(tile->ph) + " pixels");
            } else if (CellTraits<Cell>::read(*source_, tile->data.get(), tile->x0, tile->y0, tile->x1, tile->y1,
                                              tile->pw, tile->ph)) {
                ok = true;
            } else {
                tile->data.reset();
            }
        }
        noteTileRead(ok ? cells * sizeof(Cell) : 0, ok);
        if (!link(tx, ty, tile.get())) return nullptr;
        return tile.release();
    }
};

// The store for a cell type, or null for types without one (or without memory).
std::unique_ptr<TileStoreBase> makeTileStore(int cellType, int levelIndex, int factor, ImageSource* source,
                                             int tileWidth, int tileHeight, RetireBin& bin);

}  // namespace korvalith
