#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "lwmodule.h"
#include "node_editor.h"
#include "session.h"

namespace korvalith::app {

namespace {
const char* tagName(uint32_t tag) {
    switch (tag) {
        case SRVTAG_USERNAME: return "user name";
        case SRVTAG_CMDGROUP: return "group";
        case SRVTAG_BUTTONNAME: return "button";
        case SRVTAG_MENU: return "menu";
        case SRVTAG_DESCRIPTION: return "description";
        case SRVTAG_NODEGROUP: return "node menu";
    }
    return "tag";
}

void listModule(const hostsim::Module& module, std::ostream& out) {
    out << std::filesystem::path(module.path()).stem().string() << "  (" << module.path() << ")\n";
    for (const auto& server : module.servers()) {
        out << "  " << server.className << " \"" << server.name << "\"\n";
        if (server.tags.empty()) out << "      (no tags)\n";
        for (const auto& tag : server.tags) {
            char number[32];
            std::snprintf(number, sizeof number, "0x%05x|0x%04x", tag.code, tag.language);
            out << "      " << number << " " << tagName(tag.code) << ": \"" << tag.text << "\"\n";
        }
    }
}
}  // namespace

int runModules(const std::string& moduleDir, std::ostream& out, std::ostream& log) {
    Session session(moduleDir, &log);
    bool first = true;
    for (const auto& module : session.host().modules()) {
        if (!first) out << "\n";
        first = false;
        listModule(*module, out);
    }
    // What the node editor offers: its own nodes and the modules' node servers.
    std::string types;
    for (const std::string& type : session.host().nodeEditor().types()) types += (types.empty() ? "" : ", ") + type;
    out << "\nnode types: " << types << "\n";
    return 0;
}

}  // namespace korvalith::app
