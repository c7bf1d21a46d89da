#include "scene.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>
#include <utility>

#include "animation.h"
#include "host.h"
#include "instances.h"
#include "lwcommand.h"
#include "lwgeneric.h"

namespace hostsim {

namespace {

// Ids are tokens: a kind in the top bits, a serial below, so that the
// ordered maps list each kind in creation order and no id is ever reused.
constexpr int kKindShift = 28;
constexpr uintptr_t kSerialMask = (uintptr_t{1} << kKindShift) - 1;

uintptr_t token(uintptr_t kind, uintptr_t serial) { return (kind << kKindShift) | (serial & kSerialMask); }

template <typename Id>
Id makeId(uintptr_t kind, uintptr_t serial) {
    return reinterpret_cast<Id>(token(kind, serial));
}

bool finite(const Vec3& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

Vec3 lerp(const Vec3& a, const Vec3& b, double f) {
    return {a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, a[2] + (b[2] - a[2]) * f};
}
double lerp(double a, double b, double f) { return a + (b - a) * f; }

// Rows: the +X, +Y, +Z axes of an item turned by heading, pitch and bank.
using Mat3 = std::array<Vec3, 3>;
Mat3 rotation(const Vec3& hpb) {
    const double sh = std::sin(hpb[0]), ch = std::cos(hpb[0]);
    const double sp = std::sin(hpb[1]), cp = std::cos(hpb[1]);
    const double sb = std::sin(hpb[2]), cb = std::cos(hpb[2]);
    return {{{ch * cb + sh * sp * sb, cp * sb, -sh * cb + ch * sp * sb},
             {-ch * sb + sh * sp * cb, cp * cb, sh * sb + ch * sp * cb},
             {sh * cp, -sp, ch * cp}}};
}

// Row vector times matrix.
Vec3 times(const Vec3& v, const Mat3& m) {
    Vec3 out{};
    for (int j = 0; j < 3; ++j) out[j] = v[0] * m[0][j] + v[1] * m[1][j] + v[2] * m[2][j];
    return out;
}

Scene* current() {
    Host* host = Host::current();
    return host ? &host->scene() : nullptr;
}

void write(double* out, const Vec3& v) {
    if (!out) return;
    out[0] = v[0];
    out[1] = v[1];
    out[2] = v[2];
}

// ---------------------------------------------------------------- C tables

LWItemID itemFirst(LWItemType type, LWItemID boneObject) {
    Scene* s = current();
    if (!s) return nullptr;
    const auto list = s->items(type, boneObject);
    return list.empty() ? nullptr : list.front();
}

// The item after one in a list, or null.
LWItemID after(const std::vector<LWItemID>& list, LWItemID item) {
    for (size_t i = 0; i + 1 < list.size(); ++i)
        if (list[i] == item) return list[i + 1];
    return nullptr;
}

LWItemID itemNext(LWItemID item) {
    Scene* s = current();
    return s ? s->nextItem(item) : nullptr;
}
LWItemID itemFirstChild(LWItemID parent) {
    Scene* s = current();
    if (!s) return nullptr;
    const auto list = s->children(parent);
    return list.empty() ? nullptr : list.front();
}
LWItemID itemNextChild(LWItemID parent, LWItemID prev) {
    Scene* s = current();
    return s ? after(s->children(parent), prev) : nullptr;
}
LWItemID itemParent(LWItemID item) {
    Scene* s = current();
    return s ? s->parent(item) : nullptr;
}
LWItemID itemTarget(LWItemID item) {
    Scene* s = current();
    return s ? s->target(item) : nullptr;
}
LWItemID itemGoal(LWItemID item) {
    Scene* s = current();
    return s ? s->goal(item) : nullptr;
}
LWItemType itemType(LWItemID item) {
    Scene* s = current();
    return s ? s->type(item) : -1;
}
const char* itemName(LWItemID item) {
    Scene* s = current();
    return s ? s->name(item) : nullptr;
}

void itemParam(LWItemID item, LWItemParam param, LWTime time, LWDVector vector) {
    Scene* s = current();
    write(vector, s ? s->param(item, param, time) : Vec3{0, 0, 0});
}

unsigned int itemLimits(LWItemID, LWItemParam, LWDVector, LWDVector) { return 0; }

const char* itemGetTag(LWItemID item, int tagNum) {
    Scene* s = current();
    return s ? s->tag(item, tagNum) : nullptr;
}
void itemSetTag(LWItemID item, int tagNum, const char* text) {
    if (Scene* s = current()) s->setTag(item, tagNum, text);
}
LWChanGroupID itemChanGroup(LWItemID item) {
    Scene* s = current();
    return s ? s->channelGroup(item) : nullptr;
}

// The scene applies no plug-in servers to items.
const char* itemServer(LWItemID, const char*, int) { return nullptr; }
unsigned int itemServerFlags(LWItemID, const char*, int) { return 0; }

// Motion is keyframed only, whatever the item and parameter.
void itemController(LWItemID, LWItemParam, int type[3]) {
    if (!type) return;
    type[0] = type[1] = type[2] = LWMOTCTL_KEYFRAMES;
}

unsigned int itemFlags(LWItemID item) {
    Scene* s = current();
    return s ? s->flags(item) : 0;
}
LWTime itemLookAhead(LWItemID item) {
    Scene* s = current();
    return s && s->contains(item) ? s->motionOptions(item).lookAhead : 0.0;
}
double itemGoalStrength(LWItemID item) {
    Scene* s = current();
    return s && s->contains(item) ? s->motionOptions(item).goalStrength : 0.0;
}
void itemStiffness(LWItemID item, LWItemParam param, LWDVector vector) {
    Scene* s = current();
    Vec3 v{0, 0, 0};
    if (s && s->contains(item)) {
        const MotionOptions o = s->motionOptions(item);
        if (param == LWIP_POSITION) v = o.positionStiffness;
        else if (param == LWIP_ROTATION) v = o.rotationStiffness;
    }
    write(vector, v);
}

LWItemID sceneRenderCamera(LWTime time) {
    Scene* s = current();
    return s ? s->renderCamera(time) : nullptr;
}

double cameraZoom(LWItemID camera, LWTime time) {
    Scene* s = current();
    return s ? s->zoomFactor(camera, time) : 0.0;
}

void cameraFov(LWItemID camera, LWTime time, double* horizontal, double* vertical) {
    Scene* s = current();
    const auto fov = s ? s->fovAngles(camera, time) : std::array<double, 2>{0, 0};
    if (horizontal) *horizontal = fov[0];
    if (vertical) *vertical = fov[1];
}

double cameraFocalLength(LWItemID camera, LWTime time) {
    Scene* s = current();
    return s ? s->focalLength(camera, time) : 0.0;
}
double cameraFocalDistance(LWItemID camera, LWTime time) {
    Scene* s = current();
    return s ? s->focalDistance(camera, time) : 0.0;
}
double cameraFStop(LWItemID camera, LWTime time) {
    Scene* s = current();
    return s ? s->fStop(camera, time) : 0.0;
}
double cameraBlurLength(LWItemID camera, LWTime time) {
    Scene* s = current();
    return s ? s->blurLength(camera, time) : 0.0;
}

// The values every camera shares with the scene, or none for a non-camera.
bool cameraFrame(LWItemID camera, SceneSettings& out) {
    Scene* s = current();
    if (!s || s->type(camera) != LWI_CAMERA) return false;
    out = s->settings();
    return true;
}

unsigned int cameraFlags(LWItemID camera) {
    Scene* s = current();
    return s ? s->cameraFlags(camera) : 0;
}

void cameraResolution(LWItemID camera, int* width, int* height) {
    SceneSettings frame;
    const bool known = cameraFrame(camera, frame);
    if (width) *width = known ? frame.frameWidth : 0;
    if (height) *height = known ? frame.frameHeight : 0;
}

double cameraPixelAspect(LWItemID camera, LWTime) {
    SceneSettings frame;
    return cameraFrame(camera, frame) ? frame.pixelAspect : 0.0;
}

double cameraSeparation(LWItemID camera, LWTime) {
    Scene* s = current();
    return s && s->type(camera) == LWI_CAMERA ? s->view(camera).eyeSeparation : 0.0;
}

void writeRect(const std::array<int, 4>& r, int* x0, int* y0, int* x1, int* y1) {
    if (x0) *x0 = r[0];
    if (y0) *y0 = r[1];
    if (x1) *x1 = r[2];
    if (y1) *y1 = r[3];
}

void cameraRegionLimits(LWItemID camera, int* x0, int* y0, int* x1, int* y1) {
    SceneSettings frame;
    writeRect(cameraFrame(camera, frame) ? frame.limitedRegion : std::array<int, 4>{0, 0, 0, 0}, x0, y0, x1, y1);
}

void cameraMaskLimits(LWItemID camera, int* x0, int* y0, int* x1, int* y1) {
    Scene* s = current();
    const bool known = s && s->type(camera) == LWI_CAMERA;
    writeRect(known ? s->view(camera).maskRegion : std::array<int, 4>{0, 0, 0, 0}, x0, y0, x1, y1);
}

void cameraMaskColor(LWItemID camera, LWDVector color) {
    Scene* s = current();
    write(color, s && s->type(camera) == LWI_CAMERA ? s->view(camera).maskColor : Vec3{0, 0, 0});
}

void instUpdate(const char* className, void* instance) {
    if (Scene* s = current()) s->instanceUpdate(className, instance);
}

int commandFunc(const char* command) {
    Scene* s = current();
    return s ? s->runCommand(command) : 0;
}

// data is the scene that ran the generic; it is checked against the
// current host so that a stale record cannot reach a dead scene.
Scene* genericScene(void* data) {
    Scene* s = current();
    return s && s == data ? s : nullptr;
}

int genericEvaluate(void* data, const char* command) {
    Scene* s = genericScene(data);
    return s ? s->runCommand(command) : 0;
}

LWCommandCode genericLookup(void* data, const char* name) {
    Scene* s = genericScene(data);
    return s && name ? Scene::commandCode(name) : 0;
}

// Typed arguments are not modelled: every typed run is refused.
int genericExecute(void*, LWCommandCode, int, const DynaValue*, DynaValue*) { return 0; }

const char* genericArgumentText(void* data) {
    Scene* s = genericScene(data);
    return s ? s->genericArguments() : "";
}

int genericParsedArguments(void*, DynaValue** argv) {
    if (argv) *argv = nullptr;
    return 0;
}

// Scene files belong to the application that drives this host, not to the
// host itself: both requests fail.
int genericSaveScene(const char*) { return 0; }
int genericLoadScene(const char*, const char*) { return 0; }

const LWItemInfo kItemInfo = {itemFirst,      itemNext,        itemFirstChild,  itemNextChild, itemParent,
                              itemTarget,     itemGoal,        itemType,        itemName,      itemParam,
                              itemLimits,     itemGetTag,      itemSetTag,      itemChanGroup, itemServer,
                              itemServerFlags, itemController, itemFlags,       itemLookAhead, itemGoalStrength,
                              itemStiffness};

const LWCameraInfo kCameraInfo = {cameraZoom,        cameraFocalLength,  cameraFocalDistance, cameraFStop,
                                  cameraBlurLength,  cameraFov,          cameraFlags,         cameraResolution,
                                  cameraPixelAspect, cameraSeparation,   cameraRegionLimits,  cameraMaskLimits,
                                  cameraMaskColor};

}  // namespace

// ---------------------------------------------------------------- Track

template <typename T>
T Scene::Track<T>::at(double time) const {
    if (keys.empty()) return value;
    auto hi = keys.lower_bound(time);
    if (hi == keys.begin()) return hi->second;
    if (hi == keys.end()) return std::prev(hi)->second;
    auto lo = std::prev(hi);
    return lerp(lo->second, hi->second, (time - lo->first) / (hi->first - lo->first));
}

// ---------------------------------------------------------------- Scene

Scene::Scene() {
    applySettings(settings_);
    info_.renderCamera = sceneRenderCamera;
}

Scene::~Scene() = default;

void Scene::registerWith(Host& host) {
    host_ = &host;
    host.registerService(LWITEMINFO_GLOBAL, const_cast<LWItemInfo*>(&kItemInfo));
    host.registerService(LWSCENEINFO_GLOBAL, &info_);
    host.registerService(LWCAMERAINFO_GLOBAL, const_cast<LWCameraInfo*>(&kCameraInfo));
    // These two services are functions rather than tables.
    host.registerService(LWINSTUPDATE_GLOBAL, reinterpret_cast<void*>(instUpdate));
    host.registerService(LWCOMMANDFUNC_GLOBAL, reinterpret_cast<void*>(commandFunc));
}

// ---------------------------------------------------------------- items

const Scene::Item* Scene::find(LWItemID id) const {
    auto it = items_.find(id);
    return it == items_.end() ? nullptr : &it->second;
}

Scene::Item& Scene::item(LWItemID id) {
    auto it = items_.find(id);
    if (it == items_.end()) throw HostError("the scene has no such item");
    return it->second;
}

Scene::Item& Scene::camera(LWItemID id) {
    Item& c = item(id);
    if (c.type != LWI_CAMERA) throw HostError("item \"" + c.name + "\" is not a camera");
    return c;
}

// The item's channel group is made first, unlocked, and dropped again when
// the scene refuses the item.
LWItemID Scene::add(int type, const std::string& name, LWItemID parent) {
    LWChanGroupID group = host_ ? host_->animation().createHostGroup(name) : nullptr;
    LWItemID id = nullptr;
    try {
        id = addLocked(type, name, parent, group);
    } catch (...) {
        if (group) host_->animation().destroyGroup(group);
        throw;
    }
    if (group) addMotionChannels(id, group);
    return id;
}

void Scene::addMotionChannels(LWItemID id, LWChanGroupID group) {
    struct Spec {
        const char* name;
        int type;
    };
    static const Spec kSpecs[3] = {{"Position", LWET_DISTANCE}, {"Rotation", LWET_ANGLE}, {"Scale", LWET_PERCENT}};
    static const char* const kXyz[3] = {"X", "Y", "Z"};
    static const char* const kHpb[3] = {"H", "P", "B"};
    for (int m = 0; m < 3; ++m)
        for (int c = 0; c < 3; ++c) {
            const std::string name = std::string(kSpecs[m].name) + "." + (m == 1 ? kHpb : kXyz)[c];
            const auto motion = static_cast<Motion>(m);
            // The scene is found through the host each time, so a channel
            // that outlives it answers 0.
            host_->animation().addChannel(group, name, kSpecs[m].type, [id, motion, c](double time) {
                Scene* s = current();
                return s ? s->motionComponent(id, motion, c, time) : 0.0;
            });
        }
}

void Scene::motionChanged(LWItemID id) {
    if (!host_) return;
    const LWChanGroupID group = channelGroup(id);
    if (group) host_->animation().valueChanged(group);
}

LWItemID Scene::addLocked(int type, const std::string& name, LWItemID parent, LWChanGroupID group) {
    std::unique_lock lock(mutex_);
    LWItemID boneObject = nullptr;
    if (parent) {
        const Item& p = item(parent);
        if (type == LWI_BONE) {
            if (p.type == LWI_OBJECT) boneObject = parent;
            else if (p.type == LWI_BONE) boneObject = p.boneObject;
            else throw HostError("a bone's parent must be an object or a bone");
        }
    } else if (type == LWI_BONE) {
        throw HostError("a bone needs an object or a bone as its parent");
    }
    if (serial_ >= kSerialMask) throw HostError("the scene has run out of ids");
    const auto id = makeId<LWItemID>(static_cast<uintptr_t>(type) + 1, ++serial_);
    Item& it = items_[id];
    it.type = type;
    it.name = name;
    it.parent = parent;
    it.boneObject = boneObject;
    it.motion[static_cast<int>(Motion::Scaling)].value = {1, 1, 1};
    it.zoom.value = 3.2;
    it.group = group;
    if (parent) items_[parent].children.push_back(id);
    return id;
}

LWItemID Scene::addObject(const std::string& name, LWItemID parent) { return add(LWI_OBJECT, name, parent); }
LWItemID Scene::addLight(const std::string& name, LWItemID parent) { return add(LWI_LIGHT, name, parent); }
LWItemID Scene::addCamera(const std::string& name, LWItemID parent) { return add(LWI_CAMERA, name, parent); }
LWItemID Scene::addBone(const std::string& name, LWItemID parent) { return add(LWI_BONE, name, parent); }

void Scene::detach(LWItemID child) {
    Item& c = items_.at(child);
    if (!c.parent) return;
    auto& siblings = items_.at(c.parent).children;
    std::erase(siblings, child);
    c.parent = nullptr;
}

bool Scene::isAncestor(LWItemID ancestor, LWItemID id) const {
    for (const Item* i = find(id); i && i->parent; i = find(i->parent))
        if (i->parent == ancestor) return true;
    return false;
}

void Scene::removeItem(LWItemID id) {
    const auto removed = removeItemLocked(id);
    // The channel groups and instances learn that the items are gone once
    // the scene is consistent again; their code may ask the scene about
    // other items.
    if (!host_) return;
    std::vector<IdChange> changes;
    for (const auto& [gone, group] : removed) {
        if (group) host_->animation().destroyGroup(group);
        changes.emplace_back(gone, nullptr);
    }
    host_->instances().changeIds(changes);
}

std::vector<std::pair<LWItemID, LWChanGroupID>> Scene::removeItemLocked(LWItemID id) {
    std::unique_lock lock(mutex_);
    const Item& victim = item(id);
    std::vector<LWItemID> doomed{id};
    if (victim.type == LWI_OBJECT)
        for (const auto& [other, it] : items_)
            if (it.type == LWI_BONE && it.boneObject == id) doomed.push_back(other);
    auto isDoomed = [&](LWItemID x) { return std::find(doomed.begin(), doomed.end(), x) != doomed.end(); };

    for (LWItemID d : doomed) {
        const auto children = items_.at(d).children;
        for (LWItemID child : children) {
            if (isDoomed(child)) continue;
            LWItemID heir = items_.at(d).parent;
            while (heir && isDoomed(heir)) heir = items_.at(heir).parent;
            detach(child);
            items_.at(child).parent = heir;
            if (heir) items_.at(heir).children.push_back(child);
        }
    }
    for (LWItemID d : doomed) detach(d);
    std::vector<std::pair<LWItemID, LWChanGroupID>> removed;
    for (LWItemID d : doomed) removed.emplace_back(d, items_.at(d).group);
    for (LWItemID d : doomed) items_.erase(d);
    for (auto& [other, it] : items_) {
        if (isDoomed(it.target)) it.target = nullptr;
        if (isDoomed(it.goal)) it.goal = nullptr;
    }
    if (isDoomed(renderCamera_)) renderCamera_ = nullptr;
    return removed;
}

void Scene::rename(LWItemID id, const std::string& name) {
    std::string old;
    LWChanGroupID group = nullptr;
    {
        std::unique_lock lock(mutex_);
        Item& it = item(id);
        if (it.name == name) return;
        old = std::exchange(it.name, name);
        group = it.group;
    }
    // Told once the scene holds the new name; their code may ask for it.
    if (!host_) return;
    if (group) host_->animation().renameGroup(group, name);
    host_->instances().changeName(id, old, name);
}

void Scene::setParent(LWItemID id, LWItemID parent) {
    std::unique_lock lock(mutex_);
    Item& it = item(id);
    if (parent) {
        const Item& p = item(parent);
        if (parent == id || isAncestor(id, parent)) throw HostError("an item cannot be parented to itself or its descendants");
        if (it.type == LWI_BONE && parent != it.boneObject && !(p.type == LWI_BONE && p.boneObject == it.boneObject))
            throw HostError("a bone stays in its object");
    } else if (it.type == LWI_BONE) {
        throw HostError("a bone stays in its object");
    }
    detach(id);
    it.parent = parent;
    if (parent) items_.at(parent).children.push_back(id);
}

void Scene::setTarget(LWItemID id, LWItemID target) {
    std::unique_lock lock(mutex_);
    Item& it = item(id);
    if (target) item(target);
    it.target = target;
}

void Scene::setGoal(LWItemID id, LWItemID goal) {
    std::unique_lock lock(mutex_);
    Item& it = item(id);
    if (goal) item(goal);
    it.goal = goal;
}

bool Scene::contains(LWItemID id) const {
    std::shared_lock lock(mutex_);
    return find(id) != nullptr;
}

std::vector<LWItemID> Scene::items(int type, LWItemID boneObject) const {
    std::shared_lock lock(mutex_);
    std::vector<LWItemID> out;
    if (type < LWI_OBJECT || type > LWI_BONE) return out;
    if (type == LWI_BONE && !boneObject) return out;
    const auto begin = items_.lower_bound(makeId<LWItemID>(static_cast<uintptr_t>(type) + 1, 0));
    for (auto it = begin; it != items_.end() && it->second.type == type; ++it)
        if (type != LWI_BONE || it->second.boneObject == boneObject) out.push_back(it->first);
    return out;
}

LWItemID Scene::nextItem(LWItemID id) const {
    std::shared_lock lock(mutex_);
    auto it = items_.find(id);
    if (it == items_.end()) return nullptr;
    const Item& from = it->second;
    for (++it; it != items_.end() && it->second.type == from.type; ++it)
        if (from.type != LWI_BONE || it->second.boneObject == from.boneObject) return it->first;
    return nullptr;
}

std::vector<LWItemID> Scene::children(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->children : std::vector<LWItemID>{};
}

LWItemID Scene::parent(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->parent : nullptr;
}

LWItemID Scene::target(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->target : nullptr;
}

LWItemID Scene::goal(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->goal : nullptr;
}

int Scene::type(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->type : -1;
}

const char* Scene::name(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->name.c_str() : nullptr;
}

const char* Scene::tag(LWItemID id, int tagNum) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    if (!it || tagNum < 1 || static_cast<size_t>(tagNum) > it->tags.size()) return nullptr;
    return it->tags[static_cast<size_t>(tagNum - 1)].c_str();
}

void Scene::setTag(LWItemID id, int tagNum, const char* text) {
    if (!text) return;
    std::unique_lock lock(mutex_);
    auto found = items_.find(id);
    if (found == items_.end()) return;
    auto& tags = found->second.tags;
    if (tagNum == 0) tags.emplace_back(text);
    else if (tagNum >= 1 && static_cast<size_t>(tagNum) <= tags.size()) tags[static_cast<size_t>(tagNum - 1)] = text;
}

LWChanGroupID Scene::channelGroup(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->group : nullptr;
}

unsigned int Scene::flags(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->flags : 0;
}

void Scene::setFlags(LWItemID id, unsigned int flags) {
    constexpr unsigned int kKnown =
        LWITEMF_ACTIVE | LWITEMF_UNAFFECT_BY_IK | LWITEMF_FULLTIME_IK | LWITEMF_GOAL_ORIENT | LWITEMF_REACH_GOAL;
    if (flags & ~kKnown) throw HostError("unknown item flags");
    std::unique_lock lock(mutex_);
    item(id).flags = flags;
}

void Scene::setMotionOptions(LWItemID id, const MotionOptions& o) {
    if (!std::isfinite(o.lookAhead) || o.lookAhead < 0 || !std::isfinite(o.goalStrength) ||
        !finite(o.positionStiffness) || !finite(o.rotationStiffness))
        throw HostError("motion options must be finite, the look-ahead not negative");
    for (int i = 0; i < 3; ++i)
        if (o.positionStiffness[i] < 0 || o.rotationStiffness[i] < 0)
            throw HostError("stiffness cannot be negative");
    std::unique_lock lock(mutex_);
    item(id).options = o;
}

MotionOptions Scene::motionOptions(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    return it ? it->options : MotionOptions{};
}

// ---------------------------------------------------------------- motion

void Scene::set(LWItemID id, Motion channel, const Vec3& value) {
    if (!finite(value)) throw HostError("motion values must be finite");
    {
        std::unique_lock lock(mutex_);
        auto& track = item(id).motion[static_cast<int>(channel)];
        track.value = value;
        track.keys.clear();
    }
    motionChanged(id);
}

void Scene::setKey(LWItemID id, Motion channel, LWTime time, const Vec3& value) {
    if (!finite(value) || !std::isfinite(time)) throw HostError("keys need a finite time and value");
    {
        std::unique_lock lock(mutex_);
        item(id).motion[static_cast<int>(channel)].keys[time] = value;
    }
    motionChanged(id);
}

double Scene::motionComponent(LWItemID id, Motion channel, int component, LWTime time) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    if (!it || component < 0 || component > 2) return 0.0;
    return it->motion[static_cast<int>(channel)].at(time)[static_cast<size_t>(component)];
}

