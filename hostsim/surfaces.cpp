#include "surfaces.h"

#include <cstring>

#include "animation.h"
#include "geometry.h"
#include "host.h"
#include "scene.h"

namespace hostsim {

namespace {

// Ids are tokens: a kind in the top byte of the low word and a serial.
constexpr uintptr_t kSurfaceKind = uintptr_t{0x53} << 24;
constexpr uintptr_t kLibraryKind = uintptr_t{0x4C} << 24;
constexpr uintptr_t kSerialMask = (uintptr_t{1} << 24) - 1;

Surfaces* surfaces() {
    Host* host = Host::current();
    return host ? &host->surfaces() : nullptr;
}

// The value of a named channel in the surface, or null.
const double* channel(const Surface& s, const char* name) {
    if (!name) return nullptr;
    const std::pair<const char*, const double*> channels[] = {
        {SURF_COLR, s.colour.data()},        {SURF_LUMI, &s.luminosity},       {SURF_DIFF, &s.diffuse},
        {SURF_SPEC, &s.specularity},         {SURF_REFL, &s.reflection},       {SURF_TRAN, &s.transparency},
        {SURF_TRNL, &s.translucency},        {SURF_RIND, &s.refractionIndex},  {SURF_BUMP, &s.bump},
        {SURF_GLOS, &s.glossiness},          {SURF_SHRP, &s.diffuseSharpness}, {SURF_CLRF, &s.colourFilter},
        {SURF_CLRH, &s.colourHighlights},    {SURF_ADTR, &s.additiveTransparency},
    };
    for (const auto& [n, value] : channels)
        if (std::strcmp(n, name) == 0) return value;
    return nullptr;
}

LWSurfaceID create(const char* objName, const char* surfName) {
    try {
        return surfaces() ? surfaces()->create(objName, surfName) : nullptr;
    } catch (...) {
        return nullptr;  // no exception crosses the host boundary
    }
}
LWSurfaceID first() {
    if (!surfaces()) return nullptr;
    const auto all = surfaces()->list();
    return all.empty() ? nullptr : all.front();
}
LWSurfaceID next(LWSurfaceID surf) {
    if (!surfaces() || !surf) return nullptr;
    const auto all = surfaces()->list();
    for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] == surf) return all[i + 1];
    return nullptr;
}
// The listed surfaces that pass the test, as a lasting array.
template <typename Test>
LWSurfaceID* select(const Test& test) {
    Surfaces* s = surfaces();
    if (!s) return nullptr;
    std::vector<LWSurfaceID> found;
    for (const LWSurfaceID id : s->list()) {
        const Surface* surface = s->surface(id);
        const std::string objectName = s->objectName(s->objectOf(id));
        if (surface && !objectName.empty() && test(*surface, objectName)) found.push_back(id);
    }
    return s->keep(std::move(found));
}
LWSurfaceID* byName(const char* name, const char* objName) {
    if (!name) return select([](const Surface&, const std::string&) { return false; });
    return select([&](const Surface& s, const std::string& object) {
        return s.name == name && (!objName || object == objName);
    });
}
LWSurfaceID* byObject(const char* name) {
    return select([&](const Surface&, const std::string& object) { return name && object == name; });
}
const char* name(LWSurfaceID surf) {
    const Surface* s = surfaces() ? surfaces()->surface(surf) : nullptr;
    return s ? surfaces()->keep(s->name) : nullptr;
}
const char* sceneObject(LWSurfaceID surf) {
    if (!surfaces()) return nullptr;
    const LWItemID object = surfaces()->objectOf(surf);
    return object ? surfaces()->keep(surfaces()->objectName(object)) : nullptr;
}
int getInt(LWSurfaceID, const char*) { return 0; }
double* getFlt(LWSurfaceID surf, const char* name) {
    const Surface* s = surfaces() ? surfaces()->surface(surf) : nullptr;
    // The values belong to the host, as in LightWave.
    return s ? const_cast<double*>(channel(*s, name)) : nullptr;
}
LWEnvelopeID getEnv(LWSurfaceID, const char*) { return nullptr; }
LWTextureID getTex(LWSurfaceID surf, const char* name) {
    const Surface* s = surfaces() ? surfaces()->surface(surf) : nullptr;
    return s && name && std::strcmp(name, SURF_COLR) == 0 ? s->colourTexture : nullptr;
}
LWImageID getImg(LWSurfaceID, const char*) { return nullptr; }
LWChanGroupID chanGrp(LWSurfaceID surf) { return surfaces() ? surfaces()->channelGroup(surf) : nullptr; }
const char* getColorVMap(LWSurfaceID surf) { return surfaces() ? surfaces()->colourVMap(surf) : nullptr; }
void setColorVMap(LWSurfaceID surf, const char* vmapName, int) {
    if (surfaces()) surfaces()->setColourVMap(surf, vmapName);
}
LWSurfLibID createLib() { return surfaces() ? surfaces()->createLibrary("", {}) : nullptr; }
void destroyLib(LWSurfLibID lib) {
    if (surfaces()) surfaces()->destroyLibrary(lib);
}
void copyLib(LWSurfLibID to, LWSurfLibID from) {
    if (surfaces()) surfaces()->copyLibrary(to, from);
}
LWSurfLibID objectLib(const char* objName) {
    if (!surfaces() || !objName) return nullptr;
    LWSurfaceID* ids = byObject(objName);
    std::vector<LWSurfaceID> list;
    for (; *ids; ++ids) list.push_back(*ids);
    return surfaces()->createLibrary(objName, std::move(list));
}
LWSurfLibID loadLib(const char*) { return nullptr; }
LWError saveLib(LWSurfLibID, const char*) { return "This host cannot write surface files"; }
int renameLib(LWSurfLibID lib, const char* name) {
    return surfaces() && name && surfaces()->renameLibrary(lib, name) ? 1 : 0;
}
const char* nameLib(LWSurfLibID lib) { return surfaces() ? surfaces()->libraryName(lib) : nullptr; }
int slibCount(LWSurfLibID lib) {
    return surfaces() ? static_cast<int>(surfaces()->librarySurfaces(lib).size()) : 0;
}
LWSurfaceID slibByIndex(LWSurfLibID lib, int index) {
    if (!surfaces() || index < 0) return nullptr;
    const auto list = surfaces()->librarySurfaces(lib);
    return static_cast<size_t>(index) < list.size() ? list[static_cast<size_t>(index)] : nullptr;
}
NodeEditorID getNodeEditor(LWSurfaceID) { return nullptr; }

