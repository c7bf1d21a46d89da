// The host's node editor with a small node module of its own: nodes made
// through the module's server, typed connections and their refusals, input
// events, values pulled through chains, the destination's shading, node
// data, render passes, panels, and the services' bookkeeping.
#include "node_editor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "animation.h"
#include "host.h"
#include "instances.h"
#include "lwserver.h"
#include "raycaster.h"
#include "xpanels.h"

namespace {

std::vector<std::string> g_events;

}  // namespace

extern "C" __attribute__((visibility("default"))) void hostsimNodeFixtureEvent(const char* text) {
    g_events.push_back(text);
}

namespace {

using hostsim::HostError;
using hostsim::NodeGraph;
using V3 = std::array<double, 3>;

std::string fixture() { return std::string(FIXTURE_DIR) + "/fixture_nodes.so"; }

// The events whose text starts with prefix, in order.
std::vector<std::string> events(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : g_events)
        if (e.rfind(prefix, 0) == 0) out.push_back(e);
    return out;
}

// The message of the HostError that f throws, or "" when it throws none.
template <typename F>
std::string errorOf(F f) {
    try {
        f();
    } catch (const HostError& e) {
        return e.what();
    }
    return "";
}

class NodeEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        host.loadModule(fixture());
    }

    V3 colour(NodeID node, const std::string& output = "Color") {
        double v[3] = {-1, -1, -1};
        EXPECT_TRUE(graph.evaluate(node, output, access, v)) << output;
        return {v[0], v[1], v[2]};
    }
    double scalar(NodeID node, const std::string& output) {
        double v[3] = {-1, -1, -1};
        EXPECT_TRUE(graph.evaluate(node, output, access, v)) << output;
        return v[0];
    }

    hostsim::Host host;
    NodeGraph& graph = host.nodeEditor().graph("Skin");
    LWNodalAccess access{};
};

TEST_F(NodeEditorTest, APluginNodeIsMadeThroughItsServerWithTheNodeAsContext) {
    const auto types = host.nodeEditor().types();
    EXPECT_EQ(types, (std::vector<std::string>{"Color", "Scalar", "Vector", "Integer", "Mix", "Math", "FixtureScale",
                                               "FixtureBroken"}));

    const NodeID a = graph.add("FixtureScale");
    const NodeID b = graph.add("FixtureScale");
    // One activation per graph and type; the instance saw its node's name,
    // the server's user name and its channel group while it was created,
    // and the host refused a second "Color" input, a nameless one, an
    // unknown type and a second "Luma" output.
    EXPECT_EQ(events("activate"), (std::vector<std::string>{"activate with items"}));
    EXPECT_EQ(events("create"), (std::vector<std::string>{
                                    "create Fixture Scale (1)|Fixture Scale|group yes|refused 4|inputs 2|outputs 4",
                                    "create Fixture Scale (2)|Fixture Scale|group yes|refused 4|inputs 2|outputs 4"}));
    EXPECT_EQ(graph.nodes(), (std::vector<NodeID>{graph.destination(), a, b}));
    EXPECT_EQ(graph.name(b), "Fixture Scale (2)");
    EXPECT_EQ(graph.find("Fixture Scale (1)"), a);
    EXPECT_EQ(graph.type(a), "FixtureScale");
    EXPECT_EQ(graph.type(graph.destination()), "Surface");
    EXPECT_NE(graph.instance(a), nullptr);
    EXPECT_EQ(host.instances().count(), 2);

    const auto in = graph.inputs(a);
    ASSERT_EQ(in.size(), 2u);
    EXPECT_EQ(in[0].name, "Color");
    EXPECT_EQ(in[0].type, NOT_COLOR);
    EXPECT_EQ(in[1].name, "Factor");
    EXPECT_EQ(in[1].type, NOT_SCALAR);
    std::vector<std::string> outNames;
    for (const auto& p : graph.outputs(a)) outNames.push_back(p.name);
    EXPECT_EQ(outNames, (std::vector<std::string>{"Color", "Luma", "Position", "Polygon"}));

    // What the node asked the host to record.
    EXPECT_EQ(graph.colour(a), (std::array<int, 3>{10, 20, 30}));
    EXPECT_EQ(graph.previewType(a), NPT_CUSTOM);
    EXPECT_EQ(graph.previewUpdates(a), 1);
    EXPECT_EQ(host.animation().groupPath(graph.channelGroup(a)), "Fixture Scale (1)");

    // A second graph activates the type again.
    host.nodeEditor().graph("Rock").add("FixtureScale");
    EXPECT_EQ(events("activate").size(), 2u);
    EXPECT_EQ(host.nodeEditor().surfacesWithGraphs(), (std::vector<std::string>{"Skin", "Rock"}));
}

