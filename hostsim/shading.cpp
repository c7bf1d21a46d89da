#include "shading.h"

#include <cmath>

#include "geometry.h"
#include "meshes.h"
#include "raycaster.h"

namespace hostsim {

namespace {

void copy3(const double* from, double* to) {
    for (int c = 0; c < 3; ++c) to[c] = from[c];
}

// The inverse of a 3 × 3 matrix given row by row; zero when it has none.
void invert(const double* m, double* out) {
    const double c00 = m[4] * m[8] - m[5] * m[7], c01 = m[5] * m[6] - m[3] * m[8], c02 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (det == 0 || !std::isfinite(det)) {
        for (int i = 0; i < 9; ++i) out[i] = 0;
        return;
    }
    const double k = 1 / det;
    out[0] = c00 * k;
    out[1] = (m[2] * m[7] - m[1] * m[8]) * k;
    out[2] = (m[1] * m[5] - m[2] * m[4]) * k;
    out[3] = c01 * k;
    out[4] = (m[0] * m[8] - m[2] * m[6]) * k;
    out[5] = (m[2] * m[3] - m[0] * m[5]) * k;
    out[6] = c02 * k;
    out[7] = (m[1] * m[6] - m[0] * m[7]) * k;
    out[8] = (m[0] * m[4] - m[1] * m[3]) * k;
}

}  // namespace

SurfaceValues surfaceValues(const Surface& surface, const double normal[3]) {
    SurfaceValues v;
    v.normal = {normal[0], normal[1], normal[2]};
    v.colour = surface.colour;
    v.luminous = surface.luminosity;
    v.diffuse = surface.diffuse;
    v.specular = surface.specularity;
    v.mirror = surface.reflection;
    v.transparency = surface.transparency;
    v.eta = surface.refractionIndex;
    v.roughness = std::pow(2.0, -(10 * surface.glossiness + 2));
    v.translucency = surface.translucency;
    v.colourHighlights = surface.colourHighlights;
    v.colourFilter = surface.colourFilter;
    v.additiveTransparency = surface.additiveTransparency;
    v.diffuseSharpness = surface.diffuseSharpness;
    return v;
}

void fillShaderAccess(const SurfaceHit& hit, const SurfaceValues& values, LWShaderAccess& access) {
    access = {};
    access.sx = hit.x;
    access.sy = hit.y;
    copy3(hit.local, access.oPos);
    copy3(hit.world, access.wPos);
    copy3(hit.geometric, access.gNorm);
    access.spotSize = hit.spotSize;
    copy3(hit.rayOrigin, access.raySource);
    access.rayLength = hit.distance;
    access.cosine = -(hit.rayDirection[0] * hit.normal[0] + hit.rayDirection[1] * hit.normal[1] +
                      hit.rayDirection[2] * hit.normal[2]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) access.oXfrm[3 * i + j] = hit.transform.axes[i][j];
    invert(access.oXfrm, access.wXfrm);
    access.objID = hit.object;
    access.polNum = static_cast<int>(hit.polygon);

    copy3(values.normal.data(), access.wNorm);
    copy3(values.colour.data(), access.color);
    access.luminous = values.luminous;
    access.diffuse = values.diffuse;
    access.specular = values.specular;
    access.mirror = values.mirror;
    access.transparency = values.transparency;
    access.eta = values.eta;
    access.roughness = values.roughness;

    const RayFunctions rays = rayFunctions();
    access.illuminate = rays.illuminate;
    access.rayTrace = rays.rayTrace;
    access.rayCast = rays.rayCast;
    access.rayShade = rays.rayShade;

    access.flags = 0;
    access.bounces = hit.bounce;
    access.sourceID = hit.source;
    copy3(hit.normal, access.wNorm0);
    access.bumpHeight = values.bumpHeight;
    access.translucency = values.translucency;
    access.colorHL = values.colourHighlights;
    access.colorFL = values.colourFilter;
    access.addTransparency = values.additiveTransparency;
    access.difSharpness = values.diffuseSharpness;

    for (int k = 0; k < 3; ++k) {
        access.verts[k] = pointId(hit.vertices[k]);
        access.weights[k] = static_cast<float>(hit.weights[k]);
        for (int c = 0; c < 3; ++c) access.vertsWPos[k][c] = static_cast<float>(hit.vertexWorld[k][c]);
    }
    access.polygon = polygonId(hit.polygon);
}

void fillNodalAccess(const SurfaceHit& hit, const SurfaceValues& values, LWNodalAccess& access) {
    access = {};
    access.sx = hit.x;
    access.sy = hit.y;
    copy3(hit.local, access.oPos);
    copy3(hit.world, access.wPos);
    copy3(hit.geometric, access.gNorm);
    copy3(values.normal.data(), access.wNorm);
    copy3(hit.normal, access.wNorm0);
    copy3(hit.rayOrigin, access.raySource);
    access.rayLength = hit.distance;
    access.spotSize = hit.spotSize;
    access.cosine = -(hit.rayDirection[0] * hit.normal[0] + hit.rayDirection[1] * hit.normal[1] +
                      hit.rayDirection[2] * hit.normal[2]);
    access.bumpHeight = values.bumpHeight;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) access.oXfrm[3 * i + j] = hit.transform.axes[i][j];
    invert(access.oXfrm, access.wXfrm);

    const RayFunctions rays = rayFunctions();
    access.illuminate = rays.illuminate;
    access.rayTrace = rays.rayTrace;
    access.rayCast = rays.rayCast;
    access.rayShade = rays.rayShade;

    access.bounces = hit.bounce;
    access.sourceID = hit.source;
    access.objID = hit.object;
    access.polNum = static_cast<int>(hit.polygon);
    for (int k = 0; k < 3; ++k) {
        access.verts[k] = pointId(hit.vertices[k]);
        access.weights[k] = static_cast<float>(hit.weights[k]);
        for (int c = 0; c < 3; ++c) access.vertsWPos[k][c] = static_cast<float>(hit.vertexWorld[k][c]);
    }
    access.polygon = polygonId(hit.polygon);
}

void takeShaderAccess(const LWShaderAccess& access, SurfaceValues& values) {
    values.normal = {access.wNorm[0], access.wNorm[1], access.wNorm[2]};
    values.colour = {access.color[0], access.color[1], access.color[2]};
    values.luminous = access.luminous;
    values.diffuse = access.diffuse;
    values.specular = access.specular;
    values.mirror = access.mirror;
    values.transparency = access.transparency;
    values.eta = access.eta;
    values.roughness = access.roughness;
    values.translucency = access.translucency;
    values.colourHighlights = access.colorHL;
    values.colourFilter = access.colorFL;
    values.additiveTransparency = access.addTransparency;
    values.diffuseSharpness = access.difSharpness;
    values.bumpHeight = access.bumpHeight;
}

}  // namespace hostsim
