// The texture as the host uses it: creation, flags, description, a spot
// without an image, render initialisation and clean-up, copies. The values
// of spots are texture_evaluation_test's.
#include "lw_host.h"
#include "lw_message.h"
#include "texture_fixture.h"

namespace {

using TextureHandler = TextureFixture;

TEST_F(TextureHandler, FlagsFollowTheTextureTypeAndReturnValue) {
    LWInstance colour = create();
    EXPECT_EQ(handler.flags(colour), 0x8Fu);
    hostsim::ViewPanel* panel = openPanel(colour);
    ASSERT_NE(panel, nullptr);
    SET_INT(panel, 0x912B, 1);  // "Return Value"
    EXPECT_EQ(handler.flags(colour), 0x0Fu);
    destroy(colour);

    LWTextureID scalarTexture = host.scene().createTexture(TRT_SCALAR, "Bump", nullptr, nullptr);
    LWInstance scalar = create(host.scene().addLayer(scalarTexture, TLT_PROC));
    EXPECT_EQ(handler.flags(scalar), 0x0Fu);
    destroy(scalar);
    EXPECT_EQ(handler.flags(nullptr), 0x0Fu);
}

TEST_F(TextureHandler, DescriptionFollowsTheImage) {
    LWInstance instance = create();
    EXPECT_STREQ(handler.inst->descln(instance), "Korvalith Pro 1.0.5a (Win64)");
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(*this, core, panel, image("described.jp2"));
    EXPECT_STREQ(handler.inst->descln(instance), "Korvalith Pro: described.jp2");
    destroy(instance);
}

TEST_F(TextureHandler, NoImageYieldsNothingAndWritesNothing) {
    LWInstance instance = create();
    handler.rend->init(instance, LWINIT_RENDER);
    handler.rend->newTime(instance, 1, 1 / 30.0);
    LWTextureAccess access{};
    access.flags = LWTXEF_COLOR;
    access.txRGBA[0] = 7;
    EXPECT_EQ(handler.evaluate(instance, &access), 0.0);
    EXPECT_EQ(access.txRGBA[0], 7);
    handler.rend->cleanup(instance);
    destroy(instance);
}

TEST_F(TextureHandler, CleanUpAfterARenderGivesCachedDataBackNotAfterAPreview) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(*this, core, panel, image("cleanup.jp2"));
    KorvalithImage* shown = core->imageAt(0);
    for (int mode : {LWINIT_PREVIEW, LWINIT_RENDER}) {
        handler.rend->init(instance, mode);
        handler.rend->newTime(instance, 0, 0.0);
        LWTextureAccess access{};
        access.size[0] = access.size[1] = access.size[2] = 1;
        access.axis = 2;
        access.spotSize = 0.01;
        handler.evaluate(instance, &access);
        EXPECT_GT(core->memoryUsed(shown), 1152u);
        handler.rend->cleanup(instance);
        if (mode == LWINIT_PREVIEW) EXPECT_GT(core->memoryUsed(shown), 1152u);
        else EXPECT_EQ(core->memoryUsed(shown), 1152u);
    }
    destroy(instance);
}

TEST_F(TextureHandler, CopiesHoldTheirOwnReference) {
    LWInstance a = create();
    LWInstance b = create();
    hostsim::ViewPanel* panel = openPanel(a);
    showImage(*this, core, panel, image("copied.jp2"));
    EXPECT_EQ(handler.inst->copy(a, a), nullptr);  // onto itself: nothing
    EXPECT_EQ(handler.inst->copy(b, a), nullptr);
    EXPECT_STREQ(handler.inst->descln(b), "Korvalith Pro: copied.jp2");
    destroy(a);
    EXPECT_EQ(core->imageCount(), 1);  // the copy still holds it
    destroy(b);
    EXPECT_EQ(core->imageCount(), 0);
}

TEST_F(TextureHandler, DestroyGivesEveryHostObjectBack) {
    const int groups = host.animation().liveGroups();
    const int parameters = host.animation().liveParameters();
    LWInstance instance = create();
    EXPECT_GT(host.animation().liveParameters(), parameters);
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    destroy(instance);
    EXPECT_EQ(host.animation().liveGroups(), groups);
    EXPECT_EQ(host.animation().liveParameters(), parameters);
}

TEST_F(TextureHandler, LayersInOneGroupGetNumberedChannelGroups) {
    LWInstance a = create(), b = create(), c = create();
    LWChanGroupID parent = host.scene().layerGroup(layer);
    EXPECT_EQ(host.animation().childGroupNames(parent),
              (std::vector<std::string>{"KorvalithPro", "KorvalithPro(0)", "KorvalithPro(1)"}));
    for (LWInstance i : {a, b, c}) destroy(i);
}

TEST_F(TextureHandler, AMissingServiceRefusesTheInstanceWithAMessage) {
    host.unregisterService("Channel Info 2");
    LWError error = nullptr;
    EXPECT_EQ(handler.inst->create(handler.inst->priv, layer, &error), nullptr);
    const auto messages = host.messages().messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().title, "Error opening Global");
    EXPECT_EQ(messages.back().lines, std::vector<std::string>{"Channel Info 2"});
}

TEST_F(TextureHandler, ModelerGetsNoItemFunctions) {
    host.setApplication(hostsim::AppType::Modeler);
    LWTextureHandler modeler{};
    ASSERT_EQ(host.activate(LWTEXTURE_HCLASS, "KorvalithPro", LWTEXTURE_VERSION, &modeler), 0);
    EXPECT_EQ(modeler.item, nullptr);
    EXPECT_NE(handler.item, nullptr);
    EXPECT_EQ(host.activate(LWTEXTURE_HCLASS, "KorvalithPro", 4, &modeler), LWAFUNC_BADVERSION);
    LWInterface ui{};
    EXPECT_EQ(host.activate(LWTEXTURE_ICLASS, "KorvalithPro", 5, &ui), LWAFUNC_BADVERSION);
}

}  // namespace
