// The UV projection: a spot's image coordinates weighted from the UVs that
// the object's texture UV map gives the vertices around it.
#pragma once

#include <string>

#include "lwrender.h"
#include "projection.h"

namespace korvalith {

// Reads the UV a vertex has on a polygon into uv; false when it has none.
using VertexUVReader = bool (*)(void* data, LWPntID vertex, LWPolID polygon, float uv[2]);

// The UV maths of a spot at p (world space, as the vertices' positions):
// u and v weighted from the vertices' UVs, the directions in which they
// grow and the footprint scales, which accumulate onto what the sample
// holds; then v := 1 − v. A null vertex id is not part of the polygon and
// is passed over. True when the spot has a vertex and every vertex had a
// UV; u and v are set either way.
bool uvAtSpot(const double p[3], const SurfaceSpot& spot, VertexUVReader read, void* data, ProjectionSample& sample);

class UVProjection final : public Projection {
public:
    using Projection::Projection;
    // Reads the UVs from a mesh of the spot's object that the host makes
    // for the call ("LW Object Info 4") and frees before returning. False
    // for spots of no object, without a chosen UV map, in Modeler, and when
    // the mesh, the map or a vertex's UV is missing.
    bool mapNode(const double p[3], const SurfaceSpot& spot, const ProjectionFrame& frame,
                 ProjectionSample& sample) const override;
    bool mapShader(const double p[3], const LWShaderAccess& access, const ProjectionFrame& frame,
                   ProjectionSample& sample) const override;
    // The texture handler offers no UV projection: never a value.
    bool mapTexture(const double*, const ProjectionFrame&, ProjectionSample&) const override { return false; }
    // Takes the name of the chosen map and the host's object service for the
    // frame, so that evaluation asks the host for nothing but the mesh.
    void setTime(double time) override;

private:
    std::string mapName_;
    const LWObjectInfo* objectInfo_ = nullptr;
};

}  // namespace korvalith
