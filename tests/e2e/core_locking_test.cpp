// The host's mutexes as the loaded KorvalithPro module uses them while
// render threads sample: tiles are created under the lock order, and a
// sample of tiles that exist takes no host lock at all.
#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

#include "core_fixture.h"
#include "core_services.h"
#include "host.h"
#include "jp2_fixture.h"

namespace {

using CoreLocking = CoreFixture;

// One spot as a render thread asks for it, and everything it gets back.
struct Spot {
    double uv[2];
    double footprint;
    int hmode, vmode;
};
using Answer = std::array<float, 9>;  // rgba, scalar, coverage, luminance dx, dy, gradient coverage

Answer ask(const CoreServices& core, KorvalithImage* image, const Spot& s) {
    Answer a{};
    a[5] = core.sampleImage(image, s.uv, s.footprint, 0.5, 0, &a[0], &a[4], s.hmode, s.vmode);
    a[8] = core.sampleGradient(image, s.uv, s.footprint, 0.5, 5, &a[6], &a[7], s.hmode, s.vmode);
    return a;
}

// Every thread asks for every spot, each starting at its own place.
std::vector<std::vector<Answer>> askFromThreads(const CoreServices& core, KorvalithImage* image,
                                                const std::vector<Spot>& spots, int threadCount) {
    std::vector<std::vector<Answer>> answers(static_cast<size_t>(threadCount), std::vector<Answer>(spots.size()));
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < spots.size(); ++k) {
                const size_t i = (k + static_cast<size_t>(t) * spots.size() / static_cast<size_t>(threadCount)) %
                                 spots.size();
                answers[static_cast<size_t>(t)][i] = ask(core, image, spots[i]);
            }
        });
    for (auto& thread : threads) thread.join();
    return answers;
}

TEST_F(CoreLocking, CachedSamplesTakeNoHostLock) {
    // Three levels; the finest has 4 × 4 tiles.
    const std::string path = testfiles::writeJp2("locking.jp2", 1024, 768, 3);
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    const int tile = 193;  // the smaller side of a tile
    // Spots over the image and beyond its edges, on every level and between
    // levels, in every pair of edge modes.
    std::vector<Spot> spots;
    for (int i = 0; i < 480; ++i) {
        const double footprints[] = {0, 0.25 / tile, 0.7 / tile, 1.0 / tile, 0.3 / tile};
        spots.push_back({{(i * 37 % 140) / 100.0 - 0.2, (i * 53 % 140) / 100.0 - 0.2},
                         footprints[i % 5],
                         i % 4,
                         i / 4 % 4});
    }
    const int threads = 4;

    KorvalithStatistics read0{}, read1{}, read2{};
    core->statistics(&read0);
    const auto start = host.mutexGroups().stats();
    const auto first = askFromThreads(*core, image, spots, threads);
    const auto cached = host.mutexGroups().stats();
    core->statistics(&read1);
    const auto again = askFromThreads(*core, image, spots, threads);
    const auto end = host.mutexGroups().stats();
    core->statistics(&read2);

    // The first pass created levels and read tiles under host locks.
    EXPECT_GT(read1.tilesRead - read0.tilesRead, 16u);
    EXPECT_GT(cached.locks() - start.locks(), 16);
    // The second read nothing and locked nothing.
    EXPECT_EQ(read2.tilesRead - read1.tilesRead, 0u);
    EXPECT_EQ(end.locks() - cached.locks(), 0);
    EXPECT_EQ(end.badCalls, 0);
    EXPECT_EQ(end.reentrantLocks, 0);
    EXPECT_EQ(end.inversions, 0);
    // And every thread got the same answers as in the first pass.
    long differing = 0;
    for (int t = 0; t < threads; ++t)
        for (size_t i = 0; i < spots.size(); ++i)
            differing += again[static_cast<size_t>(t)][i] != first[0][i] || first[static_cast<size_t>(t)][i] != first[0][i];
    EXPECT_EQ(differing, 0);

    core->releaseImage(image);
    EXPECT_EQ(host.mutexGroups().stats().badCalls, 0);
    EXPECT_EQ(host.mutexGroups().stats().reentrantLocks, 0);
    EXPECT_EQ(host.mutexGroups().stats().inversions, 0);
}

}  // namespace
