// The host's textures ("Texture Functions 3") as a plug-in sees them:
// contexts, textures, layers and their settings, channel groups, the time
// callbacks of contexts, load and save.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "animation.h"
#include "file_io.h"
#include "host.h"
#include "lwserver.h"
#include "lwtxtr.h"
#include "scene.h"
#include "textures.h"

namespace {

using hostsim::LayerSettings;
using hostsim::LoadState;
using hostsim::SaveState;

class TexturesTest : public ::testing::Test {
protected:
    template <typename T>
    static const T* service(const char* name) {
        return static_cast<const T*>(hostsim::Host::lookupFunction()(name, GFUSE_TRANSIENT));
    }
    std::vector<int> types(LWTextureID t) {
        std::vector<int> out;
        for (LWTLayerID l = tx->firstLayer(t); l; l = tx->nextLayer(t, l)) out.push_back(tx->layerType(l));
        return out;
    }
    std::vector<LayerSettings> settingsOf(LWTextureID t) {
        std::vector<LayerSettings> out;
        for (LWTLayerID l = tx->firstLayer(t); l; l = tx->nextLayer(t, l)) out.push_back(textures.settings(l));
        return out;
    }

    hostsim::Host host;
    hostsim::Textures& textures = host.textures();
    hostsim::Animation& anim = host.animation();
    const LWTextureFuncs* tx = service<LWTextureFuncs>(LWTEXTUREFUNCS_GLOBAL);
};

// ---------------------------------------------------------------- textures and layers

TEST_F(TexturesTest, TexturesHoldLayersInOrderAndWhatCreateWasGiven) {
    ASSERT_NE(tx, nullptr);
    int surface = 0;
    LWTextureID t = tx->create(TRT_COLOR, "Color", nullptr, &surface);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(tx->name(t), "Color");
    EXPECT_EQ(tx->type(t), TRT_COLOR);
    EXPECT_EQ(tx->userData(t), &surface);
    EXPECT_EQ(tx->context(t), nullptr);
    EXPECT_EQ(tx->envGroup(t), nullptr);
    EXPECT_EQ(tx->firstLayer(t), nullptr);

    LWTLayerID image = tx->layerAdd(t, TLT_IMAGE);
    LWTLayerID proc = tx->layerAdd(t, TLT_PROC);
    LWTLayerID grad = tx->layerAdd(t, TLT_GRAD);
    EXPECT_EQ(tx->firstLayer(t), image);
    EXPECT_EQ(tx->nextLayer(t, image), proc);
    EXPECT_EQ(tx->nextLayer(t, proc), grad);
    EXPECT_EQ(tx->nextLayer(t, grad), nullptr);
    EXPECT_EQ(tx->lastLayer(t), grad);
    EXPECT_EQ(tx->texture(proc), t);
    EXPECT_EQ(tx->layerType(grad), TLT_GRAD);

    tx->layerSetType(image, TLT_PROC);
    EXPECT_EQ(tx->layerType(image), TLT_PROC);
    tx->layerSetType(image, 9);  // ignored
    EXPECT_EQ(tx->layerType(image), TLT_PROC);
    EXPECT_EQ(tx->layerAdd(t, 3), nullptr);
    EXPECT_EQ(tx->lastLayer(t), grad);

    // A layer of another texture has no next layer in this one.
    LWTextureID other = tx->create(TRT_SCALAR, nullptr, nullptr, nullptr);
    EXPECT_STREQ(tx->name(other), "");
    EXPECT_EQ(tx->nextLayer(other, image), nullptr);
    for (int bad : {TRT_DISPLACEMENT + 1, -1}) EXPECT_EQ(tx->create(bad, "Bad", nullptr, nullptr), nullptr);
    EXPECT_EQ(tx->create(TRT_SCALAR, "Lost", reinterpret_cast<LWTxtrContextID>(t), nullptr), nullptr);
}

TEST_F(TexturesTest, CopyingReplacesLayersAndDestroyingRetiresEveryId) {
    LWTextureID from = tx->create(TRT_PERCENT, "From", nullptr, nullptr);
    tx->layerAdd(from, TLT_GRAD);
    LWTLayerID image = tx->layerAdd(from, TLT_IMAGE);
    double opacity = 0.3;
    int projection = TXPRJ_CUBIC;
    tx->setParam(image, TXTAG_OPAC, &opacity);
    tx->setParam(image, TXTAG_PROJ, &projection);
    int user = 0;
    LWTextureID to = tx->create(TRT_COLOR, "To", nullptr, &user);
    LWTLayerID old = tx->layerAdd(to, TLT_PROC);

    tx->copy(to, from);
    EXPECT_EQ(types(to), (std::vector<int>{TLT_GRAD, TLT_IMAGE}));
    EXPECT_EQ(settingsOf(to), settingsOf(from));
    EXPECT_EQ(tx->texture(tx->firstLayer(to)), to);
    EXPECT_EQ(tx->layerType(old), -1);
    EXPECT_STREQ(tx->name(to), "To");
    EXPECT_EQ(tx->type(to), TRT_COLOR);
    EXPECT_EQ(tx->userData(to), &user);
    EXPECT_NE(tx->firstLayer(to), tx->firstLayer(from));

    tx->copy(from, from);  // nothing
    EXPECT_EQ(types(from), (std::vector<int>{TLT_GRAD, TLT_IMAGE}));

    LWTLayerID layer = tx->firstLayer(from);
    tx->destroy(from);
    EXPECT_EQ(tx->name(from), nullptr);
    EXPECT_EQ(tx->type(from), -1);
    EXPECT_EQ(tx->texture(layer), nullptr);
    EXPECT_EQ(tx->layerAdd(from, TLT_IMAGE), nullptr);
    tx->copy(to, from);  // from is gone: to keeps its layers
    EXPECT_EQ(types(to).size(), 2u);
    tx->destroy(from);
    EXPECT_EQ(textures.textures(), std::vector<LWTextureID>{to});
}

TEST_F(TexturesTest, LayersGetChannelGroupsOfTheirOwnUnderTheTexturesGroup) {
    const int before = anim.liveGroups();
    LWTextureID t = tx->create(TRT_COLOR, "Color", nullptr, nullptr);
    // Without a group of the texture's, a layer's group is a top-level one.
    LWTLayerID loose = tx->layerAdd(t, TLT_PROC);
    EXPECT_EQ(anim.groupPath(tx->layerEnvGroup(loose)), "Layer1");

    LWChanGroupID surface = anim.createGroup(nullptr, "Surface");
    tx->setEnvGroup(t, surface);
    EXPECT_EQ(tx->envGroup(t), surface);
    LWTLayerID second = tx->layerAdd(t, TLT_IMAGE);
    EXPECT_EQ(anim.groupPath(tx->layerEnvGroup(second)), "Surface/Layer2");
    EXPECT_EQ(anim.groupPath(tx->layerEnvGroup(loose)), "Layer1");  // existing layers keep theirs
    EXPECT_EQ(tx->layerEnvGroup(second), textures.layerGroup(second));

    // A copy gives the target fresh groups and destroys those of its old layers.
    LWTextureID copy = tx->create(TRT_COLOR, "Copy", nullptr, nullptr);
    LWChanGroupID copyGroup = anim.createGroup(nullptr, "CopyGroup");
    tx->setEnvGroup(copy, copyGroup);
    tx->layerAdd(copy, TLT_GRAD);
    const int withCopy = anim.liveGroups();
    tx->copy(copy, t);
    EXPECT_EQ(anim.liveGroups(), withCopy + 1);
    EXPECT_EQ(anim.childGroupNames(copyGroup), (std::vector<std::string>{"Layer1", "Layer2"}));

    // A group that has died gives new layers none.
    LWChanGroupID elsewhere = anim.createGroup(nullptr, "Elsewhere");
    tx->setEnvGroup(t, elsewhere);
    anim.destroyGroup(elsewhere);
    LWTLayerID orphan = tx->layerAdd(t, TLT_GRAD);
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(tx->layerEnvGroup(orphan), nullptr);

    // The layers' groups go with their texture; the groups given stay.
    tx->destroy(t);
    tx->destroy(copy);
    EXPECT_EQ(anim.childGroupNames(surface), std::vector<std::string>{});
    EXPECT_EQ(anim.childGroupNames(copyGroup), std::vector<std::string>{});
    anim.destroyGroup(surface);
    anim.destroyGroup(copyGroup);
    EXPECT_EQ(anim.liveGroups(), before);
}

// ---------------------------------------------------------------- contexts

struct TimeCall {
    void* userData;
    std::string name;
    int index;
    LWTime time;
    LWFrame frame;
};
std::vector<TimeCall> g_times;
std::vector<std::pair<int, gParamData>> g_cleanups;

gParamData paramTime(void* userData, LWTxtrParamDesc* param, int index, LWTime t, LWFrame f) {
    g_times.push_back({userData, param->name, index, t, f});
    return reinterpret_cast<gParamData>(static_cast<intptr_t>(index * 100 + f));
}
void paramCleanup(LWTxtrParamDesc*, int index, gParamData data) { g_cleanups.emplace_back(index, data); }
double paramEvaluate(LWTxtrParamDesc*, int, LWMicropol*, gParamData) { return 0.0; }

gParamData data(int value) { return reinterpret_cast<gParamData>(static_cast<intptr_t>(value)); }

TEST_F(TexturesTest, ContextsKeepTheirParametersAndFeedTimeAndCleanup) {
    g_times.clear();
    g_cleanups.clear();
    const LWItemID ball = host.scene().addObject("Ball");
    LWTxtrContextID gc = tx->contextCreate({paramEvaluate, paramTime, paramCleanup});
    ASSERT_NE(gc, nullptr);
    // The descriptor's texts are copied: the caller's buffers may change.
    char name[] = "Distance", item[] = "Ball";
    tx->contextAddParam(gc, {name, 0, 10, LWIPT_DISTANCE, LWGF_FIXED_MIN, LWGI_OBJECT, ball, item});
    name[0] = 'X';
    char angle[] = "Angle";
    tx->contextAddParam(gc, {angle, -1, 1, LWIPT_ANGLE, 0, LWGI_NONE, nullptr, nullptr});
    const auto params = textures.contextParams(gc);
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].name, "Distance");
    EXPECT_EQ(params[0].itemName, "Ball");
    EXPECT_EQ(params[0].itemID, ball);
    EXPECT_EQ(params[0].flags, LWGF_FIXED_MIN);
    EXPECT_EQ(params[1].type, LWIPT_ANGLE);
    EXPECT_EQ(params[1].itemName, "");

    int user = 0;
    LWTextureID t = tx->create(TRT_SCALAR, "T", gc, &user);
    EXPECT_EQ(tx->context(t), gc);
    tx->newtime(t, 0.5, 15);
    ASSERT_EQ(g_times.size(), 2u);
    EXPECT_EQ(g_times[0].userData, &user);
    EXPECT_EQ(g_times[0].name, "Distance");
    EXPECT_EQ(g_times[0].index, 1);
    EXPECT_EQ(g_times[1].index, 2);
    EXPECT_EQ(g_times[1].time, 0.5);
    EXPECT_EQ(g_times[1].frame, 15);
    EXPECT_EQ(textures.timeData(t), (std::vector<gParamData>{data(115), data(215)}));
    EXPECT_TRUE(g_cleanups.empty());

    // A new time cleans up what the last one made.
    tx->newtime(t, 0.6, 16);
    EXPECT_EQ(g_cleanups, (std::vector<std::pair<int, gParamData>>{{1, data(115)}, {2, data(215)}}));
    g_cleanups.clear();
    tx->cleanup(t);
    EXPECT_EQ(g_cleanups, (std::vector<std::pair<int, gParamData>>{{1, data(116)}, {2, data(216)}}));
    EXPECT_TRUE(textures.timeData(t).empty());
    g_cleanups.clear();
    tx->cleanup(t);  // nothing left
    EXPECT_TRUE(g_cleanups.empty());

    // The context outlives its textures; destroying one cleans up after it.
    tx->newtime(t, 1, 30);
    tx->contextDestroy(gc);
    EXPECT_TRUE(textures.isContext(gc));
    tx->destroy(t);
    EXPECT_EQ(g_cleanups.size(), 2u);
    tx->contextDestroy(gc);
    EXPECT_FALSE(textures.isContext(gc));
    EXPECT_EQ(tx->create(TRT_SCALAR, "T", gc, nullptr), nullptr);

    // A texture without a context has nobody to ask.
    g_times.clear();
    LWTextureID plain = tx->create(TRT_SCALAR, "Plain", nullptr, nullptr);
    tx->newtime(plain, 0, 0);
    tx->cleanup(plain);
    EXPECT_TRUE(g_times.empty());
}

