#include "uv_projection.h"

#include <cmath>
#include <cstdint>

#include "host_access.h"
#include "host_scene.h"
#include "lwhost.h"
#include "lwmeshes.h"
#include "mapping.h"

namespace korvalith {

namespace {

// Spots of surfaces that belong to no object carry this in their id's low bits.
constexpr uintptr_t kNoObject = 0x7FFF;

void normalise(double d[3]) {
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length > 0)
        for (int k = 0; k < 3; ++k) d[k] /= length;
}

// The polygon's own value of the vertex, or else the vertex's. Maps of more
// than four dimensions would not fit the buffer and count as missing.
struct MeshUVs {
    LWMeshInfo* mesh;
    int dimension;
};

bool readMeshUV(void* data, LWPntID vertex, LWPolID polygon, float uv[2]) {
    const auto& m = *static_cast<const MeshUVs*>(data);
    if (m.dimension < 1 || m.dimension > 4) return false;
    float value[4] = {0, 0, 0, 0};
    const bool found = (m.mesh->pntVPGet && m.mesh->pntVPGet(m.mesh, vertex, polygon, value)) ||
                       (m.mesh->pntVGet && m.mesh->pntVGet(m.mesh, vertex, value));
    uv[0] = value[0];
    uv[1] = value[1];
    return found;
}

}  // namespace

bool uvAtSpot(const double p[3], const SurfaceSpot& spot, VertexUVReader read, void* data, ProjectionSample& s) {
    float uv[4][2] = {};
    bool has[4] = {false, false, false, false};
    double offset[4][3] = {};  // vertex − spot
    double u = 0, v = 0;
    bool allFound = true, any = false;
    for (int i = 0; i < 4; ++i) {
        if (!spot.vertices[i]) continue;
        any = true;
        has[i] = read(data, spot.vertices[i], spot.polygon, uv[i]);
        if (!has[i]) {
            allFound = false;
            continue;
        }
        const double w = spot.weights[i];
        u += uv[i][0] * w;
        v += uv[i][1] * w;
        for (int k = 0; k < 3; ++k) offset[i][k] = spot.vertexWorld[i][k] - p[k];
    }
    allFound = allFound && any;
    if (allFound) {
        for (int i = 0; i < 4; ++i) {
            if (!has[i]) continue;
            const double w = spot.weights[i];
            const double du = (uv[i][0] - u) * w, dv = (uv[i][1] - v) * w;
            for (int k = 0; k < 3; ++k) {
                s.uDirection[k] += du * offset[i][k];
                s.vDirection[k] += dv * offset[i][k];
            }
            // A spot on the vertex itself says nothing about the scale there.
            const double distance =
                std::sqrt(offset[i][0] * offset[i][0] + offset[i][1] * offset[i][1] + offset[i][2] * offset[i][2]);
            if (distance > 0) {
                s.uScale += du / distance;
                s.vScale += dv / distance;
            }
        }
        normalise(s.uDirection);
        normalise(s.vDirection);
    }
    s.u = u;
    s.v = 1 - v;
    return allFound;
}

void UVProjection::setTime(double time) {
    time_ = time;
    mapName_.clear();
    objectInfo_ = static_cast<const LWObjectInfo*>(lookupService(LWOBJECTINFO_GLOBAL, GFUSE_TRANSIENT));
    if (mapping_.uvMapIndex > 0)
        if (const char* name = scene::uvMapName(mapping_.uvMapIndex - 1)) mapName_ = name;
}

bool UVProjection::mapShader(const double p[3], const LWShaderAccess& access, const ProjectionFrame& frame,
                             ProjectionSample& s) const {
    return mapNode(p, spotOf(access), frame, s);
}

bool UVProjection::mapNode(const double p[3], const SurfaceSpot& spot, const ProjectionFrame&,
                           ProjectionSample& s) const {
    if ((reinterpret_cast<uintptr_t>(spot.object) & 0xFFFF) == kNoObject) return false;
    if (mapping_.uvMapIndex == 0 || mapName_.empty()) return false;
    if (hostApplicationType() == LWSYS_MODELER || !objectInfo_ || !objectInfo_->meshInfo) return false;
    LWMeshInfo* mesh = objectInfo_->meshInfo(spot.object, 0);
    if (!mesh) return false;
    bool found = false;
    void* map = mesh->pntVLookup ? mesh->pntVLookup(mesh, LWVMAP_TXUV, mapName_.c_str()) : nullptr;
    if (map && mesh->pntVSelect) {
        MeshUVs uvs{mesh, mesh->pntVSelect(mesh, map)};
        found = uvAtSpot(p, spot, readMeshUV, &uvs, s);
    }
    if (mesh->destroy) mesh->destroy(mesh);
    return found;
}

}  // namespace korvalith
