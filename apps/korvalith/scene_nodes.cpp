#include "scene_nodes.h"

#include <algorithm>

#include "plugin_data.h"
#include "scene_file.h"

namespace korvalith::app {

namespace {

// A JSON array of objects at a surface key, read one by one.
template <typename Read>
void readList(const Reader& r, Fields& surface, const char* key, Read&& read) {
    const Json* list = surface.get(key);
    if (!list) return;
    if (!list->is_array()) r.fail(surface.at(key), "expected an array, got " + article(list->type_name()));
    for (size_t i = 0; i < list->size(); ++i) {
        Fields f(r, (*list)[i], step(surface.at(key), i));
        read(f);
        f.done();
    }
}

// A name that must not be empty.
std::string name(const Reader& r, Fields& f, const char* key) {
    std::string n = text(r, f.require(key), f.at(key));
    if (n.empty()) r.fail(f.at(key), "a node's name must not be empty");
    return n;
}

const char* typeName(ConnectionType type) {
    switch (type) {
        case NOT_COLOR: return "a colour";
        case NOT_SCALAR: return "a scalar";
        case NOT_VECTOR: return "a vector";
        case NOT_INTEGER: return "an integer";
        default: return "a value of another kind";
    }
}

// "a, b, c" of the ports' names, or "none".
std::string portNames(const std::vector<hostsim::NodeGraph::Port>& ports) {
    std::string names;
    for (const auto& p : ports) names += (names.empty() ? "" : ", ") + p.name;
    return names.empty() ? "none" : names;
}

const hostsim::NodeGraph::Port* findPort(const std::vector<hostsim::NodeGraph::Port>& ports, const std::string& name) {
    for (const auto& p : ports)
        if (p.name == name) return &p;
    return nullptr;
}

std::string surfaceWho(const hostsim::NodeGraph& graph) { return "surface " + jsonQuoted(graph.surface()) + ": "; }
std::string nodeWho(const hostsim::NodeGraph& graph, const std::string& node) {
    return "surface " + jsonQuoted(graph.surface()) + ", node " + jsonQuoted(node) + ": ";
}

// The node a connection names at key, or a refusal.
NodeID connectionNode(const Reader& r, const hostsim::NodeGraph& graph, const std::string& name, const std::string& at) {
    const NodeID node = graph.find(name);
    if (!node) r.fail(at, surfaceWho(graph) + "no node is named " + jsonQuoted(name));
    return node;
}

}  // namespace

bool readNodeGraph(const Reader& r, Fields& surface, NodeGraphSpec& spec) {
    if (!surface.has("nodes") && !surface.has("connections")) return false;
    readList(r, surface, "nodes", [&](Fields& f) {
        NodeSpec node;
        node.type = text(r, f.require("type"), f.at("type"));
        if (f.has("name")) node.name = name(r, f, "name");
        if (const Json* v = f.get("data")) node.data = text(r, *v, f.at("data"));
        spec.nodes.push_back(std::move(node));
    });
    readList(r, surface, "connections", [&](Fields& f) {
        ConnectionSpec c;
        c.from = name(r, f, "from");
        c.output = text(r, f.require("output"), f.at("output"));
        c.to = name(r, f, "to");
        c.input = text(r, f.require("input"), f.at("input"));
        spec.connections.push_back(std::move(c));
    });
    return true;
}

void buildNodeGraph(const Reader& r, hostsim::Host& host, SceneFile& scene, hostsim::NodeGraph& graph,
                    const NodeGraphSpec& spec, const std::string& at) {
    const std::vector<std::string> types = host.nodeEditor().types();
    for (size_t i = 0; i < spec.nodes.size(); ++i) {
        const NodeSpec& n = spec.nodes[i];
        const std::string nat = step(step(at, "nodes"), i);
        const std::string who = n.name.empty() ? surfaceWho(graph) : nodeWho(graph, n.name);
        if (std::find(types.begin(), types.end(), n.type) == types.end()) {
            std::string known;
            for (const std::string& t : types) known += (known.empty() ? "" : ", ") + t;
            r.fail(step(nat, "type"), who + "unknown node type " + jsonQuoted(n.type) + " (" + known + ")");
        }
        if (!n.name.empty() && graph.find(n.name))
            r.fail(step(nat, "name"), who + "another node is named " + jsonQuoted(n.name));
        NodeID node = nullptr;
        try {
            node = graph.add(n.type, n.name);
        } catch (const hostsim::HostError& e) {
            r.fail(nat, who + "no " + jsonQuoted(n.type) + " node was made: " + e.what());
        }
        loadPluginText(r, host, scene, n.data, step(nat, "data"), nodeWho(graph, graph.name(node)),
                       [&](const std::string& data) {
                           try {
                               graph.load(node, data);
                           } catch (const hostsim::HostError& e) {
                               return std::string(e.what());
                           }
                           return std::string();
                       });
    }
    for (size_t i = 0; i < spec.connections.size(); ++i) {
        const ConnectionSpec& c = spec.connections[i];
        const std::string cat = step(step(at, "connections"), i);
        const NodeID from = connectionNode(r, graph, c.from, step(cat, "from"));
        const NodeID to = connectionNode(r, graph, c.to, step(cat, "to"));
        const auto outputs = graph.outputs(from);
        const auto inputs = graph.inputs(to);
        const auto* output = findPort(outputs, c.output);
        if (!output)
            r.fail(step(cat, "output"), nodeWho(graph, c.from) + "no output " + jsonQuoted(c.output) + " (outputs: " +
                                            portNames(outputs) + ")");
        const auto* input = findPort(inputs, c.input);
        if (!input)
            r.fail(step(cat, "input"), nodeWho(graph, c.to) + "no input " + jsonQuoted(c.input) + " (inputs: " +
                                           portNames(inputs) + ")");
        if (output->type != input->type)
            r.fail(cat, surfaceWho(graph) + "type mismatch: output " + jsonQuoted(c.output) + " of node " +
                            jsonQuoted(c.from) + " gives " + typeName(output->type) + ", input " +
                            jsonQuoted(c.input) + " of node " + jsonQuoted(c.to) + " takes " + typeName(input->type));
        // The host would replace an input's connection; in a file a second
        // one is a mistake.
        for (const auto& made : graph.connections())
            if (made.to == to && made.input == c.input)
                r.fail(cat, nodeWho(graph, c.to) + "input " + jsonQuoted(c.input) + " is already connected to output " +
                                jsonQuoted(made.output) + " of node " + jsonQuoted(graph.name(made.from)));
        try {
            graph.connect(from, c.output, to, c.input);
        } catch (const hostsim::HostError& e) {
            r.fail(cat, surfaceWho(graph) + e.what());
        }
    }
}

void writeNodeGraph(const SceneFile& scene, const hostsim::NodeGraph& graph, const std::string& folder,
                    Json& surface) {
    Json nodes = Json::array();
    for (const NodeID node : graph.nodes()) {
        if (node == graph.destination()) continue;
        std::string data;
        try {
            data = graph.save(node);
        } catch (const hostsim::HostError& e) {
            throw SceneError(scene.path + ": " + nodeWho(graph, graph.name(node)) + "its data could not be saved: " +
                             e.what());
        }
        nodes.push_back({{"type", graph.type(node)}, {"name", graph.name(node)}, {"data", writtenData(scene, data, folder)}});
    }
    Json connections = Json::array();
    for (const auto& c : graph.connections())
        connections.push_back(
            {{"from", graph.name(c.from)}, {"output", c.output}, {"to", graph.name(c.to)}, {"input", c.input}});
    surface["nodes"] = nodes;
    surface["connections"] = connections;
}

}  // namespace korvalith::app
