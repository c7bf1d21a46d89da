// The texture as the host uses it: creation, flags, description, a spot
// without an image, the items it uses, what a user sets in the panel and
// Modeler's spots, render initialisation and clean-up, copies. The values of
// spots in general are texture_evaluation_test's.
#include <algorithm>
#include <cmath>
#include <vector>

#include "lwhost.h"
#include "lwserver.h"
#include "lwtexture.h"
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

    LWTextureID scalarTexture = host.textures().create(TRT_SCALAR, "Bump", nullptr, nullptr);
    LWInstance scalar = create(host.textures().addLayer(scalarTexture, TLT_PROC));
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
    LWChanGroupID parent = host.textures().layerGroup(layer);
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

// The scalar value of a plain request, and what the sampler gives at the
// expected (u, v) and image footprint.
double scalarAt(const LWTextureHandler& h, LWInstance instance, const double tPos[3], const double wPos[3],
                double spotSize) {
    LWTextureAccess access{};
    for (int i = 0; i < 3; ++i) {
        access.tPos[i] = tPos[i];
        access.wPos[i] = wPos[i];
        access.size[i] = 1;
    }
    access.axis = 2;
    access.spotSize = spotSize;
    return h.evaluate(instance, &access);
}
double sampled(const CoreServices* core, KorvalithImage* image, double u, double v, double footprint, double blend) {
    const double uv[2] = {u, v};
    float rgba[4] = {0, 0, 0, 0}, value = 0;
    const float coverage = core->sampleImage(image, uv, footprint, blend, 0, rgba, &value, 1, 1);
    return static_cast<double>(value) * coverage;
}

TEST_F(TextureHandler, TilesAndOffsetsSetInThePanelReachTheRender) {
    host.scene().setFrameSize(640, 480);
    host.scene().setPosition(camera, {0, 0, -4});
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(*this, core, panel, image("offsets.jp2", 256, 256, 1, testfiles::noisePattern(1)));
    KorvalithImage* shown = core->imageAt(0);
    ASSERT_TRUE(panel->setFloat(0x913B, 2.0));     // "U Tiles"
    ASSERT_TRUE(panel->setFloat(0x913F, 0.25));    // "U Offset"
    ASSERT_TRUE(panel->setFloat(0x913E, -0.125));  // "V Offset"
    ASSERT_EQ(handler.rend->init(instance, LWINIT_RENDER), nullptr);
    ASSERT_EQ(handler.rend->newTime(instance, 0, 0.0), nullptr);

    const auto fov = host.scene().fovAngles(camera, 0);
    const double pixelAngle = std::max(std::tan(fov[1] / 480), std::tan(fov[0] / 640));
    const double tPos[3] = {0.1, -0.2, 0}, wPos[3] = {0, 0, 4};
    // Planar on Z: u = (x + 0.5)·2 + 0.25, v = (0.5 − y) − 0.125; the u
    // footprint scale halves with two tiles.
    const double footprint = (0.5 + 1.0) * 0.5 * 8 * pixelAngle;
    const double expected = sampled(core, shown, 0.6 * 2 + 0.25, 0.7 - 0.125, footprint, 0.25);
    EXPECT_EQ(scalarAt(handler, instance, tPos, wPos, 0.01), expected);
    EXPECT_NE(expected, sampled(core, shown, 0.6 * 2, 0.7, footprint, 0.25));
    handler.rend->cleanup(instance);
    destroy(instance);
}

TEST_F(TextureHandler, ModelerTakesQualityAndBlendingAtOnceAndMeasuresSpotsBySize) {
    host.setApplication(hostsim::AppType::Modeler);
    hostsim::TextureHandlerRecords modelerRecords;
    const LWTextureHandler& modeler = modelerRecords.local;
    ASSERT_EQ(modelerRecords.activate(host, "KorvalithPro"), 0);
    LWInstance instance = host.instances().create(modeler.inst, modeler.item, layer);
    ASSERT_NE(instance, nullptr);
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    showImage(*this, core, panel, image("modeler.jp2", 512, 512, 1, testfiles::noisePattern(2)));
    KorvalithImage* shown = core->imageAt(0);
    ASSERT_EQ(modeler.rend->init(instance, LWINIT_PREVIEW), nullptr);
    ASSERT_EQ(modeler.rend->newTime(instance, 0, 0.0), nullptr);
    const double tPos[3] = {0.13, 0.21, 0}, wPos[3] = {5, 5, 5};
    const double preview = core->getPreviewFlag() ? 25 : 1;

    // A spot is measured by its spot size: Modeler has no camera.
    EXPECT_EQ(scalarAt(modeler, instance, tPos, wPos, 0.00008),
              sampled(core, shown, 0.63, 0.29, 0.00008 * preview, 0.25));
    // Edits count at once: Modeler gives no new time after them.
    ASSERT_TRUE(panel->setFloat(0x9003, 0.5));  // "Texture Quality"
    ASSERT_TRUE(panel->setFloat(0x9004, 0.6));  // "LoD Blending"
    const double expected = sampled(core, shown, 0.63, 0.29, 0.00008 * 2 * preview, 0.6);
    EXPECT_EQ(scalarAt(modeler, instance, tPos, wPos, 0.00008), expected);
    EXPECT_NE(expected, sampled(core, shown, 0.63, 0.29, 0.00008 * preview, 0.25));
    // Without a spot size, a three-thousandth of the texture size.
    EXPECT_EQ(scalarAt(modeler, instance, tPos, wPos, 0), sampled(core, shown, 0.63, 0.29, 0.001 * 2 * preview, 0.6));
    modeler.rend->cleanup(instance);
    host.instances().destroy(instance);
}

