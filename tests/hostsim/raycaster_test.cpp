#include "raycaster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <numbers>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "host.h"
#include "lwrender.h"
#include "scene.h"

namespace {

using hostsim::HostError;
using hostsim::Mesh;
using hostsim::SurfaceHit;
using V3 = std::array<double, 3>;
constexpr double kPi = std::numbers::pi;

V3 add(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 scale(const V3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 cross(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double length(const V3& a) { return std::sqrt(dot(a, a)); }
V3 v3(const double* p) { return {p[0], p[1], p[2]}; }
V3 place(const hostsim::ItemTransform& t, const V3& p) {
    return add(add(add(scale(t.axes[0], p[0]), scale(t.axes[1], p[1])), scale(t.axes[2], p[2])), t.origin);
}
void expectNear(const V3& actual, const V3& expected, double eps) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], eps) << "component " << i;
}

// The byte a linear colour component is written as.
uint8_t byteOf(double c) { return uint8_t(std::lround(std::pow(std::clamp(c, 0.0, 1.0), 1 / 2.2) * 255)); }

// A scene with a camera on -Z looking at the origin, and the hits each
// pixel's shader call saw.
class Render : public testing::Test {
protected:
    Render() {
        camera = scene.addCamera("Camera");
        scene.setPosition(camera, {0, 0, -5});
        settings.width = 101;
        settings.height = 81;
        settings.threads = 2;
        settings.background = {0, 0, 0};
    }

    LWItemID addMesh(const std::string& name, Mesh mesh, LWItemID parent = nullptr) {
        const LWItemID object = scene.addObject(name, parent);
        geometry.setMesh(object, std::make_shared<const Mesh>(std::move(mesh)));
        return object;
    }

    // Renders with a shader that records every hit and answers white.
    hostsim::Canvas run() {
        hits.assign(size_t(settings.width) * settings.height, std::nullopt);
        return hostsim::render(scene, geometry, settings, [this](const SurfaceHit& hit, hostsim::SurfaceValues& v, int) {
            hits[size_t(hit.y) * settings.width + hit.x] = hit;
            v.colour = {1, 1, 1};
        }, &stats);
    }
    const std::optional<SurfaceHit>& hitAt(int x, int y) const { return hits[size_t(y) * settings.width + x]; }

    // The ray the camera casts through a pixel's centre.
    V3 rayThrough(int x, int y) const {
        const double z = scene.zoomFactor(camera, settings.time);
        const double aspect = settings.width * scene.settings().pixelAspect / settings.height;
        const double nx = 2 * (x + 0.5) / settings.width - 1, ny = 1 - 2 * (y + 0.5) / settings.height;
        V3 d = add(scene.param(camera, LWIP_W_FORWARD, settings.time),
                   add(scale(scene.param(camera, LWIP_W_RIGHT, settings.time), nx * aspect / z),
                       scale(scene.param(camera, LWIP_W_UP, settings.time), ny / z)));
        return scale(d, 1 / length(d));
    }

    hostsim::Scene scene;
    hostsim::Geometry geometry;
    hostsim::RenderSettings settings;
    hostsim::RenderStats stats;
    LWItemID camera;
    std::vector<std::optional<SurfaceHit>> hits;
};

TEST_F(Render, SphereAtTheCentreFillsTheMiddleOfTheImage) {
    const LWItemID sphere = addMesh("Sphere", hostsim::makeSphere(1, 32, 16));
    const hostsim::Canvas image = run();
    const auto& mid = hitAt(50, 40);
    ASSERT_TRUE(mid);
    EXPECT_EQ(mid->object, sphere);
    ASSERT_NE(mid->surface, nullptr);
    expectNear(v3(mid->world), {0, 0, -1}, 1e-9);
    expectNear(v3(mid->local), {0, 0, -1}, 1e-9);
    expectNear(v3(mid->normal), {0, 0, -1}, 1e-9);
    EXPECT_NEAR(mid->uv[0], 0.5, 1e-9);
    EXPECT_NEAR(mid->uv[1], 0.5, 1e-9);
    EXPECT_NEAR(mid->distance, 4, 1e-9);
    EXPECT_EQ(mid->x, 50);
    EXPECT_EQ(mid->y, 40);
    // Corners miss; the lit centre is white with the light at the camera.
    EXPECT_FALSE(hitAt(0, 0));
    EXPECT_EQ(image.pixel(0, 0), (hostsim::Rgb{0, 0, 0}));
    EXPECT_EQ(image.pixel(50, 40), (hostsim::Rgb{255, 255, 255}));
    // Stats count one ray per pixel and the hits the shader saw.
    EXPECT_EQ(stats.rays, uint64_t(101 * 81));
    uint64_t seen = 0;
    for (const auto& h : hits) seen += h.has_value();
    EXPECT_EQ(stats.hits, seen);
    EXPECT_GT(seen, 0u);
    EXPECT_GT(stats.seconds, 0);
}

// Each pixel's ray, per the camera model, against a plane facing the
// camera: where it lands, across the frame, with a zoom and a pixel aspect
// that are not 1, and row 0 at the top.
TEST_F(Render, RaysFollowZoomAspectAndRowOrder) {
    scene.setZoomFactor(camera, 2);
    scene.setPixelAspect(1.5);
    const LWItemID wall = addMesh("Wall", hostsim::makePlane(100, 100));
    scene.setRotation(wall, {0, kPi / 2, 0});  // pitched up: facing -Z
    scene.setPosition(wall, {0, 0, 5});
    run();
    const double aspect = 101 * 1.5 / 81;
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {100, 0}, {0, 80}, {100, 80}, {50, 40}, {7, 61}}) {
        const auto& h = hitAt(x, y);
        ASSERT_TRUE(h) << x << "," << y;
        const double nx = 2 * (x + 0.5) / 101 - 1, ny = 1 - 2 * (y + 0.5) / 81;
        expectNear(v3(h->world), {nx * aspect / 2 * 10, ny / 2 * 10, 5}, 1e-9);
        expectNear(v3(h->normal), {0, 0, -1}, 1e-12);
        EXPECT_NEAR(h->distance, length(sub(v3(h->world), {0, 0, -5})), 1e-9);
        // The pixel's angular size times the distance.
        EXPECT_NEAR(h->spotSize, h->distance * 2 * std::atan(0.5) / 81, 1e-12);
    }
    EXPECT_GT(hitAt(100, 0)->world[0], 0);  // right is +X
    EXPECT_GT(hitAt(0, 0)->world[1], 0);    // top is +Y
}

