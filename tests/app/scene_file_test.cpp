// JSON scene files loaded into the stand-in host with the built
// KorvalithPro module: what the host holds afterwards, what saving writes,
// and the messages for scenes that cannot be loaded.
#include "scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "core_services.h"
#include "file_io.h"
#include "geometry.h"
#include "jp2_fixture.h"
#include "lwrender.h"
#include "lwserver.h"
#include "lwtexture.h"
#include "scene.h"
#include "service_balance.h"

namespace {

namespace fs = std::filesystem;
using korvalith::app::SceneError;
using korvalith::app::SceneFile;

class SceneFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.loadModule(std::string(MODULE_DIR) + "/KorvalithPro.so");
        core = static_cast<const CoreServices*>(hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        ASSERT_NE(core, nullptr);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        name = std::string(test->test_suite_name()) + "." + test->name();
        for (char& c : name)
            if (c == '/') c = '.';
        root = ::testing::TempDir() + name;
        fs::remove_all(root);
        fs::create_directories(root + "/scenes");
    }
    void TearDown() override {
        hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE);
        EXPECT_EQ(core->imageCount(), 0) << "an instance was left alive";
        unloadAndExpectBalancedServices(host);
    }

    std::string write(const std::string& relative, const std::string& text) {
        const std::string path = root + "/" + relative;
        EXPECT_TRUE(hostsim::writeWholeFile(path, text));
        return path;
    }
    // A small image in the scenes folder, as the scenes name it.
    std::string image(const std::string& file) { return testfiles::writeJp2(name + "/scenes/" + file, 64, 32, 3); }

    hostsim::Host host;
    const CoreServices* core = nullptr;
    std::string name, root;
};

// A hand-written scene using every feature: a camera by field of view with
// a zoom key, a light parented to the camera, a child written before its
// parent, keys, rotations in degrees, every shape, an OBJ file and a
// texture whose short data names an image relative to the scene.
const char* kScene = R"({
  "frames": {"start": 0, "end": 24, "fps": 24},
  "frame": {"width": 320, "height": 200, "pixelAspect": 1.5},
  "camera": {"name": "Camera", "position": [0, 0, -3], "fov": 40,
             "keys": [{"time": 1, "position": [0, 0, -2], "zoom": 4}]},
  "lights": [{"name": "Sun", "position": [-10, 10, -10], "parent": "Camera"}],
  "objects": [
    {"name": "Globe", "shape": "sphere", "radius": 2, "segments": 8, "rings": 4, "parent": "Base",
     "rotation": {"degrees": [90, 0, 0]},
     "keys": [{"time": 0, "position": [0, 0, 0]}, {"time": 1, "position": [2, 0, 0], "scale": [2, 2, 2]}],
     "surface": {"name": "Earth", "colour": [0.5, 0.6, 0.7], "diffuse": 0.9,
                 "texture": {"server": "KorvalithPro", "axis": "z", "center": [0, 1, 0], "size": [2, 2, 2],
                             "rotation": [0.25, 0, 0],
                             "data": "{ KorvalithImage\n{ Image\nFilename \"maps/earth.jp2\"\n}\n{ Projection\nProjectionType 2\n}\n}"}}},
    {"name": "Base", "shape": "box", "width": 3, "height": 0.5, "depth": 3},
    {"name": "Ground", "shape": "plane", "width": 10, "depth": 10},
    {"name": "Post", "shape": "cylinder", "radius": 0.1, "height": 2},
    {"name": "Model", "shape": "obj", "file": "model.obj", "surface": {}}
  ]
})";

const char* kObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

