#include "geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "host.h"

namespace {

using hostsim::HostError;
using hostsim::Mesh;
using V3 = std::array<double, 3>;

V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 cross(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double length(const V3& a) { return std::sqrt(dot(a, a)); }

// Positions welded on a fine grid, so that seam vertices count as one.
std::array<long long, 3> weld(const V3& p) {
    return {std::llround(p[0] * 1e9), std::llround(p[1] * 1e9), std::llround(p[2] * 1e9)};
}

struct PrimitiveCase {
    std::string name;
    std::function<Mesh()> make;
    size_t triangles;
    bool closed;
    // Where a vertex must lie, as the distance from the surface (0 on it).
    std::function<double(const V3&)> offSurface;
};

class Primitives : public testing::TestWithParam<PrimitiveCase> {};

// Every primitive: the triangle count, indices in range, unit normals, UVs
// within 0 … 1, vertices on the shape, triangles wound towards their
// normals, and for solids every edge shared by exactly two triangles that
// run it in opposite directions (closed and consistently wound).
TEST_P(Primitives, AreWellFormed) {
    const PrimitiveCase& c = GetParam();
    const Mesh m = c.make();
    EXPECT_EQ(m.uvMap, "Texture");
    EXPECT_EQ(m.file, "");
    ASSERT_EQ(m.triangles.size(), c.triangles);
    ASSERT_EQ(m.normals.size(), m.positions.size());
    ASSERT_EQ(m.uvs.size(), m.positions.size());
    for (size_t i = 0; i < m.positions.size(); ++i) {
        EXPECT_NEAR(length(m.normals[i]), 1, 1e-12) << "vertex " << i;
        EXPECT_GE(m.uvs[i][0], 0) << "vertex " << i;
        EXPECT_LE(m.uvs[i][0], 1) << "vertex " << i;
        EXPECT_GE(m.uvs[i][1], 0) << "vertex " << i;
        EXPECT_LE(m.uvs[i][1], 1) << "vertex " << i;
        EXPECT_NEAR(c.offSurface(m.positions[i]), 0, 1e-12) << "vertex " << i;
    }
    std::map<std::pair<std::array<long long, 3>, std::array<long long, 3>>, int> edges;
    for (const auto& t : m.triangles) {
        for (const uint32_t i : t) ASSERT_LT(i, m.positions.size());
        const V3 face = cross(sub(m.positions[t[1]], m.positions[t[0]]), sub(m.positions[t[2]], m.positions[t[0]]));
        EXPECT_GT(length(face), 0) << "degenerate triangle";
        for (const uint32_t i : t) EXPECT_GT(dot(face, m.normals[i]), 0) << "triangle wound against its normals";
        for (int k = 0; k < 3; ++k) ++edges[{weld(m.positions[t[k]]), weld(m.positions[t[(k + 1) % 3]])}];
    }
    if (c.closed) {
        for (const auto& [edge, count] : edges) {
            EXPECT_EQ(count, 1) << "edge run twice the same way";
            const auto reverse = edges.find({edge.second, edge.first});
            EXPECT_TRUE(reverse != edges.end() && reverse->second == 1) << "open edge";
        }
    }
}

double boxOff(const V3& p, const V3& half) {
    // On the surface: inside the box and on at least one face.
    double face = HUGE_VAL;
    for (int c = 0; c < 3; ++c) {
        if (std::abs(p[c]) > half[c] + 1e-12) return 1;
        face = std::min(face, half[c] - std::abs(p[c]));
    }
    return face;
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, Primitives,
    testing::Values(
        PrimitiveCase{"Plane", [] { return hostsim::makePlane(2, 3, 4); }, 32, false,
                      [](const V3& p) { return std::abs(p[1]) + (std::abs(p[0]) > 1) + (std::abs(p[2]) > 1.5); }},
        PrimitiveCase{"Sphere", [] { return hostsim::makeSphere(1.5, 16, 8); }, 16 * 14, true,
                      [](const V3& p) { return length(p) - 1.5; }},
        PrimitiveCase{"SphereFewest", [] { return hostsim::makeSphere(1, 3, 2); }, 6, true,
                      [](const V3& p) { return length(p) - 1; }},
        PrimitiveCase{"Box", [] { return hostsim::makeBox(1, 2, 3); }, 12, true,
                      [](const V3& p) { return boxOff(p, {0.5, 1, 1.5}); }},
        PrimitiveCase{"Cylinder", [] { return hostsim::makeCylinder(0.5, 2, 12); }, 48, true,
                      [](const V3& p) {
                          const double r = std::hypot(p[0], p[2]);
                          // On the side, or on a cap disc.
                          return std::abs(std::abs(p[1]) - 1) < 1e-12 && r <= 0.5 + 1e-12 ? 0.0
                                                                                           : std::abs(r - 0.5) +
                                                                                                 (std::abs(p[1]) > 1);
                      }}),
    [](const testing::TestParamInfo<PrimitiveCase>& info) { return info.param.name; });

// The UV layouts that textures rely on, checked at known vertices.
const V3* findVertex(const Mesh& m, const V3& p, const std::array<double, 2>& uv, const V3& normal) {
    for (size_t i = 0; i < m.positions.size(); ++i)
        if (length(sub(m.positions[i], p)) < 1e-9 && std::abs(m.uvs[i][0] - uv[0]) < 1e-9 &&
            std::abs(m.uvs[i][1] - uv[1]) < 1e-9 && length(sub(m.normals[i], normal)) < 1e-9)
            return &m.positions[i];
    return nullptr;
}

TEST(Primitives, UvLayouts) {
    const Mesh plane = hostsim::makePlane(2, 4, 2);
    EXPECT_TRUE(findVertex(plane, {-1, 0, -2}, {0, 0}, {0, 1, 0}));
    EXPECT_TRUE(findVertex(plane, {1, 0, 2}, {1, 1}, {0, 1, 0}));
    EXPECT_TRUE(findVertex(plane, {1, 0, -2}, {1, 0}, {0, 1, 0}));

    // Sphere: v from the south pole up; u = 0.5 faces -Z and grows towards +X.
    const Mesh sphere = hostsim::makeSphere(2, 8, 4);
    EXPECT_TRUE(findVertex(sphere, {0, 0, -2}, {0.5, 0.5}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(sphere, {2, 0, 0}, {0.75, 0.5}, {1, 0, 0}));
    EXPECT_TRUE(findVertex(sphere, {-2, 0, 0}, {0.25, 0.5}, {-1, 0, 0}));
    EXPECT_TRUE(findVertex(sphere, {0, 0, 2}, {0, 0.5}, {0, 0, 1}));
    EXPECT_TRUE(findVertex(sphere, {0, 0, 2}, {1, 0.5}, {0, 0, 1}));  // the seam
    EXPECT_TRUE(findVertex(sphere, {0, 2, 0}, {1.0 / 16, 1}, {0, 1, 0}));

    // Box: each face holds the whole square, u to the right and v up as seen from outside.
    const Mesh box = hostsim::makeBox(2, 2, 2);
    EXPECT_TRUE(findVertex(box, {-1, -1, -1}, {0, 0}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(box, {1, 1, -1}, {1, 1}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(box, {1, -1, 1}, {0, 0}, {0, 0, 1}));
    EXPECT_TRUE(findVertex(box, {1, -1, -1}, {0, 0}, {1, 0, 0}));
    EXPECT_TRUE(findVertex(box, {-1, 1, -1}, {0, 0}, {0, 1, 0}));
    EXPECT_TRUE(findVertex(box, {-1, -1, 1}, {0, 0}, {0, -1, 0}));

    // Cylinder: the side as the sphere's middle, v from the bottom; caps as discs.
    const Mesh cylinder = hostsim::makeCylinder(1, 2, 4);
    EXPECT_TRUE(findVertex(cylinder, {0, -1, -1}, {0.5, 0}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(cylinder, {1, 1, 0}, {0.75, 1}, {1, 0, 0}));
    EXPECT_TRUE(findVertex(cylinder, {0, 1, 0}, {0.5, 0.5}, {0, 1, 0}));
    EXPECT_TRUE(findVertex(cylinder, {1, 1, 0}, {1, 0.5}, {0, 1, 0}));
    EXPECT_TRUE(findVertex(cylinder, {0, 1, 1}, {0.5, 1}, {0, 1, 0}));
    EXPECT_TRUE(findVertex(cylinder, {0, -1, 1}, {0.5, 0}, {0, -1, 0}));
}

TEST(Primitives, RefuseShapesNoMeshCanHold) {
    const std::vector<std::pair<std::string, std::function<Mesh()>>> cases{
        {"plane without width", [] { return hostsim::makePlane(0, 1); }},
        {"plane of NaN depth", [] { return hostsim::makePlane(1, std::nan("")); }},
        {"plane without divisions", [] { return hostsim::makePlane(1, 1, 0); }},
        {"plane of too many divisions", [] { return hostsim::makePlane(1, 1, 1 << 20); }},
        {"negative radius", [] { return hostsim::makeSphere(-1); }},
        {"infinite radius", [] { return hostsim::makeSphere(HUGE_VAL); }},
        {"sphere of 2 segments", [] { return hostsim::makeSphere(1, 2, 8); }},
        {"sphere of 1 ring", [] { return hostsim::makeSphere(1, 8, 1); }},
        {"sphere of more vertices than memory should hold", [] { return hostsim::makeSphere(1, 4096, 1024); }},
        {"flat box", [] { return hostsim::makeBox(1, 0, 1); }},
        {"cylinder of 2 segments", [] { return hostsim::makeCylinder(1, 1, 2); }},
        {"cylinder without height", [] { return hostsim::makeCylinder(1, -1); }},
    };
    for (const auto& [what, make] : cases) EXPECT_THROW(make(), HostError) << what;
}

// ---------------------------------------------------------------- OBJ

class ObjFiles : public testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = testing::TempDir() + "geometry_test_" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // The message of the HostError that loading throws, or "" when none.
    static std::string loadError(const std::string& path) {
        try {
            hostsim::loadObj(path);
        } catch (const HostError& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(ObjFiles, LoadsPositionsUvsAndNormalsOfEachCorner) {
    // A quad and a triangle sharing an edge; the quad's corners carry UVs and
    // normals, one corner used with two different UVs (a seam).
    const std::string path = write("quad.obj",
                                   "# comment\n"
                                   "o thing\n"
                                   "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0.5 0\n"
                                   "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.25 0.75\n"
                                   "vn 0 0 -2\n"
                                   "f 1/1/1 2/2/1 3/3/1 4/4/1\n"
                                   "f 2/5/1 5/5/1 3/3/1\n");
    const Mesh m = hostsim::loadObj(path);
    ASSERT_EQ(m.triangles.size(), 3u);
    ASSERT_EQ(m.positions.size(), 6u);  // vertex 2 appears with two UVs
    ASSERT_EQ(m.normals.size(), 6u);
    ASSERT_EQ(m.uvs.size(), 6u);
    for (const auto& n : m.normals) EXPECT_NEAR(length(sub(n, {0, 0, -1})), 0, 1e-6);
    for (const auto& t : m.triangles)
        for (const uint32_t i : t) ASSERT_LT(i, m.positions.size());
    // Each corner keeps its own position and UV.
    EXPECT_TRUE(findVertex(m, {2, 0.5, 0}, {0.25, 0.75}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(m, {1, 1, 0}, {1, 1}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(m, {0, 1, 0}, {0, 1}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(m, {1, 0, 0}, {1, 0}, {0, 0, -1}));
    EXPECT_TRUE(findVertex(m, {1, 0, 0}, {0.25, 0.75}, {0, 0, -1}));
}

// The file's texture coordinates become the UV map "Texture", one uv per
// vertex: a corner used with two texture coordinates is two vertices.
TEST_F(ObjFiles, BringTheirTextureCoordinatesAsTheTextureMap) {
    const std::string path = std::string(FIXTURE_SOURCES) + "/seam.obj";
    const Mesh m = hostsim::loadObj(path);
    EXPECT_EQ(m.file, path);
    EXPECT_EQ(m.uvMap, "Texture");
    ASSERT_EQ(m.triangles.size(), 3u);
    ASSERT_EQ(m.positions.size(), 6u);  // (1, 0, 0) twice
    EXPECT_TRUE(m.uvMapped.empty());
    const auto uvAt = [&](const V3& p) {
        std::vector<std::array<double, 2>> found;
        for (size_t i = 0; i < m.positions.size(); ++i)
            if (m.positions[i] == p) found.push_back(m.uvs[i]);
        std::sort(found.begin(), found.end());
        return found;
    };
    using Uvs = std::vector<std::array<double, 2>>;
    EXPECT_EQ(uvAt({1, 0, 0}), (Uvs{{0.5, 0.25}, {1, 0}}));
    EXPECT_EQ(uvAt({1, 1, 0}), (Uvs{{1, 1}}));  // shared by both faces with one coordinate
    EXPECT_EQ(uvAt({2, 0, 0}), (Uvs{{1, 0}}));
    EXPECT_EQ(uvAt({0, 1, 0}), (Uvs{{0, 1}}));
    for (uint32_t v = 0; v < m.positions.size(); ++v) EXPECT_TRUE(m.hasUv(v));

    // Corners without a texture coordinate stay out of the map.
    const Mesh partly = hostsim::loadObj(std::string(FIXTURE_SOURCES) + "/partly_mapped.obj");
    EXPECT_EQ(partly.uvMap, "Texture");
    ASSERT_EQ(partly.positions.size(), 6u);
    int mapped = 0;
    for (uint32_t v = 0; v < partly.positions.size(); ++v) mapped += partly.hasUv(v);
    EXPECT_EQ(mapped, 3);
    for (const uint32_t v : partly.triangles[0]) EXPECT_TRUE(partly.hasUv(v));
    for (const uint32_t v : partly.triangles[1]) EXPECT_FALSE(partly.hasUv(v));
    EXPECT_FALSE(partly.hasUv(99));
}

TEST_F(ObjFiles, WithoutNormalsOrUvsGetsSmoothNormalsAndZeroUvs) {
    // A tetrahedron in relative indices: normals are the averages of the faces
    // around each corner, pointing the way the faces are wound.
    const std::string path = write("tetra.obj",
                                   "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                                   "f -4 -2 -3\nf -4 -3 -1\nf -4 -1 -2\nf -3 -2 -1\n");
    const Mesh m = hostsim::loadObj(path);
    ASSERT_EQ(m.triangles.size(), 4u);
    ASSERT_EQ(m.positions.size(), 4u);
    EXPECT_EQ(m.uvMap, "");  // no texture coordinates: no map
    for (size_t i = 0; i < m.positions.size(); ++i) {
        EXPECT_NEAR(length(m.normals[i]), 1, 1e-12);
        EXPECT_EQ(m.uvs[i], (std::array<double, 2>{0, 0}));
        // Outward: away from the tetrahedron's centre.
        EXPECT_GT(dot(m.normals[i], sub(m.positions[i], {0.25, 0.25, 0.25})), 0) << "vertex " << i;
    }
}

TEST_F(ObjFiles, ErrorsNameTheFileAndTheProblem) {
    const struct {
        std::string name, text, problem;
    } cases[] = {
        {"vertex_out_of_range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n", "vertex 7"},
        {"uv_out_of_range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/1 3/9\n", "texture coordinate 9"},
        {"normal_out_of_range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//4\n", "normal 4"},
        {"no_faces.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n", "no faces"},
        {"empty.obj", "", "no faces"},
        {"binary.obj", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "no faces"},
    };
    for (const auto& c : cases) {
        const std::string path = write(c.name, c.text);
        const std::string error = loadError(path);
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << c.name << ": " << error;
        EXPECT_NE(error.find(c.problem), std::string::npos) << c.name << ": " << error;
    }
    const std::string missing = testing::TempDir() + "geometry_test_missing.obj";
    EXPECT_EQ(loadError(missing).rfind(missing + ": ", 0), 0u) << loadError(missing);
}

// ---------------------------------------------------------------- Geometry

TEST(GeometryTable, HoldsMeshesAndSurfacesPerObject) {
    hostsim::Geometry g;
    const auto a = reinterpret_cast<LWItemID>(uintptr_t{0x1001});
    const auto b = reinterpret_cast<LWItemID>(uintptr_t{0x1002});
    const auto sphere = std::make_shared<const Mesh>(hostsim::makeSphere(1, 8, 4));
    g.setMesh(a, sphere);
    g.setMesh(b, std::make_shared<const Mesh>(hostsim::makeBox(1, 1, 1)));
    hostsim::Surface ground;
    ground.name = "Ground";
    g.setSurface(a, ground);
    EXPECT_EQ(g.objects(), (std::vector<LWItemID>{a, b}));
    EXPECT_EQ(g.mesh(a), sphere);
    ASSERT_NE(g.surface(a), nullptr);
    EXPECT_EQ(g.surface(a)->name, "Ground");
    EXPECT_EQ(g.surface(b), nullptr);

    g.setMesh(b, nullptr);  // no mesh: no longer an object with geometry
    EXPECT_EQ(g.objects(), (std::vector<LWItemID>{a}));
    g.remove(a);
    EXPECT_EQ(g.mesh(a), nullptr);
    EXPECT_EQ(g.surface(a), nullptr);
    g.setMesh(a, sphere);
    g.setSurface(b, {});
    g.clear();
    EXPECT_TRUE(g.objects().empty());
    EXPECT_EQ(g.surface(b), nullptr);
}

}  // namespace