void Scene::setPivot(LWItemID id, const Vec3& pivot) {
    if (!finite(pivot)) throw HostError("the pivot must be finite");
    std::unique_lock lock(mutex_);
    item(id).pivot = pivot;
}

Vec3 Scene::worldPosition(const Item& it, LWTime time) const {
    Vec3 p = it.motion[0].at(time);
    for (const Item* x = find(it.parent); x; x = find(x->parent)) {
        const Vec3 s = x->motion[2].at(time);
        const Vec3 q{(p[0] - x->pivot[0]) * s[0], (p[1] - x->pivot[1]) * s[1], (p[2] - x->pivot[2]) * s[2]};
        const Vec3 r = times(q, rotation(x->motion[1].at(time)));
        const Vec3 t = x->motion[0].at(time);
        p = {r[0] + t[0], r[1] + t[1], r[2] + t[2]};
    }
    return p;
}

Vec3 Scene::worldAxis(const Item& it, int axis, LWTime time) const {
    Vec3 v = rotation(it.motion[1].at(time))[axis];
    for (const Item* x = find(it.parent); x; x = find(x->parent)) v = times(v, rotation(x->motion[1].at(time)));
    return v;
}

ItemTransform Scene::worldTransform(LWItemID id, LWTime time) const {
    std::shared_lock lock(mutex_);
    ItemTransform out;
    // Each level maps p to ((p - pivot) * scaling) * rotation + position;
    // compose them from the item up to its top-level ancestor.
    for (const Item* x = find(id); x; x = find(x->parent)) {
        const Vec3 s = x->motion[2].at(time);
        const Mat3 r = rotation(x->motion[1].at(time));
        const Vec3 t = x->motion[0].at(time);
        const Vec3 base{-x->pivot[0] * s[0], -x->pivot[1] * s[1], -x->pivot[2] * s[2]};
        const Vec3 shift = times(base, r);
        for (auto& axis : out.axes) {
            const Vec3 scaled{axis[0] * s[0], axis[1] * s[1], axis[2] * s[2]};
            axis = times(scaled, r);
        }
        const Vec3 o{out.origin[0] * s[0], out.origin[1] * s[1], out.origin[2] * s[2]};
        const Vec3 turned = times(o, r);
        out.origin = {turned[0] + shift[0] + t[0], turned[1] + shift[1] + t[1], turned[2] + shift[2] + t[2]};
    }
    return out;
}

