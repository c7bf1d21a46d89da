// Feeds the input to the load callback of a KorvalithPro texture instance
// through the stand-in host's File IO: the first byte chooses the form
// (odd: binary, even: text), the rest is the data. The module is loaded
// once; every run creates its instances and destroys them again.
//
// Besides crashes, a run fails when what the instance saves after loading
// does not load back to the same saved bytes, when saved data reads as
// malformed, or when destroying the instances leaves image references or
// host parameters behind.
//
// Started with -write_seeds=DIR, the program writes seed inputs to DIR
// (saved instances in both forms, with and without an image, with other
// settings) and the image they name to DIR-image.jp2, and exits.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "animation.h"
#include "core_services.h"
#include "file_io.h"
#include "fuzz_support.h"
#include "handler_records.h"
#include "host.h"
#include "lwenvel.h"
#include "lwhandler.h"
#include "lwio.h"
#include "lwserver.h"
#include "lwtexture.h"
#include "lwtxtr.h"
#include "lwvparm.h"
#include "scene.h"
#include "seed_image.h"
#include "textures.h"

namespace {

class TextureHost {
public:
    TextureHost() {
        host_.loadModule(std::string(MODULE_DIR) + "/KorvalithPro.so");
        core_ = static_cast<const CoreServices*>(hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_ACQUIRE));
        if (!core_) fuzz::fail("KorvalithPro serves no core services");
        if (records_.activate(host_, "KorvalithPro") != 0) fuzz::fail("the texture handler did not start");
        texture_ = host_.textures().create(TRT_COLOR, "Colour", nullptr, nullptr);
        layer_ = host_.textures().addLayer(texture_, TLT_PROC);
        // Items that saved references may name.
        host_.scene().setRenderCamera(host_.scene().addCamera("Camera"));
        host_.scene().addObject("Ball");
    }
    ~TextureHost() { hostsim::Host::lookupFunction()(KORVALITH_CORE_SERVICES, GFUSE_RELEASE); }

    hostsim::Host& host() { return host_; }
    const CoreServices& core() const { return *core_; }

    LWInstance create() {
        LWError error = nullptr;
        LWInstance instance = handler_.inst->create(handler_.inst->priv, layer_, &error);
        if (!instance) fuzz::fail(std::string("no instance: ") + (error ? error : "no reason"));
        return instance;
    }
    void destroy(LWInstance instance) { handler_.inst->destroy(instance); }
    // Loads and answers whether the host's reader met malformed data.
    bool load(LWInstance instance, const std::string& data, int mode, LWError* error = nullptr) {
        hostsim::LoadState state(data, mode);
        const LWError e = handler_.inst->load(instance, state.state());
        if (error) *error = e;
        return !state.failed();
    }
    std::string save(LWInstance instance, int mode) {
        hostsim::SaveState state(mode);
        if (const LWError error = handler_.inst->save(instance, state.state()))
            fuzz::fail(std::string("save failed: ") + error);
        if (!state.finish()) fuzz::fail("save wrote unsound data: " + state.error());
        return state.data();
    }

private:
    hostsim::Host host_;
    const CoreServices* core_ = nullptr;
    hostsim::TextureHandlerRecords records_;
    const LWTextureHandler& handler_ = records_.local;
    LWTextureID texture_ = nullptr;
    LWTLayerID layer_ = nullptr;
};

TextureHost& world() {
    static TextureHost host;
    return host;
}

std::string shown(const std::string& data, int mode) {
    if (mode == LWIO_ASCII) return data;
    std::string hex;
    for (unsigned char c : data) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", c);
        hex += buf;
    }
    return hex;
}

// Gives the instance's parameters made since `before` values of their own,
// and every third an envelope with a key.
void animate(hostsim::Animation& animation, size_t before) {
    const std::vector<LWVParmID> all = animation.parameters();
    const LWVParmFuncs* vparm = animation.vparmFuncs();
    for (size_t i = before; i < all.size(); ++i) {
        double v[3] = {0.25 * double(i), -1.5, 3.0};
        vparm->setVal(all[i], v);
        if (i % 3) continue;
        vparm->setState(all[i], LWVPSF_ENV);
        LWEnvelopeID envs[3] = {};
        vparm->getEnv(all[i], envs);
        animation.envelopeFuncs()->createKey(envs[0], 2.0, 10.0 + double(i));
    }
}

// Seeds: a default instance, one showing an image, one whose settings were
// loaded from hand-written text, and one with animated parameters, each
// saved in both forms.
void writeSeeds(const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string image = fuzz::writeSeedImage(folder + "-image.jp2");
    TextureHost& w = world();
    struct Seed {
        std::string text;  // loaded into a new instance
        bool animated;
    };
    const Seed seeds[] = {
        {"", false},
        {"{ KorvalithImage\n  { Image\n    Filename \"" + image + "\"\n  }\n  Channel 2\n}\n", false},
        {"Version 1\n{ KorvalithImage\n  { Projection\n    ProjectionType 6\n    WidthTile 2\n    HeightTile 3\n"
         "    WidthWrap 2.5\n    { ReferenceObject\n      Item \"Ball\"\n      ItemID 7\n      ItemType 0\n    }\n"
         "    UVMap \"Texture\"\n  }\n  { SimpleColourCorrection\n    Invert 1\n  }\n}\n{ returnValue\n  1\n}\n", false},
        {"", true},
    };
    int n = 0;
    for (const Seed& seed : seeds) {
        const size_t before = w.host().animation().parameters().size();
        LWInstance instance = w.create();
        if (!w.load(instance, seed.text, LWIO_ASCII)) fuzz::fail("a seed text did not load");
        if (seed.animated) animate(w.host().animation(), before);
        for (int mode : {LWIO_ASCII, LWIO_BINARY}) {
            const std::string data = std::string(1, static_cast<char>(mode)) + w.save(instance, mode);
            const std::string path = folder + "/seed-" + std::to_string(n++);
            if (!hostsim::writeWholeFile(path, data)) fuzz::fail("cannot write " + path);
        }
        w.destroy(instance);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    const std::string flag = "-write_seeds=";
    for (int i = 1; i < *argc; ++i)
        if (std::string arg = (*argv)[i]; arg.rfind(flag, 0) == 0) {
            writeSeeds(arg.substr(flag.size()));
            std::exit(0);
        }
    world();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    TextureHost& w = world();
    const int mode = (data[0] & 1) ? LWIO_BINARY : LWIO_ASCII;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const int parameters = w.host().animation().liveParameters();

    LWInstance first = w.create();
    w.load(first, input, mode);
    const std::string saved = w.save(first, mode);
    LWInstance second = w.create();
    LWError error = nullptr;
    if (!w.load(second, saved, mode, &error)) fuzz::fail("saved data reads as malformed:\n" + shown(saved, mode));
    if (error) fuzz::fail(std::string("saved data loads with the error \"") + error + "\"");
    const std::string again = w.save(second, mode);
    if (again != saved)
        fuzz::fail("saved data loads back differently:\n" + shown(saved, mode) + "\nsaves as\n" + shown(again, mode));
    w.destroy(first);
    w.destroy(second);

    if (w.core().imageCount() != 0) fuzz::fail("destroyed instances left images registered");
    if (w.host().animation().liveParameters() != parameters) fuzz::fail("destroyed instances left parameters alive");
    w.host().messages().clear();
    return 0;
}
