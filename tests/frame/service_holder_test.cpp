#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "activation.h"
#include "host.h"
#include "host_access.h"
#include "lwhost.h"

namespace {

using korvalith::HostService;
using korvalith::ServiceSlot;

class ServiceHolders : public ::testing::Test {
protected:
    void SetUp() override { korvalith::setHostLookup(hostsim::Host::lookupFunction()); }
    void TearDown() override { korvalith::setHostLookup(nullptr); }
    hostsim::Host host;
};

TEST_F(ServiceHolders, TheHostSeesOneReleasePerAcquisition) {
    ServiceSlot slot{"Info Messages 2"};
    auto first = std::make_unique<HostService<LWMessageFuncs>>(slot);
    auto second = std::make_unique<HostService<LWMessageFuncs>>(slot);
    EXPECT_TRUE(first->available());
    EXPECT_EQ(first->table(), host.messages().table());
    EXPECT_EQ(slot.count.load(), 2);
    EXPECT_EQ(host.use("Info Messages 2").held(), 2);

    first.reset();
    EXPECT_EQ(host.use("Info Messages 2").held(), 1);  // still acquired by the second holder
    EXPECT_TRUE(second->available());
    second.reset();
    EXPECT_EQ(slot.count.load(), 0);
    EXPECT_EQ(host.use("Info Messages 2").acquired, 2);
    EXPECT_EQ(host.use("Info Messages 2").released, 2);
    EXPECT_TRUE(host.use("Info Messages 2").balanced());
}

TEST_F(ServiceHolders, RefusedAcquisitionTakesNoUseFromOtherHolders) {
    ServiceSlot slot{"Sometimes There"};
    int table = 0;
    {
        HostService<int> refused(slot);  // the host has no such service yet
        EXPECT_FALSE(refused.available());
    }
    EXPECT_EQ(host.use("Sometimes There").unbalancedReleases, 0);

    host.registerService("Sometimes There", &table);
    HostService<int> holder(slot);
    EXPECT_TRUE(holder.available());
    {
        host.unregisterService("Sometimes There");
        HostService<int> refusedAgain(slot);
    }
    // The live holder still holds the service.
    EXPECT_EQ(slot.count.load(), 1);
    EXPECT_EQ(host.use("Sometimes There").held(), 1);
}

TEST_F(ServiceHolders, CountsStayExactUnderConcurrentHolders) {
    ServiceSlot slot{"Info Messages 2"};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) HostService<LWMessageFuncs> holder(slot);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(slot.count.load(), 0);
    EXPECT_EQ(host.use("Info Messages 2").acquired, 2000);
    EXPECT_TRUE(host.use("Info Messages 2").balanced());
}

TEST_F(ServiceHolders, NoLookupMeansNothingAvailable) {
    korvalith::setHostLookup(nullptr);
    ServiceSlot slot{"Info Messages 2"};
    HostService<LWMessageFuncs> holder(slot);
    EXPECT_FALSE(holder.available());
    EXPECT_EQ(host.use("Info Messages 2").acquired, 0);
}

TEST_F(ServiceHolders, PrologueStoresLookupAndHostWordsBalanced) {
    korvalith::setHostLookup(nullptr);
    host.setApplication(hostsim::AppType::Modeler);
    host.setMajorVersion(11);
    korvalith::activationPrologue(hostsim::Host::lookupFunction());
    EXPECT_EQ(korvalith::hostLookup(), hostsim::Host::lookupFunction());
    EXPECT_EQ(korvalith::hostApplicationType(), LWSYS_MODELER);
    EXPECT_EQ(korvalith::hostMajorVersion(), 11);
    EXPECT_EQ(host.use("Info Messages 2").acquired, 1);
    EXPECT_EQ(host.use(LWSYSTEMID_GLOBAL).transient, 1);
    EXPECT_EQ(host.use(LWPRODUCTINFO_GLOBAL).transient, 1);
    EXPECT_TRUE(host.allBalanced());
}

}  // namespace
