#include "geometry.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <unordered_map>

#include "host.h"

namespace hostsim {

namespace {

using V3 = std::array<double, 3>;
constexpr double kTwoPi = 2 * std::numbers::pi;
// Keeps every vertex index of a mesh inside uint32_t with room to spare.
constexpr uint64_t kMaxVertices = uint64_t{1} << 30;
// A generated primitive stays far below what memory holds: 2^22 vertices
// with their normals, UVs and triangles take about 0.4 GiB.
constexpr uint64_t kMaxPrimitiveVertices = uint64_t{1} << 22;

V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 cross(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
bool normalize(V3& v) {
    const double len = std::sqrt(dot(v, v));
    if (!(len > 0) || !std::isfinite(len)) return false;
    for (double& c : v) c /= len;
    return true;
}

void requireSize(double value, const char* what) {
    if (!(value > 0) || !std::isfinite(value)) throw HostError(std::string("the ") + what + " must be a positive number");
}
void requireCount(uint64_t vertices) {
    if (vertices > kMaxPrimitiveVertices) throw HostError("too many subdivisions for one mesh");
}

struct Builder {
    Builder() { mesh.uvMap = kTextureUvMap; }
    Mesh mesh;
    uint32_t vertex(const V3& p, const V3& n, double u, double v) {
        mesh.positions.push_back(p);
        mesh.normals.push_back(n);
        mesh.uvs.push_back({u, v});
        return static_cast<uint32_t>(mesh.positions.size() - 1);
    }
    // Adds a triangle wound so that (b - a) x (c - a) points along the
    // vertices' normals, the same way for every primitive.
    void triangle(uint32_t a, uint32_t b, uint32_t c) {
        const auto& p = mesh.positions;
        const V3 face = cross(sub(p[b], p[a]), sub(p[c], p[a]));
        const V3& n = mesh.normals[a];
        if (dot(face, n) < 0) std::swap(b, c);
        mesh.triangles.push_back({a, b, c});
    }
    void quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        triangle(a, b, c);
        triangle(a, c, d);
    }
};

// A point on a circle about Y: u = 0 at +Z, u = 0.5 at -Z, and u grows
// towards +X as seen from -Z, so a camera on -Z looking at the origin sees
// the middle of an image mapped by u, left to right.
V3 around(double u) { return {-std::sin(kTwoPi * u), 0, std::cos(kTwoPi * u)}; }

}  // namespace

Mesh makePlane(double width, double depth, int divisions) {
    requireSize(width, "width");
    requireSize(depth, "depth");
    if (divisions < 1) throw HostError("a plane needs at least one division");
    const uint64_t side = uint64_t(divisions) + 1;
    requireCount(side * side);
    Builder b;
    const int n = divisions;
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            const double u = double(i) / n, v = double(j) / n;
            b.vertex({(u - 0.5) * width, 0, (v - 0.5) * depth}, {0, 1, 0}, u, v);
        }
    }
    const auto at = [&](int i, int j) { return uint32_t(j * (n + 1) + i); };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) b.quad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    return std::move(b.mesh);
}

Mesh makeSphere(double radius, int segments, int rings) {
    requireSize(radius, "radius");
    if (segments < 3 || rings < 2) throw HostError("a sphere needs at least 3 segments and 2 rings");
    requireCount((uint64_t(segments) + 1) * (uint64_t(rings) + 1));
    Builder b;
    // Rows from the south pole (v = 0, -Y) to the north pole (v = 1, +Y);
    // one more column than segments, so that the seam at u = 0 / 1 has its
    // own vertices. The pole rows put each column's u at its triangle's middle.
    for (int j = 0; j <= rings; ++j) {
        const double v = double(j) / rings;
        const double lat = (v - 0.5) * std::numbers::pi;
        const double c = std::cos(lat), s = std::sin(lat);
        for (int i = 0; i <= segments; ++i) {
            const bool pole = j == 0 || j == rings;
            const double u = pole ? std::min(1.0, (i + 0.5) / segments) : double(i) / segments;
            const V3 dir = around(i == segments ? 0.0 : double(i) / segments);
            V3 n = pole ? V3{0, s > 0 ? 1.0 : -1.0, 0} : V3{dir[0] * c, s, dir[2] * c};
            b.vertex({n[0] * radius, n[1] * radius, n[2] * radius}, n, u, v);
        }
    }
    const auto at = [&](int i, int j) { return uint32_t(j * (segments + 1) + i); };
    for (int j = 0; j < rings; ++j) {
        for (int i = 0; i < segments; ++i) {
            if (j == 0)
                b.triangle(at(i, 0), at(i, 1), at(i + 1, 1));
            else if (j == rings - 1)
                b.triangle(at(i, j + 1), at(i + 1, j), at(i, j));
            else
                b.quad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
        }
    }
    return std::move(b.mesh);
}

