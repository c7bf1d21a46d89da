// Sampling speed on cached tiles: random coordinates over the whole image
// (bound by memory latency) and within a 512 × 512 window (tiles in the
// processor's caches), coherent coordinates, one level and a blend across
// two, on one and two threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "bench_support.h"
#include "registry.h"
#include "sampler.h"

namespace {

using namespace korvalith;

constexpr int kPoints = 1 << 16;

struct Setup {
    CoreImage* image = nullptr;
    std::vector<double> random;    // u, v pairs over the whole image
    std::vector<double> window;    // u, v pairs over a 512 × 512 pixel window
    std::vector<double> coherent;  // u, v pairs along rows, pixel by pixel
    double footprintOneLevel = 0;  // the finest level alone
    double footprintBlend = 0;     // halfway between the two finest levels
};

const Setup& setup() {
    static const Setup s = [] {
        bench::startCore();
        Setup s;
        s.image = ImageRegistry::instance().acquireImage(bench::benchImage(8192, 8192).c_str());
        if (!s.image) throw std::runtime_error("benchmark image cannot be opened");
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> unit(0, 1);
        for (int i = 0; i < kPoints; ++i) {
            s.random.push_back(unit(rng));
            s.random.push_back(unit(rng));
        }
        std::uniform_real_distribution<double> inWindow(0.4, 0.4 + 512.0 / 8192);
        for (int i = 0; i < kPoints; ++i) {
            s.window.push_back(inWindow(rng));
            s.window.push_back(inWindow(rng));
        }
        for (int i = 0; i < kPoints; ++i) {
            s.coherent.push_back((i % 4096 + 0.5) / 8192.0 + 0.25);
            s.coherent.push_back((i / 4096 + 0.5) / 8192.0 + 0.4);
        }
        const int tile = std::min(s.image->tileWidth(), s.image->tileHeight());
        s.footprintOneLevel = 0;
        s.footprintBlend = std::pow(2.0, -(s.image->levelCount() - 1.5)) / tile;
        // Every tile these points touch is read before timing starts.
        float rgba[4], scalar;
        for (const auto* points : {&s.random, &s.window, &s.coherent})
            for (int i = 0; i < kPoints; ++i)
                for (double f : {s.footprintOneLevel, s.footprintBlend})
                    sampleImage(s.image, &(*points)[2 * i], f, 1.0, 0, rgba, &scalar, kEdgeRepeat, kEdgeRepeat);
        return s;
    }();
    return s;
}

void run(benchmark::State& state, const std::vector<double>& points, double footprint) {
    const Setup& s = setup();
    float rgba[4];
    float scalar;
    int i = state.thread_index() * 997;
    for (auto _ : state) {
        i = (i + 1) & (kPoints - 1);
        benchmark::DoNotOptimize(
            sampleImage(s.image, &points[2 * i], footprint, 1.0, 0, rgba, &scalar, kEdgeRepeat, kEdgeRepeat));
        benchmark::DoNotOptimize(rgba);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SampleRandomOneLevel(benchmark::State& state) { run(state, setup().random, setup().footprintOneLevel); }
void BM_SampleRandomBlended(benchmark::State& state) { run(state, setup().random, setup().footprintBlend); }
void BM_SampleRandomInWindowOneLevel(benchmark::State& state) { run(state, setup().window, setup().footprintOneLevel); }
void BM_SampleRandomInWindowBlended(benchmark::State& state) { run(state, setup().window, setup().footprintBlend); }
void BM_SampleCoherentOneLevel(benchmark::State& state) { run(state, setup().coherent, setup().footprintOneLevel); }
void BM_SampleCoherentBlended(benchmark::State& state) { run(state, setup().coherent, setup().footprintBlend); }

void BM_GradientCoherent(benchmark::State& state) {
    const Setup& s = setup();
    float dx, dy;
    int i = state.thread_index() * 997;
    for (auto _ : state) {
        i = (i + 1) & (kPoints - 1);
        benchmark::DoNotOptimize(sampleGradient(s.image, &s.coherent[2 * i], s.footprintOneLevel, 1.0, 0, &dx, &dy,
                                                kEdgeRepeat, kEdgeRepeat));
    }
    state.SetItemsProcessed(state.iterations());
}

// The floor under random sampling over the whole image: one memory latency.
// A sample is long enough that the processor cannot start the next sample's
// pixel read while the current one waits for memory, so each random sample
// pays a full read from memory, address translation included. This chases
// pointers through memory the size of the finest level's tiles, one cache
// line at a random place per step, to show that latency on this machine.
void BM_MemoryLatencyOverTileSizedMemory(benchmark::State& state) {
    constexpr size_t kLine = 64 / sizeof(uint32_t);
    static const std::vector<uint32_t> memory = [] {
        std::vector<uint32_t> m(size_t(8192) * 8192 * 3 / sizeof(uint32_t));
        std::vector<uint32_t> order(m.size() / kLine);
        for (size_t i = 0; i < order.size(); ++i) order[i] = uint32_t(i * kLine);
        std::shuffle(order.begin(), order.end(), std::mt19937_64(2));
        for (size_t i = 0; i < order.size(); ++i) m[order[i]] = order[(i + 1) % order.size()];
        return m;
    }();
    uint32_t at = uint32_t(state.thread_index()) * kLine * 997;
    for (auto _ : state) {
        at = memory[at];
        benchmark::DoNotOptimize(at);
    }
    state.SetItemsProcessed(state.iterations());
}

// Per-thread rates: items_per_second divided by the thread count.
BENCHMARK(BM_SampleRandomOneLevel)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SampleRandomBlended)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SampleRandomInWindowOneLevel)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SampleRandomInWindowBlended)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SampleCoherentOneLevel)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SampleCoherentBlended)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_GradientCoherent)->Threads(1)->UseRealTime();
BENCHMARK(BM_MemoryLatencyOverTileSizedMemory)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
