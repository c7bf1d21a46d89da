// The texture node's outputs through the node editor: connected inputs
// against the texture layer's own evaluation with the same settings, the
// host's blend, the invert and opacity rules of each output, the footprint
// handed to the core, and a node without an image.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "handler_records.h"
#include "instances.h"
#include "lwtexture.h"
#include "lwtxtr.h"
#include "texture_node_fixture.h"
#include "textures.h"

namespace {

using nodetest::Vec;

const Vec kSpots[] = {{0, 0.1, 0.2}, {0, -0.31, 0.35}, {0, 0.42, -0.17}, {0, -0.05, -0.44}};

// KorvalithPro's texture layer beside the node, shown the same image.
class TextureNodeEvaluation : public TextureNodeFixture {
protected:
    void SetUp() override {
        TextureNodeFixture::SetUp();
        ASSERT_EQ(records.activate(host, "KorvalithPro"), 0);
        texture = host.textures().create(TRT_COLOR, "Colour", nullptr, nullptr);
        layer = host.textures().addLayer(texture, TLT_PROC);
        LWError error = nullptr;
        instance = host.instances().create(records.local.inst, records.local.item, layer, &error);
        ASSERT_NE(instance, nullptr);
        LWInterface ui{};
        ui.inst = instance;
        ASSERT_EQ(host.activate(LWTEXTURE_ICLASS, "KorvalithPro", LWINTERFACE_VERSION, &ui), 0);
        ASSERT_EQ(host.xpanels().open(ui.panel), 1);
        texturePanel = host.xpanels().find(ui.panel);
        ASSERT_NE(texturePanel, nullptr);
    }
    void TearDown() override {
        if (instance) host.instances().destroy(instance);
        TextureNodeFixture::TearDown();
    }

    // The texture's colour at the node's spot: the same point, axis, scale
    // and camera distance.
    Vec textureColour(const LWNodalAccess& a) {
        LWTextureAccess t{};
        for (int i = 0; i < 3; ++i) {
            t.tPos[i] = a.oPos[i];
            t.wPos[i] = a.wPos[i];
            t.size[i] = 1;
        }
        t.spotSize = a.spotSize;
        t.axis = 0;
        t.amp = 1;
        t.flags = LWTXEF_COLOR;
        records.local.evaluate(instance, &t);
        return {t.txRGBA[0], t.txRGBA[1], t.txRGBA[2]};
    }
    void textureNewTime() {
        ASSERT_EQ(records.rend.init(instance, LWINIT_RENDER), nullptr);
        ASSERT_EQ(records.rend.newTime(instance, 0, 0.0), nullptr);
    }

