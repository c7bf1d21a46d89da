// Rendering a loaded scene: the plug-in textures', node graphs' and
// shaders' render initialisation, per frame their time change, the ray
// caster with the texture, then the surface's node graph, then its shaders
// evaluated at every shaded spot, one PNG per frame,
// clean-up, and a summary of time, samples, tiles, bytes and memory.
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "host.h"
#include "lwhandler.h"
#include "lwshader.h"
#include "lwtexture.h"
#include "node_editor.h"
#include "raycaster.h"
#include "shading.h"

namespace korvalith::app {

// A surface textured by a plug-in texture: the instance and the host's
// texture layer settings (the plug-in gets texture positions rotated,
// centred and scaled by them).
struct TexturedSurface {
    LWItemID object = nullptr;
    const LWTextureHandler* handler = nullptr;
    LWInstance instance = nullptr;
    int axis = 1;
    std::array<double, 3> center{0, 0, 0};
    std::array<double, 3> size{1, 1, 1};
    std::array<double, 3> rotation{0, 0, 0};  // heading, pitch, bank
};

// A plug-in shader on an object's surface; the shaders of one surface run
// in their order on one access record.
struct ShadedSurface {
    LWItemID object = nullptr;
    const LWShaderHandler* handler = nullptr;
    LWInstance instance = nullptr;
};

// An object's surface shaded by a node graph of the host's node editor.
struct NodeSurface {
    LWItemID object = nullptr;
    hostsim::NodeGraph* graph = nullptr;
};

// What a render evaluates: the plug-in textures, node graphs and shaders
// of the scene.
struct RenderPlugins {
    std::vector<TexturedSurface> textures;
    std::vector<ShadedSurface> shaders;
    std::vector<NodeSurface> nodes;
};

struct SceneFile;
// The textures, node graphs and shaders of a loaded scene file.
RenderPlugins renderPlugins(const SceneFile& scene);

struct RenderRequest {
    std::string output;  // a .png path; frames of a range get -NNNN before the extension
    int frameStart = 0, frameEnd = 0;
    int width = 0, height = 0;  // 0: the scene's
    int threads = 0;            // 0: one per core
    bool preview = false;       // render mode 0: "Low Res Preview" applies
    bool progress = true;
    // A pixel whose surface values the summary reports, or -1, -1.
    std::array<int, 2> dumpSpot{-1, -1};
};

// The surface values at one pixel of the last frame, after the textures,
// nodes and shaders.
struct SpotDump {
    bool hit = false;
    std::string object;
    std::array<double, 3> world{0, 0, 0};
    std::array<double, 2> uv{0, 0};
    hostsim::SurfaceValues values;
};

struct RenderSummary {
    double seconds = 0;
    uint64_t samples = 0;
    uint64_t tilesRead = 0;
    uint64_t failedTileReads = 0;  // tiles the codec could not read: they show no image
    uint64_t bytesDecoded = 0;
    uint64_t peakMemoryUsed = 0;
    uint64_t peakResident = 0;
    std::vector<std::string> files;
    std::vector<double> frameSeconds;         // per frame, time change and picture
    std::vector<uint64_t> frameResident;      // resident memory after each frame
    SpotDump spot;                            // when the request asked for one
};

// Renders the frames; messages and the progress bar go to log.
RenderSummary renderFrames(hostsim::Host& host, const RenderPlugins& plugins, const RenderRequest& request,
                           std::ostream& log);

void printSummary(const RenderSummary& summary, std::ostream& out);
// Every surface value of a dumped spot, one per line.
void printSpot(const SpotDump& spot, const std::array<int, 2>& pixel, std::ostream& out);

// The process's resident memory now and at its peak, in bytes.
uint64_t residentBytes();
uint64_t peakResidentBytes();

}  // namespace korvalith::app
