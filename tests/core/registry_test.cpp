#include <gtest/gtest.h>

#include <thread>

#include "registry.h"
#include "sampler.h"
#include "test_support.h"

namespace {

using namespace korvalith;

ImageRegistry& registry() { return ImageRegistry::instance(); }

TEST(Registry, ReplacingWithALargerFileResizesTheLevelTable) {
    const std::string small = coretest::writeJp2("reg_small.jp2", 300, 300, 1);
    const std::string large = coretest::writeJp2("reg_large.jp2", 2100, 1100, 1);
    CoreImage* image = registry().acquireImage(small.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->levelCount(), 2);
    const double uv[2] = {0.5, 0.5};
    float rgba[4], s;
    sampleImage(image, uv, 0, 0, 0, rgba, &s, 0, 0);
    ASSERT_TRUE(registry().replaceImageFile(image, large.c_str()));
    EXPECT_EQ(image->levelCount(), 4);
    EXPECT_EQ(image->memoryUsed(), 1152u);  // the old tiles went with the old file
    EXPECT_EQ(image->level(3).width(), 2100);
    registry().releaseImage(image);
}

TEST(Registry, ReleaseOfAnImageAtZeroRemovesNothingElse) {
    const std::string a = coretest::writeJp2("reg_a.jp2", 64, 64, 1);
    const std::string b = coretest::writeJp2("reg_b.jp2", 64, 64, 1);
    CoreImage* first = registry().acquireImage(a.c_str());
    CoreImage* second = registry().acquireImage(b.c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(registry().imageIndex(second), 1);
    registry().releaseImage(first);
    EXPECT_EQ(registry().imageIndex(second), 0);  // the rest keep their order
    EXPECT_EQ(registry().imageCount(), 1);
    registry().releaseImage(second);
    EXPECT_EQ(registry().imageCount(), 0);
}

TEST(Registry, ReleasePassResizesTheCodecCache) {
    const std::string path = coretest::writeJp2("reg_cache.jp2", 700, 700, 3);
    CoreImage* image = registry().acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    codec::setCacheLimit(1);
    image->release();
    const uint64_t expected = codecCacheLimitFor(availablePhysicalMemory(), codec::cacheBytes());
    EXPECT_NEAR(static_cast<double>(codec::cacheLimit()), static_cast<double>(expected), 64.0 * 1048576);
    EXPECT_GE(codec::cacheLimit(), 0x2000000u);
    EXPECT_LE(codec::cacheLimit(), 0x10000000u);
    registry().releaseImage(image);
}

TEST(Registry, SourceReadsRegionsAtAnyOutputSize) {
    const std::string path = coretest::writeJp2("reg_region.jp2", 256, 128, 3);
    EcwImageSource source(path.c_str());
    ASSERT_TRUE(source.opened());
    EXPECT_STREQ(source.typeName(), "JPEG 2000");
    EXPECT_STREQ(source.name(), "reg_region.jp2");
    std::vector<uint8_t> full(20 * 10 * 3);
    ASSERT_TRUE(source.readRegion8(full.data(), 30, 40, 49, 49, 20, 10));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            for (int b = 0; b < 3; ++b)
                ASSERT_EQ(full[(y * 20 + x) * 3 + b], coretest::defaultPattern(30 + x, 40 + y, b)) << x << "," << y;
    std::vector<float> floats(4 * 4 * 3);
    ASSERT_TRUE(source.readRegionFloat(floats.data(), 0, 0, 255, 127, 4, 4));
    for (float v : floats) EXPECT_TRUE(v >= 0 && v <= 1);
    // Reads outside the image fail instead of inventing pixels.
    EXPECT_FALSE(source.readRegion8(full.data(), 250, 0, 300, 9, 20, 10));

    EcwImageSource missing("/no/such/file.jp2");
    EXPECT_FALSE(missing.opened());
    EXPECT_EQ(missing.width(), 0);
    EXPECT_EQ(missing.channelCount(), 0);
    EXPECT_EQ(missing.name(), nullptr);
    EXPECT_FALSE(missing.readRegionFloat(floats.data(), 0, 0, 3, 3, 4, 4));
}

// Render threads sample one file-backed image while tiles are read.
TEST(Registry, ThreadsSampleAFileWhileTilesAreRead) {
    const std::string path = coretest::writeJp2("reg_threads.jp2", 1500, 1200, 3);
    CoreImage* image = registry().acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const int x = (i * 37 + t * 101) % 1490 + 2, y = (i * 53 + t * 7) % 1190 + 2;
                const double uv[2] = {(x + 0.5) / 1500, (y + 0.5) / 1200};
                float rgba[4], s;
                sampleImage(image, uv, 0, 0, 0, rgba, &s, 0, 0);
                if (rgba[0] != coretest::defaultPattern(x, y, 0) * kScale8) ++wrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
    registry().releaseImage(image);
}

}  // namespace
