#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "mapping.h"
#include "projection.h"

namespace {

using namespace korvalith;

constexpr double kPi = 3.141592653589793;

ProjectionSample project(const Projection& projection, int axis, const double p[3], const double scale[3],
                         double footprint = 0) {
    ProjectionFrame frame;
    frame.axis = axis;
    for (int i = 0; i < 3; ++i) frame.scale[i] = scale[i];
    ProjectionSample s;
    s.footprint = footprint;
    EXPECT_TRUE(projection.mapTexture(p, frame, s));
    return s;
}

struct PlanarCase {
    int axis;
    double p[3];
    double u, v;
    double uDir[3], vDir[3];
};

TEST(Projection, PlanarRowsByAxis) {
    LayerMapping mapping;
    auto planar = makeProjection(kPlanar, mapping);
    const double unit[3] = {1, 1, 1};
    const PlanarCase cases[] = {
        {2, {0, 0, 0}, 0.5, 0.5, {1, 0, 0}, {0, -1, 0}},
        {2, {0.5, -0.5, 7}, 1, 1, {1, 0, 0}, {0, -1, 0}},
        {0, {9, 0.25, 0.1}, 0.6, 0.25, {0, 0, 1}, {0, -1, 0}},
        {1, {-0.25, 3, 0.5}, 0.25, 0, {1, 0, 0}, {0, 0, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.axis);
        const ProjectionSample s = project(*planar, c.axis, c.p, unit);
        EXPECT_DOUBLE_EQ(s.u, c.u);
        EXPECT_DOUBLE_EQ(s.v, c.v);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(s.uDirection[i], c.uDir[i]);
            EXPECT_EQ(s.vDirection[i], c.vDir[i]);
        }
    }
    // The footprint scales divide by the magnitudes of the two in-plane
    // scale components, whatever their sign.
    const double scale[3] = {-2, 4, 8};
    const double origin[3] = {0, 0, 0};
    const ProjectionSample z = project(*planar, 2, origin, scale);
    EXPECT_DOUBLE_EQ(z.uScale, 0.5);
    EXPECT_DOUBLE_EQ(z.vScale, 0.25);
    const ProjectionSample x = project(*planar, 0, origin, scale);
    EXPECT_DOUBLE_EQ(x.uScale, 1.0 / 8);
    EXPECT_DOUBLE_EQ(x.vScale, 0.25);
}

TEST(Projection, CubicChoosesTheFaceOfTheLargestComponent) {
    LayerMapping mapping;
    auto cubic = makeProjection(kCubic, mapping);
    const double unit[3] = {1, 1, 1};
    struct Case {
        double p[3];
        double u, v;  // the planar row of the face
    } cases[] = {
        {{1, 1, 1}, 1.5, -0.5},      // ties go to Z: u = x + 0.5, v = 0.5 − y
        {{1, 1, 0.5}, 1.0, -0.5},    // X: u = z + 0.5, v = 0.5 − y
        {{0.5, 1, 0.5}, 1.0, 0.0},   // Y: u = x + 0.5, v = 0.5 − z
        {{-3, 1, 2}, 2.5, -0.5},     // X by magnitude
    };
    for (const auto& c : cases) {
        const ProjectionSample s = project(*cubic, 2, c.p, unit);
        EXPECT_DOUBLE_EQ(s.u, c.u) << c.p[0] << " " << c.p[1] << " " << c.p[2];
        EXPECT_DOUBLE_EQ(s.v, c.v);
    }
}

// The shader's cubic face follows the spot's unperturbed normal when the
// mapping projects world coordinates, else the point; the node's always
// follows the normal it hands in.
TEST(Projection, CubicFaceByTheNormalOrThePoint) {
    LayerMapping mapping;
    CubicProjection cubic(mapping);
    ProjectionFrame frame;
    const double p[3] = {0.9, 0.1, 0.2};  // points to face X
    LWShaderAccess access{};
    access.wNorm0[2] = 1;  // faces Z
    SurfaceSpot spot;
    spot.normal[2] = 1;
    struct Case {
        int worldCoordinates;
        bool node;
        double u, v;
    } cases[] = {
        {0, false, 0.7, 0.4},  // X: u = z + 0.5, v = 0.5 − y
        {1, false, 1.4, 0.4},  // Z: u = x + 0.5, v = 0.5 − y
        {0, true, 1.4, 0.4},
        {1, true, 1.4, 0.4},
    };
    for (const auto& c : cases) {
        mapping.worldCoordinates = c.worldCoordinates;
        ProjectionSample s;
        EXPECT_TRUE(c.node ? cubic.mapNode(p, spot, frame, s) : cubic.mapShader(p, access, frame, s));
        EXPECT_DOUBLE_EQ(s.u, c.u) << c.worldCoordinates << c.node;
        EXPECT_DOUBLE_EQ(s.v, c.v) << c.worldCoordinates << c.node;
    }
}

TEST(Projection, SphericalPolesAndFootprint) {
    LayerMapping mapping;
    auto sphere = makeProjection(kSpherical, mapping);
    const double unit[3] = {1, 1, 1};
    const double top[3] = {0, 1, 0}, bottom[3] = {0, -1, 0};
    EXPECT_DOUBLE_EQ(project(*sphere, 1, top, unit).v, 0.0);
    EXPECT_DOUBLE_EQ(project(*sphere, 1, bottom, unit).v, 1.0);
    // On the equator, k = atan(footprint / (r · (sz + sx))).
    const double p[3] = {0, 0, 2};
    const ProjectionSample s = project(*sphere, 1, p, unit, 0.1);
    const double k = std::atan(0.1 / (2 * 2));
    EXPECT_DOUBLE_EQ(s.uScale, k / (2 * kPi));
    EXPECT_DOUBLE_EQ(s.vScale, k / kPi);
    EXPECT_EQ(s.footprint, 1);
    // Directions are unit vectors and at right angles.
    double dot = 0, lu = 0, lv = 0;
    for (int i = 0; i < 3; ++i) {
        dot += s.uDirection[i] * s.vDirection[i];
        lu += s.uDirection[i] * s.uDirection[i];
        lv += s.vDirection[i] * s.vDirection[i];
    }
    EXPECT_NEAR(dot, 0, 1e-12);
    EXPECT_NEAR(lu, 1, 1e-12);
    EXPECT_NEAR(lv, 1, 1e-12);
}

TEST(Projection, NegativeOrZeroScaleFlipsTheAngle) {
    LayerMapping mapping;
    const double p[3] = {0.3, 0.2, 0.7};
    const double positive[3] = {1, 1, 1}, negativeX[3] = {-1, 1, 1}, zeroX[3] = {0, 1, 1};
    for (int kind : {kCylindrical, kSpherical}) {
        auto projection = makeProjection(kind, mapping);
        const double u = project(*projection, 1, p, positive).u;
        EXPECT_DOUBLE_EQ(project(*projection, 1, p, negativeX).u, -u) << kind;
        // Zero counts as negative.
        EXPECT_DOUBLE_EQ(project(*projection, 1, p, zeroX).u, -u) << kind;
    }
}

TEST(Projection, CylindricalAroundEachAxis) {
    LayerMapping mapping;
    auto cylinder = makeProjection(kCylindrical, mapping);
    const double unit[3] = {1, 1, 1};
    struct Case {
        int axis;
        double p[3];
        double u, v;
    } cases[] = {
        {1, {0, 0.25, 1}, 0, 0.25},        // angle atan2(−x, z) = 0
        {1, {-1, 0, 0}, 0.25, 0.5},        // a quarter turn
        {2, {0, -1, 0.5}, 0, 0},           // atan2(−x, −y) = 0
        {0, {0.5, 0, 1}, 0.25, 0},         // atan2(z, −y) = π/2
    };
    for (const auto& c : cases) {
        const ProjectionSample s = project(*cylinder, c.axis, c.p, unit, 0.2);
        EXPECT_NEAR(s.u, c.u, 1e-15) << c.axis;
        EXPECT_DOUBLE_EQ(s.v, c.v);
        EXPECT_DOUBLE_EQ(s.vScale, 0.2);
        EXPECT_EQ(s.footprint, 1);
    }
}

TEST(Projection, SphericalSectionWithDefaultsMatchesSpherical) {
    LayerMapping mapping;
    auto sphere = makeProjection(kSpherical, mapping);
    SphericalSectionProjection section(mapping);
    section.setSegment(0, 0, 2 * kPi, kPi);
    const double unit[3] = {1, 1, 1};
    const double points[][3] = {{0.3, 0.5, -0.2}, {0, 1, 0}, {-1, -0.1, 0.4}};
    for (const auto& p : points) {
        const ProjectionSample a = project(*sphere, 1, p, unit, 0.01);
        const ProjectionSample b = project(section, 1, p, unit, 0.01);
        EXPECT_NEAR(b.v, a.v, 1e-15);
        EXPECT_NEAR(b.u, a.u, 1e-15);
        // The scales divide by the segment times 2π and π, not by the
        // angles alone, so even the whole sphere reads finer than Spherical.
        EXPECT_NEAR(b.uScale, a.uScale / (2 * kPi), 1e-18);
        EXPECT_NEAR(b.vScale, a.vScale / kPi, 1e-18);
    }
    // A quarter segment starting at the longitude 0 stretches u fourfold.
    section.setSegment(0, 0, kPi / 2, kPi);
    const double p[3] = {-1, 0, 1};
    EXPECT_NEAR(project(section, 1, p, unit).u, 4 * project(*sphere, 1, p, unit).u, 1e-12);
}

// A caller that reads no directions gets the same u, v, scales and
// footprint to the last bit, whichever kind, axis, scale and point.
TEST(Projection, WithoutDirectionsTheSampleIsTheSame) {
    LayerMapping mapping;
    const double points[][3] = {{0.3, 0.5, -0.2}, {0, 1, 0}, {-1, -0.1, 0.4}, {0, 0, 0}, {2, -3, 0.001}};
    const double scales[][3] = {{1, 1, 1}, {-2, 0.5, 3}, {0, 1, -1}};
    for (int kind : {kPlanar, kCylindrical, kSpherical, kCubic, kSphericalSection}) {
        auto projection = makeProjection(kind, mapping);
        for (int axis = 0; axis < 3; ++axis)
            for (const auto& scale : scales)
                for (const auto& p : points) {
                    SCOPED_TRACE(testing::Message() << "kind " << kind << ", axis " << axis << ", point " << p[0]
                                                    << " " << p[1] << " " << p[2] << ", scale " << scale[0]);
                    ProjectionFrame frame;
                    frame.axis = axis;
                    for (int i = 0; i < 3; ++i) frame.scale[i] = scale[i];
                    ProjectionSample with, without;
                    with.footprint = without.footprint = 0.02;
                    without.withDirections = false;
                    EXPECT_EQ(projection->mapTexture(p, frame, with), projection->mapTexture(p, frame, without));
                    // Bit patterns, so that NaN at the origin compares too.
                    const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
                    EXPECT_TRUE(same(with.u, without.u)) << with.u << " " << without.u;
                    EXPECT_TRUE(same(with.v, without.v)) << with.v << " " << without.v;
                    EXPECT_TRUE(same(with.uScale, without.uScale));
                    EXPECT_TRUE(same(with.vScale, without.vScale));
                    EXPECT_TRUE(same(with.footprint, without.footprint));
                }
    }
}

// A thread keeps its last sphere for stacked shaders that map the same
// point again. Only inputs equal to the last bit may take it: −0 and +0 lie
// on either side of the seam, a new footprint or scale changes the scales,
// and a call that wants directions after one without them needs them made.
TEST(Projection, RepeatedSphereInputsGiveTheSameSample) {
    LayerMapping mapping;
    auto sphere = makeProjection(kSpherical, mapping);
    SphericalSectionProjection section(mapping);
    section.setSegment(0.1, 0.2, 3, 2);
    struct Call {
        const Projection* projection;
        int axis;
        double p[3];
        double scale[3];
        double footprint;
        bool directions;
    };
    const Call calls[] = {
        {sphere.get(), 1, {0, 0.5, -1}, {1, 1, 1}, 0.01, false},
        {sphere.get(), 1, {0, 0.5, -1}, {1, 1, 1}, 0.01, true},
        {sphere.get(), 1, {-0.0, 0.5, -1}, {1, 1, 1}, 0.01, true},
        {sphere.get(), 1, {-0.0, 0.5, -1}, {1, 1, 1}, 0.02, true},
        {sphere.get(), 1, {-0.0, 0.5, -1}, {1, -1, 1}, 0.02, true},
        {sphere.get(), 0, {-0.0, 0.5, -1}, {1, -1, 1}, 0.02, false},
        {&section, 0, {-0.0, 0.5, -1}, {1, -1, 1}, 0.02, true},
        {sphere.get(), 2, {0.3, 0.5, -1}, {1, 1, 1}, 0.01, true},
        {sphere.get(), 2, {0.3, 0.5, -1}, {1, 1, 1}, 0.01, true},
    };
    const auto run = [](const Call& c) {
        ProjectionFrame frame;
        frame.axis = c.axis;
        for (int i = 0; i < 3; ++i) frame.scale[i] = c.scale[i];
        ProjectionSample s;
        s.footprint = c.footprint;
        s.withDirections = c.directions;
        EXPECT_TRUE(c.projection->mapTexture(c.p, frame, s));
        return s;
    };
    // Each call after an unrelated one, then in sequence; bit for bit alike.
    const Call other{sphere.get(), 1, {5, 6, 7}, {2, 2, 2}, 0.3, true};
    const int n = sizeof calls / sizeof calls[0];
    std::vector<ProjectionSample> alone;
    for (const Call& c : calls) {
        run(other);
        alone.push_back(run(c));
    }
    EXPECT_NE(alone[1].u, alone[2].u);  // the seam: −0.5 against 0.5
    for (int k = 0; k < n; ++k) {
        SCOPED_TRACE(k);
        const ProjectionSample s = run(calls[k]);
        const ProjectionSample& a = alone[k];
        const auto bits = [](const ProjectionSample& x, double* out) {
            const double values[11] = {x.u,           x.v,           x.uScale,       x.vScale,
                                       x.footprint,   x.uDirection[0], x.uDirection[1], x.uDirection[2],
                                       x.vDirection[0], x.vDirection[1], x.vDirection[2]};
            std::memcpy(out, values, sizeof values);
        };
        double got[11], expected[11];
        bits(s, got);
        bits(a, expected);
        EXPECT_EQ(std::memcmp(got, expected, sizeof got), 0)
            << s.u << " " << alone[k].u << ", " << s.uScale << " " << alone[k].uScale << ", " << s.uDirection[0]
            << " " << alone[k].uDirection[0];
    }
}

TEST(Projection, FrontProjectsThroughTheCamera) {
    LayerMapping mapping;
    FrontProjection front(mapping);
    // A camera at the origin looking down +Z, zoom 2, 200 × 100 square pixels.
    const double right[3] = {1, 0, 0}, up[3] = {0, 1, 0}, forward[3] = {0, 0, 1}, at[3] = {0, 0, 0};
    front.setCamera(right, up, forward, at, 2, 200, 100, 1);
    const double unit[3] = {1, 1, 1};
    const double centre[3] = {0, 0, 5};
    ProjectionSample s = project(front, 2, centre, unit, 1);
    EXPECT_DOUBLE_EQ(s.u, 0.5);
    EXPECT_DOUBLE_EQ(s.v, 0.5);
    // The frame's right edge: x/z = A/zoom with A = 2.
    const double edge[3] = {5, 0, 5};
    s = project(front, 2, edge, unit, 1);
    EXPECT_NEAR(s.u, 1, 1e-12);
    // Footprint: the smaller of |f / A · 0.5| and |f · 0.5|.
    EXPECT_DOUBLE_EQ(s.footprint, 0.25);
    // A camera without zoom projects nothing.
    front.setCamera(right, up, forward, at, 0, 200, 100, 1);
    ProjectionFrame frame;
    ProjectionSample none;
    EXPECT_FALSE(front.mapTexture(centre, frame, none));
}

TEST(Projection, UVTextureEntryNeverMaps) {
    LayerMapping mapping;
    auto uv = makeProjection(kUV, mapping);
    ProjectionFrame frame;
    ProjectionSample s;
    const double p[3] = {0.1, 0.2, 0.3};
    EXPECT_FALSE(uv->mapTexture(p, frame, s));
}

TEST(Projection, AnyPointIsSafe) {
    LayerMapping mapping;
    const double unit[3] = {1, 1, 1};
    const double origin[3] = {0, 0, 0};
    for (int kind = 0; kind <= 7; ++kind) {
        auto projection = makeProjection(kind, mapping);
        ProjectionFrame frame;
        ProjectionSample s;
        s.footprint = 0;
        projection->mapTexture(origin, frame, s);  // no crash, no trap
        for (double d : s.uDirection) EXPECT_FALSE(std::isnan(d)) << kind;
    }
    (void)unit;
}

}  // namespace
