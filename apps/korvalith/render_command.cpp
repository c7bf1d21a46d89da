// `korvalith render` and `korvalith demo`.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "commands.h"
#include "demo_image.h"
#include "progress.h"
#include "render.h"
#include "scene_file.h"
#include "session.h"

namespace korvalith::app {

int runRender(const std::string& moduleDir, const RenderCommand& command, std::ostream& out) {
    Session session(moduleDir, &std::cerr);
    SceneFile scene = loadScene(session.host(), command.scene);
    RenderRequest request;
    request.output = command.output;
    request.frameStart = command.frames ? command.frames->first : scene.frameStart;
    request.frameEnd = command.frames ? command.frames->second : scene.frameEnd;
    request.width = command.width;
    request.height = command.height;
    request.threads = command.threads;
    request.preview = command.preview;
    if (command.dumpSpot) request.dumpSpot = *command.dumpSpot;
    const RenderSummary summary = renderFrames(session.host(), renderPlugins(scene), request, std::cerr);
    printSummary(summary, out);
    if (command.dumpSpot) printSpot(summary.spot, *command.dumpSpot, out);
    destroyInstances(scene);
    return 0;
}

std::string demoSceneText(const std::string& imagePath) {
    // A globe under a sun, its image mapped spherically around Y, seen
    // from the front and a little above the equator. The spherical
    // projection's footprint divides by the sum of two radii, so at quality
    // 1 a sphere reads one level finer than its pixels need; quality 0.5
    // reads the level that matches them. The plug-in's data is its own text
    // block form; the image path is quoted as that form quotes strings.
    std::string quoted = "\"";
    for (char c : imagePath) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += "\"";
    const std::string data = "{ KorvalithImage\n  { Quality\n    ParameterKind 32\n    StaticValue 0.5\n    State 0\n  }\n"
                             "  { Image\n    Filename " + quoted + "\n  }\n"
                             "  { Projection\n    Axis 1\n    ProjectionType 2\n  }\n}\n";
    const nlohmann::ordered_json scene = {
        {"frames", {{"start", 0}, {"end", 0}, {"fps", 30}}},
        {"frame", {{"width", 1920}, {"height", 1080}, {"pixelAspect", 1}}},
        {"camera", {{"name", "Camera"}, {"position", {0, 0.35, -3.2}}, {"rotation", {{"degrees", {0, 6, 0}}}}, {"fov", 38}}},
        {"lights", {{{"name", "Sun"}, {"position", {-12, 8, -10}}}}},
        {"objects",
         {{{"name", "Planet"}, {"shape", "sphere"}, {"radius", 1}, {"segments", 256}, {"rings", 128},
           {"rotation", {{"degrees", {160, 0, 0}}}},
           {"surface",
            {{"name", "Planet"}, {"colour", {0.1, 0.1, 0.12}},
             {"texture", {{"server", "KorvalithPro"}, {"axis", "y"}, {"center", {0, 0, 0}}, {"size", {1, 1, 1}},
                          {"data", data}}}}}}}}};
    return scene.dump(2) + "\n";
}

int runDemo(const std::string& moduleDir, const DemoCommand& command, std::ostream& out) {
    const bool terminal = isatty(STDERR_FILENO);
    std::string image;
    {
        ProgressBar bar(std::cerr, "demo image", terminal);
        bool generating = false;
        image = ensureDemoImage(command.imageWidth, command.imageWidth / 2, [&](double done) {
            generating = true;
            bar.update(done);
        });
        if (generating) bar.finish();
    }
    out << "image: " << image << "\n";
    const std::string scenePath = demoDataDirectory() + "/korvalith-demo.json";
    {
        std::ofstream scene(scenePath);
        scene << demoSceneText(image);
        if (!scene) throw hostsim::HostError(scenePath + ": the demo scene cannot be written");
    }
    out << "scene: " << scenePath << "\n";
    RenderCommand render;
    render.scene = scenePath;
    render.output = command.output;
    render.threads = command.threads;
    return runRender(moduleDir, render, out);
}

int runTerrain(const TerrainCommand& command, std::ostream& out) {
    TerrainLayer layer = TerrainLayer::Colour;
    if (command.layer == "land") layer = TerrainLayer::Land;
    else if (command.layer == "water") layer = TerrainLayer::WaterMask;
    else if (command.layer == "elevation") layer = TerrainLayer::Elevation;
    writeDemoImage(command.output, command.width, command.width / 2, {}, layer);
    out << "wrote " << command.output << "\n";
    return 0;
}

}  // namespace korvalith::app
