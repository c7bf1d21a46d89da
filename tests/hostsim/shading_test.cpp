// A surface's values at a spot and the shader access record of a hit:
// every field from the hit and the values, and back.
#include "shading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "geometry.h"
#include "host.h"
#include "lwserver.h"
#include "meshes.h"
#include "raycaster.h"
#include "scene.h"

namespace {

using V3 = std::array<double, 3>;

V3 place(const hostsim::ItemTransform& t, const V3& p) {
    V3 w = t.origin;
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c) w[c] += p[i] * t.axes[i][c];
    return w;
}

TEST(SurfaceValues, TakeTheSurfacesChannels) {
    const hostsim::Surface s{.name = "All",
                             .colour = {0.1, 0.2, 0.3},
                             .luminosity = 0.01,
                             .diffuse = 0.02,
                             .specularity = 0.03,
                             .glossiness = 0.5,
                             .reflection = 0.05,
                             .transparency = 0.06,
                             .refractionIndex = 1.07,
                             .translucency = 0.08,
                             .colourHighlights = 0.09,
                             .colourFilter = 0.10,
                             .additiveTransparency = 0.11,
                             .diffuseSharpness = 0.12,
                             .bump = 0.13};
    const double n[3] = {0, 0.6, -0.8};
    const hostsim::SurfaceValues v = hostsim::surfaceValues(s, n);
    EXPECT_EQ(v.normal, (V3{0, 0.6, -0.8}));
    EXPECT_EQ(v.colour, s.colour);
    EXPECT_EQ(v.luminous, 0.01);
    EXPECT_EQ(v.diffuse, 0.02);
    EXPECT_EQ(v.specular, 0.03);
    EXPECT_EQ(v.mirror, 0.05);
    EXPECT_EQ(v.transparency, 0.06);
    EXPECT_EQ(v.eta, 1.07);
    EXPECT_EQ(v.roughness, std::pow(2.0, -7.0));
    EXPECT_EQ(v.translucency, 0.08);
    EXPECT_EQ(v.colourHighlights, 0.09);
    EXPECT_EQ(v.colourFilter, 0.10);
    EXPECT_EQ(v.additiveTransparency, 0.11);
    EXPECT_EQ(v.diffuseSharpness, 0.12);
    EXPECT_EQ(v.bumpHeight, 0.0);
    // Roughness from glossiness: 0 -> 1/4, the default 0.4 -> 2^-6, 1 -> 2^-12.
    for (const auto& [glossiness, roughness] : {std::pair{0.0, 0.25}, {0.4, 1.0 / 64}, {1.0, 1.0 / 4096}})
        EXPECT_DOUBLE_EQ(hostsim::surfaceValues({.name = "", .glossiness = glossiness}, n).roughness, roughness) << glossiness;
}

// A hit on a known triangle of a placed, turned and stretched box, built as
// the ray caster describes hits.
class ShaderAccess : public ::testing::Test {
protected:
    ShaderAccess() {
        box = host.scene().addObject("Box");
        host.scene().setPosition(box, {1, 2, 3});
        host.scene().setRotation(box, {0.3, -0.2, 0.5});
        host.scene().setScaling(box, {2, 1, 0.5});
        mesh = std::make_shared<const hostsim::Mesh>(hostsim::makeBox(1, 1, 1));
        host.geometry().setMesh(box, mesh);
        camera = host.scene().addCamera("Camera");

        const uint32_t t = 7;
        const auto& tri = mesh->triangles[t];
        hit.object = box;
        hit.polygon = t;
        hit.vertices = {tri[0], tri[1], tri[2]};
        hit.weights = {0.2, 0.3, 0.5};
        hit.transform = host.scene().worldTransform(box, 0);
        V3 local{}, uv{};
        for (int k = 0; k < 3; ++k) {
            hit.vertexWorld[k] = place(hit.transform, mesh->positions[tri[k]]);
            for (int c = 0; c < 3; ++c) local[c] += hit.weights[k] * mesh->positions[tri[k]][c];
            for (int c = 0; c < 2; ++c) uv[c] += hit.weights[k] * mesh->uvs[tri[k]][c];
        }
        const V3 world = place(hit.transform, local);
        const V3 origin{-4, 5, -6};
        V3 dir{world[0] - origin[0], world[1] - origin[1], world[2] - origin[2]};
        const double length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        for (int c = 0; c < 3; ++c) {
            hit.local[c] = local[c];
            hit.world[c] = world[c];
            hit.rayOrigin[c] = origin[c];
            hit.rayDirection[c] = dir[c] / length;
        }
        hit.uv[0] = uv[0];
        hit.uv[1] = uv[1];
        hit.distance = length;
        hit.spotSize = 0.01;
        const V3 smooth{0.6, 0, -0.8}, flat{0, 0.6, -0.8};
        for (int c = 0; c < 3; ++c) {
            hit.normal[c] = smooth[c];
            hit.geometric[c] = flat[c];
        }
        hit.x = 12;
        hit.y = 34;
        hit.source = camera;
        hit.bounce = 0;
    }
    hostsim::Host host;
    LWItemID box, camera;
    std::shared_ptr<const hostsim::Mesh> mesh;
    hostsim::SurfaceHit hit;
};

