// The small base of the host-only utility nodes: the node handle, the node
// services held for the instance's lifetime, the host's "Instance Update"
// and a description line.
#pragma once

#include <string>

#include "host_access.h"
#include "lwhandler.h"
#include "lwnodes.h"
#include "node_ports.h"

namespace korvalith {

class NodeInstanceBase {
public:
    explicit NodeInstanceBase(NodeID node);
    NodeInstanceBase(const NodeInstanceBase&) = delete;
    NodeInstanceBase& operator=(const NodeInstanceBase&) = delete;
    virtual ~NodeInstanceBase() { description_.clear(); }

    NodeID node() const { return node_; }
    const char* description() const { return description_.c_str(); }
    // The node's channel group, as the host reports it (null without one).
    LWChanGroupID channelGroup() const;
    // Tells the host that the instance changed; nothing without the service.
    void instanceChanged();

protected:
    HostService<LWNodeFuncs> nodeFuncs_{slots::nodeFuncs};
    HostService<LWNodeInputFuncs> inputFuncs_{slots::nodeInputFuncs};
    HostService<LWNodeOutputFuncs> outputFuncs_{slots::nodeOutputFuncs};

private:
    std::string description_ = "(empty)";
    LWInstUpdate* update_ = nullptr;
    NodeID node_ = nullptr;
};

}  // namespace korvalith