    hostsim::TextureHandlerRecords records;
    LWTextureID texture = nullptr;
    LWTLayerID layer = nullptr;
    LWInstance instance = nullptr;
    hostsim::ViewPanel* texturePanel = nullptr;
};

#define EXPECT_VEC_NEAR(a, b, tolerance)                   \
    for (int k_ = 0; k_ < 3; ++k_) {                       \
        EXPECT_NEAR((a)[k_], (b)[k_], tolerance) << "component " << k_; \
    }

TEST_F(TextureNodeEvaluation, ConnectedInputsGiveTheTexturesColourWithTheSameSettings) {
    const std::string path = image("noise.jp2", 640, 520, 3, testfiles::noisePattern(5));
    NodeID node = textureNode(path);
    hostsim::ViewPanel* nodePanel = openPanel(node);
    showImage(texturePanel, path);

    // A segment angle is edited where "Segment Angles" shows it.
    auto segment = [](int which, unsigned int cid, double v) {
        return [=](hostsim::ViewPanel& p) {
            ASSERT_TRUE(p.setInt(0x9102, 5));  // the texture's "Spherical Section"
            ASSERT_TRUE(p.setInt(0x911E, which));
            ASSERT_TRUE(p.setFloat(cid, v));
        };
    };
    auto control = [](unsigned int cid, double v) {
        return [=](hostsim::ViewPanel& p) { ASSERT_TRUE(p.setFloat(cid, v)); };
    };
    struct Row {
        const char* input;
        double value;
        bool section;  // the node shows "Spherical Section" too
        std::function<void(hostsim::ViewPanel&)> textureSetting;
    } rows[] = {
        {"U Tiles", 2.5, false, control(0x913B, 2.5)},
        {"V Tiles", -1.5, false, control(0x913D, -1.5)},
        {"U Offset", 0.3, false, control(0x913F, 0.3)},
        {"V Offset", -0.45, false, control(0x913E, -0.45)},
        {"Quality", 0.2, false, control(0x9003, 0.2)},
        {"LoD Blending", 0.9, false, control(0x9004, 0.9)},
        {"LeftEdge", 0.6, true, segment(0, 0x9122, 0.6)},
        {"Width", 2.0, true, segment(1, 0x9123, 2.0)},
        {"TopEdge", 0.4, true, segment(2, 0x9121, 0.4)},
        {"Height", 1.2, true, segment(3, 0x9124, 1.2)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        ASSERT_TRUE(nodePanel->setInt(0x9102, row.section ? 6 : 0));
        ASSERT_TRUE(texturePanel->setInt(0x9102, 0));
        startPass();
        // What the node gives with its own settings, before the input.
        std::vector<Vec> before;
        // Planar spots near the camera read the finer levels; spherical
        // section spots farther away read coarser ones, where a footprint
        // that takes the world size twice shows.
        const double d = row.section ? 14 : 4;
        for (const Vec& p : kSpots) {
            double v[3];
            ASSERT_TRUE(value(node, "RGB", spot(p, d), v));
            before.push_back({v[0], v[1], v[2]});
        }
        NodeID feeding = feedScalar(node, row.input, row.value);
        row.textureSetting(*texturePanel);
        startPass();
        textureNewTime();
        bool changed = false;
        for (size_t i = 0; i < std::size(kSpots); ++i) {
            SCOPED_TRACE(i);
            double v[3];
            ASSERT_TRUE(value(node, "RGB", spot(kSpots[i], d), v));
            const Vec expected = textureColour(spot(kSpots[i], d));
            EXPECT_VEC_NEAR(v, expected, 1e-6);
            changed = changed || std::fabs(v[0] - before[i][0]) > 1e-4 || std::fabs(v[1] - before[i][1]) > 1e-4;
        }
        EXPECT_TRUE(changed) << "the input changed nothing the row could see";
        // The input set nothing of the node's own: without it the node gives
        // what it gave before.
        graph().remove(feeding);
        for (size_t i = 0; i < std::size(kSpots); ++i) {
            double v[3];
            ASSERT_TRUE(value(node, "RGB", spot(kSpots[i], d), v));
            EXPECT_VEC_NEAR(v, before[i], 0);
        }
        // The texture back to its defaults for the next row.
        records.rend.cleanup(instance);
        host.instances().destroy(instance);
        LWError error = nullptr;
        instance = host.instances().create(records.local.inst, records.local.item, layer, &error);
        ASSERT_NE(instance, nullptr);
        LWInterface ui{};
        ui.inst = instance;
        ASSERT_EQ(host.activate(LWTEXTURE_ICLASS, "KorvalithPro", LWINTERFACE_VERSION, &ui), 0);
        ASSERT_EQ(host.xpanels().open(ui.panel), 1);
        texturePanel = host.xpanels().find(ui.panel);
        showImage(texturePanel, path);
    }
}

TEST_F(TextureNodeEvaluation, ColourIsTheHostsBlendOfTheImageOverTheBackground) {
    const std::string path = image("alpha.jp2", 320, 240, 4, testfiles::noisePattern(9));
    NodeID node = textureNode(path);
    hostsim::ViewPanel* panel = openPanel(node);
    const Vec panelBackground{0.2, 0.5, 0.9}, fedBackground{0.7, 0.1, 0.3};
    ASSERT_TRUE(panel->setVector(0x9150, panelBackground[0], panelBackground[1], panelBackground[2]));
    ASSERT_TRUE(panel->setFloat(0x9114, 0.8));
    const LWNodeUtilityFuncs* u = utilities();
    ASSERT_NE(u, nullptr);
    for (bool fed : {false, true}) {
        NodeID bg = fed ? feedColour(node, "BG Colour", fedBackground) : nullptr;
        NodeID opacity = fed ? feedScalar(node, "Opacity", 0.35) : nullptr;
        for (int mode = Blend_Normal; mode <= Blend_Blue; ++mode) {
            SCOPED_TRACE(testing::Message() << (fed ? "connected" : "panel") << " mode " << mode);
            ASSERT_TRUE(panel->setInt(0x914E, mode));
            startPass();
            for (const Vec& p : kSpots) {
                double colour[3], rgb[3], alpha[3];
                ASSERT_TRUE(value(node, "Colour", spot(p), colour));
                ASSERT_TRUE(value(node, "RGB", spot(p), rgb));
                ASSERT_TRUE(value(node, "Alpha", spot(p), alpha));
                double background[3] = {(fed ? fedBackground : panelBackground)[0],
                                        (fed ? fedBackground : panelBackground)[1],
                                        (fed ? fedBackground : panelBackground)[2]};
                double expected[3];
                u->Blend(expected, background, rgb, alpha[0] * (fed ? 0.35 : 0.8), static_cast<BlendingMode>(mode));
                EXPECT_VEC_NEAR(colour, expected, 1e-12);
            }
        }
        if (fed) {
            graph().remove(bg);
            graph().remove(opacity);
        }
    }
}

TEST_F(TextureNodeEvaluation, InvertAndOpacityApplyToTheirOutputsOnly) {
    const std::string path = image("alpha.jp2", 320, 240, 4, testfiles::noisePattern(3));
    NodeID node = textureNode(path);
    hostsim::ViewPanel* panel = openPanel(node);
    ASSERT_TRUE(panel->setInt(0x9102, 2));  // spherical: the bump tilts in every direction
    startPass();
    struct Outputs {
        double rgb[3], alpha[3], bump[3], normal[3], colour[3];
    };
    auto read = [&](const Vec& p) {
        Outputs o{};
        EXPECT_TRUE(value(node, "RGB", spot(p), o.rgb));
        EXPECT_TRUE(value(node, "Alpha", spot(p), o.alpha));
        EXPECT_TRUE(value(node, "Bump", spot(p), o.bump));
        EXPECT_TRUE(value(node, "Normal", spot(p), o.normal));
        EXPECT_TRUE(value(node, "Colour", spot(p), o.colour));
        return o;
    };
    std::vector<Outputs> plain;
    for (const Vec& p : kSpots) plain.push_back(read(p));

    ASSERT_TRUE(panel->setInt(0x9115, 1));
    startPass();
    bool someBump = false;
    for (size_t i = 0; i < std::size(kSpots); ++i) {
        SCOPED_TRACE(i);
        const Outputs first = read(kSpots[i]), second = read(kSpots[i]);
        const Outputs& was = plain[i];
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(first.rgb[k], 1 - was.rgb[k], 1e-12);
            EXPECT_EQ(first.bump[k], -was.bump[k]);
            EXPECT_EQ(second.bump[k], first.bump[k]) << "a second evaluation changed the bump";
            someBump = someBump || was.bump[k] != 0;
        }
        EXPECT_EQ(first.alpha[0], was.alpha[0]);
        // The normal tilts the other way: unit (N + g) instead of unit (N − g).
        double n[3], length = 0;
        const LWNodalAccess a = spot(kSpots[i]);
        for (int k = 0; k < 3; ++k) {
            n[k] = a.wNorm[k] + was.bump[k];
            length += n[k] * n[k];
        }
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(first.normal[k], n[k] / std::sqrt(length), 1e-12);
    }
    EXPECT_TRUE(someBump) << "no spot has a gradient";

    // Opacity changes the blended colour alone.
    ASSERT_TRUE(panel->setInt(0x9115, 0));
    ASSERT_TRUE(panel->setFloat(0x9114, 0.25));
    startPass();
    for (size_t i = 0; i < std::size(kSpots); ++i) {
        const Outputs now = read(kSpots[i]);
        const Outputs& was = plain[i];
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(now.rgb[k], was.rgb[k]);
            EXPECT_EQ(now.bump[k], was.bump[k]);
            EXPECT_EQ(now.normal[k], was.normal[k]);
        }
        EXPECT_EQ(now.alpha[0], was.alpha[0]);
        // Normal mode over a black background: the colour scales with the opacity.
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(now.colour[k], was.colour[k] * 0.25, 1e-9);
    }
}

