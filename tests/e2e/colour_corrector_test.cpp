// The "Simple Colour Corrector" node of KorvalithNode in the stand-in host's
// node editor, loaded without KorvalithPro: its ports, its outputs against
// the layers' colour correction, per-spot inputs, its blocks, its panel.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "colour_correction.h"
#include "host.h"
#include "lwnodes.h"
#include "node_editor.h"
#include "scene.h"
#include "service_balance.h"
#include "xpanels.h"

namespace {

enum : unsigned int {
    kColour = 0x9150,
    kScalar = 0x9156,
    kBrightness = 0x9147,
    kContrast = 0x9148,
    kHue = 0x9149,
    kSaturation = 0x914A,
    kGamma = 0x914B,
    kInvert = 0x914C,
    kDefault = 0x914D,
};

std::string number(double v) {
    std::ostringstream out;
    out.precision(17);
    out << v;
    return out.str();
}

class ColourCorrectorNode : public ::testing::Test {
protected:
    void SetUp() override {
        host.loadModule(std::string(MODULE_DIR) + "/KorvalithNode.so");
        graph = &host.nodeEditor().graph("Paint");
        node = graph->add("SimpleColourCorrector");
        ASSERT_NE(node, nullptr);
    }
    void TearDown() override { unloadAndExpectBalancedServices(host); }

    // A host node holding a constant, connected to the corrector's input.
    void driveScalar(const std::string& input, double v) {
        NodeID source = graph->add("Scalar");
        graph->load(source, "value " + number(v));
        graph->connect(source, "Scalar", node, input);
    }
    void driveColour(double r, double g, double b) {
        NodeID source = graph->add("Color");
        graph->load(source, "color " + number(r) + " " + number(g) + " " + number(b));
        graph->connect(source, "Color", node, "Colour");
    }

    double scalarOut(NodeID of = nullptr) {
        LWNodalAccess access{};
        double v[3] = {-7, -7, -7};
        EXPECT_TRUE(graph->evaluate(of ? of : node, "Scalar", access, v));
        return v[0];
    }
    std::array<double, 3> colourOut(NodeID of = nullptr) {
        LWNodalAccess access{};
        double v[3] = {-7, -7, -7};
        EXPECT_TRUE(graph->evaluate(of ? of : node, "Colour", access, v));
        return {v[0], v[1], v[2]};
    }

    hostsim::ViewPanel* openPanel(NodeID of = nullptr) {
        LWXPanelID id = graph->openPanel(of ? of : node);
        return id ? host.xpanels().find(id) : nullptr;
    }

