// "Global" server "KorvalithCoreServices": hands out the core services table.
#include <cstring>

#include "activation.h"
#include "servers.h"

extern "C" int korvalithGlobalActivate(int version, LWGlobalFunc* global, void* local, void*) {
    if (version < 1) return LWAFUNC_BADVERSION;
    korvalith::activationPrologue(global);
    auto* service = static_cast<LWGlobalService*>(local);
    if (!service) return LWAFUNC_BADAPP;
    service->data = nullptr;
    // The terminating zero takes part, so a longer name with this prefix
    // does not match.
    if (!service->id || std::strncmp(service->id, "KorvalithCoreServices", 22) != 0) return LWAFUNC_OK;
    // The core services table is not built into this module yet.
    return LWAFUNC_BADAPP;
}