// ---------------------------------------------------------------- settings

TEST_F(TexturesTest, LayerSettingsAreReadAndWrittenByTag) {
    LWTextureID t = tx->create(TRT_COLOR, "T", nullptr, nullptr);
    LWTLayerID l = tx->layerAdd(t, TLT_IMAGE);
    EXPECT_EQ(textures.settings(l), LayerSettings{.type = TLT_IMAGE});

    const double position[3] = {1, -2, 3.5}, rotation[3] = {0.1, 0.2, 0.3}, size[3] = {4, 5, 6},
                 falloff[3] = {0, 0.5, 1};
    const LWItemID ball = host.scene().addObject("Ball");
    int image = 0, vmap = 0;
    LWImageID imageId = &image;
    void* vmapId = &vmap;
    const struct {
        int tag;
        std::vector<double> numbers;  // triples and doubles
        int integer = 0;
        const void* pointer = nullptr;  // what data points to for handles
    } cases[] = {
        {TXTAG_POSI, {position[0], position[1], position[2]}},
        {TXTAG_ROTA, {rotation[0], rotation[1], rotation[2]}},
        {TXTAG_SIZE, {size[0], size[1], size[2]}},
        {TXTAG_FALL, {falloff[0], falloff[1], falloff[2]}},
        {TXTAG_PROJ, {}, TXPRJ_SPHERICAL},
        {TXTAG_AXIS, {}, 0},
        {TXTAG_WWRP, {2.5}},
        {TXTAG_HWRP, {0.5}},
        {TXTAG_COORD, {}, 1},
        {TXTAG_IMAGE, {}, 0, &imageId},
        {TXTAG_VMAP, {}, 0, &vmapId},
        {TXTAG_ROBJ, {}, 0, &ball},
        {TXTAG_OPAC, {0.75}},
        {TXTAG_AA, {}, 0},
        {TXTAG_AAVAL, {0.1}},
        {TXTAG_PIXBLEND, {}, 0},
        {TXTAG_WREPEAT, {}, TXRPT_MIRROR},
        {TXTAG_HREPEAT, {}, TXRPT_EDGE},
        {TXTAG_ACTIVE, {}, 0},
        {TXTAG_INVERT, {}, 1},
        {TXTAG_BLEND, {}, TXBLN_ADD},
        {TXTAG_INPUT, {}, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        if (c.pointer) {
            EXPECT_EQ(tx->setParam(l, c.tag, const_cast<void*>(c.pointer)), 1);
            void* got = nullptr;
            EXPECT_EQ(tx->getParam(l, c.tag, &got), 1);
            EXPECT_EQ(got, *static_cast<void* const*>(c.pointer));
        } else if (!c.numbers.empty()) {
            std::vector<double> in = c.numbers;
            EXPECT_EQ(tx->setParam(l, c.tag, in.data()), 1);
            std::vector<double> out(in.size(), -1);
            EXPECT_EQ(tx->getParam(l, c.tag, out.data()), 1);
            EXPECT_EQ(out, c.numbers);
        } else {
            int in = c.integer, out = -1;
            EXPECT_EQ(tx->setParam(l, c.tag, &in), 1);
            EXPECT_EQ(tx->getParam(l, c.tag, &out), 1);
            EXPECT_EQ(out, c.integer);
        }
    }
    const LayerSettings set = textures.settings(l);
    EXPECT_EQ(set.referenceObject, ball);
    EXPECT_EQ(set.projection, TXPRJ_SPHERICAL);

    // Switches store 0 or 1.
    int five = 5, out = -1;
    EXPECT_EQ(tx->setParam(l, TXTAG_INVERT, &five), 1);
    tx->getParam(l, TXTAG_INVERT, &out);
    EXPECT_EQ(out, 1);

    // Values outside a tag's range, tags this host does not keep, null data
    // and ids that are no layer change nothing and answer 0.
    const double infinite[3] = {1, INFINITY, 0};
    const double notANumber = NAN;
    const int zero = 0, minusOne = -1, three = 3, four = 4, six = 6, eight = 8, sixteen = 16;
    const struct {
        int tag;
        const void* data;
    } refused[] = {
        {TXTAG_PROJ, &six},      {TXTAG_PROJ, &minusOne}, {TXTAG_AXIS, &three},     {TXTAG_WREPEAT, &four},
        {TXTAG_BLEND, &eight},   {TXTAG_INPUT, &sixteen}, {TXTAG_INPUT, &minusOne}, {TXTAG_POSI, infinite},
        {TXTAG_OPAC, &notANumber}, {TXTAG_AUVN, "Anim UV"}, {TXTAG_AUVU, "user"},   {TXTAG_AUVC, &four},
        {TXTAG_AUVO, "opts"},    {TXTAG_AUVO + 1, &zero}, {-1, &zero},              {TXTAG_OPAC, nullptr},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(tx->setParam(l, r.tag, const_cast<void*>(r.data)), 0) << r.tag;
        EXPECT_EQ(textures.settings(l), set) << r.tag;
    }
    char buffer[64] = {};
    EXPECT_EQ(tx->getParam(l, TXTAG_AUVN, buffer), 0);
    EXPECT_EQ(tx->getParam(l, TXTAG_OPAC, nullptr), 0);
    double o = -1;
    EXPECT_EQ(tx->getParam(nullptr, TXTAG_OPAC, &o), 0);
    EXPECT_EQ(tx->setParam(reinterpret_cast<LWTLayerID>(t), TXTAG_OPAC, &o), 0);
    EXPECT_EQ(o, -1.0);
}

// ---------------------------------------------------------------- load and save

const LWBlockIdent kOuter{LWID_('T', 'X', 'T', 'R'), "Texture"};
const LWBlockIdent kNext{LWID_('N', 'E', 'X', 'T'), "Next"};
const LWBlockIdent kEndIds{0, nullptr};

class TextureFiles : public TexturesTest, public ::testing::WithParamInterface<int> {
protected:
    // The texture's layers inside a group block of the caller, followed by
    // a sibling block that a reader must still find.
    std::string save(LWTextureID t) {
        SaveState s(GetParam());
        LWSAVE_BEGIN(s.state(), &kOuter, 0);
        tx->save(t, s.state());
        LWSAVE_END(s.state());
        LWSAVE_BEGIN(s.state(), &kNext, 1);
        const int marker = 4242;
        LWSAVE_I4(s.state(), &marker, 1);
        LWSAVE_END(s.state());
        EXPECT_TRUE(s.finish()) << s.error();
        return s.data();
    }
    int load(LWTextureID t, const std::string& data) {
        LoadState l(data, GetParam());
        const LWBlockIdent ids[] = {kOuter, kNext, kEndIds};
        int marker = 0;
        while (LWID id = LWLOAD_FIND(l.state(), ids)) {
            if (id == kOuter.id) tx->load(t, l.state());
            else LWLOAD_I4(l.state(), &marker, 1);
            LWLOAD_END(l.state());
        }
        return marker;
    }
    LWTextureID rich() {
        LWTextureID t = tx->create(TRT_COLOR, "Rich", nullptr, nullptr);
        LWTLayerID a = tx->layerAdd(t, TLT_IMAGE);
        LWTLayerID b = tx->layerAdd(t, TLT_GRAD);
        tx->layerAdd(t, TLT_PROC);
        double position[3] = {1.0 / 3, -2e-300, 1e17}, wrap = 2.25, opacity = 0.125;
        int projection = TXPRJ_CYLINDRICAL, repeat = TXRPT_MIRROR, blend = TXBLN_DIVIDE, input = 7, world = 1;
        LWItemID ball = host.scene().addObject("Ball");
        tx->setParam(a, TXTAG_POSI, position);
        tx->setParam(a, TXTAG_WWRP, &wrap);
        tx->setParam(a, TXTAG_PROJ, &projection);
        tx->setParam(a, TXTAG_HREPEAT, &repeat);
        tx->setParam(a, TXTAG_ROBJ, &ball);
        tx->setParam(b, TXTAG_OPAC, &opacity);
        tx->setParam(b, TXTAG_BLEND, &blend);
        tx->setParam(b, TXTAG_INPUT, &input);
        tx->setParam(b, TXTAG_COORD, &world);
        return t;
    }
};

TEST_P(TextureFiles, LayersRoundTripAndReplaceTheTargetsLayers) {
    LWTextureID original = rich();
    const std::string data = save(original);
    LWTextureID target = tx->create(TRT_SCALAR, "Target", nullptr, nullptr);
    LWTLayerID old = tx->layerAdd(target, TLT_PROC);
    EXPECT_EQ(load(target, data), 4242) << "the caller's next block was not found";
    EXPECT_EQ(settingsOf(target), settingsOf(original));
    EXPECT_EQ(tx->layerType(old), -1);
    EXPECT_STREQ(tx->name(target), "Target");

    // Image and vertex map handles are not saved; the reference object is
    // found by its name.
    int image = 0;
    LWImageID imageId = &image;
    tx->setParam(tx->firstLayer(original), TXTAG_IMAGE, &imageId);
    const std::string withImage = save(original);
    host.scene().rename(host.scene().items(LWI_OBJECT).front(), "Other");
    load(target, withImage);
    const LayerSettings first = textures.settings(tx->firstLayer(target));
    EXPECT_EQ(first.image, nullptr);
    EXPECT_EQ(first.referenceObject, nullptr);
    EXPECT_EQ(first.position, textures.settings(tx->firstLayer(original)).position);

    // An empty texture empties its target.
    load(target, save(tx->create(TRT_SCALAR, "Empty", nullptr, nullptr)));
    EXPECT_EQ(tx->firstLayer(target), nullptr);
}

TEST_P(TextureFiles, CutOffOrUnsoundDataLeavesTheTextureAsItWas) {
    // The layers' blocks alone, so that every cut lands inside them.
    LWTextureID original = rich();
    SaveState s(GetParam());
    tx->save(original, s.state());
    ASSERT_TRUE(s.finish());
    const std::string data = s.data();
    LWTextureID target = tx->create(TRT_SCALAR, "Target", nullptr, nullptr);
    tx->layerAdd(target, TLT_GRAD);
    const std::vector<LayerSettings> untouched = settingsOf(target);
    for (size_t n = 0; n < data.size(); ++n) {
        LoadState l(data.substr(0, n), GetParam());
        ASSERT_NE(textures.load(target, l.state()), nullptr) << "cut at " << n;
        ASSERT_EQ(settingsOf(target), untouched) << "cut at " << n;
    }
    LoadState whole(data, GetParam());
    EXPECT_EQ(textures.load(target, whole.state()), nullptr);
    EXPECT_EQ(settingsOf(target), settingsOf(original));
}

INSTANTIATE_TEST_SUITE_P(BothForms, TextureFiles, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const auto& info) { return info.param == LWIO_BINARY ? "Binary" : "Text"; });

