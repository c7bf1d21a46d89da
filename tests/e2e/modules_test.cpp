// Both modules loaded into the stand-in host the way LightWave loads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "handler_records.h"
#include "host.h"
#include "lwglobsrv.h"
#include "lwhost.h"
#include "lwserver.h"
#include "lwshader.h"
#include "lwtexture.h"
#include "service_balance.h"

namespace {

const std::string kPro = std::string(MODULE_DIR) + "/KorvalithPro.so";
const std::string kNode = std::string(MODULE_DIR) + "/KorvalithNode.so";

struct Expected {
    std::string className;
    std::string name;
    std::vector<hostsim::ServerTag> tags;
};

TEST(Modules, LoadStartShutDownAndUnload) {
    hostsim::Host host;
    for (const auto& path : {kPro, kNode}) {
        hostsim::Module& module = host.loadModule(path);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(module.moduleData()), ~uintptr_t{0});
        host.unloadModule(module);
    }
    EXPECT_TRUE(host.modules().empty());
    // Loading again after unloading works: nothing was left behind.
    host.loadModule(kPro);
    host.loadModule(kNode);
}

TEST(Modules, ServerTablesInOrderWithTheirTags) {
    const std::vector<hostsim::ServerTag> browser{
        {0x00000, 0x0409, "Korvalith Pro Browser"}, {0x20000, 0x0409, "Korvalith Pro"}, {0x40000, 0x0409, "Korvalith Pro Image Browser"}};
    const std::vector<hostsim::ServerTag> converter{
        {0x00000, 0x0409, "Korvalith Pro Converter"}, {0x20000, 0x0409, "Korvalith Pro"}, {0x40000, 0x0409, "Korvalith Pro Image Converter"}};
    const std::vector<hostsim::ServerTag> shader{
        {0x00000, 0x0409, "Korvalith Pro"}, {0x20000, 0x0409, "Korvalith Pro"}, {0x40000, 0x0409, "Korvalith Pro Shader"}};
    const std::vector<hostsim::ServerTag> texture{
        {0x00000, 0x0409, "Korvalith Pro"}, {0x20000, 0x0409, "Korvalith Pro"}, {0x40000, 0x0409, "Korvalith Pro Texture"}};
    const std::vector<hostsim::ServerTag> node{{0x00000, 0x0409, "Korvalith Pro"},
                                               {0x20000, 0x0409, "Korvalith Pro"},
                                               {0x70000, 0x0409, "Korvalith Pro"},
                                               {0x40000, 0x0409, "Korvalith Pro Node"}};
    const std::vector<hostsim::ServerTag> corrector{{0x00000, 0x0409, "Simple Colour Corrector"},
                                                    {0x20000, 0x0409, "Korvalith Pro"},
                                                    {0x70000, 0x0409, "Korvalith Pro/Utilities"},
                                                    {0x40000, 0x0409, "Simple Colour Corrector"}};
    const std::vector<Expected> pro{
        {"LayoutGeneric", "Korvalith_Browser", browser},  {"LayoutGeneric", "Korvalith_Converter", converter},
        {"Global", "KorvalithCoreServices", {}},          {"ShaderHandler", "KorvalithPro", shader},
        {"ShaderInterface", "KorvalithPro", shader},      {"TextureHandler", "KorvalithPro", texture},
        {"TextureInterface", "KorvalithPro", texture},
    };
    const std::vector<Expected> nodes{
        {"NodeHandler", "KorvalithPro", node},
        {"NodeInterface", "KorvalithPro", node},
        {"NodeHandler", "SimpleColourCorrector", corrector},
        {"NodeInterface", "SimpleColourCorrector", corrector},
    };

    hostsim::Host host;
    for (const auto& [path, expected] : {std::pair{kPro, pro}, std::pair{kNode, nodes}}) {
        const auto servers = host.loadModule(path).servers();
        ASSERT_EQ(servers.size(), expected.size()) << path;
        for (size_t i = 0; i < servers.size(); ++i) {
            SCOPED_TRACE(servers[i].className + " " + servers[i].name);
            EXPECT_EQ(servers[i].className, expected[i].className);
            EXPECT_EQ(servers[i].name, expected[i].name);
            ASSERT_EQ(servers[i].tags.size(), expected[i].tags.size());
            for (size_t t = 0; t < servers[i].tags.size(); ++t) {
                EXPECT_EQ(servers[i].tags[t].code, expected[i].tags[t].code);
                EXPECT_EQ(servers[i].tags[t].language, 0x0409u) << "US English";
                EXPECT_EQ(servers[i].tags[t].text, expected[i].tags[t].text);
            }
        }
    }
}

