#include "session.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace korvalith::app {

namespace fs = std::filesystem;

std::string moduleDirectory(const std::string& option) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("KORVALITH_MODULES"); env && *env) return env;
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

namespace {

constexpr const char* kPro = "KorvalithPro.so";
constexpr const char* kNode = "KorvalithNode.so";

// The folder's other modules, by file name.
std::vector<std::string> otherModules(const std::string& folder) {
    std::vector<std::string> paths;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        const std::string name = p.filename().string();
        if (p.extension() != ".so" || name == kPro || name == kNode) continue;
        std::error_code kind;
        if (it->is_regular_file(kind) || it->is_symlink(kind)) paths.push_back(p.string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace

Session::Session(const std::string& moduleDir, std::ostream* log) {
    pro_ = &host_.loadModule(moduleDir + "/" + kPro);
    std::vector<std::string> rest{moduleDir + "/" + kNode};
    for (std::string& path : otherModules(moduleDir)) rest.push_back(std::move(path));
    for (const std::string& path : rest) {
        try {
            hostsim::Module& module = host_.loadModule(path);
            if (fs::path(path).filename() == kNode) node_ = &module;
        } catch (const hostsim::HostError& e) {
            failures_.push_back({path, e.what()});
            if (log) *log << "korvalith: module " << fs::path(path).filename().string() << " not loaded: " << e.what() << "\n";
        }
    }
}

}  // namespace korvalith::app