Mesh makeBox(double width, double height, double depth) {
    requireSize(width, "width");
    requireSize(height, "height");
    requireSize(depth, "depth");
    const V3 half{width / 2, height / 2, depth / 2};
    // Each face: its normal and its "up"; u runs along up x (-normal), the
    // right-hand side as seen from outside, v along up.
    const std::array<std::pair<V3, V3>, 6> faces{{{{0, 0, -1}, {0, 1, 0}},
                                                  {{0, 0, 1}, {0, 1, 0}},
                                                  {{1, 0, 0}, {0, 1, 0}},
                                                  {{-1, 0, 0}, {0, 1, 0}},
                                                  {{0, 1, 0}, {0, 0, 1}},
                                                  {{0, -1, 0}, {0, 0, -1}}}};
    Builder b;
    for (const auto& [n, up] : faces) {
        const V3 right = cross(up, V3{-n[0], -n[1], -n[2]});
        uint32_t corner[4];
        int k = 0;
        for (const auto& [u, v] : {std::pair{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}}) {
            V3 p;
            for (int c = 0; c < 3; ++c) p[c] = (n[c] + right[c] * (2 * u - 1) + up[c] * (2 * v - 1)) * half[c];
            corner[k++] = b.vertex(p, n, u, v);
        }
        b.quad(corner[0], corner[1], corner[2], corner[3]);
    }
    return std::move(b.mesh);
}

Mesh makeCylinder(double radius, double height, int segments) {
    requireSize(radius, "radius");
    requireSize(height, "height");
    if (segments < 3) throw HostError("a cylinder needs at least 3 segments");
    requireCount(4 * (uint64_t(segments) + 1));
    Builder b;
    const double h = height / 2;
    // Side: u around the axis as on the sphere, v from the bottom (0) to the top (1).
    for (int i = 0; i <= segments; ++i) {
        const double u = double(i) / segments;
        const V3 d = around(i == segments ? 0.0 : u);
        b.vertex({d[0] * radius, -h, d[2] * radius}, d, u, 0);
        b.vertex({d[0] * radius, h, d[2] * radius}, d, u, 1);
    }
    for (int i = 0; i < segments; ++i) {
        const uint32_t a = 2 * i;
        b.quad(a, a + 2, a + 3, a + 1);
    }
    // Caps: the disc seen from outside, u along +X and v along +Z on the
    // top, along -Z on the bottom.
    for (const double sign : {1.0, -1.0}) {
        const V3 n{0, sign, 0};
        const uint32_t centre = b.vertex({0, sign * h, 0}, n, 0.5, 0.5);
        const uint32_t first = uint32_t(b.mesh.positions.size());
        for (int i = 0; i < segments; ++i) {
            const V3 d = around(double(i) / segments);
            b.vertex({d[0] * radius, sign * h, d[2] * radius}, n, 0.5 + d[0] / 2, 0.5 + sign * d[2] / 2);
        }
        for (int i = 0; i < segments; ++i) b.triangle(centre, first + i, first + (i + 1) % segments);
    }
    return std::move(b.mesh);
}

