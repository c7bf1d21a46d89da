// Channel handlers applied to channels through "Channel Info 2": the host
// activates them from the loaded modules, evaluates them in list order and
// destroys their instances with the channel or when it quits.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "animation.h"
#include "handler_records.h"
#include "host.h"
#include "instances.h"
#include "lwchannel.h"
#include "lwenvel.h"
#include "lwrender.h"
#include "lwserver.h"
#include "scene.h"

namespace {

std::string fixture(const std::string& name) { return std::string(FIXTURE_DIR) + "/fixture_" + name + ".so"; }

class ChannelServers : public ::testing::Test {
protected:
    template <typename T>
    static const T* service(const char* name) {
        return static_cast<const T*>(hostsim::Host::lookupFunction()(name, GFUSE_TRANSIENT));
    }

    void SetUp() override {
        host.loadModule(fixture("channels"));
        group = env->createGroup(nullptr, "Group");
        // The envelope's value is the time.
        envelope = env->create(group, "Ramp", LWET_FLOAT);
        for (double t : {0.0, 10.0}) {
            LWEnvKeyframeID key = env->createKey(envelope, t, t);
            int linear = hostsim::kShapeLinear;
            env->keySet(envelope, key, LWKEY_SHAPE, &linear);
        }
        chan = ci->nextChannel(group, nullptr);
    }

    // Live instances of the fixture's channel handlers.
    int liveInstances() {
        return *static_cast<const int*>(host.lookup("Fixture Channel Instances", GFUSE_TRANSIENT));
    }

    std::vector<std::string> servers(LWChannelID c) {
        std::vector<std::string> names;
        for (int i = 1; const char* name = ci->server(c, LWCHANNEL_HCLASS, i); ++i) names.push_back(name);
        return names;
    }

    hostsim::Host host;
    const LWEnvelopeFuncs* env = service<LWEnvelopeFuncs>(LWENVELOPEFUNCS_GLOBAL);
    const LWChannelInfo* ci = service<LWChannelInfo>(LWCHANNELINFO_GLOBAL);
    LWChanGroupID group = nullptr;
    LWEnvelopeID envelope = nullptr;
    LWChannelID chan = nullptr;
};

TEST_F(ChannelServers, HandlersChangeTheValueInListOrderAndLeaveTheEnvelopeAlone) {
    ASSERT_NE(chan, nullptr);
    EXPECT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Offset Channel", 0), 1);
    EXPECT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Doubling Channel", 0), 2);
    EXPECT_EQ(servers(chan), (std::vector<std::string>{"Offset Channel", "Doubling Channel"}));
    EXPECT_EQ(liveInstances(), 2);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 3.0), (3.0 + 1.0) * 2.0);
    EXPECT_DOUBLE_EQ(env->evaluate(envelope, 3.0), 3.0);

    // Each instance was made for this channel, and they are distinct.
    LWInstance offset = ci->serverInstance(chan, LWCHANNEL_HCLASS, 1);
    LWInstance doubling = ci->serverInstance(chan, LWCHANNEL_HCLASS, 2);
    ASSERT_NE(offset, nullptr);
    EXPECT_NE(offset, doubling);
    EXPECT_EQ(host.instances().count(), 2);

    // Another copy of a server is applied after the others; removing names
    // the copy by its instance.
    EXPECT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Offset Channel", 0), 3);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 3.0), 9.0);
    LWInstance second = ci->serverInstance(chan, LWCHANNEL_HCLASS, 3);
    ci->serverRemove(chan, LWCHANNEL_HCLASS, "Offset Channel", second);
    EXPECT_EQ(ci->serverInstance(chan, LWCHANNEL_HCLASS, 1), offset);
    ci->serverRemove(chan, LWCHANNEL_HCLASS, "Offset Channel", nullptr);  // the first of that name
    EXPECT_EQ(servers(chan), std::vector<std::string>{"Doubling Channel"});
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 3.0), 6.0);
    EXPECT_EQ(liveInstances(), 1);

    // What names no applied server is ignored.
    ci->serverRemove(chan, LWCHANNEL_HCLASS, "Offset Channel", nullptr);
    ci->serverRemove(chan, "ItemMotionHandler", "Doubling Channel", nullptr);
    ci->serverRemove(chan, LWCHANNEL_HCLASS, "Doubling Channel", offset);
    EXPECT_EQ(liveInstances(), 1);
}

TEST_F(ChannelServers, IndicesCountFromOneWithinAClassAndFlagsAreKept) {
    EXPECT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Offset Channel", LWSRVF_DISABLED), 1);
    EXPECT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Doubling Channel", LWSRVF_HIDDEN), 2);
    EXPECT_EQ(ci->serverFlags(chan, LWCHANNEL_HCLASS, 1), unsigned(LWSRVF_DISABLED));
    EXPECT_EQ(ci->serverFlags(chan, LWCHANNEL_HCLASS, 2), unsigned(LWSRVF_HIDDEN));
    // A disabled server stays in the list but takes no part.
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 3.0), 6.0);

    struct Case {
        LWChannelID chan;
        const char* cls;
        int index;
    };
    for (const Case& c : {Case{chan, LWCHANNEL_HCLASS, 0}, Case{chan, LWCHANNEL_HCLASS, 3},
                          Case{chan, LWCHANNEL_HCLASS, -1}, Case{chan, "ItemMotionHandler", 1},
                          Case{chan, nullptr, 1}, Case{nullptr, LWCHANNEL_HCLASS, 1},
                          Case{group, LWCHANNEL_HCLASS, 1}}) {
        EXPECT_EQ(ci->server(c.chan, c.cls, c.index), nullptr) << c.index;
        EXPECT_EQ(ci->serverFlags(c.chan, c.cls, c.index), 0u) << c.index;
        EXPECT_EQ(ci->serverInstance(c.chan, c.cls, c.index), nullptr) << c.index;
    }
}

