// What the render benchmarks share: a scene written to the temporary
// folder with its images found in examples/, and two frames of it rendered
// per iteration (the first reads the images' tiles, the second finds them
// in memory).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "render.h"
#include "scene_file.h"
#include "session.h"

namespace benchscene {

inline const std::string kFolder = std::filesystem::temp_directory_path().string();

// Image names in plug-in data made absolute, so the scene may lie elsewhere.
inline std::string absoluteImages(std::string data) {
    const std::string from = "Filename \"", to = from + EXAMPLES_DIR + "/";
    for (size_t at = 0; (at = data.find(from, at)) != std::string::npos; at += to.size()) data.replace(at, from.size(), to);
    return data;
}

// Frames 0 and 1 of the scene at path into output, in a new session per
// iteration; the scene file is removed afterwards.
inline void renderTwoFrames(benchmark::State& state, const std::string& path, const std::string& output) {
    using namespace korvalith::app;
    for (auto _ : state) {
        Session session(MODULE_DIR);
        SceneFile scene = loadScene(session.host(), path);
        RenderRequest request;
        request.output = output;
        request.frameStart = 0;
        request.frameEnd = 1;
        request.progress = false;
        std::ostringstream log;
        const RenderSummary s = renderFrames(session.host(), renderPlugins(scene), request, log);
        state.counters["cold_frame_s"] = s.frameSeconds.at(0);
        state.counters["warm_frame_s"] = s.frameSeconds.at(1);
        state.counters["samples"] = static_cast<double>(s.samples);
        destroyInstances(scene);
    }
    std::remove(path.c_str());
}

}  // namespace benchscene
