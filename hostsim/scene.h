// The stand-in host's scene: items (objects, lights, cameras, bones) with
// parents, keyed motion, tags, flags and motion options, cameras, the
// scene's render values, and the record of instance updates and commands.
// Services: "LW Item Info 3", "LW Scene Info 3", "LW Camera Info 2",
// "Instance Update", "LW Command Interface".
//
// Conventions:
// - Ids are opaque tokens, never reused while the host runs; the service
//   functions answer an id they do not know (null, deleted, another kind)
//   with null ids, null names, -1 types and zero values. The C++ setters
//   throw HostError for such ids and for values no scene can hold.
// - Angles are radians. Rotation is heading, pitch, bank: a local vector is
//   turned by bank about +Z, then pitch about +X, then heading about +Y
//   (left-handed, +Y up, +Z forward). A point p of an item's space lies at
//   ((p - pivot) * scaling) * rotation + position in its parent's space.
// - A motion channel holds a static value until it gets keys; with keys it
//   interpolates linearly between them and holds the first and last key's
//   value outside them. Rotation keys interpolate each angle on its own.
//   Motion is keyframed only: targets and goals are recorded but move
//   nothing, so every controller is LWMOTCTL_KEYFRAMES; there is no pivot
//   rotation (LWIP_PIVOT_ROT is 0, 0, 0) and there are no limits.
// - Each item has a root channel group in "Channel Info 2" named after it
//   (renamed with it, destroyed with it) holding its motion channels
//   "Position.X", ".Y", ".Z" (LWET_DISTANCE), "Rotation.H", ".P", ".B"
//   (LWET_ANGLE), "Scale.X", ".Y", ".Z" (LWET_PERCENT). They evaluate the
//   item's motion and have no envelope; changing the motion tells their
//   event functions LWCEVNT_VALUE, renaming the item LWEEVNT_RENAME.
// - The scene applies no plug-in servers to items: server and serverFlags
//   answer null and 0.
// - Cameras share the scene's frame size, pixel aspect and limited region
//   (LWCAMF_LIMITED_REGION while renderOpts holds LWROPT_LIMITEDREGION);
//   each has its own lens, stereo and mask settings.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lwenvel.h"
#include "lwrender.h"
#include "lwtypes.h"

namespace hostsim {

class Host;

using Vec3 = std::array<double, 3>;

enum class Motion { Position, Rotation, Scaling };

// Where an item's space lies in the world: a point p of the item lies at
// p[0] * axes[0] + p[1] * axes[1] + p[2] * axes[2] + origin. The axes carry
// the scaling, so they need not be unit length nor perpendicular.
struct ItemTransform {
    std::array<Vec3, 3> axes{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    Vec3 origin{0, 0, 0};
};

// The scene's values behind "LW Scene Info 3".
struct SceneSettings {
    std::string name = "Untitled";
    std::string filename;
    int renderType = LWRTYPE_REALISTIC;
    int renderOpts = 0;
    LWFrame frameStart = 1;
    LWFrame frameEnd = 60;
    LWFrame frameStep = 1;
    double framesPerSecond = 30.0;
    int frameWidth = 640;
    int frameHeight = 480;
    double pixelAspect = 1.0;
    int minSamplesPerPixel = 1;
    int maxSamplesPerPixel = 1;
    std::array<int, 4> limitedRegion{0, 0, 0, 0};
    int recursionDepth = 16;
    int numThreads = 1;
    int numPoints = 0;
    int numPolygons = 0;
};

// Static lens values of a camera; the zoom factor is a channel of its own.
struct CameraLens {
    double focalDistance = 1.0;
    double fStop = 4.0;
    double blurLength = 0.5;
    double apertureHeight = 0.015;  // metres; focal length = zoom * aperture / 2
};

// What a camera shows besides its lens: stereo and the mask.
struct CameraView {
    bool stereo = false;
    double eyeSeparation = 0.0;           // distance between the eyes
    bool mask = false;
    std::array<int, 4> maskRegion{0, 0, 0, 0};  // x0, y0, x1, y1 in pixels
    Vec3 maskColor{0, 0, 0};
};

// Motion settings of an item that the scene records and reports.
struct MotionOptions {
    double lookAhead = 0.0;  // seconds alignment to the path looks ahead
    double goalStrength = 1.0;
    Vec3 positionStiffness{0, 0, 0};
    Vec3 rotationStiffness{0, 0, 0};
};

struct InstanceUpdate {
    std::string className;  // "" when the caller passed null
    void* instance;
};

struct CommandRecord {
    std::string text;
    int result;  // what the caller was answered
};

class Scene {
public:
    Scene();
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    // Enters this model's services into the host's service table.
    void registerWith(Host& host);