TEST_F(TextureHandler, TheHostLearnsTheReferenceCameraAndWhenItIsDeleted) {
    const LWItemID other = host.scene().addCamera("Other");
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    host.instances().gatherUsedItems();
    EXPECT_TRUE(host.instances().usedItems(instance).empty());

    SET_INT(panel, 0x9102, 4);  // "Front"
    SET_INT(panel, 0x9108, 2);  // "Reference Camera": the second camera
    host.instances().gatherUsedItems();
    EXPECT_EQ(host.instances().usedItems(instance), std::vector<LWItemID>{other});

    // Deleting the camera changes its id to none; the reference follows.
    host.scene().removeItem(other);
    host.instances().gatherUsedItems();
    EXPECT_TRUE(host.instances().usedItems(instance).empty());
    destroy(instance);
}

TEST_F(TextureHandler, TheActivationFillsTheHostsRecordsAndLeavesTheirPointers) {
    EXPECT_EQ(handler.inst, &records.inst);
    EXPECT_EQ(handler.item, &records.item);
    EXPECT_EQ(handler.rend, &records.rend);
    const LWInstanceFuncs& inst = records.inst;
    EXPECT_TRUE(inst.create && inst.destroy && inst.copy && inst.load && inst.save && inst.descln);
    EXPECT_TRUE(records.item.useItems && records.item.changeID);
    EXPECT_EQ(records.item.changeName, nullptr);  // names are not tracked
    EXPECT_TRUE(records.rend.init && records.rend.cleanup && records.rend.newTime);
    EXPECT_TRUE(handler.evaluate && handler.flags);

    // Without the host's instance or render record nothing is filled.
    LWInstanceFuncs ownInst{};
    LWRenderFuncs ownRend{};
    for (LWTextureHandler partial : {LWTextureHandler{nullptr, nullptr, &ownRend, nullptr, nullptr},
                                     LWTextureHandler{&ownInst, nullptr, nullptr, nullptr, nullptr}}) {
        EXPECT_EQ(host.activate(LWTEXTURE_HCLASS, "KorvalithPro", LWTEXTURE_VERSION, &partial), AFUNC_BADLOCAL);
        EXPECT_EQ(partial.evaluate, nullptr);
    }
    EXPECT_EQ(ownInst.create, nullptr);
    EXPECT_EQ(ownRend.init, nullptr);

    // In Modeler an item record, should a host hand one, stays as it was.
    host.setApplication(hostsim::AppType::Modeler);
    LWItemFuncs items{};
    LWTextureHandler modeler{&ownInst, &items, &ownRend, nullptr, nullptr};
    EXPECT_EQ(host.activate(LWTEXTURE_HCLASS, "KorvalithPro", LWTEXTURE_VERSION, &modeler), AFUNC_OK);
    EXPECT_EQ(items.useItems, nullptr);
    EXPECT_EQ(items.changeID, nullptr);
    EXPECT_NE(ownInst.create, nullptr);
}

TEST_F(TextureHandler, ModelerGetsNoItemFunctions) {
    host.setApplication(hostsim::AppType::Modeler);
    hostsim::TextureHandlerRecords modeler;
    ASSERT_EQ(modeler.activate(host, "KorvalithPro"), 0);
    EXPECT_EQ(modeler.local.item, nullptr);
    EXPECT_NE(handler.item, nullptr);
    EXPECT_EQ(modeler.activate(host, "KorvalithPro", 4), AFUNC_BADVERSION);
    LWInterface ui{};
    EXPECT_EQ(host.activate(LWTEXTURE_ICLASS, "KorvalithPro", 5, &ui), AFUNC_BADVERSION);
}

}  // namespace
