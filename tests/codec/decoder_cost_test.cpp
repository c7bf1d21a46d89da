// Files of a few hundred bytes that claim enormous images: refused at open
// with the reason, in bounded memory, while valid files of any image size
// (tiled, or untiled of ordinary sizes) keep opening and reading.

#include "codec_test_support.h"
#include "jp2_boxes.h"

#include <sys/resource.h>

namespace korvalith::codec::test {
namespace {

using testfiles::CodingStyle;
using testfiles::HandMadeCodestream;

uint64_t peakResidentBytes() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return uint64_t(usage.ru_maxrss) * 1024;
}

HandMadeCodestream untiled(uint32_t side) {
    HandMadeCodestream c;
    c.width = c.height = side;
    return c;
}

HandMadeCodestream tiled(uint32_t width, uint32_t height, uint32_t tile, int components = 1) {
    HandMadeCodestream c;
    c.width = width;
    c.height = height;
    c.tileWidth = c.tileHeight = tile;
    c.components = components;
    return c;
}

TEST(CodecDecoderCost, HeadersThatClaimMoreThanCanBeDecodedAreRefusedAtOpen) {
    TempDir dir;
    struct Case {
        const char* name;
        HandMadeCodestream codestream;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"one tile of 262144 pixels square", untiled(262144),
                     "the image claims 262144 x 262144 pixels in one codestream tile; this file cannot be read in parts"});
    cases.push_back({"one tile of 1048576 pixels square", untiled(1048576),
                     "the image claims 1048576 x 1048576 pixels in one codestream tile; this file cannot be read in parts"});
    {
        // The main header's 64 x 64 code-blocks are harmless; the tile's own
        // 4 x 4 ones are what the decoder would set up.
        HandMadeCodestream c = untiled(16384);
        c.ownTileStyle = true;
        c.tileStyle.codeBlockWidth = c.tileStyle.codeBlockHeight = 4;
        cases.push_back({"small code-blocks in the tile-part header of an untiled file", c,
                         "the image claims 16384 x 16384 pixels in one codestream tile; this file cannot be read in parts"});
    }
    {
        HandMadeCodestream c = tiled(65536, 65536, 16384);
        c.ownTileStyle = true;
        c.tileStyle.codeBlockWidth = c.tileStyle.codeBlockHeight = 4;
        cases.push_back({"small code-blocks in the tile-part headers of a tiled file", c,
                         "the image claims codestream tiles of 16384 x 16384 pixels (tile 0)"});
    }
    {
        // As large as the reference grid goes, in code-blocks of 4 x 4: the
        // counts pass 2^64 bytes of decoder state.
        HandMadeCodestream c = untiled(2147483647);
        c.style.codeBlockWidth = c.style.codeBlockHeight = 4;
        c.style.precinct = 2;
        c.maxPacketBytes = 16;
        cases.push_back({"a tile of 2^31 - 1 pixels square in the smallest code-blocks", c,
                         "the image claims 2147483647 x 2147483647 pixels in one codestream tile"});
    }
    {
        // 20000 layers of 64-pixel precincts: 436 million packets to walk in
        // a file of a few hundred bytes.
        HandMadeCodestream c = untiled(8192);
        c.style.layers = 20000;
        c.style.precinct = 6;
        c.maxPacketBytes = 16;
        cases.push_back({"packets by the hundred million", c,
                         "the image claims 8192 x 8192 pixels in one codestream tile; this file cannot be read in parts"});
    }
    {
        // 65280 tiles, each of which OpenJPEG indexes as it parses the main
        // header, whether the file holds it or not.
        HandMadeCodestream c = tiled(16384, 16320, 64, 4);
        c.maxPacketBytes = 0;
        cases.push_back({"tiles by the ten thousand", c, "the codestream claims 65280 tiles of 4 components"});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / "claim.j2k";
        testfiles::writeCodestream(path.string(), c.codestream);
        Status status = Status::Ok;
        std::string why;
        EXPECT_EQ(File::open(path.string(), &status, &why), nullptr);
        EXPECT_EQ(status, Status::TooLarge);
        EXPECT_EQ(why.rfind(path.string() + ": ", 0), 0u) << why;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
    if (!kSanitized) {
        EXPECT_LT(peakResidentBytes(), 512ull << 20);
    }
}

TEST(CodecDecoderCost, TheClaimIsFoundInsideAJp2FileToo) {
    TempDir dir;
    const auto codestream = testfiles::codestreamBytes(untiled(1048576));
    const fs::path path = dir / "claim.jp2";
    testfiles::writeBytes(path.string(), testfiles::jp2::file(codestream, testfiles::jp2::imageHeader(1048576, 1048576, 1),
                                                             {testfiles::jp2::enumeratedColour(17)}));
    Status status = Status::Ok;
    std::string why;
    EXPECT_EQ(File::open(path.string(), &status, &why), nullptr);
    EXPECT_EQ(status, Status::TooLarge);
    EXPECT_NE(why.find("1048576 x 1048576 pixels in one codestream tile"), std::string::npos) << why;
}

// Header-only files decode flat: every coefficient zero, so unsigned
// samples sit at half their range.
void expectFlatViews(const fs::path& path, int expectedBands) {
    Status status = Status::Ok;
    std::string why;
    auto file = File::open(path.string(), &status, &why);
    ASSERT_TRUE(file) << why;
    const FileInfo& info = file->info();
    ASSERT_EQ(info.bands, expectedBands);
    struct V {
        int x0, y0, x1, y1, w, h;
    };
    const int W = info.width, H = info.height;
    const V views[] = {
        {W / 2 - 300, H / 2 - 200, W / 2 + 299, H / 2 + 199, 600, 400},  // full resolution across tile edges
        {W / 4, H / 4, W / 4 + 4095, H / 4 + 4095, 128, 128},           // the coarsest level
        {W - 2048, H - 2048, W - 1, H - 1, 256, 256},                   // a reduced corner
    };
    for (const V& v : views) {
        ViewPixels<uint8_t> got;
        ASSERT_EQ(readView(*file, v.w, v.h, v.x0, v.y0, v.x1, v.y1, got), Status::Ok) << file->lastError();
        for (uint8_t cell : got.cells) ASSERT_EQ(cell, 128);
    }
}

TEST(CodecDecoderCost, TiledImagesOfAnySizeStillOpenAndRead) {
    TempDir dir;
    struct Case {
        uint32_t tile;
        int components;
    };
    for (Case c : {Case{512, 3}, Case{1024, 1}}) {
        SCOPED_TRACE(c.tile);
        const fs::path path = dir / "large.j2k";
        testfiles::writeCodestream(path.string(), tiled(65536, 32768, c.tile, c.components));
        expectFlatViews(path, c.components);
    }
    if (!kSanitized) {
        EXPECT_LT(peakResidentBytes(), 512ull << 20);
    }
}

// A tile's own coding style may give it fewer levels than the main header:
// views never ask a tile for a level it lacks.
TEST(CodecDecoderCost, TilesWithFewerLevelsThanTheMainHeaderLimitTheReduction) {
    TempDir dir;
    HandMadeCodestream c = tiled(2048, 2048, 512);
    c.ownTileStyle = true;
    c.tileStyle.levels = 2;
    const fs::path path = dir / "levels.j2k";
    testfiles::writeCodestream(path.string(), c);
    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->info().resolutionLevels, 3);
    ViewPixels<uint8_t> got;
    ASSERT_EQ(readView(*file, 64, 64, 0, 0, 2047, 2047, got), Status::Ok) << file->lastError();
    for (uint8_t cell : got.cells) ASSERT_EQ(cell, 128);
}

TEST(CodecDecoderCost, UntiledImagesOfOrdinarySizeStillOpenAndRead) {
    TempDir dir;
    // 16384 x 16384 RGB in one tile, with 256-pixel precincts as other
    // encoders write by default: 196608 code-blocks to set up per window.
    HandMadeCodestream c = untiled(16384);
    c.components = 3;
    c.style.precinct = 8;
    const fs::path path = dir / "untiled.j2k";
    testfiles::writeCodestream(path.string(), c);
    expectFlatViews(path, 3);
    if (!kSanitized) {
        EXPECT_LT(peakResidentBytes(), 512ull << 20);
    }
}

}  // namespace
}  // namespace korvalith::codec::test
