// Common base of everything a release pass visits: images, levels, tiles and
// preview caches. The used flag is a second chance: a pass clears it, and an
// item whose flag is still clear at the next pass is released.
#pragma once

#include <atomic>

namespace korvalith {

class RetireBin;

class CacheItem {
public:
    virtual ~CacheItem() = default;
    // Gives back what can go; true when the item is now empty.
    virtual bool release() = 0;
    // Gives back everything.
    virtual void releaseAll() { release(); }
    // Samples set the flag from several threads at once; writing only when
    // it changes keeps the line shared between them.
    void setUsed(bool used) {
        if (used_.load(std::memory_order_relaxed) != used) used_.store(used, std::memory_order_relaxed);
    }
    bool used() const { return used_.load(std::memory_order_relaxed); }
    // Clears a set flag and answers false; otherwise releases and answers true.
    bool age() {
        if (used()) {
            used_.store(false, std::memory_order_relaxed);
            return false;
        }
        release();
        return true;
    }

private:
    friend class RetireBin;
    std::atomic<bool> used_{false};
    // The next item in a retire bin, while this one waits there to be freed.
    CacheItem* retiredNext_ = nullptr;
};

}  // namespace korvalith
