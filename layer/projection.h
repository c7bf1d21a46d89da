// Projections: a point to image coordinates, the directions in which u and
// v grow, and the footprint scales of the level-of-detail sampler.
#pragma once

#include <memory>

#include "lwmeshes.h"
#include "lwrender.h"
#include "lwnodes.h"
#include "lwshader.h"

namespace korvalith {

class LayerMapping;

// One projected sample. The caller sets u, v and both directions to 0, the
// footprint to the world size of the spot and both scales to 1. A caller
// that never reads the directions clears withDirections, and a projection
// whose directions cost more than their assignment then leaves them 0.
struct ProjectionSample {
    bool withDirections = true;
    double u = 0, v = 0;
    double vDirection[3] = {0, 0, 0};
    double uDirection[3] = {0, 0, 0};
    double footprint = 0;
    double uScale = 1, vScale = 1;
};

// What a call reads besides the point: the projection axis (0 X, 1 Y, 2 Z)
// and the mapping's scale. The texture hands in the host's values per call,
// so evaluation threads never write them into the mapping.
// A texture node also hands in the spherical section's segment (left, top,
// width, height) that its inputs give the spot; null takes the cached one.
struct ProjectionFrame {
    int axis = 0;
    double scale[3] = {1, 1, 1};
    const double* segment = nullptr;
};

// What the cubic and UV projections read about a shaded spot besides its
// point: the object, the polygon, up to four of its vertices (null past the
// polygon's own) with their weights and world positions, and the normal
// before any bump. The shader fills it from the host's shader access record
// (spotOf); the texture node fills it from its node access record.
struct SurfaceSpot {
    LWItemID object = nullptr;
    LWPolID polygon = nullptr;
    LWPntID vertices[4] = {nullptr, nullptr, nullptr, nullptr};
    float weights[4] = {0, 0, 0, 0};
    float vertexWorld[4][3] = {};
    double normal[3] = {0, 0, 0};
};

SurfaceSpot spotOf(const LWShaderAccess& access);
// The node editor's record: the Cubic face follows wNorm0 there too.
SurfaceSpot spotOf(const LWNodalAccess& access);

enum ProjectionKind : int {
    kPlanar = 0,
    kCylindrical = 1,
    kSpherical = 2,
    kCubic = 3,
    kFront = 4,
    kUV = 5,
    kSphericalSection = 6,
};

class Projection {
public:
    explicit Projection(const LayerMapping& mapping) : mapping_(mapping) {}
    virtual ~Projection() = default;
    Projection(const Projection&) = delete;
    Projection& operator=(const Projection&) = delete;

    // The entries map a point that the host has already moved, rotated and
    // scaled (texture) or that the mapping transformed (shader, node); false
    // means no image value here. Only the cubic and UV kinds read the spot;
    // the others map the point alone.
    virtual bool mapNode(const double p[3], const SurfaceSpot& spot, const ProjectionFrame& frame,
                         ProjectionSample& sample) const;
    virtual bool mapShader(const double p[3], const LWShaderAccess& access, const ProjectionFrame& frame,
                           ProjectionSample& sample) const;
    virtual bool mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& sample) const = 0;
    // Refreshes what the projection caches for a time; between frames only.
    virtual void setTime(double time) { time_ = time; }
    double time() const { return time_; }

protected:
    const LayerMapping& mapping_;
    double time_ = 0;
};

// The projection of a kind; kinds outside 0 … 6 get a planar one.
std::unique_ptr<Projection> makeProjection(int kind, const LayerMapping& mapping);

// Projections whose maths the tests reach directly.
class PlanarProjection final : public Projection {
public:
    using Projection::Projection;
    bool mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& sample) const override;
};

// The cubic kind takes the planar row of the face that a vector points to
// most: the point for the texture, the spot's unperturbed normal for the
// node, and for the shader the normal when the mapping projects world
// coordinates, else the point.
class CubicProjection final : public Projection {
public:
    using Projection::Projection;
    bool mapNode(const double p[3], const SurfaceSpot& spot, const ProjectionFrame& frame,
                 ProjectionSample& sample) const override;
    bool mapShader(const double p[3], const LWShaderAccess& access, const ProjectionFrame& frame,
                   ProjectionSample& sample) const override;
    bool mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& sample) const override;
};

// Face of a vector's largest absolute component (0 X, 1 Y, 2 Z); ties go to
// Z first, then X over Y.
int cubicFace(const double d[3]);

class FrontProjection final : public Projection {
public:
    using Projection::Projection;
    bool mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& sample) const override;
    void setTime(double time) override;
    // Builds the camera matrix and frame values from a camera pose; setTime
    // reads them from the host.
    void setCamera(const double right[3], const double up[3], const double forward[3], const double position[3],
                   double zoom, int frameWidth, int frameHeight, double pixelAspect);
    const double (&matrix() const)[4][4] { return c_; }

private:
    bool valid_ = false;
    double c_[4][4] = {};
    int width_ = 0, height_ = 0;
    double inverseWidth_ = 0, inverseHeight_ = 0, inverseMax_ = 0, aspect_ = 1;
};

class SphericalSectionProjection final : public Projection {
public:
    using Projection::Projection;
    bool mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& sample) const override;
    void setTime(double time) override;
    // The segment in radians; setTime reads it from the mapping.
    void setSegment(double left, double top, double width, double height);

private:
    double top_ = 0, left_ = 0, width_ = 6.283185307179586, height_ = 3.141592653589793;
};

}  // namespace korvalith
