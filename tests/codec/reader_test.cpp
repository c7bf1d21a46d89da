// Reading files by view: conformance files against OpenJPEG itself, views
// at reduced resolution, the averaging fallback, cell normalisation, and
// what is refused.

#include "codec_test_support.h"
#include "jp2_boxes.h"

#include <sys/resource.h>

#include <cstring>

namespace korvalith::codec::test {
namespace {

// The bands a viewer shows for a reference decode: subsampled components
// repeated to full resolution, YCC turned into RGB (full-range BT.601).
struct Delivered {
    int w = 0, h = 0;
    bool ycc = false;
    std::vector<RefComponent> bands;
};

Delivered delivered(const RefImage& ref) {
    Delivered d;
    d.w = ref.x1 - ref.x0;
    d.h = ref.y1 - ref.y0;
    for (const RefComponent& c : ref.comps) {
        RefComponent full = c;
        full.w = d.w;
        full.h = d.h;
        full.dx = full.dy = 1;
        full.data.resize(size_t(d.w) * size_t(d.h));
        for (int y = 0; y < d.h; ++y)
            for (int x = 0; x < d.w; ++x)
                full.data[size_t(y) * size_t(d.w) + size_t(x)] =
                    c.at(std::min(x / c.dx, c.w - 1), std::min(y / c.dy, c.h - 1));
        d.bands.push_back(std::move(full));
    }
    const auto& cs = ref.comps;
    d.ycc = ref.colourSpace == OPJ_CLRSPC_SYCC ||
            (cs.size() == 3 && cs[0].dx == cs[0].dy && cs[1].dx != 1);
    if (d.ycc) {
        const double half = double(1 << (cs[0].precision - 1));
        const double top = double((1 << cs[0].precision) - 1);
        for (size_t i = 0; i < d.bands[0].data.size(); ++i) {
            double y = d.bands[0].data[i], cb = d.bands[1].data[i] - half, cr = d.bands[2].data[i] - half;
            double rgb[3] = {y + 1.402 * cr, y - 0.344136 * cb - 0.714136 * cr, y + 1.772 * cb};
            for (int b = 0; b < 3; ++b) d.bands[size_t(b)].data[i] = int32_t(std::clamp(std::round(rgb[b]), 0.0, top));
        }
    }
    return d;
}

class ConformanceFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(ConformanceFile, FullViewMatchesOpenJpeg) {
    const fs::path path = GetParam();
    Status status;
    std::string why;
    auto file = File::open(path.string(), &status, &why);
    ASSERT_TRUE(file) << path << ": " << why;
    EXPECT_EQ(file->info().reader, Reader::Jpeg2000);
    EXPECT_EQ(identify(path.string()), Reader::Jpeg2000);

    RefImage ref;
    ASSERT_TRUE(opjDecode(path, 0, ref)) << path;
    Delivered want = delivered(ref);
    const FileInfo& info = file->info();
    ASSERT_EQ(info.width, want.w);
    ASSERT_EQ(info.height, want.h);
    ASSERT_EQ(info.bands, int(want.bands.size()));

