// Module descriptor and server table of KorvalithPro.
#include <cstdint>

#include "codec.h"
#include "lw_global.h"
#include "registry.h"
#include "lw_module.h"
#include "lw_server.h"
#include "servers.h"

namespace {

constexpr LWServerTagInfo kBrowserTags[] = {
    {"Korvalith Pro Browser", LWSRVTAG_USERNAME},
    {"Korvalith Pro", LWSRVTAG_CMDGROUP},
    {"Korvalith Pro Image Browser", LWSRVTAG_DESCRIPTION},
    {nullptr, 0},
};
constexpr LWServerTagInfo kConverterTags[] = {
    {"Korvalith Pro Converter", LWSRVTAG_USERNAME},
    {"Korvalith Pro", LWSRVTAG_CMDGROUP},
    {"Korvalith Pro Image Converter", LWSRVTAG_DESCRIPTION},
    {nullptr, 0},
};
constexpr LWServerTagInfo kShaderTags[] = {
    {"Korvalith Pro", LWSRVTAG_USERNAME},
    {"Korvalith Pro", LWSRVTAG_CMDGROUP},
    {"Korvalith Pro Shader", LWSRVTAG_DESCRIPTION},
    {nullptr, 0},
};
constexpr LWServerTagInfo kTextureTags[] = {
    {"Korvalith Pro", LWSRVTAG_USERNAME},
    {"Korvalith Pro", LWSRVTAG_CMDGROUP},
    {"Korvalith Pro Texture", LWSRVTAG_DESCRIPTION},
    {nullptr, 0},
};

constexpr LWServerRecord kServers[] = {
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

extern "C" __attribute__((visibility("default"))) const LWModuleDescriptor _mod_descrip = {
    LWMOD_SYNC, LWMOD_FORMAT_VERSION, LWMOD_MACHINE, startup, shutdown, kServers,
};