Mesh loadObj(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError(path + ": cannot open the file");
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    // Materials are not read: surfaces come from the scene.
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &in, nullptr, true, false)) {
        while (!err.empty() && (err.back() == '\n' || err.back() == '\r')) err.pop_back();
        throw HostError(path + ": " + (err.empty() ? std::string("not a readable OBJ file") : err));
    }

    const size_t positionCount = attrib.vertices.size() / 3;
    const size_t normalCount = attrib.normals.size() / 3;
    const size_t uvCount = attrib.texcoords.size() / 2;
    for (const tinyobj::real_t v : attrib.vertices)
        if (!std::isfinite(v)) throw HostError(path + ": a vertex position is not a finite number");

    // OBJ indexes positions, normals and UVs separately; the mesh has one
    // index per vertex, so each distinct combination becomes one vertex.
    struct Key {
        int v, n, t;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            return (size_t(uint32_t(k.v)) * 0x9E3779B97F4A7C15ull) ^ (size_t(uint32_t(k.n)) * 0xC2B2AE3D27D4EB4Full) ^
                   size_t(uint32_t(k.t));
        }
    };
    std::unordered_map<Key, uint32_t, KeyHash> vertices;
    std::vector<int> positionOf;  // per mesh vertex: its OBJ position
    std::vector<bool> hasNormal;
    Mesh mesh;
    mesh.file = path;

    const auto vertexFor = [&](const tinyobj::index_t& idx) -> uint32_t {
        if (idx.vertex_index < 0 || size_t(idx.vertex_index) >= positionCount)
            throw HostError(path + ": a face refers to vertex " + std::to_string(idx.vertex_index + 1) +
                            ", which does not exist");
        if (idx.normal_index >= 0 && size_t(idx.normal_index) >= normalCount)
            throw HostError(path + ": a face refers to normal " + std::to_string(idx.normal_index + 1) +
                            ", which does not exist");
        if (idx.texcoord_index >= 0 && size_t(idx.texcoord_index) >= uvCount)
            throw HostError(path + ": a face refers to texture coordinate " + std::to_string(idx.texcoord_index + 1) +
                            ", which does not exist");
        const Key key{idx.vertex_index, idx.normal_index, idx.texcoord_index};
        const auto [it, added] = vertices.try_emplace(key, uint32_t(mesh.positions.size()));
        if (!added) return it->second;
        if (mesh.positions.size() >= kMaxVertices) throw HostError(path + ": too many vertices");
        const auto* p = &attrib.vertices[3 * size_t(key.v)];
        mesh.positions.push_back({p[0], p[1], p[2]});
        V3 n{0, 0, 0};
        bool given = false;
        if (key.n >= 0) {
            const auto* q = &attrib.normals[3 * size_t(key.n)];
            n = {q[0], q[1], q[2]};
            given = normalize(n);
        }
        mesh.normals.push_back(n);
        hasNormal.push_back(given);
        positionOf.push_back(key.v);
        if (key.t >= 0) {
            const auto* t = &attrib.texcoords[2 * size_t(key.t)];
            mesh.uvs.push_back({t[0], t[1]});
        } else {
            mesh.uvs.push_back({0, 0});
        }
        mesh.uvMapped.push_back(key.t >= 0);
        return it->second;
    };

    for (const auto& shape : shapes) {
        size_t offset = 0;
        for (const unsigned char count : shape.mesh.num_face_vertices) {
            if (offset + count > shape.mesh.indices.size()) throw HostError(path + ": a face is cut short");
            // Faces are triangulated by the reader; fan anything larger that remains.
            if (count >= 3) {
                const uint32_t a = vertexFor(shape.mesh.indices[offset]);
                for (unsigned k = 1; k + 1 < count; ++k) {
                    const uint32_t b = vertexFor(shape.mesh.indices[offset + k]);
                    const uint32_t c = vertexFor(shape.mesh.indices[offset + k + 1]);
                    mesh.triangles.push_back({a, b, c});
                }
            }
            offset += count;
        }
    }
    if (mesh.triangles.empty()) throw HostError(path + ": the file has no faces");

    // Texture coordinates make the UV map; corners without one stay out of
    // it (their uv reads 0, 0).
    size_t mapped = 0;
    for (const bool m : mesh.uvMapped) mapped += m;
    if (mapped > 0) mesh.uvMap = kTextureUvMap;
    if (mapped == 0 || mapped == mesh.uvMapped.size()) mesh.uvMapped.clear();

    // Vertices without a usable normal take the area-weighted average of the
    // faces around their position, so smooth shading continues across UV seams.
    bool missing = false;
    for (const bool h : hasNormal) missing = missing || !h;
    if (missing) {
        std::vector<V3> sums(positionCount, V3{0, 0, 0});
        std::vector<V3> faceNormals;
        faceNormals.reserve(mesh.triangles.size());
        for (const auto& t : mesh.triangles) {
            const auto& p = mesh.positions;
            const V3 f = cross(sub(p[t[1]], p[t[0]]), sub(p[t[2]], p[t[0]]));
            faceNormals.push_back(f);
            for (const uint32_t i : t)
                for (int c = 0; c < 3; ++c) sums[positionOf[i]][c] += f[c];
        }
        // A vertex whose faces cancel (or have no area) takes one of its faces'
        // own normal, or +Y when every face around it is degenerate.
        std::vector<V3> fallback(mesh.positions.size(), V3{0, 1, 0});
        for (size_t f = 0; f < mesh.triangles.size(); ++f) {
            V3 n = faceNormals[f];
            if (normalize(n))
                for (const uint32_t i : mesh.triangles[f]) fallback[i] = n;
        }
        for (size_t i = 0; i < mesh.positions.size(); ++i) {
            if (hasNormal[i]) continue;
            V3 n = sums[positionOf[i]];
            mesh.normals[i] = normalize(n) ? n : fallback[i];
        }
    }
    return mesh;
}

