// "NodeHandler" and "NodeInterface" servers "SimpleColourCorrector" of
// KorvalithNode.
#include "activation.h"
#include "host_guard.h"
#include "servers.h"

extern "C" int colourCorrectorActivate(int, GlobalFunc* global, void*, void*) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        korvalith::activationPrologue(global);
        // The colour corrector node is not built into this module yet.
        return AFUNC_BADGLOBAL;
    });
}

extern "C" int colourCorrectorInterfaceActivate(int version, GlobalFunc* global, void* local, void*) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version < 4) return AFUNC_BADVERSION;
        if (!local) return AFUNC_OK;
        korvalith::activationPrologue(global);
        // No colour corrector panel can be made yet.
        return AFUNC_BADGLOBAL;
    });
}
