// Evaluation of the shader through the loaded module, spot by spot, against
// the core's own sampler at the (u, v) and footprint that the formulas
// give, worked out here and not by the plug-in's code: every surface
// channel, strength, falloff, invert, the colour correction, the footprint
// of camera rays and of other rays, and the bump.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "lwrender.h"
#include "shader_fixture.h"

namespace {

using Vec = std::array<double, 3>;

// The test images, 640 x 520: three pyramid levels in tiles of 161 x 131, so
// a footprint f reads level position log2(1 / (f · 131)), 0 the coarsest.
constexpr int kImageWidth = 640, kImageHeight = 520;
double levelPosition(double footprint) { return std::log2(1 / (std::fabs(footprint) * 131)); }

// The colour correction the rows use: brightness and gamma (hue 0,
// saturation 1 and contrast 1 keep the colour's hue), and invert.
struct Correction {
    double brightness = 1, gamma = 1;
    bool invert = false;
    float scalar(float x) const {
        if (brightness != 1) x = (static_cast<float>(brightness) * x - 0.5f) * 1.0f + 0.5f;
        if (gamma != 1) x = std::pow(x, 1.0f / static_cast<float>(gamma));
        return invert ? 1 - x : x;
    }
};

enum Picture { kGrey, kColour };

struct Row {
    const char* name;
    int channel;
    double strength = 1;
    bool invert = false;
    Correction correction{};
    Picture picture = kGrey;
    bool otherRay = false;   // the ray left another item, not the camera
    double falloffX = 0;     // "Linear X" falloff factor; 0 for none
};

const Row kRows[] = {
    {.name = "colour", .channel = 0, .picture = kColour},
    {.name = "colour at 0.6, corrected", .channel = 0, .strength = 0.6, .correction = {.brightness = 0.7},
     .picture = kColour},
    {.name = "colour inverted and gamma", .channel = 0, .invert = true, .correction = {.gamma = 1.6},
     .picture = kColour},
    {.name = "luminosity", .channel = 1},
    {.name = "diffuse at 0.4", .channel = 2, .strength = 0.4},
    {.name = "specularity inverted", .channel = 3, .invert = true},
    {.name = "glossiness", .channel = 4, .correction = {.brightness = 0.8}},
    {.name = "reflection, corrected and inverted", .channel = 5, .correction = {.brightness = 1.2, .invert = true}},
    {.name = "transparency, a ray from another item", .channel = 6, .otherRay = true},
    {.name = "refraction index with falloff", .channel = 7, .falloffX = 1.5},
    {.name = "translucency", .channel = 8, .strength = 0.75},
    {.name = "colour highlights ignore the correction", .channel = 10,
     .correction = {.brightness = 0.5, .gamma = 2, .invert = true}},
    {.name = "colour highlights inverted", .channel = 10, .invert = true, .correction = {.brightness = 0.5}},
    {.name = "colour filtering", .channel = 11, .correction = {.gamma = 0.7}},
    {.name = "additive transparency", .channel = 12, .strength = 0.3, .otherRay = true},
    {.name = "diffuse sharpness", .channel = 13},
    {.name = "strength 0 changes nothing", .channel = 2, .strength = 0, .correction = {.brightness = 0.5}},
    {.name = "steep falloff: full strength behind the centre, none ahead", .channel = 1, .falloffX = 20},
};

// The surface values of the record, by the channel that writes them.
double* field(LWShaderAccess& a, int channel) {
    switch (channel) {
        case 1: return &a.luminous;
        case 2: return &a.diffuse;
        case 3: return &a.specular;
        case 4: return &a.roughness;
        case 5: return &a.mirror;
        case 6: return &a.transparency;
        case 7: return &a.eta;
        case 8: return &a.translucency;
        case 10: return &a.colorHL;
        case 11: return &a.colorFL;
        case 12: return &a.addTransparency;
        case 13: return &a.difSharpness;
        default: return nullptr;
    }
}

// Every value a shader may change, in one list to compare records by.
std::vector<double> surfaceValues(const LWShaderAccess& a) {
    std::vector<double> v(a.color, a.color + 3);
    v.insert(v.end(), a.wNorm, a.wNorm + 3);
    for (double x : {a.luminous, a.diffuse, a.specular, a.mirror, a.transparency, a.eta, a.roughness,
                     a.translucency, a.colorHL, a.colorFL, a.addTransparency, a.difSharpness})
        v.push_back(x);
    return v;
}

// A spot of the object, reached by a camera ray of the given length.
LWShaderAccess spotAt(const Vec& local, LWItemID object, LWItemID source, double rayLength) {
    LWShaderAccess a{};
    for (int i = 0; i < 3; ++i) {
        a.oPos[i] = local[i];
        a.wPos[i] = local[i] + 10;  // the object sits elsewhere in the world
    }
    a.rayLength = rayLength;
    a.raySource[0] = 3, a.raySource[1] = -2, a.raySource[2] = 1;
    a.objID = object;
    a.sourceID = source;
    for (int i = 0; i < 9; ++i) a.oXfrm[i] = a.wXfrm[i] = i % 4 == 0 ? 1 : 0;
    a.wNorm0[2] = a.wNorm[2] = a.gNorm[2] = 1;
    a.color[0] = 0.3, a.color[1] = 0.45, a.color[2] = 0.6;
    a.luminous = 0.11, a.diffuse = 0.22, a.specular = 0.33, a.mirror = 0.44, a.transparency = 0.55;
    a.eta = 1.33, a.roughness = 0.07, a.translucency = 0.66, a.colorHL = 0.77, a.colorFL = 0.88;
    a.addTransparency = 0.12, a.difSharpness = 0.23;
    return a;
}

// Planar on the default axis X with the default mapping: u = z + 0.5, v = 0.5 − y.
const Vec kSpots[] = {{0.12, -0.23, 0.31}, {-0.34, 0.17, -0.26}, {0.29, 0.38, -0.11}, {-0.21, -0.33, 0.19}};
constexpr double kTolerance = 2e-6;

class ShaderEvaluation : public ShaderFixture {
protected:
    void run(const Row& row, const std::string& grey, const std::string& colour);
    // The pixel angle of the render camera, as the scene gives it.
    double pixelAngle() {
        const auto fov = host.scene().fovAngles(camera, 0);
        const auto settings = host.scene().settings();
        return std::max(std::tan(fov[1] / settings.frameHeight), std::tan(fov[0] / settings.frameWidth));
    }
};

void ShaderEvaluation::run(const Row& row, const std::string& grey, const std::string& colour) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    showImage(panel, row.picture == kGrey ? grey : colour);
    SET_INT(panel, 0x9113, row.channel);
    SET_INT(panel, 0x9115, row.invert);
    ASSERT_TRUE(panel->setFloat(0x9114, row.strength));
    ASSERT_TRUE(panel->setFloat(0x9004, 1.0));  // full blending: any footprint error shows
    ASSERT_TRUE(panel->setFloat(0x9147, row.correction.brightness));
    ASSERT_TRUE(panel->setFloat(0x914B, row.correction.gamma));
    SET_INT(panel, 0x914C, row.correction.invert);
    if (row.falloffX != 0) {
        SET_INT(panel, 0x9110, 2);  // Linear X
        ASSERT_TRUE(panel->setVector(0x910F, row.falloffX, 0, 0));
    }
    ASSERT_EQ(core->imageCount(), 1);
    KorvalithImage* shown = core->imageAt(0);
    ASSERT_EQ(handler.rend->init(instance, LWINIT_RENDER), nullptr);
    ASSERT_EQ(handler.rend->newTime(instance, 0, 0.0), nullptr);

