#pragma once

#include <ostream>
#include <string>

namespace korvalith::app {

// `korvalith modules`: every server of both modules with class, name and tags.
int runModules(const std::string& moduleDir, std::ostream& out);

}  // namespace korvalith::app
