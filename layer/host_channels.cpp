#include "host_channels.h"

#include <cstring>

#include "host_access.h"
#include "lwenvel.h"
#include "lwserver.h"

namespace korvalith::channels {

namespace {
const LWEnvelopeFuncs* envelopes() {
    return static_cast<const LWEnvelopeFuncs*>(lookupService(LWENVELOPEFUNCS_GLOBAL, GFUSE_TRANSIENT));
}
const LWChannelInfo* channelInfo() {
    return static_cast<const LWChannelInfo*>(lookupService(LWCHANNELINFO_GLOBAL, GFUSE_TRANSIENT));
}
}  // namespace

const char* missingService() {
    if (!envelopes()) return LWENVELOPEFUNCS_GLOBAL;
    if (!channelInfo()) return LWCHANNELINFO_GLOBAL;
    return nullptr;
}

LWChanGroupID createGroup(LWChanGroupID parent, const char* name) {
    const LWEnvelopeFuncs* e = envelopes();
    return e ? e->createGroup(parent, name) : nullptr;
}

void destroyGroup(LWChanGroupID group) {
    const LWEnvelopeFuncs* e = envelopes();
    if (e && group) e->destroyGroup(group);
}

bool hasChildNamed(LWChanGroupID parent, const char* name) {
    const LWChannelInfo* info = channelInfo();
    if (!info) return false;
    for (LWChanGroupID g = info->nextGroup(parent, nullptr); g; g = info->nextGroup(parent, g)) {
        const char* n = info->groupName(g);
        if (n && std::strcmp(n, name) == 0) return true;
    }
    return false;
}

}  // namespace korvalith::channels
