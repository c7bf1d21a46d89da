#include "projection.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host_access.h"
#include "host_scene.h"
#include "lwhost.h"
#include "mapping.h"
#include "uv_projection.h"

namespace korvalith {

namespace {

constexpr double kInverseTwoPi = 0.15915494309189535;
constexpr double kInversePi = 0.3183098861837907;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;

// -1 for s ≤ 0 (zero counts as negative), else +1.
inline double sgn(double s) { return s <= 0 ? -1.0 : 1.0; }

inline void set3(double* d, double x, double y, double z) {
    d[0] = x;
    d[1] = y;
    d[2] = z;
}

// Unit vector; a zero vector stays zero rather than becoming not-a-number.
inline void normalise(double* d) {
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length > 0) {
        d[0] /= length;
        d[1] /= length;
        d[2] /= length;
    }
}

inline double length3(const double* p) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); }

// The planar rows, also used by the cubic projection for its face.
void planar(int axis, const double* p, const double* scale, ProjectionSample& s) {
    const double x = p[0], y = p[1], z = p[2];
    switch (axis) {
        case 0:
            s.u = z + 0.5;
            s.v = 0.5 - y;
            set3(s.uDirection, 0, 0, 1);
            set3(s.vDirection, 0, -1, 0);
            s.uScale /= std::fabs(scale[2]);
            s.vScale /= std::fabs(scale[1]);
            break;
        case 1:
            s.u = x + 0.5;
            s.v = 0.5 - z;
            set3(s.uDirection, 1, 0, 0);
            set3(s.vDirection, 0, 0, -1);
            s.uScale /= std::fabs(scale[0]);
            s.vScale /= std::fabs(scale[2]);
            break;
        default:
            s.u = x + 0.5;
            s.v = 0.5 - y;
            set3(s.uDirection, 1, 0, 0);
            set3(s.vDirection, 0, -1, 0);
            s.uScale /= std::fabs(scale[0]);
            s.vScale /= std::fabs(scale[1]);
            break;
    }
}

// Longitude, latitude and the angular footprint k of a point on a sphere
// around the axis; the spherical and spherical-section kinds share it.
struct Sphere {
    double longitude = 0, latitude = 0, k = 0;
};

// Longitude, latitude and k of a point; the footprint is the world size.
Sphere sphereAngles(int axis, const double* p, const double* scale, double footprint) {
    const double r = length3(p);
    const double xs = p[0] * sgn(scale[0]), ys = p[1] * sgn(scale[1]), zs = p[2] * sgn(scale[2]);
    Sphere result;
    double radiusSum;
    switch (axis) {
        case 0:
            result.longitude = std::atan2(zs, -ys);
            result.latitude = std::atan2(xs, std::sqrt(ys * ys + zs * zs));
            radiusSum = std::fabs(scale[2]) + std::fabs(scale[1]);
            break;
        case 1:
            result.longitude = std::atan2(-xs, zs);
            result.latitude = std::atan2(ys, std::sqrt(xs * xs + zs * zs));
            radiusSum = std::fabs(scale[2]) + std::fabs(scale[0]);
            break;
        default:
            result.longitude = std::atan2(-xs, -ys);
            result.latitude = std::atan2(zs, std::sqrt(xs * xs + ys * ys));
            radiusSum = std::fabs(scale[1]) + std::fabs(scale[0]);
            break;
    }
    // Magnitudes of the scales: a mirrored axis flips the angles' sense
    // (the signs above), not the size of the footprint.
    result.k = std::atan(footprint / (r * radiusSum));
    return result;
}

// u grows around the axis, v along the meridian: both from the unit vector
// to the point.
void sphereDirections(int axis, const double* p, double* uDirection, double* vDirection) {
    const double r = length3(p);
    double n[3] = {0, 0, 0};
    if (r > 0) set3(n, p[0] / r, p[1] / r, p[2] / r);
    switch (axis) {
        case 0: set3(uDirection, 0, n[2], -n[1]); break;
        case 1: set3(uDirection, -n[2], 0, n[0]); break;
        default: set3(uDirection, n[1], -n[0], 0); break;
    }
    normalise(uDirection);
    const double* u = uDirection;
    set3(vDirection, n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]);
    normalise(vDirection);
}

// The last sphere a thread computed. Shaders stacked on one surface with
// one mapping project the same point one after another, and the angles are
// the costly part: a call whose inputs repeat bit for bit takes the stored
// result, which the maths would give again. Directions are made on the
// first call that wants them.
struct LastSphere {
    double in[8];  // axis, point, scale, footprint
    bool valid;
    bool withDirections;
    Sphere result;
    double uDirection[3], vDirection[3];
};
thread_local LastSphere lastSphere{};

