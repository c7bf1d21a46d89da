#include "node_instance_base.h"

namespace korvalith {

NodeInstanceBase::NodeInstanceBase(NodeID node)
    : update_(reinterpret_cast<LWInstUpdate*>(lookupService(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT))), node_(node) {}

LWChanGroupID NodeInstanceBase::channelGroup() const {
    return nodeFuncs_.table() ? nodeFuncs_->chanGrp(node_) : nullptr;
}

void NodeInstanceBase::instanceChanged() {
    if (update_) update_(LWNODE_HCLASS, this);
}

}  // namespace korvalith
