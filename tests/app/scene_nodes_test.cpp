// Surface node graphs in scene files, loaded into the stand-in host with
// both built modules (and another maker's shader): what the host's node
// editor holds, what the render makes of it, what saving writes, and the
// messages for graphs that cannot be built.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core_services.h"
#include "file_io.h"
#include "jp2_fixture.h"
#include "lwserver.h"
#include "node_editor.h"
#include "render.h"
#include "scene_file.h"
#include "service_balance.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;
using korvalith::app::SceneError;
using korvalith::app::SceneFile;

class SceneNodesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* module : {"/KorvalithPro.so", "/KorvalithNode.so"}) host.loadModule(MODULE_DIR + std::string(module));
        host.loadModule(TINT_MODULE);
        core = static_cast<const CoreServices*>(hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        ASSERT_NE(core, nullptr);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        name = std::string(test->test_suite_name()) + "." + test->name();
        root = ::testing::TempDir() + name;
        fs::remove_all(root);
        fs::create_directories(root + "/scenes/maps");
        fs::create_directories(root + "/out");
    }
    void TearDown() override {
        hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE);
        EXPECT_EQ(core->imageCount(), 0) << "an instance was left alive";
        unloadAndExpectBalancedServices(host);
    }

    // A card facing the camera; surface holds the surface's further keys.
    std::string write(const std::string& surface) {
        const std::string path = root + "/scenes/scene.json";
        EXPECT_TRUE(hostsim::writeWholeFile(path, R"({
  "camera": {"name": "Camera", "position": [0, 0, -3], "fov": 30},
  "objects": [{"name": "Card", "shape": "plane", "width": 4, "depth": 4, "rotation": {"degrees": [0, -90, 0]},
               "surface": {"colour": [0.8, 0.6, 0.4], "diffuse": 1)" + surface + R"(}}]
})"));
        return path;
    }

    // The surface values at the card's centre.
    hostsim::SurfaceValues centre(const SceneFile& scene) {
        korvalith::app::RenderRequest request;
        request.output = root + "/out/card.png";
        request.width = request.height = 16;
        request.threads = 2;
        request.progress = false;
        request.dumpSpot = {8, 8};
        std::ostringstream log;
        const auto summary = korvalith::app::renderFrames(host, korvalith::app::renderPlugins(scene), request, log);
        EXPECT_TRUE(summary.spot.hit) << log.str();
        EXPECT_EQ(log.str(), "");
        return summary.spot.values;
    }

    hostsim::Host host;
    const CoreServices* core = nullptr;
    std::string name, root;
};

// Host nodes: two colours mixed by a scalar into the surface colour, a
// product into the diffuse value; one node left to the host to name.
const char* kHostNodes = R"json(,
  "nodes": [{"type": "Color", "name": "Red", "data": "color 1 0 0"},
            {"type": "Color", "name": "Blue", "data": "color 0 0 1\n"},
            {"type": "Scalar", "name": "Quarter", "data": "value 0.25"},
            {"type": "Mix", "name": "Blend"},
            {"type": "Math", "data": "operation multiply\na 0.5\nb 0.5"}],
  "connections": [{"from": "Red", "output": "Color", "to": "Blend", "input": "A"},
                  {"from": "Blue", "output": "Color", "to": "Blend", "input": "B"},
                  {"from": "Quarter", "output": "Scalar", "to": "Blend", "input": "Amount"},
                  {"from": "Blend", "output": "Color", "to": "Surface", "input": "Color"},
                  {"from": "Math (1)", "output": "Result", "to": "Surface", "input": "Diffuse"}])json";

TEST_F(SceneNodesTest, HostNodesShadeTheSurfaceAndSaveBackAsTheyWere) {
    const std::string first = root + "/out/first.json";
    {
        SceneFile scene = korvalith::app::loadScene(host, write(kHostNodes));
        hostsim::NodeGraph* graph = host.nodeEditor().find("Card");
        ASSERT_NE(graph, nullptr);
        ASSERT_EQ(graph->nodes().size(), 6u);
        EXPECT_EQ(graph->connections().size(), 5u);

        const hostsim::SurfaceValues v = centre(scene);
        EXPECT_NEAR(v.colour[0], 0.75, 1e-12);
        EXPECT_NEAR(v.colour[1], 0, 1e-12);
        EXPECT_NEAR(v.colour[2], 0.25, 1e-12);
        EXPECT_NEAR(v.diffuse, 0.25, 1e-12);
        EXPECT_EQ(v.luminous, 0);  // an input nobody connected leaves the surface's value

        korvalith::app::saveScene(scene, first);
    }
    EXPECT_EQ(host.nodeEditor().find("Card")->nodes().size(), 1u) << "the scene's nodes outlived it";
    std::string firstText;
    ASSERT_TRUE(hostsim::readWholeFile(first, firstText));
    {
        SceneFile again = korvalith::app::loadScene(host, first);
        EXPECT_EQ(korvalith::app::sceneText(again, root + "/out"), firstText);
    }
    const auto surface = nlohmann::json::parse(firstText)["objects"][0]["surface"];
    ASSERT_EQ(surface["nodes"].size(), 5u);
    EXPECT_EQ(surface["nodes"][0], nlohmann::json::parse(R"({"type": "Color", "name": "Red", "data": "color 1 0 0\n"})"));
    EXPECT_EQ(surface["nodes"][4]["name"], "Math (1)");
    EXPECT_EQ(surface["nodes"][4]["type"], "Math");
    ASSERT_EQ(surface["connections"].size(), 5u);
    bool colour = false;
    for (const auto& c : surface["connections"])
        colour = colour || c == nlohmann::json::parse(R"({"from": "Blend", "output": "Color", "to": "Surface", "input": "Color"})");
    EXPECT_TRUE(colour) << surface["connections"].dump();
}

