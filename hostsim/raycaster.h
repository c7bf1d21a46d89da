// The stand-in host's renderer: casts one ray per pixel from the render
// camera into the scene's meshes, on several threads, and lights each hit
// with simple diffuse lighting. What a surface looks like at a hit comes
// from the caller's shader (the host evaluates plug-in textures there).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "canvas.h"
#include "geometry.h"
#include "lwrender.h"
#include "lwtypes.h"
#include "scene.h"

namespace hostsim {

struct SurfaceHit {
    LWItemID object = nullptr;
    const Surface* surface = nullptr;  // the object's, or the defaults; valid during the call
    double world[3] = {0, 0, 0};   // hit position
    double local[3] = {0, 0, 0};   // the same point in the object's own space
    double normal[3] = {0, 0, 0};  // smooth normal: world space, unit, on the side the ray came from
    double uv[2] = {0, 0};         // 0, 0 on a mesh without a UV per vertex
    double distance = 0;           // from the ray's origin
    // World size of the pixel at the hit: the length of the path from the
    // camera (through any bounces) * 2 atan(1 / zoom) / height.
    double spotSize = 0;
    int x = 0, y = 0;              // pixel
    uint32_t polygon = 0;                     // the triangle's index in its mesh
    std::array<uint32_t, 3> vertices{};       // the triangle's vertices, in the mesh's order
    std::array<double, 3> weights{};          // barycentric weights of the vertices, sum 1
    std::array<std::array<double, 3>, 3> vertexWorld{};  // the vertices in world space
    double rayOrigin[3] = {0, 0, 0};
    double rayDirection[3] = {0, 0, 0};  // unit
    double geometric[3] = {0, 0, 0};     // the triangle's normal: world space, unit, facing the ray
    ItemTransform transform;             // the object's at the frame's time
    LWItemID source = nullptr;  // the camera for camera rays, the object a secondary ray left
    int bounce = 0;             // 0 for camera rays, one more per reflection or refraction
};

struct RenderSettings {
    int width = 640, height = 480;
    int threads = 0;  // 0: one per core
    LWTime time = 0;
    std::array<double, 3> background{0.02, 0.02, 0.03};
};

struct RenderStats {
    uint64_t rays = 0;
    uint64_t hits = 0;
    double seconds = 0;
};

// The base colour at a hit (linear RGB 0 … 1); called from render threads,
// each passing its index 0 … threads - 1. Without a shader the surface's
// colour is used.
using SurfaceShader = std::function<std::array<double, 3>(const SurfaceHit& hit, int thread)>;
// Progress 0 … 1, called from one thread at a time.
using RenderProgress = std::function<void(double done)>;

// The ray functions of the render that runs on the calling thread, for the
// shader access records of its spots; all null outside a render.
struct RayFunctions {
    LWIlluminateFunc* illuminate = nullptr;
    LWRayTraceFunc* rayTrace = nullptr;
    LWRayCastFunc* rayCast = nullptr;
    LWRayShadeFunc* rayShade = nullptr;
};
RayFunctions rayFunctions();

// Renders the scene at the settings' time from its render camera. A hit's
// colour is base * (ambient 0.15 + diffuse * the sum of Lambert terms of the
// scene's lights, or of one light at the camera when it has none); colours
// and the background are linear and written with gamma 2.2. Throws
// HostError when the scene has no camera, for an image side outside
// 1 … Canvas::kMaxSide or a negative thread count; an exception from the
// shader or the progress callback stops the render and is rethrown.
Canvas render(const Scene& scene, const Geometry& geometry, const RenderSettings& settings,
              const SurfaceShader& shader, RenderStats* stats = nullptr, const RenderProgress& progress = {});

}  // namespace hostsim
