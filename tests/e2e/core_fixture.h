// KorvalithPro loaded into the stand-in host, with its core services
// looked up the way clients do.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core_services.h"
#include "host.h"
#include "service_balance.h"

class CoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host.loadModule(std::string(MODULE_DIR) + "/KorvalithPro.so");
        core = static_cast<const CoreServices*>(hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        ASSERT_NE(core, nullptr);
    }
    void TearDown() override {
        hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE);
        EXPECT_EQ(core->imageCount(), 0) << "a test left images registered";
        unloadAndExpectBalancedServices(host);
    }
    hostsim::Host host;
    const CoreServices* core = nullptr;
};
