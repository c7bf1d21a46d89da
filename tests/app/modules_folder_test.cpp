// The korvalith command's host loads every module of its modules folder, as
// LightWave loads its plug-ins: a module of another maker built against the
// same interface serves its servers to scene files, and a file that is no
// usable module is reported by name with the reason while the rest load.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "commands.h"
#include "file_io.h"
#include "render.h"
#include "scene_file.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;
using korvalith::app::SceneError;

class ModulesFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = ::testing::TempDir() + "modules-" + test->name();
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const char* module : {"KorvalithPro.so", "KorvalithNode.so"})
            fs::create_symlink(std::string(MODULE_DIR) + "/" + module, folder + "/" + module);
        fs::create_symlink(TINT_MODULE, folder + "/tint.so");
        ASSERT_TRUE(hostsim::writeWholeFile(folder + "/broken.so", "this is no module\n"));
    }

    // A plane facing the camera, its grey surface tinted by the other
    // module's shader.
    std::string scene(const std::string& shaders) {
        const std::string path = folder + "/scene.json";
        EXPECT_TRUE(hostsim::writeWholeFile(path, R"({
  "camera": {"name": "Camera", "position": [0, 0, -3], "fov": 30},
  "objects": [{"name": "Card", "shape": "plane", "width": 4, "depth": 4, "rotation": {"degrees": [0, -90, 0]},
               "surface": {"colour": [0.8, 0.6, 0.4], "shaders": )" + shaders + R"(}}]
})"));
        return path;
    }

    // A 16 × 16 render of the scene with the values of its centre spot.
    void renderCentre(korvalith::app::Session& session, const korvalith::app::SceneFile& loaded,
                      korvalith::app::RenderSummary& summary) {
        korvalith::app::RenderRequest request;
        request.output = folder + "/tinted.png";
        request.width = request.height = 16;
        request.progress = false;
        request.dumpSpot = {8, 8};
        std::ostringstream log;
        summary = korvalith::app::renderFrames(session.host(), korvalith::app::renderPlugins(loaded), request, log);
        ASSERT_TRUE(summary.spot.hit) << log.str();
    }

    std::string folder;
};

TEST_F(ModulesFolderTest, EveryModuleLoadsAndABrokenOneIsReportedByName) {
    std::ostringstream log;
    korvalith::app::Session session(folder, &log);
    ASSERT_EQ(session.failures().size(), 1u);
    EXPECT_EQ(fs::path(session.failures()[0].path).filename(), "broken.so");
    EXPECT_NE(session.failures()[0].reason.find("cannot load module"), std::string::npos) << session.failures()[0].reason;
    EXPECT_NE(log.str().find("module broken.so not loaded"), std::string::npos) << log.str();
    ASSERT_EQ(session.host().modules().size(), 3u);
    // Ours come first, so names both could serve find ours.
    EXPECT_EQ(fs::path(session.host().modules()[0]->path()).filename(), "KorvalithPro.so");
    EXPECT_EQ(fs::path(session.host().modules()[1]->path()).filename(), "KorvalithNode.so");
    EXPECT_NE(session.node(), nullptr);
    EXPECT_NE(session.host().modules()[2]->findServer("ShaderHandler", "Tint"), nullptr);
}

TEST_F(ModulesFolderTest, ASceneUsesAnotherMakersShaderAndSavesItsData) {
    korvalith::app::Session session(folder);
    korvalith::app::SceneFile loaded =
        korvalith::app::loadScene(session.host(), scene(R"([{"server": "Tint", "data": "Tint 0.5 1 0\n"}])"));
    ASSERT_EQ(loaded.shaders.size(), 1u);

    korvalith::app::RenderSummary summary;
    ASSERT_NO_FATAL_FAILURE(renderCentre(session, loaded, summary));
    EXPECT_NEAR(summary.spot.values.colour[0], 0.4, 1e-6);
    EXPECT_NEAR(summary.spot.values.colour[1], 0.6, 1e-6);
    EXPECT_NEAR(summary.spot.values.colour[2], 0.0, 1e-6);

    const auto saved = nlohmann::json::parse(korvalith::app::sceneText(loaded, folder));
    const auto& shader = saved["objects"][0]["surface"]["shaders"][0];
    EXPECT_EQ(shader["server"], "Tint");
    EXPECT_EQ(shader["data"], "Tint 0.5 1 0\n");
}