    const Vec cameraPosition = host.scene().param(camera, LWIP_W_POSITION, 0);
    const double angle = pixelAngle();
    bool onMiddleLevel = false, changed = false;
    for (size_t i = 0; i < std::size(kSpots); ++i) {
        const Vec& p = kSpots[i];
        SCOPED_TRACE(testing::Message() << "spot " << i);
        // Ray lengths that put the footprints around the middle level.
        const double rayLength = 2 * 0.0027 / angle * (0.8 + 0.15 * static_cast<double>(i));
        LWShaderAccess a = spotAt(p, object, row.otherRay ? object : camera, rayLength);
        if (row.otherRay) {
            // A ray that left a point 0.7 of the way out from the camera:
            // its footprint counts the whole way.
            a.rayLength = 0.3 * rayLength;
            for (int k = 0; k < 3; ++k) a.raySource[k] = cameraPosition[k] + (k == 0 ? 0.7 * rayLength : 0);
        }
        const LWShaderAccess before = a;
        handler.evaluate(instance, &a);

        const double travelled =
            row.otherRay ? std::hypot(a.raySource[0] - cameraPosition[0], a.raySource[1] - cameraPosition[1],
                                      a.raySource[2] - cameraPosition[2]) + a.rayLength
                         : rayLength;
        const double footprint = travelled * angle * 0.5;
        onMiddleLevel = onMiddleLevel || (levelPosition(footprint) >= 1 && levelPosition(footprint) < 2);
        const double uv[2] = {p[2] + 0.5, 0.5 - p[1]};
        const double falloff = row.falloffX != 0 ? std::clamp(1 - row.falloffX * p[0], 0.0, 1.0) : 1.0;
        const double d = falloff * row.strength;
        float rgba[4] = {0, 0, 0, 0}, value = 0;
        core->sampleImage(shown, uv, footprint, 1.0, 0, rgba, &value, 1, 1);
        if (row.invert) value = 1 - value;

        LWShaderAccess expected = before;
        const Correction& cc = row.correction;
        if (row.channel == 0) {
            for (int k = 0; k < 3; ++k) {
                const float c = cc.scalar(row.invert ? 1 - rgba[k] : rgba[k]);
                expected.color[k] = c * d + (1 - d) * before.color[k];
            }
        } else if (row.channel == 4) {
            const float exponent = 10.0f * cc.scalar(value) + 2.0f;
            expected.roughness = (1 - d) * before.roughness + d / std::pow(2.0, static_cast<double>(exponent));
        } else if (row.channel == 10) {
            expected.colorHL = (1 - d) * before.colorHL + value * d;
        } else {
            double* s = field(expected, row.channel);
            *s = (1 - d) * *s + cc.scalar(value) * d;
        }
        const std::vector<double> got = surfaceValues(a), want = surfaceValues(expected);
        for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], want[k], kTolerance) << "value " << k;
        // The roughness to the last bit: its exponent is formed in single precision.
        if (row.channel == 4) {
            EXPECT_EQ(a.roughness, expected.roughness);
        }
        if (d == 0) {
            EXPECT_EQ(got, surfaceValues(before));
        }
        changed = changed || got != surfaceValues(before);
    }
    handler.rend->cleanup(instance);
    destroy(instance);
    // The row must be able to show a fault.
    EXPECT_TRUE(onMiddleLevel) << "no spot reads the middle level";
    if (row.strength != 0 && row.falloffX < 10) {
        EXPECT_TRUE(changed) << "no spot changed";
    }
}

