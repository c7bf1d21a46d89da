// The UV projection through the loaded module: spots on the triangles of
// meshes with a Texture UV map, read through the host's mesh of the
// object, against the sampler at the (u, v) and footprint that the UV
// formulas give; and the spots that get no value.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "meshes.h"
#include "shader_fixture.h"

namespace {

using Vec = std::array<double, 3>;

class ShaderUV : public ShaderFixture {
protected:
    // An instance showing grey noise on the luminosity with full blending,
    // projected by the UV map at the given position of the "UVMap" popup.
    LWInstance uvShader(int uvMap) {
        LWInstance instance = create();
        hostsim::ViewPanel* panel = openPanel(instance);
        EXPECT_NE(panel, nullptr);
        showImage(panel, image("noise.jp2", 640, 520, 1, testfiles::noisePattern(5)));
        EXPECT_TRUE(panel->setInt(0x9113, 1));
        EXPECT_TRUE(panel->setFloat(0x9004, 1.0));
        EXPECT_TRUE(panel->setInt(0x9102, 5));
        EXPECT_TRUE(panel->setInt(0x9103, uvMap));
        handler.rend->init(instance, LWINIT_RENDER);
        handler.rend->newTime(instance, 0, 0.0);
        return instance;
    }
    double pixelAngle() {
        const auto fov = host.scene().fovAngles(camera, 0);
        const auto settings = host.scene().settings();
        return std::max(std::tan(fov[1] / settings.frameHeight), std::tan(fov[0] / settings.frameWidth));
    }
};

// A camera ray's spot on triangle t of the object's mesh (the object at the
// origin, unturned) with the given barycentric weights.
LWShaderAccess spotOn(const hostsim::Mesh& m, uint32_t t, const Vec& w, LWItemID object, LWItemID camera) {
    LWShaderAccess a{};
    a.objID = object;
    a.sourceID = camera;
    a.rayLength = 4;
    a.polygon = hostsim::polygonId(t);
    for (int i = 0; i < 3; ++i) {
        const uint32_t vertex = m.triangles[t][static_cast<size_t>(i)];
        a.verts[i] = hostsim::pointId(vertex);
        a.weights[i] = static_cast<float>(w[static_cast<size_t>(i)]);
        for (int k = 0; k < 3; ++k) {
            a.vertsWPos[i][k] = static_cast<float>(m.positions[vertex][static_cast<size_t>(k)]);
            a.wPos[k] += w[static_cast<size_t>(i)] * m.positions[vertex][static_cast<size_t>(k)];
        }
    }
    for (int k = 0; k < 3; ++k) a.oPos[k] = a.wPos[k];
    for (int k = 0; k < 9; ++k) a.oXfrm[k] = k % 4 == 0 ? 1 : 0;
    a.wNorm0[1] = a.wNorm[1] = 1;
    a.luminous = 0.125;
    return a;
}

// What the UV formulas give at the spot, with the UVs as the host's mesh
// hands them (single precision).
struct Expected {
    double u = 0, v = 0, uScale = 1, vScale = 1;
};
Expected uvFormula(const hostsim::Mesh& m, const LWShaderAccess& a) {
    Expected e;
    float uv[3][2];
    for (int i = 0; i < 3; ++i) {
        const uint32_t vertex = m.triangles[hostsim::polygonIndex(a.polygon)][static_cast<size_t>(i)];
        uv[i][0] = static_cast<float>(m.uvs[vertex][0]);
        uv[i][1] = static_cast<float>(m.uvs[vertex][1]);
        e.u += uv[i][0] * static_cast<double>(a.weights[i]);
        e.v += uv[i][1] * static_cast<double>(a.weights[i]);
    }
    for (int i = 0; i < 3; ++i) {
        const double w = a.weights[i];
        const double d = std::hypot(a.vertsWPos[i][0] - a.wPos[0], a.vertsWPos[i][1] - a.wPos[1],
                                    a.vertsWPos[i][2] - a.wPos[2]);
        e.uScale += (uv[i][0] - e.u) * w / d;
        e.vScale += (uv[i][1] - e.v) * w / d;
    }
    e.v = 1 - e.v;
    return e;
}

TEST_F(ShaderUV, SpotsTakeTheWeightedUVsOfTheirTriangle) {
    hostsim::Mesh plane = hostsim::makePlane(3, 2, 4);
    LWItemID ground = addObject("Field", plane, "Soil");
    LWInstance instance = uvShader(1);  // "Texture"
    KorvalithImage* shown = core->imageAt(0);
    const double footprint = pixelAngle() * 4 * 0.5;
    const Vec weights[] = {{0.2, 0.3, 0.5}, {0.6, 0.25, 0.15}, {0.1, 0.1, 0.8}};
    int changed = 0;
    for (uint32_t t = 0; t < plane.triangles.size(); t += 5) {
        for (const Vec& w : weights) {
            SCOPED_TRACE(testing::Message() << "triangle " << t << ", weights " << w[0] << " " << w[1]);
            LWShaderAccess a = spotOn(plane, t, w, ground, camera);
            handler.evaluate(instance, &a);
            const Expected e = uvFormula(plane, a);
            const double uv[2] = {e.u, e.v};
            float rgba[4] = {0, 0, 0, 0}, value = 0;
            core->sampleImage(shown, uv, (e.uScale + e.vScale) * 0.5 * footprint, 1.0, 0, rgba, &value, 1, 1);
            EXPECT_NEAR(a.luminous, value, 2e-6);
            changed += a.luminous != 0.125;
        }
    }
    EXPECT_GT(changed, 0);
    destroy(instance);
}

// A vertex that the map holds no UV for makes its triangles' spots fail:
// they keep their values, while the triangles around it get theirs.
TEST_F(ShaderUV, ASpotWhoseVertexLacksAUVIsLeftAlone) {
    hostsim::Mesh quad = hostsim::makePlane(2, 2);
    ASSERT_EQ(quad.triangles.size(), 2u);
    // The vertex in the second triangle only has no UV.
    uint32_t lonely = 0;
    for (uint32_t v : quad.triangles[1])
        if (v != quad.triangles[0][0] && v != quad.triangles[0][1] && v != quad.triangles[0][2]) lonely = v;
    quad.uvMapped.assign(quad.positions.size(), true);
    quad.uvMapped[lonely] = false;
    LWItemID ground = addObject("Patchy", quad, "Patches");
    LWInstance instance = uvShader(1);
    LWShaderAccess mapped = spotOn(quad, 0, {0.3, 0.3, 0.4}, ground, camera);
    LWShaderAccess unmapped = spotOn(quad, 1, {0.3, 0.3, 0.4}, ground, camera);
    handler.evaluate(instance, &mapped);
    handler.evaluate(instance, &unmapped);
    EXPECT_NE(mapped.luminous, 0.125);
    EXPECT_EQ(unmapped.luminous, 0.125);
    destroy(instance);
}

// Spots of surfaces that belong to no object, a UV map of "(none)", a map
// the object's mesh does not hold and an object without a mesh: no value.
TEST_F(ShaderUV, SpotsWithoutAMapOrAnObjectGetNoValue) {
    hostsim::Mesh plane = hostsim::makePlane(2, 2);
    LWItemID ground = addObject("Field", plane, "Soil");
    hostsim::Mesh box = hostsim::makeBox(1, 1, 1);
    box.uvMap = "Atlas";
    addObject("Crate", box, "Wood");
    const LWItemID empty = host.scene().addObject("Null");
    struct Case {
        const char* name;
        int uvMap;  // popup position: 0 "(none)", 1 "Texture", 2 "Atlas"
        LWItemID object;
    } cases[] = {
        {"no object", 1, reinterpret_cast<LWItemID>(static_cast<uintptr_t>(0x10007FFF))},
        {"another no-object id", 1, reinterpret_cast<LWItemID>(static_cast<uintptr_t>(0x20017FFF))},
        {"no map chosen", 0, ground},
        {"a map of another object", 2, ground},
        {"an object without a mesh", 1, empty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LWInstance instance = uvShader(c.uvMap);
        LWShaderAccess a = spotOn(plane, 0, {0.3, 0.3, 0.4}, c.object, camera);
        handler.evaluate(instance, &a);
        EXPECT_EQ(a.luminous, 0.125);
        destroy(instance);
    }
    // The same spot on its own object gets a value.
    LWInstance instance = uvShader(1);
    LWShaderAccess a = spotOn(plane, 0, {0.3, 0.3, 0.4}, ground, camera);
    handler.evaluate(instance, &a);
    EXPECT_NE(a.luminous, 0.125);
    destroy(instance);
}

// The map is found by its stored name at every new time, so a map that
// moves in the scene's list is still the one the shader reads.
TEST_F(ShaderUV, TheMapIsFoundByNameAtEachNewTime) {
    hostsim::Mesh box = hostsim::makeBox(1, 1, 1);
    box.uvMap = "Before";
    const LWItemID crate = addObject("Crate", box, "Wood");
    hostsim::Mesh plane = hostsim::makePlane(2, 2);
    plane.uvMap = "Second";
    const LWItemID ground = addObject("Field", plane, "Soil");
    LWInstance instance = uvShader(3);  // "(none)", "Texture", "Before", "Second"
    LWShaderAccess a = spotOn(plane, 0, {0.3, 0.3, 0.4}, ground, camera);
    handler.evaluate(instance, &a);
    const double first = a.luminous;
    EXPECT_NE(first, 0.125);
    // The crate leaves: "Second" moves up to position 2.
    host.geometry().remove(crate);
    host.scene().removeItem(crate);
    handler.rend->newTime(instance, 1, 1 / 30.0);
    a = spotOn(plane, 0, {0.3, 0.3, 0.4}, ground, camera);
    handler.evaluate(instance, &a);
    EXPECT_EQ(a.luminous, first);
    EXPECT_EQ(openPanel(instance)->shownInt(0x9103), 2);
    destroy(instance);
}

}  // namespace