TEST_F(ModulesFolderTest, ASceneUsesAnotherMakersNodeAndSavesItsData) {
    korvalith::app::Session session(folder);
    korvalith::app::SceneFile loaded = korvalith::app::loadScene(session.host(), scene(R"([],
        "nodes": [{"type": "Color", "name": "Paint", "data": "color 0.8 0.6 0.4"},
                  {"type": "Tint", "name": "Tinted", "data": "Tint 0.5 1 0.25\n"}],
        "connections": [{"from": "Paint", "output": "Color", "to": "Tinted", "input": "Color"},
                        {"from": "Tinted", "output": "Color", "to": "Surface", "input": "Color"}])"));

    korvalith::app::RenderSummary summary;
    ASSERT_NO_FATAL_FAILURE(renderCentre(session, loaded, summary));
    EXPECT_NEAR(summary.spot.values.colour[0], 0.4, 1e-6);
    EXPECT_NEAR(summary.spot.values.colour[1], 0.6, 1e-6);
    EXPECT_NEAR(summary.spot.values.colour[2], 0.1, 1e-6);

    const auto saved = nlohmann::json::parse(korvalith::app::sceneText(loaded, folder));
    const auto& node = saved["objects"][0]["surface"]["nodes"][1];
    EXPECT_EQ(node["type"], "Tint");
    EXPECT_EQ(node["data"], "Tint 0.5 1 0.25\n");
}

TEST_F(ModulesFolderTest, TheListingShowsEveryModulesServersTagsAndTheNodeTypes) {
    std::ostringstream out, log;
    EXPECT_EQ(korvalith::app::runModules(folder, out, log), 0);
    const std::string listing = out.str();
    EXPECT_NE(log.str().find("module broken.so not loaded"), std::string::npos) << log.str();
    for (const char* line : {
             "KorvalithNode  (",
             "  NodeHandler \"KorvalithPro\"\n      0x00000|0x0409 user name: \"Korvalith Pro\"\n",
             "  NodeHandler \"SimpleColourCorrector\"\n      0x00000|0x0409 user name: \"Simple Colour Corrector\"\n",
             " node menu: \"Korvalith Pro/Utilities\"\n",
             "  NodeInterface \"SimpleColourCorrector\"\n",
             "  ShaderHandler \"Tint\"\n",
             "\nnode types: Color, Scalar, Vector, Integer, Mix, Math, KorvalithPro, SimpleColourCorrector, Tint\n",
         })
        EXPECT_NE(listing.find(line), std::string::npos) << line << " not in\n" << listing;
    // Ours are listed first, in the order they load.
    EXPECT_LT(listing.find("KorvalithPro  ("), listing.find("KorvalithNode  ("));
    EXPECT_LT(listing.find("KorvalithNode  ("), listing.find("tint  ("));
}

TEST_F(ModulesFolderTest, AShaderServerNoModuleServesIsRefusedWithItsPlace) {
    korvalith::app::Session session(folder);
    try {
        korvalith::app::loadScene(session.host(), scene(R"([{"server": "Tint"}, {"server": "Nope"}])"));
        FAIL() << "the scene loaded";
    } catch (const SceneError& e) {
        EXPECT_NE(std::string(e.what()).find("/objects/0/surface/shaders/1/server: no shader server \"Nope\" is loaded"),
                  std::string::npos)
            << e.what();
    }
}

}  // namespace
