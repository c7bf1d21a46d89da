// "LayoutGeneric" servers: the image browser and the image converter.
#include "activation.h"
#include "host_guard.h"
#include "servers.h"

namespace {
int activateLayoutTool(int version, LWGlobalFunc* global) {
    return korvalith::guardHostCall(LWAFUNC_BADAPP, [&] {
        if (version < 2) return LWAFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        // The tool's panel is not built into this module yet.
        return LWAFUNC_BADAPP;
    });
}
}  // namespace

extern "C" int korvalithBrowserActivate(int version, LWGlobalFunc* global, void*, void*) {
    return activateLayoutTool(version, global);
}

extern "C" int korvalithConverterActivate(int version, LWGlobalFunc* global, void*, void*) {
    return activateLayoutTool(version, global);
}
