// Speed of the stand-in host's renderer: building the hierarchy over many
// triangles, and a full HD frame of a modest mesh.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "geometry.h"
#include "raycaster.h"
#include "scene.h"

namespace {

struct Setup {
    hostsim::Scene scene;
    hostsim::Geometry geometry;
    explicit Setup(hostsim::Mesh mesh) {
        const LWItemID camera = scene.addCamera("Camera");
        scene.setPosition(camera, {0, 0, -4});
        const LWItemID object = scene.addObject("Sphere");
        geometry.setMesh(object, std::make_shared<const hostsim::Mesh>(std::move(mesh)));
    }
};

const hostsim::SurfaceShader kFlat = [](const hostsim::SurfaceHit& hit, hostsim::SurfaceValues& values, int) {
    values.colour = {hit.uv[0], hit.uv[1], 0.5};
};

// A small image, so that nearly all the time goes into the hierarchy over
// the given number of triangles (segments x 2 (rings - 1) for a sphere).
void BM_BuildSphere(benchmark::State& state) {
    const int segments = int(state.range(0));
    Setup setup(hostsim::makeSphere(1, segments, segments / 2));
    hostsim::RenderSettings settings;
    settings.width = settings.height = 64;
    settings.threads = int(state.range(1));
    for (auto _ : state) benchmark::DoNotOptimize(hostsim::render(setup.scene, setup.geometry, settings, kFlat));
    state.counters["triangles"] = double(segments) * (segments - 2);
}
BENCHMARK(BM_BuildSphere)->ArgsProduct({{128, 1000}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();

// 1920 x 1080 of a sphere of about 8000 triangles filling most of the frame.
void BM_RenderFullHd(benchmark::State& state) {
    Setup setup(hostsim::makeSphere(1, 90, 45));
    hostsim::RenderSettings settings;
    settings.width = 1920;
    settings.height = 1080;
    settings.threads = int(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(hostsim::render(setup.scene, setup.geometry, settings, kFlat));
    state.counters["Mrays/s"] = benchmark::Counter(1920.0 * 1080 * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderFullHd)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