// The integer and vector inputs: each connected value acts for the spot as
// the same setting made in the panel does, and leaves the setting alone.
TEST_F(TextureNodeEvaluation, IntegerAndVectorInputsActAsTheirSettings) {
    const std::string path = image("alpha.jp2", 320, 240, 4, testfiles::noisePattern(4));
    NodeID node = textureNode(path);
    hostsim::ViewPanel* panel = openPanel(node);
    auto read = [&](const char* output) {
        startPass();
        std::vector<Vec> out;
        for (const Vec& p : kSpots) {
            double v[3] = {0, 0, 0};
            EXPECT_TRUE(value(node, output, spot(p), v));
            out.push_back({v[0], v[1], v[2]});
        }
        return out;
    };
    struct Row {
        const char* input;
        const char* output;
        std::function<NodeID()> feed;
        std::function<void()> setting, undo;
    } rows[] = {
        {"Invert", "RGB", [&] { return feedInteger(node, "Invert", 1); },
         [&] { ASSERT_TRUE(panel->setInt(0x9115, 1)); }, [&] { ASSERT_TRUE(panel->setInt(0x9115, 0)); }},
        {"Blending", "Colour", [&] { return feedInteger(node, "Blending", Blend_Difference); },
         [&] { ASSERT_TRUE(panel->setInt(0x914E, Blend_Difference)); },
         [&] { ASSERT_TRUE(panel->setInt(0x914E, Blend_Normal)); }},
        {"Scale", "RGB", [&] { return feedVector(node, "Scale", {0.25, 0.5, 0.75}); },
         [&] { ASSERT_TRUE(panel->setVector(0x910C, 0.25, 0.5, 0.75)); },
         [&] { ASSERT_TRUE(panel->setVector(0x910C, 1, 1, 1)); }},
        {"Position", "RGB", [&] { return feedVector(node, "Position", {0.1, -0.2, 0.3}); },
         [&] { ASSERT_TRUE(panel->setVector(0x910D, 0.1, -0.2, 0.3)); },
         [&] { ASSERT_TRUE(panel->setVector(0x910D, 0, 0, 0)); }},
        {"Rotation", "RGB", [&] { return feedVector(node, "Rotation", {0.5, 0, 0.25}); },
         [&] { ASSERT_TRUE(panel->setVector(0x910E, 0.5, 0, 0.25)); },
         [&] { ASSERT_TRUE(panel->setVector(0x910E, 0, 0, 0)); }},
    };
    ASSERT_TRUE(panel->setVector(0x9150, 0.2, 0.5, 0.9));  // a background the blend modes tell apart
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        const std::vector<Vec> plain = read(row.output);
        NodeID feeding = row.feed();
        const std::vector<Vec> fed = read(row.output);
        EXPECT_NE(fed, plain) << "the input changed nothing the row could see";
        graph().remove(feeding);
        EXPECT_EQ(read(row.output), plain) << "the input left its value in the node";
        row.setting();
        const std::vector<Vec> set = read(row.output);
        for (size_t i = 0; i < fed.size(); ++i) EXPECT_VEC_NEAR(fed[i].data(), set[i], 1e-6);
        row.undo();
    }
}

