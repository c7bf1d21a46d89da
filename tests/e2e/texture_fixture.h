// KorvalithPro in the stand-in host with a scene holding one texture whose
// layer is served by the "TextureHandler" "KorvalithPro": instances are made,
// evaluated, copied, saved and loaded the way the host does it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "animation.h"
#include "core_services.h"
#include "handler_records.h"
#include "host.h"
#include "image_choice.h"
#include "instances.h"
#include "jp2_fixture.h"
#include "lwhandler.h"
#include "lwserver.h"
#include "lwtexture.h"
#include "lwtxtr.h"
#include "scene.h"
#include "service_balance.h"
#include "textures.h"
#include "xpanels.h"

class TextureFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host.loadModule(std::string(MODULE_DIR) + "/KorvalithPro.so");
        core = static_cast<const CoreServices*>(hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        ASSERT_NE(core, nullptr);
        ASSERT_EQ(records.activate(host, "KorvalithPro"), 0);
        texture = host.textures().create(TRT_COLOR, "Colour", nullptr, nullptr);
        layer = host.textures().addLayer(texture, TLT_PROC);
        ASSERT_NE(layer, nullptr);
        camera = host.scene().addCamera("Camera");
        host.scene().setRenderCamera(camera);
    }
    void TearDown() override {
        hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE);
        EXPECT_EQ(core->imageCount(), 0) << "a test left images registered";
        unloadAndExpectBalancedServices(host);
    }

    // Instances are the host's: it makes and destroys them, asks them for
    // their items and tells them about changed ids.
    LWInstance create(LWTLayerID context = nullptr) {
        LWError error = nullptr;
        LWInstance instance = host.instances().create(handler.inst, handler.item, context ? context : layer, &error);
        EXPECT_NE(instance, nullptr);
        return instance;
    }
    void destroy(LWInstance instance) { host.instances().destroy(instance); }

    // The texture's panel, made by the interface server for the instance
    // and then opened by the host, as LightWave opens the panel an interface
    // returns.
    hostsim::ViewPanel* openPanel(LWInstance instance) {
        LWInterface ui{};
        ui.inst = instance;
        if (host.activate(LWTEXTURE_ICLASS, "KorvalithPro", LWINTERFACE_VERSION, &ui) != 0) return nullptr;
        if (host.xpanels().open(ui.panel) != 1) return nullptr;
        return host.xpanels().find(ui.panel);
    }

    // A test image of the given size. Its file name carries the test's own
    // name, so tests that run at the same time never share a file; the name
    // the image shows is the last part.
    static std::string image(const char* name, int width = 300, int height = 200, int bands = 3,
                             testfiles::Pattern pattern = testfiles::defaultPattern) {
        return testfiles::writeTestJp2(name, width, height, bands, std::move(pattern));
    }

    hostsim::Host host;
    const CoreServices* core = nullptr;
    // The host's records of the texture server, as its activation filled them.
    hostsim::TextureHandlerRecords records;
    LWTextureHandler& handler = records.local;
    LWTextureID texture = nullptr;
    LWTLayerID layer = nullptr;
    LWItemID camera = nullptr;
};

// Sets an int control as a user would and checks that the panel took it.
#define SET_INT(panel, cid, value) ASSERT_TRUE((panel)->setInt((cid), (value)))

// Lets the instance show the image at path through its panel's "Image"
// popup, as a user picking a registered image does.
inline void showImage(TextureFixture&, const CoreServices* core, hostsim::ViewPanel* panel, const std::string& path) {
    chooseImage(core, panel, path);
}