TEST_F(ShaderAccess, DescribesTheSpotOfTheHit) {
    hostsim::SurfaceValues values = hostsim::surfaceValues({}, hit.normal);
    LWShaderAccess a;
    std::memset(&a, 0x5A, sizeof a);  // nothing left over from before
    hostsim::fillShaderAccess(hit, values, a);

    EXPECT_EQ(a.sx, 12);
    EXPECT_EQ(a.sy, 34);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(a.oPos[c], hit.local[c]);
        EXPECT_EQ(a.wPos[c], hit.world[c]);
        EXPECT_EQ(a.raySource[c], hit.rayOrigin[c]);
        EXPECT_EQ(a.gNorm[c], hit.geometric[c]);
        EXPECT_EQ(a.wNorm0[c], hit.normal[c]);
        EXPECT_EQ(a.wNorm[c], hit.normal[c]);
    }
    EXPECT_EQ(a.spotSize, 0.01);
    EXPECT_EQ(a.rayLength, hit.distance);
    EXPECT_DOUBLE_EQ(a.cosine, -(hit.rayDirection[0] * 0.6 - hit.rayDirection[2] * 0.8));
    EXPECT_EQ(a.objID, box);
    EXPECT_EQ(a.sourceID, camera);
    EXPECT_EQ(a.bounces, 0);
    EXPECT_EQ(a.flags, 0);
    EXPECT_EQ(a.polNum, 7);
    EXPECT_EQ(a.polygon, hostsim::polygonId(7));

    // oXfrm takes object directions into the world (w = t · oXfrm), wXfrm
    // brings them back.
    const V3 t{mesh->positions[hit.vertices[1]][0] - mesh->positions[hit.vertices[0]][0],
               mesh->positions[hit.vertices[1]][1] - mesh->positions[hit.vertices[0]][1],
               mesh->positions[hit.vertices[1]][2] - mesh->positions[hit.vertices[0]][2]};
    for (int j = 0; j < 3; ++j) {
        double w = 0;
        for (int i = 0; i < 3; ++i) w += t[i] * a.oXfrm[3 * i + j];
        EXPECT_NEAR(w, hit.vertexWorld[1][j] - hit.vertexWorld[0][j], 1e-12) << j;
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double p = 0;
            for (int k = 0; k < 3; ++k) p += a.oXfrm[3 * i + k] * a.wXfrm[3 * k + j];
            EXPECT_NEAR(p, i == j ? 1 : 0, 1e-12) << i << "," << j;
        }
    }

    // The vertices: ids the object's mesh answers for, weights and world
    // positions; the UV map read at them and weighted gives the hit's UV.
    const auto* oi =
        static_cast<const LWObjectInfo*>(hostsim::Host::lookupFunction()(LWOBJECTINFO_GLOBAL, GFUSE_TRANSIENT));
    LWMeshInfoID m = oi->meshInfo(a.objID, 0);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->pntVSelect(m, m->pntVLookup(m, LWVMAP_TXUV, "Texture")), 2);
    double u = 0, v = 0, weights = 0;
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a.verts[k], m->polVertex(m, a.polygon, k));
        float uv[2];
        ASSERT_EQ(m->pntVGet(m, a.verts[k], uv), 1) << k;
        u += uv[0] * a.weights[k];
        v += uv[1] * a.weights[k];
        weights += a.weights[k];
        LWFVector base;
        m->pntBasePos(m, a.verts[k], base);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(a.vertsWPos[k][c], float(hit.vertexWorld[k][c]));
            EXPECT_EQ(base[c], float(mesh->positions[hit.vertices[k]][c]));
        }
    }
    m->destroy(m);
    EXPECT_FLOAT_EQ(float(weights), 1.0f);
    EXPECT_NEAR(u, hit.uv[0], 1e-6);
    EXPECT_NEAR(v, hit.uv[1], 1e-6);
    EXPECT_EQ(a.verts[3], nullptr);
    EXPECT_EQ(a.weights[3], 0.0f);

    // Outside a render there is nothing to trace.
    EXPECT_EQ(a.rayCast, nullptr);
    EXPECT_EQ(a.rayTrace, nullptr);
    EXPECT_EQ(a.rayShade, nullptr);
    EXPECT_EQ(a.illuminate, nullptr);
}