Sphere sphere(int axis, const double* p, const double* scale, ProjectionSample& s) {
    const double in[8] = {static_cast<double>(axis), p[0], p[1], p[2], scale[0], scale[1], scale[2], s.footprint};
    LastSphere& last = lastSphere;
    if (!last.valid || std::memcmp(last.in, in, sizeof in) != 0) {
        last.result = sphereAngles(axis, p, scale, s.footprint);
        std::memcpy(last.in, in, sizeof in);
        last.valid = true;
        last.withDirections = false;
    }
    if (s.withDirections) {
        if (!last.withDirections) {
            sphereDirections(axis, p, last.uDirection, last.vDirection);
            last.withDirections = true;
        }
        std::memcpy(s.uDirection, last.uDirection, sizeof last.uDirection);
        std::memcpy(s.vDirection, last.vDirection, sizeof last.vDirection);
    }
    return last.result;
}

class CylindricalProjection final : public Projection {
public:
    using Projection::Projection;
    bool mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& s) const override {
        const double x = p[0], y = p[1], z = p[2];
        const double* sc = frame.scale;
        double angle, radiusSum, axisScale;
        switch (frame.axis) {
            case 0:
                angle = std::atan2(z * sgn(sc[2]), -y * sgn(sc[1]));
                s.v = 0.5 - x;
                set3(s.uDirection, 0, -z, y);
                set3(s.vDirection, -1, 0, 0);
                axisScale = sc[0];
                radiusSum = std::fabs(sc[2]) + std::fabs(sc[1]);
                break;
            case 1:
                angle = std::atan2(-x * sgn(sc[0]), z * sgn(sc[2]));
                s.v = 0.5 - y;
                set3(s.uDirection, -z, 0, x);
                set3(s.vDirection, 0, -1, 0);
                axisScale = sc[1];
                radiusSum = std::fabs(sc[2]) + std::fabs(sc[0]);
                break;
            default:
                angle = std::atan2(-x * sgn(sc[0]), -y * sgn(sc[1]));
                s.v = 0.5 - z;
                set3(s.uDirection, y, -x, 0);
                set3(s.vDirection, 0, 0, -1);
                axisScale = sc[2];
                radiusSum = std::fabs(sc[1]) + std::fabs(sc[0]);
                break;
        }
        s.u = angle * kInverseTwoPi;
        normalise(s.uDirection);
        s.uScale = std::atan(s.footprint / (length3(p) * radiusSum)) * kInverseTwoPi;
        s.vScale = s.vScale * s.footprint / std::fabs(axisScale);
        s.footprint = 1;
        return true;
    }
};

class SphericalProjection final : public Projection {
public:
    using Projection::Projection;
    bool mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& s) const override {
        const Sphere g = sphere(frame.axis, p, frame.scale, s);
        s.u = g.longitude * kInverseTwoPi;
        s.v = 0.5 - g.latitude * kInversePi;
        s.uScale = g.k * kInverseTwoPi;
        s.vScale = g.k * kInversePi;
        s.footprint = 1;
        return true;
    }
};

}  // namespace

namespace {

// The shader's and the node's access records name the spot's fields alike.
template <typename Access>
SurfaceSpot spotFrom(const Access& a) {
    SurfaceSpot spot;
    spot.object = a.objID;
    spot.polygon = a.polygon;
    for (int i = 0; i < 4; ++i) {
        spot.vertices[i] = a.verts[i];
        spot.weights[i] = a.weights[i];
        for (int k = 0; k < 3; ++k) spot.vertexWorld[i][k] = a.vertsWPos[i][k];
    }
    for (int k = 0; k < 3; ++k) spot.normal[k] = a.wNorm0[k];
    return spot;
}

}  // namespace

SurfaceSpot spotOf(const LWShaderAccess& a) { return spotFrom(a); }

SurfaceSpot spotOf(const LWNodalAccess& a) { return spotFrom(a); }

bool Projection::mapNode(const double p[3], const SurfaceSpot&, const ProjectionFrame& frame,
                         ProjectionSample& s) const {
    return mapTexture(p, frame, s);
}

bool Projection::mapShader(const double p[3], const LWShaderAccess&, const ProjectionFrame& frame,
                           ProjectionSample& s) const {
    return mapTexture(p, frame, s);
}

// ---- Cubic

int cubicFace(const double d[3]) {
    const double a = std::fabs(d[0]), b = std::fabs(d[1]), c = std::fabs(d[2]);
    if (a >= b) return c >= a ? 2 : 0;
    return c >= b ? 2 : 1;
}

bool CubicProjection::mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& s) const {
    planar(cubicFace(p), p, frame.scale, s);
    return true;
}

bool CubicProjection::mapShader(const double p[3], const LWShaderAccess& access, const ProjectionFrame& frame,
                                ProjectionSample& s) const {
    planar(cubicFace(mapping_.worldCoordinates != 0 ? access.wNorm0 : p), p, frame.scale, s);
    return true;
}

bool CubicProjection::mapNode(const double p[3], const SurfaceSpot& spot, const ProjectionFrame& frame,
                              ProjectionSample& s) const {
    planar(cubicFace(spot.normal), p, frame.scale, s);
    return true;
}

// ---- Planar

bool PlanarProjection::mapTexture(const double p[3], const ProjectionFrame& frame, ProjectionSample& s) const {
    planar(frame.axis, p, frame.scale, s);
    return true;
}

// ---- Spherical section

void SphericalSectionProjection::setSegment(double left, double top, double width, double height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
}