Vec3 Scene::param(LWItemID id, int param, LWTime time) const {
    std::shared_lock lock(mutex_);
    const Item* it = find(id);
    if (!it) return {0, 0, 0};
    switch (param) {
        case LWIP_POSITION: return it->motion[0].at(time);
        case LWIP_ROTATION: return it->motion[1].at(time);
        case LWIP_SCALING: return it->motion[2].at(time);
        case LWIP_PIVOT: return it->pivot;
        case LWIP_RIGHT: return rotation(it->motion[1].at(time))[0];
        case LWIP_UP: return rotation(it->motion[1].at(time))[1];
        case LWIP_FORWARD: return rotation(it->motion[1].at(time))[2];
        case LWIP_W_POSITION: return worldPosition(*it, time);
        case LWIP_W_RIGHT: return worldAxis(*it, 0, time);
        case LWIP_W_UP: return worldAxis(*it, 1, time);
        case LWIP_W_FORWARD: return worldAxis(*it, 2, time);
        default: return {0, 0, 0};
    }
}

// ---------------------------------------------------------------- cameras

void Scene::setZoomFactor(LWItemID id, double zoom) {
    if (!(zoom > 0) || !std::isfinite(zoom)) throw HostError("a zoom factor must be a positive number");
    std::unique_lock lock(mutex_);
    auto& track = camera(id).zoom;
    track.value = zoom;
    track.keys.clear();
}