    hostsim::Host host;
    hostsim::NodeGraph* graph = nullptr;
    NodeID node = nullptr;
};

TEST_F(ColourCorrectorNode, OffersItsPortsInOrderAndWorksWithoutTheMainModule) {
    using Port = hostsim::NodeGraph::Port;
    const std::vector<std::pair<std::string, ConnectionType>> inputs = {
        {"Colour", NOT_COLOR},    {"Scalar", NOT_SCALAR},     {"Brightness", NOT_SCALAR}, {"Contrast", NOT_SCALAR},
        {"Hue", NOT_SCALAR},      {"Saturation", NOT_SCALAR}, {"Gamma", NOT_SCALAR},      {"Invert", NOT_INTEGER}};
    std::vector<std::pair<std::string, ConnectionType>> made;
    for (const Port& p : graph->inputs(node)) made.emplace_back(p.name, p.type);
    EXPECT_EQ(made, inputs);
    made.clear();
    for (const Port& p : graph->outputs(node)) made.emplace_back(p.name, p.type);
    EXPECT_EQ(made, (std::vector<std::pair<std::string, ConnectionType>>{{"Colour", NOT_COLOR}, {"Scalar", NOT_SCALAR}}));
    EXPECT_EQ(graph->colour(node), (std::array<int, 3>{120, 160, 0}));
    EXPECT_EQ(graph->name(node), "Simple Colour Corrector (1)");
    EXPECT_NE(graph->channelGroup(node), nullptr);
}

TEST_F(ColourCorrectorNode, NeutralSettingsPassBothValuesThrough) {
    driveScalar("Scalar", 0.3);
    driveColour(0.2, 0.5, 0.9);
    graph->newTime(0, 0);
    EXPECT_DOUBLE_EQ(scalarOut(), static_cast<float>(0.3));
    const auto c = colourOut();
    EXPECT_DOUBLE_EQ(c[0], static_cast<float>(0.2));
    EXPECT_DOUBLE_EQ(c[1], static_cast<float>(0.5));
    EXPECT_DOUBLE_EQ(c[2], static_cast<float>(0.9));
}

// Settings driven through the inputs against the layers' own correction
// of the same settings, and the values the correction is known to give.
struct Correction {
    double brightness, contrast, hue, saturation, gamma;
    double scalar;
    std::array<double, 3> colour;
    double expectedScalar;  // NaN: only compared with the layers' maths
};

TEST_F(ColourCorrectorNode, ConnectedSettingsCorrectAsTheLayersDo) {
    const double nan = std::nan("");
    const Correction cases[] = {
        {1, 0.5, 0, 1, 1, 1.0, {1, 0, 0}, 0.75},
        {1, 0.5, 0, 1, 1, 0.0, {0, 0, 1}, 0.25},
        {1, 1, 0, 1, 2, 0.25, {0.25, 0.5, 1}, 0.5},
        {0.8, 1.2, 0.7, 0.5, 1.4, 0.6, {0.9, 0.3, 0.1}, nan},
        {1, 1, 2.0943951, 1, 1, 0.4, {1, 0, 0}, 0.4},
        {1.5, 1, 0, 0, 1, 0.2, {0.2, 0.6, 0.4}, nan},
    };
    for (const Correction& k : cases) {
        SCOPED_TRACE("brightness " + number(k.brightness) + " contrast " + number(k.contrast) + " hue " +
                     number(k.hue) + " saturation " + number(k.saturation) + " gamma " + number(k.gamma));
        graph = &host.nodeEditor().graph("Paint " + number(&k - cases));
        node = graph->add("SimpleColourCorrector");
        driveScalar("Brightness", k.brightness);
        driveScalar("Contrast", k.contrast);
        driveScalar("Hue", k.hue);
        driveScalar("Saturation", k.saturation);
        driveScalar("Gamma", k.gamma);
        driveScalar("Scalar", k.scalar);
        driveColour(k.colour[0], k.colour[1], k.colour[2]);
        graph->newTime(0, 0);

        const korvalith::CorrectionValues settings =
            korvalith::CorrectionValues::from(k.brightness, k.contrast, k.hue, k.saturation, k.gamma, false);
        float rgb[3] = {static_cast<float>(k.colour[0]), static_cast<float>(k.colour[1]),
                        static_cast<float>(k.colour[2])};
        korvalith::correctColour(settings, rgb);
        const auto c = colourOut();
        EXPECT_EQ(c, (std::array<double, 3>{rgb[0], rgb[1], rgb[2]}));
        const double s = scalarOut();
        EXPECT_EQ(s, korvalith::correctScalar(settings, static_cast<float>(k.scalar)));
        if (!std::isnan(k.expectedScalar)) {
            EXPECT_NEAR(s, k.expectedScalar, 1e-6);
        }
    }
}

TEST_F(ColourCorrectorNode, AConnectedGammaSwitchesGammaOnForThatEvaluationOnly) {
    driveScalar("Scalar", 0.25);
    NodeID gamma = graph->add("Scalar");
    graph->load(gamma, "value 2");
    graph->connect(gamma, "Scalar", node, "Gamma");
    graph->newTime(0, 0);
    EXPECT_NEAR(scalarOut(), 0.5, 1e-7);
    // The stored setting stays neutral: without the connection the value
    // passes again.
    graph->disconnect(node, "Gamma");
    EXPECT_DOUBLE_EQ(scalarOut(), 0.25);
}

TEST_F(ColourCorrectorNode, InvertFromThePanelFlipsBothOutputs) {
    hostsim::ViewPanel* panel = openPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->setInt(kInvert, 1));
    driveScalar("Scalar", 0.2);
    driveColour(1, 0, 0);
    graph->newTime(0, 0);
    EXPECT_NEAR(scalarOut(), 0.8, 1e-7);
    EXPECT_EQ(colourOut(), (std::array<double, 3>{0, 1, 1}));
}

TEST_F(ColourCorrectorNode, UnconnectedInputsUseTheParametersAtTheFrame) {
    hostsim::ViewPanel* panel = openPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->setFloat(kScalar, 0.4));
    ASSERT_TRUE(panel->setVector(kColour, 0.1, 0.2, 0.3));
    ASSERT_TRUE(panel->setFloat(kContrast, 0.5));
    graph->newTime(0, 0);
    EXPECT_NEAR(scalarOut(), (0.4 - 0.5) * 0.5 + 0.5, 1e-6);
    const korvalith::CorrectionValues settings = korvalith::CorrectionValues::from(1, 0.5, 0, 1, 1, false);
    float rgb[3] = {0.1f, 0.2f, 0.3f};
    korvalith::correctColour(settings, rgb);
    EXPECT_EQ(colourOut(), (std::array<double, 3>{rgb[0], rgb[1], rgb[2]}));
}