TEST_F(Render, CameraMotionAndParentsMoveTheView) {
    // The camera, parented to a turned rig, looks along the rig's +X.
    const LWItemID rig = scene.addObject("Rig");
    scene.setRotation(rig, {kPi / 2, 0, 0});
    scene.setParent(camera, rig);
    scene.setPosition(camera, {0, 0, 0});
    scene.setKey(rig, hostsim::Motion::Position, 0, {-5, 0, 0});
    scene.setKey(rig, hostsim::Motion::Position, 1, {-5, 0, 2});
    const LWItemID sphere = addMesh("Sphere", hostsim::makeSphere(1, 32, 16));
    scene.setPosition(sphere, {0, 0, 2});
    settings.time = 1;
    run();
    const auto& mid = hitAt(50, 40);
    ASSERT_TRUE(mid);
    expectNear(v3(mid->world), {-1, 0, 2}, 1e-9);
    expectNear(v3(mid->local), {-1, 0, 0}, 1e-9);
    EXPECT_NEAR(mid->uv[0], 0.25, 1e-9);
    settings.time = 0;  // the sphere is off to the camera's left then
    run();
    EXPECT_FALSE(hitAt(50, 40));
}

// Object placement: position, rotation, scaling and pivot of the object and
// of its parents. The hit's local point must map to its world point by the
// object's world transform, and the normal must stay perpendicular to the
// surface under scaling that is not uniform.
TEST_F(Render, ObjectsArePlacedByTheirWholeParentChain) {
    const LWItemID parent = scene.addObject("Parent");
    scene.setPosition(parent, {-6, 0, 10});
    scene.setRotation(parent, {kPi / 2, 0, 0});
    scene.setScaling(parent, {2, 2, 2});
    const LWItemID sphere = addMesh("Sphere", hostsim::makeSphere(1, 64, 32), parent);
    scene.setPosition(sphere, {0, 0, 3});
    scene.setPivot(sphere, {0, 0, 0});
    scene.setPosition(camera, {0, 0, 0});
    run();
    // The sphere of radius 2 sits at (0, 0, 10); its local +X faces the camera.
    const auto& mid = hitAt(50, 40);
    ASSERT_TRUE(mid);
    EXPECT_NEAR(mid->distance, 8, 1e-9);
    expectNear(v3(mid->local), {1, 0, 0}, 1e-9);
    expectNear(v3(mid->normal), {0, 0, -1}, 1e-9);
    EXPECT_NEAR(mid->uv[0], 0.75, 1e-9);
    EXPECT_NEAR(mid->uv[1], 0.5, 1e-9);

    // A pivot moves the mesh against its position: half a unit along the
    // child's +X, which the turned parent points away from the camera.
    scene.setPivot(sphere, {0.5, 0, 0});
    run();
    ASSERT_TRUE(hitAt(50, 40));
    EXPECT_NEAR(hitAt(50, 40)->distance, 9, 1e-9);
    expectNear(v3(hitAt(50, 40)->local), {1, 0, 0}, 1e-9);

    // Stretched by the parent along an axis the child is turned against.
    geometry.remove(sphere);
    scene.setScaling(parent, {4, 1, 1});
    scene.setRotation(parent, {0, 0, 0});
    scene.setPosition(parent, {0, 0, 6});
    const LWItemID box = addMesh("Box", hostsim::makeBox(1, 1, 1), parent);
    scene.setPosition(box, {0, 0, 0});
    scene.setPivot(box, {0, 0, 0});
    scene.setRotation(box, {kPi / 5, 0.3, 0.2});
    run();
    const hostsim::ItemTransform t = scene.worldTransform(box, 0);
    int checked = 0;
    for (const auto& h : hits) {
        if (!h) continue;
        expectNear(place(t, v3(h->local)), v3(h->world), 1e-9);
        // The face: the local axis at ±0.5; the normal is perpendicular to
        // the two world axes along that face.
        int face = 0;
        for (int c = 1; c < 3; ++c)
            if (std::abs(h->local[c]) > std::abs(h->local[face])) face = c;
        EXPECT_NEAR(dot(v3(h->normal), t.axes[(face + 1) % 3]), 0, 1e-9);
        EXPECT_NEAR(dot(v3(h->normal), t.axes[(face + 2) % 3]), 0, 1e-9);
        EXPECT_LT(dot(v3(h->normal), rayThrough(h->x, h->y)), 0);
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST_F(Render, WorldTransformAgreesWithItemPositions) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-2, 2), positive(0.3, 2);
    LWItemID parent = nullptr;
    for (int level = 0; level < 4; ++level) {
        const LWItemID item = scene.addObject("Level", parent);
        scene.setPosition(item, {any(rng), any(rng), any(rng)});
        scene.setRotation(item, {any(rng), any(rng), any(rng)});
        scene.setScaling(item, {positive(rng), positive(rng), positive(rng)});
        const V3 pivot{any(rng), any(rng), any(rng)};
        scene.setPivot(item, pivot);
        const hostsim::ItemTransform t = scene.worldTransform(item, 0);
        // The pivot lies at the item's world position, and so does any point
        // of the item's space at a child placed there.
        expectNear(place(t, pivot), scene.param(item, LWIP_W_POSITION, 0), 1e-9);
        const V3 p{any(rng), any(rng), any(rng)};
        const LWItemID probe = scene.addLight("Probe", item);
        scene.setPosition(probe, p);
        expectNear(place(t, p), scene.param(probe, LWIP_W_POSITION, 0), 1e-9);
        scene.removeItem(probe);
        if (level == 0) {
            const V3 s = scene.param(item, LWIP_SCALING, 0);
            expectNear(t.axes[0], scale(scene.param(item, LWIP_W_RIGHT, 0), s[0]), 1e-12);
            expectNear(t.axes[1], scale(scene.param(item, LWIP_W_UP, 0), s[1]), 1e-12);
            expectNear(t.axes[2], scale(scene.param(item, LWIP_W_FORWARD, 0), s[2]), 1e-12);
        }
        parent = item;
    }
    const hostsim::ItemTransform none = scene.worldTransform(nullptr, 0);
    EXPECT_EQ(none.origin, (V3{0, 0, 0}));
    EXPECT_EQ(none.axes[1], (V3{0, 1, 0}));
}

