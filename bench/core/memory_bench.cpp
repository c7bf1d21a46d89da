// Memory while sampling a very wide image: 1000 random full-resolution
// samples, then release passes. The second pass unlinks the tiles; their
// memory goes back at the third, since a pass frees what the one before
// it unlinked (samples may still have been reading it).
#include <benchmark/benchmark.h>

#include <random>

#include "bench_support.h"
#include "registry.h"
#include "sampler.h"

namespace {

using namespace korvalith;

void BM_ThousandRandomFullResolutionSamples(benchmark::State& state) {
    bench::startCore();
    const std::string path = bench::benchImage(32768, 16384, static_cast<int>(state.range(0)));
    state.counters["resident_before_MB"] = bench::residentBytes() / 1048576.0;
    for (auto _ : state) {
        CoreImage* image = ImageRegistry::instance().acquireImage(path.c_str());
        if (!image) {
            state.SkipWithError("benchmark image cannot be opened");
            return;
        }
        state.counters["resident_after_open_MB"] = bench::residentBytes() / 1048576.0;
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> unit(0, 1);
        float rgba[4], scalar;
        for (int i = 0; i < 1000; ++i) {
            const double uv[2] = {unit(rng), unit(rng)};
            sampleImage(image, uv, 0, 0, 0, rgba, &scalar, kEdgeReset, kEdgeReset);
        }
        state.counters["memoryUsed_MB"] = image->memoryUsed() / 1048576.0;
        state.counters["resident_MB"] = bench::residentBytes() / 1048576.0;
        state.counters["peak_resident_MB"] = bench::peakResidentBytes() / 1048576.0;
        image->release();
        image->release();
        state.counters["memoryUsed_after_two_passes"] = image->memoryUsed();
        state.counters["resident_after_two_passes_MB"] = bench::residentBytes() / 1048576.0;
        image->release();
        state.counters["resident_after_three_passes_MB"] = bench::residentBytes() / 1048576.0;
        ImageRegistry::instance().releaseImage(image);
    }
}
BENCHMARK(BM_ThousandRandomFullResolutionSamples)->Arg(1)->Arg(3)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
