#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "geometry.h"
#include "host.h"
#include "lwmeshes.h"
#include "lwserver.h"
#include "meshes.h"
#include "objects.h"
#include "scene.h"

namespace {

class SceneObjects : public ::testing::Test {
protected:
    const LWObjectFuncs* objects() {
        return static_cast<const LWObjectFuncs*>(hostsim::Host::lookupFunction()(LWOBJECTFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    // An object whose mesh keeps its uvs in the named map ("" for none).
    LWItemID object(const std::string& name, const std::string& uvMap, bool withUvs = true) {
        LWItemID item = host.scene().addObject(name);
        auto mesh = std::make_shared<hostsim::Mesh>(hostsim::makePlane(1, 1));
        mesh->uvMap = uvMap;
        if (!withUvs) mesh->uvs.clear();
        host.geometry().setMesh(item, mesh);
        return item;
    }
    hostsim::Host host;
};

TEST_F(SceneObjects, UVMapsOfAllObjectsAreListedOnceEach) {
    ASSERT_NE(objects(), nullptr);
    EXPECT_EQ(objects()->numObjects(), 0);
    EXPECT_EQ(objects()->numVMaps(LWVMAP_TXUV), 0);
    EXPECT_EQ(objects()->vmapName(LWVMAP_TXUV, 0), nullptr);

    object("Ground", "Terrain");
    object("Unmapped", "");
    object("Rock", "Terrain");  // the same map name again
    object("Sign", "Decal");
    object("Empty", "Ghost", false);  // a name without uvs is no map
    host.scene().addObject("Null");   // an object without a mesh

    EXPECT_EQ(objects()->numObjects(), 5);  // the null has no mesh: no object of the database
    ASSERT_EQ(objects()->numVMaps(LWVMAP_TXUV), 2);
    EXPECT_STREQ(objects()->vmapName(LWVMAP_TXUV, 0), "Terrain");
    EXPECT_STREQ(objects()->vmapName(LWVMAP_TXUV, 1), "Decal");
    EXPECT_EQ(objects()->vmapName(LWVMAP_TXUV, 2), nullptr);
    EXPECT_EQ(objects()->vmapName(LWVMAP_TXUV, -1), nullptr);
    EXPECT_EQ(objects()->vmapDim(LWVMAP_TXUV, 1), 2);
    EXPECT_EQ(objects()->vmapDim(LWVMAP_TXUV, 2), 0);

    // Type 0 lists the maps of every type; other types have none here.
    EXPECT_EQ(objects()->numVMaps(0), 2);
    EXPECT_EQ(objects()->vmapType(1), LWVMAP_TXUV);
    EXPECT_EQ(objects()->vmapType(2), 0u);
    EXPECT_EQ(objects()->numVMaps(LWID_('W', 'G', 'H', 'T')), 0);
    EXPECT_EQ(objects()->vmapName(LWID_('W', 'G', 'H', 'T'), 0), nullptr);
}

TEST_F(SceneObjects, NamesStayValidWhenTheSceneChanges) {
    LWItemID sign = object("Sign", "Decal");
    const char* name = objects()->vmapName(LWVMAP_TXUV, 0);
    ASSERT_STREQ(name, "Decal");
    host.scene().removeItem(sign);
    host.geometry().remove(sign);
    EXPECT_EQ(objects()->numVMaps(LWVMAP_TXUV), 0);
    EXPECT_STREQ(name, "Decal");
}

// Objects are the object items with a mesh, in scene order; names come
// from the file (or the item for a primitive) and the item.
TEST_F(SceneObjects, NumbersAndNamesFollowTheScenesObjects) {
    const LWItemID ground = object("Ground", "Texture");
    host.scene().addObject("Null");  // no mesh: not listed
    const std::string path = std::string(FIXTURE_SOURCES) + "/seam.obj";
    const LWItemID seam = host.scene().addObject("Seam");
    host.geometry().setMesh(seam, std::make_shared<const hostsim::Mesh>(hostsim::loadObj(path)));

    ASSERT_EQ(objects()->numObjects(), 2);
    EXPECT_EQ(host.objects().object(0), ground);
    EXPECT_EQ(host.objects().object(1), seam);
    EXPECT_STREQ(objects()->filename(0), "Ground");
    EXPECT_STREQ(objects()->filename(1), path.c_str());
    EXPECT_STREQ(objects()->userName(0), "Ground");
    EXPECT_STREQ(objects()->userName(1), "Seam");
    const std::string ref0 = objects()->refName(0), ref1 = objects()->refName(1);
    EXPECT_EQ(ref0.size(), 8u);
    EXPECT_NE(ref0, ref1);

    // Renaming changes the user name (and a primitive's file name), never
    // the reference name.
    const char* before = objects()->userName(0);
    host.scene().rename(ground, "Floor");
    EXPECT_STREQ(objects()->userName(0), "Floor");
    EXPECT_STREQ(objects()->filename(0), "Floor");
    EXPECT_EQ(objects()->refName(0), ref0);
    EXPECT_STREQ(before, "Ground");  // an earlier answer stays readable
    // Removing an object renumbers the ones after it.
    host.scene().removeItem(ground);
    EXPECT_EQ(objects()->numObjects(), 1);
    EXPECT_EQ(objects()->refName(0), ref1);

    for (const int obj : {-1, 1, 7}) {
        EXPECT_EQ(objects()->filename(obj), nullptr) << obj;
        EXPECT_EQ(objects()->userName(obj), nullptr) << obj;
        EXPECT_EQ(objects()->refName(obj), nullptr) << obj;
    }
}

TEST_F(SceneObjects, EachObjectHasOneLayerWithAFreshMeshPerCall) {
    const LWItemID ground = object("Ground", "Texture");
    object("Bare", "Texture");
    host.geometry().setSurface(ground, {.name = "Grass"});
    EXPECT_EQ(objects()->maxLayers(0), 1);
    EXPECT_EQ(objects()->layerExists(0, 0), 1);
    EXPECT_EQ(objects()->layerExists(0, 1), 0);
    EXPECT_EQ(objects()->layerExists(0, -1), 0);
    EXPECT_STREQ(objects()->layerName(0, 0), "");
    EXPECT_EQ(objects()->layerVis(0, 0), 1);
    LWFVector pivot = {1, 2, 3};
    objects()->pivotPoint(0, 0, pivot);
    EXPECT_EQ(pivot[0] + pivot[1] + pivot[2], 0.0f);

    LWMeshInfo* first = objects()->layerMesh(0, 0);
    LWMeshInfo* second = objects()->layerMesh(0, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->numPolygons(first), int(host.geometry().mesh(ground)->triangles.size()));
    EXPECT_STREQ(first->polTag(first, hostsim::polygonId(0), LWPTAG_SURF), "Grass");
    EXPECT_NE(first->pntVLookup(first, LWVMAP_TXUV, "Texture"), nullptr);
    first->destroy(first);
    second->destroy(second);
    // Without a surface the polygons carry LightWave's default surface name.
    LWMeshInfo* bare = objects()->layerMesh(1, 0);
    ASSERT_NE(bare, nullptr);
    EXPECT_STREQ(bare->polTag(bare, hostsim::polygonId(0), LWPTAG_SURF), "Default");
    bare->destroy(bare);

    EXPECT_EQ(objects()->layerMesh(0, 1), nullptr);
    for (const int obj : {-1, 2}) {
        EXPECT_EQ(objects()->maxLayers(obj), 0);
        EXPECT_EQ(objects()->layerExists(obj, 0), 0);
        EXPECT_EQ(objects()->layerMesh(obj, 0), nullptr);
        EXPECT_EQ(objects()->layerName(obj, 0), nullptr);
        EXPECT_EQ(objects()->layerVis(obj, 0), 0);
    }
}

}  // namespace
