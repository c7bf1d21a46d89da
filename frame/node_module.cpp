// Module descriptor and server table of KorvalithNode. Startup and shutdown
// do nothing: this module holds no image core.
#include <cstdint>

#include "lwmodule.h"
#include "lwnodes.h"
#include "servers.h"

namespace {

ServerTagInfo kTextureNodeTags[] = {
    {"Korvalith Pro", SRVTAG_USERNAME | LANGID_USENGLISH},
    {"Korvalith Pro", SRVTAG_CMDGROUP | LANGID_USENGLISH},
    {"Korvalith Pro", SRVTAG_NODEGROUP | LANGID_USENGLISH},
    {"Korvalith Pro Node", SRVTAG_DESCRIPTION | LANGID_USENGLISH},
    {nullptr, 0},
};
ServerTagInfo kColourCorrectorTags[] = {
    {"Simple Colour Corrector", SRVTAG_USERNAME | LANGID_USENGLISH},
    {"Korvalith Pro", SRVTAG_CMDGROUP | LANGID_USENGLISH},
    {"Korvalith Pro/Utilities", SRVTAG_NODEGROUP | LANGID_USENGLISH},
    {"Simple Colour Corrector", SRVTAG_DESCRIPTION | LANGID_USENGLISH},
    {nullptr, 0},
};

ServerRecord kServers[] = {
    {LWNODE_HCLASS, "KorvalithPro", korvalithNodeActivate, kTextureNodeTags},
    {LWNODE_ICLASS, "KorvalithPro", korvalithNodeInterfaceActivate, kTextureNodeTags},
    {LWNODE_HCLASS, "SimpleColourCorrector", colourCorrectorActivate, kColourCorrectorTags},
    {LWNODE_ICLASS, "SimpleColourCorrector", colourCorrectorInterfaceActivate, kColourCorrectorTags},
    {nullptr, nullptr, nullptr, nullptr},
};

void* startup() { return reinterpret_cast<void*>(~uintptr_t{0}); }

void shutdown(void*) {}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, startup, shutdown, kServers,
};
}
