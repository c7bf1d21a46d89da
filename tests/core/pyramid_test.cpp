#include <gtest/gtest.h>

#include "level.h"
#include "sampler.h"
#include "test_support.h"

namespace {

using namespace korvalith;

TEST(ChannelTable, ChoicesPerBandCount) {
    const struct {
        int bands;
        std::vector<std::string> names;
    } cases[] = {
        {0, {}},
        {1, {"Luminance"}},
        {2, {"Channel 0", "Channel 1"}},
        {3, {"RGB", "Red", "Green", "Blue", "Average", "Luminance"}},
        {4, {"RGBA", "RGB", "Red", "Green", "Blue", "Alpha", "Average", "Luminance"}},
        {5, {"RGBA", "RGB", "Red", "Green", "Blue", "Alpha", "Average", "Luminance", "Channel 4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bands);
        const auto table = buildChannelTable(c.bands);
        ASSERT_EQ(table.size(), c.names.size());
        for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].name, c.names[i]);
    }
    const auto five = buildChannelTable(5);
    EXPECT_EQ(five[8].bandCount, 1);
    EXPECT_EQ(five[8].bands[0], 4);
    EXPECT_EQ(five[0].bandCount, 4);
    EXPECT_EQ(five[6].kind, kChannelAverage);
    EXPECT_EQ(five[7].kind, kChannelLuminance);
    EXPECT_EQ(buildChannelTable(2)[1].bands[0], 1);
}

TEST(ChannelTable, SourceAccessorsAtTheEnds) {
    coretest::PatternSource source(8, 8, 3);
    EXPECT_EQ(source.channelCount(), 6);
    EXPECT_STREQ(source.channelName(5), "Luminance");
    EXPECT_EQ(source.channelName(6), nullptr);
    EXPECT_EQ(source.channelName(-1), nullptr);
    EXPECT_EQ(source.channel(6), nullptr);
    EXPECT_EQ(source.channelBandCount(0), 3);
    EXPECT_EQ(source.channelBandCount(6), 0);
    EXPECT_EQ(source.channelValueCount(0), 3);
    EXPECT_EQ(source.channelValueCount(4), 1);  // average
    EXPECT_EQ(source.channelValueCount(5), 1);  // luminance
    EXPECT_EQ(source.channelValueCount(9), 0);
}

TEST(CellTypes, NamesAndSizes) {
    const struct {
        int type;
        const char* name;
        int bytes;
    } cases[] = {{0, "8bit", 1},        {1, "16bit", 2},       {2, "*undefined*", 1},
                 {3, "16bit float", 2}, {4, "32bit float", 4}, {7, "*undefined*", 1}};
    for (const auto& c : cases) {
        EXPECT_STREQ(cellTypeName(c.type), c.name);
        EXPECT_EQ(cellBytes(c.type), c.bytes);
    }
}

TEST(Pyramid, LevelCountsAndTileSizes) {
    const struct {
        int width, height, levels, tileWidth, tileHeight;
    } cases[] = {
        {256, 256, 1, 257, 257},    {257, 300, 2, 129, 151},      {513, 513, 2, 257, 257},
        {514, 514, 3, 129, 129},    {1024, 2048, 3, 257, 513},    {5000, 5000, 6, 157, 157},
        {10000, 5000, 6, 313, 157}, {200, 100, 1, 201, 101},      {100000, 50000, 9, 391, 196},
        {1, 1, 1, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const PyramidGeometry g = pyramidGeometry(c.width, c.height);
        EXPECT_EQ(g.levels, c.levels);
        EXPECT_EQ(g.tileWidth, c.tileWidth);
        EXPECT_EQ(g.tileHeight, c.tileHeight);
        EXPECT_DOUBLE_EQ(g.inverseMin, 1.0 / std::min(c.width, c.height));
    }
}

TEST(Pyramid, LevelsHaveFactorsSizesAndSlots) {
    auto image = coretest::patternImage(10000, 5000, 1);
    ASSERT_EQ(image->levelCount(), 6);
    const struct {
        int index, factor, width, height, tilesPerSide;
    } cases[] = {{0, 32, 312, 156, 1}, {3, 4, 2500, 1250, 8}, {5, 1, 10000, 5000, 32}};
    for (const auto& c : cases) {
        Level& level = image->level(c.index);
        EXPECT_EQ(level.factor(), c.factor);
        EXPECT_EQ(level.width(), c.width);
        EXPECT_EQ(level.height(), c.height);
        EXPECT_EQ(level.tilesPerSide(), c.tilesPerSide);
        EXPECT_EQ(level.tileSlots(), int64_t{c.tilesPerSide} * c.tilesPerSide);
    }
}

// Which file rectangle a tile reads, and into how many pixels.
struct TileCase {
    int width, height, level, tx, ty;
    int x0, x1, y0, y1, pw, ph;
};

TEST(Pyramid, TileFileRectangles) {
    const TileCase cases[] = {
        // last column of tiles of the finest level of 10000 × 5000
        {10000, 5000, 5, 31, 0, 9703, 9999, 0, 157, 296, 157},
        {10000, 5000, 5, 0, 0, 0, 313, 0, 157, 313, 157},
        // coarsest level: one tile over the whole image at factor 32
        {10000, 5000, 0, 0, 0, 0, 9999, 0, 4999, 312, 156},
        // one level of one tile: the whole image, one pixel short each way
        {200, 100, 0, 0, 0, 0, 199, 0, 99, 199, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " level " + std::to_string(c.level));
        auto image = coretest::patternImage(c.width, c.height, 1);
        Level& level = image->level(c.level);
        float value = -1;
        fetchPixel(level, &value, static_cast<int64_t>(c.tx) * image->tileWidth(),
                   static_cast<int64_t>(c.ty) * image->tileHeight(), *image->source()->channel(0), kEdgeClamp,
                   kEdgeClamp);
        const TileBase* tile = level.store()->tileAt(c.tx, c.ty);
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->x0, c.x0);
        EXPECT_EQ(tile->x1, c.x1);
        EXPECT_EQ(tile->y0, c.y0);
        EXPECT_EQ(tile->y1, c.y1);
        EXPECT_EQ(tile->pw, c.pw);
        EXPECT_EQ(tile->ph, c.ph);
    }
}

TEST(Pyramid, LevelPixelsComeFromTheFactorGrid) {
    // Level pixel (x, y) of factor f holds the file pixel (f·x, f·y).
    auto image = coretest::patternImage(3000, 2000, 3);
    const ChannelSpec& rgb = *image->source()->channel(0);
    for (int a : {0, 2, 3}) {
        Level& level = image->level(a);
        const int f = level.factor();
        const int tileEdge = std::min(image->tileWidth(), level.width() - 2);
        for (auto [x, y] : {std::pair{0, 0}, {5, 7}, {level.width() - 2, level.height() - 2}, {tileEdge, 1}}) {
            float v[3] = {-1, -1, -1};
            ASSERT_TRUE(fetchPixel(level, v, x, y, rgb, kEdgeReset, kEdgeReset));
            for (int b = 0; b < 3; ++b)
                EXPECT_FLOAT_EQ(v[b], coretest::defaultPattern(f * x, f * y, b) * kScale8) << a << " " << x << "," << y;
        }
    }
}

TEST(Pyramid, CellTypesScaleToOne) {
    const int kinds[] = {kCell8, kCell16, kCell32};
    for (int cellType : kinds) {
        SCOPED_TRACE(cellType);
        auto image = coretest::patternImage(64, 64, 1, [](int, int, int) { return 255; }, cellType);
        float v = 0;
        ASSERT_TRUE(fetchPixel(image->level(0), &v, 3, 3, *image->source()->channel(0), kEdgeReset, kEdgeReset));
        EXPECT_NEAR(v, 1.0f, 1e-6f);
    }
    // Other cell types have no store and yield nothing.
    auto image = coretest::patternImage(64, 64, 1, coretest::defaultPattern, kCell32Float);
    EXPECT_EQ(image->level(0).store(), nullptr);
    EXPECT_EQ(image->level(0).memoryUsed(), 72u);
}

TEST(EdgeModes, MappingOfOutsideCoordinates) {
    const int64_t c = 99;  // level of 100 pixels
    const struct {
        int64_t v;
        int mode;
        bool ok;
        int64_t mapped;
    } cases[] = {
        {0, kEdgeReset, true, 0},        {98, kEdgeReset, true, 98},    {-1, kEdgeReset, false, 0},
        {99, kEdgeReset, false, 0},      {-1, kEdgeRepeat, true, 0},    {-2, kEdgeRepeat, true, c - 1},
        {c, kEdgeRepeat, true, 0},       {c + 3, kEdgeRepeat, true, 3}, {c, kEdgeMirror, true, c - 1},
        {c + 3, kEdgeMirror, true, c - 3}, {-3, kEdgeMirror, true, 3},  {2 * c + 4, kEdgeMirror, true, 4},
        {c + 5, kEdgeClamp, true, c - 1}, {-7, kEdgeClamp, true, 0},    {c + 5, 9, true, c - 1},
        {-5, 9, true, 0},                 {int64_t{1} << 60, kEdgeRepeat, true, (int64_t{1} << 60) % c},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.v) + " mode " + std::to_string(k.mode));
        int64_t out = -1;
        EXPECT_EQ(mapEdge(k.v, c, k.mode, &out), k.ok);
        if (k.ok) {
            EXPECT_EQ(out, k.mapped);
        }
    }
    // A level one pixel wide holds nothing in any mode.
    int64_t out;
    for (int mode = 0; mode < 4; ++mode) EXPECT_FALSE(mapEdge(-1, 0, mode, &out));
}

TEST(Pyramid, FailedReadLeavesATileWithoutPixels) {
    coretest::PatternSource* source = nullptr;
    auto image = coretest::patternImage(64, 64, 1, coretest::defaultPattern, kCell8, &source);
    source->failReads = true;
    float v = 42;
    EXPECT_TRUE(fetchPixel(image->level(0), &v, 1, 1, *image->source()->channel(0), kEdgeReset, kEdgeReset));
    EXPECT_EQ(v, 42);  // nothing written
    EXPECT_EQ(image->memoryUsed(), 1152u + 80u + 72u);
    // The tile is not read again until it is released.
    fetchPixel(image->level(0), &v, 2, 2, *image->source()->channel(0), kEdgeReset, kEdgeReset);
    EXPECT_EQ(source->reads, 1);
}

}  // namespace
