// The meshes the host hands plug-ins: scans, polygons and their tags,
// point positions and the UV map, over the geometry's meshes.
#include "meshes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "geometry.h"

namespace {

using hostsim::Mesh;

// Destroys the mesh info when the test is done with it.
struct MeshInfo {
    explicit MeshInfo(std::shared_ptr<const Mesh> mesh, const std::string& surface = "Skin")
        : info(hostsim::makeMeshInfo(std::move(mesh), surface)) {}
    ~MeshInfo() {
        if (info) info->destroy(info);
    }
    LWMeshInfo* operator->() const { return info; }
    LWMeshInfo* info;
};

std::shared_ptr<const Mesh> sphere() { return std::make_shared<const Mesh>(hostsim::makeSphere(1, 8, 4)); }

TEST(MeshInfo, EveryFunctionIsFilled) {
    MeshInfo m(sphere());
    ASSERT_NE(m.info, nullptr);
    EXPECT_NE(m->priv, nullptr);
    constexpr size_t kMembers = sizeof(LWMeshInfo) / sizeof(void*);
    for (size_t slot = 1; slot < kMembers; ++slot) {
        void* member = nullptr;
        std::memcpy(&member, reinterpret_cast<const char*>(m.info) + slot * sizeof(void*), sizeof member);
        EXPECT_NE(member, nullptr) << "member " << slot;
    }
    EXPECT_EQ(hostsim::makeMeshInfo(nullptr, "Skin"), nullptr);
}

TEST(MeshInfo, IdsAreIndicesPlusOne) {
    for (const uint32_t i : {0u, 1u, 41u, UINT32_MAX - 1}) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(hostsim::pointId(i)), uintptr_t{i} + 1);
        EXPECT_EQ(hostsim::pointIndex(hostsim::pointId(i)), i);
        EXPECT_EQ(hostsim::polygonIndex(hostsim::polygonId(i)), i);
    }
    EXPECT_EQ(hostsim::pointIndex(nullptr), UINT32_MAX);
    EXPECT_EQ(hostsim::polygonIndex(nullptr), UINT32_MAX);
}

struct Visits {
    std::vector<uintptr_t> ids;
    size_t stopAt = SIZE_MAX;
};
template <typename Id>
int visit(void* data, Id id) {
    auto* v = static_cast<Visits*>(data);
    v->ids.push_back(reinterpret_cast<uintptr_t>(id));
    return v->ids.size() == v->stopAt ? 7 : 0;
}

// Scans visit each point or polygon once, in the mesh's order, and stop at
// the first non-zero answer, which they pass on.
TEST(MeshInfo, ScansVisitInOrderAndStopWhenTold) {
    const auto mesh = sphere();
    MeshInfo m(mesh);
    ASSERT_EQ(m->numPoints(m.info), int(mesh->positions.size()));
    ASSERT_EQ(m->numPolygons(m.info), int(mesh->triangles.size()));
    Visits all;
    EXPECT_EQ(m->scanPolys(m.info, visit<LWPolID>, &all), 0);
    ASSERT_EQ(all.ids.size(), mesh->triangles.size());
    for (size_t i = 0; i < all.ids.size(); ++i) EXPECT_EQ(all.ids[i], i + 1);
    Visits points;
    EXPECT_EQ(m->scanPoints(m.info, visit<LWPntID>, &points), 0);
    ASSERT_EQ(points.ids.size(), mesh->positions.size());
    for (size_t i = 0; i < points.ids.size(); ++i) EXPECT_EQ(points.ids[i], i + 1);

    Visits stopped;
    stopped.stopAt = 5;
    EXPECT_EQ(m->scanPolys(m.info, visit<LWPolID>, &stopped), 7);
    EXPECT_EQ(stopped.ids.size(), 5u);
    Visits stoppedPoints;
    stoppedPoints.stopAt = 1;
    EXPECT_EQ(m->scanPoints(m.info, visit<LWPntID>, &stoppedPoints), 7);
    EXPECT_EQ(stoppedPoints.ids.size(), 1u);
}

TEST(MeshInfo, PolygonsAreTrianglesTaggedWithTheSurface) {
    const auto mesh = sphere();
    MeshInfo m(mesh, "Skin");
    for (uint32_t t = 0; t < mesh->triangles.size(); ++t) {
        const LWPolID pol = hostsim::polygonId(t);
        EXPECT_EQ(m->polType(m.info, pol), LWPOLTYPE_FACE);
        EXPECT_EQ(m->polSize(m.info, pol), 3);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(m->polVertex(m.info, pol, k), hostsim::pointId(mesh->triangles[t][k]));
        EXPECT_EQ(m->polVertex(m.info, pol, 3), nullptr);
        EXPECT_EQ(m->polVertex(m.info, pol, -1), nullptr);
        EXPECT_STREQ(m->polTag(m.info, pol, LWPTAG_SURF), "Skin");
        EXPECT_EQ(m->polTag(m.info, pol, LWPTAG_PART), nullptr);
        EXPECT_EQ(m->polFlags(m.info, pol), 0u);
    }
    // Polygons the mesh has not.
    for (const LWPolID pol : {LWPolID{}, hostsim::polygonId(uint32_t(mesh->triangles.size()))}) {
        EXPECT_EQ(m->polType(m.info, pol), 0u);
        EXPECT_EQ(m->polSize(m.info, pol), 0);
        EXPECT_EQ(m->polVertex(m.info, pol, 0), nullptr);
        EXPECT_EQ(m->polTag(m.info, pol, LWPTAG_SURF), nullptr);
    }
}

