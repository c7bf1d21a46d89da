// "Global" server "KorvalithCoreServices": hands out the core services table.
#include <cstring>

#include "activation.h"
#include "core_services.h"
#include "host_guard.h"
#include "lwglobsrv.h"
#include "registry.h"
#include "servers.h"

extern "C" int korvalithGlobalActivate(int version, GlobalFunc* global, void* local, void*) {
    return korvalith::guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version < 1) return AFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        korvalith::ImageRegistry::instance().ensureLock();
        auto* service = static_cast<LWGlobalService*>(local);
        if (!service) return AFUNC_BADLOCAL;
        // The terminating zero takes part, so a longer name with this prefix
        // does not match.
        const bool match = service->id && std::strncmp(service->id, KORVALITH_CORE_SERVICES, 22) == 0;
        service->data = match ? const_cast<CoreServices*>(korvalith::coreServices()) : nullptr;
        return AFUNC_OK;
    });
}
