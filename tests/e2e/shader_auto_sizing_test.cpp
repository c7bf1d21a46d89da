// "Automatic Sizing" pressed in the shader's panel: the mapping's scale and
// position take the size and centre of the surface's polygons.
#include <array>
#include <cmath>
#include <utility>

#include "shader_fixture.h"

namespace {

using ShaderAutoSizing = ShaderFixture;
using Vec = std::array<double, 3>;

// Two triangles whose points span x from −1 to 3, y from 0 to 2 and z
// from −0.5 to 0.25.
hostsim::Mesh spread() {
    hostsim::Mesh m;
    m.positions = {{-1, 0, 0}, {3, 0.5, -0.5}, {0, 2, 0.25}, {1, 1, 0}};
    m.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    m.uvs = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    m.triangles = {{0, 1, 2}, {1, 3, 2}};
    return m;
}

TEST_F(ShaderAutoSizing, ScaleAndPositionSpanTheSurfacesPolygons) {
    LWItemID spreadObject = addObject("Spread", spread(), "Rock");
    LWInstance instance = create(host.surfaces().surfaceOf(spreadObject));
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_TRUE(panel->setVector(0x910E, 0.3, 0, 0));  // a rotation stays as it is
    const int refreshes = panel->fullRefreshes();
    const size_t updates = host.scene().instanceUpdates().size();
    ASSERT_TRUE(panel->press(0x910A));
    EXPECT_EQ(panel->shownVector(0x910C), (Vec{4, 2, 0.75}));
    EXPECT_EQ(panel->shownVector(0x910D), (Vec{1, 1, -0.125}));
    EXPECT_EQ(panel->shownVector(0x910E), (Vec{0.3, 0, 0}));
    EXPECT_GT(panel->fullRefreshes(), refreshes);
    ASSERT_GT(host.scene().instanceUpdates().size(), updates);
    EXPECT_EQ(host.scene().instanceUpdates()[updates].className, "ShaderHandler");
    EXPECT_EQ(host.scene().instanceUpdates()[updates].instance, instance);
    destroy(instance);
}

// An object loaded from a file is found by its file, as the host's
// surfaces and objects both name it.
TEST_F(ShaderAutoSizing, AnObjectLoadedFromAFileIsFoundByItsFile) {
    hostsim::Mesh m = spread();
    m.file = "/models/spread.obj";
    LWItemID o = addObject("spread", std::move(m), "Rock");
    LWInstance instance = create(host.surfaces().surfaceOf(o));
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_TRUE(panel->press(0x910A));
    EXPECT_EQ(panel->shownVector(0x910C), (Vec{4, 2, 0.75}));
    EXPECT_EQ(panel->shownVector(0x910D), (Vec{1, 1, -0.125}));
    destroy(instance);
}

// The sizes and centre are the box's in single precision.
TEST_F(ShaderAutoSizing, ValuesAreRoundedToSinglePrecision) {
    hostsim::Mesh m = spread();
    m.positions[1][0] = 3.1;
    LWItemID o = addObject("Odd", std::move(m), "Stone");
    LWInstance instance = create(host.surfaces().surfaceOf(o));
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_TRUE(panel->press(0x910A));
    const double max = static_cast<float>(3.1);
    EXPECT_EQ(panel->shownVector(0x910C)->at(0), static_cast<double>(static_cast<float>(max + 1)));
    EXPECT_EQ(panel->shownVector(0x910D)->at(0), static_cast<double>(static_cast<float>(-1 + (max + 1) * 0.5)));
    destroy(instance);
}

// An object without a polygon gives no box: nothing changes, nothing turns
// infinite, and the panel is refreshed and the host told all the same.
TEST_F(ShaderAutoSizing, AnObjectWithoutPolygonsChangesNothing) {
    hostsim::Mesh empty;
    LWItemID o = addObject("Empty", std::move(empty), "Void");
    LWInstance instance = create(host.surfaces().surfaceOf(o));
    hostsim::ViewPanel* panel = openPanel(instance);
    const int refreshes = panel->fullRefreshes();
    const size_t updates = host.scene().instanceUpdates().size();
    ASSERT_TRUE(panel->press(0x910A));
    EXPECT_EQ(panel->shownVector(0x910C), (Vec{1, 1, 1}));
    EXPECT_EQ(panel->shownVector(0x910D), (Vec{0, 0, 0}));
    EXPECT_GT(panel->fullRefreshes(), refreshes);
    EXPECT_GT(host.scene().instanceUpdates().size(), updates);
    destroy(instance);
}

// The button sits among the transform's controls, which Front and UV do
// not use: there it cannot be pressed.
TEST_F(ShaderAutoSizing, OnlyForProjectionsWithATransform) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    SET_INT(panel, 0x9102, 5);
    EXPECT_FALSE(panel->press(0x910A));
    SET_INT(panel, 0x9102, 3);
    EXPECT_TRUE(panel->press(0x910A));
    EXPECT_EQ(panel->shownVector(0x910C), (Vec{2, 0, 2}));  // the fixture's 2 x 2 plane
    destroy(instance);
}

}  // namespace