// ---------------------------------------------------------------- Geometry

void Geometry::setMesh(LWItemID object, std::shared_ptr<const Mesh> mesh) {
    std::lock_guard lock(mutex_);
    if (mesh)
        meshes_[object] = std::move(mesh);
    else
        meshes_.erase(object);
}

std::shared_ptr<const Mesh> Geometry::mesh(LWItemID object) const {
    std::lock_guard lock(mutex_);
    const auto it = meshes_.find(object);
    return it == meshes_.end() ? nullptr : it->second;
}

void Geometry::observeSurfaces(SurfaceObserver observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void Geometry::setSurface(LWItemID object, Surface surface) {
    SurfaceObserver observer;
    const std::string name = surface.name;
    {
        std::lock_guard lock(mutex_);
        surfaces_[object] = std::move(surface);
        observer = observer_;
    }
    if (observer) observer(object, &name);
}

const Surface* Geometry::surface(LWItemID object) const {
    std::lock_guard lock(mutex_);
    const auto it = surfaces_.find(object);
    return it == surfaces_.end() ? nullptr : &it->second;
}

std::vector<LWItemID> Geometry::objects() const {
    std::lock_guard lock(mutex_);
    std::vector<LWItemID> out;
    out.reserve(meshes_.size());
    for (const auto& [id, mesh] : meshes_) out.push_back(id);
    return out;
}

void Geometry::remove(LWItemID object) {
    SurfaceObserver observer;
    bool hadSurface;
    {
        std::lock_guard lock(mutex_);
        meshes_.erase(object);
        hadSurface = surfaces_.erase(object) > 0;
        observer = observer_;
    }
    if (hadSurface && observer) observer(object, nullptr);
}

void Geometry::clear() {
    SurfaceObserver observer;
    std::vector<LWItemID> gone;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, surface] : surfaces_) gone.push_back(id);
        meshes_.clear();
        surfaces_.clear();
        observer = observer_;
    }
    if (observer)
        for (const LWItemID id : gone) observer(id, nullptr);
}

}  // namespace hostsim