TEST_F(NodeEditorTest, ModelerHandsTheNodeNoItemRecord) {
    host.setApplication(hostsim::AppType::Modeler);
    EXPECT_NE(graph.instance(graph.add("FixtureScale")), nullptr);
    EXPECT_EQ(events("activate"), (std::vector<std::string>{"activate without items"}));
}

TEST_F(NodeEditorTest, NamesCountPerTypeAndAreUniqueInTheGraph) {
    EXPECT_EQ(graph.name(graph.add("Color")), "Color (1)");
    EXPECT_EQ(graph.name(graph.add("Scalar")), "Scalar (1)");
    EXPECT_EQ(graph.name(graph.add("Color", "Color (2)")), "Color (2)");
    // The next automatic name skips one taken by hand.
    EXPECT_EQ(graph.name(graph.add("Color")), "Color (3)");
    EXPECT_EQ(errorOf([&] { graph.add("Scalar", "Color (1)"); }),
              "a node named \"Color (1)\" is already in the graph of surface \"Skin\"");
    EXPECT_EQ(errorOf([&] { graph.add("Gradient"); }), "unknown node type \"Gradient\"");
    EXPECT_EQ(graph.nodes().size(), 5u);
}

TEST_F(NodeEditorTest, AFailedCreationLeavesNothingBehind) {
    const int groups = host.animation().liveGroups();
    EXPECT_EQ(errorOf([&] { graph.add("FixtureBroken"); }),
              "cannot add a \"FixtureBroken\" node: the fixture refuses");
    EXPECT_EQ(graph.nodes(), (std::vector<NodeID>{graph.destination()}));
    EXPECT_EQ(host.animation().liveGroups(), groups);
    EXPECT_EQ(host.instances().count(), 0);
    // The failed node's number is not used up.
    EXPECT_EQ(graph.name(graph.add("FixtureScale")), "Fixture Scale (1)");
}

