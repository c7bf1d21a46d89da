// Cold reads of a 16384 x 8192 RGB tiled file at the finest and a middle
// level: through the adapter (views, nothing cached) and through OpenJPEG
// directly (whole tiles on a kept codec, and a window with a fresh codec).
// Arguments: codestream tile size, reduction.
//
// The files are written once with the compression client into
// $KORVALITH_BENCH_DATA (default: <temp>/korvalith-bench) and reused.

#include "codec.h"

#include <benchmark/benchmark.h>
#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace korvalith::codec;

constexpr int kWidth = 16384, kHeight = 8192, kBands = 3;
constexpr int kRegion = 1024;  // output pixels per side of one read

bool benchLine(CompressClient* client, int y, float** lines) {
    for (int b = 0; b < kBands; ++b)
        for (int x = 0; x < client->inputWidth; ++x) {
            uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(b) * 83492791u;
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            h ^= h >> 15;
            float wave = 0.5f + 0.3f * std::sin(float(x) * 0.01f + float(b)) * std::cos(float(y) * 0.013f);
            lines[b][x] = 255.0f * (0.8f * wave + 0.2f * float(h & 0xFF) / 255.0f);
        }
    return true;
}

void benchStatus(CompressClient*, int y) {
    if (y % 1024 == 1023) std::fprintf(stderr, "  written %d of %d lines\n", y + 1, kHeight);
}

std::string benchFile(int tile) {
    const char* env = std::getenv("KORVALITH_BENCH_DATA");
    fs::path dir = env && *env ? fs::path(env) : fs::temp_directory_path() / "korvalith-bench";
    fs::create_directories(dir);
    fs::path path = dir / ("codec_rgb_16384x8192_t" + std::to_string(tile) + ".jp2");
    if (fs::exists(path)) return path.string();
    std::fprintf(stderr, "writing %s\n", path.c_str());
    fs::path partial = path;
    partial += ".part.jp2";
    CompressClient* c = compressAllocClient();
    c->inputBands = kBands;
    c->inputWidth = kWidth;
    c->inputHeight = kHeight;
    c->format = CompressFormat::RGB;
    c->targetCompression = 10;
    c->tileSize = tile;
    c->outputFile = partial.string();
    c->readCallback = benchLine;
    c->statusCallback = benchStatus;
    Status s = compressOpen(c);
    if (s == Status::Ok) s = compressRun(c);
    if (s == Status::Ok) s = compressClose(c);
    if (s != Status::Ok) std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), compressLastError(c).c_str());
    else
        std::fprintf(stderr, "  ratio %.1f, %.1f s, %.1f MB/s\n", c->actualCompression, c->compressionSeconds,
                     c->compressionMBSec);
    compressFreeClient(c);
    if (s == Status::Ok) fs::rename(partial, path);
    return path.string();
}

// Regions visited in turn, in level pixels, so successive reads hit
// different tiles.
struct Region {
    int lx, ly;
};
std::vector<Region> regions(int reduction) {
    const int lw = kWidth >> reduction, lh = kHeight >> reduction;
    std::vector<Region> out;
    for (int y = 0; y + kRegion <= lh; y += kRegion)
        for (int x = 0; x + kRegion <= lw; x += kRegion) out.push_back({x, y});
    return out;
}

void quiet(const char*, void*) {}

struct Direct {
    opj_stream_t* stream = nullptr;
    opj_codec_t* codec = nullptr;
    opj_image_t* image = nullptr;
    explicit Direct(const std::string& path, int reduction) {
        stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_TRUE);
        codec = opj_create_decompress(OPJ_CODEC_JP2);
        opj_set_error_handler(codec, quiet, nullptr);
        opj_set_warning_handler(codec, quiet, nullptr);
        opj_set_info_handler(codec, quiet, nullptr);
        opj_dparameters_t p;
        opj_set_default_decoder_parameters(&p);
        opj_setup_decoder(codec, &p);
        ok = opj_read_header(stream, codec, &image) && opj_set_decoded_resolution_factor(codec, OPJ_UINT32(reduction));
    }
    ~Direct() {
        opj_image_destroy(image);
        opj_destroy_codec(codec);
        opj_stream_destroy(stream);
    }
    bool ok = false;
};

