// The shader inside a render of the stand-in host: the host fills an access
// record for every hit, the shader changes it, and the renderer shades with
// what it left.
#include <array>
#include <cmath>
#include <mutex>
#include <vector>

#include "meshes.h"
#include "raycaster.h"
#include "shader_fixture.h"
#include "shading.h"

namespace {

using ShaderRender = ShaderFixture;

// The shader as the host calls it at a hit.
hostsim::SurfaceShader through(const LWShaderHandler& handler, LWInstance instance) {
    return [&handler, instance](const hostsim::SurfaceHit& hit, hostsim::SurfaceValues& values, int) {
        LWShaderAccess access{};
        hostsim::fillShaderAccess(hit, values, access);
        handler.evaluate(instance, &access);
        hostsim::takeShaderAccess(access, values);
    };
}

// A white image on the colour at full strength renders exactly as a white
// surface does.
TEST_F(ShaderRender, AWhiteColourShaderRendersAsAWhiteSurface) {
    host.scene().setPosition(object, {0, -0.6, 3});
    host.scene().setRotation(object, {0.2, -1.1, 0});
    hostsim::RenderSettings settings;
    settings.width = 48, settings.height = 36, settings.threads = 2;

    hostsim::Surface white;
    white.name = "Grass";
    white.colour = {1, 1, 1};
    host.geometry().setSurface(object, white);
    const hostsim::Canvas expected = hostsim::render(host.scene(), host.geometry(), settings, nullptr);

    hostsim::Surface grey = white;
    grey.colour = {0.3, 0.3, 0.3};
    host.geometry().setSurface(object, grey);
    const hostsim::Canvas plain = hostsim::render(host.scene(), host.geometry(), settings, nullptr);
    ASSERT_NE(plain.rgb(), expected.rgb());

    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, image("white.jp2", 64, 64, 3, [](int, int, int) { return 255; }));
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 0, 0.0);
    const hostsim::Canvas shaded = hostsim::render(host.scene(), host.geometry(), settings, through(handler, instance));
    EXPECT_EQ(shaded.rgb(), expected.rgb());
    handler.rend->cleanup(instance);
    destroy(instance);
}

// Every hit of a moved and turned plane takes the image where the host's
// own UV of the hit puts it, read by the UV projection from the vertices
// of the record the host filled.
TEST_F(ShaderRender, UVsOfRenderedHitsMatchTheHostsOwn) {
    hostsim::Mesh plane = hostsim::makePlane(3, 2, 3);
    const LWItemID field = addObject("Field", plane, "Soil");
    host.scene().setPosition(object, {0, -50, 0});  // the fixture's ground out of sight
    host.scene().setPosition(field, {0.2, -0.4, 3});
    host.scene().setRotation(field, {0.3, -1.2, 0.1});
    LWInstance instance = create(host.surfaces().surfaceOf(field));
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, image("noise.jp2", 640, 520, 1, testfiles::noisePattern(9)));
    SET_INT(panel, 0x9113, 1);  // luminosity
    SET_INT(panel, 0x9102, 5);  // UV
    SET_INT(panel, 0x9103, 1);  // "Texture"
    ASSERT_TRUE(panel->setFloat(0x9004, 1.0));
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 0, 0.0);
    KorvalithImage* shown = core->imageAt(0);

    struct Seen {
        LWShaderAccess before, after;
        double uv[2];
    };
    std::mutex mutex;
    std::vector<Seen> seen;
    hostsim::RenderSettings settings;
    settings.width = 40, settings.height = 30, settings.threads = 2;
    hostsim::render(host.scene(), host.geometry(), settings,
                    [&](const hostsim::SurfaceHit& hit, hostsim::SurfaceValues& values, int) {
                        Seen s{};
                        hostsim::fillShaderAccess(hit, values, s.before);
                        s.after = s.before;
                        handler.evaluate(instance, &s.after);
                        hostsim::takeShaderAccess(s.after, values);
                        s.uv[0] = hit.uv[0], s.uv[1] = hit.uv[1];
                        std::lock_guard<std::mutex> lock(mutex);
                        seen.push_back(s);
                    });
    ASSERT_GT(seen.size(), 100u);

    const auto fov = host.scene().fovAngles(camera, 0);
    const auto scene = host.scene().settings();
    const double pixelAngle = std::max(std::tan(fov[1] / scene.frameHeight), std::tan(fov[0] / scene.frameWidth));
    for (const Seen& s : seen) {
        const LWShaderAccess& a = s.before;
        ASSERT_EQ(a.objID, field);
        // The UV formulas over the record's vertices.
        double u = 0, v = 0, uScale = 1, vScale = 1;
        float uvs[3][2];
        for (int i = 0; i < 3; ++i) {
            const auto& t = plane.uvs[hostsim::pointIndex(a.verts[i])];
            uvs[i][0] = static_cast<float>(t[0]), uvs[i][1] = static_cast<float>(t[1]);
            u += uvs[i][0] * static_cast<double>(a.weights[i]);
            v += uvs[i][1] * static_cast<double>(a.weights[i]);
        }
        for (int i = 0; i < 3; ++i) {
            const double d = std::hypot(a.vertsWPos[i][0] - a.wPos[0], a.vertsWPos[i][1] - a.wPos[1],
                                        a.vertsWPos[i][2] - a.wPos[2]);
            uScale += (uvs[i][0] - u) * a.weights[i] / d;
            vScale += (uvs[i][1] - v) * a.weights[i] / d;
        }
        EXPECT_NEAR(u, s.uv[0], 1e-5);
        EXPECT_NEAR(v, s.uv[1], 1e-5);
        const double uv[2] = {u, 1 - v};
        const double footprint = pixelAngle * a.rayLength * 0.5;
        float rgba[4] = {0, 0, 0, 0}, value = 0;
        core->sampleImage(shown, uv, (uScale + vScale) * 0.5 * footprint, 1.0, 0, rgba, &value, 1, 1);
        EXPECT_NEAR(s.after.luminous, value, 2e-6);
    }
    handler.rend->cleanup(instance);
    destroy(instance);
}

}  // namespace
