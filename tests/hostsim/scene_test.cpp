#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "animation.h"
#include "host.h"
#include "lwcommand.h"
#include "lwrender.h"
#include "lwserver.h"
#include "lwtxtr.h"
#include "scene.h"
#include "textures.h"

namespace {

using hostsim::Vec3;
constexpr double kPi = std::numbers::pi;
constexpr double kEps = 1e-12;

std::string fixture(const std::string& name) { return std::string(FIXTURE_DIR) + "/fixture_" + name + ".so"; }

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void expectNear(const Vec3& actual, const Vec3& expected, double eps = 1e-9) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], eps) << "component " << i;
}

// Axes that are unit length, mutually perpendicular and in the order
// right x up = forward.
void expectFrame(const Vec3& right, const Vec3& up, const Vec3& forward) {
    EXPECT_NEAR(dot(right, right), 1, 1e-9);
    EXPECT_NEAR(dot(up, up), 1, 1e-9);
    EXPECT_NEAR(dot(forward, forward), 1, 1e-9);
    EXPECT_NEAR(dot(right, up), 0, 1e-9);
    EXPECT_NEAR(dot(up, forward), 0, 1e-9);
    EXPECT_NEAR(dot(forward, right), 0, 1e-9);
    expectNear(cross(right, up), forward);
}

// The services as a plug-in sees them: through the lookup function.
class SceneTest : public ::testing::Test {
protected:
    template <typename T>
    static const T* service(const char* name) {
        return static_cast<const T*>(hostsim::Host::lookupFunction()(name, GFUSE_TRANSIENT));
    }

    Vec3 param(LWItemID id, int which, LWTime time = 0) {
        Vec3 v{};
        items->param(id, which, time, v.data());
        return v;
    }

    std::vector<std::string> walk(int type, LWItemID boneObject = nullptr) {
        std::vector<std::string> names;
        for (LWItemID id = items->first(type, boneObject); id; id = items->next(id)) names.push_back(items->name(id));
        return names;
    }

    std::vector<LWItemID> childrenOf(LWItemID parent) {
        std::vector<LWItemID> out;
        for (LWItemID c = items->firstChild(parent); c; c = items->nextChild(parent, c)) out.push_back(c);
        return out;
    }

    hostsim::Host host;
    hostsim::Scene& scene = host.scene();
    const LWItemInfo* items = service<LWItemInfo>(LWITEMINFO_GLOBAL);
    const LWSceneInfo* info = service<LWSceneInfo>(LWSCENEINFO_GLOBAL);
    const LWCameraInfo* cameras = service<LWCameraInfo>(LWCAMERAINFO_GLOBAL);
};

// ---------------------------------------------------------------- items

