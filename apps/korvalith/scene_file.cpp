#include "scene_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "commands.h"
#include "file_io.h"
#include "geometry.h"
#include "instances.h"
#include "lwio.h"
#include "lwtexture.h"
#include "lwtxtr.h"
#include "plugin_data.h"
#include "scene.h"
#include "scene_nodes.h"
#include "session.h"
#include "surfaces.h"
#include "textures.h"

namespace korvalith::app {

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.141592653589793;

// Heading, pitch, bank in radians, or {"degrees": [h, p, b]}.
Vec3 rotation(const Reader& r, const Json& j, const std::string& at) {
    if (j.is_object()) {
        Fields f(r, j, at);
        Vec3 d = vec3(r, f.require("degrees"), f.at("degrees"));
        f.done();
        for (double& x : d) x *= kPi / 180;
        return d;
    }
    if (!j.is_array()) r.fail(at, "expected an array of 3 numbers (radians) or {\"degrees\": [h, p, b]}");
    return vec3(r, j, at);
}

double positive(const Reader& r, Fields& f, const char* key, double fallback) {
    const Json* j = f.get(key);
    if (!j) return fallback;
    const double v = number(r, *j, f.at(key));
    if (v <= 0) r.fail(f.at(key), "must be greater than 0");
    return v;
}

int atLeast(const Reader& r, Fields& f, const char* key, int fallback, int least) {
    const Json* j = f.get(key);
    if (!j) return fallback;
    const int v = integer(r, *j, f.at(key));
    if (v < least) r.fail(f.at(key), "must be at least " + std::to_string(least));
    return v;
}

double zoomFromFov(const Reader& r, const Json& j, const std::string& at) {
    const double fov = number(r, j, at);
    if (fov <= 0 || fov >= 180) r.fail(at, "a field of view must lie between 0 and 180 degrees");
    return 1 / std::tan(fov * kPi / 360);
}

// The camera's zoom from "zoom" or "fov"; false when neither is given.
bool readZoom(const Reader& r, Fields& f, double& zoom) {
    const Json* z = f.get("zoom");
    const Json* fov = f.get("fov");
    if (z && fov) r.fail(f.at(), "give \"zoom\" or \"fov\", not both");
    if (z) {
        zoom = number(r, *z, f.at("zoom"));
        if (zoom <= 0) r.fail(f.at("zoom"), "must be greater than 0");
    } else if (fov) {
        zoom = zoomFromFov(r, *fov, f.at("fov"));
    }
    return z || fov;
}

// Name, placement, parent and keys; the caller takes its own keys first.
void readItem(const Reader& r, Fields& f, SceneItem& item, bool camera) {
    item.name = text(r, f.require("name"), f.at("name"));
    if (item.name.empty()) r.fail(f.at("name"), "a name must not be empty");
    if (const Json* j = f.get("position")) item.position = vec3(r, *j, f.at("position"));
    if (const Json* j = f.get("rotation")) item.rotation = rotation(r, *j, f.at("rotation"));
    if (const Json* j = f.get("scale")) item.scale = vec3(r, *j, f.at("scale"));
    if (const Json* j = f.get("parent"); j && !j->is_null()) {
        item.parent = text(r, *j, f.at("parent"));
        if (item.parent.empty()) r.fail(f.at("parent"), "a parent's name must not be empty (null for none)");
    }
    if (const Json* j = f.get("keys")) {
        if (!j->is_array()) r.fail(f.at("keys"), "expected an array, got " + article(j->type_name()));
        for (size_t i = 0; i < j->size(); ++i) {
            Fields k(r, (*j)[i], step(f.at("keys"), i));
            SceneKey key;
            key.time = number(r, k.require("time"), k.at("time"));
            if (const Json* v = k.get("position")) key.position = vec3(r, *v, k.at("position"));
            if (const Json* v = k.get("rotation")) key.rotation = rotation(r, *v, k.at("rotation"));
            if (const Json* v = k.get("scale")) key.scale = vec3(r, *v, k.at("scale"));
            if (camera) {
                double zoom = 0;
                if (readZoom(r, k, zoom)) key.zoom = zoom;
            }
            k.done();
            if (!key.position && !key.rotation && !key.scale && !key.zoom)
                r.fail(k.at(), camera ? "a key needs a position, rotation, scale, zoom or fov"
                                      : "a key needs a position, rotation or scale");
            item.keys.push_back(key);
        }
    }
}

void readTexture(const Reader& r, const Json& j, const std::string& at, SceneTexture& t, std::string& data) {
    Fields f(r, j, at);
    t.server = text(r, f.require("server"), f.at("server"));
    if (const Json* a = f.get("axis")) {
        const std::string axis = a->is_string() ? a->get<std::string>() : "";
        if (axis == "x" || axis == "X") t.axis = 0;
        else if (axis == "y" || axis == "Y") t.axis = 1;
        else if (axis == "z" || axis == "Z") t.axis = 2;
        else r.fail(f.at("axis"), "expected \"x\", \"y\" or \"z\", got " + a->dump());
    }
    if (const Json* v = f.get("center")) t.center = vec3(r, *v, f.at("center"));
    if (const Json* v = f.get("size")) {
        t.size = vec3(r, *v, f.at("size"));
        for (int i = 0; i < 3; ++i)
            if (t.size[i] == 0) r.fail(step(f.at("size"), i), "a texture size must not be 0");
    }
    if (const Json* v = f.get("rotation")) t.rotation = rotation(r, *v, f.at("rotation"));
    if (const Json* v = f.get("data")) data = text(r, *v, f.at("data"));
    f.done();
}

void readShape(const Reader& r, Fields& f, SceneObject& o, const std::string& folder) {
    o.shape = text(r, f.require("shape"), f.at("shape"));
    if (o.shape == "plane") {
        o.width = positive(r, f, "width", 1);
        o.depth = positive(r, f, "depth", 1);
    } else if (o.shape == "sphere") {
        o.radius = positive(r, f, "radius", 1);
        o.segments = atLeast(r, f, "segments", 64, 3);
        o.rings = atLeast(r, f, "rings", 32, 2);
    } else if (o.shape == "box") {
        o.width = positive(r, f, "width", 1);
        o.height = positive(r, f, "height", 1);
        o.depth = positive(r, f, "depth", 1);
    } else if (o.shape == "cylinder") {
        o.radius = positive(r, f, "radius", 1);
        o.height = positive(r, f, "height", 1);
        o.segments = atLeast(r, f, "segments", 64, 3);
    } else if (o.shape == "obj") {
        const std::string file = text(r, f.require("file"), f.at("file"));
        if (file.empty()) r.fail(f.at("file"), "a file name must not be empty");
        o.fileRelative = fs::path(file).is_relative();
        o.file = (fs::path(folder) / file).lexically_normal().string();
    } else {
        r.fail(f.at("shape"), "unknown shape " + jsonQuoted(o.shape) + " (plane, sphere, box, cylinder or obj)");
    }
}

// ---- building the host scene

// The item's values are its values at time 0: a channel with keys gets a
// key at 0 from them unless one of its own keys is at 0, so a scene may
// give a start and keys to move from there.
void place(hostsim::Scene& scene, const SceneItem& item) {
    const std::array<std::pair<hostsim::Motion, std::optional<Vec3> SceneKey::*>, 3> channels{
        {{hostsim::Motion::Position, &SceneKey::position},
         {hostsim::Motion::Rotation, &SceneKey::rotation},
         {hostsim::Motion::Scaling, &SceneKey::scale}}};
    const std::array<Vec3, 3> values{item.position, item.rotation, item.scale};
    for (size_t c = 0; c < channels.size(); ++c) {
        const auto [motion, member] = channels[c];
        scene.set(item.id, motion, values[c]);
        bool keyed = false, atZero = false;
        for (const SceneKey& k : item.keys)
            if (k.*member) {
                keyed = true;
                atZero = atZero || k.time == 0;
            }
        if (keyed && !atZero) scene.setKey(item.id, motion, 0, values[c]);
        for (const SceneKey& k : item.keys)
            if (k.*member) scene.setKey(item.id, motion, k.time, *(k.*member));
    }
}

std::shared_ptr<const hostsim::Mesh> makeMesh(const Reader& r, const SceneObject& o, const std::string& at) {
    try {
        // The host refuses sizes and subdivisions that it cannot mesh.
        if (o.shape == "plane") return std::make_shared<hostsim::Mesh>(hostsim::makePlane(o.width, o.depth));
        if (o.shape == "sphere")
            return std::make_shared<hostsim::Mesh>(hostsim::makeSphere(o.radius, o.segments, o.rings));
        if (o.shape == "box") return std::make_shared<hostsim::Mesh>(hostsim::makeBox(o.width, o.height, o.depth));
        if (o.shape == "cylinder")
            return std::make_shared<hostsim::Mesh>(hostsim::makeCylinder(o.radius, o.height, o.segments));
    } catch (const hostsim::HostError& e) {
        r.fail(at, e.what());
    }
    std::error_code ec;
    if (!fs::is_regular_file(o.file, ec)) r.fail(step(at, "file"), "no such file " + jsonQuoted(o.file));
    try {
        return std::make_shared<hostsim::Mesh>(hostsim::loadObj(o.file));
    } catch (const hostsim::HostError& e) {
        r.fail(step(at, "file"), e.what());
    }
}

// Loads an instance's data text.
void loadPluginData(const Reader& r, hostsim::Host& host, SceneFile& scene, const LWInstanceFuncs* funcs,
                    LWInstance instance, const std::string& data, const std::string& at) {
    loadPluginText(r, host, scene, data, at, "",
                   [&](const std::string& text) { return loadInstance(funcs, instance, text); });
}

// The host's records of a handler server, activated once per scene.
template <typename Records>
const auto* handlerFor(const Reader& r, hostsim::Host& host, std::map<std::string, std::unique_ptr<Records>>& handlers,
                       const std::string& server, const char* kind, const std::string& at) {
    auto& slot = handlers[server];
    if (slot) return &slot->local;
    auto records = std::make_unique<Records>();
    int result = 0;
    try {
        result = records->activate(host, server);
    } catch (const hostsim::HostError&) {
        handlers.erase(server);
        r.fail(at, std::string("no ") + kind + " server " + jsonQuoted(server) + " is loaded");
    }
    if (result != 0 || !records->inst.create) {
        handlers.erase(server);
        r.fail(at, std::string("the ") + kind + " server " + jsonQuoted(server) + " refused to start (" +
                       std::to_string(result) + ")");
    }
    slot = std::move(records);
    return &slot->local;
}

// The parsed file; data texts stay aside until the instances exist.
struct Parsed {
    std::vector<std::string> data;        // per texture
    std::vector<std::string> shaderData;  // per shader
    std::vector<NodeGraphSpec> graphs;    // per node graph
};

// The surface's channel values by their keys in the file.
struct Channel {
    const char* key;
    double hostsim::Surface::*value;
};
constexpr Channel kChannels[] = {
    {"luminosity", &hostsim::Surface::luminosity},
    {"diffuse", &hostsim::Surface::diffuse},
    {"specularity", &hostsim::Surface::specularity},
    {"glossiness", &hostsim::Surface::glossiness},
    {"reflection", &hostsim::Surface::reflection},
    {"transparency", &hostsim::Surface::transparency},
    {"refractionIndex", &hostsim::Surface::refractionIndex},
    {"translucency", &hostsim::Surface::translucency},
    {"colourHighlights", &hostsim::Surface::colourHighlights},
    {"colourFilter", &hostsim::Surface::colourFilter},
    {"additiveTransparency", &hostsim::Surface::additiveTransparency},
    {"diffuseSharpness", &hostsim::Surface::diffuseSharpness},
    {"bump", &hostsim::Surface::bump},
};

void readShader(const Reader& r, const Json& j, const std::string& at, SceneShader& shader, std::string& data) {
    Fields f(r, j, at);
    shader.server = text(r, f.require("server"), f.at("server"));
    if (const Json* v = f.get("data")) data = text(r, *v, f.at("data"));
    f.done();
}

void parse(const Reader& r, const Json& root, SceneFile& s, Parsed& p) {
    Fields top(r, root, "");
    if (const Json* j = top.get("frames")) {
        Fields f(r, *j, top.at("frames"));
        if (const Json* v = f.get("start")) s.frameStart = integer(r, *v, f.at("start"));
        if (const Json* v = f.get("end")) s.frameEnd = integer(r, *v, f.at("end"));
        else s.frameEnd = std::max(s.frameEnd, s.frameStart);
        s.frameStep = atLeast(r, f, "step", 1, 1);
        s.fps = positive(r, f, "fps", 30);
        if (s.frameEnd < s.frameStart) r.fail(f.at("end"), "the last frame comes before the first");
        f.done();
    }
    if (const Json* j = top.get("frame")) {
        Fields f(r, *j, top.at("frame"));
        s.width = atLeast(r, f, "width", 640, 1);
        s.height = atLeast(r, f, "height", 480, 1);
        s.pixelAspect = positive(r, f, "pixelAspect", 1);
        f.done();
    }
    {
        Fields f(r, top.require("camera"), top.at("camera"));
        readZoom(r, f, s.camera.zoom);
        readItem(r, f, s.camera, true);
        f.done();
    }
    if (const Json* j = top.get("lights")) {
        if (!j->is_array()) r.fail(top.at("lights"), "expected an array, got " + article(j->type_name()));
        for (size_t i = 0; i < j->size(); ++i) {
            Fields f(r, (*j)[i], step(top.at("lights"), i));
            SceneItem light;
            readItem(r, f, light, false);
            f.done();
            s.lights.push_back(light);
        }
    }
    if (const Json* j = top.get("objects")) {
        if (!j->is_array()) r.fail(top.at("objects"), "expected an array, got " + article(j->type_name()));
        for (size_t i = 0; i < j->size(); ++i) {
            Fields f(r, (*j)[i], step(top.at("objects"), i));
            SceneObject o;
            readItem(r, f, o, false);
            readShape(r, f, o, s.folder);
            if (const Json* sj = f.get("surface")) {
                Fields sf(r, *sj, f.at("surface"));
                SceneSurface surface;
                hostsim::Surface& values = surface.values;
                values.name = o.name;
                if (const Json* v = sf.get("name")) values.name = text(r, *v, sf.at("name"));
                if (const Json* v = sf.get("colour")) values.colour = vec3(r, *v, sf.at("colour"));
                for (const Channel& c : kChannels)
                    if (const Json* v = sf.get(c.key)) values.*c.value = number(r, *v, sf.at(c.key));
                if (const Json* v = sf.get("shaders")) {
                    if (!v->is_array()) r.fail(sf.at("shaders"), "expected an array, got " + article(v->type_name()));
                    for (size_t k = 0; k < v->size(); ++k) {
                        SceneShader shader;
                        std::string data;
                        readShader(r, (*v)[k], step(sf.at("shaders"), k), shader, data);
                        surface.shaders.push_back(s.shaders.size());
                        s.shaders.push_back(shader);
                        p.shaderData.push_back(data);
                    }
                }
                if (const Json* v = sf.get("texture")) {
                    SceneTexture t;
                    std::string data;
                    readTexture(r, *v, sf.at("texture"), t, data);
                    surface.texture = s.textures.size();
                    s.textures.push_back(t);
                    p.data.push_back(data);
                }
                NodeGraphSpec graph;
                if (readNodeGraph(r, sf, graph)) {
                    surface.nodes = s.nodeGraphs.size();
                    s.nodeGraphs.emplace_back();
                    p.graphs.push_back(std::move(graph));
                }
                sf.done();
                o.surface = surface;
            }
            f.done();
            s.objects.push_back(std::move(o));
        }
    }
    top.done();
}

// Where an item is described in the file.
struct ItemPlace {
    SceneItem* item;
    std::string at;
};

void build(const Reader& r, hostsim::Host& host, SceneFile& s, const Parsed& p) {
    hostsim::Scene& scene = host.scene();
    hostsim::SceneSettings settings = scene.settings();
    settings.frameStart = s.frameStart;
    settings.frameEnd = s.frameEnd;
    settings.frameStep = s.frameStep;
    settings.framesPerSecond = s.fps;
    settings.frameWidth = s.width;
    settings.frameHeight = s.height;
    settings.pixelAspect = s.pixelAspect;
    try {
        scene.setSettings(settings);
    } catch (const hostsim::HostError& e) {
        r.fail("/frame", e.what());
    }

    // Items first, then parents, so a parent may come after its child.
    std::vector<ItemPlace> places{{&s.camera, "/camera"}};
    for (size_t i = 0; i < s.lights.size(); ++i) places.push_back({&s.lights[i], step("/lights", i)});
    for (size_t i = 0; i < s.objects.size(); ++i) places.push_back({&s.objects[i], step("/objects", i)});
    std::map<std::string, LWItemID> byName;
    for (const ItemPlace& x : places)
        if (!byName.emplace(x.item->name, nullptr).second)
            r.fail(step(x.at, "name"), "another item is named " + jsonQuoted(x.item->name));

    s.camera.id = scene.addCamera(s.camera.name);
    scene.setRenderCamera(s.camera.id);
    for (SceneItem& light : s.lights) light.id = scene.addLight(light.name);
    for (SceneObject& o : s.objects) o.id = scene.addObject(o.name);
    for (const ItemPlace& x : places) {
        byName[x.item->name] = x.item->id;
        place(scene, *x.item);
    }
    scene.setZoomFactor(s.camera.id, s.camera.zoom);
    bool zoomKeyed = false, zoomAtZero = false;
    for (const SceneKey& k : s.camera.keys)
        if (k.zoom) {
            zoomKeyed = true;
            zoomAtZero = zoomAtZero || k.time == 0;
        }
    if (zoomKeyed && !zoomAtZero) scene.setZoomKey(s.camera.id, 0, s.camera.zoom);
    for (const SceneKey& k : s.camera.keys)
        if (k.zoom) scene.setZoomKey(s.camera.id, k.time, *k.zoom);
    for (const ItemPlace& x : places) {
        if (x.item->parent.empty()) continue;
        auto it = byName.find(x.item->parent);
        if (it == byName.end()) r.fail(step(x.at, "parent"), "no item is named " + jsonQuoted(x.item->parent));
        try {
            scene.setParent(x.item->id, it->second);
        } catch (const hostsim::HostError& e) {
            r.fail(step(x.at, "parent"), e.what());
        }
    }

    for (size_t i = 0; i < s.objects.size(); ++i) {
        SceneObject& o = s.objects[i];
        const std::string at = step("/objects", i);
        host.geometry().setMesh(o.id, makeMesh(r, o, at));
        if (!o.surface) continue;
        hostsim::Surface surface = o.surface->values;
        if (o.surface->texture) {
            const std::string tat = at + "/surface/texture";
            SceneTexture& t = s.textures[*o.surface->texture];
            t.object = o.id;
            t.handler = handlerFor(r, host, s.handlers, t.server, "texture", tat + "/server");
            t.texture = host.textures().create(TRT_COLOR, surface.name.c_str(), nullptr, nullptr);
            t.layer = host.textures().addLayer(t.texture, TLT_PROC);
            LWError error = nullptr;
            t.instance = host.instances().create(t.handler->inst, t.handler->item, t.layer, &error);
            if (!t.instance)
                r.fail(tat, "the texture server " + jsonQuoted(t.server) + " made no instance" +
                                (error ? std::string(": ") + error : std::string()));
            loadPluginData(r, host, s, t.handler->inst, t.instance, p.data[*o.surface->texture], tat + "/data");
            surface.colourTexture = t.texture;
        }
        host.geometry().setSurface(o.id, surface);
        if (o.surface->nodes) {
            const std::string nat = at + "/surface";
            SceneNodeGraph& g = s.nodeGraphs[*o.surface->nodes];
            g.object = o.id;
            // The editor keeps one graph per surface name.
            hostsim::NodeGraph& graph = host.nodeEditor().graph(surface.name);
            if (graph.nodes().size() > 1 ||
                std::any_of(s.nodeGraphs.begin(), s.nodeGraphs.end(), [&](const SceneNodeGraph& other) {
                    return other.graph == &graph;
                }))
                r.fail(nat, "surface " + jsonQuoted(surface.name) +
                                ": another object's surface of that name has nodes already");
            g.graph = &graph;
            buildNodeGraph(r, host, s, graph, p.graphs[*o.surface->nodes], nat);
        }
        // Shaders are made on the host's surface, which exists from here on.
        for (size_t k = 0; k < o.surface->shaders.size(); ++k) {
            const size_t index = o.surface->shaders[k];
            const std::string sat = step(at + "/surface/shaders", k);
            SceneShader& shader = s.shaders[index];
            shader.object = o.id;
            shader.surface = host.surfaces().surfaceOf(o.id);
            shader.handler = handlerFor(r, host, s.shaderHandlers, shader.server, "shader", sat + "/server");
            LWError error = nullptr;
            shader.instance = host.instances().create(shader.handler->inst, shader.handler->item, shader.surface, &error);
            if (!shader.instance)
                r.fail(sat, "the shader server " + jsonQuoted(shader.server) + " made no instance" +
                                (error ? std::string(": ") + error : std::string()));
            loadPluginData(r, host, s, shader.handler->inst, shader.instance, p.shaderData[index], sat + "/data");
        }
    }
}

// The 1-based line and column of a byte offset.
std::pair<size_t, size_t> lineColumn(const std::string& text, size_t offset) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

// Where a number that the parser found too large first stands outside a
// string. Everything before it parsed, so that is the refused one.
size_t numberOffset(const std::string& text, const std::string& number) {
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (text.compare(i, number.size(), number) == 0) {
            return i;
        }
    }
    return 0;
}