// Every service is back to no holds, except the one use of "MultiThreading
// Utilities" that the registry lock keeps from the global's first
// activation until the module shuts down.
bool balancedButRegistryLock(const hostsim::Host& host) {
    for (const auto& [name, use] : host.uses()) {
        if (use.unbalancedReleases != 0) return false;
        if (use.held() != 0 && !(name == "MultiThreading Utilities" && use.held() == 1)) return false;
    }
    return true;
}

// Activation results by version. Servers whose work is not built yet refuse
// an accepted version with 2 (service unavailable), never with a success.
struct ActivationCase {
    const char* className;
    const char* name;
    int version;
    int result;
    bool prologue;  // whether the host words were read
};

class Activation : public ::testing::Test {
protected:
    void SetUp() override {
        host.loadModule(kPro);
        host.loadModule(kNode);
    }
    void TearDown() override { unloadAndExpectBalancedServices(host); }
    hostsim::Host host;
};

TEST_F(Activation, VersionTestsAroundEveryLimitAndBalancedUses) {
    const ActivationCase cases[] = {
        {"Global", "KorvalithCoreServices", 0, 1, false},
        {"Global", "KorvalithCoreServices", 1, 0, true},
        {"Global", "KorvalithCoreServices", 7, 0, true},
        {"LayoutGeneric", "Korvalith_Browser", 1, 1, false},
        {"LayoutGeneric", "Korvalith_Browser", 2, 2, true},
        {"LayoutGeneric", "Korvalith_Converter", 1, 1, false},
        {"LayoutGeneric", "Korvalith_Converter", 3, 2, true},
        {"TextureHandler", "KorvalithPro", 4, 1, true},
        {"TextureHandler", "KorvalithPro", 5, 0, true},
        {"TextureHandler", "KorvalithPro", 6, 0, true},
        {"TextureInterface", "KorvalithPro", 3, 1, false},
        {"TextureInterface", "KorvalithPro", 4, 2, true},
        {"TextureInterface", "KorvalithPro", 5, 1, false},
        {"ShaderHandler", "KorvalithPro", 3, 1, true},
        {"ShaderHandler", "KorvalithPro", 4, 0, true},
        {"ShaderHandler", "KorvalithPro", 5, 0, true},
        {"ShaderInterface", "KorvalithPro", 3, 1, false},
        {"ShaderInterface", "KorvalithPro", 4, 2, true},
        {"ShaderInterface", "KorvalithPro", 5, 1, false},
        {"NodeHandler", "KorvalithPro", 0, 1, true},
        {"NodeHandler", "KorvalithPro", 1, 0, true},
        {"NodeHandler", "KorvalithPro", 2, 0, true},
        {"NodeInterface", "KorvalithPro", 3, 1, false},
        {"NodeInterface", "KorvalithPro", 4, 2, true},
        {"NodeInterface", "KorvalithPro", 5, 1, false},
        {"NodeHandler", "SimpleColourCorrector", 0, 0, true},
        {"NodeHandler", "SimpleColourCorrector", 99, 0, true},
        {"NodeInterface", "SimpleColourCorrector", 3, 1, false},
        {"NodeInterface", "SimpleColourCorrector", 4, 2, true},
        {"NodeInterface", "SimpleColourCorrector", 5, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " " + c.name + " version " + std::to_string(c.version));
        LWGlobalService global{c.name, nullptr};
        // Zeroed room for any other class's record (an interface record
        // without an instance, …); texture, shader and texture node handlers
        // get the host's records.
        alignas(16) unsigned char record[256] = {};
        void* local = std::string(c.className) == "Global" ? static_cast<void*>(&global) : record;
        hostsim::TextureHandlerRecords texture;
        hostsim::ShaderHandlerRecords shader;
        hostsim::NodeHandlerRecords node;
        const int wordsBefore = host.use(LWPRODUCTINFO_GLOBAL).transient;
        if (std::string(c.className) == LWTEXTURE_HCLASS)
            EXPECT_EQ(texture.activate(host, c.name, c.version), c.result);
        else if (std::string(c.className) == LWSHADER_HCLASS)
            EXPECT_EQ(shader.activate(host, c.name, c.version), c.result);
        else if (std::string(c.className) == LWNODE_HCLASS)
            EXPECT_EQ(node.activate(host, c.name, c.version), c.result);
        else
            EXPECT_EQ(host.activate(c.className, c.name, c.version, local), c.result);
        EXPECT_EQ(host.use(LWPRODUCTINFO_GLOBAL).transient - wordsBefore, c.prologue ? 1 : 0);
        EXPECT_TRUE(balancedButRegistryLock(host));
        EXPECT_EQ(host.messages().messages().size(), 0u);
    }
}