// Closest hits against a brute-force cast over a soup of random triangles in
// several objects: checks the hierarchy finds the nearest triangle everywhere.
TEST_F(Render, FindsTheClosestOfManyTriangles) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> spot(-2, 2), size(-0.4, 0.4);
    std::vector<std::array<V3, 3>> world;
    for (int o = 0; o < 3; ++o) {
        Mesh m;
        for (int t = 0; t < 3000; ++t) {
            const V3 c{spot(rng), spot(rng), spot(rng)};
            for (int k = 0; k < 3; ++k) {
                m.positions.push_back({c[0] + size(rng), c[1] + size(rng), c[2] + size(rng)});
                m.normals.push_back({0, 1, 0});
                m.uvs.push_back({0, 0});
            }
            const uint32_t b = uint32_t(3 * t);
            m.triangles.push_back({b, b + 1, b + 2});
        }
        const LWItemID object = addMesh("Soup", m);
        scene.setPosition(object, {0.5 * o, 0, 0});
        scene.setScaling(object, {1, 1.0 + o, 1});
        const auto t = scene.worldTransform(object, 0);
        for (const auto& tri : m.triangles)
            world.push_back({place(t, m.positions[tri[0]]), place(t, m.positions[tri[1]]), place(t, m.positions[tri[2]])});
    }
    settings.width = settings.height = 48;
    run();
    const V3 eye{0, 0, -5};
    int hitsSeen = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const V3 d = rayThrough(x, y);
            double best = HUGE_VAL;
            for (const auto& tri : world) {
                const V3 e1 = sub(tri[1], tri[0]), e2 = sub(tri[2], tri[0]);
                const V3 p = cross(d, e2);
                const double det = dot(e1, p);
                if (det == 0) continue;
                const V3 s = sub(eye, tri[0]);
                const double u = dot(s, p) / det;
                const V3 q = cross(s, e1);
                const double v = dot(d, q) / det;
                const double t = dot(e2, q) / det;
                if (u >= 0 && v >= 0 && u + v <= 1 && t > 0) best = std::min(best, t);
            }
            const auto& h = hitAt(x, y);
            ASSERT_EQ(h.has_value(), best != HUGE_VAL) << x << "," << y;
            if (h) {
                EXPECT_NEAR(h->distance, best, 1e-9) << x << "," << y;
                ++hitsSeen;
            }
        }
    }
    EXPECT_GT(hitsSeen, 48 * 48 / 2);
}

