#include "activation.h"

#include <cstdint>

#include "lwhost.h"
#include "lwserver.h"

namespace korvalith {

namespace {
uint32_t readWord(const char* service) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lookupService(service, GFUSE_TRANSIENT)));
}
}  // namespace

void activationPrologue(GlobalFunc* lookup) {
    setHostLookup(lookup);
    HostService<LWMessageFuncs> messages(slots::messages);
    setHostWords(readWord(LWSYSTEMID_GLOBAL), readWord(LWPRODUCTINFO_GLOBAL));
}

HandlerActivation::HandlerActivation(GlobalFunc* lookup) : prologue_(lookup), messages_(slots::messages) {}

}  // namespace korvalith
