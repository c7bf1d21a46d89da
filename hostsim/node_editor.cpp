#include "node_editor.h"

#include <algorithm>
#include <cmath>

#include "animation.h"
#include "handler_records.h"
#include "host.h"
#include "instances.h"
#include "node_records.h"
#include "raycaster.h"
#include "xpanels.h"

namespace hostsim {

namespace {

// An input event to send once the change is made and the lock is released.
struct PendingEvent {
    NodeInputEvent* event;
    LWInstance instance;
    NodeInputRecord* input;
    LWNodalEvent what;
    ConnectionType type;
};

void send(const std::vector<PendingEvent>& events) {
    for (const PendingEvent& e : events)
        if (e.event) e.event(e.instance, e.input, e.what, e.type);
}

PendingEvent eventFor(NodeInputRecord* input, LWNodalEvent what, ConnectionType type = ConnectionType(0)) {
    return {input->event, input->node->instance, input, what, type};
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

template <typename Port>
Port* portNamed(const std::vector<Port*>& ports, const std::string& name) {
    for (Port* p : ports)
        if (p->name == name) return p;
    return nullptr;
}

// Whether `target` feeds `node`, directly or through other nodes, or is it.
bool feeds(const NodeRecord* target, const NodeRecord* node) {
    std::vector<const NodeRecord*> todo{node}, seen;
    while (!todo.empty()) {
        const NodeRecord* n = todo.back();
        todo.pop_back();
        if (n == target) return true;
        if (std::find(seen.begin(), seen.end(), n) != seen.end()) continue;
        seen.push_back(n);
        for (const NodeInputRecord* in : n->inputs)
            if (in->source) todo.push_back(in->source->node);
    }
    return false;
}

double* slotData(NodeValueSlot& slot) { return slot.values; }

void normalise(std::array<double, 3>& v) {
    const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(len > 0) || !std::isfinite(len)) return;
    for (double& c : v) c /= len;
}

// Indices of the destination's inputs (hostNodePorts order).
enum DestinationInput { kColour, kLuminosity, kDiffuse, kSpecular, kGlossiness, kReflection, kTransparency, kNormal, kBump };

}  // namespace

// ---------------------------------------------------------------- values

bool knownType(ConnectionType type) { return type >= NOT_COLOR && type <= NOT_INTEGER; }

const char* typeName(ConnectionType type) {
    switch (type) {
        case NOT_COLOR: return "colour";
        case NOT_SCALAR: return "scalar";
        case NOT_VECTOR: return "vector";
        case NOT_INTEGER: return "integer";
        default: return "unknown";
    }
}

void copyValue(ConnectionType type, const void* from, void* to) {
    switch (type) {
        case NOT_INTEGER: *static_cast<int*>(to) = *static_cast<const int*>(from); break;
        case NOT_SCALAR: *static_cast<double*>(to) = *static_cast<const double*>(from); break;
        case NOT_COLOR:
        case NOT_VECTOR:
            for (int c = 0; c < 3; ++c) static_cast<double*>(to)[c] = static_cast<const double*>(from)[c];
            break;
        default: break;
    }
}

void evaluateOutput(const NodeOutputRecord& output, LWNodalAccess* access, NodeValueSlot& slot) {
    slot.type = output.type;
    slot.set = false;
    const NodeRecord* node = output.node;
    if (!output.live || !node->live) return;
    if (node->kind == HostNodeKind::Plugin) {
        if (node->handler && node->handler->evaluate)
            node->handler->evaluate(node->instance, access, const_cast<NodeOutputRecord*>(&output), &slot);
    } else {
        evaluateHostNode(*node, output, access, slot);
    }
}

int evaluateInput(const NodeInputRecord& input, LWNodalAccess* access, void* value) {
    const NodeOutputRecord* source = input.source;
    if (!input.live || !source) return 0;
    NodeValueSlot slot;
    evaluateOutput(*source, access, slot);
    if (slot.set && value)
        copyValue(input.type, input.type == NOT_INTEGER ? static_cast<void*>(&slot.integer) : slot.values, value);
    return 1;
}

// ---------------------------------------------------------------- NodeEditor

NodeEditor::NodeEditor(Host& host) : host_(host) {}

NodeEditor::~NodeEditor() { clear(); }

void NodeEditor::registerWith(Host& host) { registerNodeServices(host); }

NodeGraph& NodeEditor::graph(const std::string& surface) {
    std::lock_guard lock(mutex_);
    for (auto& g : graphs_)
        if (g->surface() == surface) return *g;
    graphs_.push_back(std::make_unique<NodeGraph>(*this, surface));
    return *graphs_.back();
}

NodeGraph* NodeEditor::find(const std::string& surface) {
    std::lock_guard lock(mutex_);
    for (auto& g : graphs_)
        if (g->surface() == surface) return g.get();
    return nullptr;
}

std::vector<std::string> NodeEditor::surfacesWithGraphs() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& g : graphs_) out.push_back(g->surface());
    return out;
}

