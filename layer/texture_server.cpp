// "TextureHandler" and "TextureInterface" servers "KorvalithPro".
#include "activation.h"
#include "servers.h"

extern "C" int korvalithTextureActivate(int version, LWGlobalFunc* global, void*, void*) {
    korvalith::HandlerActivation activation(global);
    if (version < 5) return LWAFUNC_BADVERSION;
    // The texture handler is not built into this module yet.
    return LWAFUNC_BADAPP;
}

extern "C" int korvalithTextureInterfaceActivate(int version, LWGlobalFunc* global, void*, void*) {
    if (version != 4) return LWAFUNC_BADVERSION;
    korvalith::activationPrologue(global);
    // No texture panel can be made yet.
    return LWAFUNC_BADAPP;
}