    // YCC is compared in 8-bit cells within rounding of the conversion; all
    // else must be exact in 16-bit cells.
    if (want.ycc) {
        ViewPixels<uint8_t> got;
        ASSERT_EQ(readView(*file, want.w, want.h, 0, 0, want.w - 1, want.h - 1, got), Status::Ok) << file->lastError();
        int worst = 0;
        for (int b = 0; b < info.bands; ++b)
            for (int y = 0; y < want.h; ++y)
                for (int x = 0; x < want.w; ++x) {
                    const RefComponent& c = want.bands[size_t(b)];
                    int e = int(normalised(c.at(x, y), c.precision, c.isSigned, 255));
                    worst = std::max(worst, std::abs(e - int(got.at(b, x, y))));
                }
        EXPECT_LE(worst, 2) << path;
        return;
    }
    ViewPixels<int16_t> got;
    ASSERT_EQ(readView(*file, want.w, want.h, 0, 0, want.w - 1, want.h - 1, got), Status::Ok) << file->lastError();
    int mismatches = 0;
    for (int b = 0; b < info.bands; ++b)
        for (int y = 0; y < want.h; ++y)
            for (int x = 0; x < want.w; ++x) {
                const RefComponent& c = want.bands[size_t(b)];
                int64_t e = normalised(c.at(x, y), c.precision, c.isSigned, 32767);
                if (e != got.at(b, x, y) && mismatches++ < 5)
                    ADD_FAILURE() << path.filename() << " band " << b << " at " << x << "," << y << ": expected " << e
                                  << ", got " << got.at(b, x, y);
            }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Conformance, ConformanceFile, ::testing::ValuesIn(filesIn(jp2Dir("conformance"))),
                         [](const auto& info) {
                             std::string n = info.param.filename().string();
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(CodecReader, ConformanceFilesArePresent) { EXPECT_GE(filesIn(jp2Dir("conformance")).size(), 10u); }

// What the header reports, for files that exercise each feature.
TEST(CodecReader, FileInfoOfFeatureFiles) {
    struct Case {
        const char* name;
        int width, height, bands, cellType, precision;
        bool isSigned;
        int levels, tilesX, tilesY;
    };
    const Case cases[] = {
        {"file9.jp2", 768, 512, 3, 0, 8, false, 6, 1, 1},   // palette: one component, three bands
        {"file6.jp2", 768, 512, 1, 1, 12, false, 6, 1, 1},  // 12-bit grey
        {"file3.jp2", 480, 640, 3, 0, 8, false, 6, 1, 1},   // sYCC with subsampled chroma
        {"basn4a08.jp2", 32, 32, 2, 0, 8, false, 6, 1, 1},  // grey and opacity
        {"p0_03.j2k", 256, 256, 1, 0, 4, true, 2, 2, 2},    // signed 4-bit, 2 x 2 tiles
        {"p0_05.j2k", 1024, 1024, 4, 0, 8, false, 4, 1, 1}, // components with fewer levels limit the reduction
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = File::open((jp2Dir("conformance") / c.name).string());
        ASSERT_TRUE(file);
        const FileInfo& i = file->info();
        EXPECT_EQ(i.width, c.width);
        EXPECT_EQ(i.height, c.height);
        EXPECT_EQ(i.bands, c.bands);
        EXPECT_EQ(i.cellType, c.cellType);
        EXPECT_EQ(i.precision, c.precision);
        EXPECT_EQ(i.isSigned, c.isSigned);
        EXPECT_EQ(i.resolutionLevels, c.levels);
        EXPECT_EQ(i.tilesX, c.tilesX);
        EXPECT_EQ(i.tilesY, c.tilesY);
        EXPECT_GE(i.compressionRate, 1);
    }
    // 303 x 179 8-bit grey in 33588 bytes: 1.6, rounded to 2.
    auto mono = File::open((jp2Dir("conformance") / "a1_mono.j2c").string());
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->info().compressionRate, 2);
}

// Views laid out as the pyramid's tiles are: tile (tx, ty) of factor f
// covers file pixels f·xs … min(f·(xs + tw), W − 1) read into (x1 − x0) / f
// pixels, and must hold exactly OpenJPEG's reduce = log2 f pixels xs + i.
void checkPyramidViews(const fs::path& path, int maxChecks = 1 << 30) {
    auto file = File::open(path.string());
    ASSERT_TRUE(file) << path;
    const FileInfo& info = file->info();
    const int W = info.width, H = info.height;
    for (int r = 0; r < info.resolutionLevels && maxChecks > 0; ++r) {
        SCOPED_TRACE("reduction " + std::to_string(r));
        RefImage ref;
        ASSERT_TRUE(opjDecode(path, r, ref));
        const int f = 1 << r;
        const int levelW = W / f, levelH = H / f;
        if (levelW < 2 || levelH < 2) break;
        // Tiles of about a third of the level, so views start mid-tile and
        // cross codestream tile boundaries.
        const int tw = levelW / 3 + 1, th = levelH / 3 + 1;
        for (int ys = 0; ys < levelH - 1 && maxChecks > 0; ys += th)
            for (int xs = 0; xs < levelW - 1 && maxChecks > 0; xs += tw, --maxChecks) {
                int x0 = f * xs, y0 = f * ys;
                int x1 = std::min(f * (xs + tw), W - 1), y1 = std::min(f * (ys + th), H - 1);
                int pw = (x1 - x0) / f, ph = (y1 - y0) / f;
                if (pw < 1 || ph < 1) continue;
                ViewPixels<uint8_t> got;
                ASSERT_EQ(readView(*file, pw, ph, x0, y0, x1, y1, got), Status::Ok) << file->lastError();
                for (int b = 0; b < info.bands; ++b)
                    for (int j = 0; j < ph; ++j)
                        for (int i = 0; i < pw; ++i) {
                            const RefComponent& c = ref.comps[size_t(b)];
                            int64_t e = normalised(c.at(xs + i, ys + j), c.precision, c.isSigned, 255);
                            ASSERT_EQ(got.at(b, i, j), e) << "view at " << xs << "," << ys << " pixel " << i << ","
                                                          << j << " band " << b;
                        }
            }
    }
}

TEST(CodecReader, PyramidViewsOfATiledFileMatchReducedDecodes) {
    TempDir dir;
    Fixture f;
    f.width = 1000;
    f.height = 700;
    f.bands = 3;
    f.format = CompressFormat::RGB;
    f.ratio = 8;
    f.tileSize = 256;
    f.levels = 5;
    f.pixel = texture(8);
    const fs::path path = dir / "tiled.jp2";
    ASSERT_EQ(writeFixture(path, f), Status::Ok);
    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->info().tilesX, 4);
    EXPECT_EQ(file->info().tilesY, 3);
    checkPyramidViews(path);
}

// One tile decoder serves every level of a file: views that jump between
// levels, with nothing cached, still match OpenJPEG's decodes at each.
TEST(CodecReader, ViewsJumpingBetweenLevelsMatchReducedDecodes) {
    TempDir dir;
    Fixture f;
    f.width = 600;
    f.height = 400;
    f.bands = 3;
    f.format = CompressFormat::RGB;
    f.ratio = 6;
    f.tileSize = 128;
    f.levels = 4;
    f.pixel = texture(8, 7);
    const fs::path path = dir / "levels.jp2";
    ASSERT_EQ(writeFixture(path, f), Status::Ok);
    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    std::vector<RefImage> refs(4);
    for (int r = 0; r < 4; ++r) ASSERT_TRUE(opjDecode(path, r, refs[size_t(r)]));
    struct NoCache {
        uint64_t limit = cacheLimit();
        NoCache() { setCacheLimit(0); }
        ~NoCache() { setCacheLimit(limit); }
    } noCache;
    for (int r : {0, 3, 1, 0, 2, 3, 3, 1, 0}) {
        SCOPED_TRACE("reduction " + std::to_string(r));
        // 40 x 30 level pixels from level pixel (90 >> r, 70 >> r) on.
        const int fct = 1 << r, xs = 90 >> r, ys = 70 >> r;
        ViewPixels<uint8_t> got;
        ASSERT_EQ(readView(*file, 40, 30, xs * fct, ys * fct, (xs + 40) * fct - 1, (ys + 30) * fct - 1, got), Status::Ok)
            << file->lastError();
        for (int b = 0; b < 3; ++b)
            for (int j = 0; j < 30; ++j)
                for (int i = 0; i < 40; ++i)
                    ASSERT_EQ(got.at(b, i, j), refs[size_t(r)].comps[size_t(b)].at(xs + i, ys + j))
                        << "band " << b << " at " << i << "," << j;
    }
}

TEST(CodecReader, PyramidViewsOfSingleTileAndConformanceFiles) {
    for (const char* name : {"file1.jp2", "p0_03.j2k", "a1_mono.j2c", "p0_12.j2k"}) {
        SCOPED_TRACE(name);
        checkPyramidViews(jp2Dir("conformance") / name);
    }
}

// Where the file has no level coarse enough, each output pixel averages its
// interval of the finest level decoded.
TEST(CodecReader, MissingLevelsAreAveraged) {
    TempDir dir;
    Fixture f;
    f.width = 64;
    f.height = 48;
    f.levels = 1;  // no reduced levels at all
    f.pixel = [](int, int x, int y) { return float((x * 7 + y * 13 + (x * y) % 5) % 256); };
    const fs::path path = dir / "flat.j2k";
    ASSERT_EQ(writeFixture(path, f), Status::Ok);
    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    ASSERT_EQ(file->info().resolutionLevels, 1);

    struct Case {
        int x0, y0, x1, y1, w, h;
    };
    for (Case c : {Case{0, 0, 63, 47, 16, 12}, Case{3, 5, 32, 34, 7, 4}, Case{10, 10, 13, 13, 1, 1}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        ViewPixels<uint8_t> got;
        ASSERT_EQ(readView(*file, c.w, c.h, c.x0, c.y0, c.x1, c.y1, got), Status::Ok) << file->lastError();
        const int W = c.x1 - c.x0 + 1, H = c.y1 - c.y0 + 1;
        for (int j = 0; j < c.h; ++j)
            for (int i = 0; i < c.w; ++i) {
                int xa = c.x0 + i * W / c.w, xb = c.x0 + (i + 1) * W / c.w;
                int ya = c.y0 + j * H / c.h, yb = c.y0 + (j + 1) * H / c.h;
                int sum = 0, n = 0;
                for (int y = ya; y < yb; ++y)
                    for (int x = xa; x < xb; ++x, ++n) sum += int(f.pixel(0, x, y));
                ASSERT_EQ(int(got.at(0, i, j)), (sum + n / 2) / n) << i << "," << j;
            }
    }
}

TEST(CodecReader, AveragingStartsFromTheCoarsestLevelTheFileHas) {
    TempDir dir;
    Fixture f;
    f.width = 96;
    f.height = 64;
    f.levels = 2;
    f.tileSize = 64;
    f.pixel = texture(8, 3);
    const fs::path path = dir / "two.j2k";
    ASSERT_EQ(writeFixture(path, f), Status::Ok);
    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    RefImage half;
    ASSERT_TRUE(opjDecode(path, 1, half));
    // Factor 4: level 1 is decoded, and 2 x 2 of its pixels are averaged.
    ViewPixels<uint8_t> got;
    ASSERT_EQ(readView(*file, 24, 16, 0, 0, 95, 63, got), Status::Ok) << file->lastError();
    for (int j = 0; j < 16; ++j)
        for (int i = 0; i < 24; ++i) {
            const RefComponent& c = half.comps[0];
            int sum = c.at(2 * i, 2 * j) + c.at(2 * i + 1, 2 * j) + c.at(2 * i, 2 * j + 1) + c.at(2 * i + 1, 2 * j + 1);
            ASSERT_EQ(int(got.at(0, i, j)), (sum + 2) / 4) << i << "," << j;
        }
}

// ---- Hand-made JP2 wrappers around codestreams written by the client ----

namespace jp2 = testfiles::jp2;

// Palette and channel definitions are applied on the tile path too (files
// of several tiles), at every reduction.
TEST(CodecReader, PaletteAndChannelOrderApplyToTiledFiles) {
    TempDir dir;
    const int W = 300, H = 200;
    Fixture f;
    f.width = W;
    f.height = H;
    f.tileSize = 64;
    f.levels = 3;
    f.pixel = [](int, int x, int y) { return float((x / 3 + y / 5) % 40); };
    ASSERT_EQ(writeFixture(dir / "index.j2k", f), Status::Ok);

    // 40 entries of three 8-bit columns; every channel from the palette.
    auto colour = [](int entry, int column) { return (entry * 37 + column * 91) % 256; };
    std::vector<std::vector<uint8_t>> entries(40);
    for (int e = 0; e < 40; ++e)
        for (int c = 0; c < 3; ++c) entries[size_t(e)].push_back(uint8_t(colour(e, c)));
    // Channel 0 is blue, 1 green, 2 red: delivered as red, green, blue.
    const fs::path path = dir / "palette.jp2";
    testfiles::writeBytes(path.string(),
                          jp2::file(readBytes(dir / "index.j2k"), jp2::imageHeader(W, H, 1),
                                    {jp2::enumeratedColour(16), jp2::palette(entries),
                                     jp2::componentMapping({{0, 0}, {0, 1}, {0, 2}}),
                                     jp2::channelDefinitions({{0, 0, 3}, {1, 0, 2}, {2, 0, 1}})}));

    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    ASSERT_EQ(file->info().bands, 3);
    ASSERT_GT(file->info().tilesX, 1);
    ViewPixels<uint8_t> got;
    ASSERT_EQ(readView(*file, W, H, 0, 0, W - 1, H - 1, got), Status::Ok) << file->lastError();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int b = 0; b < 3; ++b)
                ASSERT_EQ(got.at(b, x, y), colour(int(f.pixel(0, x, y)), 2 - b)) << x << "," << y << " band " << b;
    // At reduced levels the palette maps the reduced indices (the wavelet's
    // low pass may overshoot the last entry, which then stands for them).
    auto reducedFile = File::open((dir / "index.j2k").string());
    ViewPixels<uint8_t> indices, half;
    ASSERT_EQ(readView(*reducedFile, W / 2, H / 2, 0, 0, W - 1, H - 1, indices), Status::Ok);
    ASSERT_EQ(readView(*file, W / 2, H / 2, 0, 0, W - 1, H - 1, half), Status::Ok);
    for (int y = 0; y < H / 2; ++y)
        for (int x = 0; x < W / 2; ++x)
            ASSERT_EQ(half.at(0, x, y), colour(std::min<int>(indices.at(0, x, y), 39), 2)) << x << "," << y;
}

// An image whose origin on the reference grid is not (0, 0): views are in
// image coordinates and levels follow OpenJPEG's reduced grids.
TEST(CodecReader, ImagesWithAnOffsetOriginReadLikeOpenJpeg) {
    TempDir dir;
    const int w = 203, h = 150;
    const Pixel pixel = texture(8, 5);
    OpjSource src;
    src.x0 = 37;
    src.y0 = 11;
    src.width = w;
    src.height = h;
    src.tile = 64;
    src.sample = [&](int, int x, int y) { return int32_t(pixel(0, x, y)); };
    const fs::path path = dir / "offset.j2k";
    ASSERT_TRUE(opjEncode(path, src));

    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->info().width, w);
    EXPECT_EQ(file->info().height, h);
    ViewPixels<uint8_t> got;
    ASSERT_EQ(readView(*file, w, h, 0, 0, w - 1, h - 1, got), Status::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(got.at(0, x, y), int(pixel(0, x, y))) << x << "," << y;
    checkPyramidViews(path);
}

// A lossless codestream with signed samples, written straight with OpenJPEG
// (the compression client writes unsigned samples only).
void writeSigned(const fs::path& path, int precision, const std::vector<int32_t>& values) {
    OpjSource src;
    src.width = int(values.size());
    src.height = 1;
    src.components = {sampled(1, 1, precision, true)};
    src.levels = 0;
    src.sample = [&](int, int x, int) { return values[size_t(x)]; };
    ASSERT_TRUE(opjEncode(path, src));
}

// Cells of every width map the file's range onto the cell's positive range:
// the smallest value to 0 and the largest to the top.
TEST(CodecReader, CellsAreNormalisedFromTheFilePrecision) {
    TempDir dir;
    struct Case {
        int precision;
        bool isSigned;
    };
    for (Case c : {Case{8, false}, Case{12, false}, Case{16, false}, Case{1, false}, Case{12, true}, Case{16, true}}) {
        SCOPED_TRACE(std::to_string(c.precision) + (c.isSigned ? " signed" : " unsigned"));
        const int64_t max = (int64_t(1) << c.precision) - 1;
        std::vector<int32_t> values;
        for (int64_t v : {int64_t(0), max, max / 2, max / 2 + 1, int64_t(1), max - 1, max / 3})
            values.push_back(int32_t(c.isSigned ? v - (max + 1) / 2 : v));
        const fs::path path = dir / ("n" + std::to_string(c.precision) + (c.isSigned ? "s" : "u") + ".j2k");
        if (c.isSigned) {
            writeSigned(path, c.precision, values);
        } else {
            Fixture f;
            f.width = int(values.size());
            f.height = 1;
            f.precision = c.precision;
            f.levels = 1;
            f.pixel = [&](int, int x, int) { return float(values[size_t(x)]); };
            ASSERT_EQ(writeFixture(path, f), Status::Ok);
        }
        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        EXPECT_EQ(file->info().cellType, c.precision <= 8 ? 0 : 1);
        EXPECT_EQ(file->info().isSigned, c.isSigned);
        const int n = int(values.size());
        ViewPixels<uint8_t> c8;
        ViewPixels<int16_t> c16;
        ViewPixels<int32_t> c32;
        ASSERT_EQ(readView(*file, n, 1, 0, 0, n - 1, 0, c8), Status::Ok);
        ASSERT_EQ(readView(*file, n, 1, 0, 0, n - 1, 0, c16), Status::Ok);
        ASSERT_EQ(readView(*file, n, 1, 0, 0, n - 1, 0, c32), Status::Ok);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(c8.at(0, i, 0), normalised(values[size_t(i)], c.precision, c.isSigned, 255)) << i;
            EXPECT_EQ(c16.at(0, i, 0), normalised(values[size_t(i)], c.precision, c.isSigned, 32767)) << i;
            EXPECT_EQ(c32.at(0, i, 0), normalised(values[size_t(i)], c.precision, c.isSigned, 2147483647)) << i;
        }
        EXPECT_EQ(c8.at(0, 0, 0), 0);
        EXPECT_EQ(c8.at(0, 1, 0), 255);
        EXPECT_EQ(c16.at(0, 1, 0), 32767);
        EXPECT_EQ(c32.at(0, 1, 0), 2147483647);
    }
}

TEST(CodecReader, ViewsSelectAndRepeatBands) {
    auto file = File::open((jp2Dir("conformance") / "file1.jp2").string());
    ASSERT_TRUE(file);
    ViewPixels<uint8_t> all, picked;
    ASSERT_EQ(readView(*file, 40, 30, 100, 200, 179, 259, all), Status::Ok);
    ASSERT_EQ(readView(*file, 40, 30, 100, 200, 179, 259, picked, {2, 0, 2}), Status::Ok);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(picked.at(0, x, y), all.at(2, x, y));
            ASSERT_EQ(picked.at(1, x, y), all.at(0, x, y));
            ASSERT_EQ(picked.at(2, x, y), all.at(2, x, y));
        }
}

