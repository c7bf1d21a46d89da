#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tile_slots.h"

namespace {

using korvalith::TileBase;
using korvalith::TileSlots;

// Distinct, never dereferenced stand-ins for tiles.
TileBase* fakeTile(uint64_t n) { return reinterpret_cast<TileBase*>(uintptr_t((n + 1) * 64)); }

TEST(TileSlots, FindInsertAndRemoveAcrossEveryLevelSize) {
    // Flat levels, the largest flat one, and radix trees up to the level
    // size of an image 2^31 − 1 pixels a side.
    for (int levelIndex : {3, 8, 9, 16, 23}) {
        SCOPED_TRACE(levelIndex);
        const uint32_t last = (uint32_t{1} << levelIndex) - 1;
        TileSlots slots(levelIndex);
        EXPECT_EQ(slots.bytes(), 0u);  // nothing until the first tile
        const std::vector<std::pair<uint32_t, uint32_t>> places = {
            {0, 0}, {last, 0}, {0, last}, {last, last}, {last / 2, last / 3}, {last / 3 + 1, last / 2}};
        for (size_t i = 0; i < places.size(); ++i) {
            EXPECT_EQ(slots.find(places[i].first, places[i].second), nullptr);
            ASSERT_TRUE(slots.insert(places[i].first, places[i].second, fakeTile(i)));
        }
        for (size_t i = 0; i < places.size(); ++i)
            EXPECT_EQ(slots.find(places[i].first, places[i].second), fakeTile(i));
        // Neighbours of the places stay empty.
        EXPECT_EQ(slots.find(1, 0), nullptr);
        EXPECT_EQ(slots.find(last - 1, last), nullptr);
        EXPECT_EQ(slots.find(last, last - 1), nullptr);
        EXPECT_EQ(slots.remove(last, last), fakeTile(3));
        EXPECT_EQ(slots.find(last, last), nullptr);
        EXPECT_EQ(slots.remove(last, last), nullptr);
        EXPECT_EQ(slots.find(0, 0), fakeTile(0));
    }
    TileSlots single(0);
    ASSERT_TRUE(single.insert(0, 0, fakeTile(7)));
    EXPECT_EQ(single.find(0, 0), fakeTile(7));
    EXPECT_EQ(single.bytes(), sizeof(void*));
}

TEST(TileSlots, StorageGrowsWithTheTilesNotWithTheLevel) {
    // A level of 2^23 × 2^23 tiles would need 2^46 flat slots; a few tiles
    // far apart cost a few blocks each (at most one block per step).
    TileSlots huge(23);
    for (uint32_t i = 0; i < 8; ++i) ASSERT_TRUE(huge.insert(i * 1000003u, i * 999983u, fakeTile(i)));
    EXPECT_LT(huge.bytes(), 8u * 5 * 32 * 1024);
    // Neighbouring tiles share their blocks.
    const uint64_t before = huge.bytes();
    for (uint32_t i = 1; i < 32; ++i) ASSERT_TRUE(huge.insert(i, 0, fakeTile(100 + i)));
    EXPECT_EQ(huge.bytes(), before);
    // A flat level holds exactly its slots, from its first tile on.
    TileSlots flat(6);
    ASSERT_TRUE(flat.insert(5, 5, fakeTile(1)));
    EXPECT_EQ(flat.bytes(), 64u * 64u * sizeof(void*));
}

}  // namespace
