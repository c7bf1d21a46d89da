// "Scene Objects 4": the scene's objects as the host's object database
// lists them.
//
// Model:
// - Object number i is the scene's i-th object item (in the order they were
//   added) that has a mesh; object items without one (nulls) are not
//   listed. Numbers outside 0 … numObjects() - 1 are answered with null
//   names, 0 counts and no mesh.
// - filename is the OBJ file the mesh was loaded from, or, for a built-in
//   primitive, which has no file, the object's name. userName is the item's
//   name; refName a name that is unique and never changes: the item id as
//   eight hexadecimal digits, as scene files refer to items.
// - Each object has one layer, number 0: maxLayers 1, layerExists 1 for
//   layer 0 only, layerName "", layerVis 1, pivotPoint the origin.
//   layerMesh hands out a new mesh of the object for every call (see
//   meshes.h), which the caller destroys; its polygons carry the name of
//   the object's surface ("Default" for an object without one).
// - Vertex maps are the named UV maps of the meshes (Mesh::uvMap, type
//   LWVMAP_TXUV, dimension 2), listed in object order, each name once.
// - Names answered stay valid while the host runs.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "lwmeshes.h"
#include "lwrender.h"

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
    // Object number index, or null.
    LWItemID object(int index) const;
    // What filename answers for an object item: "" for an item without a mesh.
    std::string fileName(LWItemID object) const;
    // A new mesh of an object item, or null for one without a mesh.
    LWMeshInfo* meshInfo(LWItemID object) const;
    // The maps of a type, or of every type for 0, in the order listed.
    std::vector<VertexMap> vertexMaps(LWID type) const;
    // A lasting copy of a name handed to plug-ins: valid while the host
    // runs, whatever the scene does meanwhile.
    const char* keep(const std::string& name);

private:
    // The object items with a mesh, in scene order.
    std::vector<LWItemID> listed() const;
    const Scene& scene_;
    const Geometry& geometry_;
    std::mutex mutex_;
    std::set<std::string> names_;
};

}  // namespace hostsim
