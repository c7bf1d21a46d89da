#include <gtest/gtest.h>

#include "mapping.h"

namespace {

using namespace korvalith;

TEST(ChoiceList, PositionsValuesAndNames) {
    ChoiceList list;
    list.add("Planar", 0);
    list.add("Front", 4);
    list.add("Spherical Section", 6);
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.indexOf(6), 2);
    EXPECT_EQ(list.indexOf(5), 0);  // absent: the first position
    EXPECT_EQ(list.valueAt(1), 4);
    EXPECT_STREQ(list.name(-1), "(none)");
    EXPECT_STREQ(list.name(3), "(none)");
    EXPECT_STREQ(list.name(2), "Spherical Section");
}

TEST(Falloff, TypesAndAxes) {
    struct Case {
        int type;
        double factors[3];
        double p[3];
        double f;
    } cases[] = {
        {LayerFalloff::kCubic, {0, 0, 0}, {5, 5, 5}, 1},  // no falloff at all
        {LayerFalloff::kCubic, {1, 1, 1}, {0.25, -0.25, 0.25}, 0.25},  // sum of magnitudes
        {LayerFalloff::kSpherical, {1, 1, 0}, {0.6, 0.8, 9}, 0},
        {LayerFalloff::kSpherical, {1, 1, 1}, {0.3, 0.4, 0}, 0.5},
        {LayerFalloff::kLinearX, {1, 0, 0}, {-3, 0, 0}, 1},  // the far side stays full
        {LayerFalloff::kLinearX, {1, 0, 0}, {0.5, 0, 0}, 0.5},
        {LayerFalloff::kLinearX, {1, 0, 0}, {1, 0, 0}, 0},
        {LayerFalloff::kLinearX, {0, 1, 1}, {7, 7, 7}, 1},  // its factor is 0
        {LayerFalloff::kLinearZ, {0, 0, 2}, {0, 0, 0.25}, 0.5},
        {9, {1, 1, 1}, {0.5, 0.5, 0.5}, 1},  // unknown type
    };
    for (const auto& c : cases) {
        LayerFalloff falloff;
        falloff.type = c.type;
        falloff.value.setValue(c.factors[0], c.factors[1], c.factors[2]);
        EXPECT_DOUBLE_EQ(falloff.at(c.p), c.f) << "type " << c.type;
    }
}

TEST(Mapping, TilesAndOffsetsScaleUAndV) {
    LayerMapping m;
    m.uTiles.setValue(2);
    m.vTiles.setValue(1);
    ProjectionSample s;
    s.u = 0.3;
    s.v = 0.4;
    m.applyTilesAndOffset(s);
    EXPECT_DOUBLE_EQ(s.u, 0.6);
    EXPECT_DOUBLE_EQ(s.v, 0.4);
    EXPECT_DOUBLE_EQ(s.uScale, 0.5);
    EXPECT_DOUBLE_EQ(s.vScale, 1);
    m.uTiles.setValue(1);
    m.vTiles.setValue(-2);
    m.uOffset.setValue(0.25);
    ProjectionSample t;
    t.u = 0.3;
    t.v = 0.4;
    m.applyTilesAndOffset(t);
    EXPECT_DOUBLE_EQ(t.u, 0.55);
    EXPECT_DOUBLE_EQ(t.v, -0.8);
    EXPECT_DOUBLE_EQ(t.vScale, 0.5);
}

TEST(Mapping, ProjectionObjectKeptForTheSameKind) {
    LayerMapping m;
    m.projectionChoices.add("Planar", 0);
    m.projectionChoices.add("Front", 4);
    const Projection* before = &m.projection();
    const int planar = 0;
    EXPECT_EQ(m.panelSet(0x9102, &planar), 3);
    EXPECT_EQ(&m.projection(), before);
    const int front = 1;
    m.panelSet(0x9102, &front);
    EXPECT_EQ(m.projectionKind(), kFront);
    EXPECT_NE(&m.projection(), before);
    // "World Coordinates" has no value for Front.
    EXPECT_EQ(m.panelGet(0x9109), nullptr);
    m.setProjection(42);  // stored, planar maths
    EXPECT_EQ(m.projectionKind(), 42);
    EXPECT_NE(m.panelGet(0x9109), nullptr);
}

