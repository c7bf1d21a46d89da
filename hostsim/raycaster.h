// The stand-in host's renderer: casts one ray per pixel from the render
// camera into the scene's meshes, on several threads, follows reflection
// and transparency for as many bounces as the settings allow, and lights
// each hit. What a surface looks like at a hit are its values (shading.h),
// which the caller's shader may change: the host evaluates plug-in shaders
// and textures there.
//
// Lighting of a hit, with the values v the shader left:
//   N = v.normal made unit (the smooth normal where v.normal is not a
//   finite, non-zero vector), V the unit direction back along the ray, L_k
//   the unit direction to each light (one light at the camera when the
//   scene has none), H_k = unit(L_k + V);
//   local = v.colour * v.diffuse * (0.15 + sum max(0, N.L_k))
//         + v.colour * v.luminous
//         + v.specular * sum over N.L_k > 0 of max(0, N.H_k)^(1 / v.roughness) * highlight,
//     the ambient 0.15 scaled by the diffuse level like the lights, and
//     highlight = white mixed toward v.colour by v.colourHighlights;
//   with m = v.mirror and t = v.transparency, each clamped to 0 … 1:
//   colour = (1 - t) * ((1 - m) * local + m * reflected) + t * behind * filter,
//     reflected: what the ray mirrored about N sees,
//     behind: what the same ray sees continued past the hit,
//     filter: white mixed toward v.colour by v.colourFilter.
//   Secondary rays are cast only where m or t is above 0, and only from a
//   hit whose bounce is below RenderSettings::maxBounces; otherwise the
//   reflection or what is behind is the background. There are no shadows;
//   translucency, refraction (eta), additive transparency, diffuse
//   sharpness and the bump height are not used.
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
#include "shading.h"

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
    int maxBounces = 1;  // reflections and refractions a camera ray may go through
};

struct RenderStats {
    uint64_t rays = 0;  // camera rays, secondary rays and the rays shaders cast
    uint64_t hits = 0;
    double seconds = 0;
};

// Called for every hit, of camera and secondary rays, with the values of
// the hit's surface at the smooth normal (surfaceValues); it may change
// them. Called from render threads, each passing its index 0 … threads - 1;
// during the call the thread's ray functions (rayFunctions) trace from the
// hit. A null shader keeps the surface's values.
using SurfaceShader = std::function<void(const SurfaceHit& hit, SurfaceValues& values, int thread)>;
// Progress 0 … 1, called from one thread at a time.
using RenderProgress = std::function<void(double done)>;

// The ray functions of the render that runs on the calling thread, for the
// shader access records of its spots; all null outside a render.
//   rayCast: the distance to the nearest surface along the ray, -1 for
//     none. Rays from the spot being shaded do not hit its own triangle.
//   rayTrace: that distance and the colour seen along the ray, lit as the
//     renderer lights hits (one bounce more than the spot's); past
//     maxBounces the colour is the background.
//   rayShade: that distance, and the access record of the surface hit, with
//     the values its shader leaves (past maxBounces, the surface's own
//     values); the record is untouched when nothing is hit.
//   illuminate: for a light of the scene, 1 with the unit direction from
//     the position towards the light and its colour, white (lights have no
//     colour, intensity, falloff or shadows here); 0 and zeros for any
//     other item.
// Directions are made unit. An exception thrown by a shader during one of
// them stops the render after the shader that called it returns.
struct RayFunctions {
    LWIlluminateFunc* illuminate = nullptr;
    LWRayTraceFunc* rayTrace = nullptr;
    LWRayCastFunc* rayCast = nullptr;
    LWRayShadeFunc* rayShade = nullptr;
};
RayFunctions rayFunctions();

// Renders the scene at the settings' time from its render camera, lit as
// above; colours and the background are linear and written with gamma 2.2.
// Throws HostError when the scene has no camera, for an image side outside
// 1 … Canvas::kMaxSide or a negative thread or bounce count; an exception
// from the shader or the progress callback stops the render and is
// rethrown.
Canvas render(const Scene& scene, const Geometry& geometry, const RenderSettings& settings,
              const SurfaceShader& shader, RenderStats* stats = nullptr, const RenderProgress& progress = {});

}  // namespace hostsim
