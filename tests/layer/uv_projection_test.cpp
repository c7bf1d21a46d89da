// The UV maths of a spot, with the vertices' UVs read from a table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

#include "mapping.h"
#include "uv_projection.h"

namespace {

using namespace korvalith;

LWPntID point(uintptr_t i) { return reinterpret_cast<LWPntID>(i); }

// UVs by vertex; a vertex missing from the table has none.
using UVTable = std::map<LWPntID, std::pair<float, float>>;

bool readTable(void* data, LWPntID vertex, LWPolID, float uv[2]) {
    const auto& table = *static_cast<const UVTable*>(data);
    const auto it = table.find(vertex);
    if (it == table.end()) return false;
    uv[0] = it->second.first;
    uv[1] = it->second.second;
    return true;
}

// A unit square in the XY plane whose UVs equal its positions, and the spot
// at (x, y) with its bilinear weights.
struct Square {
    UVTable uvs{{point(1), {0, 0}}, {point(2), {1, 0}}, {point(3), {1, 1}}, {point(4), {0, 1}}};
    SurfaceSpot spot;
    double p[3];
    Square(double x, double y) : p{x, y, 0} {
        const float corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        const double w[4] = {(1 - x) * (1 - y), x * (1 - y), x * y, (1 - x) * y};
        for (int i = 0; i < 4; ++i) {
            spot.vertices[i] = point(static_cast<uintptr_t>(i + 1));
            spot.weights[i] = static_cast<float>(w[i]);
            for (int k = 0; k < 3; ++k) spot.vertexWorld[i][k] = corners[i][k];
        }
    }
};

TEST(UVProjection, WeightsTheVertexUVsAndFlipsV) {
    Square square(0.25, 0.75);
    ProjectionSample s;
    ASSERT_TRUE(uvAtSpot(square.p, square.spot, readTable, &square.uvs, s));
    EXPECT_NEAR(s.u, 0.25, 1e-7);
    EXPECT_NEAR(s.v, 0.25, 1e-7);  // 1 − 0.75
    // u grows along x, the map's v along y.
    EXPECT_GT(s.uDirection[0], 0.9);
    EXPECT_GT(s.vDirection[1], 0.9);
    EXPECT_NEAR(std::hypot(s.uDirection[0], s.uDirection[1], s.uDirection[2]), 1, 1e-12);
}

TEST(UVProjection, DirectionsAndScalesAtTheCentre) {
    Square square(0.5, 0.5);
    ProjectionSample s;
    ASSERT_TRUE(uvAtSpot(square.p, square.spot, readTable, &square.uvs, s));
    const double u[3] = {1, 0, 0}, v[3] = {0, 1, 0};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(s.uDirection[k], u[k], 1e-12);
        EXPECT_NEAR(s.vDirection[k], v[k], 1e-12);
    }
    // The differences cancel around the centre: the scales keep the 1 they had.
    EXPECT_NEAR(s.uScale, 1, 1e-12);
    EXPECT_NEAR(s.vScale, 1, 1e-12);
}

TEST(UVProjection, AVertexWithoutAUVFailsButStillGivesUAndV) {
    Square square(0.5, 0.5);
    square.uvs.erase(point(3));
    ProjectionSample s;
    EXPECT_FALSE(uvAtSpot(square.p, square.spot, readTable, &square.uvs, s));
    EXPECT_NEAR(s.u, 0.25, 1e-7);  // 0.25 · (0 + 1 + 0)
    EXPECT_NEAR(s.v, 0.75, 1e-7);  // 1 − 0.25 · (0 + 0 + 1)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(s.uDirection[k], 0);
    EXPECT_EQ(s.uScale, 1);
}

TEST(UVProjection, TrianglesSpotsOnAVertexAndSpotsWithoutVertices) {
    // A triangle: the fourth id is null and not part of the polygon.
    Square triangle(0, 0);
    triangle.spot.vertices[3] = nullptr;
    triangle.spot.weights[0] = 1;
    triangle.spot.weights[1] = triangle.spot.weights[2] = triangle.spot.weights[3] = 0;
    triangle.uvs.erase(point(4));
    ProjectionSample s;
    // The spot sits on vertex 1: no scale from a vertex at no distance.
    ASSERT_TRUE(uvAtSpot(triangle.p, triangle.spot, readTable, &triangle.uvs, s));
    EXPECT_EQ(s.u, 0);
    EXPECT_EQ(s.v, 1);
    EXPECT_TRUE(std::isfinite(s.uScale) && std::isfinite(s.vScale));
    // No vertex at all gives no UV.
    SurfaceSpot none;
    ProjectionSample t;
    EXPECT_FALSE(uvAtSpot(triangle.p, none, readTable, &triangle.uvs, t));
}

// Without a host there is no mesh to read: every spot is rejected, also
// through the mapping.
TEST(UVProjection, NoHostNoValue) {
    LayerMapping mapping;
    mapping.setProjection(kUV);
    mapping.uvMapIndex = 1;
    mapping.projection().setTime(0);
    LWShaderAccess access{};
    ProjectionSample s;
    double falloff = 0;
    EXPECT_FALSE(mapping.mapPoint(access, s, &falloff));
}

}  // namespace
