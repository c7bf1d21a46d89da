#include "objects.h"

#include <cinttypes>
#include <cstdio>

#include "geometry.h"
#include "host.h"
#include "meshes.h"
#include "scene.h"

namespace hostsim {

namespace {

SceneObjects* objects() {
    Host* host = Host::current();
    return host ? &host->objects() : nullptr;
}

int numObjects() { return objects() ? objects()->numObjects() : 0; }
LWItemID objectAt(int obj) { return objects() ? objects()->object(obj) : nullptr; }
const char* filename(int obj) {
    const LWItemID object = objectAt(obj);
    return object ? objects()->keep(objects()->fileName(object)) : nullptr;
}
int maxLayers(int obj) { return objectAt(obj) ? 1 : 0; }
int layerExists(int obj, int lnum) { return objectAt(obj) && lnum == 0 ? 1 : 0; }
void pivotPoint(int, int, LWFVector pos) {
    if (pos) pos[0] = pos[1] = pos[2] = 0.0f;
}
LWMeshInfo* layerMesh(int obj, int lnum) {
    const LWItemID object = lnum == 0 ? objectAt(obj) : nullptr;
    return object ? objects()->meshInfo(object) : nullptr;
}

// The index-th map of the type, if there is one.
bool mapAt(LWID type, int index, SceneObjects::VertexMap& out) {
    if (!objects() || index < 0) return false;
    const auto maps = objects()->vertexMaps(type);
    if (static_cast<size_t>(index) >= maps.size()) return false;
    out = maps[static_cast<size_t>(index)];
    return true;
}

int numVMaps(LWID type) { return objects() ? static_cast<int>(objects()->vertexMaps(type).size()) : 0; }
const char* vmapName(LWID type, int index) {
    SceneObjects::VertexMap map;
    return mapAt(type, index, map) ? objects()->keep(map.name) : nullptr;
}
int vmapDim(LWID type, int index) {
    SceneObjects::VertexMap map;
    return mapAt(type, index, map) ? map.dimension : 0;
}
LWID vmapType(int index) {
    SceneObjects::VertexMap map;
    return mapAt(0, index, map) ? map.type : 0;
}
const char* layerName(int obj, int lnum) { return layerExists(obj, lnum) ? "" : nullptr; }
int layerVis(int obj, int lnum) { return layerExists(obj, lnum); }
const char* userName(int obj) {
    const LWItemID object = objectAt(obj);
    const char* name = object ? Host::current()->scene().name(object) : nullptr;
    return name ? objects()->keep(name) : nullptr;
}
const char* refName(int obj) {
    const LWItemID object = objectAt(obj);
    if (!object) return nullptr;
    char text[32];
    std::snprintf(text, sizeof text, "%08" PRIXPTR, reinterpret_cast<uintptr_t>(object));
    return objects()->keep(text);
}

const LWObjectFuncs kObjectFuncs{numObjects, filename,  maxLayers, layerExists, pivotPoint,
                                 layerMesh,  numVMaps,  vmapName,  vmapDim,     vmapType,
                                 layerName,  layerVis,  userName,  refName};

}  // namespace

SceneObjects::SceneObjects(const Scene& scene, const Geometry& geometry) : scene_(scene), geometry_(geometry) {}

void SceneObjects::registerWith(Host& host) {
    host.registerService(LWOBJECTFUNCS_GLOBAL, const_cast<LWObjectFuncs*>(&kObjectFuncs));
}

const LWObjectFuncs* SceneObjects::table() const { return &kObjectFuncs; }

std::vector<LWItemID> SceneObjects::listed() const {
    std::vector<LWItemID> out;
    for (const LWItemID object : scene_.items(LWI_OBJECT))
        if (geometry_.mesh(object)) out.push_back(object);
    return out;
}

int SceneObjects::numObjects() const { return static_cast<int>(listed().size()); }

LWItemID SceneObjects::object(int index) const {
    const auto all = listed();
    return index >= 0 && static_cast<size_t>(index) < all.size() ? all[static_cast<size_t>(index)] : nullptr;
}

std::string SceneObjects::fileName(LWItemID object) const {
    const auto mesh = geometry_.mesh(object);
    const char* name = scene_.name(object);
    if (!mesh || !name) return "";
    return mesh->file.empty() ? name : mesh->file;
}

LWMeshInfo* SceneObjects::meshInfo(LWItemID object) const {
    if (!scene_.contains(object) || scene_.type(object) != LWI_OBJECT) return nullptr;
    const Surface* surface = geometry_.surface(object);
    return makeMeshInfo(geometry_.mesh(object), surface ? surface->name : "Default");
}

std::vector<SceneObjects::VertexMap> SceneObjects::vertexMaps(LWID type) const {
    std::vector<VertexMap> maps;
    if (type != 0 && type != LWVMAP_TXUV) return maps;  // the only type the meshes hold
    for (LWItemID object : listed()) {
        const auto mesh = geometry_.mesh(object);
        if (!mesh || mesh->uvMap.empty() || mesh->uvs.empty()) continue;
        bool listed = false;
        for (const VertexMap& m : maps) listed = listed || m.name == mesh->uvMap;
        if (!listed) maps.push_back({LWVMAP_TXUV, mesh->uvMap, 2});
    }
    return maps;
}

const char* SceneObjects::keep(const std::string& name) {
    std::lock_guard lock(mutex_);
    return names_.insert(name).first->c_str();
}

}  // namespace hostsim