const LWSurfaceFuncs kSurfaceFuncs{create,     first,       next,      byName,       byObject,    name,
                                   sceneObject, getInt,     getFlt,    getEnv,       getTex,      getImg,
                                   chanGrp,    getColorVMap, setColorVMap, createLib, destroyLib, copyLib,
                                   objectLib,  loadLib,     saveLib,   renameLib,    nameLib,     slibCount,
                                   slibByIndex, getNodeEditor};

}  // namespace

Surfaces::Surfaces(const Scene& scene, Geometry& geometry, Animation& animation)
    : scene_(scene), geometry_(geometry), animation_(animation) {
    geometry_.observeSurfaces([this](LWItemID object, const std::string* name) { changed(object, name); });
}

Surfaces::~Surfaces() { geometry_.observeSurfaces({}); }

void Surfaces::registerWith(Host& host) {
    host.registerService(LWSURFACEFUNCS_GLOBAL, const_cast<LWSurfaceFuncs*>(&kSurfaceFuncs));
}

const LWSurfaceFuncs* Surfaces::table() const { return &kSurfaceFuncs; }

void Surfaces::changed(LWItemID object, const std::string* name) {
    // The channel group's changes reach plug-in code (channel events), so
    // they are made with no lock of this table held.
    LWChanGroupID group = nullptr;
    {
        std::lock_guard lock(mutex_);
        const auto it = byObject_.find(object);
        if (it != byObject_.end()) {
            group = entries_.at(it->second).group;
            if (!name) {
                entries_.erase(it->second);
                byObject_.erase(it);
            }
        } else if (!name) {
            return;
        }
    }
    if (group) {
        if (name)
            animation_.renameGroup(group, *name);
        else
            animation_.destroyGroup(group);
        return;
    }
    group = animation_.createHostGroup(*name);
    std::unique_lock lock(mutex_);
    if (byObject_.count(object) || serial_ >= kSerialMask) {
        // Another thread gave the object its surface meanwhile (or no id
        // is left): this group is not needed.
        const bool exhausted = !byObject_.count(object);
        lock.unlock();
        animation_.destroyGroup(group);
        if (exhausted) throw HostError("the host has run out of surface ids");
        return;
    }
    const auto id = reinterpret_cast<LWSurfaceID>(kSurfaceKind | ++serial_);
    entries_[id] = {object, group, nullptr};
    byObject_[object] = id;
}

const Surfaces::Entry* Surfaces::listed(LWSurfaceID surface) const {
    const auto it = entries_.find(surface);
    if (it == entries_.end() || !scene_.contains(it->second.object)) return nullptr;
    return &it->second;
}

