// Object geometry of the stand-in host's scene: triangle meshes with
// normals and UVs (built-in primitives or OBJ files), and the surface of
// each object.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lwrender.h"
#include "lwtypes.h"

namespace hostsim {

struct Mesh {
    std::vector<std::array<double, 3>> positions;  // object space
    std::vector<std::array<double, 3>> normals;    // per vertex, unit
    std::vector<std::array<double, 2>> uvs;        // per vertex
    std::vector<std::array<uint32_t, 3>> triangles;
    // Name of the texture UV vertex map that holds the uvs; "" when they
    // belong to no named map.
    std::string uvMap;
};

// Primitives centred on the object's origin, with UVs over 0 … 1.
Mesh makePlane(double width, double depth, int divisions = 1);        // in XZ, facing +Y
Mesh makeSphere(double radius, int segments = 64, int rings = 32);   // poles on ±Y
Mesh makeBox(double width, double height, double depth);
Mesh makeCylinder(double radius, double height, int segments = 64);  // axis Y
// Throws HostError naming the file and the problem.
Mesh loadObj(const std::string& path);

// How a surface looks where no texture covers it, and its colour texture.
struct Surface {
    std::string name;
    std::array<double, 3> colour{0.8, 0.8, 0.8};
    double diffuse = 1.0;
    LWTextureID colourTexture = nullptr;  // a texture of the scene, or none
};

class Geometry {
public:
    void setMesh(LWItemID object, std::shared_ptr<const Mesh> mesh);
    std::shared_ptr<const Mesh> mesh(LWItemID object) const;
    void setSurface(LWItemID object, Surface surface);
    const Surface* surface(LWItemID object) const;
    std::vector<LWItemID> objects() const;  // objects with a mesh
    void remove(LWItemID object);
    void clear();

private:
    mutable std::mutex mutex_;
    std::map<LWItemID, std::shared_ptr<const Mesh>> meshes_;
    std::map<LWItemID, Surface> surfaces_;
};

}  // namespace hostsim