void Scene::setZoomKey(LWItemID id, LWTime time, double zoom) {
    if (!(zoom > 0) || !std::isfinite(zoom) || !std::isfinite(time))
        throw HostError("a zoom key needs a finite time and a positive zoom factor");
    std::unique_lock lock(mutex_);
    camera(id).zoom.keys[time] = zoom;
}

void Scene::setLens(LWItemID id, const CameraLens& lens) {
    if (!(lens.focalDistance > 0) || !(lens.fStop > 0) || !(lens.blurLength >= 0) || !(lens.apertureHeight > 0) ||
        !std::isfinite(lens.focalDistance) || !std::isfinite(lens.fStop) || !std::isfinite(lens.blurLength) ||
        !std::isfinite(lens.apertureHeight))
        throw HostError("lens values must be positive numbers");
    std::unique_lock lock(mutex_);
    camera(id).lens = lens;
}

void Scene::setView(LWItemID id, const CameraView& view) {
    if (!std::isfinite(view.eyeSeparation) || view.eyeSeparation < 0)
        throw HostError("the eye separation must be a finite number >= 0");
    if (view.maskRegion[2] < view.maskRegion[0] || view.maskRegion[3] < view.maskRegion[1])
        throw HostError("the mask's last pixel lies before its first");
    if (!finite(view.maskColor)) throw HostError("the mask colour must be finite");
    std::unique_lock lock(mutex_);
    camera(id).view = view;
}