TEST_F(ChannelServers, ApplyingAnswersZeroWhenNoServerComesOfIt) {
    struct Case {
        LWChannelID chan;
        const char* cls;
        const char* name;
    };
    for (const Case& c : {
             Case{chan, LWCHANNEL_HCLASS, "Nobody"},              // no loaded module serves it
             Case{chan, LWCHANNEL_HCLASS, "Refusing Channel"},    // its activation fails
             Case{chan, LWCHANNEL_HCLASS, "Shapeless Channel"},   // it makes no instance
             Case{chan, "ItemMotionHandler", "Offset Channel"},   // not a class applied to channels
             Case{chan, LWCHANNEL_HCLASS, nullptr},
             Case{chan, nullptr, "Offset Channel"},
             Case{nullptr, LWCHANNEL_HCLASS, "Offset Channel"},   // no channel
             Case{group, LWCHANNEL_HCLASS, "Offset Channel"},     // a group is no channel
         }) {
        EXPECT_EQ(ci->serverApply(c.chan, c.cls, c.name, 0), 0) << (c.name ? c.name : "(null)");
    }
    EXPECT_EQ(servers(chan), std::vector<std::string>{});
    EXPECT_EQ(liveInstances(), 0);
    EXPECT_EQ(host.instances().count(), 0);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 3.0), 3.0);
}

TEST_F(ChannelServers, HandlersSeeTheFrameAndReadTheirOwnChannelWithoutRecursing) {
    ASSERT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Frame Channel", 0), 1);
    host.scene().setFramesPerSecond(25);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 2.0), 50.0);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 0.52), 13.0);  // the nearest frame
    ci->serverRemove(chan, LWCHANNEL_HCLASS, "Frame Channel", nullptr);

    // Its own channel, asked for during its evaluation, answers the value
    // before the handlers: the envelope one second earlier.
    ASSERT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Lagging Channel", 0), 1);
    ASSERT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Offset Channel", 0), 2);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(chan, 3.0), 3.0);  // 2, then plus 1
}

TEST_F(ChannelServers, ChangesToTheListTellTheChannelsEventFunction) {
    std::vector<int> seen;
    ci->setChannelEvent(
        chan,
        [](void* data, LWChannelID, int event, void*) {
            static_cast<std::vector<int>*>(data)->push_back(event);
            return 0;
        },
        &seen);
    ci->serverApply(chan, LWCHANNEL_HCLASS, "Offset Channel", 0);
    ci->serverApply(chan, LWCHANNEL_HCLASS, "Nobody", 0);
    ci->serverRemove(chan, LWCHANNEL_HCLASS, "Offset Channel", nullptr);
    EXPECT_EQ(seen, (std::vector<int>{LWCEVNT_VALUE, LWCEVNT_VALUE}));
}

TEST_F(ChannelServers, InstancesDieWithTheirChannelAndBeforeTheModulesGo) {
    LWChanGroupID other = env->createGroup(nullptr, "Other");
    LWEnvelopeID kept = env->create(other, "Kept", LWET_FLOAT);
    LWChannelID keptChan = ci->nextChannel(other, nullptr);
    ci->serverApply(chan, LWCHANNEL_HCLASS, "Offset Channel", 0);
    ci->serverApply(chan, LWCHANNEL_HCLASS, "Doubling Channel", 0);
    ci->serverApply(keptChan, LWCHANNEL_HCLASS, "Offset Channel", 0);
    EXPECT_EQ(liveInstances(), 3);

    env->destroyGroup(group);
    EXPECT_EQ(liveInstances(), 1);
    EXPECT_EQ(host.instances().count(), 1);

    // A quitting host takes the servers off the channels that remain.
    host.unloadAll();
    EXPECT_EQ(host.instances().count(), 0);
    EXPECT_EQ(ci->server(keptChan, LWCHANNEL_HCLASS, 1), nullptr);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(keptChan, 1.0), env->evaluate(kept, 1.0));
}

TEST_F(ChannelServers, ModelerHandsChannelHandlersNoItemRecord) {
    host.setApplication(hostsim::AppType::Modeler);
    hostsim::ChannelHandlerRecords records;
    ASSERT_EQ(records.activate(host, "Offset Channel"), AFUNC_OK);
    EXPECT_EQ(records.local.item, nullptr);
    EXPECT_NE(records.inst.create, nullptr);
    EXPECT_NE(records.local.evaluate, nullptr);
    EXPECT_EQ(ci->serverApply(chan, LWCHANNEL_HCLASS, "Offset Channel", 0), 1);
}

TEST_F(ChannelServers, RenderThreadsEvaluateHandlersAtOnce) {
    ci->serverApply(chan, LWCHANNEL_HCLASS, "Lagging Channel", 0);
    ci->serverApply(chan, LWCHANNEL_HCLASS, "Doubling Channel", 0);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const double time = 1.0 + (i % 9);
                if (ci->channelEvaluate(chan, time) != (time - 1.0) * 2.0) ++wrong[static_cast<size_t>(t)];
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
