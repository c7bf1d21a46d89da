#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "geometry.h"
#include "host.h"
#include "lwmeshes.h"
#include "lwserver.h"
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

    EXPECT_EQ(objects()->numObjects(), 6);
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

TEST_F(SceneObjects, ObjectsHaveNoFilesOrLayersYet) {
    object("Ground", "Terrain");
    EXPECT_EQ(objects()->filename(0), nullptr);
    EXPECT_EQ(objects()->userName(0), nullptr);
    EXPECT_EQ(objects()->refName(0), nullptr);
    EXPECT_EQ(objects()->maxLayers(0), 0);
    EXPECT_EQ(objects()->layerExists(0, 0), 0);
    EXPECT_EQ(objects()->layerMesh(0, 0), nullptr);
    EXPECT_EQ(objects()->layerName(0, 0), nullptr);
    EXPECT_EQ(objects()->layerVis(0, 0), 0);
    LWFVector pivot = {1, 2, 3};
    objects()->pivotPoint(0, 0, pivot);
    EXPECT_EQ(pivot[0] + pivot[1] + pivot[2], 0.0f);
}

}  // namespace
