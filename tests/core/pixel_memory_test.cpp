#include <gtest/gtest.h>

#include <cstdint>

#include "pixel_memory.h"

namespace {

using korvalith::PixelArray;

// Sizes on both sides of the point where blocks move from the heap to
// mapped pages.
TEST(PixelArray, HoldsEveryCellAndMovesOwnership) {
    for (size_t cells : {size_t(1), size_t(65535), size_t(65536), size_t(513 * 257 * 3), size_t(1) << 22}) {
        SCOPED_TRACE(cells);
        PixelArray<uint8_t> a(cells);
        ASSERT_TRUE(a);
        ASSERT_EQ(a.size(), cells);
        for (size_t i = 0; i < cells; ++i) a.get()[i] = uint8_t(i * 7);

        PixelArray<uint8_t> b(std::move(a));
        EXPECT_TRUE(a == nullptr);
        EXPECT_EQ(a.size(), 0u);
        size_t wrong = 0;
        for (size_t i = 0; i < cells; ++i) wrong += b.get()[i] != uint8_t(i * 7);
        EXPECT_EQ(wrong, 0u);

        PixelArray<uint8_t> c(16);
        c = std::move(b);  // frees c's own cells, takes b's
        EXPECT_EQ(c.size(), cells);
        EXPECT_EQ(c.get()[cells - 1], uint8_t((cells - 1) * 7));
        c.reset();
        EXPECT_TRUE(c == nullptr);
    }
}

TEST(PixelArray, EmptyArrayHoldsNothing) {
    PixelArray<int32_t> empty(0);
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.size(), 0u);
}

}  // namespace
