#include "node_ports.h"

namespace korvalith {

bool NodeInput::create(NodeID node, ConnectionType type, const char* name, NodeInputEvent* event) {
    destroy();
    funcs_ = std::make_unique<HostService<LWNodeInputFuncs>>(slots::nodeInputFuncs);
    if (!funcs_->available()) {
        funcs_.reset();
        return false;
    }
    node_ = node;
    id_ = funcs_->table()->create(node, type, name, event);
    owned_ = true;
    return id_ != nullptr;
}

void NodeInput::destroy() {
    if (funcs_ && owned_ && id_) funcs_->table()->destroy(node_, id_);
    id_ = nullptr;
    node_ = nullptr;
    owned_ = false;
    funcs_.reset();
}

bool NodeOutput::create(NodeID node, ConnectionType type, const char* name) {
    destroy();
    funcs_ = std::make_unique<HostService<LWNodeOutputFuncs>>(slots::nodeOutputFuncs);
    if (!funcs_->available()) {
        funcs_.reset();
        return false;
    }
    node_ = node;
    id_ = funcs_->table()->create(node, type, name);
    owned_ = true;
    return id_ != nullptr;
}

void NodeOutput::destroy() {
    if (funcs_ && owned_ && id_) funcs_->table()->destroy(node_, id_);
    id_ = nullptr;
    node_ = nullptr;
    owned_ = false;
    funcs_.reset();
}

}  // namespace korvalith
