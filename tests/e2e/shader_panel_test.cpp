// The shader's panel driven like a user: layout and enable rules by
// projection, the popups, the surface group, the change notification.
#include <string>
#include <vector>

#include "shader_fixture.h"

namespace {

using ShaderPanel = ShaderFixture;

TEST_F(ShaderPanel, LayoutAndEnableRulesFollowTheProjection) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    for (unsigned int id : {0x912Bu, 0x914Fu, 0x914Eu, 0x9150u}) EXPECT_FALSE(panel->exists(id)) << std::hex << id;
    EXPECT_EQ(panel->popupItems(0x9102), (std::vector<std::string>{"Planar", "Cylindrical", "Spherical", "Cubic",
                                                                   "Front", "UV", "Spherical Section"}));
    struct Case {
        int position;
        bool fixed, uvMap, segments, camera, axis, transform;
    } cases[] = {
        {0, false, false, false, false, true, true},  {2, false, false, false, false, true, true},
        {3, false, false, false, false, false, true}, {4, true, false, false, true, false, false},
        {5, false, true, false, false, false, false}, {6, false, false, true, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        SET_INT(panel, 0x9102, c.position);
        EXPECT_EQ(panel->visible(0x9106), c.fixed);
        EXPECT_EQ(panel->visible(0x9145), c.fixed);
        EXPECT_EQ(panel->visible(0x9103), c.uvMap);
        EXPECT_EQ(panel->visible(0x911E), c.segments);
        EXPECT_EQ(panel->visible(0x9122), c.segments);  // the angle "Segment Angles" shows first
        EXPECT_EQ(panel->visible(0x9108), c.camera);
        EXPECT_EQ(panel->visible(0x9107), !c.camera);
        EXPECT_EQ(panel->enabled(0x910B), c.axis);
        for (unsigned int id : {0x910Cu, 0x910Du, 0x910Eu, 0x910Fu, 0x9110u, 0x910Au})
            EXPECT_EQ(panel->enabled(id), c.transform) << std::hex << id;
        if (!c.camera) {
            EXPECT_EQ(panel->enabled(0x9107), c.transform);
        }
        // Where the transform is in force, the world coordinates are too.
        EXPECT_EQ(panel->shownInt(0x9109).has_value(), c.position != 4 && c.position != 5);
    }
    EXPECT_EQ(panel->tabOf(0x910C), "Scale");
    EXPECT_EQ(panel->tabOf(0x910D), "Position");
    EXPECT_EQ(panel->tabOf(0x910E), "Rotation");
    EXPECT_EQ(panel->tabOf(0x9110), "Falloff");
    EXPECT_EQ(panel->tabOf(0x9002), "Image");
    EXPECT_EQ(panel->tabOf(0x9104), "UV Tiling");
    // The surface group first, then the projection.
    const std::vector<unsigned int> top = panel->members();
    ASSERT_GE(top.size(), 2u);
    EXPECT_EQ(panel->members(top[0]), (std::vector<unsigned int>{0x9113, 0x9115, 0x9114}));
    EXPECT_EQ(top[1], 0x9102u);
    destroy(instance);
}

TEST_F(ShaderPanel, PopupsListChannelsFalloffsUVMapsAndObjects) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    EXPECT_EQ(panel->popupItems(0x9113),
              (std::vector<std::string>{"Colour", "Luminosity", "Diffuse", "Specularity", "Glossiness", "Reflection",
                                        "Transparency", "Refraction Index", "Translucency", "Bump",
                                        "Colour Highlights", "Colour Filtering", "Additive Transparency",
                                        "Diffuse Sharpness"}));
    EXPECT_EQ(panel->popupItems(0x9110),
              (std::vector<std::string>{"Cubic", "Spherical", "Linear X", "Linear Y", "Linear Z"}));
    EXPECT_EQ(panel->popupItems(0x9103), (std::vector<std::string>{"(none)", "Texture"}));
    EXPECT_EQ(panel->popupItems(0x9107), (std::vector<std::string>{"(none)", "Ground"}));
    // A second object with its own map name lists it too.
    hostsim::Mesh mesh = hostsim::makeBox(1, 1, 1);
    mesh.uvMap = "Atlas";
    addObject("Crate", std::move(mesh), "Wood");
    EXPECT_EQ(panel->popupItems(0x9103), (std::vector<std::string>{"(none)", "Texture", "Atlas"}));
    SET_INT(panel, 0x9102, 5);
    SET_INT(panel, 0x9103, 2);
    EXPECT_EQ(panel->shownText(0x9103), "Atlas");
    destroy(instance);
}

TEST_F(ShaderPanel, EveryShownValueIsBoundToTheInstance) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    for (unsigned int id : {0x9113u, 0x9114u, 0x9115u, 0x9103u, 0x910Bu, 0x9107u, 0x9108u, 0x9109u, 0x910Cu, 0x910Du,
                            0x910Eu, 0x910Fu, 0x9110u, 0x9000u, 0x9001u, 0x9003u, 0x9004u, 0x9102u}) {
        ASSERT_TRUE(panel->exists(id)) << std::hex << id;
        EXPECT_TRUE(panel->bound(id)) << std::hex << id;
    }
    for (const std::string& note : panel->notes()) EXPECT_EQ(note.find("describe"), std::string::npos) << note;
    destroy(instance);
}

// A changed value tells the host, which re-evaluates the shader; the surface
// group's settings reach the instance.
TEST_F(ShaderPanel, EditsReachTheInstanceAndTheHostIsTold) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(panel, image("edited.jp2"));
    const size_t before = host.scene().instanceUpdates().size();
    SET_INT(panel, 0x9113, 3);
    EXPECT_EQ(panel->lastRefreshCode(), 1);
    SET_INT(panel, 0x9115, 1);
    EXPECT_EQ(panel->lastRefreshCode(), 3);
    ASSERT_TRUE(panel->setFloat(0x9114, 0.35));
    const auto updates = host.scene().instanceUpdates();
    ASSERT_EQ(updates.size(), before + 3);
    EXPECT_EQ(updates.back().className, "ShaderHandler");
    EXPECT_EQ(updates.back().instance, instance);
    EXPECT_EQ(handler.flags(instance), static_cast<unsigned int>(LWSHF_SPECULAR));
    EXPECT_STREQ(handler.inst->descln(instance), "KVP:Specularity - edited.jp2");
    EXPECT_EQ(panel->shownInt(0x9115), 1);
    EXPECT_EQ(panel->shownFloat(0x9114), 0.35);
    destroy(instance);
}

TEST_F(ShaderPanel, ModelerKeepsThePreview) {
    host.setApplication(hostsim::AppType::Modeler);
    hostsim::ShaderHandlerRecords modeler;
    ASSERT_EQ(modeler.activate(host, "KorvalithPro"), 0);
    LWInstance instance = host.instances().create(modeler.local.inst, nullptr, surface);
    ASSERT_NE(instance, nullptr);
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->exists(0x9002));
    ASSERT_TRUE(panel->drawControl(0x9002, 64, 48).has_value());
    host.instances().destroy(instance);
}

}  // namespace
