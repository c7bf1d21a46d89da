#include <gtest/gtest.h>

#include "sampler.h"
#include "test_support.h"

namespace {

using namespace korvalith;

void sampleAt(CoreImage& image, double u, double v) {
    const double uv[2] = {u, v};
    float out[4];
    float s;
    sampleImage(&image, uv, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset);
}

TEST(Memory, CountsImageLevelsAndTiles) {
    auto image = coretest::patternImage(10000, 5000, 3);
    EXPECT_EQ(image->memoryUsed(), 1152u);  // never sampled
    float v[3];
    fetchPixel(image->level(5), v, 0, 0, *image->source()->channel(0), kEdgeReset, kEdgeReset);
    // One 8-bit tile of 313 × 157 pixels and 3 bands, and its level.
    EXPECT_EQ(image->memoryUsed(), 1152u + 80u + 72u + 313u * 157u * 3u);

    auto wide = coretest::patternImage(64, 64, 2, coretest::defaultPattern, kCell16);
    sampleAt(*wide, 0.5, 0.5);
    EXPECT_EQ(wide->memoryUsed(), 1152u + 80u + 72u + 63u * 63u * 2u * 2u);
}

TEST(Release, TwoPassesWithoutSamplesFreeEverything) {
    auto image = coretest::patternImage(3000, 3000, 1);
    sampleAt(*image, 0.1, 0.1);
    sampleAt(*image, 0.9, 0.9);
    const uint32_t sampled = image->memoryUsed();
    EXPECT_GT(sampled, 1152u);

    EXPECT_FALSE(image->release());  // the tiles were used: they survive once
    EXPECT_EQ(image->memoryUsed(), sampled);
    EXPECT_TRUE(image->release());
    EXPECT_EQ(image->memoryUsed(), 1152u);
    EXPECT_EQ(image->levelIfPresent(image->levelCount() - 1), nullptr);
}

TEST(Release, ATileReadBetweenPassesSurvivesTheOthersGo) {
    coretest::PatternSource* source = nullptr;
    auto image = coretest::patternImage(3000, 3000, 1, coretest::defaultPattern, kCell8, &source);
    sampleAt(*image, 0.1, 0.1);
    sampleAt(*image, 0.9, 0.9);
    image->release();
    sampleAt(*image, 0.1, 0.1);  // read again: stays
    const int readsBefore = source->reads;
    EXPECT_FALSE(image->release());
    sampleAt(*image, 0.1, 0.1);
    EXPECT_EQ(source->reads, readsBefore);  // still cached, no file access
    sampleAt(*image, 0.9, 0.9);
    EXPECT_EQ(source->reads, readsBefore + 1);  // that one had gone
}

TEST(Release, ReleaseAllAndResetEmptyEverything) {
    auto image = coretest::patternImage(3000, 3000, 3);
    sampleAt(*image, 0.5, 0.5);
    ASSERT_NE(image->preview().bitmap(32, 32, 0, nullptr), nullptr);
    image->releaseAll();
    EXPECT_EQ(image->memoryUsed(), 1152u);
    EXPECT_EQ(image->preview().fileReads(), 1);
    image->preview().bitmap(32, 32, 0, nullptr);
    EXPECT_EQ(image->preview().fileReads(), 2);  // the preview had gone too

    sampleAt(*image, 0.5, 0.5);
    image->resetPyramid();
    EXPECT_EQ(image->memoryUsed(), 1152u);
}

TEST(Release, PassesDropPreviews) {
    auto image = coretest::patternImage(500, 500, 3);
    image->preview().bitmap(16, 16, 0, nullptr);
    image->release();
    image->preview().bitmap(16, 16, 0, nullptr);
    EXPECT_EQ(image->preview().fileReads(), 2);
}

TEST(CodecCacheLimit, QuarterOfFreeMemoryWithinBounds) {
    const uint64_t MiB = 1 << 20;
    EXPECT_EQ(codecCacheLimitFor(40 * MiB, 0), 32 * MiB);
    EXPECT_EQ(codecCacheLimitFor(4096 * MiB, 0), 256 * MiB);
    EXPECT_EQ(codecCacheLimitFor(400 * MiB, 0), 100 * MiB);
    EXPECT_EQ(codecCacheLimitFor(300 * MiB, 100 * MiB), 100 * MiB);
    EXPECT_GT(availablePhysicalMemory(), 0u);
}

}  // namespace

// A tile whose read failed holds no pixels, is counted, and is read again
// once a pass has freed it: a passing fault is not cached for ever.
TEST(Release, AFailedTileReadIsCountedAndReadAgainAfterTheNextPass) {
    coretest::PatternSource* source = nullptr;
    auto image = coretest::patternImage(600, 600, 1, coretest::defaultPattern, kCell8, &source);
    const double uv[2] = {(100 + 0.5) / 600, (200 + 0.5) / 600};
    float out[4] = {-1, -1, -1, -1}, s;
    const uint64_t failedBefore = failedTileReads();
    source->failReads = true;
    EXPECT_EQ(sampleImage(image.get(), uv, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset), 1.0f);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(failedTileReads(), failedBefore + 1);
    EXPECT_EQ(source->lastError(), "pattern: the read was made to fail");

    source->failReads = false;
    sampleImage(image.get(), uv, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset);
    EXPECT_EQ(out[0], 0.0f);  // the tile without pixels stays until a pass
    EXPECT_EQ(source->reads, 1);
    image->release();
    sampleImage(image.get(), uv, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset);
    EXPECT_EQ(source->reads, 2);
    EXPECT_EQ(out[0], coretest::defaultPattern(100, 200, 0) * kScale8);
    EXPECT_EQ(failedTileReads(), failedBefore + 1);
}
