// KorvalithPro in the stand-in host with a scene holding a camera and an
// object whose surface the "ShaderHandler" "KorvalithPro" shades:
// instances are made, evaluated, copied, saved and loaded the way the host
// does it, their panels opened and driven like a user.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "animation.h"
#include "core_services.h"
#include "geometry.h"
#include "handler_records.h"
#include "host.h"
#include "image_choice.h"
#include "instances.h"
#include "jp2_fixture.h"
#include "lwhandler.h"
#include "lwserver.h"
#include "lwshader.h"
#include "scene.h"
#include "service_balance.h"
#include "surfaces.h"
#include "xpanels.h"

class ShaderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host.loadModule(std::string(MODULE_DIR) + "/KorvalithPro.so");
        core = static_cast<const CoreServices*>(hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        ASSERT_NE(core, nullptr);
        ASSERT_EQ(records.activate(host, "KorvalithPro"), 0);
        camera = host.scene().addCamera("Camera");
        host.scene().setRenderCamera(camera);
        object = addObject("Ground", hostsim::makePlane(2, 2), "Grass");
        surface = host.surfaces().surfaceOf(object);
        ASSERT_NE(surface, nullptr);
    }
    void TearDown() override {
        hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE);
        EXPECT_EQ(core->imageCount(), 0) << "a test left images registered";
        unloadAndExpectBalancedServices(host);
    }

    // An object of the scene with a mesh and a surface of that name.
    LWItemID addObject(const std::string& name, hostsim::Mesh mesh, const std::string& surfaceName) {
        LWItemID item = host.scene().addObject(name);
        host.geometry().setMesh(item, std::make_shared<const hostsim::Mesh>(std::move(mesh)));
        hostsim::Surface s;
        s.name = surfaceName;
        host.geometry().setSurface(item, s);
        return item;
    }

    // Instances are the host's: it makes them for a surface and destroys them.
    LWInstance create(LWSurfaceID context = nullptr) {
        LWError error = nullptr;
        LWInstance instance =
            host.instances().create(handler.inst, records.items(), context ? context : surface, &error);
        EXPECT_NE(instance, nullptr) << (error ? error : "");
        return instance;
    }
    void destroy(LWInstance instance) { host.instances().destroy(instance); }

    // The shader's panel, made by the interface server for the instance and
    // opened by the host.
    hostsim::ViewPanel* openPanel(LWInstance instance) {
        LWInterface ui{};
        ui.inst = instance;
        if (host.activate(LWSHADER_ICLASS, "KorvalithPro", LWINTERFACE_VERSION, &ui) != 0) return nullptr;
        if (host.xpanels().open(ui.panel) != 1) return nullptr;
        return host.xpanels().find(ui.panel);
    }

    // A test image whose file name carries the test's own name, so tests
    // that run at the same time never share a file.
    static std::string image(const char* name, int width = 300, int height = 200, int bands = 3,
                             testfiles::Pattern pattern = testfiles::defaultPattern) {
        return testfiles::writeTestJp2(name, width, height, bands, std::move(pattern));
    }

    // Lets the panel's "Image" popup show the image at path, as a user
    // picking a registered image does.
    void showImage(hostsim::ViewPanel* panel, const std::string& path) { chooseImage(core, panel, path); }

    hostsim::Host host;
    const CoreServices* core = nullptr;
    // The host's records of the shader server, as its activation filled them.
    hostsim::ShaderHandlerRecords records;
    LWShaderHandler& handler = records.local;
    LWItemID camera = nullptr;
    LWItemID object = nullptr;
    LWSurfaceID surface = nullptr;
};

// Sets an int control as a user would and checks that the panel took it.
#define SET_INT(panel, cid, value) ASSERT_TRUE((panel)->setInt((cid), (value)))