std::vector<std::string> NodeEditor::types() const {
    std::vector<std::string> out = hostNodeTypes();
    for (const auto& m : host_.modules())
        for (const ServerInfo& s : m->servers())
            if (s.className == LWNODE_HCLASS && std::find(out.begin(), out.end(), s.name) == out.end())
                out.push_back(s.name);
    return out;
}

void NodeEditor::clear() {
    std::vector<NodeGraph*> graphs;
    {
        std::lock_guard lock(mutex_);
        for (auto& g : graphs_) graphs.push_back(g.get());
    }
    for (NodeGraph* g : graphs) g->removeAll();
    std::vector<std::unique_ptr<NodeGraph>> gone;
    {
        std::lock_guard lock(mutex_);
        gone = std::move(graphs_);
        graphs_.clear();
        for (auto& g : gone) {
            NodeRecord& d = g->record(g->destination());
            for (NodeInputRecord* in : d.inputs) in->live = false;
            d.inputs.clear();
            d.live = false;
        }
    }
}

NodeRecord* NodeEditor::node(NodeID id) const {
    if (!nodeIds_.count(id)) return nullptr;
    auto* n = static_cast<NodeRecord*>(id);
    return n->live ? n : nullptr;
}

NodeInputRecord* NodeEditor::input(NodeInputID id) const {
    if (!inputIds_.count(id)) return nullptr;
    auto* in = static_cast<NodeInputRecord*>(id);
    return in->live ? in : nullptr;
}

NodeOutputRecord* NodeEditor::output(NodeOutputID id) const {
    if (!outputIds_.count(id)) return nullptr;
    auto* out = static_cast<NodeOutputRecord*>(id);
    return out->live ? out : nullptr;
}

NodeInputRecord* NodeEditor::keep(std::unique_ptr<NodeInputRecord> input) {
    inputs_.push_back(std::move(input));
    inputIds_.insert(inputs_.back().get());
    return inputs_.back().get();
}

NodeOutputRecord* NodeEditor::keep(std::unique_ptr<NodeOutputRecord> output) {
    outputs_.push_back(std::move(output));
    outputIds_.insert(outputs_.back().get());
    return outputs_.back().get();
}

NodeRecord* NodeEditor::keep(std::unique_ptr<NodeRecord> node) {
    nodes_.push_back(std::move(node));
    nodeIds_.insert(nodes_.back().get());
    return nodes_.back().get();
}

// ---------------------------------------------------------------- NodeGraph

struct NodeGraph::TypeRecords {
    std::string type;
    NodeHandlerRecords records;
};

NodeGraph::NodeGraph(NodeEditor& editor, std::string surface) : editor_(editor), surface_(std::move(surface)) {
    // Made under the editor's lock (NodeEditor::graph).
    auto d = std::make_unique<NodeRecord>();
    d->graph = this;
    d->name = d->type = d->userName = "Surface";
    d->kind = HostNodeKind::Destination;
    destination_ = editor_.keep(std::move(d));
    for (const auto& [name, type] : hostNodePorts(HostNodeKind::Destination).inputs)
        destination_->inputs.push_back(
            editor_.keep(std::unique_ptr<NodeInputRecord>(new NodeInputRecord{destination_, name, type, nullptr})));
    nodes_.push_back(destination_);
}