TEST_F(Activation, HandlerRefusalLeavesInfoMessagesAsItWas) {
    const int held = host.use("Info Messages 2").held();
    EXPECT_EQ(host.activate("TextureHandler", "KorvalithPro", 4, nullptr), 1);
    EXPECT_EQ(host.use("Info Messages 2").held(), held);
    EXPECT_GE(host.use("Info Messages 2").acquired, 2);  // prologue and the held copy
}

TEST_F(Activation, GlobalAnswersOnlyItsExactName) {
    const char* others[] = {"KorvalithCoreServicesX", "KorvalithCoreService", "Something Else", ""};
    for (const char* name : others) {
        SCOPED_TRACE(name);
        int sentinel = 0;
        LWGlobalService global{name, &sentinel};
        EXPECT_EQ(host.activate("Global", "KorvalithCoreServices", 1, &global), 0);
        EXPECT_EQ(global.data, nullptr);
    }
    EXPECT_TRUE(balancedButRegistryLock(host));
}

TEST_F(Activation, ColourCorrectorPanelWithoutLocalRecordSucceedsAtOnce) {
    EXPECT_EQ(host.activate("NodeInterface", "SimpleColourCorrector", 4, nullptr), 0);
    EXPECT_EQ(host.use(LWPRODUCTINFO_GLOBAL).transient, 0);
}

TEST_F(Activation, UnloadingGivesEveryServiceBack) {
    void* table = hostsim::Host::lookupFunction()("KorvalithCoreServices", GFUSE_ACQUIRE);
    EXPECT_NE(table, nullptr);
    hostsim::Host::lookupFunction()("KorvalithCoreServices", GFUSE_RELEASE);
    EXPECT_EQ(host.use("MultiThreading Utilities").held(), 1);  // the registry lock
    while (!host.modules().empty()) host.unloadModule(*host.modules().back());
    EXPECT_TRUE(host.allBalanced());
    EXPECT_EQ(host.mutexGroups().stats().live, 0);
}

TEST_F(Activation, ModelerAndRenderNodeHostsActivateLikeLayout) {
    for (auto app : {hostsim::AppType::Modeler, hostsim::AppType::RenderNode}) {
        host.setApplication(app);
        EXPECT_EQ(host.activate("TextureHandler", "KorvalithPro", 4, nullptr), 1);
        EXPECT_EQ(host.activate("TextureInterface", "KorvalithPro", 4, nullptr), AFUNC_BADLOCAL);  // no record to fill
        EXPECT_TRUE(balancedButRegistryLock(host));
    }
}

}  // namespace