TEST(Mapping, ItemIdChangesFollowEveryPairInOrder) {
    LayerMapping m;
    auto id = [](uintptr_t v) { return reinterpret_cast<LWItemID>(v); };
    m.referenceObject.setItem(id(0x10));
    m.referenceCamera.setItem(id(0x30));
    const LWItemID pairs[] = {id(0x10), id(0x20), id(0x20), id(0x21), id(0x30), id(0x31), nullptr, nullptr};
    m.changeItemIds(pairs);
    EXPECT_EQ(m.referenceObject.item(), id(0x21));  // later pairs see the changed id
    EXPECT_EQ(m.referenceCamera.item(), id(0x31));
    const LWItemID* used = m.usedItems();
    EXPECT_EQ(used[0], id(0x21));
    EXPECT_EQ(used[1], id(0x31));
    EXPECT_EQ(used[2], nullptr);
}

// The shader's point: the object (or world) position less the centre,
// turned by the rotation and divided by the scale; then the projection,
// tiles and offsets.
TEST(Mapping, ShaderPointCentresRotatesAndScales) {
    constexpr double kHalfPi = 1.5707963267948966;
    struct Case {
        int world;
        double heading;
        double uTiles;
        double u, v;
    } cases[] = {
        // object (2, 0, 3) − centre (1, 2, 3) = (1, −2, 0), ÷ (2, 4, 1)
        {0, 0, 1, 1.0, 1.0},
        // world (1, 2, 0) − centre = (0, 0, −3) ÷ scale: on the axis
        {1, 0, 1, 0.5, 0.5},
        // heading π/2 turns x into −z: (1, −2, 0) → (0, −2, −1), ÷ scale
        {0, kHalfPi, 1, 0.5, 1.0},
        {0, 0, 2, 2.0, 1.0},  // U tiles double u
    };
    for (const auto& c : cases) {
        LayerMapping m;
        m.axis = 2;
        m.worldCoordinates = c.world;
        m.position.setValue(1, 2, 3);
        m.scale.setValue(2, 4, 1);
        m.rotation.setValue(c.heading, 0, 0);
        m.uTiles.setValue(c.uTiles);
        m.vTiles.setValue(1);
        m.updateTransform();
        LWShaderAccess a{};
        a.oPos[0] = 2, a.oPos[2] = 3;
        a.wPos[0] = 1, a.wPos[1] = 2;
        ProjectionSample s;
        double falloff = 0;
        ASSERT_TRUE(m.mapPoint(a, s, &falloff));
        EXPECT_NEAR(s.u, c.u, 1e-15) << c.world << " " << c.heading;
        EXPECT_NEAR(s.v, c.v, 1e-15) << c.world << " " << c.heading;
        EXPECT_EQ(falloff, 1);  // no falloff set
    }
}

// The falloff is taken of the centred point, before the rotation and the
// scale; Front and UV take the world position as it is.
TEST(Mapping, ShaderFalloffIsOfTheCentredPoint) {
    LayerMapping m;
    m.position.setValue(1, 0, 0);
    m.scale.setValue(10, 10, 10);
    m.rotation.setValue(1.0, 0.5, 0);
    m.updateTransform();
    m.falloff.type = LayerFalloff::kLinearX;
    m.falloff.value.setValue(1, 0, 0);
    const double object[3] = {1.5, 0, 0}, world[3] = {0.25, 7, 7};
    double p[3], f = 0;
    m.spotPoint(world, object, p, &f);
    EXPECT_DOUBLE_EQ(f, 0.5);
    for (int kind : {kFront, kUV}) {
        m.setProjection(kind);
        m.spotPoint(world, object, p, &f);
        EXPECT_DOUBLE_EQ(f, 0.75) << kind;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(p[k], world[k]);
    }
}

