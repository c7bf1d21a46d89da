// korvalith: a LightWave-like host on the command line for the Korvalith
// plug-ins.
#include <CLI/CLI.hpp>
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

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "korvalith - runs the KorvalithPro and KorvalithNode plug-in modules in a stand-in LightWave host.\n"
        "The modules texture surfaces with JPEG 2000 images far larger than memory."};
    app.require_subcommand(1);
    std::string moduleDir;
    app.add_option("--modules-dir", moduleDir,
                   "Folder holding KorvalithPro.so and KorvalithNode.so (default: $KORVALITH_MODULES, "
                   "else the folder of this program)");

    auto* modules = app.add_subcommand("modules", "Load both modules and list every server with class, name and tags");

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

    try {
        app.parse(argc, argv);
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
        if (modules->parsed()) return korvalith::app::runModules(dir, std::cout);
        if (info->parsed()) return korvalith::app::runInfo(dir, infoPath, std::cout);
        if (sampleCmd->parsed()) return korvalith::app::runSample(dir, sample, std::cout);
        if (saveCmd->parsed()) return korvalith::app::runSave(dir, saveIn, saveOut);
    } catch (const korvalith::app::SceneError& e) {
        std::cerr << "korvalith: " << e.what() << "\n";
        return 1;
    } catch (const hostsim::HostError& e) {
        std::cerr << "korvalith: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
