// Channel groups through the host's "Animation Envelopes" and "Channel Info
// 2", each looked up transiently.
#pragma once

#include "lwenvel.h"

namespace korvalith::channels {

// The name of the first of the two services the host lacks, or null.
const char* missingService();
LWChanGroupID createGroup(LWChanGroupID parent, const char* name);
// Nothing for a null group.
void destroyGroup(LWChanGroupID group);
// True when a child group of parent carries the name.
bool hasChildNamed(LWChanGroupID parent, const char* name);

}  // namespace korvalith::channels
