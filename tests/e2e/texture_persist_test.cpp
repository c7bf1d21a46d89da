// Saving and loading texture instances in both file forms: every setting
// and every envelope comes back, older blocks still load, items re-bind by
// name, and an image that cannot be opened loses nothing else.
#include <cstdint>
#include <string>
#include <vector>

#include "file_io.h"
#include "lwenvel.h"
#include "lwio.h"
#include "lwvparm.h"
#include "texture_fixture.h"

namespace {

class TexturePersist : public TextureFixture, public ::testing::WithParamInterface<int> {
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
    // The parameters an instance made, in the order it made them.
    std::vector<LWVParmID> parametersSince(size_t before) {
        auto all = host.animation().parameters();
        return {all.begin() + static_cast<long>(before), all.end()};
    }
};

TEST_P(TexturePersist, ARoundTripKeepsEverySettingAndEnvelope) {
    const size_t before = host.animation().parameters().size();
    LWInstance a = create();
    const std::vector<LWVParmID> params = parametersSince(before);
    ASSERT_GE(params.size(), 20u);
    hostsim::ViewPanel* panel = openPanel(a);
    showImage(*this, core, panel, image("kept.jp2"));
    SET_INT(panel, 0x9001, 2);
    SET_INT(panel, 0x9102, 4);  // Front
    SET_INT(panel, 0x9106, 1);
    SET_INT(panel, 0x9108, 1);  // the camera
    SET_INT(panel, 0x9104, 2);
    SET_INT(panel, 0x9105, 3);
    SET_INT(panel, 0x912B, 1);
    SET_INT(panel, 0x914C, 1);
    // Every parameter gets a value of its own, and every third an envelope.
    const LWVParmFuncs* vparm = host.animation().vparmFuncs();
    const LWEnvelopeFuncs* env = host.animation().envelopeFuncs();
    for (size_t i = 0; i < params.size(); ++i) {
        double v[3] = {0.1 * i + 0.5, 0.2 * i - 1, 3.0 + i};
        vparm->setVal(params[i], v);
        if (i % 3 == 0) {
            vparm->setState(params[i], LWVPSF_ENV);
            LWEnvelopeID envs[3] = {};
            vparm->getEnv(params[i], envs);
            env->createKey(envs[0], 2.0, 10.0 + i);
        }
    }
    const std::string saved = save(a);

    const size_t beforeB = host.animation().parameters().size();
    LWInstance b = create();
    const std::vector<LWVParmID> loaded = parametersSince(beforeB);
    load(b, saved);
    ASSERT_EQ(loaded.size(), params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        // A texture keeps no strength or opacity: the shader and the node
        // store those in blocks of their own.
        const std::string name = host.animation().parameter(params[i]).channelName;
        if (name == "Strength" || name == "Opacity") continue;
        EXPECT_EQ(host.animation().isEnveloped(loaded[i]), host.animation().isEnveloped(params[i])) << i;
        for (double t : {0.0, 1.0, 2.5})
            EXPECT_EQ(host.animation().parameterValue(loaded[i], t), host.animation().parameterValue(params[i], t))
                << "parameter " << i << " at " << t;
    }
    EXPECT_EQ(save(b), saved);
    hostsim::ViewPanel* shown = openPanel(b);
    EXPECT_EQ(shown->shownInt(0x9000), 2);
    EXPECT_EQ(shown->shownInt(0x9001), 2);
    EXPECT_EQ(shown->shownInt(0x9102), 4);
    EXPECT_EQ(shown->shownInt(0x9106), 1);
    EXPECT_EQ(shown->shownInt(0x9108), 1);
    EXPECT_EQ(shown->shownInt(0x9104), 2);
    EXPECT_EQ(shown->shownInt(0x9105), 3);
    EXPECT_EQ(shown->shownInt(0x912B), 1);
    EXPECT_EQ(shown->shownInt(0x914C), 1);
    destroy(a);
    destroy(b);
}

TEST_P(TexturePersist, ALayerWithoutAnImageLoadsWithoutOne) {
    LWInstance a = create();
    const std::string saved = save(a);
    LWInstance b = create();
    load(b, saved);
    EXPECT_STREQ(handler.inst->descln(b), "Korvalith Pro 1.0.5a (Win64)");
    EXPECT_EQ(core->imageCount(), 0);
    destroy(a);
    destroy(b);
}

// Writes a file by hand, for blocks that save no longer writes.
class Writer {
public:
    explicit Writer(int mode) : state_(mode) {}
    Writer& begin(const char* code, const char* token, bool leaf) {
        const LWBlockIdent ident{LWID_(code[0], code[1], code[2], code[3]), token};
        s()->beginBlk(s()->writeData, &ident, leaf ? 1 : 0);
        return *this;
    }
    Writer& end() {
        s()->endBlk(s()->writeData);
        return *this;
    }
    Writer& i2(int v) {
        const int16_t x = static_cast<int16_t>(v);
        s()->writeI2(s()->writeData, &x, 1);
        return *this;
    }
    Writer& u1(int v) {
        const uint8_t x = static_cast<uint8_t>(v);
        s()->writeU1(s()->writeData, &x, 1);
        return *this;
    }
    Writer& i1(int v) {
        const char x = static_cast<char>(v);
        s()->writeI1(s()->writeData, &x, 1);
        return *this;
    }
    Writer& fp(float v) {
        s()->writeFP(s()->writeData, &v, 1);
        return *this;
    }
    Writer& str(const char* text) {
        s()->writeStr(s()->writeData, text);
        return *this;
    }
    std::string data() {
        EXPECT_TRUE(state_.finish()) << state_.error();
        return state_.data();
    }

private:
    LWSaveState* s() { return state_.state(); }
    hostsim::SaveState state_;
};

TEST_P(TexturePersist, OlderBlocksAndOddValues) {
    Writer w(GetParam());
    w.begin("VERS", "Version", true).i2(1).end();
    w.begin("KRVL", "KorvalithImage", false);
    w.begin("CHAN", "Channel", true).i2(3).end();
    w.begin("PROJ", "Projection", false);
    w.begin("WWRP", "WidthWrap", true).fp(2.5f).end();
    w.begin("HWRP", "HeightWrap", true).fp(0.5f).end();
    w.begin("TIME", "FixedTime", true).fp(3).end();
    w.begin("PROJ", "ProjectionType", true).i2(6).end();
    w.begin("ZZZZ", "Unknown", true).i2(9).end();  // skipped
    w.end();
    w.begin("SICC", "SimpleColourCorrection", false).begin("CINV", "Invert", true).u1(2).end().end();
    w.end();
    w.begin("RVAL", "returnValue", false).i2(2).end();
    w.begin("SCHI", "SurfaceChannelInvert", false).i1(2).end();
    const std::string data = w.data();

    LWInstance instance = create();
    load(instance, data);
    hostsim::ViewPanel* panel = openPanel(instance);
    EXPECT_EQ(panel->shownFloat(0x913B), 2.5);
    EXPECT_EQ(panel->shownFloat(0x913D), 0.5);
    EXPECT_EQ(panel->shownFloat(0x9145), 3.0);
    EXPECT_EQ(panel->shownInt(0x9102), 5);  // Spherical Section's position
    EXPECT_EQ(panel->shownInt(0x914C), 0);  // a 2 is not "inverted"
    EXPECT_EQ(panel->shownInt(0x912B), 1);  // a 2 is "on"
    EXPECT_EQ(panel->shownInt(0x9001), 3);
    destroy(instance);
}

TEST_P(TexturePersist, ReferenceItemsRebindByName) {
    LWInstance a = create();
    hostsim::ViewPanel* panel = openPanel(a);
    SET_INT(panel, 0x9102, 4);
    SET_INT(panel, 0x9108, 1);
    const std::string saved = save(a);
    destroy(a);

    // The scene reloaded: the same name under another id.
    host.scene().removeItem(camera);
    host.scene().addCamera("Spare");
    LWItemID reloaded = host.scene().addCamera("Camera");
    LWInstance b = create();
    load(b, saved);
    host.instances().gatherUsedItems();
    EXPECT_EQ(host.instances().usedItems(b), std::vector<LWItemID>{reloaded});
    EXPECT_EQ(openPanel(b)->shownInt(0x9108), 2);
    destroy(b);

    // A name the scene does not hold keeps the stored id.
    host.scene().rename(reloaded, "Other");
    LWInstance c = create();
    load(c, saved);
    host.instances().gatherUsedItems();
    EXPECT_EQ(host.instances().usedItems(c), std::vector<LWItemID>{camera});
    EXPECT_EQ(openPanel(c)->shownInt(0x9108), 0);
    destroy(c);
}

TEST_P(TexturePersist, AnImageThatCannotBeOpenedLosesNothingElse) {
    LWInstance a = create();
    hostsim::ViewPanel* panel = openPanel(a);
    const std::string path = image("vanishing.jp2", 64, 64);
    showImage(*this, core, panel, path);
    SET_INT(panel, 0x9104, 0);
    SET_INT(panel, 0x9001, 1);
    const std::string saved = save(a);
    destroy(a);
    std::remove(path.c_str());

    // The user declines to pick another file.
    host.messages().queueAnswer(false);
    LWInstance b = create();
    load(b, saved);
    EXPECT_EQ(host.messages().messages().back().lines.at(0), path + ": No such file or directory");
    hostsim::ViewPanel* shown = openPanel(b);
    EXPECT_EQ(shown->shownInt(0x9000), 0);
    EXPECT_EQ(shown->shownInt(0x9104), 0);
    EXPECT_EQ(shown->shownInt(0x9001), 1);
    destroy(b);

    // Or picks a replacement.
    host.messages().queueAnswer(true);
    host.fileRequests().queueChoice(image("replacement.jp2"));
    LWInstance c = create();
    load(c, saved);
    EXPECT_STREQ(handler.inst->descln(c), "Korvalith Pro: replacement.jp2");
    destroy(c);
}

// Where each top-level block of saved data ends. Binary: a block is its code,
// a size word (bit 31 marks a group) and the payload. Text: a leaf is one
// line; a group runs from its "{ Token" line to its "}" line at the margin.
std::vector<size_t> topLevelBlockEnds(const std::string& data, int mode) {
    std::vector<size_t> ends;
    size_t at = 0;
    while (at < data.size()) {
        if (mode == LWIO_BINARY) {
            if (data.size() - at < 8) break;
            uint32_t word = 0;
            for (size_t i = at + 4; i < at + 8; ++i) word = word << 8 | static_cast<unsigned char>(data[i]);
            at += 8 + (word & 0x7FFFFFFFu);
        } else {
            const size_t end = data[at] == '{' ? data.find("\n}\n", at) : data.find('\n', at);
            if (end == std::string::npos) break;
            at = end + (data[at] == '{' ? 3 : 1);
        }
        ends.push_back(at);
    }
    return ends;
}

// The host refuses a block that was cut short, with everything in it, so a
// cut keeps exactly the top-level blocks that end before it: the version,
// the layer's block with all its settings, then the return value. What is
// not kept keeps the new instance's default.
TEST_P(TexturePersist, TruncatedDataKeepsTheBlocksBeforeTheCut) {
    LWInstance a = create();
    hostsim::ViewPanel* panel = openPanel(a);
    SET_INT(panel, 0x9102, 4);                    // Front
    SET_INT(panel, 0x9104, 3);                    // U tiling "Edge"
    ASSERT_TRUE(panel->setFloat(0x9003, 0.6));    // quality
    ASSERT_TRUE(panel->setFloat(0x913B, 2.5));    // U tiles
    ASSERT_TRUE(panel->setFloat(0x9147, 0.7));    // brightness
    SET_INT(panel, 0x914C, 1);                    // invert
    SET_INT(panel, 0x912B, 1);                    // return value
    const std::string saved = save(a);
    destroy(a);
    const std::vector<size_t> ends = topLevelBlockEnds(saved, GetParam());
    ASSERT_EQ(ends.size(), 3u);  // version, layer, return value
    ASSERT_EQ(ends.back(), saved.size());

    std::vector<size_t> cuts = {ends[0], ends[1] - 1, ends[1], ends[2] - 1, ends[2]};
    for (size_t cut = 0; cut < saved.size(); cut += std::max<size_t>(1, saved.size() / 97)) cuts.push_back(cut);
    for (size_t cut : cuts) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut << " of " << saved.size());
        LWInstance b = create();
        hostsim::LoadState state(saved.substr(0, cut), GetParam());
        handler.inst->load(b, state.state());
        const bool layer = cut >= ends[1], returnValue = cut >= ends[2];
        hostsim::ViewPanel* shown = openPanel(b);
        EXPECT_EQ(shown->shownInt(0x9102), layer ? 4 : 0);
        EXPECT_EQ(shown->shownInt(0x9104), layer ? 3 : 1);
        EXPECT_EQ(shown->shownFloat(0x9003), layer ? 0.6 : 1.0);
        EXPECT_EQ(shown->shownFloat(0x913B), layer ? 2.5 : 1.0);
        EXPECT_EQ(shown->shownFloat(0x9147), layer ? 0.7 : 1.0);
        EXPECT_EQ(shown->shownInt(0x914C), layer ? 1 : 0);
        EXPECT_EQ(shown->shownInt(0x912B), returnValue ? 1 : 0);
        destroy(b);
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, TexturePersist, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const auto& info) { return info.param == LWIO_BINARY ? "Binary" : "Text"; });

}  // namespace
