// "Directory Info": the host's directories by type, settable by the caller.
// By default "Content" is the working directory and "Images" its Images
// folder.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lwhost.h"

namespace hostsim {

class Directories {
public:
    Directories();
    static LWDirInfoFunc* function();

    void set(const std::string& type, const std::string& path);
    void remove(const std::string& type);
    // "Content" = dir and "Images" = dir/Images.
    void setContent(const std::string& dir);
    std::optional<std::string> get(const std::string& type) const;
    // The service's answer; texts handed out stay valid for the host's life.
    const char* answer(const char* type);
    // Type names asked for through the service, in order.
    std::vector<std::string> asked() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, size_t> paths_;  // type -> index into texts_
    std::deque<std::string> texts_;        // never shrinks, so answers stay valid
    std::vector<std::string> asked_;
};

}  // namespace hostsim
