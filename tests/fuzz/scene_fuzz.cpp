// Loads the input as a JSON scene file into a fresh stand-in host with
// both plug-in modules, and when it loads, saves it and loads the saved
// text into another fresh host: the second save must equal the first.
// The scene's folder holds an image and an OBJ mesh that scenes may name
// ("image.jp2", "planet.jp2", "model.obj").
#include <dlfcn.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "file_io.h"
#include "fuzz_support.h"
#include "scene_file.h"
#include "seed_image.h"
#include "session.h"

namespace app = korvalith::app;

namespace {

// Loads the scene at path into a new host and returns its saved text, or
// nothing when the file is refused.
bool loadAndSave(const std::string& path, std::string& saved) {
    app::Session session(MODULE_DIR);
    try {
        app::SceneFile scene = app::loadScene(session.host(), path);
        saved = app::sceneText(scene, fuzz::scratchFolder());
        return true;
    } catch (const app::SceneError&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Hosts come and go with every run; the modules stay mapped, so the
    // coverage counters in them stay valid.
    for (const char* name : {"/KorvalithPro.so", "/KorvalithNode.so"})
        if (!dlopen((std::string(MODULE_DIR) + name).c_str(), RTLD_NOW | RTLD_NODELETE))
            fuzz::fail(std::string("cannot load ") + name + ": " + dlerror());
    const std::string folder = fuzz::scratchFolder();
    fuzz::writeSeedImage(folder + "/image.jp2");
    std::filesystem::create_symlink(std::string(KORVALITH_SOURCE_DIR) + "/examples/planet.jp2", folder + "/planet.jp2");
    if (!hostsim::writeWholeFile(folder + "/model.obj",
                                 "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n"))
        fuzz::fail("cannot write model.obj");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::writeScratch("scene.json", data, size);
    std::string saved;
    if (!loadAndSave(path, saved)) return 0;
    const std::string savedPath =
        fuzz::writeScratch("saved.json", reinterpret_cast<const uint8_t*>(saved.data()), saved.size());
    std::string again;
    try {
        if (!loadAndSave(savedPath, again)) fuzz::fail("a saved scene is refused:\n" + saved);
    } catch (const app::SceneError& e) {
        fuzz::fail(std::string("a saved scene is refused: ") + e.what() + "\n" + saved);
    }
    if (again != saved) fuzz::fail("a saved scene loads back differently:\n" + saved + "\nsaves as\n" + again);
    return 0;
}