// On a turned object the gradient, found along the image's directions in
// the object's space, reaches the world through the object's axes.
TEST_F(TextureNodeEvaluation, TheBumpTurnsWithTheObject) {
    const std::string path = image("relief.jp2", 320, 240, 1, testfiles::noisePattern(6));
    NodeID node = textureNode(path);
    hostsim::ViewPanel* panel = openPanel(node);
    ASSERT_TRUE(panel->setInt(0x9102, 2));  // spherical: gradients in every direction
    startPass();
    // A quarter turn about Y: object x lies along world -z, object z along world x.
    const double turned[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    bool someBump = false;
    for (const Vec& p : kSpots) {
        LWNodalAccess straight = spot(p), turn = spot(p);
        for (int i = 0; i < 9; ++i) turn.oXfrm[i] = turned[i];
        double t[3], g[3], n[3];
        ASSERT_TRUE(value(node, "Bump", straight, t));
        ASSERT_TRUE(value(node, "Bump", turn, g));
        ASSERT_TRUE(value(node, "Normal", turn, n));
        const Vec expected{t[2], t[1], -t[0]};
        EXPECT_VEC_NEAR(g, expected, 1e-12);
        double m[3], length = 0;
        for (int k = 0; k < 3; ++k) {
            m[k] = turn.wNorm[k] - expected[k];
            length += m[k] * m[k];
        }
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(n[k], m[k] / std::sqrt(length), 1e-12);
        someBump = someBump || t[0] != 0 || t[2] != 0;
    }
    EXPECT_TRUE(someBump) << "no spot has a gradient across the turn";
}

TEST_F(TextureNodeEvaluation, BumpAmplitudeScalesTheGradient) {
    NodeID node = textureNode(image("grey.jp2", 320, 240, 1, testfiles::noisePattern(4)));
    startPass();
    double plain[3], scaled[3];
    ASSERT_TRUE(value(node, "Bump", spot(kSpots[1]), plain));
    feedScalar(node, "BumpAmp", -3);
    ASSERT_TRUE(value(node, "Bump", spot(kSpots[1]), scaled));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(scaled[k], -3 * plain[k], 1e-12);
}

TEST_F(TextureNodeEvaluation, FootprintFollowsQualityAndLowResPreview) {
    NodeID node = textureNode(image("planet.jp2"));
    auto footprint = [&](int mode) {
        startPass(mode);
        double v[3];
        EXPECT_TRUE(value(node, "RGB", spot(kSpots[0]), v));
        return nodetest::spy().lastFootprint.load();
    };
    const double unscaled = footprint(LWINIT_RENDER);
    ASSERT_GT(unscaled, 0);
    NodeID quality = feedScalar(node, "Quality", 0.5);
    EXPECT_NEAR(footprint(LWINIT_RENDER), 2 * unscaled, 1e-12 * unscaled);
    core->setPreviewFlag(1);
    EXPECT_NEAR(footprint(LWINIT_PREVIEW), 50 * unscaled, 1e-12 * unscaled);
    EXPECT_NEAR(footprint(LWINIT_RENDER), 2 * unscaled, 1e-12 * unscaled);
    graph().remove(quality);
    EXPECT_NEAR(footprint(LWINIT_PREVIEW), 25 * unscaled, 1e-12 * unscaled);
}

TEST_F(TextureNodeEvaluation, WithoutAnImageNoOutputHasAValueAndTheCoreIsNotAsked) {
    NodeID node = graph().add("KorvalithPro");
    feedScalar(node, "Opacity", 0.5);
    startPass();
    for (const char* output : {"Colour", "RGB", "Alpha", "Normal", "Bump"}) {
        double v[3] = {7, 7, 7};
        EXPECT_FALSE(value(node, output, spot(kSpots[0]), v)) << output;
    }
    EXPECT_EQ(nodetest::spy().samples, 0);
    EXPECT_EQ(nodetest::spy().gradients, 0);
}

TEST_F(TextureNodeEvaluation, UVProjectionWithoutAMapSetsNoValue) {
    NodeID node = textureNode(image("planet.jp2"));
    ASSERT_TRUE(openPanel(node)->setInt(0x9102, 5));
    startPass();
    double v[3];
    EXPECT_FALSE(value(node, "RGB", spot(kSpots[0]), v));
    EXPECT_EQ(nodetest::spy().samples, 0);
}

}  // namespace
