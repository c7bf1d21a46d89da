// What the node editor keeps of a node, its inputs and outputs, and the
// value slot of one evaluation: shared by the graphs, the services and the
// host's own nodes. Ids handed to plug-ins are pointers to these records.
#pragma once

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "lwnodes.h"

namespace hostsim {

class NodeGraph;
struct NodeRecord;

// The value of one output evaluation, on the evaluating caller's stack.
struct NodeValueSlot {
    ConnectionType type;
    bool set = false;
    double values[3] = {0, 0, 0};  // colour, vector, scalar (values[0])
    int integer = 0;
};

struct NodeOutputRecord {
    NodeRecord* node;
    std::string name;
    ConnectionType type;
    bool live = true;
};

struct NodeInputRecord {
    NodeRecord* node;
    std::string name;
    ConnectionType type;
    NodeInputEvent* event;             // null for the host's own nodes
    NodeOutputRecord* source = nullptr;  // the connected output
    bool live = true;
};

enum class HostNodeKind { Plugin, Destination, Color, Scalar, Vector, Integer, Mix, Math };

// The settings of the host's own nodes (used where inputs are unconnected).
struct HostNodeData {
    std::array<double, 3> colour{1, 1, 1};  // Color
    double value = 1;                       // Scalar
    std::array<double, 3> vector{0, 0, 0};  // Vector
    int integer = 0;                        // Integer
    std::array<double, 3> a{0, 0, 0}, b{1, 1, 1};  // Mix
    double amount = 0.5;                           // Mix
    bool multiply = false;                         // Math: add or multiply
    double scalarA = 0, scalarB = 0;               // Math
};

struct NodeRecord {
    NodeGraph* graph;
    std::string name;
    std::string type;      // server name, or the host node's type
    std::string userName;  // the server's user name, or the type
    HostNodeKind kind = HostNodeKind::Plugin;
    HostNodeData data;
    const LWNodeHandler* handler = nullptr;  // plug-in nodes: the graph's records of the type
    LWInstance instance = nullptr;
    std::vector<NodeInputRecord*> inputs;    // live, creation order
    std::vector<NodeOutputRecord*> outputs;  // live, creation order
    std::array<int, 3> colour{0, 0, 0};
    NodePreviewType preview = NPT_RENDER;
    std::atomic<int> previewUpdates{0};
    LWChanGroupID group = nullptr;
    bool live = true;
};

// Copies a value of a connection type from one place to another.
void copyValue(ConnectionType type, const void* from, void* to);
// A connection type's name as errors give it ("colour", "scalar", ...).
const char* typeName(ConnectionType type);
bool knownType(ConnectionType type);

// Evaluation (no lock taken): the output's node fills the slot; an input's
// connected output is evaluated and its value copied into value. The input
// answers 1 while connected (value untouched when the output set nothing)
// and 0 when not.
void evaluateOutput(const NodeOutputRecord& output, LWNodalAccess* access, NodeValueSlot& slot);
int evaluateInput(const NodeInputRecord& input, LWNodalAccess* access, void* value);

class Host;
// Enters the four node services into the host's table (node_services.cpp).
void registerNodeServices(Host& host);

// The host's own nodes (host_nodes.cpp).
bool isHostNodeType(const std::string& type);
std::vector<std::string> hostNodeTypes();
HostNodeKind hostNodeKind(const std::string& type);
// The ports of a host node: names and types of its inputs and outputs.
struct HostPorts {
    std::vector<std::pair<std::string, ConnectionType>> inputs, outputs;
};
HostPorts hostNodePorts(HostNodeKind kind);
void evaluateHostNode(const NodeRecord& node, const NodeOutputRecord& output, LWNodalAccess* access,
                      NodeValueSlot& slot);
std::string saveHostNode(const NodeRecord& node);
// Reads the whole text or changes nothing; answers the reason of a failure
// ("" when it worked).
std::string loadHostNode(NodeRecord& node, const std::string& text);

}  // namespace hostsim