TEST_F(ShaderEvaluation, EveryChannelBlendsTheSamplerValueWhereTheFormulasPutIt) {
    host.scene().setFrameSize(640, 480);
    const std::string grey = image("noise-grey.jp2", kImageWidth, kImageHeight, 1, testfiles::noisePattern(7));
    const std::string colour = image("noise-colour.jp2", kImageWidth, kImageHeight, 3, testfiles::noisePattern(11));
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        run(row, grey, colour);
    }
}

// Each time change takes the mapping at that time: with a reference object
// the centre is the object's position and the axes are its axes, so a
// moving, turning reference moves the image across the surface.
TEST_F(ShaderEvaluation, TheTimeChangeFollowsTheReferenceObject) {
    const LWItemID pivot = host.scene().addObject("Pivot");
    host.scene().setKey(pivot, hostsim::Motion::Position, 0, {0.1, 0.05, -0.2});
    host.scene().setKey(pivot, hostsim::Motion::Position, 1, {-0.15, 0.1, 0.05});
    host.scene().setKey(pivot, hostsim::Motion::Rotation, 0, {0, 0, 0});
    host.scene().setKey(pivot, hostsim::Motion::Rotation, 1, {0.6, 0, 0});
    const std::string path = image("moving.jp2", kImageWidth, kImageHeight, 1, testfiles::noisePattern(3));
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, path);
    SET_INT(panel, 0x9113, 2);
    SET_INT(panel, 0x9107, 2);  // "Pivot", after the fixture's "Ground"
    KorvalithImage* shown = core->imageAt(0);
    handler.rend->init(instance, LWINIT_RENDER);
    std::vector<double> frames[2];
    for (int frame : {0, 30}) {
        const double time = frame / 30.0;
        SCOPED_TRACE(frame);
        ASSERT_EQ(handler.rend->newTime(instance, frame, time), nullptr);
        const Vec centre = host.scene().param(pivot, LWIP_POSITION, time);
        const Vec up = host.scene().param(pivot, LWIP_UP, time);
        const Vec forward = host.scene().param(pivot, LWIP_FORWARD, time);
        for (const Vec& p : kSpots) {
            LWShaderAccess a = spotAt(p, object, camera, 4);
            handler.evaluate(instance, &a);
            // Planar X in the pivot's axes: u along its forward vector, v against its up vector.
            const Vec d{p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
            const double uv[2] = {d[0] * forward[0] + d[1] * forward[1] + d[2] * forward[2] + 0.5,
                                  0.5 - (d[0] * up[0] + d[1] * up[1] + d[2] * up[2])};
            float rgba[4] = {0, 0, 0, 0}, value = 0;
            core->sampleImage(shown, uv, pixelAngle() * 4 * 0.5, 0.25, 0, rgba, &value, 1, 1);
            EXPECT_NEAR(a.diffuse, value, 1e-6);
            frames[frame ? 1 : 0].push_back(a.diffuse);
        }
    }
    EXPECT_NE(frames[0], frames[1]);
    handler.rend->cleanup(instance);
    destroy(instance);
}