CameraView Scene::view(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    return c ? c->view : CameraView{};
}

unsigned int Scene::cameraFlags(LWItemID id) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    if (!c) return 0;
    unsigned int flags = 0;
    if (c->view.stereo) flags |= LWCAMF_STEREO;
    if (settings_.renderOpts & LWROPT_LIMITEDREGION) flags |= LWCAMF_LIMITED_REGION;
    if (c->view.mask) flags |= LWCAMF_MASK;
    return flags;
}

void Scene::setRenderCamera(LWItemID id) {
    std::unique_lock lock(mutex_);
    if (id) camera(id);
    renderCamera_ = id;
}

LWItemID Scene::renderCameraLocked() const {
    if (renderCamera_) return renderCamera_;
    const auto first = items_.lower_bound(makeId<LWItemID>(LWI_CAMERA + 1, 0));
    return first != items_.end() && first->second.type == LWI_CAMERA ? first->first : nullptr;
}

LWItemID Scene::renderCamera(LWTime) const {
    std::shared_lock lock(mutex_);
    return renderCameraLocked();
}

double Scene::zoomFactor(LWItemID id, LWTime time) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    return c ? c->zoom.at(time) : 0.0;
}

std::array<double, 2> Scene::fovAngles(LWItemID id, LWTime time) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    if (!c) return {0, 0};
    const double zoom = c->zoom.at(time);
    const double aspect = settings_.frameWidth * settings_.pixelAspect / settings_.frameHeight;
    return {2 * std::atan(aspect / zoom), 2 * std::atan(1 / zoom)};
}