// The node's spot values in force for one spot: a mapping whose cached
// values are the spot's maps the spot alike, and the mapping that served
// the spot keeps its own values.
TEST(Mapping, NodeSpotValuesMapLikeCachedOnes) {
    struct Case {
        int kind;
        double scale[3], position[3], rotation[3];
        double uTiles, vTiles, uOffset, vOffset;
        double segment[4];
    } cases[] = {
        {kPlanar, {2, 3, 0.5}, {0.1, -0.2, 0.3}, {0.4, -0.3, 0.2}, 2, -1.5, 0.25, -0.1, {0, 0, 6.28, 3.14}},
        {kSpherical, {1, 1, 1}, {0.5, 0, 0}, {0, 1.1, 0}, 1, 3, 0, 0.5, {0, 0, 6.28, 3.14}},
        {kSphericalSection, {1.5, 1, 2}, {0, 0, -0.4}, {0.2, 0, 0.7}, 1, 1, 0.1, 0, {0.3, 0.2, 2.5, 1.2}},
        {kCubic, {1, 2, 1}, {0, 0, 0}, {0, 0, 0}, 1, 1, 0, 0, {0, 0, 6.28, 3.14}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        LayerMapping served, reference;
        for (LayerMapping* m : {&served, &reference}) {
            m->setProjection(c.kind);
            m->axis = 1;
        }
        served.updateTransform();
        const SpotMapping initial = served.spotMapping();
        SpotMapping v = initial;
        for (int k = 0; k < 3; ++k) {
            v.scale[k] = c.scale[k];
            v.position[k] = c.position[k];
            v.rotation[k] = c.rotation[k];
        }
        v.uTiles = c.uTiles, v.vTiles = c.vTiles, v.uOffset = c.uOffset, v.vOffset = c.vOffset;
        for (int k = 0; k < 4; ++k) v.segment[k] = c.segment[k];
        served.spotTransform(v);

        reference.scale.setValue(c.scale[0], c.scale[1], c.scale[2]);
        reference.position.setValue(c.position[0], c.position[1], c.position[2]);
        reference.rotation.setValue(c.rotation[0], c.rotation[1], c.rotation[2]);
        reference.uTiles.setValue(c.uTiles);
        reference.vTiles.setValue(c.vTiles);
        reference.uOffset.setValue(c.uOffset);
        reference.vOffset.setValue(c.vOffset);
        reference.updateTransform();
        reference.segLeft.setValue(c.segment[0]);
        reference.segTop.setValue(c.segment[1]);
        reference.segWidth.setValue(c.segment[2]);
        reference.segHeight.setValue(c.segment[3]);

        LWNodalAccess a{};
        a.oPos[0] = 0.7, a.oPos[1] = -0.2, a.oPos[2] = 0.35;
        // The cubic face follows the unperturbed normal, not the point.
        a.wNorm0[2] = 1;
        a.wNorm[0] = 1;
        ProjectionSample got, want;
        got.footprint = want.footprint = 0.01;
        ASSERT_TRUE(served.mapNode(a, v, got));
        ASSERT_TRUE(reference.mapNode(a, reference.spotMapping(), want));
        EXPECT_NEAR(got.u, want.u, 1e-12);
        EXPECT_NEAR(got.v, want.v, 1e-12);
        EXPECT_NEAR(got.uScale, want.uScale, 1e-12);
        EXPECT_NEAR(got.vScale, want.vScale, 1e-12);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(got.uDirection[k], want.uDirection[k], 1e-12);
            EXPECT_EQ(served.scale.value()[k], initial.scale[k]);
            EXPECT_EQ(served.position.value()[k], initial.position[k]);
            EXPECT_EQ(served.rotation.value()[k], initial.rotation[k]);
            for (int j = 0; j < 3; ++j) EXPECT_EQ(served.matrix[k][j], initial.matrix[k][j]);
        }
        EXPECT_EQ(served.uTiles.x(), initial.uTiles);
        if (c.kind == kCubic) {
            // Face Z: u from x, v from y, although |x| is the largest of the point.
            const double x = (a.oPos[0] - c.position[0]) / c.scale[0], y = (a.oPos[1] - c.position[1]) / c.scale[1];
            EXPECT_NEAR(got.u, x + 0.5, 1e-12);
            EXPECT_NEAR(got.v, 0.5 - y, 1e-12);
        }
    }
}

}  // namespace