TEST_F(TexturesTest, LayersWithSettingsOutOfRangeAreRefused) {
    const LWBlockIdent count{LWID_('T', 'L', 'C', 'T'), "LayerCount"};
    const LWBlockIdent layer{LWID_('T', 'L', 'A', 'Y'), "TextureLayer"};
    const LWBlockIdent type{LWID_('T', 'L', 'T', 'Y'), "LayerType"};
    const LWBlockIdent placement{LWID_('T', 'L', 'V', 'C'), "Placement"};
    const LWBlockIdent numbers{LWID_('T', 'L', 'N', 'M'), "Numbers"};
    const LWBlockIdent switches{LWID_('T', 'L', 'S', 'W'), "Settings"};
    // One layer, broken in one place per case.
    struct Case {
        const char* what;
        int layers = 1, type = TLT_PROC, projection = TXPRJ_PLANAR, axis = 2, input = 0;
        double opacity = 1;
        bool writeNumbers = true;
    };
    std::vector<Case> cases(8);
    cases[0].what = "sound";
    cases[1].what = "unknown type", cases[1].type = 3;
    cases[2].what = "unknown projection", cases[2].projection = 6;
    cases[3].what = "unknown axis", cases[3].axis = -1;
    cases[4].what = "input out of range", cases[4].input = 16;
    cases[5].what = "opacity not a number", cases[5].opacity = NAN;
    cases[6].what = "no numbers", cases[6].writeNumbers = false;
    cases[7].what = "fewer layers than counted", cases[7].layers = 2;
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        for (const Case& c : cases) {
            SaveState s(mode);
            LWSaveState* w = s.state();
            LWSAVE_BEGIN(w, &count, 1);
            LWSAVE_I4(w, &c.layers, 1);
            LWSAVE_END(w);
            LWSAVE_BEGIN(w, &layer, 0);
            LWSAVE_BEGIN(w, &type, 1);
            LWSAVE_I4(w, &c.type, 1);
            LWSAVE_END(w);
            const double place[12] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0};
            LWSAVE_BEGIN(w, &placement, 1);
            LWSAVE_DP(w, place, 12);
            LWSAVE_END(w);
            if (c.writeNumbers) {
                const double n[4] = {1, 1, c.opacity, 0};
                LWSAVE_BEGIN(w, &numbers, 1);
                LWSAVE_DP(w, n, 4);
                LWSAVE_END(w);
            }
            const int sw[11] = {c.projection, c.axis, 0, 1, 1, 1, 1, 1, 0, 0, c.input};
            LWSAVE_BEGIN(w, &switches, 1);
            LWSAVE_I4(w, sw, 11);
            LWSAVE_END(w);
            LWSAVE_END(w);
            ASSERT_TRUE(s.finish());

            LWTextureID t = tx->create(TRT_SCALAR, "T", nullptr, nullptr);
            tx->layerAdd(t, TLT_IMAGE);
            LoadState l(s.data(), mode);
            const LWError error = textures.load(t, l.state());
            if (&c == &cases[0]) {
                EXPECT_EQ(error, nullptr) << (error ? error : "");
                EXPECT_EQ(types(t), std::vector<int>{TLT_PROC});
            } else {
                EXPECT_NE(error, nullptr) << c.what;
                EXPECT_EQ(types(t), std::vector<int>{TLT_IMAGE}) << c.what;
            }
            tx->destroy(t);
        }
    }
}