TEST_F(SceneFileTest, LoadingBuildsTheSceneInTheHost) {
    fs::create_directories(root + "/scenes/maps");
    const std::string imagePath = image("maps/earth.jp2");
    write("scenes/model.obj", kObj);
    const std::string path = write("scenes/scene.json", kScene);

    SceneFile scene = korvalith::app::loadScene(host, path);
    hostsim::Scene& s = host.scene();

    const hostsim::SceneSettings settings = s.settings();
    EXPECT_EQ(settings.frameStart, 0);
    EXPECT_EQ(settings.frameEnd, 24);
    EXPECT_EQ(settings.framesPerSecond, 24);
    EXPECT_EQ(settings.frameWidth, 320);
    EXPECT_EQ(settings.frameHeight, 200);
    EXPECT_EQ(settings.pixelAspect, 1.5);

    LWItemID camera = scene.camera.id;
    EXPECT_EQ(s.renderCamera(0), camera);
    EXPECT_NEAR(s.zoomFactor(camera, 0), 1 / std::tan(20 * M_PI / 180), 1e-12);
    EXPECT_EQ(s.zoomFactor(camera, 1), 4);
    EXPECT_EQ(s.zoomFactor(camera, 0.5), (s.zoomFactor(camera, 0) + 4) / 2);  // from the camera's zoom to the key's
    EXPECT_EQ(s.param(camera, LWIP_POSITION, 0)[2], -3);
    EXPECT_EQ(s.param(camera, LWIP_POSITION, 1)[2], -2);

    ASSERT_EQ(scene.lights.size(), 1u);
    EXPECT_EQ(s.parent(scene.lights[0].id), camera);

    ASSERT_EQ(scene.objects.size(), 5u);
    LWItemID globe = scene.objects[0].id, base = scene.objects[1].id;
    EXPECT_STREQ(s.name(globe), "Globe");
    EXPECT_EQ(s.parent(globe), base);
    EXPECT_EQ(s.param(globe, LWIP_POSITION, 0.5)[0], 1);
    EXPECT_EQ(s.param(globe, LWIP_SCALING, 0)[1], 1);
    EXPECT_EQ(s.param(globe, LWIP_SCALING, 1)[1], 2);
    EXPECT_NEAR(s.param(globe, LWIP_ROTATION, 0)[0], M_PI / 2, 1e-12);

    for (const auto& o : scene.objects) EXPECT_NE(host.geometry().mesh(o.id), nullptr) << o.name;
    EXPECT_EQ(host.geometry().mesh(scene.objects[4].id)->triangles.size(), 1u);

    ASSERT_EQ(scene.textures.size(), 1u);
    const korvalith::app::SceneTexture& t = scene.textures[0];
    EXPECT_EQ(t.object, globe);
    EXPECT_EQ(t.axis, 2);
    EXPECT_EQ(t.center, (korvalith::app::Vec3{0, 1, 0}));
    EXPECT_EQ(t.size, (korvalith::app::Vec3{2, 2, 2}));
    EXPECT_EQ(t.rotation, (korvalith::app::Vec3{0.25, 0, 0}));
    ASSERT_NE(t.instance, nullptr);
    ASSERT_NE(t.handler, nullptr);

    const hostsim::Surface* earth = host.geometry().surface(globe);
    ASSERT_NE(earth, nullptr);
    EXPECT_EQ(earth->name, "Earth");
    EXPECT_EQ(earth->colour, (std::array<double, 3>{0.5, 0.6, 0.7}));
    EXPECT_EQ(earth->diffuse, 0.9);
    EXPECT_EQ(earth->colourTexture, t.texture);
    ASSERT_NE(host.geometry().surface(scene.objects[4].id), nullptr);
    EXPECT_EQ(host.geometry().surface(scene.objects[4].id)->name, "Model");

    // The relative name in the data was found beside the scene.
    ASSERT_EQ(core->imageCount(), 1);
    EXPECT_EQ(fs::path(core->imagePath(core->imageAt(0))), fs::path(imagePath).lexically_normal());

    // The texture evaluates the image through the handler the renderer gets.
    ASSERT_EQ(t.handler->rend->init(t.instance, LWINIT_RENDER), nullptr);
    t.handler->rend->newTime(t.instance, 0, 0);
    LWTextureAccess access{};
    access.tPos[0] = 0.1;
    access.tPos[1] = 0.2;
    access.size[0] = access.size[1] = access.size[2] = 2;
    access.axis = t.axis;
    access.flags = LWTXEF_COLOR;
    t.handler->evaluate(t.instance, &access);
    EXPECT_GT(access.txRGBA[3], 0);
    t.handler->rend->cleanup(t.instance);

    korvalith::app::destroyInstances(scene);
    korvalith::app::destroyInstances(scene);  // a second time does nothing
    EXPECT_EQ(core->imageCount(), 0);
}