// Projections that turn the world footprint into angles (spherical here)
// hand the sampler that angular size in image units: a spot far away reads
// a coarse level, as the texture does, not the finest level whatever the
// distance (the world size must not be applied twice).
TEST_F(ShaderEvaluation, ASphericalSpotReadsTheLevelItsAngularSizeNeeds) {
    const std::string path = image("sphere-noise.jp2", kImageWidth, kImageHeight, 1, testfiles::noisePattern(5));
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, path);
    SET_INT(panel, 0x9113, 1);   // luminosity
    SET_INT(panel, 0x9102, 2);   // spherical
    SET_INT(panel, 0x910B, 1);   // around Y
    ASSERT_TRUE(panel->setFloat(0x9004, 1.0));  // full blending: any footprint error shows
    KorvalithImage* shown = core->imageAt(0);
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 0, 0.0);
    const double angle = pixelAngle();
    bool coarse = false;
    for (const double rayLength : {0.02 / angle, 0.2 / angle, 2 / angle}) {
        SCOPED_TRACE(rayLength);
        const Vec p{0.3, 0.2, -0.9};
        LWShaderAccess a = spotAt(p, object, camera, rayLength);
        handler.evaluate(instance, &a);
        // Spherical around Y with scale 1: radius sum 2.
        const double r = std::hypot(p[0], p[1], p[2]);
        const double k = std::atan(angle * rayLength * 0.5 / (r * 2));
        const double footprint = (k / (2 * 3.141592653589793) + k / 3.141592653589793) * 0.5;
        coarse = coarse || levelPosition(footprint) < 1;
        const double uv[2] = {std::atan2(-p[0], p[2]) / (2 * 3.141592653589793),
                              0.5 - std::atan2(p[1], std::hypot(p[0], p[2])) / 3.141592653589793};
        float rgba[4] = {0, 0, 0, 0}, value = 0;
        core->sampleImage(shown, uv, footprint, 1.0, 0, rgba, &value, 1, 1);
        EXPECT_NEAR(a.luminous, value, kTolerance);
    }
    EXPECT_TRUE(coarse) << "no spot reads a coarse level";
    handler.rend->cleanup(instance);
    destroy(instance);
}