TEST_F(NodeEditorTest, ConnectionsThatCannotBeMadeAreRefusedWithTheReason) {
    const NodeID a = graph.add("FixtureScale", "Scale A");
    const NodeID b = graph.add("FixtureScale", "Scale B");
    const NodeID s = graph.add("Scalar");
    const NodeID m = graph.add("Mix");
    const NodeID d = graph.destination();
    graph.connect(a, "Color", b, "Color");
    const auto before = graph.connections();
    struct Case {
        NodeID from;
        const char* output;
        NodeID to;
        const char* input;
        const char* error;
    };
    const Case cases[] = {
        {a, "Color", d, "Normal", "cannot connect \"Scale A\".Color to \"Surface\".Normal: type mismatch (colour to vector)"},
        {s, "Scalar", m, "A", "cannot connect \"Scalar (1)\".Scalar to \"Mix (1)\".A: type mismatch (scalar to colour)"},
        {a, "Polygon", d, "Luminosity",
         "cannot connect \"Scale A\".Polygon to \"Surface\".Luminosity: type mismatch (integer to scalar)"},
        {a, "Position", d, "Color", "cannot connect \"Scale A\".Position to \"Surface\".Color: type mismatch (vector to colour)"},
        {a, "Nope", d, "Color", "node \"Scale A\" has no output \"Nope\""},
        {a, "Color", d, "Shine", "node \"Surface\" has no input \"Shine\""},
        {d, "Color", a, "Color", "node \"Surface\" has no output \"Color\""},
        {b, "Color", a, "Color", "connecting \"Scale B\".Color to \"Scale A\".Color would make a cycle"},
        {a, "Luma", a, "Factor", "connecting \"Scale A\".Luma to \"Scale A\".Factor would make a cycle"},
        {nullptr, "Color", d, "Color",
         "cannot connect Color to Color: unknown node in the graph of surface \"Skin\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errorOf([&] { graph.connect(c.from, c.output, c.to, c.input); }), c.error);
        EXPECT_EQ(graph.connections().size(), before.size()) << c.error;
    }
    // A node of another graph is unknown here.
    const NodeID other = host.nodeEditor().graph("Rock").add("Color");
    EXPECT_NE(errorOf([&] { graph.connect(other, "Color", d, "Color"); }), "");
    // Longer cycles are found too.
    const NodeID c = graph.add("FixtureScale", "Scale C");
    graph.connect(b, "Color", c, "Color");
    EXPECT_EQ(errorOf([&] { graph.connect(c, "Luma", a, "Factor"); }),
              "connecting \"Scale C\".Luma to \"Scale A\".Factor would make a cycle");
}

TEST_F(NodeEditorTest, InputEventsFollowEachChangeWithTheConnectionInPlace) {
    const NodeID a = graph.add("FixtureScale", "Scale A");
    const NodeID red = graph.add("Color", "Red");
    const NodeID blue = graph.add("Color", "Blue");
    g_events.clear();

    // "event <node> <input> <event> <type> <check() during the event>"
    graph.connect(red, "Color", a, "Color");
    graph.connect(red, "Color", a, "Color");  // already so: nothing happens
    graph.connect(blue, "Color", a, "Color");  // replaces the connection
    graph.disconnect(a, "Color");
    graph.disconnect(a, "Color");  // not connected: nothing happens
    graph.connect(blue, "Color", a, "Color");
    graph.remove(blue);
    EXPECT_EQ(events("event"), (std::vector<std::string>{
                                   "event Scale A Color 0 1 1",  // NIE_CONNECT, colour
                                   "event Scale A Color 1 0 1",  // NIE_DISCONNECT of red, blue now in place
                                   "event Scale A Color 0 1 1",
                                   "event Scale A Color 1 0 0",
                                   "event Scale A Color 0 1 1",
                                   "event Scale A Color 2 0 0",  // NIE_INPUTNODEDESTROY
                               }));
    EXPECT_TRUE(graph.connections().empty());
}

TEST_F(NodeEditorTest, RemovingANodeTellsTheInputsItFedDisconnectsItsOwnAndDestroysIt) {
    const NodeID a = graph.add("FixtureScale", "Scale A");
    const NodeID b = graph.add("FixtureScale", "Scale B");
    const NodeID grey = graph.add("Color", "Grey");
    graph.connect(grey, "Color", a, "Color");
    graph.connect(a, "Color", b, "Color");
    graph.connect(a, "Luma", b, "Factor");
    graph.connect(a, "Color", graph.destination(), "Color");
    const LWChanGroupID group = graph.channelGroup(a);
    const auto* nodeFuncs = static_cast<const LWNodeFuncs*>(host.lookup(LWNODEFUNCS_GLOBAL, GFUSE_TRANSIENT));
    g_events.clear();

    graph.remove(a);
    EXPECT_EQ(g_events, (std::vector<std::string>{
                            "event Scale B Color 2 0 0",
                            "event Scale B Factor 2 0 0",
                            "event Scale A Color 1 0 0",
                            "destroy Scale A",
                        }));
    EXPECT_EQ(graph.connections().size(), 0u);
    EXPECT_EQ(graph.nodes(), (std::vector<NodeID>{graph.destination(), b, grey}));
    EXPECT_EQ(host.instances().count(), 1);
    EXPECT_EQ(host.animation().groupPath(group), "");
    // The removed node's id is answered like null, never reused.
    EXPECT_EQ(nodeFuncs->nodeName(a), nullptr);
    EXPECT_NE(errorOf([&] { graph.name(a); }), "");
    EXPECT_NE(graph.add("Scalar"), a);
    EXPECT_EQ(errorOf([&] { graph.remove(graph.destination()); }),
              "the destination node \"Surface\" cannot be removed");
}

TEST_F(NodeEditorTest, ValuesArePulledThroughAChainAtEvaluation) {
    const NodeID tint = graph.add("Color", "Tint");
    graph.load(tint, "color 0.1 0.2 0.3\n");
    const NodeID a = graph.add("FixtureScale", "Scale A");  // factor 2
    const NodeID b = graph.add("FixtureScale", "Scale B");
    const NodeID three = graph.add("Scalar", "Three");
    graph.load(three, "value 3");

    // Unconnected, each node uses its own setting: grey 0.5 times 2.
    EXPECT_EQ(colour(b), (V3{1, 1, 1}));
    graph.connect(tint, "Color", a, "Color");
    graph.connect(a, "Color", b, "Color");
    graph.connect(three, "Scalar", b, "Factor");
    const V3 chained = colour(b);
    EXPECT_DOUBLE_EQ(chained[0], 0.1 * 2 * 3);
    EXPECT_DOUBLE_EQ(chained[1], 0.2 * 2 * 3);
    EXPECT_DOUBLE_EQ(chained[2], 0.3 * 2 * 3);
    EXPECT_DOUBLE_EQ(scalar(b, "Luma"), 0.2 * 2 * 3);

    // Changed at the source, seen at the next evaluation.
    graph.load(tint, "color 1 1 1");
    EXPECT_EQ(colour(b), (V3{6, 6, 6}));

    // A node that sets nothing leaves the consumer's value alone: B keeps
    // its own grey.
    const NodeID minus = graph.add("Scalar", "Minus");
    graph.load(minus, "value -1");
    graph.connect(minus, "Scalar", a, "Factor");
    double v[3] = {7, 7, 7};
    EXPECT_FALSE(graph.evaluate(a, "Color", access, v));
    EXPECT_EQ(v[0], 7);
    EXPECT_EQ(colour(b), (V3{1.5, 1.5, 1.5}));

    // Vectors and integers by their type.
    access.oPos[0] = 4;
    access.oPos[1] = 5;
    access.oPos[2] = 6;
    access.polNum = 42;
    EXPECT_EQ(colour(a, "Position"), (V3{4, 5, 6}));
    EXPECT_EQ(scalar(a, "Polygon"), 42);
    EXPECT_NE(errorOf([&] { graph.evaluate(a, "Nope", access, v); }), "");
}

TEST_F(NodeEditorTest, TheHostsNodesUseConnectedInputsAndTheirOwnSettingsElsewhere) {
    const NodeID mix = graph.add("Mix");
    const NodeID red = graph.add("Color", "Red");
    const NodeID quarter = graph.add("Scalar", "Quarter");
    const NodeID math = graph.add("Math");
    graph.load(red, "color 1 0 0");
    graph.load(quarter, "value 0.25");
    graph.load(mix, "a 0 1 0\nb 0 0 1\namount 0.5\n");

    EXPECT_EQ(colour(mix), (V3{0, 0.5, 0.5}));
    graph.connect(red, "Color", mix, "A");
    graph.connect(quarter, "Scalar", mix, "Amount");
    EXPECT_EQ(colour(mix), (V3{0.75, 0, 0.25}));

    graph.load(math, "operation add\na 2\nb 5");
    EXPECT_EQ(scalar(math, "Result"), 7);
    graph.load(math, "operation multiply\na 2\nb 5");
    EXPECT_EQ(scalar(math, "Result"), 10);
    graph.connect(quarter, "Scalar", math, "B");
    EXPECT_EQ(scalar(math, "Result"), 0.5);

    const NodeID up = graph.add("Vector");
    graph.load(up, "vector 0 1 -2");
    EXPECT_EQ(colour(up, "Vector"), (V3{0, 1, -2}));
    const NodeID seven = graph.add("Integer");
    graph.load(seven, "value 7");
    EXPECT_EQ(scalar(seven, "Integer"), 7);
}

TEST_F(NodeEditorTest, TheHostsNodeDataRoundTripsAndBadTextChangesNothing) {
    const NodeID mix = graph.add("Mix");
    const NodeID math = graph.add("Math");
    graph.load(mix, "a 0.1 0.2 0.30000000000000004\nb 1e-300 2 3\namount 0.7");
    graph.load(math, "operation multiply\na -1.5\nb 2");
    const std::string mixText = graph.save(mix);
    EXPECT_EQ(mixText, "a 0.1 0.2 0.30000000000000004\nb 1e-300 2 3\namount 0.7\n");
    EXPECT_EQ(graph.save(math), "operation multiply\na -1.5\nb 2\n");
    EXPECT_EQ(graph.save(graph.add("Color")), "color 1 1 1\n");
    EXPECT_EQ(graph.save(graph.add("Scalar")), "value 1\n");
    EXPECT_EQ(graph.save(graph.add("Vector")), "vector 0 0 0\n");
    const NodeID integer = graph.add("Integer");
    graph.load(integer, "value -3");
    EXPECT_EQ(graph.save(integer), "value -3\n");

    struct Case {
        NodeID node;
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {mix, "a 1 2", "node \"Mix (1)\": line 1: \"a\" takes 3 number(s)"},
        {mix, "amount 0.5\namount x", "node \"Mix (1)\": line 2: \"amount\" takes 1 number(s)"},
        {mix, "amount 0.5 0.6", "node \"Mix (1)\": line 1: \"amount\" takes 1 number(s)"},
        {mix, "colour 1 1 1", "node \"Mix (1)\": line 1: unknown setting \"colour\" for a Mix node"},
        {math, "operation divide", "node \"Math (1)\": line 1: operation must be add or multiply"},
        {integer, "value 2.5", "node \"Integer (1)\": line 1: \"value\" takes a whole number"},
        {integer, "value", "node \"Integer (1)\": line 1: \"value\" takes a whole number"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf([&] { graph.load(c.node, c.text); }), c.error);
    EXPECT_EQ(graph.save(mix), mixText);
    EXPECT_EQ(graph.save(integer), "value -3\n");
}

TEST_F(NodeEditorTest, APluginNodesDataGoesThroughItsInstanceInTheTextForm) {
    const NodeID a = graph.add("FixtureScale");
    const std::string text = graph.save(a);
    EXPECT_EQ(text, "Factor 2\n");
    graph.load(a, "Factor 5\n");
    EXPECT_EQ(colour(a), (V3{2.5, 2.5, 2.5}));
    EXPECT_EQ(graph.save(a), "Factor 5\n");

    const NodeID b = graph.add("FixtureScale");
    graph.load(b, graph.save(a));
    EXPECT_EQ(colour(b), (V3{2.5, 2.5, 2.5}));

    EXPECT_EQ(errorOf([&] { graph.load(a, ""); }), "node \"Fixture Scale (1)\": no Factor block");
    // A cut-off line: the reader's reason comes with the plug-in's.
    const std::string cut = errorOf([&] { graph.load(a, "Factor 7"); });
    EXPECT_EQ(cut.rfind("node \"Fixture Scale (1)\": no Factor block (", 0), 0u) << cut;
    EXPECT_EQ(colour(a), (V3{2.5, 2.5, 2.5}));
}

TEST_F(NodeEditorTest, TheDestinationSetsTheSurfaceValuesOfItsConnectedInputs) {
    const NodeID tint = graph.add("Color", "Tint");
    graph.load(tint, "color 0.1 0.2 0.3");
    const NodeID half = graph.add("Scalar", "Half");
    graph.load(half, "value 0.5");
    const NodeID pos = graph.add("FixtureScale", "Position");
    const NodeID d = graph.destination();
    graph.connect(tint, "Color", d, "Color");
    for (const char* input : {"Luminosity", "Diffuse", "Specular", "Glossiness", "Reflection", "Transparency"})
        graph.connect(half, "Scalar", d, input);

    hostsim::SurfaceHit hit;
    hit.local[0] = 0;
    hit.local[1] = 3;
    hit.local[2] = 4;
    hostsim::SurfaceValues values;
    values.normal = {0, 0, 1};
    values.eta = 1.3;
    values.translucency = 0.4;
    graph.shade(hit, values);
    EXPECT_EQ(values.colour, (V3{0.1, 0.2, 0.3}));
    EXPECT_EQ(values.luminous, 0.5);
    EXPECT_EQ(values.diffuse, 0.5);
    EXPECT_EQ(values.specular, 0.5);
    EXPECT_EQ(values.roughness, std::pow(2.0, -7.0));
    EXPECT_EQ(values.mirror, 0.5);
    EXPECT_EQ(values.transparency, 0.5);
    EXPECT_EQ(values.normal, (V3{0, 0, 1}));  // unconnected: left alone
    EXPECT_EQ(values.eta, 1.3);
    EXPECT_EQ(values.translucency, 0.4);

    // The normal made unit; the bump tilts it: unit(normal - bump).
    graph.connect(pos, "Position", d, "Normal");
    graph.shade(hit, values);
    EXPECT_DOUBLE_EQ(values.normal[1], 0.6);
    EXPECT_DOUBLE_EQ(values.normal[2], 0.8);
    graph.disconnect(d, "Normal");
    graph.connect(pos, "Position", d, "Bump");
    hit.local[0] = 0.75;
    hit.local[1] = 0;
    hit.local[2] = 0;
    values.normal = {0, 0, 1};
    graph.shade(hit, values);
    EXPECT_DOUBLE_EQ(values.normal[0], -0.6);
    EXPECT_DOUBLE_EQ(values.normal[2], 0.8);
}

TEST(NodalAccess, CarriesWhatTheShaderRecordCarriesForTheSameHit) {
    hostsim::SurfaceHit hit;
    hit.object = reinterpret_cast<LWItemID>(0x1234);
    hit.source = reinterpret_cast<LWItemID>(0x99);
    hit.x = 7;
    hit.y = 9;
    hit.distance = 12.5;
    hit.spotSize = 0.02;
    hit.polygon = 5;
    hit.bounce = 1;
    hit.vertices = {3, 4, 8};
    hit.weights = {0.2, 0.3, 0.5};
    for (int c = 0; c < 3; ++c) {
        hit.local[c] = 1 + c;
        hit.world[c] = 10 + c;
        hit.rayOrigin[c] = -c;
        hit.vertexWorld[c] = {c + 0.5, c + 1.5, c + 2.5};
    }
    const double n[3] = {0, 0.6, -0.8}, g[3] = {0, 0, -1}, d[3] = {0, -0.6, 0.8};
    for (int c = 0; c < 3; ++c) {
        hit.normal[c] = n[c];
        hit.geometric[c] = g[c];
        hit.rayDirection[c] = d[c];
    }
    hit.transform.axes = {{{2, 0, 0}, {0, 0, 3}, {0, -1, 0}}};
    hostsim::SurfaceValues values;
    values.normal = {1, 0, 0};
    values.bumpHeight = 0.25;

    LWShaderAccess s;
    hostsim::fillShaderAccess(hit, values, s);
    LWNodalAccess a;
    std::memset(&a, 0x5A, sizeof a);  // nothing left over from before
    hostsim::fillNodalAccess(hit, values, a);
    EXPECT_EQ(a.sx, 7);
    EXPECT_EQ(a.sy, 9);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(a.oPos[c], s.oPos[c]);
        EXPECT_EQ(a.wPos[c], s.wPos[c]);
        EXPECT_EQ(a.gNorm[c], s.gNorm[c]);
        EXPECT_EQ(a.wNorm[c], values.normal[c]);
        EXPECT_EQ(a.wNorm0[c], n[c]);
        EXPECT_EQ(a.raySource[c], s.raySource[c]);
    }
    EXPECT_EQ(a.rayLength, 12.5);
    EXPECT_EQ(a.spotSize, 0.02);
    EXPECT_EQ(a.cosine, 1);
    EXPECT_EQ(a.bumpHeight, 0.25);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(a.oXfrm[i], s.oXfrm[i]);
        EXPECT_EQ(a.wXfrm[i], s.wXfrm[i]);
    }
    EXPECT_EQ(a.wXfrm[0], 0.5);
    EXPECT_EQ(a.illuminate, nullptr);  // outside a render
    EXPECT_EQ(a.rayTrace, nullptr);
    EXPECT_EQ(a.illuminateSample, nullptr);
    EXPECT_EQ(a.rayTraceMode, nullptr);
    EXPECT_EQ(a.bounces, 1);
    EXPECT_EQ(a.sourceID, hit.source);
    EXPECT_EQ(a.objID, hit.object);
    EXPECT_EQ(a.polNum, 5);
    EXPECT_EQ(a.polygon, s.polygon);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(a.verts[k], s.verts[k]);
        EXPECT_EQ(a.weights[k], s.weights[k]);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(a.vertsWPos[k][c], s.vertsWPos[k][c]);
    }
    EXPECT_EQ(a.verts[3], nullptr);
}

