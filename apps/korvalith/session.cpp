#include "session.h"

#include <cstdlib>
#include <filesystem>

namespace korvalith::app {

std::string moduleDirectory(const std::string& option) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("KORVALITH_MODULES"); env && *env) return env;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

Session::Session(const std::string& moduleDir)
    : pro_(&host_.loadModule(moduleDir + "/KorvalithPro.so")),
      node_(&host_.loadModule(moduleDir + "/KorvalithNode.so")) {}

}  // namespace korvalith::app