TEST_F(SceneTest, WalksEachTypeInCreationOrderAndBonesPerObject) {
    ASSERT_TRUE(items && info && cameras);
    LWItemID a = scene.addObject("A");
    scene.addCamera("Cam1");
    LWItemID b = scene.addObject("B");
    scene.addLight("Light");
    scene.addCamera("Cam2");
    LWItemID a1 = scene.addBone("a1", a);
    scene.addBone("b1", b);
    scene.addBone("a2", a1);  // a bone of a bone stays in its object

    EXPECT_EQ(walk(LWI_OBJECT), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(walk(LWI_CAMERA), (std::vector<std::string>{"Cam1", "Cam2"}));
    EXPECT_EQ(walk(LWI_LIGHT), (std::vector<std::string>{"Light"}));
    EXPECT_EQ(walk(LWI_BONE, a), (std::vector<std::string>{"a1", "a2"}));
    EXPECT_EQ(walk(LWI_BONE, b), (std::vector<std::string>{"b1"}));
    EXPECT_EQ(items->first(LWI_BONE, nullptr), nullptr);
    EXPECT_EQ(items->first(LWI_BONE, items->first(LWI_CAMERA, nullptr)), nullptr);
    EXPECT_EQ(items->first(7, nullptr), nullptr);
    EXPECT_EQ(items->type(a1), LWI_BONE);
    EXPECT_EQ(items->parent(a1), a);

    EXPECT_THROW(scene.addBone("loose", nullptr), hostsim::HostError);
    EXPECT_THROW(scene.addBone("lit", items->first(LWI_LIGHT, nullptr)), hostsim::HostError);
}

TEST_F(SceneTest, ChildrenParentsTargetsAndGoals) {
    LWItemID root = scene.addObject("Root");
    LWItemID c1 = scene.addObject("C1", root);
    LWItemID other = scene.addObject("Other");
    LWItemID c2 = scene.addLight("C2", root);
    LWItemID grand = scene.addCamera("Grand", c1);

    EXPECT_EQ(childrenOf(root), (std::vector<LWItemID>{c1, c2}));
    EXPECT_EQ(items->nextChild(root, grand), nullptr);  // not a child of root
    EXPECT_EQ(items->firstChild(nullptr), nullptr);
    EXPECT_EQ(items->parent(grand), c1);
    EXPECT_EQ(items->parent(root), nullptr);

    scene.setParent(c1, other);
    EXPECT_EQ(childrenOf(root), (std::vector<LWItemID>{c2}));
    EXPECT_EQ(childrenOf(other), (std::vector<LWItemID>{c1}));
    EXPECT_THROW(scene.setParent(other, grand), hostsim::HostError);  // would make a loop
    EXPECT_THROW(scene.setParent(other, other), hostsim::HostError);

    LWItemID bone = scene.addBone("Bone", root);
    EXPECT_THROW(scene.setParent(bone, other), hostsim::HostError);
    EXPECT_THROW(scene.setParent(bone, nullptr), hostsim::HostError);

    scene.setTarget(grand, root);
    scene.setGoal(bone, c2);
    EXPECT_EQ(items->target(grand), root);
    EXPECT_EQ(items->goal(bone), c2);
    EXPECT_EQ(items->target(root), nullptr);
}

TEST_F(SceneTest, RemovingItemsRehomesChildrenAndRetiresTheirIds) {
    LWItemID top = scene.addObject("Top");
    LWItemID mid = scene.addObject("Mid", top);
    LWItemID low = scene.addObject("Low", mid);
    scene.setPosition(low, {1, 2, 3});
    scene.setTarget(top, mid);

    scene.removeItem(mid);
    EXPECT_EQ(items->parent(low), top);
    EXPECT_EQ(childrenOf(top), (std::vector<LWItemID>{low}));
    EXPECT_EQ(items->target(top), nullptr);
    expectNear(param(low, LWIP_POSITION), {1, 2, 3});  // own motion kept
    EXPECT_EQ(items->name(mid), nullptr);
    EXPECT_EQ(items->type(mid), -1);
    EXPECT_THROW(scene.setPosition(mid, {0, 0, 0}), hostsim::HostError);

    // An object takes its bones along; what hangs from them moves up.
    LWItemID rig = scene.addObject("Rig", top);
    LWItemID bone = scene.addBone("Bone", rig);
    LWItemID held = scene.addLight("Held", bone);
    scene.removeItem(rig);
    EXPECT_FALSE(scene.contains(bone));
    EXPECT_EQ(items->parent(held), top);
    EXPECT_EQ(walk(LWI_OBJECT), (std::vector<std::string>{"Top", "Low"}));

    // New items never get a retired id.
    LWItemID fresh = scene.addObject("Fresh");
    EXPECT_NE(fresh, mid);
    EXPECT_NE(fresh, rig);
}

// ---------------------------------------------------------------- motion

TEST_F(SceneTest, KeysInterpolateLinearlyAndHoldTheirEndValues) {
    LWItemID id = scene.addObject("Keyed");
    scene.setKey(id, hostsim::Motion::Position, 1.0, {0, 0, 0});
    scene.setKey(id, hostsim::Motion::Position, 3.0, {2, 4, -6});
    scene.setKey(id, hostsim::Motion::Rotation, 0.0, {0, 0, 0});
    scene.setKey(id, hostsim::Motion::Rotation, 2.0, {kPi, 0, -kPi});
    const struct {
        double time;
        Vec3 position;
        Vec3 rotation;
    } cases[] = {
        {-5.0, {0, 0, 0}, {0, 0, 0}},        {1.0, {0, 0, 0}, {kPi / 2, 0, -kPi / 2}},
        {1.5, {0.5, 1, -1.5}, {0.75 * kPi, 0, -0.75 * kPi}},
        {3.0, {2, 4, -6}, {kPi, 0, -kPi}},   {99.0, {2, 4, -6}, {kPi, 0, -kPi}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        expectNear(param(id, LWIP_POSITION, c.time), c.position);
        expectNear(param(id, LWIP_ROTATION, c.time), c.rotation);
        expectNear(param(id, LWIP_SCALING, c.time), {1, 1, 1});
    }

    // A key at an existing time replaces it; a static value drops the keys.
    scene.setKey(id, hostsim::Motion::Position, 3.0, {4, 4, 4});
    expectNear(param(id, LWIP_POSITION, 2.0), {2, 2, 2});
    scene.setPosition(id, {7, 8, 9});
    expectNear(param(id, LWIP_POSITION, 2.0), {7, 8, 9});
    EXPECT_THROW(scene.setKey(id, hostsim::Motion::Scaling, NAN, {1, 1, 1}), hostsim::HostError);
    EXPECT_THROW(scene.setPosition(id, {INFINITY, 0, 0}), hostsim::HostError);
}

TEST_F(SceneTest, RotationTurnsBankThenPitchThenHeading) {
    const double q = kPi / 2;
    const struct {
        const char* what;
        Vec3 hpb, right, up, forward;
    } cases[] = {
        {"none", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"heading turns forward towards +X", {q, 0, 0}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        {"pitch turns forward down", {0, q, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
        {"bank turns right up", {0, 0, q}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},
        {"pitch before heading", {q, q, 0}, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}},
        {"bank before heading", {q, 0, q}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {"bank before pitch", {0, q, q}, {0, 0, 1}, {-1, 0, 0}, {0, -1, 0}},
    };
    LWItemID id = scene.addCamera("Turned");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scene.setRotation(id, c.hpb);
        expectNear(param(id, LWIP_RIGHT), c.right);
        expectNear(param(id, LWIP_UP), c.up);
        expectNear(param(id, LWIP_FORWARD), c.forward);
        // Without a parent the world axes are the item's own.
        expectNear(param(id, LWIP_W_FORWARD), c.forward);
    }
}

TEST_F(SceneTest, WorldPositionGoesThroughEveryParentsPivotScaleRotationAndPosition) {
    LWItemID grand = scene.addObject("Grand");
    LWItemID parent = scene.addObject("Parent", grand);
    LWItemID child = scene.addCamera("Child", parent);
    scene.setPosition(child, {1, 1, 0});
    scene.setPivot(child, {5, 5, 5});  // an item's own pivot does not move its position
    scene.setPosition(parent, {10, 0, 0});
    scene.setRotation(parent, {kPi / 2, 0, 0});
    scene.setScaling(parent, {2, 3, 4});
    // (1, 1, 0) scaled to (2, 3, 0), turned to (0, 3, -2), moved to (10, 3, -2).
    expectNear(param(child, LWIP_W_POSITION), {10, 3, -2});

    scene.setPivot(parent, {1, 0, 0});
    expectNear(param(child, LWIP_W_POSITION), {10, 3, 0});
    scene.setPivot(parent, {0, 0, 0});

    // The grandparent pitches everything down by 90 degrees and lifts it.
    scene.setPosition(grand, {0, 5, 0});
    scene.setRotation(grand, {0, kPi / 2, 0});
    expectNear(param(child, LWIP_W_POSITION), {10, 7, 3});
    expectNear(param(parent, LWIP_W_POSITION), {10, 5, 0});
    expectNear(param(grand, LWIP_W_POSITION), {0, 5, 0});
    expectNear(param(child, LWIP_POSITION), {1, 1, 0});

    // Keyed parent motion is taken at the asked time.
    scene.setKey(parent, hostsim::Motion::Position, 0.0, {10, 0, 0});
    scene.setKey(parent, hostsim::Motion::Position, 1.0, {20, 0, 0});
    expectNear(param(child, LWIP_W_POSITION, 0.5), {15, 7, 3});
}

TEST_F(SceneTest, WorldAxesStayOrthonormalAndAgreeWithWorldPositions) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> angle(-kPi, kPi);
    LWItemID a = scene.addObject("A");
    LWItemID b = scene.addObject("B", a);
    LWItemID c = scene.addObject("C", b);
    // A point one unit along C's +X, to compare the two chains.
    LWItemID probe = scene.addObject("Probe", c);
    scene.setPosition(probe, {1, 0, 0});
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        for (LWItemID id : {a, b, c}) {
            scene.setRotation(id, {angle(rng), angle(rng), angle(rng)});
            scene.setPosition(id, {angle(rng), angle(rng), angle(rng)});
        }
        scene.setScaling(a, {2, 2, 2});
        scene.setScaling(b, {1.5, 1.5, 1.5});
        scene.setScaling(c, {0.5, 3, 7});  // C's own scaling bends nothing above it
        const Vec3 right = param(c, LWIP_W_RIGHT), up = param(c, LWIP_W_UP), forward = param(c, LWIP_W_FORWARD);
        expectFrame(right, up, forward);
        expectFrame(param(c, LWIP_RIGHT), param(c, LWIP_UP), param(c, LWIP_FORWARD));

        const Vec3 from = param(c, LWIP_W_POSITION), to = param(probe, LWIP_W_POSITION);
        const double along = 2 * 1.5 * 0.5;  // the scalings between C's axis and the world
        expectNear({to[0] - from[0], to[1] - from[1], to[2] - from[2]},
                   {along * right[0], along * right[1], along * right[2]});

        // Non-uniform scaling above C still leaves its world axes orthonormal.
        scene.setScaling(a, {1, 5, 0.2});
        expectFrame(param(c, LWIP_W_RIGHT), param(c, LWIP_W_UP), param(c, LWIP_W_FORWARD));
    }
}

// ---------------------------------------------------------------- cameras

TEST_F(SceneTest, FieldsOfViewFollowZoomFrameSizeAndPixelAspect) {
    LWItemID cam = scene.addCamera("Camera");
    const struct {
        double zoom;
        int width, height;
        double aspect;
        double horizontal, vertical;
    } cases[] = {
        {1.0, 100, 100, 1.0, kPi / 2, kPi / 2},
        {1.0, 200, 100, 1.0, 2 * std::atan(2.0), kPi / 2},
        {2.0, 640, 480, 1.0, 2 * std::atan(4.0 / 6.0), 2 * std::atan(0.5)},
        {1.0, 100, 100, 0.5, 2 * std::atan(0.5), kPi / 2},
        {3.2, 720, 486, 0.9, 2 * std::atan(720 * 0.9 / 486 / 3.2), 2 * std::atan(1 / 3.2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zoom);
        scene.setZoomFactor(cam, c.zoom);
        scene.setFrameSize(c.width, c.height);
        scene.setPixelAspect(c.aspect);
        double h = -1, v = -1;
        cameras->fovAngles(cam, 0, &h, &v);
        EXPECT_NEAR(h, c.horizontal, kEps);
        EXPECT_NEAR(v, c.vertical, kEps);
    }
}

TEST_F(SceneTest, ZoomKeysAndLensValues) {
    LWItemID cam = scene.addCamera("Camera");
    EXPECT_DOUBLE_EQ(cameras->zoomFactor(cam, 0), 3.2);
    EXPECT_NEAR(cameras->focalLength(cam, 0), 24.0, kEps);  // the default lens

    scene.setZoomKey(cam, 0.0, 2.0);
    scene.setZoomKey(cam, 2.0, 4.0);
    EXPECT_DOUBLE_EQ(cameras->zoomFactor(cam, 1.0), 3.0);
    EXPECT_DOUBLE_EQ(cameras->zoomFactor(cam, 5.0), 4.0);
    EXPECT_NEAR(cameras->focalLength(cam, 1.0), 22.5, kEps);
    double h = 0, v = 0;
    cameras->fovAngles(cam, 1.0, &h, &v);
    EXPECT_NEAR(std::tan(v / 2), 1.0 / 3.0, kEps);

    scene.setLens(cam, {2.5, 8.0, 0.25, 0.02});
    EXPECT_DOUBLE_EQ(cameras->focalDistance(cam, 0), 2.5);
    EXPECT_DOUBLE_EQ(cameras->fStop(cam, 0), 8.0);
    EXPECT_DOUBLE_EQ(cameras->blurLength(cam, 0), 0.25);
    EXPECT_NEAR(cameras->focalLength(cam, 1.0), 30.0, kEps);

    EXPECT_THROW(scene.setZoomFactor(cam, 0.0), hostsim::HostError);
    EXPECT_THROW(scene.setZoomKey(cam, 1.0, -1.0), hostsim::HostError);
    EXPECT_THROW(scene.setZoomFactor(scene.addObject("NotACamera"), 2.0), hostsim::HostError);
    EXPECT_THROW(scene.setLens(cam, {0.0, 4.0, 0.5, 0.015}), hostsim::HostError);
}

TEST_F(SceneTest, RenderCameraDefaultsToTheFirstCamera) {
    EXPECT_EQ(info->renderCamera(0), nullptr);
    scene.addObject("Object");
    LWItemID first = scene.addCamera("First");
    LWItemID second = scene.addCamera("Second");
    EXPECT_EQ(info->renderCamera(0), first);
    scene.setRenderCamera(second);
    EXPECT_EQ(info->renderCamera(3.5), second);
    scene.removeItem(second);
    EXPECT_EQ(info->renderCamera(0), first);
    EXPECT_THROW(scene.setRenderCamera(items->first(LWI_OBJECT, nullptr)), hostsim::HostError);
    scene.removeItem(first);
    EXPECT_EQ(info->renderCamera(0), nullptr);
}

TEST_F(SceneTest, CamerasShareTheScenesFrameAndKeepTheirOwnStereoAndMask) {
    LWItemID cam = scene.addCamera("Camera");
    LWItemID other = scene.addCamera("Other");
    scene.setFrameSize(800, 600);
    scene.setPixelAspect(1.25);
    hostsim::SceneSettings s = scene.settings();
    s.limitedRegion = {1, 2, 30, 40};
    scene.setSettings(s);
    hostsim::CameraView view;
    view.stereo = true;
    view.eyeSeparation = 0.065;
    view.mask = true;
    view.maskRegion = {5, 6, 70, 80};
    view.maskColor = {0.1, 0.2, 0.3};
    scene.setView(cam, view);

    int w = 0, h = 0;
    cameras->resolution(other, &w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_DOUBLE_EQ(cameras->pixelAspect(other, 0), 1.25);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cameras->regionLimits(other, &x0, &y0, &x1, &y1);
    EXPECT_EQ((std::vector<int>{x0, y0, x1, y1}), (std::vector<int>{1, 2, 30, 40}));

    EXPECT_EQ(cameras->flags(cam), unsigned(LWCAMF_STEREO | LWCAMF_MASK));
    EXPECT_EQ(cameras->flags(other), 0u);
    EXPECT_DOUBLE_EQ(cameras->separation(cam, 0), 0.065);
    cameras->maskLimits(cam, &x0, &y0, &x1, &y1);
    EXPECT_EQ((std::vector<int>{x0, y0, x1, y1}), (std::vector<int>{5, 6, 70, 80}));
    Vec3 colour{};
    cameras->maskColor(cam, colour.data());
    expectNear(colour, {0.1, 0.2, 0.3});

    // The limited region is the scene's: every camera reports it when on.
    s.renderOpts = LWROPT_LIMITEDREGION;
    scene.setSettings(s);
    EXPECT_EQ(cameras->flags(other), unsigned(LWCAMF_LIMITED_REGION));
    EXPECT_EQ(cameras->flags(cam), unsigned(LWCAMF_STEREO | LWCAMF_MASK | LWCAMF_LIMITED_REGION));

    hostsim::CameraView bad = view;
    bad.maskRegion = {10, 0, 9, 5};
    EXPECT_THROW(scene.setView(cam, bad), hostsim::HostError);
    bad = view;
    bad.eyeSeparation = -1;
    EXPECT_THROW(scene.setView(cam, bad), hostsim::HostError);
    EXPECT_THROW(scene.setView(scene.addLight("Light"), view), hostsim::HostError);
}

// ---------------------------------------------------------------- tags, flags, motion options

TEST_F(SceneTest, TagsAreNumberedFromOneAndAddedWithZero) {
    LWItemID item = scene.addObject("Tagged");
    EXPECT_EQ(items->getTag(item, 1), nullptr);
    items->setTag(item, 0, "first");
    items->setTag(item, 0, "second");
    const char* first = items->getTag(item, 1);
    for (int i = 0; i < 100; ++i) items->setTag(item, 0, "more");
    EXPECT_EQ(items->getTag(item, 1), first);  // adding tags moves no text
    EXPECT_STREQ(first, "first");
    EXPECT_STREQ(items->getTag(item, 2), "second");
    EXPECT_STREQ(items->getTag(item, 102), "more");
    items->setTag(item, 2, "changed");
    EXPECT_STREQ(items->getTag(item, 2), "changed");

    // Numbers past the end, below 1 and null texts change nothing.
    items->setTag(item, 104, "far");
    items->setTag(item, -1, "below");
    items->setTag(item, 1, nullptr);
    items->setTag(item, 0, nullptr);
    for (int n : {0, -1, 103, 104}) EXPECT_EQ(items->getTag(item, n), nullptr) << n;
    EXPECT_STREQ(items->getTag(item, 1), "first");
    EXPECT_EQ(items->getTag(scene.addObject("Other"), 1), nullptr);  // tags are per item
}

TEST_F(SceneTest, FlagsMotionOptionsAndControllersAsRecorded) {
    LWItemID item = scene.addObject("Item");
    EXPECT_EQ(items->flags(item), unsigned(LWITEMF_ACTIVE));
    scene.setFlags(item, LWITEMF_UNAFFECT_BY_IK | LWITEMF_REACH_GOAL);
    EXPECT_EQ(items->flags(item), unsigned(LWITEMF_UNAFFECT_BY_IK | LWITEMF_REACH_GOAL));
    EXPECT_THROW(scene.setFlags(item, 1u << 5), hostsim::HostError);

    EXPECT_EQ(items->lookAhead(item), 0.0);
    EXPECT_EQ(items->goalStrength(item), 1.0);
    hostsim::MotionOptions o;
    o.lookAhead = 0.5;
    o.goalStrength = 2.5;
    o.positionStiffness = {1, 2, 3};
    o.rotationStiffness = {4, 5, 6};
    scene.setMotionOptions(item, o);
    EXPECT_EQ(items->lookAhead(item), 0.5);
    EXPECT_EQ(items->goalStrength(item), 2.5);
    Vec3 v{};
    items->stiffness(item, LWIP_POSITION, v.data());
    expectNear(v, {1, 2, 3});
    items->stiffness(item, LWIP_ROTATION, v.data());
    expectNear(v, {4, 5, 6});
    items->stiffness(item, LWIP_SCALING, v.data());
    expectNear(v, {0, 0, 0});
    o.lookAhead = -1;
    EXPECT_THROW(scene.setMotionOptions(item, o), hostsim::HostError);
    o.lookAhead = 0;
    o.rotationStiffness = {0, -1, 0};
    EXPECT_THROW(scene.setMotionOptions(item, o), hostsim::HostError);

    // Motion is keyframed only, even towards a target; no servers are applied to items.
    scene.setTarget(item, scene.addObject("Target"));
    for (int p : {LWIP_POSITION, LWIP_ROTATION, LWIP_SCALING}) {
        int type[3] = {9, 9, 9};
        items->controller(item, p, type);
        EXPECT_EQ((std::vector<int>{type[0], type[1], type[2]}), std::vector<int>(3, LWMOTCTL_KEYFRAMES));
    }
    EXPECT_EQ(items->server(item, "ItemMotionHandler", 1), nullptr);
    EXPECT_EQ(items->serverFlags(item, "ItemMotionHandler", 1), 0u);
}

// ---------------------------------------------------------------- channel groups of items

struct Told {
    std::vector<int> events;
    std::vector<void*> data;
};
int tell(void* self, LWChannelID, int event, void* eventData) {
    static_cast<Told*>(self)->events.push_back(event);
    static_cast<Told*>(self)->data.push_back(eventData);
    return 0;
}

TEST_F(SceneTest, EachItemHasAChannelGroupOfItsMotion) {
    const auto* ci = service<LWChannelInfo>(LWCHANNELINFO_GLOBAL);
    LWItemID item = scene.addObject("Mover");
    LWItemID child = scene.addLight("Lamp", item);
    LWChanGroupID group = items->chanGroup(item);
    ASSERT_NE(group, nullptr);
    EXPECT_NE(items->chanGroup(child), group);
    EXPECT_STREQ(ci->groupName(group), "Mover");
    EXPECT_EQ(ci->groupParent(group), nullptr);
    EXPECT_EQ(host.animation().channelNames(group),
              (std::vector<std::string>{"Position.X", "Position.Y", "Position.Z", "Rotation.H", "Rotation.P",
                                        "Rotation.B", "Scale.X", "Scale.Y", "Scale.Z"}));

    // The channels evaluate the motion and have no envelope.
    scene.setKey(item, hostsim::Motion::Position, 0.0, {0, 10, 0});
    scene.setKey(item, hostsim::Motion::Position, 2.0, {4, 10, 0});
    scene.setRotation(item, {0.5, 0.25, 0.125});
    LWChannelID x = host.animation().findChannel(group, "Position.X");
    LWChannelID bank = host.animation().findChannel(group, "Rotation.B");
    LWChannelID sz = host.animation().findChannel(group, "Scale.Z");
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(x, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(bank, 7.0), 0.125);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(sz, 0.0), 1.0);
    EXPECT_EQ(ci->channelType(x), LWET_DISTANCE);
    EXPECT_EQ(ci->channelType(bank), LWET_ANGLE);
    EXPECT_EQ(ci->channelType(sz), LWET_PERCENT);
    EXPECT_EQ(ci->channelEnvelope(x), nullptr);

    // Only the scene destroys an item's group.
    service<LWEnvelopeFuncs>(LWENVELOPEFUNCS_GLOBAL)->destroyGroup(group);
    EXPECT_STREQ(ci->groupName(group), "Mover");

    // Their event functions hear of motion changes, renaming and deletion.
    Told told;
    ci->setChannelEvent(x, tell, &told);
    scene.setPosition(item, {1, 2, 3});
    scene.rename(item, "Moved");
    EXPECT_STREQ(ci->groupName(group), "Moved");
    scene.removeItem(item);
    EXPECT_EQ(told.events, (std::vector<int>{LWCEVNT_VALUE, LWEEVNT_RENAME, LWEEVNT_DESTROY}));
    EXPECT_EQ(told.data[1], group);
    EXPECT_EQ(ci->groupName(group), nullptr);
    EXPECT_EQ(ci->channelName(x), nullptr);
    EXPECT_EQ(items->chanGroup(item), nullptr);
    EXPECT_NE(items->chanGroup(child), nullptr);  // the child survives with its group
}

// ---------------------------------------------------------------- scene values

TEST_F(SceneTest, SceneInfoFollowsTheSettingsAndRefusesImpossibleOnes) {
    EXPECT_STREQ(info->name, "Untitled");
    EXPECT_STREQ(info->filename, "");
    scene.setFrameSize(1920, 1080);
    scene.setPixelAspect(1.5);
    scene.setFrameRange(10, 20, 2);
    scene.setFramesPerSecond(25);
    scene.setNumThreads(8);
    hostsim::SceneSettings s = scene.settings();
    s.name = "Shot";
    s.filename = "/scenes/shot.lws";
    s.numPoints = 8;
    s.numPolygons = 6;
    s.renderOpts = LWROPT_SHADOWTRACE | LWROPT_LIMITEDREGION;
    s.limitedRegion = {10, 20, 300, 400};
    scene.setSettings(s);
    EXPECT_EQ(info->numPoints, 8);
    EXPECT_EQ(info->numPolygons, 6);
    EXPECT_EQ(info->renderOpts, LWROPT_SHADOWTRACE | LWROPT_LIMITEDREGION);
    EXPECT_EQ(info->limitedRegion[2], 300);
    EXPECT_EQ(info->frameWidth, 1920);
    EXPECT_EQ(info->frameHeight, 1080);
    EXPECT_DOUBLE_EQ(info->pixelAspect, 1.5);
    EXPECT_EQ(info->frameStart, 10);
    EXPECT_EQ(info->frameEnd, 20);
    EXPECT_EQ(info->frameStep, 2);
    EXPECT_DOUBLE_EQ(info->framesPerSecond, 25);
    EXPECT_EQ(info->numThreads, 8);
    EXPECT_STREQ(info->name, "Shot");
    EXPECT_STREQ(info->filename, "/scenes/shot.lws");

    const struct {
        const char* what;
        void (*spoil)(hostsim::SceneSettings&);
    } refused[] = {
        {"no width", [](hostsim::SceneSettings& x) { x.frameWidth = 0; }},
        {"negative height", [](hostsim::SceneSettings& x) { x.frameHeight = -4; }},
        {"zero aspect", [](hostsim::SceneSettings& x) { x.pixelAspect = 0; }},
        {"nan aspect", [](hostsim::SceneSettings& x) { x.pixelAspect = NAN; }},
        {"zero rate", [](hostsim::SceneSettings& x) { x.framesPerSecond = 0; }},
        {"zero step", [](hostsim::SceneSettings& x) { x.frameStep = 0; }},
        {"no threads", [](hostsim::SceneSettings& x) { x.numThreads = 0; }},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        hostsim::SceneSettings bad = scene.settings();
        bad.name = "Spoilt";
        r.spoil(bad);
        EXPECT_THROW(scene.setSettings(bad), hostsim::HostError);
        EXPECT_STREQ(info->name, "Shot");
        EXPECT_EQ(info->frameWidth, 1920);
    }
}

// ---------------------------------------------------------------- null and stale ids

TEST_F(SceneTest, NullAndStaleIdsAnswerEmptyEverywhere) {
    LWItemID gone = scene.addCamera("Gone");
    scene.removeItem(gone);
    LWTextureID texture = host.textures().create(TRT_SCALAR, "T", nullptr, nullptr);
    LWItemID object = scene.addObject("Object");
    const LWItemID ids[] = {nullptr, gone, reinterpret_cast<LWItemID>(texture), reinterpret_cast<LWItemID>(0x1234)};
    for (LWItemID id : ids) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(id));
        EXPECT_EQ(items->next(id), nullptr);
        EXPECT_EQ(items->firstChild(id), nullptr);
        EXPECT_EQ(items->nextChild(id, object), nullptr);
        EXPECT_EQ(items->parent(id), nullptr);
        EXPECT_EQ(items->target(id), nullptr);
        EXPECT_EQ(items->goal(id), nullptr);
        EXPECT_EQ(items->type(id), -1);
        EXPECT_EQ(items->name(id), nullptr);
        for (int p = LWIP_POSITION; p <= LWIP_W_FORWARD; ++p) expectNear(param(id, p), {0, 0, 0});
        items->param(id, LWIP_POSITION, 0, nullptr);
        EXPECT_EQ(cameras->zoomFactor(id, 0), 0.0);
        EXPECT_EQ(cameras->focalLength(id, 0), 0.0);
        EXPECT_EQ(cameras->fStop(id, 0), 0.0);
        double h = 1, v = 1;
        cameras->fovAngles(id, 0, &h, &v);
        EXPECT_EQ(h, 0.0);
        EXPECT_EQ(v, 0.0);
        EXPECT_EQ(items->getTag(id, 1), nullptr);
        items->setTag(id, 0, "lost");
        EXPECT_EQ(items->chanGroup(id), nullptr);
        EXPECT_EQ(items->flags(id), 0u);
        EXPECT_EQ(items->lookAhead(id), 0.0);
        EXPECT_EQ(items->goalStrength(id), 0.0);
        Vec3 stiff{7, 7, 7};
        items->stiffness(id, LWIP_ROTATION, stiff.data());
        expectNear(stiff, {0, 0, 0});
        EXPECT_EQ(cameras->flags(id), 0u);
        int w = 1, hgt = 1, x0 = 1, y0 = 1, x1 = 1, y1 = 1;
        cameras->resolution(id, &w, &hgt);
        EXPECT_EQ(w + hgt, 0);
        EXPECT_EQ(cameras->pixelAspect(id, 0), 0.0);
        EXPECT_EQ(cameras->separation(id, 0), 0.0);
        cameras->regionLimits(id, &x0, &y0, &x1, &y1);
        EXPECT_EQ(x0 + y0 + x1 + y1, 0);
        x0 = y0 = x1 = y1 = 1;
        cameras->maskLimits(id, &x0, &y0, &x1, &y1);
        EXPECT_EQ(x0 + y0 + x1 + y1, 0);
        Vec3 colour{7, 7, 7};
        cameras->maskColor(id, colour.data());
        expectNear(colour, {0, 0, 0});
    }
    // An object is no camera; unknown parameters write zeros; null outputs are skipped.
    EXPECT_EQ(cameras->zoomFactor(object, 0), 0.0);
    EXPECT_EQ(cameras->flags(object), 0u);
    for (int p : {0, 13, -1}) expectNear(param(object, p), {0, 0, 0});
    LWItemID cam = scene.addCamera("Cam");
    cameras->fovAngles(cam, 0, nullptr, nullptr);
    cameras->resolution(cam, nullptr, nullptr);
    cameras->regionLimits(cam, nullptr, nullptr, nullptr, nullptr);
    cameras->maskLimits(cam, nullptr, nullptr, nullptr, nullptr);
    cameras->maskColor(cam, nullptr);
    items->controller(object, LWIP_POSITION, nullptr);
    items->stiffness(object, LWIP_POSITION, nullptr);
    Vec3 lo{5, 5, 5}, hi{6, 6, 6};
    EXPECT_EQ(items->limits(object, LWIP_POSITION, lo.data(), hi.data()), 0u);
    expectNear(lo, {5, 5, 5});

}

// ---------------------------------------------------------------- instance updates and commands

TEST_F(SceneTest, InstanceUpdatesAreRecorded) {
    auto* update = reinterpret_cast<LWInstUpdate*>(hostsim::Host::lookupFunction()(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT));
    ASSERT_NE(update, nullptr);
    int a = 0, b = 0;
    update("TextureHandler", &a);
    update(nullptr, &b);
    const auto log = scene.instanceUpdates();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].className, "TextureHandler");
    EXPECT_EQ(log[0].instance, &a);
    EXPECT_EQ(log[1].className, "");
    EXPECT_EQ(log[1].instance, &b);
    scene.clearRecords();
    EXPECT_TRUE(scene.instanceUpdates().empty());
}