TEST_F(NodeEditorTest, RenderPassesReachThePluginNodesInOrder) {
    const NodeID a = graph.add("FixtureScale", "Scale A");
    graph.add("Color");
    graph.add("FixtureScale", "Scale B");
    g_events.clear();
    EXPECT_EQ(graph.init(LWINIT_PREVIEW), nullptr);
    EXPECT_EQ(graph.newTime(12, 0.5), nullptr);
    graph.cleanup();
    EXPECT_EQ(g_events, (std::vector<std::string>{"init Scale A 0", "init Scale B 0", "newTime Scale A 12 0.5",
                                                  "newTime Scale B 12 0.5", "cleanup Scale A", "cleanup Scale B"}));
    graph.load(a, "Factor 13\n");
    g_events.clear();
    EXPECT_STREQ(graph.init(LWINIT_RENDER), "unlucky factor");
    EXPECT_EQ(g_events, (std::vector<std::string>{"init Scale A 1"}));
}

TEST_F(NodeEditorTest, APanelIsOpenedThroughTheTypesInterfaceServer) {
    const NodeID a = graph.add("FixtureScale");
    const LWXPanelID panel = graph.openPanel(a);
    ASSERT_NE(panel, nullptr);
    hostsim::ViewPanel* view = host.xpanels().find(panel);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isOpen());
    EXPECT_EQ(view->instance(), graph.instance(a));
    EXPECT_EQ(graph.openPanel(graph.add("Color")), nullptr);
    EXPECT_EQ(graph.openPanel(graph.destination()), nullptr);
}

