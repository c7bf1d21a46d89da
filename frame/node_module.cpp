// Module descriptor and server table of KorvalithNode. Startup and shutdown
// do nothing: this module holds no image core.
#include <cstdint>

#include "lw_module.h"
#include "lw_server.h"
#include "servers.h"

namespace {

constexpr LWServerTagInfo kTextureNodeTags[] = {
    {"Korvalith Pro", LWSRVTAG_USERNAME},
    {"Korvalith Pro", LWSRVTAG_CMDGROUP},
    {"Korvalith Pro", LWSRVTAG_NODEGROUP},
    {"Korvalith Pro Node", LWSRVTAG_DESCRIPTION},
    {nullptr, 0},
};
constexpr LWServerTagInfo kColourCorrectorTags[] = {
    {"Simple Colour Corrector", LWSRVTAG_USERNAME},
    {"Korvalith Pro", LWSRVTAG_CMDGROUP},
    {"Korvalith Pro/Utilities", LWSRVTAG_NODEGROUP},
    {"Simple Colour Corrector", LWSRVTAG_DESCRIPTION},
    {nullptr, 0},
};

constexpr LWServerRecord kServers[] = {
    {LWNODE_HCLASS, "KorvalithPro", korvalithNodeActivate, kTextureNodeTags},
    {LWNODE_ICLASS, "KorvalithPro", korvalithNodeInterfaceActivate, kTextureNodeTags},
    {LWNODE_HCLASS, "SimpleColourCorrector", colourCorrectorActivate, kColourCorrectorTags},
    {LWNODE_ICLASS, "SimpleColourCorrector", colourCorrectorInterfaceActivate, kColourCorrectorTags},
    {nullptr, nullptr, nullptr, nullptr},
};

void* startup() { return reinterpret_cast<void*>(~uintptr_t{0}); }

void shutdown(void*) {}

}  // namespace

extern "C" __attribute__((visibility("default"))) const LWModuleDescriptor _mod_descrip = {
    LWMOD_SYNC, LWMOD_FORMAT_VERSION, LWMOD_MACHINE, startup, shutdown, kServers,
};
