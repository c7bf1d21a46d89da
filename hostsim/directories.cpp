#include "directories.h"

#include <filesystem>

#include "host.h"

namespace hostsim {

namespace {
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

const char* dirInfo(const char* type) {
    Host* host = Host::current();
    return host ? host->directories().answer(type) : nullptr;
}
}  // namespace

Directories::Directories() {
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    setContent(ec ? std::string(".") : cwd);
}

LWDirInfoFunc* Directories::function() { return dirInfo; }

void Directories::set(const std::string& type, const std::string& path) {
    std::lock_guard lock(mutex_);
    texts_.push_back(path);
    paths_[type] = texts_.size() - 1;
}

void Directories::remove(const std::string& type) {
    std::lock_guard lock(mutex_);
    paths_.erase(type);
}

void Directories::setContent(const std::string& dir) {
    set("Content", dir);
    set("Images", dir.empty() || dir.back() == kSeparator ? dir + "Images" : dir + kSeparator + "Images");
}

std::optional<std::string> Directories::get(const std::string& type) const {
    std::lock_guard lock(mutex_);
    auto it = paths_.find(type);
    if (it == paths_.end()) return std::nullopt;
    return texts_[it->second];
}

const char* Directories::answer(const char* type) {
    std::lock_guard lock(mutex_);
    asked_.push_back(type ? type : "");
    if (!type) return nullptr;
    auto it = paths_.find(type);
    return it == paths_.end() ? nullptr : texts_[it->second].c_str();
}

std::vector<std::string> Directories::asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
}

}  // namespace hostsim
