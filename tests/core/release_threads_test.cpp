// Release passes and releases of everything that overlap samples of the
// same image: what a pass unlinks is freed no earlier than the image's next
// pass, so samples in flight never read freed tiles or levels.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "sampler.h"
#include "test_support.h"

namespace {

using namespace korvalith;

TEST(ReleaseThreads, PassesOverlappingSamplesFreeNothingInUse) {
    // Tiles of 376 × 376 × 3 bytes: past the size that pixel memory maps
    // from the system, so a tile freed under a sample would unmap its pages.
    auto reference = coretest::patternImage(3000, 3000, 3);
    auto shared = coretest::patternImage(3000, 3000, 3);
    constexpr int kPoints = 2000;
    std::vector<std::array<double, 3>> points(kPoints);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0, 1), foot(0, 0.004);
    for (auto& p : points) p = {unit(rng), unit(rng), foot(rng)};
    std::vector<std::array<float, 4>> expected(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        float s;
        expected[i][3] = sampleImage(reference.get(), points[i].data(), points[i][2], 0.5, 0, expected[i].data(), &s,
                                     kEdgeRepeat, kEdgeRepeat);
    }

    constexpr int kSamplers = 3;
    constexpr int kPasses = 60;
    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    // Samples each sampler has finished; the releaser reads them to keep
    // the callers' rule that one sample never spans two passes.
    std::array<std::atomic<uint64_t>, kSamplers> finished{};
    std::vector<std::thread> samplers;
    for (int t = 0; t < kSamplers; ++t)
        samplers.emplace_back([&, t] {
            for (int k = t * 577; !stop.load(std::memory_order_relaxed); ++k) {
                const int i = k % kPoints;
                float out[4], s;
                const float c = sampleImage(shared.get(), points[i].data(), points[i][2], 0.5, 0, out, &s,
                                            kEdgeRepeat, kEdgeRepeat);
                // Taps in a store that a release of everything closed read
                // nothing, so a value may fall short of the image's, never
                // exceed it or go negative (freed memory would read anything).
                if (c != expected[i][3] || out[0] < 0.0f || out[0] > expected[i][0] + 1e-6f) ++mismatches;
                finished[t].fetch_add(1, std::memory_order_release);
            }
        });

    auto waitForSamplesInFlight = [&] {
        std::array<uint64_t, kSamplers> seen;
        for (int t = 0; t < kSamplers; ++t) seen[t] = finished[t].load(std::memory_order_acquire);
        for (int t = 0; t < kSamplers; ++t)
            while (finished[t].load(std::memory_order_acquire) <= seen[t]) std::this_thread::yield();
    };
    for (int pass = 0; pass < kPasses; ++pass) {
        waitForSamplesInFlight();
        if (pass % 3 == 2) shared->releaseAll();  // as freeMemory from the interface thread
        else shared->release();                   // as a frame change
    }
    stop = true;
    for (auto& s : samplers) s.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(ReleaseThreads, SamplesOfAClosedLevelReadNothingAndCreateNothing) {
    auto image = coretest::patternImage(3000, 3000, 1);
    const double uv[2] = {0.3, 0.3};
    float out[4], s;
    sampleImage(image.get(), uv, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset);
    Level* level = image->levelIfPresent(image->levelCount() - 1);
    ASSERT_NE(level, nullptr);
    // A sample that took the level before a release of everything unlinked
    // it keeps a valid level, whose store gives no new tiles.
    image->releaseAll();
    EXPECT_EQ(image->levelIfPresent(image->levelCount() - 1), nullptr);
    const uint32_t held = level->memoryUsed();  // its tile stays readable until the next pass
    const double elsewhere[2] = {0.9, 0.9};
    float v = -1;
    const int64_t x = static_cast<int64_t>(0.9 * level->width()), y = static_cast<int64_t>(0.9 * level->height());
    EXPECT_TRUE(fetchPixel(*level, &v, x, y, *image->source()->channel(0), kEdgeReset, kEdgeReset));
    EXPECT_EQ(v, -1.0f);
    EXPECT_EQ(level->memoryUsed(), held);
    // The image itself makes a new level on the next sample.
    EXPECT_EQ(sampleImage(image.get(), elsewhere, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset), 1.0f);
    EXPECT_NE(image->levelIfPresent(image->levelCount() - 1), level);
}

// Replacing the image's source unlinks its levels and the old source in one
// step: a sample still holding an old level reads it and its source to the
// end, and both go at the image's next pass.
TEST(ReleaseThreads, ASourceReplacedUnderASampleStaysReadableUntilTheNextPass) {
    auto image = coretest::patternImage(3000, 3000, 1);
    const double uv[2] = {0.3, 0.3};
    float out[4], s;
    sampleImage(image.get(), uv, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset);
    Level* old = image->levelIfPresent(image->levelCount() - 1);
    ASSERT_NE(old, nullptr);
    const ChannelSpec* oldChannel = image->source()->channel(0);
    ASSERT_TRUE(image->adoptSource(std::make_unique<coretest::PatternSource>(
        1000, 800, 1, [](int, int, int) { return 200; })));
    // The old tile and the old source's channel are still there to read.
    float v = -1;
    const int64_t x = static_cast<int64_t>(0.3 * old->width()), y = static_cast<int64_t>(0.3 * old->height());
    EXPECT_TRUE(fetchPixel(*old, &v, x, y, *oldChannel, kEdgeReset, kEdgeReset));
    EXPECT_EQ(v, coretest::defaultPattern(int(x), int(y), 0) * kScale8);
    EXPECT_EQ(sampleImage(image.get(), uv, 0, 0, 0, out, &s, kEdgeReset, kEdgeReset), 1.0f);
    EXPECT_EQ(out[0], 200 * kScale8);
    image->release();  // frees the old level and source
}

}  // namespace
