// A surface's node graph in a scene file, built in the host's node editor
// and written back.
//
// Surface keys, both optional:
//   "nodes": [{"type", "name", "data"}, ...]
//   "connections": [{"from", "output", "to", "input"}, ...]
// A node's "type" is one of the editor's node types: the host's own
// ("Color", "Scalar", "Vector", "Integer", "Mix", "Math") or a
// "NodeHandler" server of any loaded module ("KorvalithPro",
// "SimpleColourCorrector"). Without a "name" the host names it ("<user name> (n)"). "data" is the node's own
// data: a plug-in's blocks in the host's text form (relative "Filename"
// lines are found in the scene file's folder), a host node's "key value"
// lines. A connection goes from a node's output to an input of a node or
// of the surface's destination node "Surface" ("Color", "Luminosity",
// "Diffuse", "Specular", "Glossiness", "Reflection", "Transparency",
// "Normal", "Bump"); every input takes one connection.
#pragma once

#include <string>
#include <vector>

#include "host.h"
#include "node_editor.h"
#include "scene_json.h"

namespace korvalith::app {

struct SceneFile;

struct NodeSpec {
    std::string type;
    std::string name;  // "" for the host's name
    std::string data;
};

struct ConnectionSpec {
    std::string from, output, to, input;
};

// A surface's nodes and connections as the file gives them.
struct NodeGraphSpec {
    std::vector<NodeSpec> nodes;
    std::vector<ConnectionSpec> connections;
};

// Takes "nodes" and "connections" from a surface's keys; false when it has
// neither.
bool readNodeGraph(const Reader& r, Fields& surface, NodeGraphSpec& spec);

// Builds the nodes, loads their data and connects them in the surface's
// graph, which must have no nodes yet; at is the surface's place. Throws
// SceneError naming the surface, the node, the output or input and why.
void buildNodeGraph(const Reader& r, hostsim::Host& host, SceneFile& scene, hostsim::NodeGraph& graph,
                    const NodeGraphSpec& spec, const std::string& at);

// Writes the graph's "nodes" (the destination left out) and "connections"
// into a surface's JSON, the data as the nodes save it now; file names
// that were relative are made relative to folder. Throws SceneError.
void writeNodeGraph(const SceneFile& scene, const hostsim::NodeGraph& graph, const std::string& folder,
                    Json& surface);

}  // namespace korvalith::app
