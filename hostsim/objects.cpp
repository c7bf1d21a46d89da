#include "objects.h"

#include "geometry.h"
#include "host.h"
#include "scene.h"

namespace hostsim {

namespace {

SceneObjects* objects() {
    Host* host = Host::current();
    return host ? &host->objects() : nullptr;
}

int numObjects() { return objects() ? objects()->numObjects() : 0; }
const char* filename(int) { return nullptr; }
int maxLayers(int) { return 0; }
int layerExists(int, int) { return 0; }
void pivotPoint(int, int, LWFVector pos) {
    if (pos) pos[0] = pos[1] = pos[2] = 0.0f;
}
LWMeshInfo* layerMesh(int, int) { return nullptr; }

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
const char* layerName(int, int) { return nullptr; }
int layerVis(int, int) { return 0; }
const char* userName(int) { return nullptr; }
const char* refName(int) { return nullptr; }

const LWObjectFuncs kObjectFuncs{numObjects, filename,  maxLayers, layerExists, pivotPoint,
                                 layerMesh,  numVMaps,  vmapName,  vmapDim,     vmapType,
                                 layerName,  layerVis,  userName,  refName};

}  // namespace

SceneObjects::SceneObjects(const Scene& scene, const Geometry& geometry) : scene_(scene), geometry_(geometry) {}

void SceneObjects::registerWith(Host& host) {
    host.registerService(LWOBJECTFUNCS_GLOBAL, const_cast<LWObjectFuncs*>(&kObjectFuncs));
}

const LWObjectFuncs* SceneObjects::table() const { return &kObjectFuncs; }

int SceneObjects::numObjects() const { return static_cast<int>(scene_.items(LWI_OBJECT).size()); }

std::vector<SceneObjects::VertexMap> SceneObjects::vertexMaps(LWID type) const {
    std::vector<VertexMap> maps;
    if (type != 0 && type != LWVMAP_TXUV) return maps;  // the only type the meshes hold
    for (LWItemID object : scene_.items(LWI_OBJECT)) {
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