TEST_F(SceneNodesTest, TheRenderShadesTheTextureThenTheNodesThenTheShaders) {
    testfiles::writeJp2(name + "/scenes/maps/earth.jp2", 64, 32, 3);
    // The texture colours the card, the node's colour replaces it, the
    // shader tints what the node left.
    SceneFile scene = korvalith::app::loadScene(host, write(R"(,
  "texture": {"server": "KorvalithPro", "data": "{ KorvalithImage\n{ Image\nFilename \"maps/earth.jp2\"\n}\n}"},
  "nodes": [{"type": "Color", "name": "Paint", "data": "color 0.2 0.4 0.6"}],
  "connections": [{"from": "Paint", "output": "Color", "to": "Surface", "input": "Color"}],
  "shaders": [{"server": "Tint", "data": "Tint 0.5 1 0\n"}])"));
    const hostsim::SurfaceValues v = centre(scene);
    EXPECT_NEAR(v.colour[0], 0.1, 1e-6);
    EXPECT_NEAR(v.colour[1], 0.4, 1e-6);
    EXPECT_NEAR(v.colour[2], 0.0, 1e-6);
}

TEST_F(SceneNodesTest, ATextureNodeLoadsItsImageBesideTheSceneAndSavesItRelative) {
    const std::string image = testfiles::writeJp2(name + "/scenes/maps/earth.jp2", 64, 32, 3);
    const std::string first = root + "/out/first.json";
    {
        SceneFile scene = korvalith::app::loadScene(host, write(R"(,
  "nodes": [{"type": "KorvalithPro", "name": "Texture", "data":
             "{ KorvalithImage\n{ Image\nFilename \"maps/earth.jp2\"\n}\n{ Projection\nProjectionType 0\nAxis 2\n}\n}"}],
  "connections": [{"from": "Texture", "output": "Colour", "to": "Surface", "input": "Color"}])"));
        ASSERT_EQ(core->imageCount(), 1);
        EXPECT_EQ(fs::path(core->imagePath(core->imageAt(0))), fs::path(image).lexically_normal());
        // The image replaces the card's own colour.
        const hostsim::SurfaceValues v = centre(scene);
        EXPECT_NE(v.colour, (std::array<double, 3>{0.8, 0.6, 0.4}));
        korvalith::app::saveScene(scene, first);
    }
    EXPECT_EQ(core->imageCount(), 0);
    std::string firstText;
    ASSERT_TRUE(hostsim::readWholeFile(first, firstText));
    const std::string data = nlohmann::json::parse(firstText)["objects"][0]["surface"]["nodes"][0]["data"];
    EXPECT_NE(data.find("Filename \"../scenes/maps/earth.jp2\"\n"), std::string::npos) << data;
    SceneFile again = korvalith::app::loadScene(host, first);
    EXPECT_EQ(korvalith::app::sceneText(again, root + "/out"), firstText);
}

// The node example's colour (a texture node into a colour corrector) at a
// few spots, against the same image as the surface's colour texture with
// the corrector's settings as the layer's own colour correction. Each
// render gets a host of its own, as each command does: a host keeps the
// objects of every scene loaded into it.
TEST(NodeExample, ColoursTheGlobeAsTheTextureLayerDoes) {
    const std::string root = ::testing::TempDir() + "NodeExample";
    fs::create_directories(root);
    std::ifstream in(std::string(EXAMPLES_DIR) + "/node-globe.json");
    nlohmann::ordered_json example = nlohmann::ordered_json::parse(in);
    auto& surface = example["objects"][0]["surface"];
    for (auto& n : surface["nodes"]) {
        std::string data = n["data"];
        const std::string from = "Filename \"";
        if (const size_t at = data.find(from); at != std::string::npos) data.insert(at + from.size(), EXAMPLES_DIR "/");
        n["data"] = data;
    }
    const std::string nodesPath = root + "/nodes.json";
    ASSERT_TRUE(hostsim::writeWholeFile(nodesPath, example.dump()));

    std::string colour, correction;
    for (const auto& n : surface["nodes"]) {
        if (n["name"] == "Planet Colour") colour = n["data"];
        if (n["type"] == "SimpleColourCorrector") correction = n["data"];
    }
    ASSERT_NE(colour, "");
    ASSERT_NE(correction, "");
    // The corrector's block goes inside the image group, indented.
    std::string block;
    std::istringstream lines(correction.substr(correction.find("{ SimpleColourCorrection")));
    for (std::string line; std::getline(lines, line);) block += "  " + line + "\n";
    colour.insert(colour.rfind("}\n"), block);
    surface.erase("nodes");
    surface.erase("connections");
    surface["texture"] = {{"server", "KorvalithPro"}, {"axis", "y"}, {"data", colour}};
    const std::string layerPath = root + "/layer.json";
    ASSERT_TRUE(hostsim::writeWholeFile(layerPath, example.dump()));

    auto colourAt = [&](const std::string& path, std::array<int, 2> pixel) {
        korvalith::app::Session session(MODULE_DIR);
        SceneFile scene = korvalith::app::loadScene(session.host(), path);
        korvalith::app::RenderRequest request;
        request.output = root + "/globe.png";
        request.width = 192;
        request.height = 108;
        request.threads = 2;
        request.progress = false;
        request.dumpSpot = pixel;
        std::ostringstream log;
        const auto summary =
            korvalith::app::renderFrames(session.host(), korvalith::app::renderPlugins(scene), request, log);
        EXPECT_TRUE(summary.spot.hit) << pixel[0] << "," << pixel[1];
        korvalith::app::destroyInstances(scene);
        return summary.spot.values.colour;
    };
    for (const std::array<int, 2> pixel : {std::array<int, 2>{96, 54}, {140, 66}, {70, 80}, {120, 20}}) {
        const auto nodes = colourAt(nodesPath, pixel);
        const auto layer = colourAt(layerPath, pixel);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(nodes[i], layer[i], 1e-6) << pixel[0] << "," << pixel[1] << " channel " << i;
    }
}

struct BrokenGraph {
    const char* name;
    std::string surface;  // the surface's further keys
    std::string message;  // after "<path>: /objects/0/surface"
};

TEST_F(SceneNodesTest, ABrokenGraphIsRefusedNamingTheSurfaceTheNodeThePortAndWhy) {
    testfiles::writeJp2(name + "/scenes/maps/earth.jp2", 64, 32, 3);
    // A texture node that loads its image first, so a later failure must
    // not leave it behind.
    const std::string texture =
        R"({"type": "KorvalithPro", "name": "Texture", "data": "{ KorvalithImage\n{ Image\nFilename \"maps/earth.jp2\"\n}\n}"})";
    const std::string nodes = R"(, "nodes": [)" + texture + R"(, {"type": "Scalar", "name": "S"},
        {"type": "Math", "name": "M1"}, {"type": "Math", "name": "M2"}], "connections": )";
    const std::vector<BrokenGraph> cases = {
        {"nodes not a list", R"(, "nodes": {})", "/nodes: expected an array, got an object"},
        {"node without type", R"(, "nodes": [{"name": "A"}])", "/nodes/0: missing required key \"type\""},
        {"misspelt node key", R"(, "nodes": [{"type": "Color", "server": "x"}])", "/nodes/0: unknown key \"server\""},
        {"empty node name", R"(, "nodes": [{"type": "Color", "name": ""}])", "/nodes/0/name: a node's name must not be empty"},
        {"connection without input", R"(, "connections": [{"from": "A", "output": "Color", "to": "Surface"}])",
         "/connections/0: missing required key \"input\""},
        {"unknown node type", R"(, "nodes": [)" + texture + R"(, {"type": "Colour", "name": "C"}])",
         "/nodes/1/type: surface \"Card\", node \"C\": unknown node type \"Colour\" "
         "(Color, Scalar, Vector, Integer, Mix, Math, KorvalithPro, SimpleColourCorrector, Tint)"},
        {"a name twice", R"(, "nodes": [)" + texture + R"(, {"type": "Color", "name": "Texture"}])",
         "/nodes/1/name: surface \"Card\", node \"Texture\": another node is named \"Texture\""},
        {"the destination's name", R"(, "nodes": [{"type": "Color", "name": "Surface"}])",
         "/nodes/0/name: surface \"Card\", node \"Surface\": another node is named \"Surface\""},
        {"data that does not load", R"(, "nodes": [)" + texture + R"(, {"type": "Color", "name": "C", "data": "colour 1 0 0"}])",
         "/nodes/1/data: surface \"Card\", node \"C\": "},
        {"an image that is missing", R"(, "nodes": [{"type": "KorvalithPro", "name": "T",
            "data": "{ KorvalithImage\n{ Image\nFilename \"gone.jp2\"\n}\n}"}])",
         "/nodes/0/data: surface \"Card\", node \"T\": " + root +
             "/scenes/gone.jp2: No such file or directory: Error opening image file. The file either does not exist "
             "or can't be loaded by Korvalith Pro."},
        {"unknown node", nodes + R"([{"from": "Textur", "output": "Colour", "to": "Surface", "input": "Color"}])",
         "/connections/0/from: surface \"Card\": no node is named \"Textur\""},
        {"unknown destination", nodes + R"([{"from": "Texture", "output": "Colour", "to": "Surfaces", "input": "Color"}])",
         "/connections/0/to: surface \"Card\": no node is named \"Surfaces\""},
        {"unknown output", nodes + R"([{"from": "Texture", "output": "Color", "to": "Surface", "input": "Color"}])",
         "/connections/0/output: surface \"Card\", node \"Texture\": no output \"Color\" "
         "(outputs: Colour, RGB, Alpha, Normal, Bump)"},
        {"unknown input", nodes + R"([{"from": "Texture", "output": "Colour", "to": "Surface", "input": "Colour"}])",
         "/connections/0/input: surface \"Card\", node \"Surface\": no input \"Colour\" (inputs: Color, Luminosity, "
         "Diffuse, Specular, Glossiness, Reflection, Transparency, Normal, Bump)"},
        {"type mismatch", nodes + R"([{"from": "Texture", "output": "Normal", "to": "Surface", "input": "Color"}])",
         "/connections/0: surface \"Card\": type mismatch: output \"Normal\" of node \"Texture\" gives a vector, "
         "input \"Color\" of node \"Surface\" takes a colour"},
        {"an input connected twice", nodes + R"([{"from": "S", "output": "Scalar", "to": "Surface", "input": "Diffuse"},
            {"from": "Texture", "output": "Alpha", "to": "Surface", "input": "Diffuse"}])",
         "/connections/1: surface \"Card\", node \"Surface\": input \"Diffuse\" is already connected to output "
         "\"Scalar\" of node \"S\""},
        {"a cycle", nodes + R"([{"from": "M1", "output": "Result", "to": "M2", "input": "A"},
            {"from": "M2", "output": "Result", "to": "M1", "input": "B"}])",
         "/connections/1: surface \"Card\": "},
        {"a node feeding itself", nodes + R"([{"from": "M1", "output": "Result", "to": "M1", "input": "A"}])",
         "/connections/0: surface \"Card\": "},
    };
    for (const BrokenGraph& c : cases) {
        const std::string path = write(c.surface);
        std::string message = "(loaded)";
        try {
            SceneFile scene = korvalith::app::loadScene(host, path);
        } catch (const SceneError& e) {
            message = e.what();
        }
        const std::string prefix = path + ": /objects/0/surface";
        ASSERT_EQ(message.rfind(prefix, 0), 0u) << c.name << ": " << message;
        // A message that ends in the host's or the plug-in's reason is
        // checked up to it, and that a reason follows.
        if (c.message.back() == ' ') {
            EXPECT_EQ(message.substr(prefix.size(), c.message.size()), c.message) << c.name;
            EXPECT_GT(message.size(), prefix.size() + c.message.size()) << c.name << ": no reason";
        } else {
            EXPECT_EQ(message.substr(prefix.size()), c.message) << c.name;
        }
        EXPECT_EQ(core->imageCount(), 0) << c.name << ": a node was left alive";
        if (const hostsim::NodeGraph* graph = host.nodeEditor().find("Card")) {
            EXPECT_EQ(graph->nodes().size(), 1u) << c.name << ": nodes were left behind";
        }
    }
}

TEST_F(SceneNodesTest, TwoObjectsCannotGiveNodesToOneSurfaceName) {
    const std::string path = root + "/scenes/twice.json";
    ASSERT_TRUE(hostsim::writeWholeFile(path, R"({"camera": {"name": "C"}, "objects": [
        {"name": "A", "shape": "box", "surface": {"name": "Paint", "nodes": [{"type": "Color"}]}},
        {"name": "B", "shape": "box", "surface": {"name": "Paint", "nodes": []}}]})"));
    try {
        SceneFile scene = korvalith::app::loadScene(host, path);
        FAIL() << "the scene loaded";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()),
                  path + ": /objects/1/surface: surface \"Paint\": another object's surface of that name has nodes already");
    }
    EXPECT_EQ(host.nodeEditor().find("Paint")->nodes().size(), 1u);
}

}  // namespace
