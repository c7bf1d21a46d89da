// The stand-in host's node editor: one node graph per surface, the nodes of
// the host's own ("Color", "Scalar", "Mix", "Math") and of the loaded
// modules' "NodeHandler" servers, typed connections, and the evaluation of
// an output at a spot, which pulls each connected input's value from the
// node feeding it. The services "NodeFuncs", "NodeInputFuncs",
// "NodeOutputFuncs" and "NodeUtilityFuncs" work on these graphs.
//
// Model:
// - A graph has the destination node "Surface" (inputs "Color" colour;
//   "Luminosity", "Diffuse", "Specular", "Glossiness", "Reflection",
//   "Transparency" scalars; "Normal", "Bump" vectors; no outputs), made
//   with the graph, and the nodes added to it, in creation order.
// - A plug-in node's inputs and outputs are made by its instance through
//   the services while it is created (the NodeID is the create context) and
//   whenever it likes afterwards; names are unique per node and side.
// - Connections go from an output to an input of equal type; an input has
//   at most one; a connection that would close a cycle is refused.
// - Evaluating an output calls the node's evaluate (or the host node's own
//   code) with a value slot on the caller's stack; an input's evaluate
//   evaluates the output connected to it the same way, at that moment.
// - Ids handed out (nodes, inputs, outputs) stay valid memory while the
//   host runs: a removed one is marked dead and answered like null, so a
//   stale id is never confused with a new one.
// - Evaluation takes no lock: render threads evaluate at once while the
//   graphs are not edited. Edits and the other service calls take the
//   editor's lock; plug-in code (creation, events, save, load) runs with no
//   lock held.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "lwnodes.h"
#include "lwrender.h"
#include "lwxpanel.h"
#include "shading.h"  // SurfaceValues, fillNodalAccess

namespace hostsim {

class Host;
class NodeGraph;
struct SurfaceHit;
struct SurfaceValues;
struct NodeRecord;
struct NodeInputRecord;
struct NodeOutputRecord;

class NodeEditor {
public:
    explicit NodeEditor(Host& host);
    ~NodeEditor();
    NodeEditor(const NodeEditor&) = delete;
    NodeEditor& operator=(const NodeEditor&) = delete;
    // Enters the four node services into the host's service table.
    void registerWith(Host& host);

    NodeGraph& graph(const std::string& surface);  // the surface's graph, made on first use
    NodeGraph* find(const std::string& surface);   // null when the surface has none
    std::vector<std::string> surfacesWithGraphs() const;
    // Node types a user can add: the host's own ("Color", "Scalar", "Mix",
    // "Math") and every "NodeHandler" server of the loaded modules, by
    // server name.
    std::vector<std::string> types() const;
    // Destroys every graph and its plug-in instances (the host clears its
    // scene, or quits).
    void clear();

    // --- what the services need ---
    Host& host() { return host_; }
    // The live record of an id handed out by this editor, or null; under
    // the editor's lock.
    NodeRecord* node(NodeID id) const;
    NodeInputRecord* input(NodeInputID id) const;
    NodeOutputRecord* output(NodeOutputID id) const;
    std::mutex& mutex() const { return mutex_; }
    // Keeps records for the host's lifetime (dead ones are marked).
    NodeInputRecord* keep(std::unique_ptr<NodeInputRecord> input);
    NodeOutputRecord* keep(std::unique_ptr<NodeOutputRecord> output);
    NodeRecord* keep(std::unique_ptr<NodeRecord> node);

private:
    Host& host_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<NodeGraph>> graphs_;
    std::vector<std::unique_ptr<NodeRecord>> nodes_;
    std::vector<std::unique_ptr<NodeInputRecord>> inputs_;
    std::vector<std::unique_ptr<NodeOutputRecord>> outputs_;
    // Every id handed out, by kind, to tell ours from foreign ones.
    std::unordered_set<const void*> nodeIds_, inputIds_, outputIds_;
};

class NodeGraph {
public:
    NodeGraph(NodeEditor& editor, std::string surface);
    ~NodeGraph();
    NodeGraph(const NodeGraph&) = delete;
    NodeGraph& operator=(const NodeGraph&) = delete;

