// A stand-in host with both plug-in modules loaded, as every command uses it.
#pragma once

#include <string>

#include "host.h"

namespace korvalith::app {

// Where the modules are: the --modules-dir option, else $KORVALITH_MODULES,
// else the folder of this executable.
std::string moduleDirectory(const std::string& option);

class Session {
public:
    explicit Session(const std::string& moduleDir);
    hostsim::Host& host() { return host_; }
    hostsim::Module& pro() { return *pro_; }
    hostsim::Module& node() { return *node_; }

private:
    hostsim::Host host_;
    hostsim::Module* pro_;
    hostsim::Module* node_;
};

}  // namespace korvalith::app
