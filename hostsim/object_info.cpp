#include "object_info.h"

#include "geometry.h"
#include "host.h"
#include "objects.h"
#include "scene.h"

namespace hostsim {

namespace {

// The object's mesh when the id is an object item of the scene that has one.
std::shared_ptr<const Mesh> meshOf(LWItemID object) {
    Host* host = Host::current();
    if (!host || !host->scene().contains(object) || host->scene().type(object) != LWI_OBJECT) return nullptr;
    return host->geometry().mesh(object);
}

const char* filename(LWItemID object) {
    if (!meshOf(object)) return nullptr;
    SceneObjects& objects = Host::current()->objects();
    return objects.keep(objects.fileName(object));
}
int numPoints(LWItemID object) {
    const auto mesh = meshOf(object);
    return mesh ? static_cast<int>(mesh->positions.size()) : 0;
}
int numPolygons(LWItemID object) {
    const auto mesh = meshOf(object);
    return mesh ? static_cast<int>(mesh->triangles.size()) : 0;
}
unsigned int shadowOpts(LWItemID object) {
    return meshOf(object) ? LWOSHAD_SELF | LWOSHAD_CAST | LWOSHAD_RECEIVE : 0;
}
double dissolve(LWItemID, LWTime) { return 0; }
LWMeshInfoID meshInfo(LWItemID object, int) {
    return meshOf(object) ? Host::current()->objects().meshInfo(object) : nullptr;
}
unsigned int flags(LWItemID) { return 0; }
double fog(LWItemID, LWTime) { return 0; }
LWTextureID dispMap(LWItemID) { return nullptr; }
LWTextureID clipMap(LWItemID) { return nullptr; }
void patchLevel(LWItemID object, int* display, int* render) {
    const int level = meshOf(object) ? 3 : 0;
    if (display) *display = level;
    if (render) *render = level;
}
void metaballRes(LWItemID, double* display, double* render) {
    if (display) *display = 0;
    if (render) *render = 0;
}
LWItemID boneSource(LWItemID) { return nullptr; }
LWItemID morphTarget(LWItemID) { return nullptr; }
double morphAmount(LWItemID, LWTime) { return 0; }
unsigned int edgeOpts(LWItemID) { return 0; }
void edgeColor(LWItemID, LWTime, LWDVector color) {
    if (color) color[0] = color[1] = color[2] = 0;
}
int subdivOrder(LWItemID) { return 0; }
double polygonSize(LWItemID object, LWTime) { return meshOf(object) ? 1.0 : 0.0; }
int excluded(LWItemID, LWItemID) { return 0; }

const LWObjectInfo kObjectInfo{filename,   numPoints,   numPolygons, shadowOpts,  dissolve,    meshInfo,   flags,
                               fog,        dispMap,     clipMap,     patchLevel,  metaballRes, boneSource, morphTarget,
                               morphAmount, edgeOpts,   edgeColor,   subdivOrder, polygonSize, excluded};

}  // namespace

void registerObjectInfo(Host& host) {
    host.registerService(LWOBJECTINFO_GLOBAL, const_cast<LWObjectInfo*>(&kObjectInfo));
}

const LWObjectInfo* objectInfoTable() { return &kObjectInfo; }

}  // namespace hostsim