// ---- writing

Json vec(const Vec3& v) { return Json::array({v[0], v[1], v[2]}); }

// Indented JSON that keeps arrays of numbers on one line, as a person
// writes them.
void pretty(const Json& j, int indent, std::string& out) {
    const std::string pad(static_cast<size_t>(indent) + 2, ' ');
    const bool flat = j.is_array() && std::none_of(j.begin(), j.end(), [](const Json& x) { return x.is_structured(); });
    if (!j.is_structured() || j.empty() || flat) {
        if (!flat || j.empty()) {
            out += j.dump();
            return;
        }
        out += "[";
        for (size_t i = 0; i < j.size(); ++i) out += (i ? ", " : "") + j[i].dump();
        out += "]";
        return;
    }
    out += j.is_object() ? "{\n" : "[\n";
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
        out += first ? "" : ",\n";
        first = false;
        out += pad;
        if (j.is_object()) out += Json(it.key()).dump() + ": ";
        pretty(*it, indent + 2, out);
    }
    out += "\n" + std::string(static_cast<size_t>(indent), ' ') + (j.is_object() ? "}" : "]");
}

Json itemJson(const SceneItem& item) {
    Json j;
    j["name"] = item.name;
    j["position"] = vec(item.position);
    j["rotation"] = vec(item.rotation);
    j["scale"] = vec(item.scale);
    j["parent"] = item.parent.empty() ? Json() : Json(item.parent);
    return j;
}