TEST(CodecReader, OutputsLargerThanTheRectangleRepeatPixels) {
    auto file = File::open((jp2Dir("conformance") / "file4.jp2").string());
    ASSERT_TRUE(file);
    ViewPixels<uint8_t> src, big;
    ASSERT_EQ(readView(*file, 4, 3, 10, 20, 13, 22, src), Status::Ok);
    ASSERT_EQ(readView(*file, 8, 9, 10, 20, 13, 22, big), Status::Ok);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(big.at(0, x, y), src.at(0, x / 2, y / 3));
}

TEST(CodecReader, BadViewsAreRefused) {
    auto file = File::open((jp2Dir("conformance") / "file1.jp2").string());
    ASSERT_TRUE(file);
    const int W = file->info().width, H = file->info().height;
    const int rgb[] = {0, 1, 2}, bad[] = {0, 3}, negative[] = {-1};
    struct Case {
        const char* what;
        int count;
        const int* bands;
        int w, h, x0, y0, x1, y1;
        Status want;
    };
    const Case cases[] = {
        {"right of the image", 3, rgb, 10, 10, 0, 0, W, 10, Status::InvalidView},
        {"below the image", 3, rgb, 10, 10, 0, H - 5, 9, H, Status::InvalidView},
        {"negative corner", 3, rgb, 10, 10, -1, 0, 9, 9, Status::InvalidView},
        {"reversed rectangle", 3, rgb, 10, 10, 20, 0, 10, 9, Status::InvalidView},
        {"empty output", 3, rgb, 0, 10, 0, 0, 9, 9, Status::InvalidView},
        {"no bands", 0, rgb, 10, 10, 0, 0, 9, 9, Status::InvalidView},
        {"missing band list", 1, nullptr, 10, 10, 0, 0, 9, 9, Status::InvalidView},
        {"band beyond the file", 2, bad, 10, 10, 0, 0, 9, 9, Status::InvalidView},
        {"negative band", 1, negative, 10, 10, 0, 0, 9, 9, Status::InvalidView},
        {"absurd output width", 3, rgb, 1 << 30, 1, 0, 0, 9, 9, Status::TooLarge},
    };
    uint8_t buffer[3][16];
    uint8_t* lines[3] = {buffer[0], buffer[1], buffer[2]};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(file->setView(3, rgb, 16, 1, 0, 0, 15, 0), Status::Ok);
        EXPECT_EQ(file->setView(c.count, c.bands, c.w, c.h, c.x0, c.y0, c.x1, c.y1), c.want);
        EXPECT_FALSE(file->lastError().empty());
        // A refused view leaves no view behind.
        EXPECT_EQ(file->readLine(lines), Status::NoView);
    }
    ASSERT_EQ(file->setView(3, rgb, 16, 2, 0, 0, 15, 1), Status::Ok);
    EXPECT_EQ(file->readLine(lines), Status::Ok);
    EXPECT_EQ(file->readLine(lines), Status::Ok);
    EXPECT_EQ(file->readLine(lines), Status::NoView);
}