TEST_F(SceneTest, SceneCommandsRunCheckTheirArgumentsAndAreRecorded) {
    auto* command = reinterpret_cast<LWCommandFunc*>(
        hostsim::Host::lookupFunction()(LWCOMMANDFUNC_GLOBAL, GFUSE_TRANSIENT));
    ASSERT_NE(command, nullptr);
    const struct {
        const char* text;
        int result;
    } cases[] = {
        {"GoToFrame 12", 1},      {"  FrameSize 320 240 ", 1}, {"PixelAspect 2.5", 1},
        {"FirstFrame -3", 1},     {"LastFrame 90", 1},         {"FrameStep 3", 1},
        {"GoToFrame", 0},         {"GoToFrame 1x", 0},         {"GoToFrame 1 2", 0},
        {"FrameSize 0 240", 0},   {"FrameSize 320", 0},        {"PixelAspect -1", 0},
        {"FrameStep 0", 0},       {"gotoframe 3", 0},          {"NoSuchCommand", 0},
        {"", 0},                  {"Generic_", 0},             {"Generic_Nobody", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(command(c.text), c.result) << c.text;
    EXPECT_EQ(command(nullptr), 0);

    EXPECT_EQ(scene.currentFrame(), 12);
    const hostsim::SceneSettings s = scene.settings();
    EXPECT_EQ(s.frameWidth, 320);
    EXPECT_EQ(s.frameHeight, 240);
    EXPECT_DOUBLE_EQ(s.pixelAspect, 2.5);
    EXPECT_EQ(s.frameStart, -3);
    EXPECT_EQ(s.frameEnd, 90);
    EXPECT_EQ(s.frameStep, 3);

    const auto log = scene.commands();
    ASSERT_EQ(log.size(), std::size(cases));  // the null text is not recorded
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].text, cases[i].text);
        EXPECT_EQ(log[i].result, cases[i].result);
    }
}

