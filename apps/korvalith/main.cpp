// korvalith: a LightWave-like host on the command line for the Korvalith
// plug-ins.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <map>

#include "commands.h"
#include "host.h"
#include "scene_file.h"
#include "session.h"

namespace {

// Edge modes by name or number.
int parseWrap(const std::string& text) {
    static const std::map<std::string, int> names{{"reset", 0}, {"repeat", 1}, {"mirror", 2}, {"edge", 3}};
    if (auto it = names.find(text); it != names.end()) return it->second;
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '3') return text[0] - '0';
    throw CLI::ValidationError("--wrap", "\"" + text + "\" is not an edge mode (reset, repeat, mirror, edge or 0-3)");
}

// "A-B" or "A".
std::pair<int, int> parseFrames(const std::string& text) {
    int a = 0, b = 0;
    char dash = 0, extra = 0;
    const int n = std::sscanf(text.c_str(), "%d%c%d%c", &a, &dash, &b, &extra);
    if (n == 1) return {a, a};
    if (n == 3 && dash == '-' && a <= b) return {a, b};
    throw CLI::ValidationError("--frames", "\"" + text + "\" is not a frame range (A-B with A <= B, or A)");
}

// "WxH" with both at least 1.
void parseSize(const std::string& text, int* width, int* height) {
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", width, &x, height, &extra) != 3 || (x != 'x' && x != 'X') ||
        *width < 1 || *height < 1)
        throw CLI::ValidationError("--size", "\"" + text + "\" is not a picture size (WxH, e.g. 1920x1080)");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "korvalith - runs the KorvalithPro and KorvalithNode plug-in modules in a stand-in LightWave host.\n"
        "The modules texture surfaces with JPEG 2000 images far larger than memory."};
    app.require_subcommand(1);
    std::string moduleDir;
    app.add_option("--modules-dir", moduleDir,
                   "Folder of plug-in modules: KorvalithPro.so, KorvalithNode.so and any other module "
                   "built for this host (default: $KORVALITH_MODULES, else the folder of this program)");

    auto* modules = app.add_subcommand("modules", "Load the modules and list every server with class, name and tags");

    std::string infoPath;
    auto* info = app.add_subcommand("info", "Show an image's information, channel choices and level pyramid");
    info->add_option("FILE", infoPath, "JPEG 2000 image")->required();

    korvalith::app::SampleRequest sample;
    std::vector<double> uv;
    std::vector<std::string> wrap;
    auto* sampleCmd = app.add_subcommand("sample", "Sample an image at one point through the core services");
    sampleCmd->add_option("FILE", sample.path, "JPEG 2000 image")->required();
    sampleCmd->add_option("--uv", uv, "Texture coordinate U,V (0 to 1 spans the image)")
        ->required()
        ->delimiter(',')
        ->expected(2);
    sampleCmd->add_option("--footprint", sample.footprint, "Size of the sampled area in uv units (default 0: finest level)");
    sampleCmd->add_option("--blend", sample.blend, "Part of a level step over which the finer level fades in (default 0)");
    sampleCmd->add_option("--channel", sample.channel, "Channel choice index (see korvalith info; default 0)");
    sampleCmd->add_option("--wrap", wrap, "Edge modes H,V: reset, repeat, mirror or edge (default reset,reset)")
        ->delimiter(',')
        ->expected(2);
    sampleCmd->add_flag("--gradient", sample.gradient, "Print the gradient dx, dy and coverage instead of the colour");

    std::string saveIn, saveOut;
    auto* saveCmd = app.add_subcommand("save", "Load a scene file and write it back, the plug-in data as the plug-in saves it");
    saveCmd->add_option("SCENE", saveIn, "JSON scene file")->required();
    saveCmd->add_option("-o,--output", saveOut, "JSON scene file to write")->required();

    korvalith::app::RenderCommand render;
    std::string frames;
    std::string size;
    auto* renderCmd = app.add_subcommand("render", "Render frames of a scene file to PNG files");
    renderCmd->add_option("SCENE", render.scene, "JSON scene file")->required();
    renderCmd->add_option("-o,--output", render.output,
                          "PNG file; frames of a range get -NNNN before the extension (default render.png)");
    renderCmd->add_option("--frames", frames, "First and last frame, A-B or A (default: the scene's range)");
    renderCmd->add_option("--size", size, "Picture size WxH (default: the scene's frame size)");
    renderCmd->add_option("--threads", render.threads, "Render threads (default: one per core)");
    renderCmd->add_flag("--preview", render.preview, "Render as an interactive preview (\"Low Res Preview\" applies)");
    std::vector<int> dumpSpot;
    renderCmd->add_option("--dump-spot", dumpSpot, "Print every surface value at pixel X,Y of the last frame")
        ->delimiter(',')
        ->expected(2);

    korvalith::app::DemoCommand demo;
    auto* demoCmd = app.add_subcommand(
        "demo", "Generate the demo planet image once (kept in $KORVALITH_DEMO_DATA or ~/.cache/korvalith), "
                "write a globe scene and render it to korvalith-demo.png");
    demoCmd->add_option("-o,--output", demo.output, "PNG file (default korvalith-demo.png)");
    demoCmd->add_option("--image-width", demo.imageWidth, "Width of the generated map (default 32768)");
    demoCmd->add_option("--threads", demo.threads, "Render threads (default: one per core)");

    korvalith::app::TerrainCommand terrain;
    auto* terrainCmd = app.add_subcommand(
        "terrain", "Write one map of the demo planet as JPEG 2000: its colours with the labelled grid, its colours "
                   "alone (land), its water mask or its elevation");
    terrainCmd->add_option("LAYER", terrain.layer, "colour, land, water or elevation")
        ->required()
        ->check(CLI::IsMember({"colour", "land", "water", "elevation"}));
    terrainCmd->add_option("-o,--output", terrain.output, "JPEG 2000 file to write")->required();
    terrainCmd->add_option("--width", terrain.width, "Width of the map; the height is half (default 1024)")
        ->check(CLI::Range(16, 65536));

    try {
        app.parse(argc, argv);
        if (renderCmd->parsed()) {
            if (!frames.empty()) render.frames = parseFrames(frames);
            if (!size.empty()) parseSize(size, &render.width, &render.height);
            if (!dumpSpot.empty()) {
                if (dumpSpot.at(0) < 0 || dumpSpot.at(1) < 0)
                    throw CLI::ValidationError("--dump-spot", "a pixel has no negative coordinates");
                render.dumpSpot = std::array<int, 2>{dumpSpot.at(0), dumpSpot.at(1)};
            }
        }
        if (sampleCmd->parsed()) {
            sample.uv[0] = uv.at(0);
            sample.uv[1] = uv.at(1);
            if (!wrap.empty()) {
                sample.wrap[0] = parseWrap(wrap.at(0));
                sample.wrap[1] = parseWrap(wrap.at(1));
            }
        }
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    try {
        const std::string dir = korvalith::app::moduleDirectory(moduleDir);
        if (modules->parsed()) return korvalith::app::runModules(dir, std::cout, std::cerr);
        if (info->parsed()) return korvalith::app::runInfo(dir, infoPath, std::cout);
        if (sampleCmd->parsed()) return korvalith::app::runSample(dir, sample, std::cout);
        if (saveCmd->parsed()) return korvalith::app::runSave(dir, saveIn, saveOut);
        if (renderCmd->parsed()) return korvalith::app::runRender(dir, render, std::cout);
        if (demoCmd->parsed()) return korvalith::app::runDemo(dir, demo, std::cout);
        if (terrainCmd->parsed()) return korvalith::app::runTerrain(terrain, std::cout);
    } catch (const std::exception& e) {
        // Host errors, scene file errors and codec failures all name what went wrong.
        std::cerr << "korvalith: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
