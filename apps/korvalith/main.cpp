// korvalith: a LightWave-like host on the command line for the Korvalith
// plug-ins.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"
#include "host.h"
#include "session.h"

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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    try {
        const std::string dir = korvalith::app::moduleDirectory(moduleDir);
        if (modules->parsed()) return korvalith::app::runModules(dir, std::cout);
    } catch (const hostsim::HostError& e) {
        std::cerr << "korvalith: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