NodeGraph::~NodeGraph() = default;

NodeID NodeGraph::destination() const { return destination_; }

NodeRecord& NodeGraph::record(NodeID node) const {
    NodeRecord* r = editor_.node(node);
    if (!r || r->graph != this) throw HostError("unknown node in the graph of surface " + quoted(surface_));
    return *r;
}

NodeID NodeGraph::add(const std::string& type, const std::string& name) {
    Host& host = editor_.host();
    const bool hostType = isHostNodeType(type);
    std::string userName = type;
    NodeHandlerRecords* records = nullptr;
    if (!hostType) {
        const Module* module = nullptr;
        for (const auto& m : host.modules())
            if (m->findServer(LWNODE_HCLASS, type)) {
                module = m.get();
                break;
            }
        if (!module || type.empty()) throw HostError("unknown node type " + quoted(type));
        for (const ServerInfo& s : module->servers())
            if (s.className == LWNODE_HCLASS && s.name == type)
                for (const ServerTag& t : s.tags)
                    if (t.code == SRVTAG_USERNAME) {
                        userName = t.text;
                        break;
                    }
        for (auto& t : types_)
            if (t->type == type) records = &t->records;
        if (!records) {
            auto made = std::make_unique<TypeRecords>();
            made->type = type;
            const int result = made->records.activate(host, type);
            if (result != AFUNC_OK)
                throw HostError("cannot add a " + quoted(type) + " node: its server refused activation (answer " +
                                std::to_string(result) + ")");
            types_.push_back(std::move(made));
            records = &types_.back()->records;
        }
    }

    NodeRecord* node = nullptr;
    int number = 0;
    {
        std::lock_guard lock(editor_.mutex());
        auto used = [&](const std::string& n) {
            return std::any_of(nodes_.begin(), nodes_.end(), [&](const NodeRecord* r) { return r->name == n; });
        };
        std::string nodeName = name;
        if (nodeName.empty()) {
            for (const auto& [t, n] : counters_)
                if (t == type) number = n;
            do nodeName = userName + " (" + std::to_string(++number) + ")";
            while (used(nodeName));
        } else if (used(nodeName)) {
            throw HostError("a node named " + quoted(nodeName) + " is already in the graph of surface " +
                            quoted(surface_));
        }
        auto made = std::make_unique<NodeRecord>();
        made->graph = this;
        made->name = nodeName;
        made->type = type;
        made->userName = userName;
        made->kind = hostType ? hostNodeKind(type) : HostNodeKind::Plugin;
        made->handler = records ? &records->local : nullptr;
        node = editor_.keep(std::move(made));
        if (hostType) {
            const HostPorts ports = hostNodePorts(node->kind);
            for (const auto& [n, t] : ports.inputs)
                node->inputs.push_back(
                    editor_.keep(std::unique_ptr<NodeInputRecord>(new NodeInputRecord{node, n, t, nullptr})));
            for (const auto& [n, t] : ports.outputs)
                node->outputs.push_back(editor_.keep(std::unique_ptr<NodeOutputRecord>(new NodeOutputRecord{node, n, t})));
        }
        nodes_.push_back(node);
    }
    node->group = host.animation().createHostGroup(node->name);

    if (records) {
        LWError error = nullptr;
        const LWInstance instance = host.instances().create(records->local.inst, records->items(), node, &error);
        if (!instance) {
            const std::string why = error ? error : "its server made no instance";
            {
                std::lock_guard lock(editor_.mutex());
                for (NodeInputRecord* in : node->inputs) in->live = false;
                for (NodeOutputRecord* out : node->outputs) out->live = false;
                node->inputs.clear();
                node->outputs.clear();
                node->live = false;
                nodes_.erase(std::find(nodes_.begin(), nodes_.end(), node));
            }
            host.animation().destroyGroup(node->group);
            node->group = nullptr;
            throw HostError("cannot add a " + quoted(type) + " node: " + why);
        }
        node->instance = instance;
    }
    if (name.empty()) {
        std::lock_guard lock(editor_.mutex());
        auto it = std::find_if(counters_.begin(), counters_.end(), [&](const auto& c) { return c.first == type; });
        if (it == counters_.end()) counters_.emplace_back(type, number);
        else it->second = number;
    }
    return node;
}

