#include "host_access.h"

#include <cstdint>

#include "lwhost.h"
#include "lwserver.h"

namespace korvalith {
namespace {
std::atomic<GlobalFunc*> g_lookup{nullptr};
std::atomic<uint32_t> g_systemWord{0};
std::atomic<uint32_t> g_productWord{0};
}  // namespace

void setHostLookup(GlobalFunc* lookup) { g_lookup.store(lookup, std::memory_order_release); }
GlobalFunc* hostLookup() { return g_lookup.load(std::memory_order_acquire); }

void* lookupService(const char* name, int use) {
    GlobalFunc* lookup = hostLookup();
    return lookup ? lookup(name, use) : nullptr;
}

void setHostWords(uint32_t systemWord, uint32_t productWord) {
    g_systemWord.store(systemWord, std::memory_order_relaxed);
    g_productWord.store(productWord, std::memory_order_relaxed);
}
uint32_t hostSystemWord() { return g_systemWord.load(std::memory_order_relaxed); }
uint32_t hostProductWord() { return g_productWord.load(std::memory_order_relaxed); }
uint32_t hostApplicationType() { return hostSystemWord() & LWSYS_TYPEBITS; }
int hostMajorVersion() { return static_cast<int>(LWINF_GETMAJOR(hostProductWord())); }

void* acquireService(ServiceSlot& slot) {
    void* answer = lookupService(slot.name, GFUSE_ACQUIRE);
    if (answer) {
        slot.pointer.store(answer, std::memory_order_release);
        slot.count.fetch_add(1, std::memory_order_acq_rel);
    }
    return answer;
}

void releaseService(ServiceSlot& slot) {
    slot.count.fetch_sub(1, std::memory_order_acq_rel);
    lookupService(slot.name, GFUSE_RELEASE);
}

}  // namespace korvalith