TEST_F(Render, LightsSurfacesAndBackground) {
    const LWItemID sphere = addMesh("Sphere", hostsim::makeSphere(1, 32, 16));
    const auto centre = [&](const std::array<double, 3>& base) {
        return hostsim::render(scene, geometry, settings, [&](const SurfaceHit&, hostsim::SurfaceValues& v, int) {
                   v.colour = base;
               }).pixel(50, 40);
    };
    // No lights: one at the camera, straight on.
    EXPECT_EQ(centre({0.5, 0.2, 0}), (hostsim::Rgb{byteOf(0.5 * 1.15), byteOf(0.2 * 1.15), 0}));
    // A surface's diffuse scales the ambient and the light alike.
    geometry.setSurface(sphere, {.name = "Half", .diffuse = 0.5});
    EXPECT_EQ(centre({0.5, 0.5, 0.5}), (hostsim::Rgb{byteOf(0.25 * 1.15), byteOf(0.25 * 1.15), byteOf(0.25 * 1.15)}));
    // A light behind the sphere leaves the front to the ambient light; a
    // second light at 60 degrees adds its cosine.
    geometry.setSurface(sphere, {});
    const LWItemID back = scene.addLight("Back");
    scene.setPosition(back, {0, 0, 100});
    EXPECT_EQ(centre({1, 1, 1}), (hostsim::Rgb{byteOf(0.15), byteOf(0.15), byteOf(0.15)}));
    const LWItemID side = scene.addLight("Side");
    scene.setPosition(side, {1e6 * std::sin(kPi / 3), 0, -1 - 1e6 * std::cos(kPi / 3)});
    EXPECT_EQ(centre({0.4, 0.4, 0.4}).r, byteOf(0.4 * 0.65));
    // Without a shader the surface's own colour is used.
    geometry.setSurface(sphere, {.name = "Red", .colour = {0.6, 0, 0}});
    scene.removeItem(back);
    scene.removeItem(side);
    EXPECT_EQ(hostsim::render(scene, geometry, settings, {}).pixel(50, 40), (hostsim::Rgb{byteOf(0.6 * 1.15), 0, 0}));

    // Misses show the background, written like any colour.
    settings.background = {1, 0.5, 0};
    const hostsim::Canvas image = hostsim::render(scene, geometry, settings, {});
    EXPECT_EQ(image.pixel(0, 0), (hostsim::Rgb{255, byteOf(0.5), 0}));
}

TEST_F(Render, EmptySceneShowsOnlyTheBackground) {
    settings.background = {0.2, 0.4, 0.6};
    // An object without a mesh, and a mesh of an item no longer in the scene.
    scene.addObject("Null");
    const LWItemID gone = addMesh("Gone", hostsim::makeSphere(1));
    scene.removeItem(gone);
    hostsim::RenderStats s;
    const hostsim::Canvas image = hostsim::render(scene, geometry, settings, {}, &s);
    EXPECT_EQ(image.count({byteOf(0.2), byteOf(0.4), byteOf(0.6)}), 101 * 81);
    EXPECT_EQ(s.rays, uint64_t(101 * 81));
    EXPECT_EQ(s.hits, 0u);
}

TEST_F(Render, ThreadCountDoesNotChangeTheImage) {
    addMesh("Sphere", hostsim::makeSphere(1, 48, 24));
    const LWItemID box = addMesh("Box", hostsim::makeBox(1, 1, 1));
    scene.setPosition(box, {1, 0.5, -1});
    scene.setPosition(scene.addLight("Key"), {-3, 4, -6});
    settings.width = 97;  // tiles cut at the edges
    settings.height = 45;
    std::vector<std::vector<uint8_t>> images;
    for (const int threads : {1, 3, 8}) {
        settings.threads = threads;
        std::mutex m;
        std::vector<int> seen;
        const hostsim::Canvas image =
            hostsim::render(scene, geometry, settings, [&](const SurfaceHit& h, hostsim::SurfaceValues& v, int thread) {
                {
                    std::lock_guard lock(m);
                    seen.push_back(thread);
                }
                v.colour = {h.uv[0], h.uv[1], h.local[0] + 0.5};
            });
        for (const int t : seen) {
            EXPECT_GE(t, 0);
            EXPECT_LT(t, threads);
        }
        images.push_back(image.rgb());
    }
    EXPECT_EQ(images[0], images[1]);
    EXPECT_EQ(images[0], images[2]);
}

TEST_F(Render, ReportsProgressInOrderUpToTheEnd) {
    addMesh("Sphere", hostsim::makeSphere(1));
    settings.width = 640;
    settings.height = 480;
    settings.threads = 4;
    std::vector<double> reports;
    bool overlapping = false;
    std::atomic<int> inside{0};
    hostsim::render(scene, geometry, settings, {}, nullptr, [&](double done) {
        if (inside.fetch_add(1) != 0) overlapping = true;
        reports.push_back(done);
        inside.fetch_sub(1);
    });
    ASSERT_FALSE(reports.empty());
    EXPECT_FALSE(overlapping);
    EXPECT_LE(reports.size(), 101u);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_GT(reports.front(), 0);
    EXPECT_EQ(reports.back(), 1.0);
}