const Scene::Item* Scene::findCamera(LWItemID id) const {
    const Item* c = find(id);
    return c && c->type == LWI_CAMERA ? c : nullptr;
}

double Scene::focalLength(LWItemID id, LWTime time) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    return c ? c->zoom.at(time) * c->lens.apertureHeight * 1000.0 / 2.0 : 0.0;
}

double Scene::focalDistance(LWItemID id, LWTime) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    return c ? c->lens.focalDistance : 0.0;
}

double Scene::fStop(LWItemID id, LWTime) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    return c ? c->lens.fStop : 0.0;
}

double Scene::blurLength(LWItemID id, LWTime) const {
    std::shared_lock lock(mutex_);
    const Item* c = findCamera(id);
    return c ? c->lens.blurLength : 0.0;
}

// ---------------------------------------------------------------- scene values

void Scene::applySettings(const SceneSettings& s) {
    settings_ = s;
    info_.name = settings_.name.c_str();
    info_.filename = settings_.filename.c_str();
    info_.numPoints = s.numPoints;
    info_.numPolygons = s.numPolygons;
    info_.renderType = s.renderType;
    info_.renderOpts = s.renderOpts;
    info_.frameStart = s.frameStart;
    info_.frameEnd = s.frameEnd;
    info_.frameStep = s.frameStep;
    info_.framesPerSecond = s.framesPerSecond;
    info_.frameWidth = s.frameWidth;
    info_.frameHeight = s.frameHeight;
    info_.pixelAspect = s.pixelAspect;
    info_.minSamplesPerPixel = s.minSamplesPerPixel;
    info_.maxSamplesPerPixel = s.maxSamplesPerPixel;
    for (int i = 0; i < 4; ++i) info_.limitedRegion[i] = s.limitedRegion[static_cast<size_t>(i)];
    info_.recursionDepth = s.recursionDepth;
    info_.numThreads = s.numThreads;
}

