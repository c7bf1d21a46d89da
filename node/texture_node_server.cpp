// "NodeHandler" and "NodeInterface" servers "KorvalithPro" of KorvalithNode:
// the texture node.
#include "activation.h"
#include "host_guard.h"
#include "servers.h"

extern "C" int korvalithNodeActivate(int version, GlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        korvalith::HandlerActivation activation(global);
        if (version < 1) return AFUNC_BADVERSION;
        // The texture node is not built into this module yet.
        return AFUNC_BADGLOBAL;
    });
}

extern "C" int korvalithNodeInterfaceActivate(int version, GlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version != 4) return AFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        // No texture node panel can be made yet.
        return AFUNC_BADGLOBAL;
    });
}
