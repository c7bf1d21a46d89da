// The records the host hands a texture or shader handler's activation: the
// host's own, filled member by member, with no item record in Modeler.
#include <gtest/gtest.h>

#include <string>

#include "handler_records.h"
#include "host.h"
#include "instances.h"

namespace {

std::string fixture(const std::string& name) { return std::string(FIXTURE_DIR) + "/fixture_" + name + ".so"; }

class HandlerRecords : public ::testing::Test {
protected:
    void SetUp() override { host.loadModule(fixture("textures")); }
    hostsim::Host host;
};

TEST_F(HandlerRecords, TheServerFillsTheHostsOwnRecords) {
    hostsim::TextureHandlerRecords records;
    ASSERT_EQ(records.activate(host, "Careful Texture"), AFUNC_OK);
    // The handler record still points at the host's records, now filled.
    EXPECT_EQ(records.local.inst, &records.inst);
    EXPECT_EQ(records.local.item, &records.item);
    EXPECT_EQ(records.local.rend, &records.rend);
    EXPECT_NE(records.inst.create, nullptr);
    EXPECT_NE(records.inst.destroy, nullptr);
    EXPECT_NE(records.item.useItems, nullptr);
    EXPECT_NE(records.item.changeID, nullptr);
    EXPECT_EQ(records.item.changeName, nullptr);  // left as the host gave it
    EXPECT_NE(records.rend.newTime, nullptr);
    ASSERT_NE(records.local.evaluate, nullptr);
    EXPECT_EQ(records.local.flags(nullptr), unsigned(LWTEXF_AXIS));

    // The host makes instances from what it holds.
    int layer = 0;
    LWInstance instance = host.instances().create(&records.inst, records.items(), &layer);
    EXPECT_EQ(instance, &layer);
    LWTextureAccess access{};
    access.tPos[0] = 0.25;
    EXPECT_EQ(records.local.evaluate(instance, &access), 0.25);
    host.instances().destroy(instance);

    // A second activation starts from empty records.
    EXPECT_EQ(records.activate(host, "Careful Texture", LWTEXTURE_VERSION - 1), AFUNC_BADVERSION);
    EXPECT_EQ(records.inst.create, nullptr);
    EXPECT_THROW(records.activate(host, "Nobody"), hostsim::HostError);
}

TEST_F(HandlerRecords, AShaderFillsTheHostsOwnRecords) {
    for (const auto app : {hostsim::AppType::Layout, hostsim::AppType::Modeler}) {
        host.setApplication(app);
        const bool modeler = app == hostsim::AppType::Modeler;
        hostsim::ShaderHandlerRecords records;
        ASSERT_EQ(records.activate(host, "Halving Shader"), AFUNC_OK);
        EXPECT_EQ(records.local.inst, &records.inst);
        EXPECT_EQ(records.local.item, modeler ? nullptr : &records.item);
        EXPECT_EQ(records.items(), modeler ? nullptr : &records.item);
        EXPECT_EQ(records.item.useItems == nullptr, modeler);
        EXPECT_EQ(records.local.rend, &records.rend);
        EXPECT_NE(records.inst.create, nullptr);
        EXPECT_NE(records.rend.newTime, nullptr);
        ASSERT_NE(records.local.evaluate, nullptr);
        EXPECT_EQ(records.local.flags(nullptr), unsigned(LWSHF_DIFFUSE));
        LWShaderAccess access{};
        access.diffuse = 0.8;
        records.local.evaluate(nullptr, &access);
        EXPECT_EQ(access.diffuse, 0.4);
        EXPECT_THROW(records.activate(host, "Careful Texture"), hostsim::HostError);  // a texture is no shader
        EXPECT_EQ(records.activate(host, "Halving Shader", LWSHADER_VERSION - 1), AFUNC_BADVERSION);
        EXPECT_EQ(records.inst.create, nullptr);
    }
}

TEST_F(HandlerRecords, ModelerHandsNoItemRecord) {
    host.setApplication(hostsim::AppType::Modeler);
    hostsim::TextureHandlerRecords records;
    ASSERT_EQ(records.activate(host, "Careful Texture"), AFUNC_OK);
    EXPECT_EQ(records.local.item, nullptr);
    EXPECT_EQ(records.items(), nullptr);
    EXPECT_EQ(records.item.useItems, nullptr);
    EXPECT_NE(records.inst.create, nullptr);
}

TEST_F(HandlerRecords, AServerWritingThroughTheMissingItemRecordCrashesInModeler) {
    // Outside Modeler the careless server gets away with it.
    hostsim::TextureHandlerRecords layout;
    EXPECT_EQ(layout.activate(host, "Careless Texture"), AFUNC_OK);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            host.setApplication(hostsim::AppType::Modeler);
            hostsim::TextureHandlerRecords records;
            records.activate(host, "Careless Texture");
        },
        "");
}

TEST_F(HandlerRecords, AServerPointingTheRecordElsewhereFillsNothingTheHostSees) {
    hostsim::TextureHandlerRecords records;
    EXPECT_EQ(records.activate(host, "Pointing Texture"), AFUNC_OK);
    EXPECT_EQ(records.local.inst, &records.inst);
    EXPECT_EQ(records.inst.create, nullptr);
    int layer = 0;
    EXPECT_EQ(host.instances().create(&records.inst, records.items(), &layer), nullptr);
    EXPECT_EQ(host.instances().count(), 0);
}

}  // namespace
