// "ShaderHandler" and "ShaderInterface" servers "KorvalithPro".
#include "activation.h"
#include "host_guard.h"
#include "servers.h"

extern "C" int korvalithShaderActivate(int version, LWGlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(LWAFUNC_BADAPP, [&] {
        korvalith::HandlerActivation activation(global);
        if (version < 4) return LWAFUNC_BADVERSION;
        // The shader handler is not built into this module yet.
        return LWAFUNC_BADAPP;
    });
}

extern "C" int korvalithShaderInterfaceActivate(int version, LWGlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(LWAFUNC_BADAPP, [&] {
        if (version != 4) return LWAFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        // No shader panel can be made yet.
        return LWAFUNC_BADAPP;
    });
}