void NodeGraph::remove(NodeID id) {
    Host& host = editor_.host();
    NodeRecord* node = nullptr;
    std::vector<PendingEvent> events;
    {
        std::lock_guard lock(editor_.mutex());
        node = &record(id);
        if (node == destination_) throw HostError("the destination node \"Surface\" cannot be removed");
        // The inputs it fed lose their source, then its own inputs theirs.
        for (NodeRecord* other : nodes_)
            if (other != node)
                for (NodeInputRecord* in : other->inputs)
                    if (in->source && in->source->node == node) {
                        in->source = nullptr;
                        events.push_back(eventFor(in, NIE_INPUTNODEDESTROY));
                    }
        for (NodeInputRecord* in : node->inputs)
            if (in->source) {
                in->source = nullptr;
                events.push_back(eventFor(in, NIE_DISCONNECT));
            }
    }
    send(events);
    if (node->instance) host.instances().destroy(node->instance);
    {
        std::lock_guard lock(editor_.mutex());
        for (NodeInputRecord* in : node->inputs) in->live = false;
        for (NodeOutputRecord* out : node->outputs) out->live = false;
        node->inputs.clear();
        node->outputs.clear();
        node->instance = nullptr;
        node->live = false;
        nodes_.erase(std::find(nodes_.begin(), nodes_.end(), node));
    }
    if (node->group) host.animation().destroyGroup(node->group);
    node->group = nullptr;
}

void NodeGraph::removeAll() {
    for (;;) {
        NodeID last = nullptr;
        {
            std::lock_guard lock(editor_.mutex());
            if (nodes_.size() <= 1) return;
            last = nodes_.back();
        }
        remove(last);
    }
}

NodeID NodeGraph::find(const std::string& name) const {
    std::lock_guard lock(editor_.mutex());
    for (NodeRecord* n : nodes_)
        if (n->name == name) return n;
    return nullptr;
}

std::vector<NodeID> NodeGraph::nodes() const {
    std::lock_guard lock(editor_.mutex());
    return {nodes_.begin(), nodes_.end()};
}

std::string NodeGraph::name(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    return record(node).name;
}

std::string NodeGraph::type(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    return record(node).type;
}

LWInstance NodeGraph::instance(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    return record(node).instance;
}

std::vector<NodeGraph::Port> NodeGraph::inputs(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    std::vector<Port> out;
    for (const NodeInputRecord* in : record(node).inputs) out.push_back({in->name, in->type});
    return out;
}

std::vector<NodeGraph::Port> NodeGraph::outputs(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    std::vector<Port> out;
    for (const NodeOutputRecord* o : record(node).outputs) out.push_back({o->name, o->type});
    return out;
}

void NodeGraph::connect(NodeID fromId, const std::string& output, NodeID toId, const std::string& input) {
    std::vector<PendingEvent> events;
    {
        std::lock_guard lock(editor_.mutex());
        NodeRecord* from = editor_.node(fromId);
        NodeRecord* to = editor_.node(toId);
        if (!from || from->graph != this || !to || to->graph != this)
            throw HostError("cannot connect " + output + " to " + input + ": unknown node in the graph of surface " +
                            quoted(surface_));
        NodeOutputRecord* out = portNamed(from->outputs, output);
        if (!out) throw HostError("node " + quoted(from->name) + " has no output " + quoted(output));
        NodeInputRecord* in = portNamed(to->inputs, input);
        if (!in) throw HostError("node " + quoted(to->name) + " has no input " + quoted(input));
        const std::string what = quoted(from->name) + "." + output + " to " + quoted(to->name) + "." + input;
        if (out->type != in->type)
            throw HostError("cannot connect " + what + ": type mismatch (" + typeName(out->type) + " to " +
                            typeName(in->type) + ")");
        if (feeds(to, from)) throw HostError("connecting " + what + " would make a cycle");
        if (in->source == out) return;
        if (in->source) events.push_back(eventFor(in, NIE_DISCONNECT));
        in->source = out;
        events.push_back(eventFor(in, NIE_CONNECT, out->type));
    }
    send(events);
}

