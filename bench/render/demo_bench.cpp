// The demo frame at 1920 × 1080 from a cold start (image generated before,
// nothing of it read yet), and ten frames of the turning globe: later
// frames reuse the tiles, and the release pass at each frame change keeps
// memory bounded.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "codec.h"
#include "commands.h"
#include "demo_image.h"
#include "render.h"
#include "scene_file.h"
#include "session.h"

namespace {

using namespace korvalith::app;

std::string demoScene(bool animated) {
    static const std::string image = [] {
        korvalith::codec::startup();
        return ensureDemoImage(32768, 16384);
    }();
    std::string text = demoSceneText(image);
    if (animated) {
        // Ten frames, the planet turning 40 degrees.
        nlohmann::ordered_json scene = nlohmann::ordered_json::parse(text);
        scene["frames"]["end"] = 9;
        scene["objects"][0]["keys"] = {{{"time", 0}, {"rotation", {{"degrees", {160, 0, 0}}}}},
                                       {{"time", 0.3}, {"rotation", {{"degrees", {200, 0, 0}}}}}};
        text = scene.dump(2) + "\n";
    }
    const std::string path = demoDataDirectory() + (animated ? "/bench-animated.json" : "/bench-still.json");
    std::ofstream(path) << text;
    return path;
}

void BM_DemoFrameFromCold(benchmark::State& state) {
    const std::string path = demoScene(false);
    for (auto _ : state) {
        Session session(MODULE_DIR);
        SceneFile scene = loadScene(session.host(), path);
        RenderRequest request;
        request.output = demoDataDirectory() + "/bench-still.png";
        request.progress = false;
        std::ostringstream log;
        const RenderSummary s = renderFrames(session.host(), renderPlugins(scene), request, log);
        state.counters["tiles_read"] = static_cast<double>(s.tilesRead);
        state.counters["decoded_MB"] = s.bytesDecoded / 1048576.0;
        state.counters["peak_memoryUsed_MB"] = s.peakMemoryUsed / 1048576.0;
        destroyInstances(scene);
    }
    state.counters["peak_resident_MB"] = peakResidentBytes() / 1048576.0;
}
BENCHMARK(BM_DemoFrameFromCold)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_TenFramesOfTheTurningGlobe(benchmark::State& state) {
    const std::string path = demoScene(true);
    for (auto _ : state) {
        Session session(MODULE_DIR);
        SceneFile scene = loadScene(session.host(), path);
        RenderRequest request;
        request.output = demoDataDirectory() + "/bench-animated.png";
        request.frameStart = 0;
        request.frameEnd = 9;
        request.progress = false;
        std::ostringstream log;
        const RenderSummary s = renderFrames(session.host(), renderPlugins(scene), request, log);
        for (size_t frame = 0; frame < s.frameSeconds.size(); ++frame) {
            const std::string n = std::to_string(frame);
            state.counters["frame" + n + "_s"] = s.frameSeconds[frame];
            state.counters["frame" + n + "_resident_MB"] = s.frameResident[frame] / 1048576.0;
        }
        state.counters["tiles_read"] = static_cast<double>(s.tilesRead);
        destroyInstances(scene);
    }
    state.counters["peak_resident_MB"] = peakResidentBytes() / 1048576.0;
}
BENCHMARK(BM_TenFramesOfTheTurningGlobe)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