TEST(CodecReader, ReadingWithoutAViewFails) {
    auto file = File::open((jp2Dir("conformance") / "file4.jp2").string());
    ASSERT_TRUE(file);
    int16_t line[8];
    int16_t* lines[] = {line};
    EXPECT_EQ(file->readLine(lines), Status::NoView);
}

TEST(CodecReader, FilesThatAreNotJpeg2000AreRefused) {
    TempDir dir;
    auto write = [&](const char* name, std::vector<uint8_t> bytes) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (dir / name).string();
    };
    // An ECW main header: 'e', version 2, blocking, compression format,
    // 3 levels, 1 sideband, 1024 x 768, 3 bands, scale 1, blocks 64 x 64.
    std::vector<uint8_t> ecw = {'e', 2, 1, 4, 3, 1, 0, 0, 4, 0, 0, 0, 3, 0, 0, 3, 0, 1, 0, 64, 0, 64};
    ecw.resize(128, 0);
    const std::string ecwPath = write("photo.ecw", ecw);
    const std::string textPath = write("notes.jp2", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
    const std::string emptyPath = write("empty.j2k", {});
    const std::string signatureOnly = write("cut.jp2", {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A});
    const std::string socOnly = write("cut.j2k", {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x29});

    struct Case {
        std::string path;
        Status want;
        Reader identified;
        const char* messagePart;
    };
    const Case cases[] = {
        {ecwPath, Status::EcwNotSupported, Reader::Ecw, "no ECW codec"},
        {textPath, Status::UnknownFormat, Reader::None, "neither"},
        {emptyPath, Status::UnknownFormat, Reader::None, "neither"},
        {signatureOnly, Status::Corrupt, Reader::Jpeg2000, "cut.jp2"},
        {socOnly, Status::Corrupt, Reader::Jpeg2000, "cut.j2k"},
        {(dir / "missing.jp2").string(), Status::FileNotFound, Reader::None, "missing.jp2"},
        {dir.path().string(), Status::FileOpenFailed, Reader::None, "directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Status status = Status::Ok;
        std::string why;
        EXPECT_EQ(File::open(c.path, &status, &why), nullptr);
        EXPECT_EQ(status, c.want);
        EXPECT_NE(why.find(c.messagePart), std::string::npos) << why;
        EXPECT_EQ(identify(c.path), c.identified);
    }
}

TEST(CodecReader, ErrorTextsCoverEveryCode) {
    std::vector<std::string> seen;
    for (int s = 0; s < int(Status::Count); ++s) {
        std::string text = errorText(Status(s));
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(std::find(seen.begin(), seen.end(), text), seen.end()) << text;
        seen.push_back(text);
    }
    EXPECT_STREQ(errorText(Status::Count), errorText(Status(int(Status::Count) + 7)));
    EXPECT_NE(std::string(errorText(Status::Count)).find("nvalid"), std::string::npos);
    EXPECT_NE(std::string(errorText(Status::EcwNotSupported)).find("no ECW codec"), std::string::npos);
}

// Damaged files: refused, or read without a crash, a hang or a runaway
// allocation. Views at several scales make the decoder touch every part.
class MalformedFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(MalformedFile, IsRefusedOrReadSafely) {
    if (!kSanitized) {
        // Keep a runaway allocation from succeeding on a large machine.
        rlimit limit{4ull << 30, 4ull << 30};
        setrlimit(RLIMIT_AS, &limit);
    }
    Status status;
    std::string why;
    const std::string path = GetParam().string();
    auto file = File::open(path, &status, &why);
    if (!file) {
        EXPECT_NE(status, Status::Ok);
        EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
    } else {
        const FileInfo& i = file->info();
        struct V {
            int x0, y0, x1, y1, w, h;
        };
        const V views[] = {
            {0, 0, i.width - 1, i.height - 1, std::min(i.width, 32), std::min(i.height, 32)},
            {0, 0, std::min(i.width, 64) - 1, std::min(i.height, 64) - 1, std::min(i.width, 64), std::min(i.height, 64)},
            {i.width / 2, i.height / 2, i.width - 1, i.height - 1, std::min(i.width - i.width / 2, 16),
             std::min(i.height - i.height / 2, 16)},
        };
        for (const V& v : views) {
            ViewPixels<uint8_t> got;
            Status s = readView(*file, v.w, v.h, v.x0, v.y0, v.x1, v.y1, got);
            if (s != Status::Ok) {
                EXPECT_EQ(file->lastError().rfind(path + ": ", 0), 0u) << file->lastError();
            }
        }
    }
    if (!kSanitized) {
        rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "kilobytes at peak";
    }
}

// The reason a damaged file is refused, or fails to read, says what is
// wrong with it, not merely that it failed.
TEST(CodecReader, DamagedFilesAreRefusedWithTheirOwnReason) {
    struct Case {
        const char* file;
        const char* reason;  // empty: the file reads
    };
    const Case cases[] = {
        {"2977.pdf.asan.67.2198.jp2", "Unknown progression order in COD marker"},
        {"4149.pdf.SIGSEGV.cf7.3501.jp2", "invalid channel definition (channel 32769 of 4)"},
        {"broken1.jp2", "the box at byte 62 inside the JP2 header claims 4194319 bytes"},
        {"broken2.jp2", "the codestream header cannot be read: A marker ID was expected"},
        {"gdal_fuzzer_assert_in_opj_j2k_read_SQcd_SQcc.patch.jp2", "Invalid component number: 64"},
        {"gdal_fuzzer_check_comp_dx_dy.jp2", "component 0 with 8 bits and sampling 0 x 1"},
        {"gdal_fuzzer_check_number_of_tiles.jp2", "838862 tiles"},
        {"gdal_fuzzer_unchecked_numresolutions.jp2", "SIZ gives an empty image"},
        {"huge-tile-size.jp2", "Invalid number of tiles : 0 x 0"},
        {"issue427-illegal-tile-offset.jp2", "does not hold the image origin"},
        {"issue427-null-image-size.jp2", "SIZ gives an empty image"},
        {"issue726.j2k", "cannot be decoded: Failed to decode all used components"},
        {"issue775.j2k", "Unsupported Mixed HT code-block style"},
        {"issue818.jp2", ""},
        {"issue823.jp2", "beyond 2^31 - 1 it cannot be decoded"},
        {"issue979.j2k", ""},
        {"mem-b2ace68c-1381.jp2", "malformed 'pclr' box"},
        {"tnsot_zero_missing_eoc.jp2", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = (jp2Dir("malformed") / c.file).string();
        std::string why;
        auto file = File::open(path, nullptr, &why);
        if (file) {
            const FileInfo& i = file->info();
            ViewPixels<uint8_t> got;
            if (readView(*file, std::min(i.width, 64), std::min(i.height, 64), 0, 0, i.width - 1, i.height - 1, got) !=
                Status::Ok)
                why = file->lastError();
        }
        if (!*c.reason) {
            EXPECT_EQ(why, "");
            continue;
        }
        EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

INSTANTIATE_TEST_SUITE_P(Malformed, MalformedFile, ::testing::ValuesIn(filesIn(jp2Dir("malformed"))),
                         [](const auto& info) {
                             std::string n = info.param.filename().string();
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

}  // namespace
}  // namespace korvalith::codec::test
