// Saving and loading shader instances in both file forms: the shader's own
// blocks and the mapping it uses beyond the texture's come back, and odd
// stored values stay safe.
#include <cstdint>
#include <string>
#include <vector>

#include "file_io.h"
#include "lwenvel.h"
#include "lwio.h"
#include "lwvparm.h"
#include "shader_fixture.h"

namespace {

class ShaderPersist : public ShaderFixture, public ::testing::WithParamInterface<int> {
protected:
    std::string save(LWInstance instance) {
        hostsim::SaveState state(GetParam());
        EXPECT_EQ(handler.inst->save(instance, state.state()), nullptr);
        EXPECT_TRUE(state.finish()) << state.error();
        return state.data();
    }
    void load(LWInstance instance, const std::string& data) {
        hostsim::LoadState state(data, GetParam());
        handler.inst->load(instance, state.state());
        EXPECT_FALSE(state.failed()) << state.error();
    }
};

TEST_P(ShaderPersist, ARoundTripKeepsTheShadersSettings) {
    LWInstance a = create();
    hostsim::ViewPanel* panel = openPanel(a);
    showImage(panel, image("kept.jp2"));
    SET_INT(panel, 0x9113, 7);                      // refraction index
    SET_INT(panel, 0x9115, 1);                      // invert
    ASSERT_TRUE(panel->setFloat(0x9114, 0.45));     // strength
    // The transform first: the UV projection does not offer it.
    SET_INT(panel, 0x9110, 3);                      // Linear Y
    ASSERT_TRUE(panel->setVector(0x910F, 0, 0.5, 0));
    ASSERT_TRUE(panel->setVector(0x910C, 2, 3, 4));
    ASSERT_TRUE(panel->setVector(0x910D, -1, 0.5, 0.25));
    ASSERT_TRUE(panel->setVector(0x910E, 0.1, 0.2, 0.3));
    SET_INT(panel, 0x9107, 1);                      // the object
    SET_INT(panel, 0x9102, 5);                      // UV
    SET_INT(panel, 0x9103, 1);                      // "Texture"
    // The strength animated: a key at time 2.
    const LWVParmFuncs* vparm = host.animation().vparmFuncs();
    auto* strength = static_cast<LWVParmID>(nullptr);
    for (LWVParmID p : host.animation().parameters())
        if (host.animation().parameter(p).channelName == "Strength") strength = p;
    ASSERT_NE(strength, nullptr);
    vparm->setState(strength, LWVPSF_ENV);
    LWEnvelopeID envs[3] = {};
    vparm->getEnv(strength, envs);
    host.animation().envelopeFuncs()->createKey(envs[0], 2.0, 0.9);
    const std::string saved = save(a);

    LWInstance b = create();
    load(b, saved);
    EXPECT_EQ(save(b), saved);
    EXPECT_STREQ(handler.inst->descln(b), "KVP:Refraction - kept.jp2");
    EXPECT_EQ(handler.flags(b), static_cast<unsigned int>(LWSHF_ETA));
    hostsim::ViewPanel* shown = openPanel(b);
    EXPECT_EQ(shown->shownInt(0x9115), 1);
    EXPECT_EQ(shown->shownInt(0x9102), 5);
    EXPECT_EQ(shown->shownInt(0x9103), 1);
    EXPECT_EQ(shown->shownInt(0x9110), 3);
    EXPECT_EQ(shown->shownVector(0x910F), (std::array<double, 3>{0, 0.5, 0}));
    EXPECT_EQ(shown->shownVector(0x910C), (std::array<double, 3>{2, 3, 4}));
    EXPECT_EQ(shown->shownVector(0x910D), (std::array<double, 3>{-1, 0.5, 0.25}));
    EXPECT_EQ(shown->shownVector(0x910E), (std::array<double, 3>{0.1, 0.2, 0.3}));
    EXPECT_EQ(shown->shownInt(0x9107), 1);
    // The strength's envelope came back with its key.
    LWVParmID loadedStrength = nullptr;
    for (LWVParmID p : host.animation().parameters())
        if (host.animation().parameter(p).channelName == "Strength" && p != strength) loadedStrength = p;
    ASSERT_NE(loadedStrength, nullptr);
    EXPECT_TRUE(host.animation().isEnveloped(loadedStrength));
    EXPECT_EQ(host.animation().parameterValue(loadedStrength, 2.0), host.animation().parameterValue(strength, 2.0));
    destroy(a);
    destroy(b);
}

// Values a panel cannot make still load safely: a surface channel outside
// the list drives nothing, reports the colour flag and names no channel.
TEST_P(ShaderPersist, ASurfaceChannelOutsideTheListDrivesNothing) {
    LWInstance a = create();
    hostsim::ViewPanel* panel = openPanel(a);
    showImage(panel, image("odd.jp2"));
    std::string data = save(a);
    destroy(a);
    // Rewrite the stored channel (0) as 42, in whichever form the file has.
    hostsim::SaveState patch(GetParam());
    {
        LWSaveState* s = patch.state();
        const LWBlockIdent ident{LWID_('S', 'C', 'H', 'N'), "SurfaceChannel"};
        s->beginBlk(s->writeData, &ident, 0);
        const int32_t v = 42;
        s->writeI4(s->writeData, &v, 1);
        s->endBlk(s->writeData);
    }
    ASSERT_TRUE(patch.finish());
    data += patch.data();  // a block that occurs twice: the later one wins
    LWInstance b = create();
    load(b, data);
    EXPECT_EQ(handler.flags(b), static_cast<unsigned int>(LWSHF_COLOR));
    EXPECT_STREQ(handler.inst->descln(b), "KVP:(none) - odd.jp2");
    handler.rend->init(b, LWINIT_RENDER);
    handler.rend->newTime(b, 0, 0.0);
    LWShaderAccess access{};
    access.rayLength = 2;
    access.sourceID = camera;
    access.objID = object;
    access.luminous = 0.5;
    access.color[0] = 0.25;
    handler.evaluate(b, &access);
    EXPECT_EQ(access.luminous, 0.5);
    EXPECT_EQ(access.color[0], 0.25);
    destroy(b);
}

INSTANTIATE_TEST_SUITE_P(BothForms, ShaderPersist, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const auto& info) { return info.param == LWIO_BINARY ? "Binary" : "Text"; });

}  // namespace