    // --- items ---
    LWItemID addObject(const std::string& name, LWItemID parent = nullptr);
    LWItemID addLight(const std::string& name, LWItemID parent = nullptr);
    LWItemID addCamera(const std::string& name, LWItemID parent = nullptr);
    // A bone of the object parent, or of the object whose bone parent is.
    LWItemID addBone(const std::string& name, LWItemID parent);
    // Deletes the item (an object with its bones). Children of deleted items
    // move to the nearest surviving ancestor, keeping their own motion;
    // targets and goals naming a deleted item are cleared. Then the host's
    // instances are told that each deleted id changed to null.
    void removeItem(LWItemID item);
    // Renames the item and its channel group; the group's channels and
    // then the host's instances that track items are told (nothing when
    // the name stays the same).
    void rename(LWItemID item, const std::string& name);
    // Null makes the item a top-level one. Refuses a parent that is the item
    // or one of its descendants, and moving a bone out of its object.
    void setParent(LWItemID item, LWItemID parent);
    void setTarget(LWItemID item, LWItemID target);
    void setGoal(LWItemID item, LWItemID goal);
    bool contains(LWItemID item) const;
    // Items of a type in creation order; bones of boneObject for LWI_BONE.
    std::vector<LWItemID> items(int type, LWItemID boneObject = nullptr) const;
    // What "LW Item Info 3" answers (see the conventions above).
    LWItemID nextItem(LWItemID item) const;
    std::vector<LWItemID> children(LWItemID parent) const;
    LWItemID parent(LWItemID item) const;
    LWItemID target(LWItemID item) const;
    LWItemID goal(LWItemID item) const;
    int type(LWItemID item) const;
    const char* name(LWItemID item) const;
    // Tag tagNum (from 1), or null; setTag replaces it, or adds a tag when
    // tagNum is 0. Unknown items, other numbers and null texts change
    // nothing (as the service does).
    const char* tag(LWItemID item, int tagNum) const;
    void setTag(LWItemID item, int tagNum, const char* text);
    // The item's channel group, or null.
    LWChanGroupID channelGroup(LWItemID item) const;
    // LWITEMF_ bits; a new item is LWITEMF_ACTIVE. setFlags throws for
    // other bits.
    unsigned int flags(LWItemID item) const;
    void setFlags(LWItemID item, unsigned int flags);
    // Throws for values that are not finite, a negative look-ahead or
    // stiffness.
    void setMotionOptions(LWItemID item, const MotionOptions& options);
    MotionOptions motionOptions(LWItemID item) const;  // defaults for unknown ids

    // --- motion ---
    // Static value; drops the channel's keys.
    void set(LWItemID item, Motion channel, const Vec3& value);
    // Adds a key, or replaces the key at the same time.
    void setKey(LWItemID item, Motion channel, LWTime time, const Vec3& value);
    void setPosition(LWItemID item, const Vec3& v) { set(item, Motion::Position, v); }
    void setRotation(LWItemID item, const Vec3& hpb) { set(item, Motion::Rotation, hpb); }
    void setScaling(LWItemID item, const Vec3& v) { set(item, Motion::Scaling, v); }
    void setPivot(LWItemID item, const Vec3& pivot);
    // What "LW Item Info 3" param answers.
    Vec3 param(LWItemID item, int param, LWTime time) const;
    // One component of a motion channel (0 for an unknown id).
    double motionComponent(LWItemID item, Motion channel, int component, LWTime time) const;
    // The item's full placement at a time: its own pivot, scaling, rotation
    // and position and those of all its parents. Identity for an unknown id.
    ItemTransform worldTransform(LWItemID item, LWTime time) const;

    // --- cameras ---
    void setZoomFactor(LWItemID camera, double zoom);  // drops zoom keys
    void setZoomKey(LWItemID camera, LWTime time, double zoom);
    void setLens(LWItemID camera, const CameraLens& lens);
    // Throws for a separation that is not a finite number >= 0, a mask
    // region whose last pixel lies before its first, or a colour that is
    // not finite.
    void setView(LWItemID camera, const CameraView& view);
    CameraView view(LWItemID camera) const;  // defaults for a non-camera
    // The camera that renders; null returns to the default, the first camera.
    void setRenderCamera(LWItemID camera);
    LWItemID renderCamera(LWTime time) const;
    // What "LW Camera Info 2" answers: 0 for an id that is no camera.
    double zoomFactor(LWItemID camera, LWTime time) const;
    double focalLength(LWItemID camera, LWTime time) const;
    double focalDistance(LWItemID camera, LWTime time) const;
    double fStop(LWItemID camera, LWTime time) const;
    double blurLength(LWItemID camera, LWTime time) const;
    // Horizontal and vertical field of view; both 0 for a non-camera.
    std::array<double, 2> fovAngles(LWItemID camera, LWTime time) const;
    unsigned int cameraFlags(LWItemID camera) const;

