// Memory for tile pixels.
//
// Tile pixels are large (tens to hundreds of kilobytes) and live from the
// first sample that touches a tile until a release pass frees them, while
// the decoder allocates and frees megabytes of short-lived buffers for every
// tile it reads. Taken from the general heap, long-lived tiles end up
// scattered between the decoder's freed buffers and pin that memory in the
// process. Large arrays are therefore mapped straight from the system: they
// cost exactly their pages while held, and their pages go back to the system
// the moment a release pass frees them.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace korvalith {

// Large blocks come from the system's page mapper; smaller ones from the heap.
void* allocatePixelMemory(size_t bytes) noexcept;
void freePixelMemory(void* memory, size_t bytes) noexcept;

// An owned array of cells in pixel memory; null when empty or when the
// memory could not be had.
template <typename Cell>
class PixelArray {
public:
    PixelArray() = default;
    explicit PixelArray(size_t cells) noexcept
        : cells_(static_cast<Cell*>(allocatePixelMemory(cells * sizeof(Cell)))), count_(cells_ ? cells : 0) {}
    PixelArray(PixelArray&& other) noexcept
        : cells_(std::exchange(other.cells_, nullptr)), count_(std::exchange(other.count_, 0)) {}
    PixelArray& operator=(PixelArray&& other) noexcept {
        if (this != &other) {
            reset();
            cells_ = std::exchange(other.cells_, nullptr);
            count_ = std::exchange(other.count_, 0);
        }
        return *this;
    }
    PixelArray(const PixelArray&) = delete;
    PixelArray& operator=(const PixelArray&) = delete;
    ~PixelArray() { reset(); }

    void reset() noexcept {
        if (cells_) freePixelMemory(cells_, count_ * sizeof(Cell));
        cells_ = nullptr;
        count_ = 0;
    }
    Cell* get() const noexcept { return cells_; }
    size_t size() const noexcept { return count_; }
    explicit operator bool() const noexcept { return cells_ != nullptr; }
    bool operator==(std::nullptr_t) const noexcept { return cells_ == nullptr; }

private:
    Cell* cells_ = nullptr;
    size_t count_ = 0;
};

}  // namespace korvalith