TEST_F(SceneFileTest, SavingKeepsEverythingAndSavingAgainChangesNothing) {
    fs::create_directories(root + "/scenes/maps");
    image("maps/earth.jp2");
    write("scenes/model.obj", kObj);
    const std::string path = write("scenes/scene.json", kScene);
    fs::create_directories(root + "/out");
    const std::string first = root + "/out/first.json";
    {
        SceneFile scene = korvalith::app::loadScene(host, path);
        korvalith::app::saveScene(scene, first);
    }
    std::string firstText, secondText;
    ASSERT_TRUE(hostsim::readWholeFile(first, firstText));
    {
        SceneFile again = korvalith::app::loadScene(host, first);
        secondText = korvalith::app::sceneText(again, root + "/out");
    }
    EXPECT_EQ(secondText, firstText);

    // What the first save wrote, against what the hand-written scene says.
    const auto j = nlohmann::json::parse(firstText);
    EXPECT_EQ(j["frames"]["end"], 24);
    EXPECT_EQ(j["frame"]["pixelAspect"], 1.5);
    EXPECT_NEAR(j["camera"]["zoom"].get<double>(), 1 / std::tan(20 * M_PI / 180), 1e-12);
    EXPECT_EQ(j["camera"]["keys"][0]["zoom"], 4);
    EXPECT_EQ(j["camera"]["keys"][0]["position"], nlohmann::json::parse("[0, 0, -2]"));
    EXPECT_EQ(j["lights"][0]["parent"], "Camera");
    const auto& globe = j["objects"][0];
    EXPECT_EQ(globe["parent"], "Base");
    EXPECT_NEAR(globe["rotation"][0].get<double>(), M_PI / 2, 1e-12);
    ASSERT_EQ(globe["keys"].size(), 2u);
    EXPECT_EQ(globe["keys"][1]["scale"], nlohmann::json::parse("[2, 2, 2]"));
    EXPECT_FALSE(globe["keys"][0].contains("scale"));
    EXPECT_EQ(globe["segments"], 8);
    EXPECT_EQ(globe["surface"]["texture"]["axis"], "z");
    EXPECT_EQ(globe["surface"]["texture"]["center"], nlohmann::json::parse("[0, 1, 0]"));
    EXPECT_EQ(j["objects"][1]["parent"], nullptr);
    EXPECT_EQ(j["objects"][3]["shape"], "cylinder");
    // File names written relative stay relative, now to the saved file.
    EXPECT_EQ(j["objects"][4]["file"], "../scenes/model.obj");
    const std::string data = globe["surface"]["texture"]["data"];
    EXPECT_NE(data.find("Filename \"../scenes/maps/earth.jp2\"\n"), std::string::npos) << data;
    EXPECT_NE(data.find("ProjectionType 2\n"), std::string::npos) << data;
    EXPECT_NE(data.find("Axis 0\n"), std::string::npos) << data;  // the plug-in's own settings, all written
}

TEST_F(SceneFileTest, AbsoluteNamesStayAbsoluteAndASceneNeedsOnlyACamera) {
    const std::string imagePath = testfiles::writeJp2(name + "/elsewhere.jp2", 16, 16, 1);
    const std::string path = write("scenes/scene.json", R"({"camera": {"name": "C"}, "objects": [
        {"name": "P", "shape": "plane", "surface": {"texture": {"server": "KorvalithPro",
         "data": "{ KorvalithImage\n  { Image\n    Filename \")" + imagePath + R"(\"\n  }\n}\n"}}}]})");
    SceneFile scene = korvalith::app::loadScene(host, path);
    EXPECT_EQ(scene.frameStart, 0);
    EXPECT_EQ(scene.frameEnd, 0);
    EXPECT_EQ(scene.camera.zoom, 3.2);
    EXPECT_EQ(scene.textures[0].axis, 1);
    const auto j = nlohmann::json::parse(korvalith::app::sceneText(scene, root + "/out"));
    const std::string data = j["objects"][0]["surface"]["texture"]["data"];
    EXPECT_NE(data.find("Filename \"" + imagePath + "\"\n"), std::string::npos) << data;
}