// Each value goes to its own field and comes back from it.
TEST_F(ShaderAccess, CarriesTheSurfaceValuesBothWays) {
    hostsim::SurfaceValues in;
    in.normal = {0, 1, 0};
    in.colour = {0.1, 0.2, 0.3};
    in.luminous = 0.01;
    in.diffuse = 0.02;
    in.specular = 0.03;
    in.mirror = 0.04;
    in.transparency = 0.05;
    in.eta = 1.06;
    in.roughness = 0.07;
    in.translucency = 0.08;
    in.colourHighlights = 0.09;
    in.colourFilter = 0.10;
    in.additiveTransparency = 0.11;
    in.diffuseSharpness = 0.12;
    in.bumpHeight = 0.13;
    LWShaderAccess a;
    hostsim::fillShaderAccess(hit, in, a);
    EXPECT_EQ(a.wNorm[1], 1.0);
    EXPECT_EQ(a.color[2], 0.3);
    EXPECT_EQ(a.luminous, 0.01);
    EXPECT_EQ(a.diffuse, 0.02);
    EXPECT_EQ(a.specular, 0.03);
    EXPECT_EQ(a.mirror, 0.04);
    EXPECT_EQ(a.transparency, 0.05);
    EXPECT_EQ(a.eta, 1.06);
    EXPECT_EQ(a.roughness, 0.07);
    EXPECT_EQ(a.translucency, 0.08);
    EXPECT_EQ(a.colorHL, 0.09);
    EXPECT_EQ(a.colorFL, 0.10);
    EXPECT_EQ(a.addTransparency, 0.11);
    EXPECT_EQ(a.difSharpness, 0.12);
    EXPECT_EQ(a.bumpHeight, 0.13);
    EXPECT_EQ(a.wNorm0[0], 0.6);  // the smooth normal, whatever the values say

    // What a shader writes comes back.
    a.wNorm[0] = 0.8;
    a.wNorm[1] = 0.6;
    a.color[0] = 0.9;
    a.luminous = 0.21;
    a.diffuse = 0.22;
    a.specular = 0.23;
    a.mirror = 0.24;
    a.transparency = 0.25;
    a.eta = 1.26;
    a.roughness = 0.27;
    a.translucency = 0.28;
    a.colorHL = 0.29;
    a.colorFL = 0.30;
    a.addTransparency = 0.31;
    a.difSharpness = 0.32;
    a.bumpHeight = 0.33;
    hostsim::SurfaceValues out;
    hostsim::takeShaderAccess(a, out);
    EXPECT_EQ(out.normal, (V3{0.8, 0.6, 0}));
    EXPECT_EQ(out.colour, (V3{0.9, 0.2, 0.3}));
    EXPECT_EQ(out.luminous, 0.21);
    EXPECT_EQ(out.diffuse, 0.22);
    EXPECT_EQ(out.specular, 0.23);
    EXPECT_EQ(out.mirror, 0.24);
    EXPECT_EQ(out.transparency, 0.25);
    EXPECT_EQ(out.eta, 1.26);
    EXPECT_EQ(out.roughness, 0.27);
    EXPECT_EQ(out.translucency, 0.28);
    EXPECT_EQ(out.colourHighlights, 0.29);
    EXPECT_EQ(out.colourFilter, 0.30);
    EXPECT_EQ(out.additiveTransparency, 0.31);
    EXPECT_EQ(out.diffuseSharpness, 0.32);
    EXPECT_EQ(out.bumpHeight, 0.33);
}

TEST_F(ShaderAccess, AFlattenedObjectHasNoWayBack) {
    hit.transform.axes[2] = {0, 0, 0};
    LWShaderAccess a;
    hostsim::fillShaderAccess(hit, hostsim::surfaceValues({}, hit.normal), a);
    for (const double w : a.wXfrm) EXPECT_EQ(w, 0.0);
    EXPECT_EQ(a.oXfrm[0], hit.transform.axes[0][0]);
}

}  // namespace
