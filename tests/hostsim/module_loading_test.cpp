#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host.h"

namespace {
std::vector<std::pair<std::string, void*>> g_events;
}

// Called by the fixture module's startup, shutdown and global activation.
extern "C" __attribute__((visibility("default"))) void hostsimFixtureEvent(const char* what, void* data) {
    g_events.emplace_back(what, data);
}

namespace {

std::string fixture(const std::string& name) { return std::string(FIXTURE_DIR) + "/fixture_" + name + ".so"; }

class ModuleLoading : public ::testing::Test {
protected:
    void SetUp() override { g_events.clear(); }
    hostsim::Host host;
};

TEST_F(ModuleLoading, StartsKeepsDataAndShutsDownWithIt) {
    hostsim::Module& module = host.loadModule(fixture("good"));
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].first, "startup");
    EXPECT_EQ(module.moduleData(), g_events[0].second);

    void* data = module.moduleData();
    host.unloadModule(module);
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[1].first, "shutdown");
    EXPECT_EQ(g_events[1].second, data);
    EXPECT_TRUE(host.modules().empty());
}

TEST_F(ModuleLoading, ListsServersWithTags) {
    const auto servers = host.loadModule(fixture("good")).servers();
    ASSERT_EQ(servers.size(), 3u);
    EXPECT_EQ(servers[0].className, "Global");
    EXPECT_TRUE(servers[0].tags.empty());
    EXPECT_EQ(servers[2].name, "Echo");
    ASSERT_EQ(servers[2].tags.size(), 2u);
    EXPECT_EQ(servers[2].tags[1].code, static_cast<uint32_t>(SRVTAG_CMDGROUP));
    EXPECT_EQ(servers[2].tags[1].language, static_cast<uint32_t>(LANGID_USENGLISH));
    EXPECT_EQ(servers[2].tags[1].text, "Fixtures");
}

TEST_F(ModuleLoading, RefusesBrokenModulesWithTheReason) {
    const std::string notModule = ::testing::TempDir() + "/not_a_module.so";
    std::ofstream(notModule) << "this is text, not a shared library\n";
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {notModule, "cannot load module"},
        {fixture("missing"), "cannot load module"},
        {fixture("no_descriptor"), "exports no _mod_descrip"},
        {fixture("bad_sync"), "bad synchronisation word 0x12345678"},
        {fixture("bad_version"), "unsupported module format version 2"},
        {fixture("bad_machine"), "machine word 0x00000200"},
        {fixture("no_servers"), "no server list"},
        {fixture("incomplete_record"), "server record 3 lacks"},
        {fixture("startup_fails"), "failed to start"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            host.loadModule(c.path);
            ADD_FAILURE() << "loaded";
        } catch (const hostsim::HostError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(host.modules().empty());
    // A broken module that got past dlopen was never started.
    EXPECT_TRUE(g_events.empty());
}

TEST_F(ModuleLoading, RefusesTheSameModuleTwice) {
    host.loadModule(fixture("good"));
    EXPECT_THROW(host.loadModule(fixture("good")), hostsim::HostError);
    EXPECT_EQ(host.modules().size(), 1u);
}

struct EchoRecord {
    int version;
    GlobalFunc* global;
    void* serverData;
};

TEST_F(ModuleLoading, ActivationHandsOverVersionLookupLocalAndServerData) {
    host.loadModule(fixture("good"));
    EchoRecord record{};
    int serverData = 0;
    EXPECT_EQ(host.activate("LayoutGeneric", "Echo", 3, &record, &serverData), AFUNC_OK);
    EXPECT_EQ(record.version, 3);
    EXPECT_EQ(record.global, hostsim::Host::lookupFunction());
    EXPECT_EQ(record.serverData, &serverData);
    EXPECT_EQ(host.activate("LayoutGeneric", "Echo", 2, &record), AFUNC_BADVERSION);
    EXPECT_THROW(host.activate("LayoutGeneric", "Nobody", 3, &record), hostsim::HostError);
    EXPECT_THROW(host.activate("Global", "Echo", 3, &record), hostsim::HostError);
}

TEST(HostInstance, OnlyOneHostAtATime) {
    hostsim::Host host;
    EXPECT_EQ(hostsim::Host::current(), &host);
    EXPECT_THROW(hostsim::Host(), hostsim::HostError);
}

TEST(HostInstance, LookupWithoutHostAnswersNull) {
    ASSERT_EQ(hostsim::Host::current(), nullptr);
    EXPECT_EQ(hostsim::Host::lookupFunction()("Info Messages 2", GFUSE_ACQUIRE), nullptr);
}

}  // namespace
