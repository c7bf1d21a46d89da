// "LayoutGeneric" servers: the image browser and the image converter.
#include "activation.h"
#include "host_guard.h"
#include "servers.h"

namespace {
int activateLayoutTool(int version, GlobalFunc* global) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version < 2) return AFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        // The tool's panel is not built into this module yet.
        return AFUNC_BADGLOBAL;
    });
}
}  // namespace

extern "C" int korvalithBrowserActivate(int version, GlobalFunc* global, void*, void*) {
    return activateLayoutTool(version, global);
}

extern "C" int korvalithConverterActivate(int version, GlobalFunc* global, void*, void*) {
    return activateLayoutTool(version, global);
}
