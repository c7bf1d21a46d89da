#include "pixel_memory.h"

#include <cstdlib>

// Address-checked builds keep every block on the heap, where the checker
// guards its edges.
#if (defined(__unix__) || defined(__APPLE__)) && !defined(__SANITIZE_ADDRESS__)
#include <sys/mman.h>
#define KORVALITH_PAGE_MAPPED_PIXELS 1
#endif

namespace korvalith {

namespace {
// Below this size a mapping would waste most of its last page and cost a
// system call per tile; the heap serves such blocks well.
constexpr size_t kMappedFrom = size_t(64) << 10;
}  // namespace

void* allocatePixelMemory(size_t bytes) noexcept {
    if (bytes == 0) return nullptr;
#ifdef KORVALITH_PAGE_MAPPED_PIXELS
    if (bytes >= kMappedFrom) {
        void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return memory == MAP_FAILED ? nullptr : memory;
    }
#endif
    return std::malloc(bytes);
}

void freePixelMemory(void* memory, [[maybe_unused]] size_t bytes) noexcept {
    if (!memory) return;
#ifdef KORVALITH_PAGE_MAPPED_PIXELS
    if (bytes >= kMappedFrom) {
        munmap(memory, bytes);
        return;
    }
#endif
    std::free(memory);
}

}  // namespace korvalith
