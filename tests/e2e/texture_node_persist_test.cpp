// The texture node's stored data: the seven blocks in order, a round trip
// in the host's text and binary forms that keeps every setting and
// envelope, the Invert byte, and a copy.
#include <string>
#include <vector>

#include "file_io.h"
#include "handler_records.h"
#include "lwenvel.h"
#include "lwio.h"
#include "lwvparm.h"
#include "texture_node_fixture.h"

namespace {

using TextureNodePersist = TextureNodeFixture;

// Every setting away from its default, and an envelope on the background.
void configure(TextureNodeFixture& f, hostsim::ViewPanel* panel) {
    ASSERT_TRUE(panel->setVector(0x9150, 0.1, 0.2, 0.3));
    ASSERT_TRUE(panel->setInt(0x914E, 7));
    ASSERT_TRUE(panel->setInt(0x9115, 1));
    ASSERT_TRUE(panel->setFloat(0x9114, 0.6));
    ASSERT_TRUE(panel->setFloat(0x914F, 2.5));
    ASSERT_TRUE(panel->setFloat(0x9003, 0.7));
    ASSERT_TRUE(panel->setFloat(0x9004, 0.4));
    ASSERT_TRUE(panel->setInt(0x9102, 1));
    ASSERT_TRUE(panel->setInt(0x910B, 2));
    ASSERT_TRUE(panel->setFloat(0x913B, 3));
    ASSERT_TRUE(panel->setFloat(0x913F, 0.25));
    ASSERT_TRUE(panel->setInt(0x9104, 2));
    ASSERT_TRUE(panel->setVector(0x910C, 2, 3, 4));
    (void)f;
}

struct Form {
    const char* name;
    int mode;
};

TEST_F(TextureNodePersist, ARoundTripKeepsEverySettingAndEnvelopeInBothForms) {
    hostsim::NodeHandlerRecords records;
    ASSERT_EQ(records.activate(host, "KorvalithPro"), 0);
    const std::string path = image("planet.jp2", 300, 200, 3);
    NodeID source = textureNode(path, "Source");
    hostsim::ViewPanel* panel = openPanel(source);
    configure(*this, panel);
    LWVParmID background = host.animation().findParameter(graph().channelGroup(source), "BG_Colour");
    ASSERT_NE(background, nullptr);
    const LWVParmFuncs* vparm = host.animation().vparmFuncs();
    vparm->setState(background, LWVPSF_ENV);
    LWEnvelopeID envelopes[3] = {};
    vparm->getEnv(background, envelopes);
    ASSERT_NE(envelopes[0], nullptr);
    ASSERT_NE(host.animation().envelopeFuncs()->createKey(envelopes[0], 1.0, 0.9), nullptr);

    const std::string text = graph().save(source);
    // The seven blocks, in order.
    std::vector<size_t> at;
    for (const char* token : {"Version", "KorvalithImage", "Opacity", "Invert", "BlendMode", "BumpAmplitude",
                              "BGColour"})
        at.push_back(text.find(token));
    for (size_t i = 0; i < at.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << i << "\n" << text;
        if (i) {
            EXPECT_LT(at[i - 1], at[i]) << i;
        }
    }
    EXPECT_EQ(text.find("SimpleColourCorrection"), std::string::npos);

    const Form forms[] = {{"text", LWIO_ASCII}, {"binary", LWIO_BINARY}};
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        hostsim::SaveState saved(form.mode);
        ASSERT_EQ(records.inst.save(graph().instance(source), saved.state()), nullptr);
        ASSERT_TRUE(saved.finish());
        NodeID copy = graph().add("KorvalithPro");
        hostsim::LoadState loaded(saved.data(), form.mode);
        ASSERT_EQ(records.inst.load(graph().instance(copy), loaded.state()), nullptr);
        EXPECT_FALSE(loaded.failed()) << loaded.error();
        EXPECT_EQ(graph().save(copy), text);
        hostsim::ViewPanel* shown = openPanel(copy);
        EXPECT_EQ(shown->shownText(0x9000).value_or("").rfind("planet.jp2", 0), 0u);  // the choice adds a count
        EXPECT_EQ(shown->shownInt(0x914E), 7);
        EXPECT_EQ(shown->shownInt(0x9115), 1);
        EXPECT_EQ(shown->shownInt(0x9102), 1);
        EXPECT_EQ(shown->shownInt(0x9104), 2);
        LWVParmID loadedBackground = host.animation().findParameter(graph().channelGroup(copy), "BG_Colour");
        EXPECT_TRUE(host.animation().isEnveloped(loadedBackground));
        EXPECT_NEAR(host.animation().parameterValue(loadedBackground, 1.0)[0], 0.9, 1e-9);
        graph().remove(copy);
    }
}

TEST_F(TextureNodePersist, OnlyAnInvertByteOfOneTurnsInvertOn) {
    NodeID node = graph().add("KorvalithPro");
    hostsim::ViewPanel* panel = openPanel(node);
    ASSERT_TRUE(panel->setInt(0x9115, 1));
    const std::string text = graph().save(node);
    const std::string line = "Invert 1";
    const size_t at = text.find(line);
    ASSERT_NE(at, std::string::npos) << text;
    for (int byte : {0, 1, 2, 255}) {
        SCOPED_TRACE(byte);
        std::string edited = text;
        edited.replace(at, line.size(), "Invert " + std::to_string(byte));
        NodeID loaded = graph().add("KorvalithPro");
        graph().load(loaded, edited);
        EXPECT_EQ(openPanel(loaded)->shownInt(0x9115), byte == 1 ? 1 : 0);
        graph().remove(loaded);
    }
}

TEST_F(TextureNodePersist, ACopyTakesTheSettingsAndItsOwnImageReference) {
    hostsim::NodeHandlerRecords records;
    ASSERT_EQ(records.activate(host, "KorvalithPro"), 0);
    NodeID source = textureNode(image("planet.jp2"), "Source");
    configure(*this, openPanel(source));
    NodeID copy = graph().add("KorvalithPro");
    ASSERT_EQ(records.inst.copy(graph().instance(copy), graph().instance(source)), nullptr);
    EXPECT_EQ(graph().save(copy), graph().save(source));
    graph().remove(source);
    EXPECT_EQ(core->imageCount(), 1) << "the copy holds its own reference";
    EXPECT_EQ(openPanel(copy)->shownText(0x9000).value_or("").rfind("planet.jp2", 0), 0u);
}

}  // namespace
