// The process-wide cache of decoded tiles: limit, purge, bytes, and files
// read from several threads at once.

#include "codec_test_support.h"

#include <atomic>
#include <thread>

namespace korvalith::codec::test {
namespace {

// Restores the cache limit a test changed.
struct LimitGuard {
    uint64_t saved = cacheLimit();
    ~LimitGuard() {
        setCacheLimit(saved);
        purgeCache();
    }
};

// 1024 x 768 RGB in 256 x 256 tiles: 12 tiles of 196608 cached bytes each.
constexpr uint64_t kTileBytes = 256 * 256 * 3;

fs::path writeTiled(const TempDir& dir, const char* name, int seed) {
    Fixture f;
    f.width = 1024;
    f.height = 768;
    f.bands = 3;
    f.format = CompressFormat::RGB;
    f.ratio = 10;
    f.tileSize = 256;
    f.levels = 4;
    f.pixel = texture(8, seed);
    fs::path path = dir / name;
    EXPECT_EQ(writeFixture(path, f), Status::Ok);
    return path;
}

TEST(CodecCache, HoldsDecodedTilesWithinItsLimit) {
    LimitGuard guard;
    TempDir dir;
    const fs::path path = writeTiled(dir, "cached.jp2", 1);
    setCacheLimit(64ull << 20);
    EXPECT_EQ(cacheLimit(), 64ull << 20);
    const uint64_t before = cacheBytes();
    {
        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        // One tile at full resolution.
        ViewPixels<uint8_t> cold, warm, all;
        ASSERT_EQ(readView(*file, 200, 200, 10, 10, 209, 209, cold), Status::Ok);
        EXPECT_EQ(cacheBytes() - before, kTileBytes);
        ASSERT_EQ(readView(*file, 200, 200, 10, 10, 209, 209, warm), Status::Ok);
        EXPECT_EQ(warm.cells, cold.cells);
        EXPECT_EQ(cacheBytes() - before, kTileBytes);
        // The whole image at full resolution: all twelve tiles.
        ASSERT_EQ(readView(*file, 1024, 768, 0, 0, 1023, 767, all), Status::Ok);
        EXPECT_EQ(cacheBytes() - before, 12 * kTileBytes);

        // A lower limit takes effect on purge; the newest tiles stay.
        setCacheLimit(before + 2 * kTileBytes + 100);
        purgeCache();
        EXPECT_LE(cacheBytes(), before + 2 * kTileBytes + 100);
        EXPECT_GE(cacheBytes(), before + 2 * kTileBytes);

        // With no room at all, views still read the same pixels.
        setCacheLimit(0);
        purgeCache();
        EXPECT_EQ(cacheBytes(), 0u);
        ViewPixels<uint8_t> uncached;
        ASSERT_EQ(readView(*file, 1024, 768, 0, 0, 1023, 767, uncached), Status::Ok);
        EXPECT_EQ(uncached.cells, all.cells);
        EXPECT_EQ(cacheBytes(), 0u);

        setCacheLimit(64ull << 20);
        ASSERT_EQ(readView(*file, 256, 192, 0, 0, 1023, 767, uncached), Status::Ok);  // reduction 2
        EXPECT_EQ(cacheBytes(), 12 * 64 * 64 * 3u);
    }
    // Closing a file gives its tiles back.
    EXPECT_EQ(cacheBytes(), 0u);
}

TEST(CodecCache, TheLastShutdownEmptiesTheCache) {
    LimitGuard guard;
    TempDir dir;
    const fs::path path = writeTiled(dir, "shutdown.jp2", 2);
    startup();
    startup();
    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    ViewPixels<uint8_t> before, after;
    ASSERT_EQ(readView(*file, 100, 100, 0, 0, 99, 99, before), Status::Ok);
    EXPECT_GT(cacheBytes(), 0u);
    shutdown();
    EXPECT_GT(cacheBytes(), 0u);
    shutdown();
    EXPECT_EQ(cacheBytes(), 0u);
    // An open file keeps working.
    ASSERT_EQ(readView(*file, 100, 100, 0, 0, 99, 99, after), Status::Ok);
    EXPECT_EQ(after.cells, before.cells);
}

// Two files read from two threads at once share a cache too small for
// both, while a third thread purges it.
TEST(CodecCacheThreads, TwoFilesReadAtOnceShareTheCache) {
    LimitGuard guard;
    TempDir dir;
    const fs::path paths[2] = {writeTiled(dir, "one.jp2", 3), writeTiled(dir, "two.j2k", 4)};
    struct ViewSpec {
        int x0, y0, x1, y1, w, h;
    };
    const ViewSpec views[] = {{0, 0, 1023, 767, 256, 192}, {100, 50, 611, 561, 512, 512},
                              {512, 256, 1023, 767, 128, 128}, {0, 0, 511, 383, 512, 384}};
    std::vector<ViewPixels<uint8_t>> expected[2];
    for (int f = 0; f < 2; ++f) {
        auto file = File::open(paths[f].string());
        ASSERT_TRUE(file);
        for (const ViewSpec& v : views) {
            expected[f].emplace_back();
            ASSERT_EQ(readView(*file, v.w, v.h, v.x0, v.y0, v.x1, v.y1, expected[f].back()), Status::Ok);
        }
    }
    setCacheLimit(4 * kTileBytes);
    std::atomic<int> mismatches{0};
    std::atomic<bool> done{false};
    auto reader = [&](int f) {
        auto file = File::open(paths[f].string());
        if (!file) {
            ++mismatches;
            return;
        }
        for (int round = 0; round < 3; ++round)
            for (size_t k = 0; k < std::size(views); ++k) {
                size_t i = (k + size_t(f + round)) % std::size(views);
                const ViewSpec& v = views[i];
                ViewPixels<uint8_t> got;
                if (readView(*file, v.w, v.h, v.x0, v.y0, v.x1, v.y1, got) != Status::Ok ||
                    got.cells != expected[f][i].cells)
                    ++mismatches;
            }
    };
    std::thread purger([&] {
        while (!done) {
            purgeCache();
            (void)cacheBytes();
            std::this_thread::yield();
        }
    });
    std::thread a(reader, 0), b(reader, 1);
    a.join();
    b.join();
    done = true;
    purger.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_LE(cacheBytes(), 4 * kTileBytes);
}

}  // namespace
}  // namespace korvalith::codec::test
