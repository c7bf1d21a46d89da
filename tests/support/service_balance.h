// The check every end-to-end fixture makes when its test ends: after the
// host quits (instances and panels destroyed, modules shut down and
// unloaded), every service the modules acquired was released as often as
// the host answered it, nothing was released that was not held, and every
// service they looked up is one that sdk/ declares.
#pragma once

#include <gtest/gtest.h>

#include "host.h"
#include "sdk_services.h"

inline void unloadAndExpectBalancedServices(hostsim::Host& host) {
    host.unloadAll();
    for (const auto& [name, use] : host.uses()) {
        EXPECT_EQ(use.released, use.acquired) << "\"" << name << "\" acquired " << use.acquired << " times, released "
                                              << use.released << " times";
        EXPECT_EQ(use.unbalancedReleases, 0) << "\"" << name << "\" released without being held";
        EXPECT_TRUE(declaredService(name)) << "\"" << name << "\" is looked up but sdk/ declares no such service";
    }
}