// At strength 1 glossiness sets the roughness of the corrected value alone:
// 2^-(10 · 0 + 2) for black, 2^-(10 · 1 + 2) for white.
TEST_F(ShaderEvaluation, GlossinessOfBlackAndWhite) {
    struct Case {
        int level;
        bool invert;
        double roughness;
    } cases[] = {{0, false, 0.25}, {255, false, std::ldexp(1.0, -12)}, {255, true, 0.25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        const std::string path =
            image(c.level ? "white.jp2" : "black.jp2", 64, 64, 1, [&](int, int, int) { return c.level; });
        LWInstance instance = create();
        hostsim::ViewPanel* panel = openPanel(instance);
        showImage(panel, path);
        SET_INT(panel, 0x9113, 4);
        SET_INT(panel, 0x9115, c.invert);
        handler.rend->init(instance, LWINIT_RENDER);
        handler.rend->newTime(instance, 0, 0.0);
        LWShaderAccess a = spotAt({0.1, 0.1, 0}, object, camera, 3);
        handler.evaluate(instance, &a);
        EXPECT_EQ(a.roughness, c.roughness);
        destroy(instance);
    }
}

// The bump tilts the unperturbed normal against the image's slope along u
// and v, turned into world space by the object's axes; the slope is the
// difference of two samples 1.5 pixels apart on the finest level.
TEST_F(ShaderEvaluation, BumpFollowsTheSlopeOfTheImage) {
    constexpr int kSide = 256;
    // A smooth hill: slopes of both signs along both axes.
    const std::string path = image("hill.jp2", kSide, kSide, 1, [](int x, int y, int) {
        const double dx = (x - 100) / 60.0, dy = (y - 140) / 70.0;
        return static_cast<int>(std::lround(250 * std::exp(-(dx * dx + dy * dy))));
    });
    struct Case {
        Vec local;
        bool invert;
        double strength;
    } cases[] = {{{0, 0.05, 0.1}, false, 1}, {{0, -0.15, -0.2}, false, 2.5}, {{0, 0.1, -0.05}, true, 0.7}};
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, path);
    SET_INT(panel, 0x9113, 9);
    KorvalithImage* shown = core->imageAt(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.local[2]);
        SET_INT(panel, 0x9115, c.invert);
        ASSERT_TRUE(panel->setFloat(0x9114, c.strength));
        handler.rend->init(instance, LWINIT_RENDER);
        handler.rend->newTime(instance, 0, 0.0);
        // A footprint far below one pixel reads the finest level alone.
        LWShaderAccess a = spotAt(c.local, object, camera, 1e-6);
        // The object turned a quarter about Y: its x axis is world −z, its z axis world x.
        const double axes[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
        std::memcpy(a.oXfrm, axes, sizeof axes);
        a.wNorm0[0] = 0.6, a.wNorm0[1] = 0, a.wNorm0[2] = 0.8;
        handler.evaluate(instance, &a);

        const double u = c.local[2] + 0.5, v = 0.5 - c.local[1];
        auto at = [&](double du, double dv) {
            const double uv[2] = {u + du, v + dv};
            float rgba[4] = {0, 0, 0, 0}, value = 0;
            core->sampleImage(shown, uv, 1e-9, 0.25, 0, rgba, &value, 1, 1);
            return static_cast<double>(value);
        };
        const double step = 0.75 / kSide;
        const double gu = at(step, 0) - at(-step, 0), gv = at(0, step) - at(0, -step);
        ASSERT_GT(std::fabs(gu) + std::fabs(gv), 0.01) << "the spot sits on flat ground";
        const double d = c.invert ? -c.strength : c.strength;
        // Planar X: u grows along z, v against y.
        const Vec t{0, -gv * d, gu * d};
        Vec n;
        for (int j = 0; j < 3; ++j) n[j] = a.wNorm0[j] - (t[0] * axes[j] + t[1] * axes[3 + j] + t[2] * axes[6 + j]);
        const double length = std::hypot(n[0], n[1], n[2]);
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(a.wNorm[j], n[j] / length, 1e-5) << j;
        // Only the normal changes.
        LWShaderAccess unchanged = spotAt(c.local, object, camera, 1e-6);
        std::memcpy(unchanged.wNorm, a.wNorm, sizeof a.wNorm);
        unchanged.wNorm0[0] = 0.6, unchanged.wNorm0[2] = 0.8;
        EXPECT_EQ(surfaceValues(a), surfaceValues(unchanged));
    }
    handler.rend->cleanup(instance);
    destroy(instance);
}