void BM_AdapterView(benchmark::State& state) {
    const int tile = int(state.range(0)), r = int(state.range(1)), f = 1 << r;
    auto file = File::open(benchFile(tile));
    if (!file) return state.SkipWithError("cannot open the bench file");
    const uint64_t limit = cacheLimit();
    setCacheLimit(0);  // every read is cold
    purgeCache();
    std::vector<std::vector<uint8_t>> cells(kBands, std::vector<uint8_t>(kRegion));
    uint8_t* lines[kBands] = {cells[0].data(), cells[1].data(), cells[2].data()};
    const int bands[kBands] = {0, 1, 2};
    auto list = regions(r);
    size_t k = 0;
    for (auto _ : state) {
        Region g = list[k++ % list.size()];
        Status s = file->setView(kBands, bands, kRegion, kRegion, g.lx * f, g.ly * f, (g.lx + kRegion) * f - 1,
                                 (g.ly + kRegion) * f - 1);
        for (int y = 0; y < kRegion && s == Status::Ok; ++y) s = file->readLine(lines);
        if (s != Status::Ok) return state.SkipWithError(file->lastError().c_str());
        benchmark::DoNotOptimize(cells[0][0]);
    }
    setCacheLimit(limit);
    state.SetItemsProcessed(state.iterations() * kRegion * kRegion);
}

void BM_OpenJpegTiles(benchmark::State& state) {
    const int tile = int(state.range(0)), r = int(state.range(1)), f = 1 << r;
    Direct d(benchFile(tile), r);
    if (!d.ok) return state.SkipWithError("cannot read the header");
    const int tilesX = (kWidth + tile - 1) / tile;
    auto list = regions(r);
    size_t k = 0;
    for (auto _ : state) {
        Region g = list[k++ % list.size()];
        for (int ty = g.ly * f / tile; ty < (g.ly + kRegion) * f / tile; ++ty)
            for (int tx = g.lx * f / tile; tx < (g.lx + kRegion) * f / tile; ++tx)
                if (!opj_get_decoded_tile(d.codec, d.stream, d.image, OPJ_UINT32(ty * tilesX + tx)))
                    return state.SkipWithError("tile decode failed");
        benchmark::DoNotOptimize(d.image->comps[0].data);
    }
    state.SetItemsProcessed(state.iterations() * kRegion * kRegion);
}

void BM_OpenJpegWindow(benchmark::State& state) {
    const int tile = int(state.range(0)), r = int(state.range(1)), f = 1 << r;
    const std::string path = benchFile(tile);
    auto list = regions(r);
    size_t k = 0;
    for (auto _ : state) {
        Region g = list[k++ % list.size()];
        Direct d(path, r);
        if (!d.ok || !opj_set_decode_area(d.codec, d.image, g.lx * f, g.ly * f, (g.lx + kRegion) * f, (g.ly + kRegion) * f) ||
            !opj_decode(d.codec, d.stream, d.image))
            return state.SkipWithError("window decode failed");
        benchmark::DoNotOptimize(d.image->comps[0].data);
    }
    state.SetItemsProcessed(state.iterations() * kRegion * kRegion);
}

// The image core's pyramid tiles of this image: 513 x 257 level pixels
// (W / 32 + 1, H / 32 + 1), read cold at the level of factor f.
void BM_AdapterPyramidTile(benchmark::State& state) {
    const int tile = int(state.range(0)), r = int(state.range(1)), f = 1 << r;
    auto file = File::open(benchFile(tile));
    if (!file) return state.SkipWithError("cannot open the bench file");
    const uint64_t limit = cacheLimit();
    setCacheLimit(0);
    purgeCache();
    const int tw = kWidth / 32 + 1, th = kHeight / 32 + 1;
    const int perRow = (kWidth / f + tw - 1) / tw, perColumn = (kHeight / f + th - 1) / th;
    std::vector<std::vector<uint8_t>> cells(kBands, std::vector<uint8_t>(size_t(tw)));
    uint8_t* lines[kBands] = {cells[0].data(), cells[1].data(), cells[2].data()};
    const int bands[kBands] = {0, 1, 2};
    long k = 0;
    for (auto _ : state) {
        // A stride that wanders over the level.
        long n = (k++ * 7919) % (long(perRow) * perColumn);
        int xs = int(n % perRow) * tw, ys = int(n / perRow) * th;
        int x0 = f * xs, y0 = f * ys;
        int x1 = std::min(f * (xs + tw), kWidth - 1), y1 = std::min(f * (ys + th), kHeight - 1);
        int pw = (x1 - x0) / f, ph = (y1 - y0) / f;
        if (pw < 1 || ph < 1) continue;
        Status s = file->setView(kBands, bands, pw, ph, x0, y0, x1, y1);
        for (int y = 0; y < ph && s == Status::Ok; ++y) s = file->readLine(lines);
        if (s != Status::Ok) return state.SkipWithError(file->lastError().c_str());
    }
    setCacheLimit(limit);
}

void tileAndLevel(benchmark::internal::Benchmark* b) {
    for (int tile : {512, 1024})
        for (int r : {0, 3}) b->Args({tile, r});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_AdapterView)->Apply(tileAndLevel);
BENCHMARK(BM_OpenJpegTiles)->Apply(tileAndLevel);
BENCHMARK(BM_OpenJpegWindow)->Apply(tileAndLevel);
BENCHMARK(BM_AdapterPyramidTile)->Apply(tileAndLevel);

}  // namespace

BENCHMARK_MAIN();
