#include "content_path.h"

#include <filesystem>

#include "host_access.h"
#include "lwhost.h"

namespace korvalith {

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

constexpr int kLoadedPathBuffer = 1024;  // 1023 characters and the terminator

}  // namespace

std::string replaceExtension(const std::string& fileName, const std::string& extension) {
    const size_t dot = fileName.rfind('.');
    return (dot == std::string::npos ? fileName : fileName.substr(0, dot)) + extension;
}

std::string extensionOfSaver(const char* saverName) {
    if (!saverName) return {};
    const std::string name = saverName;
    const size_t open = name.rfind('(');
    const size_t close = name.rfind(')');
    // A ")" before the last "(" encloses nothing.
    if (open == std::string::npos || close == std::string::npos || close < open) return {};
    return name.substr(open + 1, close - open - 1);
}

std::optional<std::string> pathBelow(const std::string& path, const std::string& directory, char separator) {
    if (directory.empty()) return std::nullopt;
    std::string d = directory;
    while (!d.empty() && d.back() == separator) d.pop_back();
    if (path == d && !d.empty()) return std::string();
    if (path.size() > d.size() && path.compare(0, d.size(), d) == 0 && path[d.size()] == separator)
        return path.substr(d.size() + 1);
    return std::nullopt;
}

ContentPath::ContentPath(const char* directoryType, char separator) : separator_(separator) {
    setDirectoryType(directoryType);
}

void ContentPath::setDirectoryType(const char* directoryType) {
    hasType_ = directoryType != nullptr;
    directoryType_ = directoryType ? directoryType : "";
}

void ContentPath::setFileName(const std::string& name) {
    fileName_ = name;
    fullPathCurrent_ = false;
}

void ContentPath::setSubDirectory(const std::string& dir, bool relative) {
    subDirectory_ = dir;
    relative_ = relative;
    fullPathCurrent_ = false;
}

void ContentPath::setFullPath(const std::string& path) {
    fullPath_ = path;
    fullPathCurrent_ = false;
}

std::string ContentPath::baseDirectory() const {
    if (!hasType_) return {};
    HostServices dirInfo(slots::dirInfo);  // held for this question only
    if (!dirInfo.available()) return {};
    const char* dir = reinterpret_cast<LWDirInfoFunc*>(dirInfo.get())(directoryType_.c_str());
    return dir ? dir : "";
}

void ContentPath::splitPath() { splitWith(baseDirectory()); }

void ContentPath::splitWith(const std::string& base) {
    const char sep = separator_;
    std::string d = fullPath_;
    relative_ = false;
    fileName_.clear();
    subDirectory_.clear();

    const size_t cut = d.rfind(sep);
    if (cut == std::string::npos) {
        // No directory at all: the whole text is the file name.
        fileName_ = d;
        d.clear();
    } else {
        fileName_ = d.substr(cut + 1);
        d.erase(cut);
        if (d.empty()) d = std::string(1, sep);  // a file in the root directory
    }

    if (base.empty()) {
        relative_ = true;  // nothing is prefixed, so the path comes back whole
    } else if (auto below = pathBelow(d, base, sep)) {
        relative_ = true;
        d = *below;
    }

    // One trailing separator goes, except from the root directory itself.
    if (d.size() > 1 && d.back() == sep) d.pop_back();
    subDirectory_ = d;
    fullPathCurrent_ = composeWith(base) == fullPath_;
}

std::string ContentPath::composeWith(const std::string& base) const {
    std::string out;
    if (relative_) {
        out += base;
        if (!base.empty() && base.back() != separator_) out += separator_;
    }
    if (!subDirectory_.empty()) {
        out += subDirectory_;
        if (subDirectory_.back() != separator_) out += separator_;
    }
    out += fileName_;
    return out;
}

const std::string& ContentPath::composePath() {
    composed_ = composeWith(relative_ ? baseDirectory() : std::string());
    return composed_;
}

void ContentPath::composeFullPath() {
    fullPath_ = composePath();
    fullPathCurrent_ = true;
}

void ContentPath::replaceExtension(const std::string& extension) {
    fileName_ = korvalith::replaceExtension(fileName_, extension);
    fullPathCurrent_ = false;
}

bool ContentPath::setPathFromFile(const std::string& text) {
    if (text.empty()) return false;
    const std::string base = baseDirectory();
    std::string path;
    if (exists(text)) {
        path = text;
    } else if (!base.empty()) {
        // Without a base there is nothing to try: "" + separator + text
        // would name a file in the root directory instead.
        const std::string joined = base.back() == separator_ ? base + text : base + separator_ + text;
        if (!exists(joined)) return false;
        path = joined;
    } else {
        return false;
    }
    fullPath_ = path;
    splitWith(base);
    return true;
}

bool ContentPath::load(const LWLoadState* state) {
    if (!state) return false;
    char buffer[kLoadedPathBuffer];
    const int length = LWLOAD_STR(state, buffer, kLoadedPathBuffer);
    if (length <= 0) return false;
    return setPathFromFile(buffer);
}

void ContentPath::save(const LWSaveState* state) {
    if (state) LWSAVE_STR(state, composePath().c_str());
}

}  // namespace korvalith
