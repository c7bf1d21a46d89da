#include "activation.h"

#include <cstdint>

#include "lw_host.h"

namespace korvalith {

namespace {
uint32_t readWord(const char* service) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lookupService(service, GFUSE_TRANSIENT)));
}
}  // namespace

void activationPrologue(LWGlobalFunc* lookup) {
    setHostLookup(lookup);
    HostService<LWMessageFuncs> messages(slots::messages);
    setHostWords(readWord(LWSYSTEMID_GLOBAL), readWord(LWPRODUCTINFO_GLOBAL));
}

HandlerActivation::HandlerActivation(LWGlobalFunc* lookup) : prologue_(lookup), messages_(slots::messages) {}

}  // namespace korvalith
