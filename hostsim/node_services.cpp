// "NodeFuncs", "NodeInputFuncs", "NodeOutputFuncs" and "NodeUtilityFuncs"
// over the host's node editor. Ids are checked against the editor's live
// records (null, removed and foreign ids are answered with null and 0),
// except on the evaluation path (evaluate, check, setValue, getValue,
// getType), which takes no lock and trusts the ids it is handed.
#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry.h"
#include "host.h"
#include "node_editor.h"
#include "node_records.h"

namespace hostsim {

namespace {

NodeEditor* editor() {
    Host* host = Host::current();
    return host ? &host->nodeEditor() : nullptr;
}

// Runs f(editor) under the editor's lock; answers fallback without a host.
template <typename T, typename F>
T locked(T fallback, F f) {
    NodeEditor* e = editor();
    if (!e) return fallback;
    std::lock_guard lock(e->mutex());
    return f(*e);
}

template <typename Port>
Port* neighbour(const std::vector<Port*>& ports, Port* port, int step) {
    auto it = std::find(ports.begin(), ports.end(), port);
    if (it == ports.end()) return nullptr;
    const auto index = (it - ports.begin()) + step;
    return index >= 0 && index < static_cast<long>(ports.size()) ? ports[static_cast<size_t>(index)] : nullptr;
}

template <typename Port>
Port* byIndexIn(const std::vector<Port*>& ports, int index) {
    return index >= 1 && index <= static_cast<int>(ports.size()) ? ports[static_cast<size_t>(index - 1)] : nullptr;
}

template <typename Port>
int indexIn(const std::vector<Port*>& ports, const Port* port) {
    auto it = std::find(ports.begin(), ports.end(), port);
    return it == ports.end() ? 0 : static_cast<int>(it - ports.begin()) + 1;
}

template <typename Port>
bool nameTaken(const std::vector<Port*>& ports, const char* name) {
    return std::any_of(ports.begin(), ports.end(), [&](const Port* p) { return p->name == name; });
}

struct Event {
    NodeInputEvent* event;
    LWInstance instance;
    NodeInputRecord* input;
};

void sendDisconnects(const std::vector<Event>& events) {
    for (const Event& e : events)
        if (e.event) e.event(e.instance, e.input, NIE_DISCONNECT, ConnectionType(0));
}

// ---------------------------------------------------------------- inputs

NodeInputID inCreate(NodeID node, ConnectionType type, const char* name, NodeInputEvent* event) {
    return locked<NodeInputID>(nullptr, [&](NodeEditor& e) -> NodeInputID {
        NodeRecord* n = e.node(node);
        if (!n || !name || !knownType(type) || nameTaken(n->inputs, name) || n->kind != HostNodeKind::Plugin)
            return nullptr;
        NodeInputRecord* in = e.keep(std::unique_ptr<NodeInputRecord>(new NodeInputRecord{n, name, type, event}));
        n->inputs.push_back(in);
        return in;
    });
}
void inDestroy(NodeID node, NodeInputID input) {
    locked(0, [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        NodeInputRecord* in = e.input(input);
        if (!n || !in || in->node != n) return 0;
        in->source = nullptr;
        in->live = false;
        n->inputs.erase(std::find(n->inputs.begin(), n->inputs.end(), in));
        return 0;
    });
}
int inEvaluate(NodeInputID input, LWNodalAccess* access, void* value) {
    return input ? evaluateInput(*static_cast<NodeInputRecord*>(input), access, value) : 0;
}
int inCheck(NodeInputID input) {
    const auto* in = static_cast<const NodeInputRecord*>(input);
    return in && in->live && in->source ? 1 : 0;
}
NodeInputID inFirst(NodeID node) {
    return locked<NodeInputID>(nullptr, [&](NodeEditor& e) -> NodeInputID {
        NodeRecord* n = e.node(node);
        return n && !n->inputs.empty() ? n->inputs.front() : nullptr;
    });
}
NodeInputID inNext(NodeInputID input) {
    return locked<NodeInputID>(nullptr, [&](NodeEditor& e) -> NodeInputID {
        NodeInputRecord* in = e.input(input);
        return in ? neighbour(in->node->inputs, in, 1) : nullptr;
    });
}
NodeInputID inPrevious(NodeInputID input) {
    return locked<NodeInputID>(nullptr, [&](NodeEditor& e) -> NodeInputID {
        NodeInputRecord* in = e.input(input);
        return in ? neighbour(in->node->inputs, in, -1) : nullptr;
    });
}
int inCount(NodeID node) {
    return locked(0, [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        return n ? static_cast<int>(n->inputs.size()) : 0;
    });
}
NodeInputID inByIndex(NodeID node, int index) {
    return locked<NodeInputID>(nullptr, [&](NodeEditor& e) -> NodeInputID {
        NodeRecord* n = e.node(node);
        return n ? byIndexIn(n->inputs, index) : nullptr;
    });
}
int inGetIndex(NodeID node, NodeInputID input) {
    return locked(0, [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        NodeInputRecord* in = e.input(input);
        return n && in ? indexIn(n->inputs, in) : 0;
    });
}
void inDisconnect(NodeID node, NodeInputID input) {
    const std::vector<Event> events = locked(std::vector<Event>{}, [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        NodeInputRecord* in = e.input(input);
        if (!n || !in || in->node != n || !in->source) return std::vector<Event>{};
        in->source = nullptr;
        return std::vector<Event>{{in->event, n->instance, in}};
    });
    sendDisconnects(events);
}
NodeID inNode(NodeInputID input) {
    return locked<NodeID>(nullptr, [&](NodeEditor& e) -> NodeID {
        NodeInputRecord* in = e.input(input);
        return in ? in->node : nullptr;
    });
}
NodeOutputID inConnectedOutput(NodeInputID input) {
    return locked<NodeOutputID>(nullptr, [&](NodeEditor& e) -> NodeOutputID {
        NodeInputRecord* in = e.input(input);
        return in ? in->source : nullptr;
    });
}
const char* inName(NodeInputID input) {
    return locked<const char*>(nullptr, [&](NodeEditor& e) -> const char* {
        NodeInputRecord* in = e.input(input);
        return in ? in->name.c_str() : nullptr;
    });
}

const LWNodeInputFuncs kInputFuncs{inCreate, inDestroy,  inEvaluate, inCheck,           inFirst,
                                   inNext,   inPrevious, inCount,    inByIndex,         inGetIndex,
                                   inDisconnect, inNode, inConnectedOutput, inName};

// ---------------------------------------------------------------- outputs

NodeOutputID outCreate(NodeID node, ConnectionType type, const char* name) {
    return locked<NodeOutputID>(nullptr, [&](NodeEditor& e) -> NodeOutputID {
        NodeRecord* n = e.node(node);
        if (!n || !name || !knownType(type) || nameTaken(n->outputs, name) || n->kind != HostNodeKind::Plugin)
            return nullptr;
        NodeOutputRecord* out = e.keep(std::unique_ptr<NodeOutputRecord>(new NodeOutputRecord{n, name, type}));
        n->outputs.push_back(out);
        return out;
    });
}
void outDestroy(NodeID node, NodeOutputID output) {
    // The inputs it fed are disconnected and told so.
    const std::vector<Event> events = locked(std::vector<Event>{}, [&](NodeEditor& e) {
        std::vector<Event> told;
        NodeRecord* n = e.node(node);
        NodeOutputRecord* out = e.output(output);
        if (!n || !out || out->node != n) return told;
        for (NodeRecord* other : n->graph->nodeRecords())
            for (NodeInputRecord* in : other->inputs)
                if (in->source == out) {
                    in->source = nullptr;
                    told.push_back({in->event, in->node->instance, in});
                }
        out->live = false;
        n->outputs.erase(std::find(n->outputs.begin(), n->outputs.end(), out));
        return told;
    });
    sendDisconnects(events);
}
void outSetValue(NodeValue value, void* data) {
    auto* slot = static_cast<NodeValueSlot*>(value);
    if (!slot || !data) return;
    copyValue(slot->type, data, slot->type == NOT_INTEGER ? static_cast<void*>(&slot->integer) : slot->values);
    slot->set = true;
}
void* outGetValue(NodeValue value) {
    auto* slot = static_cast<NodeValueSlot*>(value);
    if (!slot) return nullptr;
    return slot->type == NOT_INTEGER ? static_cast<void*>(&slot->integer) : slot->values;
}
ConnectionType outGetType(NodeValue value) {
    const auto* slot = static_cast<const NodeValueSlot*>(value);
    return slot ? slot->type : ConnectionType(0);
}
NodeOutputID outFirst(NodeID node) {
    return locked<NodeOutputID>(nullptr, [&](NodeEditor& e) -> NodeOutputID {
        NodeRecord* n = e.node(node);
        return n && !n->outputs.empty() ? n->outputs.front() : nullptr;
    });
}
NodeOutputID outNext(NodeOutputID output) {
    return locked<NodeOutputID>(nullptr, [&](NodeEditor& e) -> NodeOutputID {
        NodeOutputRecord* out = e.output(output);
        return out ? neighbour(out->node->outputs, out, 1) : nullptr;
    });
}
NodeOutputID outPrevious(NodeOutputID output) {
    return locked<NodeOutputID>(nullptr, [&](NodeEditor& e) -> NodeOutputID {
        NodeOutputRecord* out = e.output(output);
        return out ? neighbour(out->node->outputs, out, -1) : nullptr;
    });
}
int outCount(NodeID node) {
    return locked(0, [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        return n ? static_cast<int>(n->outputs.size()) : 0;
    });
}
NodeOutputID outByIndex(NodeID node, int index) {
    return locked<NodeOutputID>(nullptr, [&](NodeEditor& e) -> NodeOutputID {
        NodeRecord* n = e.node(node);
        return n ? byIndexIn(n->outputs, index) : nullptr;
    });
}
int outGetIndex(NodeID node, NodeOutputID output) {
    return locked(0, [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        NodeOutputRecord* out = e.output(output);
        return n && out ? indexIn(n->outputs, out) : 0;
    });
}
NodeID outNode(NodeOutputID output) {
    return locked<NodeID>(nullptr, [&](NodeEditor& e) -> NodeID {
        NodeOutputRecord* out = e.output(output);
        return out ? out->node : nullptr;
    });
}
const char* outName(NodeOutputID output) {
    return locked<const char*>(nullptr, [&](NodeEditor& e) -> const char* {
        NodeOutputRecord* out = e.output(output);
        return out ? out->name.c_str() : nullptr;
    });
}

const LWNodeOutputFuncs kOutputFuncs{outCreate, outDestroy,  outSetValue, outGetValue, outGetType,
                                     outFirst,  outNext,     outPrevious, outCount,    outByIndex,
                                     outGetIndex, outNode,   outName};

// ---------------------------------------------------------------- nodes

const char* nodeName(NodeID node) {
    return locked<const char*>(nullptr, [&](NodeEditor& e) -> const char* {
        NodeRecord* n = e.node(node);
        return n ? n->name.c_str() : nullptr;
    });
}
const char* serverUserName(NodeID node) {
    return locked<const char*>(nullptr, [&](NodeEditor& e) -> const char* {
        NodeRecord* n = e.node(node);
        return n ? n->userName.c_str() : nullptr;
    });
}
LWChanGroupID chanGrp(NodeID node) {
    return locked<LWChanGroupID>(nullptr, [&](NodeEditor& e) -> LWChanGroupID {
        NodeRecord* n = e.node(node);
        return n ? n->group : nullptr;
    });
}
void setNodeColor3(NodeID node, int r, int g, int b) {
    locked(0, [&](NodeEditor& e) {
        if (NodeRecord* n = e.node(node)) n->colour = {r, g, b};
        return 0;
    });
}
void setNodeColor(NodeID node, int rgb[3]) {
    if (rgb) setNodeColor3(node, rgb[0], rgb[1], rgb[2]);
}
void setNodePreviewType(NodeID node, NodePreviewType type) {
    locked(0, [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        if (n && type >= NPT_RENDER && type <= NPT_OFF) n->preview = type;
        return 0;
    });
}
void updateNodePreview(NodeID node) {
    locked(0, [&](NodeEditor& e) {
        if (NodeRecord* n = e.node(node)) n->previewUpdates++;
        return 0;
    });
}

const LWNodeFuncs kNodeFuncs{nodeName, serverUserName, chanGrp, setNodeColor, setNodeColor3, setNodePreviewType,
                             updateNodePreview};

// ---------------------------------------------------------------- utilities

// One channel of fg blended into bg by the mode, before the alpha mix.
double blendChannel(double bg, double fg, BlendingMode mode) {
    switch (mode) {
        case Blend_Normal: return fg;
        case Blend_Additive: return bg + fg;
        case Blend_Subtractive: return bg - fg;
        case Blend_Multiply: return bg * fg;
        case Blend_Screen: return 1 - (1 - bg) * (1 - fg);
        case Blend_Darken: return std::min(bg, fg);
        case Blend_Lighten: return std::max(bg, fg);
        case Blend_Difference: return std::fabs(bg - fg);
        case Blend_Negative: return 1 - std::fabs(1 - bg - fg);
        case Blend_ColorDodge: return fg >= 1 ? 1 : std::min(1.0, bg / (1 - fg));
        case Blend_ColorBurn: return fg <= 0 ? 0 : std::max(0.0, 1 - (1 - bg) / fg);
        default: return fg;
    }
}

void blend(LWDVector result, LWDVector bg, LWDVector fg, double alpha, BlendingMode mode) {
    if (!result || !bg || !fg) return;
    double mixed[3];
    for (int c = 0; c < 3; ++c) {
        if (mode == Blend_Red || mode == Blend_Green || mode == Blend_Blue)
            mixed[c] = c == mode - Blend_Red ? fg[c] : bg[c];
        else
            mixed[c] = blendChannel(bg[c], fg[c], mode);
    }
    // result may be bg or fg itself.
    for (int c = 0; c < 3; ++c) result[c] = bg[c] + alpha * (mixed[c] - bg[c]);
}

void nodeAutosize(NodeID node, LWDVector scale, LWDVector position) {
    if (scale)
        for (int c = 0; c < 3; ++c) scale[c] = 0;
    if (position)
        for (int c = 0; c < 3; ++c) position[c] = 0;
    Host* host = Host::current();
    if (!host || !scale || !position) return;
    const std::string surface = locked(std::string(), [&](NodeEditor& e) {
        NodeRecord* n = e.node(node);
        return n ? n->graph->surface() : std::string();
    });
    if (surface.empty()) return;
    constexpr double inf = std::numeric_limits<double>::infinity();
    double lo[3] = {inf, inf, inf}, hi[3] = {-inf, -inf, -inf};
    bool any = false;
    Geometry& geometry = host->geometry();
    for (LWItemID object : geometry.objects()) {
        const Surface* s = geometry.surface(object);
        const auto mesh = geometry.mesh(object);
        if (!s || s->name != surface || !mesh) continue;
        for (const auto& p : mesh->positions) {
            any = true;
            for (int c = 0; c < 3; ++c) {
                lo[c] = std::min(lo[c], p[c]);
                hi[c] = std::max(hi[c], p[c]);
            }
        }
    }
    if (!any) return;
    for (int c = 0; c < 3; ++c) {
        scale[c] = hi[c] - lo[c];
        position[c] = (hi[c] + lo[c]) / 2;
    }
}

const LWNodeUtilityFuncs kUtilityFuncs{blend, nodeAutosize};

}  // namespace

void registerNodeServices(Host& host) {
    host.registerService(LWNODEFUNCS_GLOBAL, const_cast<LWNodeFuncs*>(&kNodeFuncs));
    host.registerService(LWNODEINPUTFUNCS_GLOBAL, const_cast<LWNodeInputFuncs*>(&kInputFuncs));
    host.registerService(LWNODEOUTPUTFUNCS_GLOBAL, const_cast<LWNodeOutputFuncs*>(&kOutputFuncs));
    host.registerService(LWNODEUTILITYFUNCS_GLOBAL, const_cast<LWNodeUtilityFuncs*>(&kUtilityFuncs));
}

}  // namespace hostsim