// ---------------------------------------------------------------- evaluation

TEST_F(TexturesTest, EvaluationCoversNothingAndLeavesTheValue) {
    LWTextureID t = tx->create(TRT_COLOR, "T", nullptr, nullptr);
    LWTLayerID l = tx->layerAdd(t, TLT_PROC);
    tx->layerAdd(t, TLT_IMAGE);
    LWMicropol mp{};
    double rv[3] = {0.2, 0.4, 0.6};
    EXPECT_EQ(tx->evaluate(t, &mp, rv), 0.0);
    EXPECT_EQ(tx->layerEvaluate(l, &mp, rv), 0.0);
    EXPECT_EQ(std::vector<double>(rv, rv + 3), (std::vector<double>{0.2, 0.4, 0.6}));
}

TEST_F(TexturesTest, EvaluateUVFollowsTheLayersImplicitProjection) {
    LWTextureID t = tx->create(TRT_COLOR, "T", nullptr, nullptr);
    const double pi = std::numbers::pi;
    struct Case {
        const char* what;
        int projection;
        int axis;
        std::array<double, 3> position{0, 0, 0}, rotation{0, 0, 0}, size{1, 1, 1};
        int world = 0;
        double widthWrap = 1;
        std::array<double, 3> at;  // the position handed in (object or world)
        int dominant = -1;         // wAxis and oAxis handed in
        double u, v;
    };
    const Case cases[] = {
        {"planar Z", TXPRJ_PLANAR, 2, {1, 2, 3}, {0, 0, 0}, {2, 2, 2}, 0, 1, {2, 3, 9}, -1, 1.0, 1.0},
        {"planar X uses Z and Y", TXPRJ_PLANAR, 0, {1, 2, 3}, {0, 0, 0}, {2, 2, 2}, 0, 1, {2, 3, 9}, -1, 3.5, 1.0},
        {"planar Y uses X and Z", TXPRJ_PLANAR, 1, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, 1, {0.25, 7, -0.25}, -1, 0.75,
         0.25},
        {"turned by heading", TXPRJ_PLANAR, 2, {0, 0, 0}, {pi / 2, 0, 0}, {1, 1, 1}, 0, 1, {0, 0, 1}, -1, -0.5, 0.5},
        {"world coordinates", TXPRJ_PLANAR, 2, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 1, 1, {0.1, 0.2, 0}, -1, 0.6, 0.7},
        {"cubic takes the dominant axis", TXPRJ_CUBIC, 2, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, 1, {5, 0.1, 0.2}, 0,
         0.7, 0.6},
        {"cubic without one keeps its axis", TXPRJ_CUBIC, 2, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, 1, {0.1, 0.2, 5}, 7,
         0.6, 0.7},
        {"cylindrical Y", TXPRJ_CYLINDRICAL, 1, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, 2, {1, 0.25, 0}, -1, 1.5, 0.75},
        {"spherical Y", TXPRJ_SPHERICAL, 1, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, 1, {0, 1, 1}, -1, 0.5, 0.75},
        {"front has none", TXPRJ_FRONT, 2, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, 1, {0.3, 0.3, 0.3}, -1, 0, 0},
        {"UV has none", TXPRJ_UVMAP, 2, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, 1, {0.3, 0.3, 0.3}, -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LWTLayerID l = tx->layerAdd(t, TLT_IMAGE);
        std::array<double, 3> position = c.position, rotation = c.rotation, size = c.size;
        int projection = c.projection, axis = c.axis, world = c.world;
        double wrap = c.widthWrap;
        tx->setParam(l, TXTAG_POSI, position.data());
        tx->setParam(l, TXTAG_ROTA, rotation.data());
        tx->setParam(l, TXTAG_SIZE, size.data());
        tx->setParam(l, TXTAG_PROJ, &projection);
        tx->setParam(l, TXTAG_AXIS, &axis);
        tx->setParam(l, TXTAG_COORD, &world);
        tx->setParam(l, TXTAG_WWRP, &wrap);
        std::array<double, 3> at = c.at, elsewhere{100, 100, 100};
        double uv[2] = {-9, -9};
        if (c.world) tx->evaluateUV(l, c.dominant, -1, elsewhere.data(), at.data(), uv);
        else tx->evaluateUV(l, -1, c.dominant, at.data(), elsewhere.data(), uv);
        EXPECT_NEAR(uv[0], c.u, 1e-12);
        EXPECT_NEAR(uv[1], c.v, 1e-12);
    }
    double uv[2] = {-9, -9}, p[3] = {0, 0, 0};
    tx->evaluateUV(nullptr, 0, 0, p, p, uv);
    EXPECT_EQ(uv[0], 0.0);
    tx->evaluateUV(tx->firstLayer(t), 0, 0, p, p, nullptr);  // no room: nothing
}

TEST_F(TexturesTest, NoiseIsSmoothRepeatableAndWithinZeroToOne) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> coord(-50, 50);
    double low = 1, high = 0;
    for (int i = 0; i < 20000; ++i) {
        double p[3] = {coord(gen), coord(gen), coord(gen)};
        const double n = tx->noise(p);
        ASSERT_GE(n, 0.0);
        ASSERT_LE(n, 1.0);
        EXPECT_EQ(tx->noise(p), n);
        low = std::min(low, n), high = std::max(high, n);
        double q[3] = {p[0] + 1e-6, p[1], p[2]};
        EXPECT_NEAR(tx->noise(q), n, 1e-4);
    }
    EXPECT_LT(low, 0.2);  // it does vary
    EXPECT_GT(high, 0.8);
    for (double x : {0.0, 3.0, -17.0}) {
        double lattice[3] = {x, 2, -5};
        EXPECT_EQ(tx->noise(lattice), 0.5);
    }
    double lost[3] = {NAN, 0, INFINITY};
    EXPECT_EQ(tx->noise(lost), 0.5);
    double far[3] = {1e300, -1e300, 0.5};
    const double n = tx->noise(far);
    EXPECT_TRUE(n >= 0 && n <= 1);
}