TEST_F(NodeEditorTest, TheInputAndOutputServicesWalkANodesPorts) {
    const NodeID a = graph.add("FixtureScale");
    const NodeID grey = graph.add("Color");
    const auto* in = static_cast<const LWNodeInputFuncs*>(host.lookup(LWNODEINPUTFUNCS_GLOBAL, GFUSE_TRANSIENT));
    const auto* out = static_cast<const LWNodeOutputFuncs*>(host.lookup(LWNODEOUTPUTFUNCS_GLOBAL, GFUSE_TRANSIENT));
    ASSERT_TRUE(in && out);

    EXPECT_EQ(in->numInputs(a), 2);
    const NodeInputID colourIn = in->first(a);
    const NodeInputID factorIn = in->next(colourIn);
    EXPECT_STREQ(in->name(colourIn), "Color");
    EXPECT_STREQ(in->name(factorIn), "Factor");
    EXPECT_EQ(in->next(factorIn), nullptr);
    EXPECT_EQ(in->previous(factorIn), colourIn);
    EXPECT_EQ(in->previous(colourIn), nullptr);
    EXPECT_EQ(in->byIndex(a, 1), colourIn);
    EXPECT_EQ(in->byIndex(a, 2), factorIn);
    EXPECT_EQ(in->byIndex(a, 0), nullptr);
    EXPECT_EQ(in->byIndex(a, 3), nullptr);
    EXPECT_EQ(in->getIndex(a, factorIn), 2);
    EXPECT_EQ(in->getIndex(grey, factorIn), 0);
    EXPECT_EQ(in->node(colourIn), a);

    EXPECT_EQ(out->numInputs(a), 4);
    const NodeOutputID luma = out->byIndex(a, 2);
    EXPECT_STREQ(out->name(luma), "Luma");
    EXPECT_EQ(out->getIndex(a, luma), 2);
    EXPECT_EQ(out->previous(luma), out->first(a));
    EXPECT_EQ(out->node(luma), a);
    EXPECT_EQ(out->first(graph.destination()), nullptr);

    // Connection state and evaluation through the services.
    EXPECT_EQ(in->check(colourIn), 0);
    double v[3] = {9, 9, 9};
    EXPECT_EQ(in->evaluate(colourIn, &access, v), 0);
    EXPECT_EQ(v[0], 9);
    graph.load(grey, "color 0.25 0.5 0.75");
    graph.connect(grey, "Color", a, "Color");
    EXPECT_EQ(in->check(colourIn), 1);
    EXPECT_EQ(out->node(in->connectedOutput(colourIn)), grey);
    EXPECT_EQ(in->evaluate(colourIn, &access, v), 1);
    EXPECT_EQ((V3{v[0], v[1], v[2]}), (V3{0.25, 0.5, 0.75}));
    g_events.clear();
    in->disconnect(a, colourIn);
    EXPECT_EQ(in->check(colourIn), 0);
    EXPECT_EQ(g_events, (std::vector<std::string>{"event Fixture Scale (1) Color 1 0 0"}));

    // Null and foreign ids are answered with null and 0.
    int local = 0;
    EXPECT_EQ(in->numInputs(nullptr), 0);
    EXPECT_EQ(in->first(&local), nullptr);
    EXPECT_EQ(in->name(&local), nullptr);
    EXPECT_EQ(out->create(&local, NOT_COLOR, "X"), nullptr);
    // The host's own nodes take no ports from plug-ins.
    EXPECT_EQ(in->create(grey, NOT_COLOR, "Extra", nullptr), nullptr);
}

