#pragma once

#include <ostream>
#include <string>

namespace korvalith::app {

// `korvalith modules`: every server of both modules with class, name and tags.
int runModules(const std::string& moduleDir, std::ostream& out);

// `korvalith info FILE`: image information, channel choices and pyramid.
int runInfo(const std::string& moduleDir, const std::string& path, std::ostream& out);

struct SampleRequest {
    std::string path;
    double uv[2] = {0.5, 0.5};
    double footprint = 0;
    double blend = 0;
    int channel = 0;
    int wrap[2] = {0, 0};
    bool gradient = false;
};

// `korvalith sample FILE --uv U,V ...`: one sample through the core services.
int runSample(const std::string& moduleDir, const SampleRequest& request, std::ostream& out);

}  // namespace korvalith::app
