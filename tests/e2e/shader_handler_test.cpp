// The shader as the host uses it: activation and its records, creation on a
// surface, description, the items it uses, copies, clean-up and what
// destruction gives back. The values of spots are shader_evaluation_test's.
#include <string>
#include <vector>

#include "lwhost.h"
#include "lwserver.h"
#include "lwsurf.h"
#include "shader_fixture.h"

namespace {

using ShaderHandler = ShaderFixture;

TEST_F(ShaderHandler, TheActivationFillsTheHostsRecordsAndRefusesOlderVersions) {
    EXPECT_EQ(handler.inst, &records.inst);
    EXPECT_EQ(handler.item, &records.item);
    EXPECT_EQ(handler.rend, &records.rend);
    const LWInstanceFuncs& inst = records.inst;
    EXPECT_TRUE(inst.create && inst.destroy && inst.copy && inst.load && inst.save && inst.descln);
    EXPECT_TRUE(records.item.useItems && records.item.changeID);
    EXPECT_TRUE(records.rend.init && records.rend.cleanup && records.rend.newTime);
    EXPECT_TRUE(handler.evaluate && handler.flags);

    hostsim::ShaderHandlerRecords other;
    EXPECT_EQ(other.activate(host, "KorvalithPro", 3), AFUNC_BADVERSION);
    EXPECT_EQ(other.activate(host, "KorvalithPro", 5), AFUNC_OK);
    // Without the host's instance or render record nothing is filled.
    LWInstanceFuncs ownInst{};
    LWRenderFuncs ownRend{};
    for (LWShaderHandler partial : {LWShaderHandler{nullptr, nullptr, &ownRend, nullptr, nullptr},
                                    LWShaderHandler{&ownInst, nullptr, nullptr, nullptr, nullptr}}) {
        EXPECT_EQ(host.activate(LWSHADER_HCLASS, "KorvalithPro", LWSHADER_VERSION, &partial), AFUNC_BADLOCAL);
        EXPECT_EQ(partial.evaluate, nullptr);
    }
    // The interface speaks exactly version 4.
    LWInterface ui{};
    EXPECT_EQ(host.activate(LWSHADER_ICLASS, "KorvalithPro", 3, &ui), AFUNC_BADVERSION);
    EXPECT_EQ(host.activate(LWSHADER_ICLASS, "KorvalithPro", 5, &ui), AFUNC_BADVERSION);
}

TEST_F(ShaderHandler, ModelerGetsNoItemFunctions) {
    host.setApplication(hostsim::AppType::Modeler);
    hostsim::ShaderHandlerRecords modeler;
    ASSERT_EQ(modeler.activate(host, "KorvalithPro"), 0);
    EXPECT_EQ(modeler.local.item, nullptr);
    LWItemFuncs items{};
    LWInstanceFuncs inst{};
    LWRenderFuncs rend{};
    LWShaderHandler handed{&inst, &items, &rend, nullptr, nullptr};
    EXPECT_EQ(host.activate(LWSHADER_HCLASS, "KorvalithPro", LWSHADER_VERSION, &handed), AFUNC_OK);
    EXPECT_EQ(items.useItems, nullptr);
    EXPECT_NE(inst.create, nullptr);
}

// The layer's channel group sits under the surface's, numbered per layer.
TEST_F(ShaderHandler, LayersGetChannelGroupsUnderTheSurface) {
    const auto* surfaces = static_cast<const LWSurfaceFuncs*>(host.lookup(LWSURFACEFUNCS_GLOBAL, GFUSE_TRANSIENT));
    ASSERT_NE(surfaces, nullptr);
    LWChanGroupID group = surfaces->chanGrp(surface);
    ASSERT_NE(group, nullptr);
    LWInstance a = create(), b = create();
    EXPECT_EQ(host.animation().childGroupNames(group), (std::vector<std::string>{"KorvalithPro", "KorvalithPro(0)"}));
    destroy(a);
    destroy(b);
    EXPECT_TRUE(host.animation().childGroupNames(group).empty());
}

TEST_F(ShaderHandler, DescriptionNamesTheChannelAndTheImage) {
    LWInstance instance = create();
    EXPECT_STREQ(handler.inst->descln(instance), "Korvalith Pro 1.0.5a (Win64)");
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, image("described.jp2"));
    EXPECT_STREQ(handler.inst->descln(instance), "KVP:Colour - described.jp2");
    SET_INT(panel, 0x9113, 9);
    EXPECT_STREQ(handler.inst->descln(instance), "KVP:Bump - described.jp2");
    SET_INT(panel, 0x9113, 12);
    EXPECT_STREQ(handler.inst->descln(instance), "KVP:Add. Transparency - described.jp2");
    destroy(instance);
}