TEST_F(NodeEditorTest, ServiceHoldsAreBalancedAndInstancesGoBeforeTheModule) {
    graph.add("FixtureScale", "Scale A");
    host.nodeEditor().graph("Rock").add("FixtureScale", "Scale B");
    EXPECT_EQ(host.use(LWNODEINPUTFUNCS_GLOBAL).held(), 2);
    EXPECT_EQ(host.use(LWNODEFUNCS_GLOBAL).held(), 2);
    g_events.clear();
    host.unloadAll();
    EXPECT_EQ(events("destroy"), (std::vector<std::string>{"destroy Scale A", "destroy Scale B"}));
    EXPECT_TRUE(host.allBalanced());
    EXPECT_EQ(host.use(LWNODEOUTPUTFUNCS_GLOBAL).acquired, 2);
    EXPECT_TRUE(host.nodeEditor().surfacesWithGraphs().empty());
    EXPECT_EQ(host.instances().count(), 0);
}

TEST_F(NodeEditorTest, ClearingTheEditorDestroysEveryGraphAndItsGroups) {
    const int groups = host.animation().liveGroups();
    graph.add("FixtureScale");
    graph.add("Math");
    EXPECT_EQ(host.animation().liveGroups(), groups + 2);
    host.nodeEditor().clear();
    EXPECT_EQ(host.animation().liveGroups(), groups);
    EXPECT_EQ(host.nodeEditor().find("Skin"), nullptr);
    EXPECT_EQ(host.instances().count(), 0);
    EXPECT_TRUE(host.allBalanced());
}

