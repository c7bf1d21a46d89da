// The texture node's binding to KorvalithPro's core table and what its
// creation leaves in the node editor: refusals without the table or with
// another interface version, the ports in order, the node's colour, its
// parameters in the node's own channel group, the table's use count.
#include <set>
#include <string>
#include <vector>

#include "lwvparm.h"
#include "texture_node_fixture.h"

namespace {

// A core table of which only apiVersion answers; every other operation
// is null, so a call to one fails the test loudly.
struct VersionOnlyCore {
    static int version;
    static int versionCalls;
    static int apiVersion() {
        ++versionCalls;
        return version;
    }
    CoreServices table{};
    VersionOnlyCore() { table.apiVersion = apiVersion; }
};
int VersionOnlyCore::version = 112;
int VersionOnlyCore::versionCalls = 0;

class TextureNodeWithoutPro : public ::testing::Test {
protected:
    void SetUp() override { host.loadModule(std::string(MODULE_DIR) + "/KorvalithNode.so"); }
    void TearDown() override {
        host.nodeEditor().clear();
        unloadAndExpectBalancedServices(host);
    }
    // The refusal's text; empty when the node was made.
    std::string refusal() {
        hostsim::NodeGraph& graph = host.nodeEditor().graph("Planet");
        try {
            graph.add("KorvalithPro");
        } catch (const hostsim::HostError& e) {
            return e.what();
        }
        return "";
    }
    hostsim::Host host;
};

TEST_F(TextureNodeWithoutPro, NoTableRefusesTheNodeAndLeavesNothing) {
    const std::string why = refusal();
    EXPECT_NE(why.find("Korvalith Pro is not installed"), std::string::npos) << why;
    hostsim::NodeGraph& graph = host.nodeEditor().graph("Planet");
    EXPECT_EQ(graph.nodes().size(), 1u);  // the destination alone
    EXPECT_EQ(host.instances().count(), 0);
    // Nothing the node made stays with the host.
    EXPECT_EQ(host.animation().liveParameters(), 0);
}

TEST_F(TextureNodeWithoutPro, OnlyInterfaceVersion112IsAccepted) {
    VersionOnlyCore fake;
    host.registerService(KORVALITH_CORE_SERVICES, &fake.table);
    struct Case {
        int version;
        bool accepted;
    } cases[] = {{113, false}, {111, false}, {112, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        VersionOnlyCore::version = c.version;
        VersionOnlyCore::versionCalls = 0;
        const std::string why = refusal();
        EXPECT_EQ(VersionOnlyCore::versionCalls, 1);
        if (c.accepted) {
            EXPECT_EQ(why, "");
        } else {
            EXPECT_NE(why.find("Incompatible version of Korvalith Pro installed, Version 1.0.5a expected"),
                      std::string::npos)
                << why;
        }
    }
    hostsim::NodeGraph& graph = host.nodeEditor().graph("Planet");
    EXPECT_EQ(graph.nodes().size(), 2u);  // the destination and the accepted node
    host.nodeEditor().clear();
    EXPECT_EQ(host.instances().count(), 0);
    EXPECT_EQ(host.use(KORVALITH_CORE_SERVICES).held(), 0);
    host.unregisterService(KORVALITH_CORE_SERVICES);
}

using TextureNodeBinding = TextureNodeFixture;

TEST_F(TextureNodeBinding, PortsColourAndParametersOfANewNode) {
    NodeID node = graph().add("KorvalithPro");
    using Port = hostsim::NodeGraph::Port;
    auto names = [](const std::vector<Port>& ports) {
        std::vector<std::pair<std::string, int>> out;
        for (const Port& p : ports) out.emplace_back(p.name, p.type);
        return out;
    };
    EXPECT_EQ(names(graph().outputs(node)),
              (std::vector<std::pair<std::string, int>>{
                  {"Colour", NOT_COLOR}, {"RGB", NOT_COLOR}, {"Alpha", NOT_SCALAR}, {"Normal", NOT_VECTOR},
                  {"Bump", NOT_VECTOR}}));
    EXPECT_EQ(names(graph().inputs(node)),
              (std::vector<std::pair<std::string, int>>{
                  {"BG Colour", NOT_COLOR},  {"Blending", NOT_INTEGER}, {"Opacity", NOT_SCALAR},
                  {"BumpAmp", NOT_SCALAR},   {"Invert", NOT_INTEGER},   {"Quality", NOT_SCALAR},
                  {"LoD Blending", NOT_SCALAR}, {"LeftEdge", NOT_SCALAR}, {"Width", NOT_SCALAR},
                  {"TopEdge", NOT_SCALAR},   {"Height", NOT_SCALAR},    {"U Tiles", NOT_SCALAR},
                  {"V Tiles", NOT_SCALAR},   {"U Offset", NOT_SCALAR},  {"V Offset", NOT_SCALAR},
                  {"Scale", NOT_VECTOR},     {"Position", NOT_VECTOR},  {"Rotation", NOT_VECTOR}}));
    EXPECT_EQ(graph().colour(node), (std::array<int, 3>{120, 160, 0}));

    // Every parameter of the node sits in the node's own channel group (or
    // the mapping's vector groups under it), filed under "KorvalithPro".
    LWChanGroupID group = graph().channelGroup(node);
    ASSERT_NE(group, nullptr);
    const std::vector<std::string> channels = host.animation().channelNames(group);
    const std::set<std::string> inGroup(channels.begin(), channels.end());
    for (const char* name : {"BG_Colour", "BumpAmplitude", "Quality", "MipMapOverlap", "Strength", "WidthWrap"})
        EXPECT_TRUE(inGroup.count(name) || inGroup.count(std::string(name) + ".R") || inGroup.count(std::string(name) + ".X"))
            << name;
    EXPECT_TRUE(host.animation().childGroupNames(group).size() >= 3);  // Scale, Position, Rotation; no own group
    for (const char* name : {"BG_Colour", "BumpAmplitude"}) {
        SCOPED_TRACE(name);
        LWVParmID p = host.animation().findParameter(group, name);
        ASSERT_NE(p, nullptr);
        const hostsim::ParameterInfo info = host.animation().parameter(p);
        EXPECT_EQ(info.pluginName, "KorvalithPro");
        EXPECT_EQ(info.kind, std::string(name) == "BG_Colour" ? LWVP_COLOR : LWVP_PERCENT);
        EXPECT_EQ(info.value, std::string(name) == "BG_Colour" ? (std::array<double, 3>{0, 0, 0})
                                                               : (std::array<double, 3>{1, 0, 0}));
    }
    for (const std::string& child : host.animation().childGroupNames(group))
        EXPECT_EQ(child.find("KorvalithPro"), std::string::npos) << "the layer made a group of its own: " << child;
}

TEST_F(TextureNodeBinding, CreatingAndRemovingNodesGivesTheTableBack) {
    const int held = host.use(KORVALITH_CORE_SERVICES).held();
    const std::string path = image("planet.jp2");
    NodeID first = textureNode(path);
    NodeID second = graph().add("KorvalithPro");
    EXPECT_GT(host.use(KORVALITH_CORE_SERVICES).held(), held);
    graph().remove(first);
    graph().remove(second);
    EXPECT_EQ(host.use(KORVALITH_CORE_SERVICES).held(), held);
    EXPECT_EQ(core->imageCount(), 0);
    EXPECT_EQ(host.instances().count(), 0);
}

TEST_F(TextureNodeBinding, DescriptionNamesTheImage) {
    hostsim::NodeHandlerRecords records;
    ASSERT_EQ(records.activate(host, "KorvalithPro"), 0);
    NodeID node = graph().add("KorvalithPro");
    LWInstance instance = graph().instance(node);
    EXPECT_STREQ(records.inst.descln(instance), "Korvalith Pro 1.0.5a (Win64)");
    showImage(openPanel(node), image("planet.jp2"));
    EXPECT_STREQ(records.inst.descln(instance), "Korvalith Pro: planet.jp2");
}

}  // namespace
