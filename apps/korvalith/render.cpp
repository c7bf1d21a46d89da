#include "render.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

#include "core_services.h"
#include "geometry.h"
#include "instances.h"
#include "progress.h"
#include "raycaster.h"
#include "scene.h"
#include "scene_file.h"

namespace korvalith::app {

namespace {

uint64_t statusField(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0) return std::stoull(line.substr(n)) * 1024;
    return 0;
}

// Rotation by heading (about Y), pitch (about X) and bank (about Z) in the
// host's order; applied inverted, it takes a point into the texture's frame.
struct Rotation {
    double m[3][3];
    explicit Rotation(const std::array<double, 3>& hpb) {
        const double sh = std::sin(hpb[0]), ch = std::cos(hpb[0]), sp = std::sin(hpb[1]), cp = std::cos(hpb[1]),
                     sb = std::sin(hpb[2]), cb = std::cos(hpb[2]);
        // Rows: the rotated right, up and forward axes.
        const double r[3][3] = {{ch * cb + sh * sp * sb, cp * sb, -sh * cb + ch * sp * sb},
                                {-ch * sb + sh * sp * cb, cp * cb, sh * sb + ch * sp * cb},
                                {sh * cp, -sp, ch * cp}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) m[i][j] = r[i][j];
    }
    // Components of v along the rotated axes.
    void inverse(const double* v, double* out) const {
        for (int i = 0; i < 3; ++i) out[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    }
};

std::string frameFile(const std::string& output, int frame, bool range) {
    if (!range) return output;
    const size_t dot = output.rfind('.');
    const size_t slash = output.find_last_of('/');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    char number[16];
    std::snprintf(number, sizeof number, "-%04d", frame);
    return hasExtension ? output.substr(0, dot) + number + output.substr(dot) : output + number + ".png";
}

}  // namespace

RenderPlugins renderPlugins(const SceneFile& scene) {
    RenderPlugins plugins;
    std::vector<TexturedSurface>& surfaces = plugins.textures;
    for (const SceneTexture& t : scene.textures) {
        if (!t.instance || !t.handler) continue;
        TexturedSurface s;
        s.object = t.object;
        s.handler = t.handler;
        s.instance = t.instance;
        s.axis = t.axis;
        s.center = t.center;
        s.size = t.size;
        s.rotation = t.rotation;
        surfaces.push_back(s);
    }
    for (const SceneShader& shader : scene.shaders)
        if (shader.instance && shader.handler) plugins.shaders.push_back({shader.object, shader.handler, shader.instance});
    for (const SceneNodeGraph& g : scene.nodeGraphs)
        if (g.graph) plugins.nodes.push_back({g.object, g.graph});
    return plugins;
}

uint64_t residentBytes() { return statusField("VmRSS:"); }
uint64_t peakResidentBytes() { return statusField("VmHWM:"); }

RenderSummary renderFrames(hostsim::Host& host, const RenderPlugins& plugins, const RenderRequest& request,
                           std::ostream& log) {
    const std::vector<TexturedSurface>& surfaces = plugins.textures;
    const auto start = std::chrono::steady_clock::now();
    auto* core = static_cast<const CoreServices*>(host.lookup(KORVALITH_CORE_SERVICES, GFUSE_TRANSIENT));
    KorvalithStatistics before{};
    if (core) core->statistics(&before);

    std::map<LWItemID, TexturedSurface> byObject;
    std::map<LWItemID, Rotation> rotations;
    for (const TexturedSurface& s : surfaces) {
        byObject[s.object] = s;
        rotations.emplace(s.object, Rotation(s.rotation));
    }
    std::map<LWItemID, std::vector<ShadedSurface>> shadersByObject;
    for (const ShadedSurface& s : plugins.shaders) shadersByObject[s.object].push_back(s);
    // Per object its graph and how many plug-in nodes it holds (counted as
    // samples per shaded spot).
    std::map<LWItemID, std::pair<const hostsim::NodeGraph*, uint64_t>> graphsByObject;
    for (const NodeSurface& n : plugins.nodes) {
        uint64_t pluginNodes = 0;
        for (const NodeID node : n.graph->nodes()) pluginNodes += n.graph->instance(node) != nullptr;
        graphsByObject[n.object] = {n.graph, pluginNodes};
    }
    const int mode = request.preview ? LWINIT_PREVIEW : LWINIT_RENDER;
    // Before a render the host learns which items each instance uses.
    host.instances().gatherUsedItems();
    for (const TexturedSurface& s : surfaces)
        if (LWError e = s.handler->rend->init(s.instance, mode)) log << "korvalith: " << e << "\n";
    for (const NodeSurface& n : plugins.nodes)
        if (LWError e = n.graph->init(mode)) log << "korvalith: " << e << "\n";
    for (const ShadedSurface& s : plugins.shaders)
        if (LWError e = s.handler->rend->init(s.instance, mode)) log << "korvalith: " << e << "\n";

    hostsim::Scene& scene = host.scene();
    hostsim::RenderSettings settings;
    const auto sceneSettings = scene.settings();
    settings.width = request.width > 0 ? request.width : sceneSettings.frameWidth;
    settings.height = request.height > 0 ? request.height : sceneSettings.frameHeight;
    settings.threads = request.threads;
    // The textures read the frame size for their footprints.
    if (request.width > 0 && request.height > 0) scene.setFrameSize(request.width, request.height);

    RenderSummary summary;
    std::atomic<uint64_t> samples{0};
    const bool range = request.frameEnd > request.frameStart;
    for (int frame = request.frameStart; frame <= request.frameEnd; ++frame) {
        const auto frameStart = std::chrono::steady_clock::now();
        const double time = frame / sceneSettings.framesPerSecond;
        settings.time = time;
        for (const TexturedSurface& s : surfaces)
            if (LWError e = s.handler->rend->newTime(s.instance, frame, time)) log << "korvalith: " << e << "\n";
        for (const NodeSurface& n : plugins.nodes)
            if (LWError e = n.graph->newTime(frame, time)) log << "korvalith: " << e << "\n";
        for (const ShadedSurface& s : plugins.shaders)
            if (LWError e = s.handler->rend->newTime(s.instance, frame, time)) log << "korvalith: " << e << "\n";

        // The colour texture first, then the surface's node graph, then its
        // shaders on one access record, in their order.
        auto texture = [&](const hostsim::SurfaceHit& hit, std::array<double, 3>& colour) {
            auto it = byObject.find(hit.object);
            if (it == byObject.end()) return;
            const TexturedSurface& s = it->second;
            LWTextureAccess access{};
            double centred[3], turned[3];
            for (int i = 0; i < 3; ++i) {
                access.wPos[i] = hit.world[i];
                centred[i] = hit.local[i] - s.center[i];
                access.size[i] = s.size[i];
            }
            rotations.at(hit.object).inverse(centred, turned);
            for (int i = 0; i < 3; ++i) access.tPos[i] = s.size[i] != 0 ? turned[i] / s.size[i] : 0;
            access.amp = 1;
            access.spotSize = hit.spotSize;
            access.axis = s.axis;
            access.flags = LWTXEF_COLOR;
            s.handler->evaluate(s.instance, &access);
            samples.fetch_add(1, std::memory_order_relaxed);
            const double alpha = std::clamp(access.txRGBA[3], 0.0, 1.0);
            for (int i = 0; i < 3; ++i) colour[i] = colour[i] * (1 - alpha) + access.txRGBA[i] * alpha;
        };
        auto shader = [&](const hostsim::SurfaceHit& hit, hostsim::SurfaceValues& values, int) {
            texture(hit, values.colour);
            if (auto it = graphsByObject.find(hit.object); it != graphsByObject.end()) {
                it->second.first->shade(hit, values);
                samples.fetch_add(it->second.second, std::memory_order_relaxed);
            }
            if (auto it = shadersByObject.find(hit.object); it != shadersByObject.end()) {
                LWShaderAccess access;
                hostsim::fillShaderAccess(hit, values, access);
                for (const ShadedSurface& s : it->second) s.handler->evaluate(s.instance, &access);
                hostsim::takeShaderAccess(access, values);
                samples.fetch_add(it->second.size(), std::memory_order_relaxed);
            }
            if (hit.bounce == 0 && hit.x == request.dumpSpot[0] && hit.y == request.dumpSpot[1]) {
                // One pixel: one thread writes it, after the frame it is read.
                summary.spot.hit = true;
                summary.spot.object = scene.name(hit.object) ? scene.name(hit.object) : "";
                for (int i = 0; i < 3; ++i) summary.spot.world[i] = hit.world[i];
                summary.spot.uv = {hit.uv[0], hit.uv[1]};
                summary.spot.values = values;
            }
        };

        char title[64];
        std::snprintf(title, sizeof title, "frame %d", frame);
        ProgressBar bar(log, title, request.progress && isatty(STDERR_FILENO));
        summary.spot = {};
        hostsim::RenderStats stats;
        hostsim::Canvas image = hostsim::render(scene, host.geometry(), settings, shader, &stats,
                                                [&](double done) { if (request.progress) bar.update(done); });
        if (request.progress) bar.finish();
        const std::string file = frameFile(request.output, frame, range);
        if (!image.writePNG(file)) throw hostsim::HostError(file + ": the picture cannot be written");
        summary.files.push_back(file);
        if (core) summary.peakMemoryUsed = std::max<uint64_t>(summary.peakMemoryUsed, core->memoryUsed(nullptr));
        summary.frameSeconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - frameStart).count());
        summary.frameResident.push_back(residentBytes());
    }
    for (const TexturedSurface& s : surfaces) s.handler->rend->cleanup(s.instance);
    for (const NodeSurface& n : plugins.nodes) n.graph->cleanup();
    for (const ShadedSurface& s : plugins.shaders) s.handler->rend->cleanup(s.instance);

    KorvalithStatistics after{};
    if (core) core->statistics(&after);
    summary.samples = samples.load();
    summary.tilesRead = after.tilesRead - before.tilesRead;
    summary.failedTileReads = after.failedTileReads - before.failedTileReads;
    summary.bytesDecoded = after.decodedBytes - before.decodedBytes;
    summary.peakResident = peakResidentBytes();
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return summary;
}