TEST_F(NodeEditorTest, TwoThreadsEvaluateOneGraphAtOnce) {
    const NodeID tint = graph.add("Color");
    graph.load(tint, "color 0.5 0.25 1");
    const NodeID a = graph.add("FixtureScale");
    const NodeID b = graph.add("FixtureScale");
    const NodeID mix = graph.add("Mix");
    const NodeID pos = graph.add("FixtureScale", "Position");
    graph.connect(tint, "Color", a, "Color");
    graph.connect(a, "Color", b, "Color");
    graph.connect(b, "Color", mix, "B");
    graph.connect(a, "Luma", mix, "Amount");  // 0.5833...: more than one, the mix goes past B
    graph.connect(mix, "Color", graph.destination(), "Color");
    graph.connect(pos, "Position", graph.destination(), "Normal");

    std::atomic<int> wrong{0};
    auto work = [&](int seed) {
        for (int i = 0; i < 3000; ++i) {
            hostsim::SurfaceHit hit;
            hit.local[0] = seed + i;
            hit.local[2] = 1;
            hostsim::SurfaceValues values;
            graph.shade(hit, values);
            const double t = (0.5 + 0.25 + 1) * 2 / 3;
            const V3 expected{0.5 * 4 * t, 0.25 * 4 * t, 1 * 4 * t};
            const double len = std::sqrt(1.0 + (seed + i) * double(seed + i));
            for (int c = 0; c < 3; ++c)
                if (std::fabs(values.colour[c] - expected[c]) > 1e-12) wrong++;
            if (std::fabs(values.normal[0] - (seed + i) / len) > 1e-12) wrong++;
        }
    };
    std::thread first(work, 0), second(work, 100000);
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
