// JSON scene files: a scene a person writes by hand (frame values, a
// camera, lights, objects with primitive or OBJ meshes, surfaces and
// plug-in textures) loaded into the stand-in host, and written back.
//
// The schema, keys in any order; unknown keys are refused:
//   "frames": {"start": 0, "end": 0, "step": 1, "fps": 30}           optional
//   "frame":  {"width": 640, "height": 480, "pixelAspect": 1}          optional
//   "camera": item keys, "zoom": 3.2 or "fov": degrees (vertical)      required
//   "lights": [item keys]                                              optional
//   "objects": [item keys, "shape", its sizes, "surface"]              optional
// Item keys: "name" (required, unique among all items), "position",
// "rotation", "scale" ([x, y, z]), "parent" (an item's name or null) and
// "keys": [{"time": seconds, "position", "rotation", "scale", and for the
// camera "zoom" or "fov"}]. An item's values are its values at time 0: a
// channel with keys gets a key at 0 from them unless it has its own. A
// rotation is heading, pitch, bank in radians, or {"degrees": [h, p, b]}.
// Shapes: "plane" (width, depth), "sphere" (radius, segments, rings),
// "box" (width, height, depth), "cylinder" (radius, height, segments),
// "obj" ("file", relative to the scene file's folder). Sizes default to 1,
// segments to 64, rings to 32.
// "surface": {"name" (default: the object's), "colour": [r, g, b], the
// channel values "luminosity", "diffuse", "specularity", "glossiness",
// "reflection", "transparency", "refractionIndex", "translucency",
// "colourHighlights", "colourFilter", "additiveTransparency",
// "diffuseSharpness", "bump" (defaults as a new surface has them),
// "texture": {"server", "axis": "x" | "y" | "z", "center", "size",
// "rotation", "data"}, "shaders": [{"server", "data"}, ...], "nodes" and
// "connections" (scene_nodes.h)}. A texture
// names a "TextureHandler" server, a shader a "ShaderHandler" server, of any
// loaded module; shaders run in their order. "data" is the plug-in's own
// blocks in the host's text form; a relative image file name in it
// ("Filename" lines) is found in the scene file's folder. The render shades
// a hit with the colour texture, then the surface's nodes, then its shaders.
//
// Saving writes every value (rotations in radians, the camera's zoom) and
// the plug-in data as the plug-in saves it now; file names that were
// relative are written relative to the saved file's folder.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry.h"
#include "handler_records.h"
#include "host.h"
#include "lwhandler.h"
#include "lwshader.h"
#include "lwsurf.h"
#include "lwtexture.h"
#include "lwtxtr.h"
#include "node_editor.h"
#include "scene_json.h"

namespace korvalith::app {

struct SceneKey {
    double time = 0;
    std::optional<Vec3> position, rotation, scale;
    std::optional<double> zoom;  // cameras only
};

struct SceneItem {
    std::string name;
    Vec3 position{0, 0, 0};
    Vec3 rotation{0, 0, 0};  // heading, pitch, bank in radians
    Vec3 scale{1, 1, 1};
    std::string parent;  // "" for a top-level item
    std::vector<SceneKey> keys;
    LWItemID id = nullptr;  // the host's item
};

struct SceneCamera : SceneItem {
    double zoom = 3.2;
};

// A plug-in texture on a surface and the host's texture layer settings
// the renderer applies: the plug-in gets tPos = rotate(local - center) / size.
struct SceneTexture {
    LWItemID object = nullptr;
    std::string server;
    const LWTextureHandler* handler = nullptr;  // owned by the SceneFile
    LWInstance instance = nullptr;
    LWTextureID texture = nullptr;
    LWTLayerID layer = nullptr;
    int axis = 1;  // 0 X, 1 Y, 2 Z
    Vec3 center{0, 0, 0};
    Vec3 size{1, 1, 1};
    Vec3 rotation{0, 0, 0};  // heading, pitch, bank in radians
};

// A plug-in shader on a surface.
struct SceneShader {
    LWItemID object = nullptr;
    LWSurfaceID surface = nullptr;  // the host's surface, the instance's context
    std::string server;
    const LWShaderHandler* handler = nullptr;  // owned by the SceneFile
    LWInstance instance = nullptr;
};

// A surface's node graph in the host's node editor.
struct SceneNodeGraph {
    LWItemID object = nullptr;
    hostsim::NodeGraph* graph = nullptr;  // the host's; its nodes go with the scene
};

struct SceneSurface {
    // Name and channel values; its colour texture is set when the scene is built.
    hostsim::Surface values;
    std::optional<size_t> texture;  // index into SceneFile::textures
    std::vector<size_t> shaders;    // indices into SceneFile::shaders, in order
    std::optional<size_t> nodes;    // index into SceneFile::nodeGraphs
};

struct SceneObject : SceneItem {
    std::string shape;  // plane, sphere, box, cylinder or obj
    double width = 1, height = 1, depth = 1, radius = 1;
    int segments = 64, rings = 32;
    std::string file;  // obj: absolute
    bool fileRelative = false;  // obj: written relative to the scene's folder
    std::optional<SceneSurface> surface;
};

struct SceneFile {
    SceneFile() = default;
    SceneFile(const SceneFile&) = delete;
    SceneFile& operator=(const SceneFile&) = delete;
    SceneFile(SceneFile&&) = default;
    SceneFile& operator=(SceneFile&&) = delete;
    // Destroys the instances that are still alive; the host must still be.
    ~SceneFile();

    hostsim::Host* host = nullptr;  // whose instances the textures are
    std::string path;    // as given
    std::string folder;  // absolute: OBJ files and relative image files are found here

    int frameStart = 0, frameEnd = 0, frameStep = 1;
    double fps = 30;
    int width = 640, height = 480;
    double pixelAspect = 1;

    SceneCamera camera;
    std::vector<SceneItem> lights;
    std::vector<SceneObject> objects;
    std::vector<SceneTexture> textures;
    std::vector<SceneShader> shaders;
    std::vector<SceneNodeGraph> nodeGraphs;
    // Absolute image paths that the scene named relative to its folder.
    std::set<std::string> relativeImages;
    // The host's handler records per texture server, activated once.
    std::map<std::string, std::unique_ptr<hostsim::TextureHandlerRecords>> handlers;
    std::map<std::string, std::unique_ptr<hostsim::ShaderHandlerRecords>> shaderHandlers;
};

// Reads the file and builds its scene in the host: items with their
// values, keys and parents, the render camera, frame values, meshes and
// surfaces, for every texture a host texture and layer with a plug-in
// instance that loaded the texture's data, and for every shader a plug-in
// instance on the host's surface that loaded the shader's data, and every
// surface's nodes and connections in the host's node editor. Throws
// SceneError; the host may then hold part of the scene, but no instance or
// node is left alive.
SceneFile loadScene(hostsim::Host& host, const std::string& path);

// The scene as JSON text, with the plug-in data as the instances save it
// now; file names that were relative are made relative to folder.
std::string sceneText(const SceneFile& scene, const std::string& folder);

// Writes sceneText for the path's folder to path; throws SceneError.
void saveScene(const SceneFile& scene, const std::string& path);

// Destroys the plug-in instances (the handler's destroy) and the nodes of
// the scene's graphs; safe to repeat.
void destroyInstances(SceneFile& scene);

}  // namespace korvalith::app
