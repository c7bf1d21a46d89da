// The shader example at 1920 × 1080 against the same globe with its colour
// from the texture alone: what driving the colour, the specularity and the
// bump through three shaders costs per frame. Two frames each: the first
// reads the images' tiles, the second finds them in memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "render.h"
#include "scene_file.h"
#include "session.h"

namespace {

using namespace korvalith::app;

const std::string kFolder = std::filesystem::temp_directory_path().string();

// Image names in plug-in data made absolute, so the scene may lie elsewhere.
std::string absoluteImages(std::string data) {
    const std::string from = "Filename \"", to = from + EXAMPLES_DIR + "/";
    for (size_t at = 0; (at = data.find(from, at)) != std::string::npos; at += to.size()) data.replace(at, from.size(), to);
    return data;
}

// The example with its shaders, or with the colour shader's image as the
// surface's texture and no shaders.
std::string scenePath(bool shaders) {
    std::ifstream in(std::string(EXAMPLES_DIR) + "/shaded-globe.json");
    nlohmann::ordered_json scene = nlohmann::ordered_json::parse(in);
    scene["frames"] = {{"start", 0}, {"end", 1}, {"fps", 30}};
    scene["frame"]["width"] = 1920;
    scene["frame"]["height"] = 1080;
    auto& surface = scene["objects"][0]["surface"];
    if (shaders) {
        for (auto& shader : surface["shaders"]) shader["data"] = absoluteImages(shader["data"]);
    } else {
        surface.erase("shaders");
        surface["texture"] = {{"server", "KorvalithPro"}, {"axis", "y"},
                              {"data", absoluteImages("{ KorvalithImage\n  { Image\n    Filename \"planet.jp2\"\n  }\n"
                                                      "  { Projection\n    Axis 1\n    ProjectionType 2\n  }\n}\n")}};
    }
    const std::string path = kFolder + (shaders ? "/korvalith-bench-shaded.json" : "/korvalith-bench-textured.json");
    std::ofstream(path) << scene.dump(2) << "\n";
    return path;
}

void renderTwoFrames(benchmark::State& state, bool shaders) {
    const std::string path = scenePath(shaders);
    for (auto _ : state) {
        Session session(MODULE_DIR);
        SceneFile scene = loadScene(session.host(), path);
        RenderRequest request;
        request.output = kFolder + "/korvalith-bench.png";
        request.frameStart = 0;
        request.frameEnd = 1;
        request.progress = false;
        std::ostringstream log;
        const RenderSummary s = renderFrames(session.host(), renderPlugins(scene), request, log);
        state.counters["cold_frame_s"] = s.frameSeconds.at(0);
        state.counters["warm_frame_s"] = s.frameSeconds.at(1);
        state.counters["samples"] = static_cast<double>(s.samples);
        destroyInstances(scene);
    }
    std::remove(path.c_str());
}

void BM_GlobeColourFromTheTexture(benchmark::State& state) { renderTwoFrames(state, false); }
void BM_GlobeThroughThreeShaders(benchmark::State& state) { renderTwoFrames(state, true); }
BENCHMARK(BM_GlobeColourFromTheTexture)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_GlobeThroughThreeShaders)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