struct BadScene {
    const char* name;
    std::string text;
    std::string message;  // after "<path>: " or "<path>:"
};

TEST_F(SceneFileTest, ABadSceneIsRefusedWithTheFilePlaceAndProblem) {
    image("earth.jp2");
    const std::string good = R"({"server": "KorvalithPro", "data": "{ KorvalithImage\n{ Image\nFilename \"earth.jp2\"\n}\n}"})";
    const std::string cam = R"("camera": {"name": "Camera"})";
    const std::vector<BadScene> cases = {
        {"syntax", "{\n  \"camera\": {\n    \"name\": \"C\"\n    \"zoom\": 2\n  }\n}",
         "4:10: syntax error while parsing object - unexpected string literal; expected '}'"},
        {"cut off", "{\"camera\": ", "1:12: syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal"},
        {"top is no object", "[]", " /: expected an object, got an array"},
        {"no camera", "{}", " /: missing required key \"camera\""},
        {"unknown top key", "{" + cam + R"(, "object": []})", " /: unknown key \"object\""},
        {"unknown shape", "{" + cam + R"(, "objects": [{"name": "A", "shape": "plane"}, {"name": "B", "shape": "plane"},
            {"name": "C", "shape": "cone"}]})",
         " /objects/2/shape: unknown shape \"cone\" (plane, sphere, box, cylinder or obj)"},
        {"no shape", "{" + cam + R"(, "objects": [{"name": "A"}]})", " /objects/0: missing required key \"shape\""},
        {"no name", "{" + cam + R"(, "lights": [{}]})", " /lights/0: missing required key \"name\""},
        {"misspelt key", "{" + cam + R"(, "objects": [{"name": "A", "shape": "sphere", "radus": 2}]})",
         " /objects/0: unknown key \"radus\""},
        {"key of another shape", "{" + cam + R"(, "objects": [{"name": "A", "shape": "plane", "radius": 2}]})",
         " /objects/0: unknown key \"radius\""},
        {"number as text", "{" + cam + R"(, "objects": [{"name": "A", "shape": "sphere", "radius": "2"}]})",
         " /objects/0/radius: expected a number, got a string"},
        {"negative size", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "depth": -1}]})",
         " /objects/0/depth: must be greater than 0"},
        {"fractional segments", "{" + cam + R"(, "objects": [{"name": "A", "shape": "sphere", "segments": 2.5}]})",
         " /objects/0/segments: expected a whole number, got 2.5"},
        {"too few rings", "{" + cam + R"(, "objects": [{"name": "A", "shape": "sphere", "rings": 1}]})",
         " /objects/0/rings: must be at least 2"},
        {"short vector", R"({"camera": {"name": "C", "position": [0, 0]}})",
         " /camera/position: expected an array of 3 numbers"},
        {"text in a vector", R"({"camera": {"name": "C", "scale": [1, "1", 1]}})",
         " /camera/scale/1: expected a number, got a string"},
        {"rotation of another form", R"({"camera": {"name": "C", "rotation": {"radians": [0, 0, 0]}}})",
         " /camera/rotation: missing required key \"degrees\""},
        {"zoom and fov", R"({"camera": {"name": "C", "zoom": 2, "fov": 40}})", " /camera: give \"zoom\" or \"fov\", not both"},
        {"fov too wide", R"({"camera": {"name": "C", "fov": 180}})",
         " /camera/fov: a field of view must lie between 0 and 180 degrees"},
        {"key without time", R"({"camera": {"name": "C", "keys": [{"zoom": 2}]}})",
         " /camera/keys/0: missing required key \"time\""},
        {"key without values", "{" + cam + R"(, "lights": [{"name": "L", "keys": [{"time": 1}]}]})",
         " /lights/0/keys/0: a key needs a position, rotation or scale"},
        {"zoom key on a light", "{" + cam + R"(, "lights": [{"name": "L", "keys": [{"time": 1, "zoom": 2}]}]})",
         " /lights/0/keys/0: unknown key \"zoom\""},
        {"keys not a list", R"({"camera": {"name": "C", "keys": {}}})", " /camera/keys: expected an array, got an object"},
        {"frames backwards", "{" + cam + R"(, "frames": {"start": 10, "end": 5}})",
         " /frames/end: the last frame comes before the first"},
        {"no frame width", "{" + cam + R"(, "frame": {"width": 0}})", " /frame/width: must be at least 1"},
        {"same name twice", "{" + cam + R"(, "objects": [{"name": "Camera", "shape": "box"}]})",
         " /objects/0/name: another item is named \"Camera\""},
        {"unknown parent", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "parent": "Nobody"}]})",
         " /objects/0/parent: no item is named \"Nobody\""},
        {"parent cycle", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "parent": "B"},
            {"name": "B", "shape": "box", "parent": "A"}]})",
         " /objects/1/parent: an item cannot be parented to itself or its descendants"},
        {"missing obj", "{" + cam + R"(, "objects": [{"name": "A", "shape": "obj", "file": "gone.obj"}]})",
         " /objects/0/file: no such file \"" + root + "/scenes/gone.obj\""},
        {"surface key typo", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "surface": {"color": [1, 0, 0]}}]})",
         " /objects/0/surface: unknown key \"color\""},
        {"bad axis", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "surface": {"texture":
            {"server": "KorvalithPro", "axis": 1}}}]})",
         " /objects/0/surface/texture/axis: expected \"x\", \"y\" or \"z\", got 1"},
        {"zero texture size", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "surface": {"texture":
            {"server": "KorvalithPro", "size": [1, 0, 1]}}}]})",
         " /objects/0/surface/texture/size/1: a texture size must not be 0"},
        {"data not text", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "surface": {"texture":
            {"server": "KorvalithPro", "data": ["{ KorvalithImage"]}}}]})",
         " /objects/0/surface/texture/data: expected a string, got an array"},
        // The first texture loaded its image before the second failed: its
        // instance must not be left behind.
        {"server not loaded", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "surface": {"texture": )" + good +
                                  R"(}}, {"name": "B", "shape": "box", "surface": {"texture": {"server": "Nope"}}}]})",
         " /objects/1/surface/texture/server: no texture server \"Nope\" is loaded"},
        {"data cut off", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "surface": {"texture":
            {"server": "KorvalithPro", "data": "{ KorvalithImage\n{ Image\n"}}}]})",
         " /objects/0/surface/texture/data: group KorvalithImage on line 1 is not closed"},
        {"image missing", "{" + cam + R"(, "objects": [{"name": "A", "shape": "box", "surface": {"texture":
            {"server": "KorvalithPro", "data": "{ KorvalithImage\n{ Image\nFilename \"gone.jp2\"\n}\n}\n"}}}]})",
         " /objects/0/surface/texture/data: " + root +
             "/scenes/gone.jp2: No such file or directory: Error opening image file. The file either does not exist "
             "or can't be loaded by "
             "Korvalith Pro."},
    };
    for (const BadScene& c : cases) {
        const std::string path = write("scenes/bad.json", c.text);
        std::string message = "(loaded)";
        try {
            SceneFile scene = korvalith::app::loadScene(host, path);
        } catch (const SceneError& e) {
            message = e.what();
        }
        const std::string prefix = path + ":";
        ASSERT_EQ(message.rfind(prefix, 0), 0u) << c.name << ": " << message;
        EXPECT_EQ(message.substr(prefix.size()), c.message) << c.name;
        EXPECT_EQ(core->imageCount(), 0) << c.name << ": an instance was left alive";
    }
}

TEST_F(SceneFileTest, AFileThatCannotBeReadOrWritten) {
    const std::string gone = root + "/scenes/none.json";
    EXPECT_THROW(
        {
            try {
                korvalith::app::loadScene(host, gone);
            } catch (const SceneError& e) {
                EXPECT_EQ(std::string(e.what()), gone + ": cannot be read");
                throw;
            }
        },
        SceneError);
    SceneFile scene = korvalith::app::loadScene(host, write("scenes/s.json", R"({"camera": {"name": "C"}})"));
    EXPECT_THROW(korvalith::app::saveScene(scene, root + "/no/such/folder/out.json"), SceneError);
}

}  // namespace