SceneSettings Scene::settings() const {
    std::shared_lock lock(mutex_);
    return settings_;
}

void Scene::setSettings(const SceneSettings& s) {
    if (s.frameWidth < 1 || s.frameHeight < 1) throw HostError("the frame needs at least one pixel each way");
    if (!(s.pixelAspect > 0) || !std::isfinite(s.pixelAspect)) throw HostError("the pixel aspect must be a positive number");
    if (!(s.framesPerSecond > 0) || !std::isfinite(s.framesPerSecond))
        throw HostError("the frame rate must be a positive number");
    if (s.frameStep < 1) throw HostError("the frame step must be at least 1");
    if (s.numThreads < 1) throw HostError("the scene renders with at least one thread");
    std::unique_lock lock(mutex_);
    applySettings(s);
}

void Scene::setFrameSize(int width, int height) {
    SceneSettings s = settings();
    s.frameWidth = width;
    s.frameHeight = height;
    setSettings(s);
}

void Scene::setPixelAspect(double aspect) {
    SceneSettings s = settings();
    s.pixelAspect = aspect;
    setSettings(s);
}

void Scene::setFrameRange(LWFrame start, LWFrame end, LWFrame step) {
    SceneSettings s = settings();
    s.frameStart = start;
    s.frameEnd = end;
    s.frameStep = step;
    setSettings(s);
}

void Scene::setFramesPerSecond(double fps) {
    SceneSettings s = settings();
    s.framesPerSecond = fps;
    setSettings(s);
}

void Scene::setNumThreads(int threads) {
    SceneSettings s = settings();
    s.numThreads = threads;
    setSettings(s);
}

