// The node example at 1920 × 1080 against the same picture through the
// texture layer: the colour node's image and the colour corrector's
// settings as the surface's colour texture with its own colour correction,
// the relief node's image as a bump shader. What evaluating the surface
// through the node graph costs per frame. Two frames each: the first reads
// the images' tiles, the second finds them in memory.
#include <benchmark/benchmark.h>

#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "scene_frames.h"

namespace {

using namespace benchscene;
using Json = nlohmann::ordered_json;

// text with its one `from` replaced; the example must still read as the
// benchmark expects.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("node-globe.json: no \"" + from + "\" in " + text);
    return text.replace(at, from.size(), to);
}

const Json& node(const Json& surface, const std::string& type, const std::string& output) {
    // The node of the type whose output feeds the surface (directly or not).
    for (const Json& c : surface["connections"])
        if (c["output"] == output)
            for (const Json& n : surface["nodes"])
                if (n["name"] == c["from"] && n["type"] == type) return n;
    throw std::runtime_error("node-globe.json: no " + type + " node gives \"" + output + "\"");
}

// The node example, or the same picture through the texture layer.
std::string scenePath(bool nodes) {
    std::ifstream in(std::string(EXAMPLES_DIR) + "/node-globe.json");
    Json scene = Json::parse(in);
    scene["frames"] = {{"start", 0}, {"end", 1}, {"fps", 30}};
    scene["frame"]["width"] = 1920;
    scene["frame"]["height"] = 1080;
    Json& surface = scene["objects"][0]["surface"];
    if (nodes) {
        for (Json& n : surface["nodes"])
            if (n.contains("data")) n["data"] = absoluteImages(n["data"]);
    } else {
        const std::string colour = node(surface, "KorvalithPro", "Colour")["data"];
        const std::string relief = node(surface, "KorvalithPro", "Normal")["data"];
        // The corrector's settings become the texture layer's own correction
        // (the last block of its image group).
        std::string correction;
        for (const Json& n : surface["nodes"])
            if (n["type"] == "SimpleColourCorrector") correction = n["data"];
        std::string texture = colour;
        if (!correction.empty()) {
            const size_t begin = correction.find("{ SimpleColourCorrection");
            const size_t end = correction.find("\n}\n", begin);
            const size_t close = texture.rfind("}\n");
            if (begin == std::string::npos || end == std::string::npos || close == std::string::npos)
                throw std::runtime_error("node-globe.json: the corrector's settings or the image group are not found");
            std::string indented;
            std::istringstream block(correction.substr(begin, end + 2 - begin));
            for (std::string line; std::getline(block, line);) indented += "  " + line + "\n";
            texture = texture.substr(0, close) + indented + "}\n";
        }
        surface.erase("nodes");
        surface.erase("connections");
        surface["texture"] = {{"server", "KorvalithPro"}, {"axis", "y"}, {"data", absoluteImages(texture)}};
        surface["shaders"] = Json::array(
            {{{"server", "KorvalithPro"},
              {"data", absoluteImages(replaced(relief, "{ BumpAmplitude", "{ SurfaceChannel\n  9\n}\n{ SurfaceChannelStrength"))}}});
    }
    const std::string path = kFolder + (nodes ? "/korvalith-bench-nodes.json" : "/korvalith-bench-layer.json");
    std::ofstream(path) << scene.dump(2) << "\n";
    return path;
}

void renderExample(benchmark::State& state, bool nodes) {
    renderTwoFrames(state, scenePath(nodes),
                    kFolder + (nodes ? "/korvalith-bench-nodes.png" : "/korvalith-bench-layer.png"));
}

void BM_GlobeThroughTheTextureLayer(benchmark::State& state) { renderExample(state, false); }
void BM_GlobeThroughNodes(benchmark::State& state) { renderExample(state, true); }
BENCHMARK(BM_GlobeThroughTheTextureLayer)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_GlobeThroughNodes)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
