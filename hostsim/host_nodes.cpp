// The host's own nodes: constant "Color", "Scalar", "Vector" and "Integer",
// "Mix" of two colours
// by an amount and "Math" (add or multiply two scalars), and their data
// text, one "key value..." line per setting. An input that is connected
// takes the value of the output feeding it; an unconnected one the node's
// own setting.
#include <charconv>
#include <map>
#include <sstream>

#include "node_records.h"

namespace hostsim {

namespace {

const std::pair<const char*, HostNodeKind> kTypes[] = {
    {"Color", HostNodeKind::Color},
    {"Scalar", HostNodeKind::Scalar},
    {"Vector", HostNodeKind::Vector},
    {"Integer", HostNodeKind::Integer},
    {"Mix", HostNodeKind::Mix},
    {"Math", HostNodeKind::Math},
};

std::string number(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string triple(const std::array<double, 3>& v) {
    return number(v[0]) + " " + number(v[1]) + " " + number(v[2]);
}

// The input's value when connected and set by its source, else fallback.
void inputColour(const NodeRecord& node, size_t index, LWNodalAccess* access, const std::array<double, 3>& fallback,
                 double out[3]) {
    for (int c = 0; c < 3; ++c) out[c] = fallback[c];
    if (index < node.inputs.size()) evaluateInput(*node.inputs[index], access, out);
}

double inputScalar(const NodeRecord& node, size_t index, LWNodalAccess* access, double fallback) {
    double v = fallback;
    if (index < node.inputs.size()) evaluateInput(*node.inputs[index], access, &v);
    return v;
}

bool parseNumbers(std::istringstream& in, double* out, int count) {
    for (int i = 0; i < count; ++i) {
        std::string word;
        if (!(in >> word)) return false;
        const auto r = std::from_chars(word.data(), word.data() + word.size(), out[i]);
        if (r.ec != std::errc() || r.ptr != word.data() + word.size()) return false;
    }
    std::string extra;
    return !(in >> extra);
}

}  // namespace

bool isHostNodeType(const std::string& type) {
    for (const auto& [name, kind] : kTypes)
        if (type == name) return true;
    return false;
}

std::vector<std::string> hostNodeTypes() {
    std::vector<std::string> out;
    for (const auto& [name, kind] : kTypes) out.push_back(name);
    return out;
}

HostNodeKind hostNodeKind(const std::string& type) {
    for (const auto& [name, kind] : kTypes)
        if (type == name) return kind;
    return HostNodeKind::Plugin;
}

HostPorts hostNodePorts(HostNodeKind kind) {
    switch (kind) {
        case HostNodeKind::Destination:
            return {{{"Color", NOT_COLOR},
                     {"Luminosity", NOT_SCALAR},
                     {"Diffuse", NOT_SCALAR},
                     {"Specular", NOT_SCALAR},
                     {"Glossiness", NOT_SCALAR},
                     {"Reflection", NOT_SCALAR},
                     {"Transparency", NOT_SCALAR},
                     {"Normal", NOT_VECTOR},
                     {"Bump", NOT_VECTOR}},
                    {}};
        case HostNodeKind::Color: return {{}, {{"Color", NOT_COLOR}}};
        case HostNodeKind::Scalar: return {{}, {{"Scalar", NOT_SCALAR}}};
        case HostNodeKind::Vector: return {{}, {{"Vector", NOT_VECTOR}}};
        case HostNodeKind::Integer: return {{}, {{"Integer", NOT_INTEGER}}};
        case HostNodeKind::Mix:
            return {{{"A", NOT_COLOR}, {"B", NOT_COLOR}, {"Amount", NOT_SCALAR}}, {{"Color", NOT_COLOR}}};
        case HostNodeKind::Math: return {{{"A", NOT_SCALAR}, {"B", NOT_SCALAR}}, {{"Result", NOT_SCALAR}}};
        case HostNodeKind::Plugin: break;
    }
    return {};
}

void evaluateHostNode(const NodeRecord& node, const NodeOutputRecord&, LWNodalAccess* access, NodeValueSlot& slot) {
    const HostNodeData& d = node.data;
    switch (node.kind) {
        case HostNodeKind::Color:
            for (int c = 0; c < 3; ++c) slot.values[c] = d.colour[c];
            break;
        case HostNodeKind::Scalar: slot.values[0] = d.value; break;
        case HostNodeKind::Vector:
            for (int c = 0; c < 3; ++c) slot.values[c] = d.vector[c];
            break;
        case HostNodeKind::Integer: slot.integer = d.integer; break;
        case HostNodeKind::Mix: {
            double a[3], b[3];
            inputColour(node, 0, access, d.a, a);
            inputColour(node, 1, access, d.b, b);
            const double t = inputScalar(node, 2, access, d.amount);
            for (int c = 0; c < 3; ++c) slot.values[c] = a[c] * (1 - t) + b[c] * t;
            break;
        }
        case HostNodeKind::Math: {
            const double a = inputScalar(node, 0, access, d.scalarA);
            const double b = inputScalar(node, 1, access, d.scalarB);
            slot.values[0] = d.multiply ? a * b : a + b;
            break;
        }
        case HostNodeKind::Destination:
        case HostNodeKind::Plugin: return;  // no outputs
    }
    slot.set = true;
}

std::string saveHostNode(const NodeRecord& node) {
    const HostNodeData& d = node.data;
    switch (node.kind) {
        case HostNodeKind::Color: return "color " + triple(d.colour) + "\n";
        case HostNodeKind::Scalar: return "value " + number(d.value) + "\n";
        case HostNodeKind::Vector: return "vector " + triple(d.vector) + "\n";
        case HostNodeKind::Integer: return "value " + std::to_string(d.integer) + "\n";
        case HostNodeKind::Mix:
            return "a " + triple(d.a) + "\nb " + triple(d.b) + "\namount " + number(d.amount) + "\n";
        case HostNodeKind::Math:
            return std::string("operation ") + (d.multiply ? "multiply" : "add") + "\na " + number(d.scalarA) +
                   "\nb " + number(d.scalarB) + "\n";
        case HostNodeKind::Destination:
        case HostNodeKind::Plugin: break;
    }
    return "";
}

std::string loadHostNode(NodeRecord& node, const std::string& text) {
    // Keys of each type and how many numbers they take (0: a word, -1: a
    // whole number).
    std::map<std::string, int> keys;
    switch (node.kind) {
        case HostNodeKind::Color: keys = {{"color", 3}}; break;
        case HostNodeKind::Scalar: keys = {{"value", 1}}; break;
        case HostNodeKind::Vector: keys = {{"vector", 3}}; break;
        case HostNodeKind::Integer: keys = {{"value", -1}}; break;
        case HostNodeKind::Mix: keys = {{"a", 3}, {"b", 3}, {"amount", 1}}; break;
        case HostNodeKind::Math: keys = {{"operation", 0}, {"a", 1}, {"b", 1}}; break;
        case HostNodeKind::Destination:
        case HostNodeKind::Plugin: break;
    }
    HostNodeData d = node.data;
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::istringstream in(line);
        std::string key;
        if (!(in >> key)) continue;  // blank line
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        auto k = keys.find(key);
        if (k == keys.end()) return where + "unknown setting \"" + key + "\" for a " + node.type + " node";
        if (k->second < 0) {
            std::string word, extra;
            int v = 0;
            const bool read = static_cast<bool>(in >> word) && !(in >> extra);
            const auto r = read ? std::from_chars(word.data(), word.data() + word.size(), v)
                                : std::from_chars_result{word.data(), std::errc::invalid_argument};
            if (r.ec != std::errc() || r.ptr != word.data() + word.size())
                return where + "\"" + key + "\" takes a whole number";
            d.integer = v;
            continue;
        }
        if (k->second == 0) {
            std::string op, extra;
            if (!(in >> op) || (in >> extra) || (op != "add" && op != "multiply"))
                return where + "operation must be add or multiply";
            d.multiply = op == "multiply";
            continue;
        }
        double v[3];
        if (!parseNumbers(in, v, k->second))
            return where + "\"" + key + "\" takes " + std::to_string(k->second) + " number(s)";
        if (key == "color") d.colour = {v[0], v[1], v[2]};
        else if (key == "value") d.value = v[0];
        else if (key == "vector") d.vector = {v[0], v[1], v[2]};
        else if (key == "amount") d.amount = v[0];
        else if (node.kind == HostNodeKind::Mix && key == "a") d.a = {v[0], v[1], v[2]};
        else if (node.kind == HostNodeKind::Mix && key == "b") d.b = {v[0], v[1], v[2]};
        else if (key == "a") d.scalarA = v[0];
        else d.scalarB = v[0];
    }
    node.data = d;
    return "";
}

}  // namespace hostsim