TEST(MeshInfo, PointPositionsAreTheVerticesAsFloats) {
    auto mesh = std::make_shared<Mesh>(hostsim::makeBox(2, 4, 6));
    mesh->positions[3] = {0.1, -1e-3, 12345.678};
    MeshInfo m(mesh);
    for (uint32_t v = 0; v < mesh->positions.size(); ++v) {
        LWFVector base, other;
        m->pntBasePos(m.info, hostsim::pointId(v), base);
        m->pntOtherPos(m.info, hostsim::pointId(v), other);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(base[c], float(mesh->positions[v][c])) << v;
            EXPECT_EQ(other[c], base[c]) << v;
        }
    }
    LWFVector none = {1, 2, 3};
    m->pntBasePos(m.info, hostsim::pointId(uint32_t(mesh->positions.size())), none);
    EXPECT_EQ(none[0] + none[1] + none[2], 0.0f);
}

TEST(MeshInfo, TheUvMapIsFoundByTypeAndName) {
    auto mesh = std::make_shared<Mesh>(hostsim::makePlane(2, 2, 2));
    mesh->uvs[4] = {0.125, 0.875};
    MeshInfo m(mesh);
    float uv[2] = {-1, -1};
    EXPECT_EQ(m->pntVGet(m.info, hostsim::pointId(4), uv), 0);  // nothing selected yet
    EXPECT_EQ(m->pntVLookup(m.info, LWVMAP_TXUV, "Other"), nullptr);
    EXPECT_EQ(m->pntVLookup(m.info, LWVMAP_WGHT, "Texture"), nullptr);
    EXPECT_EQ(m->pntVLookup(m.info, LWVMAP_TXUV, nullptr), nullptr);
    void* map = m->pntVLookup(m.info, LWVMAP_TXUV, "Texture");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(m->pntVSelect(m.info, map), 2);
    EXPECT_EQ(m->pntVGet(m.info, hostsim::pointId(4), uv), 1);
    EXPECT_EQ(uv[0], 0.125f);
    EXPECT_EQ(uv[1], 0.875f);
    EXPECT_EQ(m->pntVGet(m.info, hostsim::pointId(99), uv), 0);
    EXPECT_EQ(m->pntVGet(m.info, nullptr, uv), 0);
    // No discontinuous values.
    EXPECT_EQ(m->pntVPGet(m.info, hostsim::pointId(4), hostsim::polygonId(0), uv), 0);
    EXPECT_EQ(m->pntVPIDGet(m.info, hostsim::pointId(4), hostsim::polygonId(0), uv, map), 0);
    // A given handle, without selecting.
    float direct[2] = {};
    EXPECT_EQ(m->pntVIDGet(m.info, hostsim::pointId(4), direct, map), 1);
    EXPECT_EQ(direct[1], 0.875f);
    EXPECT_EQ(m->pntVIDGet(m.info, hostsim::pointId(4), direct, nullptr), 0);
    // Selecting something else deselects the map.
    EXPECT_EQ(m->pntVSelect(m.info, nullptr), 0);
    EXPECT_EQ(m->pntVGet(m.info, hostsim::pointId(4), uv), 0);

    // Another mesh's handle is not this mesh's map.
    MeshInfo other(std::make_shared<const Mesh>(hostsim::makePlane(1, 1)));
    EXPECT_EQ(other->pntVSelect(other.info, map), 0);
    EXPECT_EQ(other->pntVIDGet(other.info, hostsim::pointId(0), uv, map), 0);
}

TEST(MeshInfo, VerticesOutsideTheMapHaveNoUv) {
    const auto partly =
        std::make_shared<const Mesh>(hostsim::loadObj(std::string(FIXTURE_SOURCES) + "/partly_mapped.obj"));
    MeshInfo m(partly);
    ASSERT_EQ(m->pntVSelect(m.info, m->pntVLookup(m.info, LWVMAP_TXUV, "Texture")), 2);
    float uv[2];
    for (uint32_t v = 0; v < partly->positions.size(); ++v)
        EXPECT_EQ(m->pntVGet(m.info, hostsim::pointId(v), uv), partly->hasUv(v) ? 1 : 0) << v;

    // A mesh without UVs, or whose UVs are in no map, has no map at all.
    auto bare = std::make_shared<Mesh>(hostsim::makeBox(1, 1, 1));
    bare->uvs.clear();
    auto unnamed = std::make_shared<Mesh>(hostsim::makeBox(1, 1, 1));
    unnamed->uvMap.clear();
    for (const auto& mesh : {bare, unnamed}) {
        MeshInfo n(mesh);
        EXPECT_EQ(n->pntVLookup(n.info, LWVMAP_TXUV, "Texture"), nullptr);
        EXPECT_EQ(n->pntVLookup(n.info, LWVMAP_TXUV, ""), nullptr);
        EXPECT_EQ(n->pntVSelect(n.info, nullptr), 0);
        EXPECT_EQ(n->pntVGet(n.info, hostsim::pointId(0), uv), 0);
    }
}

// The mesh info keeps the mesh it was made from alive.
TEST(MeshInfo, OutlivesTheGeometrysMesh) {
    hostsim::Geometry geometry;
    const auto object = reinterpret_cast<LWItemID>(uintptr_t{0x1001});
    geometry.setMesh(object, sphere());
    MeshInfo m(geometry.mesh(object));
    geometry.remove(object);
    const int triangles = m->numPolygons(m.info);
    EXPECT_GT(triangles, 0);
    LWFVector p;
    m->pntBasePos(m.info, hostsim::pointId(0), p);
    EXPECT_EQ(p[1], -1.0f);  // the south pole
}

}  // namespace