void SphericalSectionProjection::setTime(double time) {
    time_ = time;
    auto& m = const_cast<LayerMapping&>(mapping_);
    m.segmentTop().evaluate(time);
    m.segmentLeft().evaluate(time);
    m.segmentWidth().evaluate(time);
    m.segmentHeight().evaluate(time);
    setSegment(m.segmentLeft().x(), m.segmentTop().x(), m.segmentWidth().x(), m.segmentHeight().x());
}

bool SphericalSectionProjection::mapTexture(const double p[3], const ProjectionFrame& frame,
                                            ProjectionSample& s) const {
    const Sphere g = sphere(frame.axis, p, frame.scale, s);
    const double left = frame.segment ? frame.segment[0] : left_, top = frame.segment ? frame.segment[1] : top_;
    const double width = frame.segment ? frame.segment[2] : width_, height = frame.segment ? frame.segment[3] : height_;
    s.u = (g.longitude - left) / width;
    s.v = (kHalfPi - g.latitude - top) / height;
    s.uScale = g.k / std::fabs(width * kTwoPi);
    s.vScale = g.k / std::fabs(height * kPi);
    s.footprint = 1;
    return true;
}

// ---- Front

void FrontProjection::setCamera(const double rv[3], const double uv[3], const double fv[3], const double pos[3],
                                double z, int frameWidth, int frameHeight, double pixelAspect) {
    const double pr = pos[0] * rv[0] + pos[1] * rv[1] + pos[2] * rv[2];
    const double pu = pos[0] * uv[0] + pos[1] * uv[1] + pos[2] * uv[2];
    const double pf = pos[0] * fv[0] + pos[1] * fv[1] + pos[2] * fv[2];
    for (int i = 0; i < 3; ++i) {
        c_[i][0] = rv[i];
        c_[i][1] = uv[i];
        c_[i][2] = fv[i];
        c_[i][3] = fv[i] / z;
    }
    c_[3][0] = -pr;
    c_[3][1] = -pu;
    c_[3][2] = -z - pf;
    c_[3][3] = -pf / z;
    width_ = frameWidth;
    height_ = frameHeight;
    inverseWidth_ = 1.0 / frameWidth;
    inverseHeight_ = 1.0 / frameHeight;
    inverseMax_ = 1.0 / std::max(frameWidth, frameHeight);
    aspect_ = frameWidth * pixelAspect / frameHeight;
    // A camera without zoom or a frame without pixels projects nothing.
    valid_ = z != 0 && frameWidth > 0 && frameHeight > 0 && std::isfinite(aspect_) && aspect_ != 0;
}

void FrontProjection::setTime(double time) {
    time_ = time;
    if (hostApplicationType() == LWSYS_MODELER) return;
    if (mapping_.fixedProjection()) time = mapping_.fixedTime().x();
    LWItemID camera = mapping_.referenceCameraRef().item();
    if (!camera) camera = scene::renderCamera(time);
    scene::CameraPose pose;
    scene::FrameInfo frame;
    if (!camera || !scene::cameraPose(camera, time, &pose) || !scene::frameInfo(&frame)) {
        valid_ = false;
        return;
    }
    setCamera(pose.right, pose.up, pose.forward, pose.position, pose.zoom, frame.width, frame.height,
              frame.pixelAspect);
}

bool FrontProjection::mapTexture(const double p[3], const ProjectionFrame&, ProjectionSample& s) const {
    if (!valid_ || hostApplicationType() == LWSYS_MODELER) return false;
    const double x = p[0], y = p[1], z = p[2];
    const double w = x * c_[0][3] + y * c_[1][3] + z * c_[2][3] + c_[3][3];
    double px = x * c_[0][0] + y * c_[1][0] + z * c_[2][0] + c_[3][0];
    double py = x * c_[0][1] + y * c_[1][1] + z * c_[2][1] + c_[3][1];
    if (w != 0) {
        px /= w;
        py /= w;
    }
    s.u = (px / aspect_ + 1) * 0.5;
    s.v = 0.5 - py * 0.5;
    s.footprint = std::min(std::fabs(s.footprint / aspect_ * 0.5), std::fabs(s.footprint * 0.5));
    set3(s.vDirection, c_[0][0], c_[1][0], c_[2][0]);
    normalise(s.vDirection);
    set3(s.uDirection, c_[0][1], c_[1][1], c_[2][1]);
    normalise(s.uDirection);
    return true;
}

std::unique_ptr<Projection> makeProjection(int kind, const LayerMapping& mapping) {
    switch (kind) {
        case kCylindrical: return std::make_unique<CylindricalProjection>(mapping);
        case kSpherical: return std::make_unique<SphericalProjection>(mapping);
        case kCubic: return std::make_unique<CubicProjection>(mapping);
        case kFront: return std::make_unique<FrontProjection>(mapping);
        case kUV: return std::make_unique<UVProjection>(mapping);
        case kSphericalSection: return std::make_unique<SphericalSectionProjection>(mapping);
        default: return std::make_unique<PlanarProjection>(mapping);
    }
}

}  // namespace korvalith