TEST_F(SceneTest, GenericCommandsActivateLayoutGenericServers) {
    auto* command = reinterpret_cast<LWCommandFunc*>(
        hostsim::Host::lookupFunction()(LWCOMMANDFUNC_GLOBAL, GFUSE_TRANSIENT));
    EXPECT_EQ(command("Generic_Commander"), 0);  // no module serves it yet
    host.loadModule(fixture("commands"));
    scene.clearRecords();

    // The server runs commands of its own through its local record.
    EXPECT_EQ(command("Generic_Commander"), 1);
    EXPECT_EQ(scene.currentFrame(), 42);
    const auto log = scene.commands();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].text, "Generic_Commander");
    EXPECT_EQ(log[0].result, 1);
    EXPECT_EQ(log[1].text, "GoToFrame 42");
    EXPECT_EQ(log[1].result, 1);
    EXPECT_EQ(log[2].text, "NoSuchCommand 1");
    EXPECT_EQ(log[2].result, 0);

    EXPECT_EQ(command("Generic_Refuser"), 0);           // activation failed
    // What follows the server's name reaches it as its arguments.
    EXPECT_EQ(command("Generic_Commander  GoToFrame 7"), 1);
    EXPECT_EQ(scene.currentFrame(), 7);
    EXPECT_EQ(command("Generic_Commander GoToFrame x"), 0);
}

}  // namespace
