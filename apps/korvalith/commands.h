#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <utility>
#include <string>

namespace korvalith::app {

// `korvalith modules`: every server of the loaded modules with class, name
// and tags, then the node editor's node types; modules that did not load
// are reported on log.
int runModules(const std::string& moduleDir, std::ostream& out, std::ostream& log);

// `korvalith info FILE`: image information, channel choices and pyramid.
int runInfo(const std::string& moduleDir, const std::string& path, std::ostream& out);

struct SampleRequest {
    std::string path;
    double uv[2] = {0.5, 0.5};
    double footprint = 0;
    double blend = 0;
    int channel = 0;
    int wrap[2] = {0, 0};
    bool gradient = false;
};

// `korvalith sample FILE --uv U,V ...`: one sample through the core services.
int runSample(const std::string& moduleDir, const SampleRequest& request, std::ostream& out);

// `korvalith save SCENE -o OUT`: loads a scene file and writes it back.
int runSave(const std::string& moduleDir, const std::string& scenePath, const std::string& outPath);

struct RenderCommand {
    std::string scene;
    std::string output = "render.png";
    std::optional<std::pair<int, int>> frames;  // first and last; default: the scene's range
    int width = 0, height = 0;                  // 0: the scene's frame size
    int threads = 0;                            // 0: one per core
    bool preview = false;                       // render mode 0 ("Low Res Preview" applies)
    std::optional<std::array<int, 2>> dumpSpot;  // a pixel whose surface values are printed
};

// `korvalith render SCENE ...`: renders frames of a scene file to PNG files.
int runRender(const std::string& moduleDir, const RenderCommand& command, std::ostream& out);

struct DemoCommand {
    std::string output = "korvalith-demo.png";
    int imageWidth = 32768;  // the generated map is twice as wide as high
    int threads = 0;
};

// `korvalith demo`: generates the demo planet once, writes its scene and
// renders it.
int runDemo(const std::string& moduleDir, const DemoCommand& command, std::ostream& out);

struct TerrainCommand {
    std::string layer;   // "colour", "land", "water" or "elevation"
    std::string output;  // a .jp2 file
    int width = 1024;    // the map is twice as wide as high
};

// `korvalith terrain LAYER -o FILE`: one map of the demo planet.
int runTerrain(const TerrainCommand& command, std::ostream& out);

// The demo's scene for an image.
std::string demoSceneText(const std::string& imagePath);

}  // namespace korvalith::app
