// The shader example at 1920 × 1080 against the same globe with its colour
// from the texture alone: what driving the colour, the specularity and the
// bump through three shaders costs per frame. Two frames each: the first
// reads the images' tiles, the second finds them in memory.
#include <benchmark/benchmark.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "scene_frames.h"

namespace {

using namespace benchscene;

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

void renderExample(benchmark::State& state, bool shaders) {
    renderTwoFrames(state, scenePath(shaders), kFolder + "/korvalith-bench.png");
}

void BM_GlobeColourFromTheTexture(benchmark::State& state) { renderExample(state, false); }
void BM_GlobeThroughThreeShaders(benchmark::State& state) { renderExample(state, true); }
BENCHMARK(BM_GlobeColourFromTheTexture)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_GlobeThroughThreeShaders)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