// A bump that cancels the normal exactly leaves no direction: the spot
// keeps its unperturbed normal instead of a normal that is not a number.
TEST_F(ShaderEvaluation, ABumpThatCancelsTheNormalKeepsTheUnperturbedOne) {
    const std::string path = image("ramp.jp2", 256, 256, 1, [](int x, int, int) { return x; });
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, path);
    SET_INT(panel, 0x9113, 9);
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 0, 0.0);
    KorvalithImage* shown = core->imageAt(0);
    LWShaderAccess a = spotAt({0, 0, 0.1}, object, camera, 1e-6);
    // The ramp's slope along u at the spot, as the shader will see it.
    float gu = 0, gv = 0;
    const double uv[2] = {0.6, 0.5};
    core->sampleGradient(shown, uv, 0, 0.25, 0, &gu, &gv, 1, 1);
    ASSERT_GT(gu, 0);
    // An unperturbed normal equal to the tilt: normal − tilt is zero.
    a.wNorm0[0] = 0, a.wNorm0[1] = -gv, a.wNorm0[2] = gu;
    a.wNorm[0] = 9, a.wNorm[1] = 9, a.wNorm[2] = 9;
    handler.evaluate(instance, &a);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(a.wNorm[j], a.wNorm0[j]) << j;
    handler.rend->cleanup(instance);
    destroy(instance);
}

// Without an image, or where the projection rejects the spot, nothing is
// written; the flags follow the channel.
TEST_F(ShaderEvaluation, FlagsFollowTheChannelAndNoImageWritesNothing) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    const unsigned int flags[] = {LWSHF_COLOR, LWSHF_LUMINOUS, LWSHF_DIFFUSE, LWSHF_SPECULAR, LWSHF_ROUGH,
                                  LWSHF_MIRROR, LWSHF_TRANSP, LWSHF_ETA, LWSHF_TRANSLUCENT, LWSHF_NORMAL,
                                  LWSHF_COLOR, LWSHF_COLOR, LWSHF_COLOR, LWSHF_COLOR};
    for (int channel = 0; channel < 14; ++channel) {
        SET_INT(panel, 0x9113, channel);
        EXPECT_EQ(handler.flags(instance), flags[channel]) << channel;
    }
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 0, 0.0);
    LWShaderAccess a = spotAt({0.1, 0.1, 0}, object, camera, 3);
    const std::vector<double> before = surfaceValues(a);
    handler.evaluate(instance, &a);
    EXPECT_EQ(surfaceValues(a), before);
    destroy(instance);
}

}  // namespace
