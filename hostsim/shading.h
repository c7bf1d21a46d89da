// What a surface looks like at one spot, and the shader access record the
// host hands shaders for that spot.
//
// The record (LWShaderAccess) of a hit holds:
// - sx, sy: the pixel; oPos, wPos: the spot in object and world space;
//   gNorm: the geometric normal, wNorm0: the smooth (interpolated) normal,
//   both world space, unit, on the side the ray came from; spotSize.
// - raySource: where the ray started (the camera, or the spot a secondary
//   ray left); rayLength: the distance from there; cosine: −(ray direction
//   · smooth normal); bounces: 0 for camera rays, one more per reflection or
//   refraction; sourceID: the camera for camera rays, the object a
//   secondary ray left otherwise.
// - oXfrm: the object's axes in world space as rows (with their scaling),
//   so that a direction t of object space lies along w = t · oXfrm in the
//   world (w_j = Σ_i t_i oXfrm[3i + j]); wXfrm its inverse (zero when the
//   object is scaled flat).
// - objID: the object item; polNum and polygon: the hit triangle's index
//   and id (meshes.h); verts, weights, vertsWPos: its three vertices (ids as
//   meshes.h numbers them), their barycentric weights (summing to 1) and
//   world positions; the fourth entry is null and zero.
// - The surface values (wNorm, color, luminous, …, difSharpness) and
//   flags 0. The ray functions are those of the render running on the
//   calling thread, and null outside a render (as LightWave leaves them
//   null where it cannot trace, such as surface previews).
#pragma once

#include <array>

#include "lwnodes.h"
#include "lwshader.h"

namespace hostsim {

struct Surface;
struct SurfaceHit;

struct SurfaceValues {
    std::array<double, 3> normal{0, 0, 0};  // shading normal (wNorm), world, unit
    std::array<double, 3> colour{0, 0, 0};
    double luminous = 0, diffuse = 0, specular = 0, mirror = 0, transparency = 0, eta = 1, roughness = 0;
    double translucency = 0, colourHighlights = 0, colourFilter = 0, additiveTransparency = 0,
           diffuseSharpness = 0, bumpHeight = 0;
};

// The surface's own values at a spot; roughness = 2^-(10 * glossiness + 2).
// The bump height is 0: no bump texture raises the spot.
SurfaceValues surfaceValues(const Surface& surface, const double normal[3]);
// The access record of a spot: every field the record declares, as above.
void fillShaderAccess(const SurfaceHit& hit, const SurfaceValues& values, LWShaderAccess& access);
// The node access record of a spot: the same fields as the shader's
// (wNorm = values.normal, bumpHeight = values.bumpHeight), for node graphs.
void fillNodalAccess(const SurfaceHit& hit, const SurfaceValues& values, LWNodalAccess& access);
// The values a shader left in the record.
void takeShaderAccess(const LWShaderAccess& access, SurfaceValues& values);

}  // namespace hostsim
