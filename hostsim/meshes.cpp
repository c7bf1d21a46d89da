#include "meshes.h"

#include <cstring>

namespace hostsim {

namespace {

struct MeshState {
    LWMeshInfo table;  // first, so the record's address is the state's
    std::shared_ptr<const Mesh> mesh;
    std::string surface;
    bool selected = false;  // the UV map
};

MeshState* state(LWMeshInfoID mesh) { return mesh ? static_cast<MeshState*>(mesh->priv) : nullptr; }

// The handle pntVLookup answers for the mesh's UV map.
void* uvHandle(MeshState& s) { return const_cast<std::string*>(&s.mesh->uvMap); }
bool hasUvMap(const Mesh& m) { return !m.uvMap.empty() && !m.uvs.empty(); }

// The vertex of an id, when the mesh has it.
bool vertexOf(const MeshState* s, LWPntID point, uint32_t& vertex) {
    vertex = pointIndex(point);
    return s && vertex < s->mesh->positions.size();
}
const std::array<uint32_t, 3>* triangleOf(const MeshState* s, LWPolID polygon) {
    const uint32_t t = polygonIndex(polygon);
    return s && t < s->mesh->triangles.size() ? &s->mesh->triangles[t] : nullptr;
}

void destroy(LWMeshInfoID mesh) { delete state(mesh); }
int numPoints(LWMeshInfoID mesh) {
    const MeshState* s = state(mesh);
    return s ? static_cast<int>(s->mesh->positions.size()) : 0;
}
int numPolygons(LWMeshInfoID mesh) {
    const MeshState* s = state(mesh);
    return s ? static_cast<int>(s->mesh->triangles.size()) : 0;
}
int scanPoints(LWMeshInfoID mesh, LWPntScanFunc* scan, void* data) {
    const MeshState* s = state(mesh);
    if (!s || !scan) return 0;
    const auto n = static_cast<uint32_t>(s->mesh->positions.size());
    for (uint32_t i = 0; i < n; ++i)
        if (const int r = scan(data, pointId(i))) return r;
    return 0;
}
int scanPolys(LWMeshInfoID mesh, LWPolScanFunc* scan, void* data) {
    const MeshState* s = state(mesh);
    if (!s || !scan) return 0;
    const auto n = static_cast<uint32_t>(s->mesh->triangles.size());
    for (uint32_t i = 0; i < n; ++i)
        if (const int r = scan(data, polygonId(i))) return r;
    return 0;
}
void pntBasePos(LWMeshInfoID mesh, LWPntID point, LWFVector pos) {
    if (!pos) return;
    uint32_t v;
    const MeshState* s = state(mesh);
    for (int c = 0; c < 3; ++c) pos[c] = vertexOf(s, point, v) ? static_cast<float>(s->mesh->positions[v][c]) : 0.0f;
}
void* pntVLookup(LWMeshInfoID mesh, LWID type, const char* name) {
    MeshState* s = state(mesh);
    if (!s || type != LWVMAP_TXUV || !name || !hasUvMap(*s->mesh) || s->mesh->uvMap != name) return nullptr;
    return uvHandle(*s);
}
int pntVSelect(LWMeshInfoID mesh, void* vmap) {
    MeshState* s = state(mesh);
    if (!s) return 0;
    s->selected = vmap && vmap == uvHandle(*s) && hasUvMap(*s->mesh);
    return s->selected ? 2 : 0;
}
// The vertex's uv in the map, when it holds one.
int readUv(MeshState* s, LWPntID point, float* vector) {
    uint32_t v;
    if (!vertexOf(s, point, v) || !s->mesh->hasUv(v)) return 0;
    if (vector) {
        vector[0] = static_cast<float>(s->mesh->uvs[v][0]);
        vector[1] = static_cast<float>(s->mesh->uvs[v][1]);
    }
    return 1;
}
int pntVGet(LWMeshInfoID mesh, LWPntID point, float* vector) {
    MeshState* s = state(mesh);
    return s && s->selected ? readUv(s, point, vector) : 0;
}
LWID polType(LWMeshInfoID mesh, LWPolID polygon) { return triangleOf(state(mesh), polygon) ? LWPOLTYPE_FACE : 0; }
int polSize(LWMeshInfoID mesh, LWPolID polygon) { return triangleOf(state(mesh), polygon) ? 3 : 0; }
LWPntID polVertex(LWMeshInfoID mesh, LWPolID polygon, int vertex) {
    const auto* t = triangleOf(state(mesh), polygon);
    return t && vertex >= 0 && vertex < 3 ? pointId((*t)[static_cast<size_t>(vertex)]) : nullptr;
}
const char* polTag(LWMeshInfoID mesh, LWPolID polygon, LWID type) {
    const MeshState* s = state(mesh);
    return type == LWPTAG_SURF && triangleOf(s, polygon) ? s->surface.c_str() : nullptr;
}
int pntVPGet(LWMeshInfoID, LWPntID, LWPolID, float*) { return 0; }
unsigned int polFlags(LWMeshInfoID, LWPolID) { return 0; }
int pntVIDGet(LWMeshInfoID mesh, LWPntID point, float* vector, void* vmap) {
    MeshState* s = state(mesh);
    return s && vmap && vmap == uvHandle(*s) && hasUvMap(*s->mesh) ? readUv(s, point, vector) : 0;
}
int pntVPIDGet(LWMeshInfoID, LWPntID, LWPolID, float*, void*) { return 0; }

}  // namespace

LWMeshInfo* makeMeshInfo(std::shared_ptr<const Mesh> mesh, const std::string& surfaceName) {
    if (!mesh) return nullptr;
    auto* s = new MeshState{{}, std::move(mesh), surfaceName};
    s->table = {s,          destroy,    numPoints, numPolygons, scanPoints, scanPolys, pntBasePos,
                pntBasePos, pntVLookup, pntVSelect, pntVGet,    polType,    polSize,   polVertex,
                polTag,     pntVPGet,   polFlags,  pntVIDGet,   pntVPIDGet};
    return &s->table;
}

LWPntID pointId(uint32_t vertex) { return reinterpret_cast<LWPntID>(uintptr_t{vertex} + 1); }
LWPolID polygonId(uint32_t triangle) { return reinterpret_cast<LWPolID>(uintptr_t{triangle} + 1); }

uint32_t pointIndex(LWPntID point) {
    const auto v = reinterpret_cast<uintptr_t>(point);
    return v == 0 || v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v - 1);
}
uint32_t polygonIndex(LWPolID polygon) {
    const auto v = reinterpret_cast<uintptr_t>(polygon);
    return v == 0 || v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v - 1);
}

}  // namespace hostsim