Json keysJson(const SceneItem& item) {
    Json keys = Json::array();
    for (const SceneKey& k : item.keys) {
        Json j;
        j["time"] = k.time;
        if (k.position) j["position"] = vec(*k.position);
        if (k.rotation) j["rotation"] = vec(*k.rotation);
        if (k.scale) j["scale"] = vec(*k.scale);
        if (k.zoom) j["zoom"] = *k.zoom;
        keys.push_back(j);
    }
    return keys;
}

}  // namespace

SceneFile::~SceneFile() { destroyInstances(*this); }

void destroyInstances(SceneFile& scene) {
    for (SceneNodeGraph& g : scene.nodeGraphs)
        if (g.graph) {
            g.graph->removeAll();
            g.graph = nullptr;
        }
    for (SceneShader& shader : scene.shaders)
        if (shader.instance && scene.host) {
            scene.host->instances().destroy(shader.instance);
            shader.instance = nullptr;
        }
    for (SceneTexture& t : scene.textures)
        if (t.instance && scene.host) {
            scene.host->instances().destroy(t.instance);
            t.instance = nullptr;
        }
}

SceneFile loadScene(hostsim::Host& host, const std::string& path) {
    const Reader r(path);
    std::string text;
    std::error_code ec;
    if (fs::is_directory(path, ec) || !hostsim::readWholeFile(path, text))
        throw SceneError(path + ": cannot be read");
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& e) {
        // The library's text starts with its own id and place; ours says the
        // place as line:column, counted from the byte where parsing stopped.
        std::string what = e.what();
        if (const size_t colon = what.find(": "); colon != std::string::npos) what = what.substr(colon + 2);
        const auto [line, column] = lineColumn(text, e.byte > 0 ? e.byte - 1 : 0);
        throw SceneError(path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + what);
    } catch (const Json::out_of_range& e) {
        // A number beyond a double's range; the text quotes it.
        std::string what = e.what();
        if (const size_t end = what.find("] "); end != std::string::npos) what = what.substr(end + 2);
        const size_t first = what.find('\''), last = what.rfind('\'');
        const std::string number = first < last ? what.substr(first + 1, last - first - 1) : std::string();
        const auto [line, column] = lineColumn(text, number.empty() ? 0 : numberOffset(text, number));
        throw SceneError(path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + what);
    }
    SceneFile scene;
    scene.host = &host;
    scene.path = path;
    scene.folder = fs::absolute(path).parent_path().lexically_normal().string();
    Parsed parsed;
    parse(r, root, scene, parsed);
    build(r, host, scene, parsed);
    return scene;
}

