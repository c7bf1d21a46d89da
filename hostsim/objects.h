// "Scene Objects 4": the scene's objects as the host's object database
// lists them.
//
// The objects are the scene's object items, numbered in the order they
// were added. Their vertex maps are the named UV maps of their meshes
// (Mesh::uvMap, type LWVMAP_TXUV, dimension 2), listed in object order,
// each type and name once. Object files, layers and layer meshes are not
// modelled yet, so the service answers for every object as for one without
// them: no file, user or reference name (null), maxLayers 0, no layer
// exists, pivotPoint the origin, layerMesh and layerName null, layerVis 0.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "lwmeshes.h"

namespace hostsim {

class Host;
class Scene;
class Geometry;

class SceneObjects {
public:
    SceneObjects(const Scene& scene, const Geometry& geometry);
    SceneObjects(const SceneObjects&) = delete;
    SceneObjects& operator=(const SceneObjects&) = delete;
    // Enters the service into the host's service table.
    void registerWith(Host& host);
    const LWObjectFuncs* table() const;

    struct VertexMap {
        LWID type;
        std::string name;
        int dimension;
    };
    int numObjects() const;
    // The maps of a type, or of every type for 0, in the order listed.
    std::vector<VertexMap> vertexMaps(LWID type) const;
    // A lasting copy of a name handed to plug-ins: valid while the host
    // runs, whatever the scene does meanwhile.
    const char* keep(const std::string& name);

private:
    const Scene& scene_;
    const Geometry& geometry_;
    std::mutex mutex_;
    std::set<std::string> names_;
};

}  // namespace hostsim