TEST_F(ColourCorrectorNode, SavedSettingsComeBackInANewNode) {
    hostsim::ViewPanel* panel = openPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->setFloat(kScalar, 0.7));
    ASSERT_TRUE(panel->setVector(kColour, 0.9, 0.4, 0.2));
    ASSERT_TRUE(panel->setFloat(kBrightness, 0.9));
    ASSERT_TRUE(panel->setFloat(kSaturation, 0.3));
    ASSERT_TRUE(panel->setFloat(kGamma, 1.8));
    ASSERT_TRUE(panel->setInt(kInvert, 1));
    const std::string data = graph->save(node);
    // The host's text form names blocks by their tokens.
    size_t at = 0;
    for (const char* token : {"Version 1", "{ InColour", "{ InScala", "{ SimpleColourCorrection", "{ Brightness",
                              "{ Contrast", "{ Hue", "{ Saturation", "{ Gamma", "Invert 1"}) {
        const size_t found = data.find(token, at);
        EXPECT_NE(found, std::string::npos) << token << " missing or out of order in\n" << data;
        if (found != std::string::npos) at = found;
    }

    NodeID copy = graph->add("SimpleColourCorrector");
    graph->load(copy, data);
    graph->newTime(0, 0);
    EXPECT_EQ(scalarOut(copy), scalarOut());
    EXPECT_EQ(colourOut(copy), colourOut());
    hostsim::ViewPanel* copied = openPanel(copy);
    ASSERT_NE(copied, nullptr);
    for (unsigned int id : {kScalar, kBrightness, kSaturation, kGamma})
        EXPECT_EQ(copied->shownFloat(id), panel->shownFloat(id)) << std::hex << id;
    EXPECT_EQ(copied->shownInt(kInvert), std::optional<int>(1));
    EXPECT_EQ(graph->save(copy), data);
}

TEST_F(ColourCorrectorNode, AConnectedInputMakesItsControlUnavailableUntilDisconnected) {
    hostsim::ViewPanel* panel = openPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->shownFloat(kBrightness).has_value());
    driveScalar("Brightness", 0.5);
    EXPECT_FALSE(panel->shownFloat(kBrightness).has_value());
    EXPECT_TRUE(panel->shownFloat(kContrast).has_value());
    graph->disconnect(node, "Brightness");
    EXPECT_TRUE(panel->shownFloat(kBrightness).has_value());
}

TEST_F(ColourCorrectorNode, DefaultResetsTheCorrectionButKeepsInvert) {
    hostsim::ViewPanel* panel = openPanel();
    ASSERT_NE(panel, nullptr);
    for (unsigned int id : {kBrightness, kContrast, kSaturation, kGamma}) ASSERT_TRUE(panel->setFloat(id, 0.5));
    ASSERT_TRUE(panel->setFloat(kHue, 1.0));
    ASSERT_TRUE(panel->setInt(kInvert, 1));
    ASSERT_TRUE(panel->press(kDefault));
    for (unsigned int id : {kBrightness, kContrast, kSaturation, kGamma})
        EXPECT_EQ(panel->shownFloat(id), std::optional<double>(1.0)) << std::hex << id;
    EXPECT_EQ(panel->shownFloat(kHue), std::optional<double>(0.0));
    EXPECT_EQ(panel->shownInt(kInvert), std::optional<int>(1));
}

TEST_F(ColourCorrectorNode, AChangedValueUpdatesTheInstanceAndDraggingThePreview) {
    hostsim::ViewPanel* panel = openPanel();
    ASSERT_NE(panel, nullptr);
    const size_t before = host.scene().instanceUpdates().size();
    ASSERT_TRUE(panel->setFloat(kGamma, 2.0));
    const auto updates = host.scene().instanceUpdates();
    ASSERT_GT(updates.size(), before);
    EXPECT_EQ(updates.back().className, "NodeHandler");
    EXPECT_EQ(updates.back().instance, graph->instance(node));
}

TEST_F(ColourCorrectorNode, ThePanelIsMadeOnceAndKept) {
    LWXPanelID first = graph->openPanel(node);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(graph->openPanel(node), first);
}

TEST_F(ColourCorrectorNode, TwoThreadsEvaluateOneGraph) {
    // Gamma comes from a connected node on both threads at once; neither
    // sees a stored setting change.
    driveScalar("Scalar", 0.25);
    NodeID gamma = graph->add("Scalar");
    graph->load(gamma, "value 2");
    graph->connect(gamma, "Scalar", node, "Gamma");
    graph->newTime(0, 0);
    std::vector<double> seen(2 * 2000);
    auto work = [&](int t) {
        for (int i = 0; i < 2000; ++i) {
            LWNodalAccess access{};
            double v[3] = {0, 0, 0};
            graph->evaluate(node, "Scalar", access, v);
            seen[t * 2000 + i] = v[0];
        }
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    for (double v : seen) ASSERT_NEAR(v, 0.5, 1e-7);
}

}  // namespace
