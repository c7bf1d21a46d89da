// Object geometry of the stand-in host's scene: triangle meshes with
// normals and UVs (built-in primitives or OBJ files), and the surface of
// each object.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lwrender.h"
#include "lwtypes.h"

namespace hostsim {

// The name of the UV map of primitives and of OBJ files with texture
// coordinates.
inline constexpr char kTextureUvMap[] = "Texture";

struct Mesh {
    std::vector<std::array<double, 3>> positions;  // object space
    std::vector<std::array<double, 3>> normals;    // per vertex, unit
    std::vector<std::array<double, 2>> uvs;        // per vertex
    std::vector<std::array<uint32_t, 3>> triangles;
    // Name of the texture UV vertex map that holds the uvs; "" when they
    // belong to no named map.
    std::string uvMap;
    // Per vertex: whether the map holds its uv. Empty when every vertex
    // with a uv has one in the map; an OBJ file whose faces give some
    // corners no texture coordinate leaves those vertices out.
    std::vector<bool> uvMapped;
    // The OBJ file the mesh was loaded from; "" for primitives.
    std::string file;

    // Whether the UV map holds a value for the vertex.
    bool hasUv(uint32_t vertex) const {
        return vertex < uvs.size() && (uvMapped.empty() || (vertex < uvMapped.size() && uvMapped[vertex]));
    }
};

// Primitives centred on the object's origin, with UVs over 0 … 1 in the
// map kTextureUvMap.
Mesh makePlane(double width, double depth, int divisions = 1);        // in XZ, facing +Y
Mesh makeSphere(double radius, int segments = 64, int rings = 32);   // poles on ±Y
Mesh makeBox(double width, double height, double depth);
Mesh makeCylinder(double radius, double height, int segments = 64);  // axis Y
// Keeps each corner's position, normal and texture coordinate: a position
// used with two different texture coordinates (or normals) becomes two
// vertices. A file with texture coordinates puts them in the map
// kTextureUvMap. Throws HostError naming the file and the problem.
Mesh loadObj(const std::string& path);

// How a surface looks where no texture or shader changes it: the values of
// its channels, with LightWave's defaults for a new surface, and its colour
// texture. Fractions are 0 … 1 (1 = 100 %).
struct Surface {
    std::string name;
    std::array<double, 3> colour{0.8, 0.8, 0.8};
    double luminosity = 0, diffuse = 1.0, specularity = 0, glossiness = 0.4, reflection = 0, transparency = 0,
           refractionIndex = 1.0, translucency = 0, colourHighlights = 0, colourFilter = 0,
           additiveTransparency = 0, diffuseSharpness = 0, bump = 1.0;
    LWTextureID colourTexture = nullptr;  // a texture of the scene, or none
};

class Geometry {
public:
    // Told of an object's surface after it changed: with the surface's
    // name when the object got one or its surface was set again, with null
    // when the surface went. Called with no lock of the table held.
    using SurfaceObserver = std::function<void(LWItemID object, const std::string* name)>;
    void observeSurfaces(SurfaceObserver observer);

    void setMesh(LWItemID object, std::shared_ptr<const Mesh> mesh);
    std::shared_ptr<const Mesh> mesh(LWItemID object) const;
    // Setting an object's surface again keeps it in place: pointers from
    // surface() stay valid until the object's surface is removed.
    void setSurface(LWItemID object, Surface surface);
    const Surface* surface(LWItemID object) const;
    std::vector<LWItemID> objects() const;  // objects with a mesh
    void remove(LWItemID object);
    void clear();

private:
    mutable std::mutex mutex_;
    std::map<LWItemID, std::shared_ptr<const Mesh>> meshes_;
    std::map<LWItemID, Surface> surfaces_;
    SurfaceObserver observer_;
};

}  // namespace hostsim
