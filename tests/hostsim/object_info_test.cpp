// "LW Object Info 4": file names, counts and meshes of object items, and
// nothing for ids that are no object with a mesh.
#include "object_info.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "geometry.h"
#include "host.h"
#include "lwserver.h"
#include "meshes.h"
#include "scene.h"

namespace {

class ObjectInfo : public ::testing::Test {
protected:
    const LWObjectInfo* info() {
        return static_cast<const LWObjectInfo*>(hostsim::Host::lookupFunction()(LWOBJECTINFO_GLOBAL, GFUSE_TRANSIENT));
    }
    LWItemID object(const std::string& name, hostsim::Mesh mesh) {
        const LWItemID item = host.scene().addObject(name);
        host.geometry().setMesh(item, std::make_shared<const hostsim::Mesh>(std::move(mesh)));
        return item;
    }
    hostsim::Host host;
};

TEST_F(ObjectInfo, AnswersFileCountsAndAFreshMeshPerCall) {
    const std::string path = std::string(FIXTURE_SOURCES) + "/seam.obj";
    const LWItemID seam = object("Seam", hostsim::loadObj(path));
    const LWItemID ball = object("Ball", hostsim::makeSphere(1, 8, 4));
    host.geometry().setSurface(ball, {.name = "Rubber"});
    const LWObjectInfo* oi = info();
    ASSERT_NE(oi, nullptr);
    EXPECT_STREQ(oi->filename(seam), path.c_str());
    EXPECT_STREQ(oi->filename(ball), "Ball");
    EXPECT_EQ(oi->numPoints(seam), 6);
    EXPECT_EQ(oi->numPolygons(seam), 3);
    EXPECT_EQ(oi->numPolygons(ball), int(host.geometry().mesh(ball)->triangles.size()));

    for (const int frozen : {0, 1}) {
        LWMeshInfoID a = oi->meshInfo(ball, frozen), b = oi->meshInfo(ball, frozen);
        ASSERT_NE(a, nullptr);
        EXPECT_NE(a, b);
        EXPECT_EQ(a->numPoints(a), oi->numPoints(ball));
        EXPECT_STREQ(a->polTag(a, hostsim::polygonId(0), LWPTAG_SURF), "Rubber");
        // The spot's vertices as the shader access names them read their UVs here.
        ASSERT_EQ(a->pntVSelect(a, a->pntVLookup(a, LWVMAP_TXUV, "Texture")), 2);
        float uv[2];
        EXPECT_EQ(a->pntVGet(a, hostsim::pointId(0), uv), 1);
        a->destroy(a);
        b->destroy(b);
    }
    // A new object's settings.
    EXPECT_EQ(oi->shadowOpts(ball), unsigned(LWOSHAD_SELF | LWOSHAD_CAST | LWOSHAD_RECEIVE));
    int display = 0, render = 0;
    oi->patchLevel(ball, &display, &render);
    EXPECT_EQ(display, 3);
    EXPECT_EQ(render, 3);
    EXPECT_EQ(oi->polygonSize(ball, 0), 1.0);
    EXPECT_EQ(oi->dissolve(ball, 0), 0.0);
    EXPECT_EQ(oi->flags(ball), 0u);
    EXPECT_EQ(oi->morphTarget(ball), nullptr);
    EXPECT_EQ(oi->excluded(ball, host.scene().addLight("Light")), 0);
}

TEST_F(ObjectInfo, IdsThatAreNoObjectWithAMeshGetNothing) {
    const LWItemID null = host.scene().addObject("Null");
    const LWItemID light = host.scene().addLight("Light");
    const LWItemID gone = object("Gone", hostsim::makeBox(1, 1, 1));
    host.scene().removeItem(gone);
    const LWObjectInfo* oi = info();
    for (const LWItemID id : {LWItemID{}, null, light, gone}) {
        EXPECT_EQ(oi->filename(id), nullptr);
        EXPECT_EQ(oi->numPoints(id), 0);
        EXPECT_EQ(oi->numPolygons(id), 0);
        EXPECT_EQ(oi->meshInfo(id, 0), nullptr);
        EXPECT_EQ(oi->shadowOpts(id), 0u);
        int display = -1, render = -1;
        oi->patchLevel(id, &display, &render);
        EXPECT_EQ(display + render, 0);
        LWDVector colour = {1, 1, 1};
        oi->edgeColor(id, 0, colour);
        EXPECT_EQ(colour[0] + colour[1] + colour[2], 0.0);
        double metaDisplay = -1, metaRender = -1;
        oi->metaballRes(id, &metaDisplay, &metaRender);
        EXPECT_EQ(metaDisplay + metaRender, 0.0);
    }
}

}  // namespace