    const std::string& surface() const { return surface_; }
    NodeID destination() const;
    // Adds a node of a type (see NodeEditor::types()); name "" gives
    // "<user name> (n)", n counting per type from 1. A plug-in type
    // activates its "NodeHandler" server (once per graph and type) and
    // creates the instance with the NodeID as context. Throws HostError for
    // an unknown type, a name already used, or the server's creation error
    // (nothing of the node is left behind).
    NodeID add(const std::string& type, const std::string& name = "");
    // Disconnects what it feeds (NIE_INPUTNODEDESTROY) and its own inputs
    // (NIE_DISCONNECT), destroys its instance, its inputs and outputs and its
    // channel group. The destination is refused (HostError).
    void remove(NodeID node);
    NodeID find(const std::string& name) const;  // null when none
    std::vector<NodeID> nodes() const;           // creation order, destination first
    std::string name(NodeID node) const;
    std::string type(NodeID node) const;  // "Surface" for the destination
    LWInstance instance(NodeID node) const;  // null for the host's own nodes
    struct Port {
        std::string name;
        ConnectionType type;
    };
    std::vector<Port> inputs(NodeID node) const;  // creation order
    std::vector<Port> outputs(NodeID node) const;
    // Connects; throws HostError naming the nodes, the output or input and
    // why: unknown node, unknown output, unknown input, type mismatch, a
    // cycle. A connected input is first disconnected (NIE_DISCONNECT), then
    // NIE_CONNECT is sent with the output's type.
    void connect(NodeID from, const std::string& output, NodeID to, const std::string& input);
    // NIE_DISCONNECT when the input was connected; nothing otherwise.
    void disconnect(NodeID to, const std::string& input);
    struct Connection {
        NodeID from;
        std::string output;
        NodeID to;
        std::string input;
    };
    std::vector<Connection> connections() const;  // by the inputs' nodes and inputs in order

    // The value one output gives at a spot (3 doubles for colours and
    // vectors, value[0] for scalars and integers); false when the node set
    // no value. Throws HostError for an unknown node or output.
    bool evaluate(NodeID node, const std::string& output, LWNodalAccess& access, double value[3]) const;
    // What the destination's connected inputs make of a surface at a hit
    // (see node_editor.cpp for each input); unconnected ones leave the
    // values alone.
    void shade(const SurfaceHit& hit, SurfaceValues& values) const;

    // Plug-in nodes' render passes in node order: init answers the first
    // error (and stops there); cleanup; newTime answers the first error.
    LWError init(int mode);
    void cleanup();
    LWError newTime(LWFrame frame, LWTime time);

    // A node's data: a plug-in node's through its instance's save and load
    // in the File IO text form, a host node's as "key value..." lines.
    // load throws HostError with the reason.
    std::string save(NodeID node) const;
    void load(NodeID node, const std::string& data);

    // Opens the node's panel: activates the type's "NodeInterface" server
    // and opens the panel it made; null when there is no server or it made
    // no panel, and for the host's own nodes. Throws HostError when the
    // server answers an error.
    LWXPanelID openPanel(NodeID node);

    // What the host recorded of a node.
    std::array<int, 3> colour(NodeID node) const;
    NodePreviewType previewType(NodeID node) const;
    int previewUpdates(NodeID node) const;
    LWChanGroupID channelGroup(NodeID node) const;

    // --- used by the editor and the services ---
    // Destroys every node but the destination (instances included).
    void removeAll();
    // Under the editor's lock: the live record of a node of this graph
    // (throws HostError otherwise), and the live nodes.
    NodeRecord& record(NodeID node) const;
    const std::vector<NodeRecord*>& nodeRecords() const { return nodes_; }

private:
    struct TypeRecords;
    NodeRecord* destination_ = nullptr;
    NodeEditor& editor_;
    std::string surface_;
    std::vector<NodeRecord*> nodes_;  // live, creation order; the destination first
    std::vector<std::unique_ptr<TypeRecords>> types_;
    std::vector<std::pair<std::string, int>> counters_;  // per type: the last n given
};

}  // namespace hostsim
