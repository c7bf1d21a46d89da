// "Surface Functions 3": the surfaces of the scene's objects.
//
// Model:
// - An object has at most one surface, the one Geometry::setSurface gave
//   it; its values live in the geometry table. The surface gets its id and
//   its channel group (a root group of the host's own, named after the
//   surface) when the object first gets it; setting the object's surface
//   again keeps both and renames the group with the surface. The group is
//   destroyed when the geometry drops the surface. Ids are never reused.
// - Listed (first, next, byName, byObject) are the surfaces whose object is
//   still in the scene, in the order they were made. A surface whose object
//   left the scene, and any id that is no surface, is answered like null:
//   null names, ids and pointers, 0 values.
// - name is the surface's name, sceneObject the name of its object item.
//   byObject(name) lists the surfaces of the objects of that name,
//   byName(name, objName) the surfaces of that name, of the objects named
//   objName or of every object when objName is null. Both answer a
//   null-terminated array that stays valid while the host runs.
// - getFlt answers the channel's value in the geometry table (three doubles
//   for "BaseColor", one for the others; null for a channel the surface has
//   not); getTex of "BaseColor" the surface's colour texture, of the other
//   channels null. The stand-in's surfaces have no integer channels
//   (getInt answers 0), no envelopes, images or node editors (null).
// - create(objName, surfName) gives the object of that name that has no
//   surface one of that name (with the default values); it answers the
//   object's surface when it already has one of that name, and null when it
//   has one of another name (one surface per object) or no object has the
//   name.
// - setColorVMap records a vertex map name that getColorVMap answers (a
//   null name clears it); the renderer does not use it.
// - Libraries are named lists of surface ids: createLib makes an empty one
//   named "", objectLib one holding the surfaces of the objects of a name,
//   copyLib replaces a library's list by another's. There are no surface
//   files: loadLib answers null and saveLib an error.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "lwrender.h"
#include "lwsurf.h"
#include "lwtypes.h"

namespace hostsim {

class Host;
class Scene;
class Geometry;
class Animation;
struct Surface;

class Surfaces {
public:
    Surfaces(const Scene& scene, Geometry& geometry, Animation& animation);
    ~Surfaces();
    Surfaces(const Surfaces&) = delete;
    Surfaces& operator=(const Surfaces&) = delete;
    // Enters the service into the host's service table.
    void registerWith(Host& host);
    const LWSurfaceFuncs* table() const;

    // The object's surface, or null when it has none.
    LWSurfaceID surfaceOf(LWItemID object) const;
    // The surface's object, or null for an id that is no listed surface.
    LWItemID objectOf(LWSurfaceID surface) const;
    // How surfaces name their object (sceneObject, byObject, byName,
    // create): its file as "Scene Objects 4" lists it, the path of an OBJ
    // file, or a primitive's item name.
    std::string objectName(LWItemID object) const;
    // The surface's values, or null.
    const Surface* surface(LWSurfaceID surface) const;
    LWChanGroupID channelGroup(LWSurfaceID surface) const;
    // The listed surfaces in the order they were made.
    std::vector<LWSurfaceID> list() const;

    // --- what the service functions need ---
    // A lasting copy of a text handed to plug-ins.
    const char* keep(const std::string& text);
    // A lasting null-terminated copy of a list of ids.
    LWSurfaceID* keep(std::vector<LWSurfaceID> ids);
    LWSurfaceID create(const char* objectName, const char* surfaceName);
    const char* colourVMap(LWSurfaceID surface) const;
    void setColourVMap(LWSurfaceID surface, const char* name);
    // Libraries: null or false for an id that is no library.
    LWSurfLibID createLibrary(const std::string& name, std::vector<LWSurfaceID> surfaces);
    bool destroyLibrary(LWSurfLibID library);
    bool copyLibrary(LWSurfLibID to, LWSurfLibID from);
    bool renameLibrary(LWSurfLibID library, const std::string& name);
    const char* libraryName(LWSurfLibID library);
    std::vector<LWSurfaceID> librarySurfaces(LWSurfLibID library) const;

private:
    struct Entry {
        LWItemID object;
        LWChanGroupID group;
        const char* colourVMap = nullptr;  // in texts_
    };
    struct Library {
        std::string name;
        std::vector<LWSurfaceID> surfaces;
    };
    void changed(LWItemID object, const std::string* name);
    // The entry of a listed surface, or null; under the lock.
    const Entry* listed(LWSurfaceID surface) const;
    Entry* listed(LWSurfaceID surface);

    const Scene& scene_;
    Geometry& geometry_;
    Animation& animation_;
    mutable std::mutex mutex_;
    std::map<LWSurfaceID, Entry> entries_;  // ordered by creation
    std::map<LWItemID, LWSurfaceID> byObject_;
    std::map<LWSurfLibID, Library> libraries_;
    uintptr_t serial_ = 0;
    std::set<std::string> texts_;
    std::set<std::vector<LWSurfaceID>> arrays_;
};

}  // namespace hostsim