// A line longer than the host's 260-character buffer is cut before the
// character that does not fit whole, never inside it.
TEST_F(ShaderHandler, ALongDescriptionIsCutAtAWholeCharacter) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    SET_INT(panel, 0x9113, 10);  // "KVP:Col. Highlights - ": 22 characters
    // 236 ASCII characters fill the line to 258; the two-byte "é" would
    // end at 260, one past the last place before the terminating zero.
    const std::string name = std::string(236, 'a') + "\xC3\xA9" + ".jp2";
    showImage(panel, image(name.c_str(), 32, 32));
    const std::string line = handler.inst->descln(instance);
    EXPECT_EQ(line, "KVP:Col. Highlights - " + std::string(236, 'a'));
    destroy(instance);
}

TEST_F(ShaderHandler, TheHostLearnsTheReferenceObjectAndItsNewId) {
    const LWItemID other = host.scene().addObject("Other");
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    host.instances().gatherUsedItems();
    EXPECT_TRUE(host.instances().usedItems(instance).empty());
    SET_INT(panel, 0x9107, 2);  // "Reference Object": the second object
    host.instances().gatherUsedItems();
    EXPECT_EQ(host.instances().usedItems(instance), std::vector<LWItemID>{other});
    host.scene().removeItem(other);
    host.instances().gatherUsedItems();
    EXPECT_TRUE(host.instances().usedItems(instance).empty());
    destroy(instance);
}

TEST_F(ShaderHandler, CopiesHoldTheirOwnReferenceAndSettings) {
    LWInstance a = create(), b = create();
    hostsim::ViewPanel* panel = openPanel(a);
    showImage(panel, image("copied.jp2"));
    SET_INT(panel, 0x9113, 5);
    SET_INT(panel, 0x9115, 1);
    SET_INT(panel, 0x9102, 5);  // UV
    SET_INT(panel, 0x9103, 1);
    EXPECT_EQ(handler.inst->copy(a, a), nullptr);
    EXPECT_EQ(handler.inst->copy(b, a), nullptr);
    EXPECT_STREQ(handler.inst->descln(b), "KVP:Reflection - copied.jp2");
    EXPECT_EQ(handler.flags(b), static_cast<unsigned int>(LWSHF_MIRROR));
    hostsim::ViewPanel* copied = openPanel(b);
    EXPECT_EQ(copied->shownInt(0x9115), 1);
    EXPECT_EQ(copied->shownInt(0x9102), 5);
    EXPECT_EQ(copied->shownInt(0x9103), 1);
    destroy(a);
    EXPECT_EQ(core->imageCount(), 1);  // the copy still holds it
    destroy(b);
    EXPECT_EQ(core->imageCount(), 0);
}

TEST_F(ShaderHandler, CleanUpAfterARenderGivesCachedDataBackNotAfterAPreview) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, image("cleanup.jp2"));
    KorvalithImage* shown = core->imageAt(0);
    const size_t idle = core->memoryUsed(shown);
    for (int mode : {LWINIT_PREVIEW, LWINIT_RENDER}) {
        handler.rend->init(instance, mode);
        handler.rend->newTime(instance, 0, 0.0);
        LWShaderAccess a{};
        a.oPos[0] = 0.1;
        a.rayLength = 3;
        a.sourceID = camera;
        a.objID = object;
        handler.evaluate(instance, &a);
        EXPECT_GT(core->memoryUsed(shown), idle);
        handler.rend->cleanup(instance);
        if (mode == LWINIT_PREVIEW) EXPECT_GT(core->memoryUsed(shown), idle);
        else EXPECT_EQ(core->memoryUsed(shown), idle);
    }
    destroy(instance);
}

TEST_F(ShaderHandler, DestroyGivesEveryHostObjectBack) {
    const int groups = host.animation().liveGroups();
    const int parameters = host.animation().liveParameters();
    LWInstance instance = create();
    EXPECT_GT(host.animation().liveParameters(), parameters);
    ASSERT_NE(openPanel(instance), nullptr);
    EXPECT_EQ(host.use(LWOBJECTFUNCS_GLOBAL).held(), 1);  // the UV map list's
    destroy(instance);
    EXPECT_EQ(host.animation().liveGroups(), groups);
    EXPECT_EQ(host.animation().liveParameters(), parameters);
    EXPECT_EQ(host.use(LWOBJECTFUNCS_GLOBAL).held(), 0);
    EXPECT_EQ(host.use(LWSURFACEFUNCS_GLOBAL).held(), 0);
}

TEST_F(ShaderHandler, MissingServices) {
    // Without the surface service the layer still comes, with no parent group.
    host.unregisterService(LWSURFACEFUNCS_GLOBAL);
    LWInstance orphan = create();
    ASSERT_NE(orphan, nullptr);
    destroy(orphan);
    // Without the channel services there is no layer and the user is told.
    host.unregisterService("Channel Info 2");
    LWError error = nullptr;
    EXPECT_EQ(handler.inst->create(handler.inst->priv, surface, &error), nullptr);
    EXPECT_NE(error, nullptr);
    const auto messages = host.messages().messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().title, "Error opening Global");
    EXPECT_EQ(messages.back().lines, std::vector<std::string>{"Channel Info 2"});
}

}  // namespace
