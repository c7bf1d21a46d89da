// "ShaderHandler" and "ShaderInterface" servers "KorvalithPro".
#include "activation.h"
#include "host_guard.h"
#include "servers.h"

extern "C" int korvalithShaderActivate(int version, GlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        korvalith::HandlerActivation activation(global);
        if (version < 4) return AFUNC_BADVERSION;
        // The shader handler is not built into this module yet.
        return AFUNC_BADGLOBAL;
    });
}

extern "C" int korvalithShaderInterfaceActivate(int version, GlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version != 4) return AFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        // No shader panel can be made yet.
        return AFUNC_BADGLOBAL;
    });
}
