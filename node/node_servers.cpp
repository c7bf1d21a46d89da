// "NodeHandler" and "NodeInterface" servers of KorvalithNode: the texture
// node "KorvalithPro" and the "SimpleColourCorrector" node.
#include "activation.h"
#include "host_guard.h"
#include "servers.h"

extern "C" int korvalithNodeActivate(int version, LWGlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(LWAFUNC_BADAPP, [&] {
        korvalith::HandlerActivation activation(global);
        if (version < 1) return LWAFUNC_BADVERSION;
        // The texture node is not built into this module yet.
        return LWAFUNC_BADAPP;
    });
}

extern "C" int korvalithNodeInterfaceActivate(int version, LWGlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(LWAFUNC_BADAPP, [&] {
        if (version != 4) return LWAFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        // No texture node panel can be made yet.
        return LWAFUNC_BADAPP;
    });
}

extern "C" int colourCorrectorActivate(int, LWGlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(LWAFUNC_BADAPP, [&] {
        korvalith::activationPrologue(global);
        // The colour corrector node is not built into this module yet.
        return LWAFUNC_BADAPP;
    });
}

extern "C" int colourCorrectorInterfaceActivate(int version, LWGlobalFunc* global, void* local, void*) {
    return korvalith::guardHostCall(LWAFUNC_BADAPP, [&] {
        if (version < 4) return LWAFUNC_BADVERSION;
        if (!local) return LWAFUNC_OK;
        korvalith::activationPrologue(global);
        // No colour corrector panel can be made yet.
        return LWAFUNC_BADAPP;
    });
}
