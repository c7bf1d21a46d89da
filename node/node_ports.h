// Holders of one node input or output: each is made through the host's
// "NodeInputFuncs" or "NodeOutputFuncs", holds that service while it lives,
// and asks the host to destroy the input or output when it goes.
#pragma once

#include <memory>

#include "host_access.h"
#include "lwnodes.h"

namespace korvalith {

namespace slots {
inline ServiceSlot nodeFuncs{LWNODEFUNCS_GLOBAL};
inline ServiceSlot nodeInputFuncs{LWNODEINPUTFUNCS_GLOBAL};
inline ServiceSlot nodeOutputFuncs{LWNODEOUTPUTFUNCS_GLOBAL};
inline ServiceSlot nodeUtilityFuncs{LWNODEUTILITYFUNCS_GLOBAL};
}  // namespace slots

class NodeInput {
public:
    NodeInput() = default;
    NodeInput(const NodeInput&) = delete;
    NodeInput& operator=(const NodeInput&) = delete;
    ~NodeInput() { destroy(); }

    // Asks the host for the input; false when the service or the input is
    // missing (the holder then owns nothing).
    bool create(NodeID node, ConnectionType type, const char* name, NodeInputEvent* event);
    void destroy();

    NodeInputID id() const { return id_; }
    // Whether an output is connected to the input.
    bool connected() const { return id_ && funcs_->table()->check(id_) != 0; }
    // Writes the connected output's value for the spot into value; leaves
    // it alone when nothing is connected.
    void evaluate(LWNodalAccess* access, void* value) const {
        if (id_) funcs_->table()->evaluate(id_, access, value);
    }

private:
    std::unique_ptr<HostService<LWNodeInputFuncs>> funcs_;
    NodeID node_ = nullptr;
    NodeInputID id_ = nullptr;
    bool owned_ = false;
};

class NodeOutput {
public:
    NodeOutput() = default;
    NodeOutput(const NodeOutput&) = delete;
    NodeOutput& operator=(const NodeOutput&) = delete;
    ~NodeOutput() { destroy(); }

    bool create(NodeID node, ConnectionType type, const char* name);
    void destroy();

    NodeOutputID id() const { return id_; }
    // Hands the value of this evaluation back to the host: 3 doubles for a
    // colour or vector output, 1 double for a scalar.
    void set(NodeValue slot, const double* value) const {
        if (id_) funcs_->table()->setValue(slot, const_cast<double*>(value));
    }

private:
    std::unique_ptr<HostService<LWNodeOutputFuncs>> funcs_;
    NodeID node_ = nullptr;
    NodeOutputID id_ = nullptr;
    bool owned_ = false;
};

}  // namespace korvalith
