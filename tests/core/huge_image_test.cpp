// Images of any size the format allows cost memory only for what is
// sampled, and their geometry is computed without overflow.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "pyramid_geometry.h"
#include "sampler.h"
#include "test_support.h"

namespace {

using namespace korvalith;

TEST(HugeImages, PyramidGeometryIsExactAtTheLimits) {
    const struct {
        int width, height, levels;
        int64_t tileWidth, tileHeight;
    } cases[] = {
        {16777216, 16777216, 17, 257, 257},
        {2147483647, 200, 1, 2147483648LL, 201},  // one level of one tile wider than an int
        {200, 2147483647, 1, 201, 2147483648LL},
        {2147483647, 2147483647, 24, 256, 256},
        {2147483647, 257, 2, 1073741824LL, 129},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const PyramidGeometry g = pyramidGeometry(c.width, c.height);
        EXPECT_EQ(g.levels, c.levels);
        EXPECT_EQ(g.tileWidth, c.tileWidth);
        EXPECT_EQ(g.tileHeight, c.tileHeight);
        // The tiles of the finest level cover it.
        EXPECT_GE(g.tileWidth << (g.levels - 1), int64_t{c.width});
        EXPECT_GE(g.tileHeight << (g.levels - 1), int64_t{c.height});
    }
}

// The finest level of a 2^24-pixel square has 2^32 tile slots (32 GiB as
// one array); samples spread over it read and hold only their own tiles.
TEST(HugeImages, ASquareOf2To24PixelsHoldsOnlyTheSampledTiles) {
    const int side = 1 << 24;
    auto image = coretest::patternImage(side, side, 3);
    ASSERT_EQ(image->levelCount(), 17);
    const int points[][2] = {{0, 0}, {side - 2, side - 2}, {12345678, 42}, {7, 16000001}, {side / 2, side / 3}};
    for (const auto& p : points) {
        SCOPED_TRACE(std::to_string(p[0]) + ", " + std::to_string(p[1]));
        const double uv[2] = {(p[0] + 0.5) / side, (p[1] + 0.5) / side};
        float rgba[4] = {-1, -1, -1, -1}, scalar = 0;
        EXPECT_EQ(sampleImage(image.get(), uv, 0, 0, 0, rgba, &scalar, kEdgeReset, kEdgeReset), 1.0f);
        for (int b = 0; b < 3; ++b) EXPECT_EQ(rgba[b], coretest::defaultPattern(p[0], p[1], b) * kScale8);
    }
    const Level* finest = image->levelIfPresent(16);
    ASSERT_NE(finest, nullptr);
    EXPECT_EQ(finest->tileSlots(), int64_t{1} << 32);
    // Four tiles of 257 × 257 pixels and 3 bands, the corner tile of
    // 255 × 255, and a few small blocks of slots.
    EXPECT_EQ(image->memoryUsed(), 1152u + 80u + 4u * (72u + 257u * 257u * 3u) + 72u + 255u * 255u * 3u);
    EXPECT_LT(finest->store()->slotBytes(), 1u << 20);
    // A release pass after the samples keeps them; the next one frees all.
    image->release();
    EXPECT_TRUE(image->release());
    EXPECT_EQ(image->memoryUsed(), 1152u);
}

// 2147483647 × 200 pixels: one level of one tile as wide as the image, far
// too large to hold. Samples cover the image but read nothing, and say why.
TEST(HugeImages, ATileTooLargeToHoldIsRefusedWithAReason) {
    coretest::PatternSource* source = nullptr;
    auto image = coretest::patternImage(INT_MAX, 200, 1, coretest::defaultPattern, kCell8, &source);
    ASSERT_EQ(image->levelCount(), 1);
    EXPECT_EQ(image->tileWidth(), INT_MAX);
    EXPECT_EQ(image->tileHeight(), 201);
    const uint64_t failedBefore = failedTileReads();
    for (double u : {0.0, 0.25, 0.999999}) {
        const double uv[2] = {u, 0.5};
        float rgba[4] = {-1, -1, -1, -1}, scalar = -1;
        EXPECT_EQ(sampleImage(image.get(), uv, 0, 0, 0, rgba, &scalar, kEdgeClamp, kEdgeClamp), 1.0f);
        EXPECT_EQ(rgba[0], 0.0f);  // nothing read: the weights met no values
        float dx = -1, dy = -1;
        EXPECT_EQ(sampleGradient(image.get(), uv, 0, 0, 0, &dx, &dy, kEdgeRepeat, kEdgeMirror), 1.0f);
    }
    EXPECT_EQ(source->reads, 0);
    EXPECT_EQ(failedTileReads(), failedBefore + 1);  // refused once, then kept without pixels
    EXPECT_NE(source->lastError().find("too large to hold"), std::string::npos) << source->lastError();
    EXPECT_EQ(image->memoryUsed(), 1152u + 80u + 72u);
}

}  // namespace
