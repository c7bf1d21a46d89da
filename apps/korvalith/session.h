// A stand-in host with the plug-in modules of a folder loaded, as every
// command uses it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host.h"

namespace korvalith::app {

// Where the modules are: the --modules-dir option, else $KORVALITH_MODULES,
// else the folder of this executable.
std::string moduleDirectory(const std::string& option);

// A module of the folder that the host could not load, and why.
struct ModuleFailure {
    std::string path;
    std::string reason;
};

class Session {
public:
    // Loads every module (*.so) of the folder, as a host loads its plug-in
    // folder: KorvalithPro first, then KorvalithNode, then the others by
    // name, so that a server name ours serve finds ours. KorvalithPro must
    // load (HostError otherwise); any other module that fails is reported
    // on log by name with the reason, and the rest still load.
    explicit Session(const std::string& moduleDir, std::ostream* log = nullptr);
    hostsim::Host& host() { return host_; }
    hostsim::Module& pro() { return *pro_; }
    // Null when KorvalithNode did not load.
    hostsim::Module* node() { return node_; }
    const std::vector<ModuleFailure>& failures() const { return failures_; }

private:
    hostsim::Host host_;
    hostsim::Module* pro_ = nullptr;
    hostsim::Module* node_ = nullptr;
    std::vector<ModuleFailure> failures_;
};

}  // namespace korvalith::app