void printSummary(const RenderSummary& s, std::ostream& out) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "rendered %zu frame%s in %.2f s: %llu texture samples, %llu tiles read, %.1f MB decoded, "
                  "peak image memory %.1f MB, peak resident %.1f MB\n",
                  s.files.size(), s.files.size() == 1 ? "" : "s", s.seconds,
                  static_cast<unsigned long long>(s.samples), static_cast<unsigned long long>(s.tilesRead),
                  s.bytesDecoded / 1048576.0, s.peakMemoryUsed / 1048576.0, s.peakResident / 1048576.0);
    out << line;
    if (s.failedTileReads) {
        std::snprintf(line, sizeof line, "warning: %llu tile reads failed; those tiles show no image\n",
                      static_cast<unsigned long long>(s.failedTileReads));
        out << line;
    }
    for (size_t i = 0; i < s.files.size(); ++i) {
        std::snprintf(line, sizeof line, "  %s  %.2f s, resident %.1f MB\n", s.files[i].c_str(),
                      i < s.frameSeconds.size() ? s.frameSeconds[i] : 0.0,
                      i < s.frameResident.size() ? s.frameResident[i] / 1048576.0 : 0.0);
        out << line;
    }
}

void printSpot(const SpotDump& spot, const std::array<int, 2>& pixel, std::ostream& out) {
    char line[256];
    std::snprintf(line, sizeof line, "spot %d,%d: ", pixel[0], pixel[1]);
    out << line;
    if (!spot.hit) {
        out << "no surface\n";
        return;
    }
    const hostsim::SurfaceValues& v = spot.values;
    std::snprintf(line, sizeof line, "object \"%s\" at %.6g %.6g %.6g, uv %.6g %.6g\n", spot.object.c_str(),
                  spot.world[0], spot.world[1], spot.world[2], spot.uv[0], spot.uv[1]);
    out << line;
    const auto triple = [&](const char* name, const std::array<double, 3>& t) {
        std::snprintf(line, sizeof line, "  %-22s %.6g %.6g %.6g\n", name, t[0], t[1], t[2]);
        out << line;
    };
    const auto single = [&](const char* name, double x) {
        std::snprintf(line, sizeof line, "  %-22s %.6g\n", name, x);
        out << line;
    };
    triple("normal", v.normal);
    triple("colour", v.colour);
    single("luminosity", v.luminous);
    single("diffuse", v.diffuse);
    single("specularity", v.specular);
    single("roughness", v.roughness);
    single("reflection", v.mirror);
    single("transparency", v.transparency);
    single("refraction index", v.eta);
    single("translucency", v.translucency);
    single("colour highlights", v.colourHighlights);
    single("colour filtering", v.colourFilter);
    single("additive transparency", v.additiveTransparency);
    single("diffuse sharpness", v.diffuseSharpness);
    single("bump height", v.bumpHeight);
}

}  // namespace korvalith::app