void NodeGraph::disconnect(NodeID toId, const std::string& input) {
    std::vector<PendingEvent> events;
    {
        std::lock_guard lock(editor_.mutex());
        NodeRecord& to = record(toId);
        NodeInputRecord* in = portNamed(to.inputs, input);
        if (!in) throw HostError("node " + quoted(to.name) + " has no input " + quoted(input));
        if (!in->source) return;
        in->source = nullptr;
        events.push_back(eventFor(in, NIE_DISCONNECT));
    }
    send(events);
}

std::vector<NodeGraph::Connection> NodeGraph::connections() const {
    std::lock_guard lock(editor_.mutex());
    std::vector<Connection> out;
    for (NodeRecord* n : nodes_)
        for (const NodeInputRecord* in : n->inputs)
            if (in->source) out.push_back({in->source->node, in->source->name, n, in->name});
    return out;
}

bool NodeGraph::evaluate(NodeID node, const std::string& output, LWNodalAccess& access, double value[3]) const {
    // No lock: the graph is not edited while it is evaluated.
    auto it = std::find(nodes_.begin(), nodes_.end(), static_cast<NodeRecord*>(node));
    if (!node || it == nodes_.end()) throw HostError("unknown node in the graph of surface " + quoted(surface_));
    const NodeOutputRecord* out = portNamed((*it)->outputs, output);
    if (!out) throw HostError("node " + quoted((*it)->name) + " has no output " + quoted(output));
    NodeValueSlot slot;
    evaluateOutput(*out, &access, slot);
    if (!slot.set) return false;
    if (out->type == NOT_INTEGER) value[0] = slot.integer;
    else copyValue(out->type, slotData(slot), value);
    return true;
}

void NodeGraph::shade(const SurfaceHit& hit, SurfaceValues& values) const {
    LWNodalAccess access;
    fillNodalAccess(hit, values, access);
    const std::vector<NodeInputRecord*>& inputs = destination_->inputs;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const NodeOutputRecord* source = inputs[i]->source;
        if (!source) continue;
        NodeValueSlot slot;
        evaluateOutput(*source, &access, slot);
        if (!slot.set) continue;
        const double* v = slot.values;
        switch (static_cast<DestinationInput>(i)) {
            case kColour: values.colour = {v[0], v[1], v[2]}; break;
            case kLuminosity: values.luminous = v[0]; break;
            case kDiffuse: values.diffuse = v[0]; break;
            case kSpecular: values.specular = v[0]; break;
            case kGlossiness: values.roughness = std::pow(2.0, -(10 * v[0] + 2)); break;
            case kReflection: values.mirror = v[0]; break;
            case kTransparency: values.transparency = v[0]; break;
            case kNormal:
                values.normal = {v[0], v[1], v[2]};
                normalise(values.normal);
                break;
            case kBump: {
                std::array<double, 3> n{values.normal[0] - v[0], values.normal[1] - v[1], values.normal[2] - v[2]};
                const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                if (len > 0 && std::isfinite(len)) {
                    normalise(n);
                    values.normal = n;
                }
                break;
            }
        }
    }
}

LWError NodeGraph::init(int mode) {
    std::vector<std::pair<const LWNodeHandler*, LWInstance>> plugins;
    {
        std::lock_guard lock(editor_.mutex());
        for (NodeRecord* n : nodes_)
            if (n->handler && n->instance) plugins.emplace_back(n->handler, n->instance);
    }
    for (const auto& [h, inst] : plugins)
        if (h->rend && h->rend->init)
            if (LWError e = h->rend->init(inst, mode)) return e;
    return nullptr;
}

