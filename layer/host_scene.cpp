#include "host_scene.h"

#include "host_access.h"
#include "lwmeshes.h"
#include "lwrender.h"
#include "lwserver.h"

namespace korvalith::scene {

namespace {
const LWItemInfo* items() { return static_cast<const LWItemInfo*>(lookupService(LWITEMINFO_GLOBAL, GFUSE_TRANSIENT)); }
const LWSceneInfo* sceneInfo() {
    return static_cast<const LWSceneInfo*>(lookupService(LWSCENEINFO_GLOBAL, GFUSE_TRANSIENT));
}
const LWCameraInfo* cameras() {
    return static_cast<const LWCameraInfo*>(lookupService(LWCAMERAINFO_GLOBAL, GFUSE_TRANSIENT));
}
const LWObjectFuncs* objects() {
    return static_cast<const LWObjectFuncs*>(lookupService(LWOBJECTFUNCS_GLOBAL, GFUSE_TRANSIENT));
}
}  // namespace

LWItemID firstItem(int type) {
    const LWItemInfo* i = items();
    return i ? i->first(type, nullptr) : nullptr;
}

LWItemID nextItem(LWItemID item) {
    const LWItemInfo* i = items();
    return i && item ? i->next(item) : nullptr;
}

LWItemID parent(LWItemID item) {
    const LWItemInfo* i = items();
    return i && item ? i->parent(item) : nullptr;
}

const char* itemName(LWItemID item) {
    const LWItemInfo* i = items();
    return i && item ? i->name(item) : nullptr;
}

bool itemVector(LWItemID item, int param, double time, double out[3]) {
    out[0] = out[1] = out[2] = 0;
    const LWItemInfo* i = items();
    if (!i || !item) return false;
    i->param(item, param, time, out);
    return true;
}

LWItemID renderCamera(double time) {
    const LWSceneInfo* s = sceneInfo();
    return s && s->renderCamera ? s->renderCamera(time) : nullptr;
}

bool cameraPose(LWItemID camera, double time, CameraPose* pose) {
    const LWCameraInfo* c = cameras();
    if (!c || !camera) return false;
    if (!itemVector(camera, LWIP_RIGHT, time, pose->right) || !itemVector(camera, LWIP_UP, time, pose->up) ||
        !itemVector(camera, LWIP_FORWARD, time, pose->forward) ||
        !itemVector(camera, LWIP_W_POSITION, time, pose->position))
        return false;
    pose->zoom = c->zoomFactor(camera, time);
    return true;
}

bool fieldOfView(LWItemID camera, double time, double* horizontal, double* vertical) {
    *horizontal = *vertical = 0;
    const LWCameraInfo* c = cameras();
    if (!c || !camera) return false;
    c->fovAngles(camera, time, horizontal, vertical);
    return true;
}

bool frameInfo(FrameInfo* info) {
    const LWSceneInfo* s = sceneInfo();
    if (!s) return false;
    info->width = s->frameWidth;
    info->height = s->frameHeight;
    info->pixelAspect = s->pixelAspect;
    return true;
}

int uvMapCount() {
    const LWObjectFuncs* o = objects();
    return o ? o->numVMaps(LWVMAP_TXUV) : 0;
}

const char* uvMapName(int index) {
    const LWObjectFuncs* o = objects();
    return o ? o->vmapName(LWVMAP_TXUV, index) : nullptr;
}

}  // namespace korvalith::scene
