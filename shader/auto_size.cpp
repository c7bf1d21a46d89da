#include "auto_size.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "host_access.h"
#include "layer_instance.h"
#include "lwhost.h"
#include "lwmeshes.h"
#include "shader_instance.h"

namespace korvalith {

namespace {

bool same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

// The object of the surface: in Modeler first by the objects' second names,
// then (everywhere) by their file names; -1 for none.
int findObject(const LWObjectFuncs& objects, const char* objectName) {
    if (!objectName) return -1;
    const int n = objects.numObjects ? objects.numObjects() : 0;
    if (hostApplicationType() == LWSYS_MODELER && objects.userName)
        for (int i = 0; i < n; ++i)
            if (same(objects.userName(i), objectName)) return i;
    if (objects.filename)
        for (int i = 0; i < n; ++i)
            if (same(objects.filename(i), objectName)) return i;
    return -1;
}

struct Box {
    LWMeshInfo* mesh = nullptr;
    const char* surfaceName = nullptr;  // null or empty: every polygon
    double min[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
    double max[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    bool empty() const { return min[0] > max[0]; }
};

int visitPolygon(void* data, LWPolID polygon) {
    Box& box = *static_cast<Box*>(data);
    LWMeshInfo* mesh = box.mesh;
    if (box.surfaceName && *box.surfaceName &&
        !same(mesh->polTag ? mesh->polTag(mesh, polygon, LWPTAG_SURF) : nullptr, box.surfaceName))
        return 0;
    const int n = mesh->polSize ? mesh->polSize(mesh, polygon) : 0;
    for (int v = 0; v < n; ++v) {
        LWFVector p = {0, 0, 0};
        mesh->pntBasePos(mesh, mesh->polVertex(mesh, polygon, v), p);
        for (int k = 0; k < 3; ++k) {
            if (p[k] > box.max[k]) box.max[k] = p[k];
            if (p[k] < box.min[k]) box.min[k] = p[k];
        }
    }
    return 0;
}

}  // namespace

void autoSize(LayerInstance& instance) {
    if (instance.kind() != kShaderInstance) return;
    auto* surface = static_cast<LWSurfaceID>(instance.context());
    HostService<LWSurfaceFuncs> surfaces(slots::surfaceFuncs);
    const LWSurfaceFuncs* s = surfaces.table();
    auto* objects = static_cast<const LWObjectFuncs*>(lookupService(LWOBJECTFUNCS_GLOBAL, GFUSE_TRANSIENT));
    if (!s || !surface || !objects) return;
    const int object = findObject(*objects, s->sceneObject(surface));
    if (object < 0) return;

    Box box;
    box.surfaceName = s->name(surface);
    const int layers = objects->maxLayers ? objects->maxLayers(object) : 0;
    for (int layer = 0; layer < layers; ++layer) {
        if (!objects->layerExists || !objects->layerExists(object, layer) || !objects->layerMesh) continue;
        LWMeshInfo* mesh = objects->layerMesh(object, layer);
        if (!mesh) continue;
        box.mesh = mesh;
        if (mesh->scanPolys && mesh->pntBasePos && mesh->polVertex) mesh->scanPolys(mesh, visitPolygon, &box);
        if (mesh->destroy) mesh->destroy(mesh);
    }
    // No polygon of the surface: the box has no size, and the mapping keeps its own.
    if (box.empty()) return;

    double size[3], centre[3];
    for (int k = 0; k < 3; ++k) {
        size[k] = static_cast<float>(std::fabs(box.max[k] - box.min[k]));
        centre[k] = static_cast<float>(box.min[k] + (box.max[k] - box.min[k]) * 0.5);
    }
    LayerMapping& mapping = instance.layer().mapping;
    mapping.scale.setValue(size[0], size[1], size[2]);
    mapping.position.setValue(centre[0], centre[1], centre[2]);
}

}  // namespace korvalith