void NodeGraph::cleanup() {
    std::vector<std::pair<const LWNodeHandler*, LWInstance>> plugins;
    {
        std::lock_guard lock(editor_.mutex());
        for (NodeRecord* n : nodes_)
            if (n->handler && n->instance) plugins.emplace_back(n->handler, n->instance);
    }
    for (const auto& [h, inst] : plugins)
        if (h->rend && h->rend->cleanup) h->rend->cleanup(inst);
}

LWError NodeGraph::newTime(LWFrame frame, LWTime time) {
    std::vector<std::pair<const LWNodeHandler*, LWInstance>> plugins;
    {
        std::lock_guard lock(editor_.mutex());
        for (NodeRecord* n : nodes_)
            if (n->handler && n->instance) plugins.emplace_back(n->handler, n->instance);
    }
    for (const auto& [h, inst] : plugins)
        if (h->rend && h->rend->newTime)
            if (LWError e = h->rend->newTime(inst, frame, time)) return e;
    return nullptr;
}

std::string NodeGraph::save(NodeID id) const {
    const LWNodeHandler* handler = nullptr;
    LWInstance instance = nullptr;
    std::string nodeName;
    {
        std::lock_guard lock(editor_.mutex());
        NodeRecord& node = record(id);
        if (node.kind != HostNodeKind::Plugin) return saveHostNode(node);
        handler = node.handler;
        instance = node.instance;
        nodeName = node.name;
    }
    SaveState state(LWIO_ASCII);
    if (handler->inst->save)
        if (LWError e = handler->inst->save(instance, state.state()))
            throw HostError("node " + quoted(nodeName) + " could not be saved: " + e);
    if (!state.finish()) throw HostError("node " + quoted(nodeName) + " could not be saved: " + state.error());
    return state.data();
}

void NodeGraph::load(NodeID id, const std::string& data) {
    const LWNodeHandler* handler = nullptr;
    LWInstance instance = nullptr;
    std::string nodeName;
    {
        std::lock_guard lock(editor_.mutex());
        NodeRecord& node = record(id);
        if (node.kind != HostNodeKind::Plugin) {
            const std::string why = loadHostNode(node, data);
            if (!why.empty()) throw HostError("node " + quoted(node.name) + ": " + why);
            return;
        }
        handler = node.handler;
        instance = node.instance;
        nodeName = node.name;
    }
    LoadState state(data, LWIO_ASCII);
    LWError error = handler->inst->load ? handler->inst->load(instance, state.state()) : nullptr;
    if (error && state.failed())
        throw HostError("node " + quoted(nodeName) + ": " + error + " (" + state.error() + ")");
    if (error) throw HostError("node " + quoted(nodeName) + ": " + error);
    if (state.failed()) throw HostError("node " + quoted(nodeName) + ": " + state.error());
}

LWXPanelID NodeGraph::openPanel(NodeID id) {
    Host& host = editor_.host();
    LWInstance instance = nullptr;
    std::string type, nodeName;
    {
        std::lock_guard lock(editor_.mutex());
        NodeRecord& node = record(id);
        if (node.kind != HostNodeKind::Plugin) return nullptr;
        instance = node.instance;
        type = node.type;
        nodeName = node.name;
    }
    bool served = false;
    for (const auto& m : host.modules()) served = served || m->findServer(LWNODE_ICLASS, type);
    if (!served) return nullptr;
    LWInterface ui{instance, nullptr, nullptr, nullptr};
    const int result = host.activate(LWNODE_ICLASS, type, LWINTERFACE_VERSION, &ui);
    if (result != AFUNC_OK)
        throw HostError("node " + quoted(nodeName) + ": its interface server answered " + std::to_string(result));
    if (!ui.panel) return nullptr;
    host.xpanels().open(ui.panel);
    return ui.panel;
}

std::array<int, 3> NodeGraph::colour(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    return record(node).colour;
}

NodePreviewType NodeGraph::previewType(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    return record(node).preview;
}

int NodeGraph::previewUpdates(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    return record(node).previewUpdates.load();
}

LWChanGroupID NodeGraph::channelGroup(NodeID node) const {
    std::lock_guard lock(editor_.mutex());
    return record(node).group;
}

}  // namespace hostsim