Surfaces::Entry* Surfaces::listed(LWSurfaceID surface) {
    return const_cast<Entry*>(static_cast<const Surfaces*>(this)->listed(surface));
}

LWSurfaceID Surfaces::surfaceOf(LWItemID object) const {
    std::lock_guard lock(mutex_);
    const auto it = byObject_.find(object);
    return it != byObject_.end() && listed(it->second) ? it->second : nullptr;
}

LWItemID Surfaces::objectOf(LWSurfaceID surface) const {
    std::lock_guard lock(mutex_);
    const Entry* e = listed(surface);
    return e ? e->object : nullptr;
}

const Surface* Surfaces::surface(LWSurfaceID surface) const {
    const LWItemID object = objectOf(surface);
    return object ? geometry_.surface(object) : nullptr;
}

LWChanGroupID Surfaces::channelGroup(LWSurfaceID surface) const {
    std::lock_guard lock(mutex_);
    const Entry* e = listed(surface);
    return e ? e->group : nullptr;
}

std::vector<LWSurfaceID> Surfaces::list() const {
    std::lock_guard lock(mutex_);
    std::vector<LWSurfaceID> out;
    for (const auto& [id, entry] : entries_)
        if (scene_.contains(entry.object)) out.push_back(id);
    return out;
}

const char* Surfaces::keep(const std::string& text) {
    std::lock_guard lock(mutex_);
    return texts_.insert(text).first->c_str();
}

LWSurfaceID* Surfaces::keep(std::vector<LWSurfaceID> ids) {
    ids.push_back(nullptr);
    std::lock_guard lock(mutex_);
    // The set's elements never change or move, so their storage lasts.
    return const_cast<LWSurfaceID*>(arrays_.insert(std::move(ids)).first->data());
}

LWSurfaceID Surfaces::create(const char* objectName, const char* surfaceName) {
    if (!objectName || !surfaceName) return nullptr;
    for (const LWItemID object : scene_.items(LWI_OBJECT)) {
        if (this->objectName(object) != objectName) continue;
        if (const Surface* existing = geometry_.surface(object))
            return existing->name == surfaceName ? surfaceOf(object) : nullptr;
        Surface surface;
        surface.name = surfaceName;
        geometry_.setSurface(object, surface);
        return surfaceOf(object);
    }
    return nullptr;
}

std::string Surfaces::objectName(LWItemID object) const {
    const auto mesh = geometry_.mesh(object);
    if (mesh && !mesh->file.empty()) return mesh->file;
    const char* name = scene_.name(object);
    return name ? name : "";
}

const char* Surfaces::colourVMap(LWSurfaceID surface) const {
    std::lock_guard lock(mutex_);
    const Entry* e = listed(surface);
    return e ? e->colourVMap : nullptr;
}

void Surfaces::setColourVMap(LWSurfaceID surface, const char* name) {
    std::lock_guard lock(mutex_);
    if (Entry* e = listed(surface)) e->colourVMap = name ? texts_.insert(name).first->c_str() : nullptr;
}

LWSurfLibID Surfaces::createLibrary(const std::string& name, std::vector<LWSurfaceID> surfaces) {
    std::lock_guard lock(mutex_);
    if (serial_ >= kSerialMask) throw HostError("the host has run out of surface ids");
    const auto id = reinterpret_cast<LWSurfLibID>(kLibraryKind | ++serial_);
    libraries_[id] = {name, std::move(surfaces)};
    return id;
}

bool Surfaces::destroyLibrary(LWSurfLibID library) {
    std::lock_guard lock(mutex_);
    return libraries_.erase(library) > 0;
}

bool Surfaces::copyLibrary(LWSurfLibID to, LWSurfLibID from) {
    std::lock_guard lock(mutex_);
    const auto t = libraries_.find(to), f = libraries_.find(from);
    if (t == libraries_.end() || f == libraries_.end()) return false;
    t->second.surfaces = f->second.surfaces;
    return true;
}

bool Surfaces::renameLibrary(LWSurfLibID library, const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto it = libraries_.find(library);
    if (it == libraries_.end()) return false;
    it->second.name = name;
    return true;
}

const char* Surfaces::libraryName(LWSurfLibID library) {
    std::lock_guard lock(mutex_);
    const auto it = libraries_.find(library);
    return it == libraries_.end() ? nullptr : texts_.insert(it->second.name).first->c_str();
}

std::vector<LWSurfaceID> Surfaces::librarySurfaces(LWSurfLibID library) const {
    std::lock_guard lock(mutex_);
    const auto it = libraries_.find(library);
    return it == libraries_.end() ? std::vector<LWSurfaceID>{} : it->second.surfaces;
}

}  // namespace hostsim