// ---------------------------------------------------------------- null and stale ids

TEST_F(TexturesTest, NullAndStaleIdsAnswerEmptyEverywhere) {
    LWTextureID texture = tx->create(TRT_SCALAR, "T", nullptr, nullptr);
    LWTLayerID layer = tx->layerAdd(texture, TLT_PROC);
    LWTextureID gone = tx->create(TRT_SCALAR, "Gone", nullptr, nullptr);
    tx->destroy(gone);
    const LWItemID object = host.scene().addObject("Object");
    SaveState saved(LWIO_BINARY);
    const LWTextureID ids[] = {nullptr, gone, reinterpret_cast<LWTextureID>(layer),
                               reinterpret_cast<LWTextureID>(object)};
    for (LWTextureID t : ids) {
        EXPECT_EQ(tx->name(t), nullptr);
        EXPECT_EQ(tx->type(t), -1);
        EXPECT_EQ(tx->context(t), nullptr);
        EXPECT_EQ(tx->userData(t), nullptr);
        EXPECT_EQ(tx->envGroup(t), nullptr);
        EXPECT_EQ(tx->firstLayer(t), nullptr);
        EXPECT_EQ(tx->lastLayer(t), nullptr);
        EXPECT_EQ(tx->layerAdd(t, TLT_IMAGE), nullptr);
        double rv = 3;
        EXPECT_EQ(tx->evaluate(t, nullptr, &rv), 0.0);
        tx->setEnvGroup(t, nullptr);
        tx->newtime(t, 0, 0);
        tx->cleanup(t);
        tx->save(t, saved.state());
        tx->copy(t, texture);
        tx->copy(texture, t);
        tx->destroy(t);
    }
    EXPECT_TRUE(saved.finish());
    EXPECT_TRUE(saved.data().empty());
    EXPECT_EQ(tx->firstLayer(texture), layer);  // untouched by all of that
    for (LWTLayerID l : {LWTLayerID{}, reinterpret_cast<LWTLayerID>(texture)}) {
        EXPECT_EQ(tx->layerType(l), -1);
        EXPECT_EQ(tx->layerEnvGroup(l), nullptr);
        EXPECT_EQ(tx->texture(l), nullptr);
        tx->layerSetType(l, TLT_IMAGE);
    }
    // Contexts that are not live.
    tx->contextDestroy(nullptr);
    tx->contextAddParam(reinterpret_cast<LWTxtrContextID>(texture), {});
    EXPECT_TRUE(textures.contextParams(nullptr).empty());
    EXPECT_THROW(textures.settings(nullptr), hostsim::HostError);
}

}  // namespace