LWFrame Scene::currentFrame() const {
    std::shared_lock lock(mutex_);
    return currentFrame_;
}

double Scene::framesPerSecond() const {
    std::shared_lock lock(mutex_);
    return settings_.framesPerSecond;
}

LWTime Scene::currentTime() const {
    std::shared_lock lock(mutex_);
    return currentFrame_ / settings_.framesPerSecond;
}

void Scene::goToFrame(LWFrame frame) {
    std::unique_lock lock(mutex_);
    currentFrame_ = frame;
}

// ---------------------------------------------------------------- textures

// ---------------------------------------------------------------- records

void Scene::instanceUpdate(const char* className, void* instance) {
    std::lock_guard lock(recordsMutex_);
    updates_.push_back({className ? className : "", instance});
}

std::vector<InstanceUpdate> Scene::instanceUpdates() const {
    std::lock_guard lock(recordsMutex_);
    return updates_;
}

std::vector<CommandRecord> Scene::commands() const {
    std::lock_guard lock(recordsMutex_);
    return commands_;
}

void Scene::clearRecords() {
    std::lock_guard lock(recordsMutex_);
    updates_.clear();
    commands_.clear();
}

// ---------------------------------------------------------------- commands

namespace {
std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Whole-word numbers only: "12x" or "" is no number.
template <typename T>
bool number(const std::string& word, T& out) {
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, out);
    return ec == std::errc() && ptr == end;
}

constexpr std::string_view kGenericPrefix = "Generic_";

// Command names this host knows, in the order of their codes (from 1).
constexpr std::string_view kCommandNames[] = {"GoToFrame", "FirstFrame", "LastFrame",
                                               "FrameStep", "FrameSize",  "PixelAspect"};
}  // namespace

LWCommandCode Scene::commandCode(std::string_view name) {
    for (size_t i = 0; i < std::size(kCommandNames); ++i)
        if (kCommandNames[i] == name) return static_cast<LWCommandCode>(i + 1);
    return 0;
}

int Scene::runCommand(const char* command) {
    if (!command) return 0;
    size_t index;
    {
        std::lock_guard lock(recordsMutex_);
        commands_.push_back({command, 0});
        index = commands_.size() - 1;
    }
    // A generic server may run commands itself, so nothing is locked while
    // the command runs.
    int result = 0;
    try {
        result = execute(command);
    } catch (const std::exception&) {
        result = 0;
    }
    std::lock_guard lock(recordsMutex_);
    commands_[index].result = result;
    return result;
}

int Scene::execute(const std::string& command) {
    const auto w = words(command);
    if (w.empty()) return 0;
    const std::string& name = w[0];
    if (name.starts_with(kGenericPrefix)) {
        if (name.size() == kGenericPrefix.size()) return 0;
        // What follows the server's name is handed to it as its arguments.
        const size_t at = command.find(name) + name.size();
        const size_t start = command.find_first_not_of(" \t", at);
        return runGeneric(name.substr(kGenericPrefix.size()), start == std::string::npos ? "" : command.substr(start));
    }
    int a = 0, b = 0;
    double x = 0;
    if (name == "GoToFrame" && w.size() == 2 && number(w[1], a)) {
        goToFrame(a);
        return 1;
    }
    SceneSettings s = settings();
    if (name == "FirstFrame" && w.size() == 2 && number(w[1], a)) {
        s.frameStart = a;
    } else if (name == "LastFrame" && w.size() == 2 && number(w[1], a)) {
        s.frameEnd = a;
    } else if (name == "FrameStep" && w.size() == 2 && number(w[1], a)) {
        s.frameStep = a;
    } else if (name == "FrameSize" && w.size() == 3 && number(w[1], a) && number(w[2], b)) {
        s.frameWidth = a;
        s.frameHeight = b;
    } else if (name == "PixelAspect" && w.size() == 2 && number(w[1], x)) {
        s.pixelAspect = x;
    } else {
        return 0;
    }
    setSettings(s);  // throws for values the scene refuses
    return 1;
}

int Scene::runGeneric(const std::string& server, const std::string& arguments) {
    if (!host_) return 0;
    LWLayoutGeneric local{genericSaveScene, genericLoadScene, this,           genericLookup,
                          genericExecute,   genericEvaluate,  genericArgumentText, genericParsedArguments};
    // Generics may run generics: each sees its own arguments while it runs.
    std::string outer;
    {
        std::lock_guard lock(recordsMutex_);
        outer = std::exchange(genericArguments_, arguments);
    }
    int result = 0;
    try {
        result = host_->activate(LWLAYOUTGENERIC_CLASS, server, LWLAYOUTGENERIC_VERSION, &local) == AFUNC_OK ? 1 : 0;
    } catch (const HostError&) {
        result = 0;  // no loaded module serves it
    }
    std::lock_guard lock(recordsMutex_);
    genericArguments_ = std::move(outer);
    return result;
}

const char* Scene::genericArguments() const {
    std::lock_guard lock(recordsMutex_);
    return genericArguments_.c_str();
}

}  // namespace hostsim
