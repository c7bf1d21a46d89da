// "Surface Functions 3": the surfaces of the scene's objects, their names,
// channel values, textures and channel groups, as plug-ins reach them.
#include "surfaces.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "animation.h"
#include "geometry.h"
#include "host.h"
#include "lwenvel.h"
#include "lwmeshes.h"
#include "lwserver.h"
#include "scene.h"

namespace {

class SurfaceFunctions : public ::testing::Test {
protected:
    const LWSurfaceFuncs* funcs() {
        return static_cast<const LWSurfaceFuncs*>(hostsim::Host::lookupFunction()(LWSURFACEFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    // An object with a box mesh and, unless the name is empty, a surface.
    LWItemID object(const std::string& name, const std::string& surface) {
        const LWItemID item = host.scene().addObject(name);
        host.geometry().setMesh(item, std::make_shared<const hostsim::Mesh>(hostsim::makeBox(1, 1, 1)));
        if (!surface.empty()) host.geometry().setSurface(item, {.name = surface});
        return item;
    }
    static std::vector<LWSurfaceID> ids(LWSurfaceID* array) {
        std::vector<LWSurfaceID> out;
        if (!array) return {reinterpret_cast<LWSurfaceID>(-1)};  // a null array: no terminator to read
        for (; *array; ++array) out.push_back(*array);
        return out;
    }
    hostsim::Host host;
};

// Surfaces name their object as "Scene Objects 4" names its file, so a
// plug-in can find a surface's object among the scene's objects: an OBJ
// file by its path, a primitive by its item name.
TEST_F(SurfaceFunctions, NameTheirObjectByItsFile) {
    const LWItemID ball = object("Ball", "Rubber");
    hostsim::Mesh mesh = hostsim::makeSphere(1, 8, 4);
    mesh.file = "/models/ball.obj";
    host.geometry().setMesh(ball, std::make_shared<const hostsim::Mesh>(mesh));
    const LWItemID box = object("Crate", "Wood");
    const LWSurfaceFuncs* f = funcs();
    const auto* objects =
        static_cast<const LWObjectFuncs*>(hostsim::Host::lookupFunction()(LWOBJECTFUNCS_GLOBAL, GFUSE_TRANSIENT));
    ASSERT_NE(objects, nullptr);
    const LWSurfaceID rubber = host.surfaces().surfaceOf(ball), wood = host.surfaces().surfaceOf(box);
    EXPECT_STREQ(f->sceneObject(rubber), "/models/ball.obj");
    EXPECT_STREQ(f->sceneObject(rubber), objects->filename(0));
    EXPECT_STREQ(f->sceneObject(wood), "Crate");
    EXPECT_STREQ(f->sceneObject(wood), objects->filename(1));
    EXPECT_EQ(ids(f->byObject("/models/ball.obj")), (std::vector<LWSurfaceID>{rubber}));
    EXPECT_EQ(ids(f->byObject("Ball")), (std::vector<LWSurfaceID>{}));
    EXPECT_EQ(ids(f->byName("Rubber", "/models/ball.obj")), (std::vector<LWSurfaceID>{rubber}));
    EXPECT_EQ(f->create("/models/ball.obj", "Rubber"), rubber);
}

TEST_F(SurfaceFunctions, ListTheObjectsSurfacesByNameAndObject) {
    for (const auto app : {hostsim::AppType::Layout, hostsim::AppType::Modeler}) {
        host.setApplication(app);
        host.geometry().clear();
        const LWItemID rock = object("Rock", "Stone");
        const LWItemID wall = object("Wall", "Stone");
        const LWItemID bare = object("Bare", "");
        const LWItemID sand = object("Dune", "Sand");
        const LWSurfaceFuncs* f = funcs();
        ASSERT_NE(f, nullptr);
        const LWSurfaceID s1 = host.surfaces().surfaceOf(rock), s2 = host.surfaces().surfaceOf(wall),
                          s3 = host.surfaces().surfaceOf(sand);
        ASSERT_NE(s1, nullptr);
        EXPECT_EQ(host.surfaces().surfaceOf(bare), nullptr);
        EXPECT_EQ(host.surfaces().objectOf(s2), wall);

        EXPECT_EQ(f->first(), s1);
        EXPECT_EQ(f->next(s1), s2);
        EXPECT_EQ(f->next(s2), s3);
        EXPECT_EQ(f->next(s3), nullptr);
        EXPECT_STREQ(f->name(s2), "Stone");
        EXPECT_STREQ(f->sceneObject(s2), "Wall");
        EXPECT_STREQ(f->sceneObject(s3), "Dune");

        EXPECT_EQ(ids(f->byName("Stone", nullptr)), (std::vector<LWSurfaceID>{s1, s2}));
        EXPECT_EQ(ids(f->byName("Stone", "Wall")), (std::vector<LWSurfaceID>{s2}));
        EXPECT_EQ(ids(f->byName("Stone", "Dune")), (std::vector<LWSurfaceID>{}));
        EXPECT_EQ(ids(f->byName(nullptr, nullptr)), (std::vector<LWSurfaceID>{}));
        EXPECT_EQ(ids(f->byObject("Dune")), (std::vector<LWSurfaceID>{s3}));
        EXPECT_EQ(ids(f->byObject("Bare")), (std::vector<LWSurfaceID>{}));
        EXPECT_EQ(ids(f->byObject(nullptr)), (std::vector<LWSurfaceID>{}));

        // Answers stay readable when the scene changes afterwards.
        LWSurfaceID* stones = f->byName("Stone", nullptr);
        const char* name = f->name(s1);
        host.geometry().setSurface(rock, {.name = "Granite"});
        EXPECT_EQ(f->byName("Stone", nullptr)[0], s2);
        EXPECT_EQ(stones[0], s1);
        EXPECT_STREQ(name, "Stone");
        EXPECT_STREQ(f->name(s1), "Granite");  // set again: the same surface, renamed
        EXPECT_EQ(host.surfaces().surfaceOf(rock), s1);
        for (const LWItemID item : {rock, wall, bare, sand}) host.scene().removeItem(item);
    }
}

TEST_F(SurfaceFunctions, AnswerTheChannelValuesAndTheColourTexture) {
    hostsim::Surface values{.name = "Metal",
                            .colour = {0.1, 0.2, 0.3},
                            .luminosity = 0.01,
                            .diffuse = 0.02,
                            .specularity = 0.03,
                            .glossiness = 0.04,
                            .reflection = 0.05,
                            .transparency = 0.06,
                            .refractionIndex = 1.07,
                            .translucency = 0.08,
                            .colourHighlights = 0.09,
                            .colourFilter = 0.10,
                            .additiveTransparency = 0.11,
                            .diffuseSharpness = 0.12,
                            .bump = 0.13,
                            .colourTexture = reinterpret_cast<LWTextureID>(uintptr_t{0x7E}),
    };
    const LWItemID item = object("Robot", "");
    host.geometry().setSurface(item, values);
    const LWSurfaceFuncs* f = funcs();
    const LWSurfaceID s = host.surfaces().surfaceOf(item);
    const struct {
        const char* channel;
        double value;
    } scalars[] = {{SURF_LUMI, 0.01}, {SURF_DIFF, 0.02}, {SURF_SPEC, 0.03}, {SURF_GLOS, 0.04},
                   {SURF_REFL, 0.05}, {SURF_TRAN, 0.06}, {SURF_RIND, 1.07}, {SURF_TRNL, 0.08},
                   {SURF_CLRH, 0.09}, {SURF_CLRF, 0.10}, {SURF_ADTR, 0.11}, {SURF_SHRP, 0.12},
                   {SURF_BUMP, 0.13}};
    for (const auto& c : scalars) {
        const double* v = f->getFlt(s, c.channel);
        ASSERT_NE(v, nullptr) << c.channel;
        EXPECT_EQ(*v, c.value) << c.channel;
        EXPECT_EQ(f->getTex(s, c.channel), nullptr) << c.channel;
        EXPECT_EQ(f->getInt(s, c.channel), 0) << c.channel;
        EXPECT_EQ(f->getEnv(s, c.channel), nullptr) << c.channel;
    }
    const double* colour = f->getFlt(s, SURF_COLR);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour[0], 0.1);
    EXPECT_EQ(colour[1], 0.2);
    EXPECT_EQ(colour[2], 0.3);
    EXPECT_EQ(f->getTex(s, SURF_COLR), values.colourTexture);
    EXPECT_EQ(f->getFlt(s, "Sheen"), nullptr);
    EXPECT_EQ(f->getFlt(s, nullptr), nullptr);
    EXPECT_EQ(f->getTex(s, nullptr), nullptr);
    EXPECT_EQ(f->getImg(s, SURF_COLR), nullptr);
    EXPECT_EQ(f->getNodeEditor(s), nullptr);

    // The values are the surface's own: a change shows through.
    values.diffuse = 0.5;
    host.geometry().setSurface(item, values);
    EXPECT_EQ(*f->getFlt(s, SURF_DIFF), 0.5);
    // A new surface has LightWave's defaults.
    const LWSurfaceID fresh = host.surfaces().surfaceOf(object("Fresh", "Default"));
    EXPECT_EQ(f->getFlt(fresh, SURF_COLR)[1], 0.8);
    EXPECT_EQ(*f->getFlt(fresh, SURF_DIFF), 1.0);
    EXPECT_EQ(*f->getFlt(fresh, SURF_GLOS), 0.4);
    EXPECT_EQ(*f->getFlt(fresh, SURF_RIND), 1.0);
    EXPECT_EQ(*f->getFlt(fresh, SURF_BUMP), 1.0);
    EXPECT_EQ(*f->getFlt(fresh, SURF_SPEC), 0.0);
}

// The group is made with the surface, renamed with it and destroyed when
// it goes; the envelope service cannot destroy it.
TEST_F(SurfaceFunctions, ChannelGroupsLiveAndDieWithTheirSurfaces) {
    hostsim::Animation& anim = host.animation();
    const LWItemID item = object("Globe", "");
    const int before = anim.liveGroups();
    host.geometry().setSurface(item, {.name = "Earth"});
    const LWSurfaceFuncs* f = funcs();
    const LWSurfaceID s = host.surfaces().surfaceOf(item);
    const LWChanGroupID group = f->chanGrp(s);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(anim.liveGroups(), before + 1);
    EXPECT_EQ(anim.groupPath(group), "Earth");
    EXPECT_EQ(anim.findGroup("Earth"), group);

    // Plug-ins put their channels there.
    auto* env = static_cast<const LWEnvelopeFuncs*>(host.lookup(LWENVELOPEFUNCS_GLOBAL, GFUSE_TRANSIENT));
    const LWChanGroupID layer = env->createGroup(group, "KorvalithPro");
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(anim.groupPath(layer), "Earth/KorvalithPro");
    env->destroyGroup(group);  // not the plug-in's to destroy
    EXPECT_EQ(f->chanGrp(s), group);
    EXPECT_EQ(anim.groupPath(group), "Earth");

    host.geometry().setSurface(item, {.name = "Mars"});
    EXPECT_EQ(f->chanGrp(s), group);
    EXPECT_EQ(anim.groupPath(layer), "Mars/KorvalithPro");

    host.geometry().remove(item);
    EXPECT_EQ(anim.liveGroups(), before);
    EXPECT_EQ(anim.groupPath(group), "");
    EXPECT_EQ(f->chanGrp(s), nullptr);

    // Clearing the geometry takes every surface's group.
    const LWItemID a = object("A", ""), b = object("B", "");
    const int items = anim.liveGroups();
    host.geometry().setSurface(a, {.name = "One"});
    host.geometry().setSurface(b, {.name = "Two"});
    EXPECT_EQ(anim.liveGroups(), items + 2);
    host.geometry().clear();
    EXPECT_EQ(anim.liveGroups(), items);
    EXPECT_EQ(f->first(), nullptr);
    EXPECT_TRUE(host.allBalanced());
}

TEST_F(SurfaceFunctions, AnswerIdsThatAreNoSurfaceWithNothing) {
    const LWItemID gone = object("Gone", "Lost");
    const LWItemID left = object("Left", "Behind");
    const LWSurfaceFuncs* f = funcs();
    const LWSurfaceID removed = host.surfaces().surfaceOf(gone);
    const LWSurfaceID orphan = host.surfaces().surfaceOf(left);
    host.geometry().remove(gone);
    host.scene().removeItem(left);  // its object left the scene
    const LWSurfaceID madeUp = reinterpret_cast<LWSurfaceID>(uintptr_t{0x12345});
    for (const LWSurfaceID s : {LWSurfaceID{}, removed, orphan, madeUp}) {
        EXPECT_EQ(f->name(s), nullptr);
        EXPECT_EQ(f->sceneObject(s), nullptr);
        EXPECT_EQ(f->getFlt(s, SURF_COLR), nullptr);
        EXPECT_EQ(f->getTex(s, SURF_COLR), nullptr);
        EXPECT_EQ(f->chanGrp(s), nullptr);
        EXPECT_EQ(f->next(s), nullptr);
        EXPECT_EQ(f->getColorVMap(s), nullptr);
        f->setColorVMap(s, "Paint", LWID_('R', 'G', 'B', ' '));
        EXPECT_EQ(host.surfaces().objectOf(s), nullptr);
        EXPECT_EQ(host.surfaces().surface(s), nullptr);
    }
    EXPECT_EQ(f->first(), nullptr);
    EXPECT_EQ(ids(f->byName("Behind", nullptr)), (std::vector<LWSurfaceID>{}));
    EXPECT_EQ(ids(f->byObject("Left")), (std::vector<LWSurfaceID>{}));
}

TEST_F(SurfaceFunctions, CreateGivesASurfacelessObjectItsSurface) {
    const LWItemID bare = object("Bare", "");
    object("Clad", "Paint");
    const LWSurfaceFuncs* f = funcs();
    const LWSurfaceID made = f->create("Bare", "Fresh");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(host.surfaces().surfaceOf(bare), made);
    EXPECT_STREQ(f->name(made), "Fresh");
    EXPECT_EQ(*f->getFlt(made, SURF_DIFF), 1.0);
    EXPECT_NE(f->chanGrp(made), nullptr);
    EXPECT_EQ(f->create("Bare", "Fresh"), made);       // it already has it
    EXPECT_EQ(f->create("Bare", "Other"), nullptr);    // one surface per object
    EXPECT_EQ(f->create("Clad", "Paint"), host.surfaces().surfaceOf(host.scene().items(LWI_OBJECT)[1]));
    EXPECT_EQ(f->create("Nobody", "Fresh"), nullptr);
    EXPECT_EQ(f->create(nullptr, "Fresh"), nullptr);
    EXPECT_EQ(f->create("Bare", nullptr), nullptr);
}

TEST_F(SurfaceFunctions, ColourVertexMapNamesAreRecorded) {
    const LWSurfaceFuncs* f = funcs();
    const LWSurfaceID s = host.surfaces().surfaceOf(object("Car", "Body"));
    EXPECT_EQ(f->getColorVMap(s), nullptr);
    f->setColorVMap(s, "Dirt", LWID_('R', 'G', 'B', 'A'));
    const char* dirt = f->getColorVMap(s);
    EXPECT_STREQ(dirt, "Dirt");
    f->setColorVMap(s, "Rust", LWID_('R', 'G', 'B', ' '));
    EXPECT_STREQ(f->getColorVMap(s), "Rust");
    EXPECT_STREQ(dirt, "Dirt");  // an earlier answer stays readable
    f->setColorVMap(s, nullptr, 0);
    EXPECT_EQ(f->getColorVMap(s), nullptr);
}

TEST_F(SurfaceFunctions, LibrariesHoldListsOfSurfaces) {
    const LWSurfaceFuncs* f = funcs();
    const LWSurfaceID body = host.surfaces().surfaceOf(object("Car", "Body"));
    object("Truck", "Cab");
    const LWSurfLibID empty = f->createLib();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(f->slibCount(empty), 0);
    EXPECT_STREQ(f->nameLib(empty), "");
    const LWSurfLibID car = f->objectLib("Car");
    ASSERT_NE(car, nullptr);
    EXPECT_STREQ(f->nameLib(car), "Car");
    EXPECT_EQ(f->slibCount(car), 1);
    EXPECT_EQ(f->slibByIndex(car, 0), body);
    EXPECT_EQ(f->slibByIndex(car, 1), nullptr);
    EXPECT_EQ(f->slibByIndex(car, -1), nullptr);
    EXPECT_EQ(f->slibCount(f->objectLib("Nobody")), 0);

    f->copyLib(empty, car);
    EXPECT_EQ(f->slibByIndex(empty, 0), body);
    EXPECT_EQ(f->renameLib(empty, "Copy"), 1);
    EXPECT_STREQ(f->nameLib(empty), "Copy");
    f->destroyLib(car);
    EXPECT_EQ(f->slibCount(car), 0);
    EXPECT_EQ(f->nameLib(car), nullptr);
    EXPECT_EQ(f->renameLib(car, "Gone"), 0);
    f->copyLib(empty, car);  // from a dead library: nothing changes
    EXPECT_EQ(f->slibCount(empty), 1);
    EXPECT_EQ(f->renameLib(empty, nullptr), 0);

    // No surface files in this host.
    EXPECT_EQ(f->loadLib("surfaces.srf"), nullptr);
    EXPECT_NE(f->saveLib(empty, "surfaces.srf"), nullptr);
    f->destroyLib(empty);
    f->destroyLib(nullptr);
}

}  // namespace
