// Module descriptor and server table of KorvalithPro.
#include <cstdint>

#include "codec.h"
#include "lwgeneric.h"
#include "lwglobsrv.h"
#include "lwmodule.h"
#include "lwserver.h"
#include "lwshader.h"
#include "lwtexture.h"
#include "registry.h"
#include "servers.h"

namespace {

ServerTagInfo kBrowserTags[] = {
    {"Korvalith Pro Browser", SRVTAG_USERNAME | LANGID_USENGLISH},
    {"Korvalith Pro", SRVTAG_CMDGROUP | LANGID_USENGLISH},
    {"Korvalith Pro Image Browser", SRVTAG_DESCRIPTION | LANGID_USENGLISH},
    {nullptr, 0},
};
ServerTagInfo kConverterTags[] = {
    {"Korvalith Pro Converter", SRVTAG_USERNAME | LANGID_USENGLISH},
    {"Korvalith Pro", SRVTAG_CMDGROUP | LANGID_USENGLISH},
    {"Korvalith Pro Image Converter", SRVTAG_DESCRIPTION | LANGID_USENGLISH},
    {nullptr, 0},
};
ServerTagInfo kShaderTags[] = {
    {"Korvalith Pro", SRVTAG_USERNAME | LANGID_USENGLISH},
    {"Korvalith Pro", SRVTAG_CMDGROUP | LANGID_USENGLISH},
    {"Korvalith Pro Shader", SRVTAG_DESCRIPTION | LANGID_USENGLISH},
    {nullptr, 0},
};
ServerTagInfo kTextureTags[] = {
    {"Korvalith Pro", SRVTAG_USERNAME | LANGID_USENGLISH},
    {"Korvalith Pro", SRVTAG_CMDGROUP | LANGID_USENGLISH},
    {"Korvalith Pro Texture", SRVTAG_DESCRIPTION | LANGID_USENGLISH},
    {nullptr, 0},
};

ServerRecord kServers[] = {
    {LWLAYOUTGENERIC_CLASS, "Korvalith_Browser", korvalithBrowserActivate, kBrowserTags},
    {LWLAYOUTGENERIC_CLASS, "Korvalith_Converter", korvalithConverterActivate, kConverterTags},
    {LWGLOBALSERVICE_CLASS, "KorvalithCoreServices", korvalithGlobalActivate, nullptr},
    {LWSHADER_HCLASS, "KorvalithPro", korvalithShaderActivate, kShaderTags},
    {LWSHADER_ICLASS, "KorvalithPro", korvalithShaderInterfaceActivate, kShaderTags},
    {LWTEXTURE_HCLASS, "KorvalithPro", korvalithTextureActivate, kTextureTags},
    {LWTEXTURE_ICLASS, "KorvalithPro", korvalithTextureInterfaceActivate, kTextureTags},
    {nullptr, nullptr, nullptr, nullptr},
};

void* startup() {
    korvalith::codec::startup();
    return reinterpret_cast<void*>(~uintptr_t{0});
}

void shutdown(void*) {
    korvalith::ImageRegistry::instance().shutdown();
    korvalith::codec::shutdown();
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, startup, shutdown, kServers,
};
}
