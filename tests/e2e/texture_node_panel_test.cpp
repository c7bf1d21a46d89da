// The texture node's panel driven like a user: controls and layout, the
// panes and enable rules by projection, connected inputs making their
// controls unavailable, the "Low Res Preview" warning, automatic sizing and
// the host updates a change asks for.
#include <string>
#include <vector>

#include "message_log.h"
#include "texture_node_fixture.h"

namespace {

class TextureNodePanel : public TextureNodeFixture {
protected:
    // "Instance Update" calls the host recorded for the node's instance.
    int updates(NodeID node) {
        int n = 0;
        for (const hostsim::InstanceUpdate& u : host.scene().instanceUpdates())
            if (u.instance == graph().instance(node)) {
                EXPECT_EQ(u.className, "NodeHandler");
                ++n;
            }
        return n;
    }
    std::vector<hostsim::Message> warnings() {
        std::vector<hostsim::Message> out;
        for (const hostsim::Message& m : host.messages().messages())
            if (m.kind == hostsim::MessageKind::Warning) out.push_back(m);
        return out;
    }
};

TEST_F(TextureNodePanel, ControlsAndLayout) {
    NodeID node = graph().add("KorvalithPro");
    hostsim::ViewPanel* panel = openPanel(node);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(graph().openPanel(node), panel->id()) << "a second request makes a second panel";
    // What the node does not show.
    for (unsigned int id : {0x9001u, 0x912Bu, 0x9113u, 0x910Fu, 0x9110u, 0x9147u, 0x9148u, 0x9149u, 0x914Au,
                            0x914Bu, 0x914Cu, 0x914Du, 0x911Du})
        EXPECT_FALSE(panel->exists(id)) << std::hex << id;
    const std::vector<unsigned int> top = panel->members();
    ASSERT_EQ(top.size(), 6u);
    EXPECT_EQ(panel->members(top[0]), (std::vector<unsigned int>{0x9150, 0x914E, 0x9115, 0x9114, 0x914F}));
    EXPECT_EQ(panel->label(0x9114), "Opacity");
    EXPECT_EQ(panel->label(0x9102), "Mapping");
    EXPECT_EQ(panel->label(0x910B), "Axis");
    EXPECT_EQ(panel->tabOf(0x9002), "Image");
    EXPECT_EQ(panel->tabOf(0x9118), "Options");
    EXPECT_EQ(panel->tabOf(0x9105), "UV Tiling");
    EXPECT_EQ(panel->tabOf(0x913E), "UV Offset");
    EXPECT_EQ(panel->tabOf(0x910E), "Rotation");
    EXPECT_EQ(panel->members(top[2]), (std::vector<unsigned int>{0x9003, 0x9004}));
    EXPECT_EQ(panel->popupItems(0x914E),
              (std::vector<std::string>{"Normal", "Additive", "Subtractive", "Multiply", "Screen", "Darken", "Lighten",
                                        "Difference", "Negative", "Color Dodge", "Color Burn", "Red", "Green",
                                        "Blue"}));
    EXPECT_EQ(panel->popupItems(0x9102), (std::vector<std::string>{"Planar", "Cylindrical", "Spherical", "Cubic",
                                                                   "Front", "UV", "Spherical Section"}));
    EXPECT_EQ(panel->popupItems(0x9104), (std::vector<std::string>{"Reset", "Repeat", "Mirror", "Edge"}));
    EXPECT_EQ(panel->popupItems(0x911E), (std::vector<std::string>{"Left Edge", "Width", "Top Edge", "Height"}));
    // The node takes its panel with it.
    graph().remove(node);
    EXPECT_TRUE(panel->destroyed());
}

TEST_F(TextureNodePanel, PanesAndEnableRulesFollowTheProjection) {
    NodeID node = graph().add("KorvalithPro");
    hostsim::ViewPanel* panel = openPanel(node);
    struct Case {
        int projection;
        bool axis, front, uvMap, segments, camera, transform;
    } cases[] = {
        {0, true, false, false, false, false, true},  {3, true, false, false, false, false, true},
        {4, false, true, false, false, true, false},  {5, false, false, true, false, false, false},
        {6, false, false, false, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.projection);
        ASSERT_TRUE(panel->setInt(0x9102, c.projection));
        EXPECT_EQ(panel->visible(0x910B), c.axis);
        EXPECT_EQ(panel->visible(0x9106), c.front);
        EXPECT_EQ(panel->visible(0x9145), c.front);
        EXPECT_EQ(panel->visible(0x9103), c.uvMap);
        EXPECT_EQ(panel->visible(0x911E), c.segments);
        EXPECT_EQ(panel->visible(0x9108), c.camera);
        EXPECT_EQ(panel->visible(0x9107), !c.camera);
        for (unsigned int id : {0x910Cu, 0x910Du, 0x910Eu, 0x910Au}) EXPECT_EQ(panel->enabled(id), c.transform);
        if (!c.camera) {
            EXPECT_EQ(panel->enabled(0x9107), c.transform);
        }
    }
    // The segment angle shown is the one "Segment Angles" picks.
    const unsigned int angles[] = {0x9122, 0x9123, 0x9121, 0x9124};
    for (int which = 0; which < 4; ++which) {
        ASSERT_TRUE(panel->setInt(0x911E, which));
        for (int other = 0; other < 4; ++other) EXPECT_EQ(panel->visible(angles[other]), other == which);
    }
    // The buttons that need an image.
    for (unsigned int id : {0x9116u, 0x911Cu, 0x9119u}) EXPECT_FALSE(panel->enabled(id)) << std::hex << id;
    showImage(panel, image("planet.jp2"));
    for (unsigned int id : {0x9116u, 0x911Cu, 0x9119u}) EXPECT_TRUE(panel->enabled(id)) << std::hex << id;
}

TEST_F(TextureNodePanel, AConnectedInputMakesItsControlUnavailable) {
    NodeID node = graph().add("KorvalithPro");
    hostsim::ViewPanel* panel = openPanel(node);
    struct Case {
        const char* input;
        unsigned int control;
        bool colour;
    } cases[] = {{"Opacity", 0x9114, false}, {"BG Colour", 0x9150, true},  {"BumpAmp", 0x914F, false},
                 {"Quality", 0x9003, false}, {"LoD Blending", 0x9004, false}, {"U Tiles", 0x913B, false},
                 {"V Offset", 0x913E, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const bool shownBefore = c.colour ? panel->shownVector(c.control).has_value()
                                          : panel->shownFloat(c.control).has_value();
        EXPECT_TRUE(shownBefore);
        const int refreshes = panel->fullRefreshes();
        NodeID feeding = c.colour ? feedColour(node, c.input, {1, 0, 0}) : feedScalar(node, c.input, 0.5);
        EXPECT_GT(panel->fullRefreshes(), refreshes) << "the input event refreshed nothing";
        EXPECT_FALSE(c.colour ? panel->shownVector(c.control).has_value() : panel->shownFloat(c.control).has_value());
        graph().disconnect(node, c.input);
        EXPECT_TRUE(c.colour ? panel->shownVector(c.control).has_value() : panel->shownFloat(c.control).has_value());
        graph().remove(feeding);
    }
}

TEST_F(TextureNodePanel, RemovingAFeedingNodeAsksForAnInstanceUpdate) {
    NodeID node = graph().add("KorvalithPro");
    openPanel(node);
    NodeID feeding = feedScalar(node, "Opacity", 0.5);
    const int before = updates(node);
    graph().remove(feeding);
    EXPECT_EQ(updates(node), before + 1);
}

TEST_F(TextureNodePanel, TurningLowResPreviewOffWarnsEachTime) {
    NodeID node = graph().add("KorvalithPro");
    hostsim::ViewPanel* panel = openPanel(node);
    ASSERT_TRUE(panel->setInt(0x9111, 1));
    EXPECT_EQ(core->getPreviewFlag(), 1);
    const size_t before = warnings().size();
    ASSERT_TRUE(panel->setInt(0x9111, 0));
    EXPECT_EQ(core->getPreviewFlag(), 0);
    ASSERT_EQ(warnings().size(), before + 1);
    EXPECT_EQ(warnings().back().title, "Korvalith Pro");
    EXPECT_EQ(warnings().back().lines,
              (std::vector<std::string>{"Turning off 'Low Res Preview' may severely slow down your Layout response time!"}));
    ASSERT_TRUE(panel->setInt(0x9111, 1));
    EXPECT_EQ(warnings().size(), before + 1);
    ASSERT_TRUE(panel->setInt(0x9111, 0));
    EXPECT_EQ(warnings().size(), before + 2);
}

TEST_F(TextureNodePanel, AutomaticSizingTakesTheHostsSizeAndCentre) {
    NodeID node = graph().add("KorvalithPro");
    hostsim::ViewPanel* panel = openPanel(node);
    const int before = updates(node);
    ASSERT_TRUE(panel->press(0x910A));
    double size[3], centre[3];
    utilities()->NodeAutosize(node, size, centre);
    EXPECT_EQ(panel->shownVector(0x910C), (std::array<double, 3>{size[0], size[1], size[2]}));
    EXPECT_EQ(panel->shownVector(0x910D), (std::array<double, 3>{centre[0], centre[1], centre[2]}));
    EXPECT_GT(updates(node), before);
}

TEST_F(TextureNodePanel, AnEditAsksTheHostToUpdateTheInstance) {
    NodeID node = graph().add("KorvalithPro");
    hostsim::ViewPanel* panel = openPanel(node);
    const int before = updates(node);
    ASSERT_TRUE(panel->setInt(0x914E, 3));
    EXPECT_EQ(panel->shownInt(0x914E), 3);
    EXPECT_GT(updates(node), before);
}

}  // namespace
