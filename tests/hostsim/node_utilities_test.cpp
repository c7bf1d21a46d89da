// "NodeUtilityFuncs": Blend in each mode, and NodeAutosize over the meshes
// of the objects that carry the graph's surface.
#include <gtest/gtest.h>

#include <memory>

#include "geometry.h"
#include "host.h"
#include "lwnodes.h"
#include "node_editor.h"
#include "scene.h"

namespace {

using V3 = std::array<double, 3>;

class NodeUtilities : public ::testing::Test {
protected:
    hostsim::Host host;
    const LWNodeUtilityFuncs* utility =
        static_cast<const LWNodeUtilityFuncs*>(host.lookup(LWNODEUTILITYFUNCS_GLOBAL, GFUSE_TRANSIENT));
};

TEST_F(NodeUtilities, BlendPutsTheForegroundOverTheBackgroundInEachMode) {
    ASSERT_NE(utility, nullptr);
    struct Case {
        BlendingMode mode;
        double alpha;
        V3 expected;
    };
    // bg (0.2, 0.5, 0.8), fg (0.6, 0.4, 0.5)
    const Case cases[] = {
        {Blend_Normal, 1, {0.6, 0.4, 0.5}},
        {Blend_Normal, 0.25, {0.3, 0.475, 0.725}},
        {Blend_Normal, 0, {0.2, 0.5, 0.8}},
        {Blend_Additive, 1, {0.8, 0.9, 1.3}},
        {Blend_Subtractive, 1, {-0.4, 0.1, 0.3}},
        {Blend_Multiply, 1, {0.12, 0.2, 0.4}},
        {Blend_Multiply, 0.5, {0.16, 0.35, 0.6}},
        {Blend_Screen, 1, {0.68, 0.7, 0.9}},
        {Blend_Darken, 1, {0.2, 0.4, 0.5}},
        {Blend_Lighten, 1, {0.6, 0.5, 0.8}},
        {Blend_Difference, 1, {0.4, 0.1, 0.3}},
        {Blend_Negative, 1, {0.8, 0.9, 0.7}},
        {Blend_ColorDodge, 1, {0.5, 0.5 / 0.6, 1}},
        {Blend_ColorBurn, 1, {0, 0, 0.6}},
        {Blend_Red, 1, {0.6, 0.5, 0.8}},
        {Blend_Green, 1, {0.2, 0.4, 0.8}},
        {Blend_Blue, 1, {0.2, 0.5, 0.5}},
        {Blend_Blue, 0.5, {0.2, 0.5, 0.65}},
    };
    for (const Case& c : cases) {
        double bg[3] = {0.2, 0.5, 0.8}, fg[3] = {0.6, 0.4, 0.5}, result[3] = {-9, -9, -9};
        utility->Blend(result, bg, fg, c.alpha, c.mode);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(result[k], c.expected[k], 1e-12) << "mode " << c.mode << " alpha " << c.alpha << " channel " << k;
    }
    // Dodge and burn at the ends of the foreground.
    double bg[3] = {0.5, 0.5, 0.5}, white[3] = {1, 1, 1}, black[3] = {0, 0, 0}, r[3];
    utility->Blend(r, bg, white, 1, Blend_ColorDodge);
    EXPECT_EQ(r[0], 1);
    utility->Blend(r, bg, black, 1, Blend_ColorBurn);
    EXPECT_EQ(r[0], 0);
    // The result may be the background itself.
    double fg[3] = {0.6, 0.4, 0.5};
    utility->Blend(bg, bg, fg, 1, Blend_Multiply);
    EXPECT_NEAR(bg[0], 0.3, 1e-12);
}

TEST_F(NodeUtilities, AutosizeMeasuresTheMeshesOfTheGraphsSurface) {
    ASSERT_NE(utility, nullptr);
    hostsim::Mesh skew;
    skew.positions = {{1, 2, 3}, {3, 6, 4}, {2, 2, 5}};
    skew.triangles = {{0, 1, 2}};
    const LWItemID one = host.scene().addObject("One");
    host.geometry().setMesh(one, std::make_shared<const hostsim::Mesh>(skew));
    host.geometry().setSurface(one, {.name = "Skin"});
    const LWItemID two = host.scene().addObject("Two");
    host.geometry().setMesh(two, std::make_shared<const hostsim::Mesh>(hostsim::makeBox(2, 2, 2)));
    host.geometry().setSurface(two, {.name = "Skin"});
    const LWItemID other = host.scene().addObject("Other");
    host.geometry().setMesh(other, std::make_shared<const hostsim::Mesh>(hostsim::makeBox(100, 100, 100)));
    host.geometry().setSurface(other, {.name = "Rock"});

    const NodeID node = host.nodeEditor().graph("Skin").add("Color");
    double size[3], centre[3];
    utility->NodeAutosize(node, size, centre);
    // x -1 … 3, y -1 … 6, z -1 … 5, in object space.
    EXPECT_EQ((V3{size[0], size[1], size[2]}), (V3{4, 7, 6}));
    EXPECT_EQ((V3{centre[0], centre[1], centre[2]}), (V3{1, 2.5, 2}));

    // No object carries the surface: zeros.
    utility->NodeAutosize(host.nodeEditor().graph("Glass").add("Color"), size, centre);
    EXPECT_EQ((V3{size[0], size[1], size[2]}), (V3{0, 0, 0}));
    EXPECT_EQ((V3{centre[0], centre[1], centre[2]}), (V3{0, 0, 0}));
    int foreign = 0;
    size[0] = 5;
    utility->NodeAutosize(&foreign, size, centre);
    EXPECT_EQ(size[0], 0);
}

}  // namespace
