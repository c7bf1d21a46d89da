// Every service the modules look up, with the table `sdk/` declares for it
// and the number of members LightWave publishes for that table. Services
// that are a function or a word rather than a table have no member count.
// A service missing here fails the end-to-end check that runs after every
// test (see service_balance.h), so a new lookup cannot go undeclared.
#pragma once

#include <cstddef>
#include <string>

#include "lwcommand.h"
#include "lwenvel.h"
#include "lwhandler.h"
#include "lwhost.h"
#include "lwio.h"
#include "lwmeshes.h"
#include "lwmtutil.h"
#include "lwnodes.h"
#include "lwpanel.h"
#include "lwrender.h"
#include "lwsurf.h"
#include "lwtxtr.h"
#include "lwvparm.h"
#include "lwxpanel.h"

enum class ServiceKind {
    Functions,           // a table of function pointers
    VersionAndFunctions, // an int version (padded to a pointer's size), then pointers
    Record,              // a record of values the host keeps current
    Function,            // the service is a function itself
    Word,                // the service is a 32-bit word in place of a pointer
};

struct SdkService {
    const char* name;
    ServiceKind kind;
    std::size_t size;              // of the declared table or record
    std::size_t publishedMembers;  // of a table
    std::size_t plugInMembers = 0; // last members that the plug-in fills, not the host
};

inline constexpr SdkService kSdkServices[] = {
    {LWMESSAGEFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWMessageFuncs), 7},
    {LWMTUTILFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWMTUtilFuncs), 33},
    {LWFILEIOFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWFileIOFuncs), 4},
    {LWPANELFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWPanelFuncs), 13, 2},
    {LWXPANELFUNCS_GLOBAL, ServiceKind::VersionAndFunctions, sizeof(LWXPanelFuncs), 14},
    {LWVPARMFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWVParmFuncs), 15},
    {LWTEXTUREFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWTextureFuncs), 30},
    {LWENVELOPEFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWEnvelopeFuncs), 20},
    {LWCHANNELINFO_GLOBAL, ServiceKind::Functions, sizeof(LWChannelInfo), 15},
    {LWNODEFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWNodeFuncs), 7},
    {LWNODEINPUTFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWNodeInputFuncs), 14},
    {LWNODEOUTPUTFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWNodeOutputFuncs), 13},
    {LWNODEUTILITYFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWNodeUtilityFuncs), 2},
    {LWITEMINFO_GLOBAL, ServiceKind::Functions, sizeof(LWItemInfo), 21},
    {LWSCENEINFO_GLOBAL, ServiceKind::Record, sizeof(LWSceneInfo), 0},
    {LWCAMERAINFO_GLOBAL, ServiceKind::Functions, sizeof(LWCameraInfo), 13},
    {LWOBJECTFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWObjectFuncs), 14},
    {LWOBJECTINFO_GLOBAL, ServiceKind::Functions, sizeof(LWObjectInfo), 20},
    {LWSURFACEFUNCS_GLOBAL, ServiceKind::Functions, sizeof(LWSurfaceFuncs), 26},
    {LWDIRINFOFUNC_GLOBAL, ServiceKind::Function, 0, 0},
    {LWFILEACTIVATEFUNC_GLOBAL, ServiceKind::Function, 0, 0},
    {LWFILEREQFUNC_GLOBAL, ServiceKind::Function, 0, 0},
    {LWINSTUPDATE_GLOBAL, ServiceKind::Function, 0, 0},
    {LWCOMMANDFUNC_GLOBAL, ServiceKind::Function, 0, 0},
    {LWSYSTEMID_GLOBAL, ServiceKind::Word, 0, 0},
    {LWPRODUCTINFO_GLOBAL, ServiceKind::Word, 0, 0},
};

// The global that KorvalithPro serves itself, for KorvalithNode and the
// tools; it is declared with the services, not in sdk/.
inline constexpr const char* kOwnGlobal = "KorvalithCoreServices";

inline bool declaredService(const std::string& name) {
    if (name == kOwnGlobal) return true;
    for (const SdkService& s : kSdkServices)
        if (name == s.name) return true;
    return false;
}