std::string sceneText(const SceneFile& s, const std::string& folder) {
    Json root;
    root["frames"] = {{"start", s.frameStart}, {"end", s.frameEnd}, {"step", s.frameStep}, {"fps", s.fps}};
    root["frame"] = {{"width", s.width}, {"height", s.height}, {"pixelAspect", s.pixelAspect}};
    Json camera = itemJson(s.camera);
    camera["zoom"] = s.camera.zoom;
    camera["keys"] = keysJson(s.camera);
    root["camera"] = camera;
    root["lights"] = Json::array();
    for (const SceneItem& light : s.lights) {
        Json j = itemJson(light);
        j["keys"] = keysJson(light);
        root["lights"].push_back(j);
    }
    root["objects"] = Json::array();
    for (const SceneObject& o : s.objects) {
        Json j = itemJson(o);
        j["keys"] = keysJson(o);
        j["shape"] = o.shape;
        if (o.shape == "plane") {
            j["width"] = o.width;
            j["depth"] = o.depth;
        } else if (o.shape == "sphere") {
            j["radius"] = o.radius;
            j["segments"] = o.segments;
            j["rings"] = o.rings;
        } else if (o.shape == "box") {
            j["width"] = o.width;
            j["height"] = o.height;
            j["depth"] = o.depth;
        } else if (o.shape == "cylinder") {
            j["radius"] = o.radius;
            j["height"] = o.height;
            j["segments"] = o.segments;
        } else {
            j["file"] = written(o.file, o.fileRelative, folder);
        }
        if (o.surface) {
            Json sj;
            const hostsim::Surface& values = o.surface->values;
            sj["name"] = values.name;
            sj["colour"] = vec(values.colour);
            for (const Channel& c : kChannels) sj[c.key] = values.*c.value;
            if (o.surface->texture) {
                const SceneTexture& t = s.textures[*o.surface->texture];
                Json tj;
                tj["server"] = t.server;
                tj["axis"] = std::string(1, "xyz"[t.axis]);
                tj["center"] = vec(t.center);
                tj["size"] = vec(t.size);
                tj["rotation"] = vec(t.rotation);
                tj["data"] = savedData(s, t.handler->inst, t.instance, "texture", t.server, folder);
                sj["texture"] = tj;
            }
            if (!o.surface->shaders.empty()) {
                Json shaders = Json::array();
                for (const size_t index : o.surface->shaders) {
                    const SceneShader& shader = s.shaders[index];
                    shaders.push_back({{"server", shader.server},
                                       {"data", savedData(s, shader.handler->inst, shader.instance, "shader",
                                                          shader.server, folder)}});
                }
                sj["shaders"] = shaders;
            }
            if (o.surface->nodes)
                if (const hostsim::NodeGraph* graph = s.nodeGraphs[*o.surface->nodes].graph)
                    writeNodeGraph(s, *graph, folder, sj);
            j["surface"] = sj;
        }
        root["objects"].push_back(j);
    }
    std::string out;
    pretty(root, 0, out);
    return out + "\n";
}

void saveScene(const SceneFile& scene, const std::string& path) {
    const std::string folder = fs::absolute(path).parent_path().lexically_normal().string();
    const std::string text = sceneText(scene, folder);
    if (!hostsim::writeWholeFile(path, text)) throw SceneError(path + ": cannot be written");
}

int runSave(const std::string& moduleDir, const std::string& scenePath, const std::string& outPath) {
    Session session(moduleDir, &std::cerr);
    SceneFile scene = loadScene(session.host(), scenePath);
    saveScene(scene, outPath);
    return 0;
}

}  // namespace korvalith::app
