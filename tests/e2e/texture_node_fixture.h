// Both modules in the stand-in host, with the node editor's graph of one
// surface holding the texture node "KorvalithPro". The core table the node
// gets is KorvalithPro's, seen through a spy that the host hands out in its
// place: every operation goes to the real table, and the spy counts the
// sampling calls and keeps the footprint each one was given.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <string>
#include <utility>

#include "animation.h"
#include "core_services.h"
#include "handler_records.h"
#include "instances.h"
#include "host.h"
#include "image_choice.h"
#include "jp2_fixture.h"
#include "lwhandler.h"
#include "lwnodes.h"
#include "lwrender.h"
#include "lwserver.h"
#include "node_editor.h"
#include "scene.h"
#include "service_balance.h"
#include "xpanels.h"

namespace nodetest {

// What the spy saw; one set per process, reset by each fixture.
struct CoreSpy {
    const CoreServices* real = nullptr;
    CoreServices table{};
    std::atomic<int> samples{0}, gradients{0};
    std::atomic<double> lastFootprint{0};
};
inline CoreSpy& spy() {
    static CoreSpy s;
    return s;
}
inline float spySample(KorvalithImage* image, const double uv[2], double footprint, double blend, int channel,
                       float rgba[4], float* value, int uWrap, int vWrap) {
    spy().samples++;
    spy().lastFootprint = footprint;
    return spy().real->sampleImage(image, uv, footprint, blend, channel, rgba, value, uWrap, vWrap);
}
inline float spyGradient(KorvalithImage* image, const double uv[2], double footprint, double blend, int channel,
                         float* du, float* dv, int uWrap, int vWrap) {
    spy().gradients++;
    spy().lastFootprint = footprint;
    return spy().real->sampleGradient(image, uv, footprint, blend, channel, du, dv, uWrap, vWrap);
}

using Vec = std::array<double, 3>;

}  // namespace nodetest

class TextureNodeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host.loadModule(std::string(MODULE_DIR) + "/KorvalithPro.so");
        host.loadModule(std::string(MODULE_DIR) + "/KorvalithNode.so");
        core = static_cast<const CoreServices*>(hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        ASSERT_NE(core, nullptr);
        nodetest::CoreSpy& s = nodetest::spy();
        s.real = core;
        s.table = *core;
        s.table.sampleImage = nodetest::spySample;
        s.table.sampleGradient = nodetest::spyGradient;
        s.samples = 0;
        s.gradients = 0;
        host.registerService(KORVALITH_CORE_SERVICES, &s.table);
        camera = host.scene().addCamera("Camera");
        host.scene().setRenderCamera(camera);
        // Full-resolution levels unless a test asks for the preview factor.
        core->setPreviewFlag(0);
    }
    void TearDown() override {
        host.nodeEditor().clear();
        core->setPreviewFlag(1);
        host.unregisterService(KORVALITH_CORE_SERVICES);
        hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE);
        EXPECT_EQ(core->imageCount(), 0) << "a test left images registered";
        unloadAndExpectBalancedServices(host);
    }

    hostsim::NodeGraph& graph() { return host.nodeEditor().graph("Planet"); }

    // The node's panel as the node editor opens it.
    hostsim::ViewPanel* openPanel(NodeID node) {
        LWXPanelID id = graph().openPanel(node);
        return id ? host.xpanels().find(id) : nullptr;
    }

    // A test image; its file name carries the test's own name.
    static std::string image(const char* name, int width = 300, int height = 200, int bands = 3,
                             testfiles::Pattern pattern = testfiles::defaultPattern) {
        return testfiles::writeTestJp2(name, width, height, bands, std::move(pattern));
    }

    // Lets the node's panel show the image, as a user picking it does.
    void showImage(hostsim::ViewPanel* panel, const std::string& path) { chooseImage(core, panel, path); }

    // A texture node showing the image, ready for a render pass at frame 0.
    NodeID textureNode(const std::string& path, const std::string& name = "") {
        NodeID node = graph().add("KorvalithPro", name);
        hostsim::ViewPanel* panel = openPanel(node);
        EXPECT_NE(panel, nullptr);
        if (panel) showImage(panel, path);
        return node;
    }
    void startPass(int mode = LWINIT_RENDER) {
        ASSERT_EQ(graph().init(mode), nullptr);
        ASSERT_EQ(graph().newTime(0, 0.0), nullptr);
    }

    // A camera ray's spot: object position p, world position p + (0, 0, d)
    // in front of the camera, facing it.
    LWNodalAccess spot(const nodetest::Vec& p, double d = 4) {
        LWNodalAccess a{};
        const nodetest::Vec eye = host.scene().param(camera, LWIP_W_POSITION, 0.0);
        for (int i = 0; i < 3; ++i) {
            a.oPos[i] = p[i];
            a.wPos[i] = eye[i] + p[i] + (i == 2 ? d : 0);
            a.raySource[i] = eye[i];
        }
        a.rayLength = std::sqrt((a.wPos[0] - eye[0]) * (a.wPos[0] - eye[0]) +
                                (a.wPos[1] - eye[1]) * (a.wPos[1] - eye[1]) +
                                (a.wPos[2] - eye[2]) * (a.wPos[2] - eye[2]));
        a.spotSize = a.rayLength * 0.001;
        a.wNorm[2] = a.wNorm0[2] = a.gNorm[2] = -1;
        a.sourceID = camera;
        for (int i = 0; i < 9; i += 4) a.oXfrm[i] = a.wXfrm[i] = 1;
        return a;
    }

    // One output at a spot; false when the node set no value.
    bool value(NodeID node, const std::string& output, LWNodalAccess access, double out[3]) {
        return graph().evaluate(node, output, access, out);
    }

    // A host node feeding an input of the node.
    NodeID feedScalar(NodeID node, const std::string& input, double v) {
        NodeID scalar = graph().add("Scalar");
        graph().load(scalar, "value " + std::to_string(v) + "\n");
        graph().connect(scalar, "Scalar", node, input);
        return scalar;
    }
    NodeID feedColour(NodeID node, const std::string& input, const nodetest::Vec& c) {
        NodeID colour = graph().add("Color");
        graph().load(colour, "color " + std::to_string(c[0]) + " " + std::to_string(c[1]) + " " +
                                 std::to_string(c[2]) + "\n");
        graph().connect(colour, "Color", node, input);
        return colour;
    }

    NodeID feedInteger(NodeID node, const std::string& input, int v) {
        NodeID integer = graph().add("Integer");
        graph().load(integer, "value " + std::to_string(v) + "\n");
        graph().connect(integer, "Integer", node, input);
        return integer;
    }
    NodeID feedVector(NodeID node, const std::string& input, const nodetest::Vec& v) {
        NodeID vector = graph().add("Vector");
        graph().load(vector, "vector " + std::to_string(v[0]) + " " + std::to_string(v[1]) + " " +
                                 std::to_string(v[2]) + "\n");
        graph().connect(vector, "Vector", node, input);
        return vector;
    }

    const LWNodeUtilityFuncs* utilities() const {
        return static_cast<const LWNodeUtilityFuncs*>(
            hostsim::Host::lookupFunction()(LWNODEUTILITYFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }

    hostsim::Host host;
    const CoreServices* core = nullptr;
    LWItemID camera = nullptr;
};