    // --- scene values ---
    SceneSettings settings() const;
    // Throws HostError for a frame size below 1, a pixel aspect or frame
    // rate that is not a positive number, a frame step or thread count
    // below 1; nothing changes then.
    void setSettings(const SceneSettings& settings);
    void setFrameSize(int width, int height);
    void setPixelAspect(double aspect);
    void setFrameRange(LWFrame start, LWFrame end, LWFrame step = 1);
    void setFramesPerSecond(double fps);
    void setNumThreads(int threads);
    const LWSceneInfo* sceneInfo() const { return &info_; }
    LWFrame currentFrame() const;
    LWTime currentTime() const;  // current frame / frames per second
    double framesPerSecond() const;
    void goToFrame(LWFrame frame);

    // --- instance updates and commands ---
    void instanceUpdate(const char* className, void* instance);
    std::vector<InstanceUpdate> instanceUpdates() const;
    // Runs and records one command line ("LW Command Interface"); answers
    // 1 when the command ran, 0 when it is unknown, its arguments are wrong
    // or it failed. A null text is refused (0) and not recorded. Commands:
    //   Generic_<name> [arguments]
    //                        activates the "LayoutGeneric" server <name> of
    //                        the loaded modules, which reads the arguments
    //                        through commandArguments; 1 when the activation
    //                        answered AFUNC_OK
    //   GoToFrame <frame>    makes <frame> the current frame
    //   FirstFrame <frame>, LastFrame <frame>, FrameStep <step>
    //                        set the scene's frame range
    //   FrameSize <width> <height>, PixelAspect <aspect>
    //                        set the rendered frame's size in pixels and the
    //                        pixel aspect
    int runCommand(const char* command);
    // The code a generic's lookup answers for a command name (from 1), or
    // 0 for a name this host does not know.
    static LWCommandCode commandCode(std::string_view name);
    // The arguments of the generic that runs now ("" outside one).
    const char* genericArguments() const;
    std::vector<CommandRecord> commands() const;
    void clearRecords();

private:
    template <typename T>
    struct Track {
        T value{};
        std::map<double, T> keys;
        T at(double time) const;
    };
    struct Item {
        int type;
        std::string name;
        LWItemID parent = nullptr;
        LWItemID target = nullptr;
        LWItemID goal = nullptr;
        LWItemID boneObject = nullptr;  // bones: the object they belong to
        std::vector<LWItemID> children;
        std::array<Track<Vec3>, 3> motion;
        Vec3 pivot{0, 0, 0};
        Track<double> zoom;
        CameraLens lens;
        CameraView view;
        std::deque<std::string> tags;  // a deque keeps the texts in place as tags are added
        LWChanGroupID group = nullptr;
        unsigned int flags = LWITEMF_ACTIVE;
        MotionOptions options;
    };
    LWItemID add(int type, const std::string& name, LWItemID parent);
    LWItemID addLocked(int type, const std::string& name, LWItemID parent, LWChanGroupID group);
    void addMotionChannels(LWItemID id, LWChanGroupID group);
    // Tells the item's channels that the motion changed.
    void motionChanged(LWItemID id);
    Item& item(LWItemID id);  // throws HostError for an unknown id
    const Item* find(LWItemID id) const;
    Item& camera(LWItemID id);
    const Item* findCamera(LWItemID id) const;
    bool isAncestor(LWItemID ancestor, LWItemID item) const;
    // Deletes under the lock; answers the deleted ids and their groups.
    std::vector<std::pair<LWItemID, LWChanGroupID>> removeItemLocked(LWItemID id);
    void detach(LWItemID child);
    Vec3 worldPosition(const Item& item, LWTime time) const;
    Vec3 worldAxis(const Item& item, int axis, LWTime time) const;
    LWItemID renderCameraLocked() const;
    void applySettings(const SceneSettings& s);
    int execute(const std::string& command);
    int runGeneric(const std::string& server, const std::string& arguments);

    Host* host_ = nullptr;
    mutable std::shared_mutex mutex_;  // everything but the records
    std::map<LWItemID, Item> items_;    // ordered by type, then creation
    uintptr_t serial_ = 0;
    LWItemID renderCamera_ = nullptr;
    SceneSettings settings_;
    LWSceneInfo info_{};
    LWFrame currentFrame_ = 0;

    mutable std::mutex recordsMutex_;
    std::vector<InstanceUpdate> updates_;
    std::vector<CommandRecord> commands_;
    std::string genericArguments_;
};

}  // namespace hostsim
