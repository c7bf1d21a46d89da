// Where an image's caches put what they unlink while render threads may
// still read it.
//
// Samples read levels and tiles without a lock, so a release pass (or a
// release of everything from the interface thread, a reset or a reload)
// that overlaps a sample of the same image must not free what that sample
// holds. Whatever such an event unlinks goes into the image's bin and is
// freed at the image's next event, never earlier. A sample lasts
// microseconds and passes come once per frame, so a sample that was reading
// when an object was unlinked has finished before the object is freed. The
// rule callers keep: one sample never spans two such events of its image.
//
// The bin is guarded by the image's level lock (index 0), which every event
// holds while it unlinks and empties. Retiring never fails: the list is
// threaded through the items themselves.
#pragma once

#include <memory>

#include "cache_item.h"
#include "image_source.h"

namespace korvalith {

class RetireBin {
public:
    RetireBin() = default;
    RetireBin(const RetireBin&) = delete;
    RetireBin& operator=(const RetireBin&) = delete;
    ~RetireBin() { empty(); }

    // Takes an unlinked item (a level or a tile).
    void retire(CacheItem* item) noexcept {
        if (!item) return;
        item->retiredNext_ = items_;
        items_ = item;
    }
    // Takes a replaced source. Each event empties the bin before it
    // retires anything, so there is room for one.
    void retire(std::unique_ptr<ImageSource> source) noexcept {
        source_ = std::move(source);
    }
    // Frees everything retired so far; each event calls it before it
    // unlinks anything itself.
    void empty() noexcept {
        while (items_) {
            CacheItem* next = items_->retiredNext_;
            delete items_;
            items_ = next;
        }
        source_.reset();
    }
    bool isEmpty() const noexcept { return !items_ && !source_; }

private:
    CacheItem* items_ = nullptr;
    std::unique_ptr<ImageSource> source_;
};

}  // namespace korvalith