TEST_F(Render, RefusesWhatItCannotRender) {
    addMesh("Sphere", hostsim::makeSphere(1));
    const auto expectError = [&](const hostsim::RenderSettings& s, const std::string& text) {
        try {
            hostsim::render(scene, geometry, s, {});
            ADD_FAILURE() << "no error for " << text;
        } catch (const HostError& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
    };
    hostsim::RenderSettings s = settings;
    s.width = 0;
    expectError(s, "image size");
    s = settings;
    s.height = hostsim::Canvas::kMaxSide + 1;
    expectError(s, "image size");
    s = settings;
    s.threads = -1;
    expectError(s, "thread");
    s = settings;
    s.maxBounces = -1;
    expectError(s, "bounce");

    // A mesh whose triangle names a vertex it does not have.
    Mesh broken = hostsim::makeBox(1, 1, 1);
    broken.triangles.push_back({0, 1, 99});
    addMesh("Broken", broken);
    expectError(settings, "Broken");

    hostsim::Scene empty;
    EXPECT_THROW(hostsim::render(empty, geometry, settings, {}), HostError);
    try {
        hostsim::render(empty, geometry, settings, {});
    } catch (const HostError& e) {
        EXPECT_STREQ(e.what(), "the scene has no camera");
    }
}

TEST_F(Render, AShaderFailureStopsTheRenderAndIsRethrown) {
    addMesh("Sphere", hostsim::makeSphere(1));
    settings.threads = 4;
    std::atomic<int> calls{0};
    EXPECT_THROW(hostsim::render(scene, geometry, settings,
                                 [&](const SurfaceHit&, hostsim::SurfaceValues&, int) {
                                     if (++calls == 10) throw std::runtime_error("texture failed");
                                 }),
                 std::runtime_error);
    // Meshes lacking normals or UVs render flat with UV 0, 0.
    geometry.clear();
    Mesh bare = hostsim::makeSphere(1, 16, 8);
    bare.normals.clear();
    bare.uvs.clear();
    addMesh("Bare", bare);
    run();
    ASSERT_TRUE(hitAt(50, 40));
    EXPECT_EQ(hitAt(50, 40)->uv[0], 0);
    EXPECT_NEAR(length(v3(hitAt(50, 40)->normal)), 1, 1e-12);
    EXPECT_LT(hitAt(50, 40)->normal[2], -0.9);
}

// Every hit describes its triangle: the vertices in the mesh's order, their
// world positions and weights, the ray and where it came from.
TEST_F(Render, HitsDescribeTheirTriangle) {
    const LWItemID box = addMesh("Box", hostsim::makeBox(1, 1, 1));
    scene.setRotation(box, {kPi / 5, 0.3, 0.2});
    scene.setScaling(box, {2, 1, 0.5});
    run();
    const hostsim::ItemTransform t = scene.worldTransform(box, 0);
    const auto mesh = geometry.mesh(box);
    int checked = 0;
    for (const auto& h : hits) {
        if (!h) continue;
        ASSERT_LT(h->polygon, mesh->triangles.size());
        EXPECT_EQ(h->vertices, mesh->triangles[h->polygon]);
        EXPECT_NEAR(h->weights[0] + h->weights[1] + h->weights[2], 1, 1e-12);
        V3 weighted{0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(h->weights[k], -1e-9);
            expectNear(h->vertexWorld[k], place(t, mesh->positions[h->vertices[k]]), 1e-12);
            weighted = add(weighted, scale(h->vertexWorld[k], h->weights[k]));
        }
        expectNear(weighted, v3(h->world), 1e-9);
        EXPECT_EQ(h->transform.axes, t.axes);
        EXPECT_EQ(h->transform.origin, t.origin);
        expectNear(v3(h->rayOrigin), {0, 0, -5}, 0);
        expectNear(v3(h->rayDirection), rayThrough(h->x, h->y), 1e-12);
        EXPECT_EQ(h->source, camera);
        EXPECT_EQ(h->bounce, 0);
        // The geometric normal: unit, across both edges, facing the ray.
        const V3 g = v3(h->geometric);
        EXPECT_NEAR(length(g), 1, 1e-12);
        EXPECT_NEAR(dot(g, sub(h->vertexWorld[1], h->vertexWorld[0])), 0, 1e-9);
        EXPECT_NEAR(dot(g, sub(h->vertexWorld[2], h->vertexWorld[0])), 0, 1e-9);
        EXPECT_LT(dot(g, v3(h->rayDirection)), 0);
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

// Colours are written as lround(c^(1 / 2.2) * 255), also right at the
// values where the byte steps.
TEST_F(Render, WritesEveryColourAsItsGammaByte) {
    settings.width = settings.height = 1;
    std::vector<double> values{0, -1, 1, 2, 1e-300, std::nan(""), 0.5};
    for (int b = 1; b < 256; ++b) {
        double c = std::pow((b - 0.5) / 255, 2.2);
        for (int k = 0; k < 3; ++k) c = std::nextafter(c, 0.0);
        for (int k = 0; k < 7; ++k, c = std::nextafter(c, 1.0)) values.push_back(c);
    }
    for (size_t i = 0; i + 2 < values.size(); i += 3) {
        settings.background = {values[i], values[i + 1], values[i + 2]};
        const hostsim::Rgb p = hostsim::render(scene, geometry, settings, {}).pixel(0, 0);
        ASSERT_EQ(p.r, byteOf(values[i])) << values[i];
        ASSERT_EQ(p.g, byteOf(values[i + 1])) << values[i + 1];
        ASSERT_EQ(p.b, byteOf(values[i + 2])) << values[i + 2];
    }
}

// ---------------------------------------------------------------- lighting

// One pixel at a time: the centre of a sphere straight ahead (normal and
// light at the camera along the view), or a little off it.
class Lighting : public Render {
protected:
    Lighting() { sphere = addMesh("Sphere", hostsim::makeSphere(1, 32, 16)); }
    hostsim::Rgb pixel(const hostsim::Surface& surface, int x = 50, int y = 40) {
        geometry.setSurface(sphere, surface);
        return hostsim::render(scene, geometry, settings, shader, &stats).pixel(x, y);
    }
    static hostsim::Rgb bytes(const V3& c) { return {byteOf(c[0]), byteOf(c[1]), byteOf(c[2])}; }
    LWItemID sphere;
    hostsim::SurfaceShader shader;
};

TEST_F(Lighting, ALuminousSurfaceWithoutDiffuseShowsItsColour) {
    const hostsim::Surface glowing{.name = "Glow", .colour = {0.2, 0.4, 0.6}, .luminosity = 1, .diffuse = 0};
    EXPECT_EQ(pixel(glowing), bytes({0.2, 0.4, 0.6}));
    scene.setPosition(scene.addLight("Key"), {3, 3, -3});  // lights change nothing
    EXPECT_EQ(pixel(glowing), bytes({0.2, 0.4, 0.6}));
    // Half luminous, half diffuse: both add.
    EXPECT_EQ(pixel({.name = "Both", .colour = {0.2, 0.4, 0.6}, .luminosity = 0.5, .diffuse = 0}),
              bytes({0.1, 0.2, 0.3}));
}

TEST_F(Lighting, HighlightsNeedSpecularityAndNarrowAsGlossinessRises) {
    const V3 grey{0.1, 0.1, 0.1};
    const hostsim::Surface matte{.name = "Matte", .colour = grey};
    // Straight on, the highlight is the specularity itself.
    EXPECT_EQ(pixel(matte), bytes(scale(grey, 1.15)));
    EXPECT_EQ(pixel({.name = "Shiny", .colour = grey, .specularity = 0.5}), bytes(add(scale(grey, 1.15), {0.5, 0.5, 0.5})));

    // A little off the middle the highlight fades, the faster the glossier.
    const int x = 55;
    const uint8_t none = pixel(matte, x).r;
    const uint8_t broad = pixel({.name = "Broad", .colour = grey, .specularity = 1, .glossiness = 0}, x).r;
    const uint8_t normal = pixel({.name = "Default", .colour = grey, .specularity = 1}, x).r;
    const uint8_t tight = pixel({.name = "Tight", .colour = grey, .specularity = 1, .glossiness = 1}, x).r;
    EXPECT_GT(broad, normal);
    EXPECT_GT(normal, none + 20);
    EXPECT_EQ(tight, none);

    // Colour highlights tint the highlight with the surface's colour.
    const hostsim::Rgb white = pixel({.name = "Red", .colour = {1, 0, 0}, .specularity = 1});
    const hostsim::Rgb tinted = pixel({.name = "Red", .colour = {1, 0, 0}, .specularity = 1, .colourHighlights = 1});
    EXPECT_EQ(white.g, 255);
    EXPECT_EQ(tinted.g, 0);
    EXPECT_EQ(tinted.r, 255);
}

// The shader's normal lights the spot: bent by 60 degrees from the light,
// the diffuse term is cos 60.
TEST_F(Lighting, TheShadersNormalChangesTheDiffuseTerm) {
    const hostsim::Surface grey{.name = "Grey", .colour = {0.8, 0.8, 0.8}};
    const struct {
        const char* what;
        V3 normal;
        double lit;
    } cases[] = {
        {"unchanged", {0, 0, -1}, 1.15},
        {"bent", {std::sin(kPi / 3), 0, -std::cos(kPi / 3)}, 0.65},
        {"bent and long", {3 * std::sin(kPi / 3), 0, -3 * std::cos(kPi / 3)}, 0.65},
        {"turned away", {0, 0, 1}, 0.15},
        {"zero: the smooth normal", {0, 0, 0}, 1.15},
        {"not a number: the smooth normal", {std::nan(""), 0, -1}, 1.15},
    };
    for (const auto& c : cases) {
        shader = [&](const SurfaceHit&, hostsim::SurfaceValues& v, int) { v.normal = c.normal; };
        EXPECT_EQ(pixel(grey), bytes(scale(grey.colour, c.lit))) << c.what;
    }
}

// A mirror in front of the camera shows the wall behind the camera, for one
// bounce: the wall, a mirror too, does not reflect the first one back.
TEST_F(Lighting, MirrorsShowWhatTheyReflectForOneBounce) {
    geometry.remove(sphere);
    const LWItemID mirror = addMesh("Mirror", hostsim::makePlane(100, 100));
    scene.setRotation(mirror, {0, kPi / 2, 0});  // facing the camera
    const LWItemID wall = addMesh("Wall", hostsim::makePlane(100, 100));
    scene.setRotation(wall, {0, -kPi / 2, 0});  // behind the camera, facing it
    scene.setPosition(wall, {0, 0, -10});
    settings.background = {0.2, 0.2, 0.2};
    const V3 green{0, 0.6, 0};
    geometry.setSurface(wall, {.name = "Wall", .colour = green});
    std::mutex m;
    std::vector<SurfaceHit> centre;
    shader = [&](const SurfaceHit& h, hostsim::SurfaceValues&, int) {
        std::lock_guard lock(m);
        if (h.x == 50 && h.y == 40) centre.push_back(h);
    };
    const auto image = [&](const hostsim::Surface& s) {
        centre.clear();
        geometry.setSurface(mirror, s);
        return hostsim::render(scene, geometry, settings, shader, &stats).pixel(50, 40);
    };

    const hostsim::Surface full{.name = "Mirror", .colour = {1, 0, 0}, .reflection = 1};
    EXPECT_EQ(image(full), bytes(scale(green, 1.15)));
    EXPECT_EQ(stats.rays, 2u * 101 * 81);  // one reflected ray per pixel
    ASSERT_EQ(centre.size(), 2u);
    const SurfaceHit& reflected = centre[0].bounce == 1 ? centre[0] : centre[1];
    EXPECT_EQ(reflected.object, wall);
    EXPECT_EQ(reflected.source, mirror);
    EXPECT_EQ(reflected.bounce, 1);
    expectNear(v3(reflected.rayOrigin), {0, 0, 0}, 1e-9);
    expectNear(v3(reflected.rayDirection), {0, 0, -1}, 1e-12);
    EXPECT_NEAR(reflected.distance, 10, 1e-9);
    EXPECT_NEAR(reflected.spotSize, 15 * 2 * std::atan(1 / 3.2) / 81, 1e-12);

    // Half a mirror mixes its own shade in.
    EXPECT_EQ(image({.name = "Half", .colour = {1, 0, 0}, .reflection = 0.5}),
              bytes(add(scale({1, 0, 0}, 0.5 * 1.15), scale(green, 0.5 * 1.15))));
    // No bounces allowed: the reflection is the background.
    settings.maxBounces = 0;
    EXPECT_EQ(image(full), bytes(settings.background));
    EXPECT_EQ(stats.rays, 101u * 81);
    settings.maxBounces = 1;

    // Facing mirrors: the wall's own reflection stops at the bounce limit.
    geometry.setSurface(wall, {.name = "Wall", .colour = green, .reflection = 0.5});
    EXPECT_EQ(image(full), bytes(add(scale(green, 0.5 * 1.15), scale(settings.background, 0.5))));
    int deepest = 0;
    for (const auto& h : centre) deepest = std::max(deepest, h.bounce);
    EXPECT_EQ(deepest, 1);
    settings.maxBounces = 2;
    image(full);
    for (const auto& h : centre) deepest = std::max(deepest, h.bounce);
    EXPECT_EQ(deepest, 2);

    // Without reflection no secondary ray is cast.
    settings.maxBounces = 1;
    image({.name = "Dull"});
    EXPECT_EQ(stats.rays, 101u * 81);
    EXPECT_EQ(centre.size(), 1u);
}

TEST_F(Lighting, TransparentSurfacesShowWhatIsBehindThemFiltered) {
    geometry.remove(sphere);
    const LWItemID pane = addMesh("Pane", hostsim::makePlane(100, 100));
    scene.setRotation(pane, {0, kPi / 2, 0});
    const LWItemID wall = addMesh("Wall", hostsim::makePlane(100, 100));
    scene.setRotation(wall, {0, kPi / 2, 0});
    scene.setPosition(wall, {0, 0, 5});
    const V3 grey{0.8, 0.8, 0.8}, tint{1, 0.5, 0.25};
    geometry.setSurface(wall, {.name = "Wall", .colour = grey});
    const auto through = [&](const hostsim::Surface& s) {
        geometry.setSurface(pane, s);
        return hostsim::render(scene, geometry, settings, shader, &stats).pixel(50, 40);
    };
    EXPECT_EQ(through({.name = "Clear", .colour = tint, .transparency = 1}), bytes(scale(grey, 1.15)));
    EXPECT_EQ(through({.name = "Tinted", .colour = tint, .transparency = 1, .colourFilter = 1}),
              bytes({0.92 * 1, 0.92 * 0.5, 0.92 * 0.25}));
    EXPECT_EQ(through({.name = "Half", .colour = tint, .transparency = 0.5}),
              bytes(add(scale(tint, 0.5 * 1.15), scale(grey, 0.5 * 1.15))));
    EXPECT_EQ(through({.name = "Opaque", .colour = tint}), bytes(scale(tint, 1.15)));

    // The ray behind goes on straight from the pane, which is its source.
    std::optional<SurfaceHit> behind;
    std::mutex m;
    shader = [&](const SurfaceHit& h, hostsim::SurfaceValues&, int) {
        std::lock_guard lock(m);
        if (h.x == 50 && h.y == 40 && h.bounce == 1) behind = h;
    };
    through({.name = "Clear", .colour = tint, .transparency = 1});
    ASSERT_TRUE(behind);
    EXPECT_EQ(behind->object, wall);
    EXPECT_EQ(behind->source, pane);
    EXPECT_NEAR(behind->distance, 5, 1e-9);
    expectNear(v3(behind->rayDirection), {0, 0, 1}, 1e-12);
}

// During the shader's call the thread's ray functions trace from its spot;
// outside a render there are none.
TEST_F(Lighting, ShadersTraceFromTheirSpot) {
    const LWItemID key = scene.addLight("Key");
    scene.setPosition(key, {0, 3, -1});
    settings.background = {0.25, 0.5, 0.75};
    const hostsim::RayFunctions outside = hostsim::rayFunctions();
    EXPECT_EQ(outside.rayCast, nullptr);
    EXPECT_EQ(outside.illuminate, nullptr);

    struct Seen {
        double cast = 0, traced = 0, shaded = 0, missed = 0;
        double colour[3] = {0, 0, 0};
        LWShaderAccess far{};
        int lit = 0, unlit = 0;
        double toLight[3] = {0, 0, 0};
        bool recordHasThem = false;
    } seen;
    shader = [&](const SurfaceHit& h, hostsim::SurfaceValues& v, int) {
        if (h.x != 50 || h.y != 40 || h.bounce != 0) return;
        const hostsim::RayFunctions rays = hostsim::rayFunctions();
        const double forward[3] = {0, 0, 1}, back[3] = {0, 0, -1};
        seen.cast = rays.rayCast(h.world, forward);  // through the sphere to its far side
        seen.missed = rays.rayTrace(h.world, back, seen.colour);
        seen.shaded = rays.rayShade(h.world, forward, &seen.far);
        double colour[3];
        seen.traced = rays.rayTrace(h.world, forward, colour);
        double colourOfLight[3];
        seen.lit = rays.illuminate(key, h.world, seen.toLight, colourOfLight);
        seen.unlit = rays.illuminate(camera, h.world, colourOfLight, colourOfLight);
        LWShaderAccess access;
        hostsim::fillShaderAccess(h, v, access);
        seen.recordHasThem = access.rayCast == rays.rayCast && access.rayShade == rays.rayShade &&
                             access.rayTrace && access.illuminate;
    };
    pixel({.name = "Ball"});
    EXPECT_NEAR(seen.cast, 2, 1e-6);
    EXPECT_NEAR(seen.traced, 2, 1e-6);
    EXPECT_EQ(seen.missed, -1);
    EXPECT_EQ(seen.colour[1], 0.5);  // the background
    EXPECT_NEAR(seen.shaded, 2, 1e-6);
    EXPECT_EQ(seen.far.objID, sphere);
    EXPECT_EQ(seen.far.sourceID, sphere);
    EXPECT_EQ(seen.far.bounces, 1);
    EXPECT_NEAR(seen.far.wPos[2], 1, 1e-6);
    EXPECT_NEAR(seen.far.wNorm0[2], -1, 1e-2);  // the far side seen from inside, facing the ray
    EXPECT_EQ(seen.lit, 1);
    expectNear(v3(seen.toLight), scale({0, 3, 0}, 1.0 / 3), 1e-6);
    EXPECT_EQ(seen.unlit, 0);
    EXPECT_TRUE(seen.recordHasThem);
}

// A shader that fails in a spot reached through a ray function stops the
// render; the exception does not pass through the caller's C code.
TEST_F(Lighting, AFailureInATracedSpotStopsTheRender) {
    shader = [&](const SurfaceHit& h, hostsim::SurfaceValues&, int) {
        if (h.bounce == 1) throw std::runtime_error("far side failed");
        if (h.x != 50 || h.y != 40) return;
        const double forward[3] = {0, 0, 1};
        double colour[3];
        EXPECT_EQ(hostsim::rayFunctions().rayTrace(h.world, forward, colour), -1);
        // The shader goes on from its own spot.
        EXPECT_NEAR(hostsim::rayFunctions().rayCast(h.world, forward), 2, 1e-6);
    };
    EXPECT_THROW(pixel({.name = "Ball"}), std::runtime_error);
}

}  // namespace
