// The stand-in host: loads plug-in modules through their descriptors,
// activates servers, answers service lookups with per-service use counts,
// and carries the services the plug-ins call. One host is current per
// process, because the lookup function the plug-ins receive is a plain C
// function without context.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "canvas.h"
#include "directories.h"
#include "file_io.h"
#include "file_requests.h"
#include "lwmodule.h"
#include "lwserver.h"
#include "message_log.h"
#include "mutex_groups.h"
#include "panels.h"

namespace hostsim {
class XPanels;
class Animation;
class Scene;
class Textures;
class Geometry;
class Surfaces;
class SceneObjects;
class Instances;
class NodeEditor;
}  // namespace hostsim

namespace hostsim {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class AppType { Layout = 0, Modeler = 1, RenderNode = 2 };

// One tagged text of a server: the tag's code (a SRVTAG_ value) and the
// language id that the module ORed into it.
struct ServerTag {
    uint32_t code;
    uint32_t language;
    std::string text;
};

struct ServerInfo {
    std::string className;
    std::string name;
    std::vector<ServerTag> tags;  // empty for a null tag list
};

// How one service name has been used through the lookup function.
struct ServiceUse {
    int acquired = 0;            // use 1 answered with non-null
    int released = 0;            // use 2 of something held
    int unbalancedReleases = 0;  // use 2 of something not held
    int transient = 0;           // use 0
    int refused = 0;             // lookups answered with null
    int held() const { return acquired - released; }
    bool balanced() const { return held() == 0 && unbalancedReleases == 0; }
};

class Module {
public:
    ~Module();
    const std::string& path() const { return path_; }
    void* moduleData() const { return moduleData_; }
    const ModuleDescriptor& descriptor() const { return *descriptor_; }
    std::vector<ServerInfo> servers() const;
    const ServerRecord* findServer(const std::string& className, const std::string& name) const;
    // Holds of its global services: a global acquired with use 1 locks the
    // module that supplies it until it is released with use 2.
    int locks() const { return locks_; }

private:
    friend class Host;
    Module() = default;
    int locks_ = 0;  // guarded by the host's mutex
    std::string path_;
    void* handle_ = nullptr;
    const ModuleDescriptor* descriptor_ = nullptr;
    void* moduleData_ = nullptr;
};

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host of this process, or null.
    static Host* current();
    // The lookup function handed to activations.
    static GlobalFunc* lookupFunction();

    // --- modules ---
    // Loads, checks the descriptor and starts a module; throws HostError
    // with the reason when the file is not a usable module.
    Module& loadModule(const std::string& path);
    // Shuts the module down and unloads it. Refused (HostError) while one
    // of its global services is held.
    void unloadModule(Module& module);
    // What the host does when it quits: destroys the instances and panels
    // left over, then shuts down and unloads every module, newest first.
    void unloadAll();
    const std::vector<std::unique_ptr<Module>>& modules() const { return modules_; }

    // Activates the first server of this class and name among the loaded
    // modules. Throws HostError when no module serves it.
    int activate(const std::string& className, const std::string& name, int version, void* local,
                 void* serverData = nullptr, GlobalFunc* lookup = lookupFunction());

    // --- services ---
    void registerService(const std::string& name, void* table);
    void unregisterService(const std::string& name);
    void* lookup(const char* name, int use);
    ServiceUse use(const std::string& name) const;
    std::map<std::string, ServiceUse> uses() const;
    // True when every service ever looked up is back to no holds and was
    // never released without being held.
    bool allBalanced() const;
    void resetUses();
    // Interface version offered to "Global" servers when a lookup reaches them.
    void setGlobalVersion(int version) { globalVersion_ = version; }

    // --- "System ID" and "Product Info" ---
    void setApplication(AppType type) { application_ = type; }
    AppType application() const { return application_; }
    void setMajorVersion(int major) { major_ = major; }
    int majorVersion() const { return major_; }
    uint32_t systemWord() const;
    uint32_t productWord() const;

    // --- "Info Messages 2" and "MultiThreading Utilities" ---
    MessageLog& messages() { return messages_; }
    MutexGroups& mutexGroups() { return mutexGroups_; }

    // --- "File IO", "LWPanelServices", "Directory Info", "File Request 2" ---
    // ("LWXPanel" draws into Canvas objects and needs no host state.)
    FileIO& fileIO() { return fileIO_; }
    Panels& panels() { return panels_; }
    Directories& directories() { return directories_; }
    FileRequests& fileRequests() { return fileRequests_; }

    // --- view panels, animation, the scene ---
    XPanels& xpanels() { return *xpanels_; }
    Animation& animation() { return *animation_; }
    Scene& scene() { return *scene_; }
    // Textures and their layers ("Texture Functions 3").
    Textures& textures() { return *textures_; }
    // Meshes and surfaces of the scene's objects.
    Geometry& geometry() { return *geometry_; }
    // "Surface Functions 3" over the objects' surfaces.
    Surfaces& surfaces() { return *surfaces_; }
    // "Scene Objects 4" over the scene's objects and their meshes.
    SceneObjects& objects() { return *objects_; }
    // The handler instances of the scene.
    Instances& instances() { return *instances_; }
    // The surfaces' node graphs ("NodeFuncs", "NodeInputFuncs",
    // "NodeOutputFuncs", "NodeUtilityFuncs").
    NodeEditor& nodeEditor() { return *nodeEditor_; }

private:
    // The answer of the first loaded "Global" server that serves the name,
    // and its module; {null, null} when none does.
    std::pair<void*, Module*> answerFromGlobals(const std::string& name);
    void unload(Module& module, bool quitting);
    void count(const std::string& name, int use, bool answered);

    mutable std::mutex mutex_;  // services, uses and global answers
    std::map<std::string, void*> services_;
    std::map<std::string, std::pair<void*, Module*>> globalAnswers_;
    std::map<std::string, ServiceUse> uses_;
    std::vector<std::unique_ptr<Module>> modules_;
    AppType application_ = AppType::Layout;
    int major_ = 9;
    int globalVersion_ = 1;
    MessageLog messages_;
    MutexGroups mutexGroups_;
    FileIO fileIO_;
    Panels panels_;
    Directories directories_;
    FileRequests fileRequests_;
    std::unique_ptr<XPanels> xpanels_;
    std::unique_ptr<Animation> animation_;
    std::unique_ptr<Scene> scene_;
    std::unique_ptr<Textures> textures_;
    std::unique_ptr<Geometry> geometry_;
    std::unique_ptr<Surfaces> surfaces_;  // after the geometry and animation it observes and changes
    std::unique_ptr<SceneObjects> objects_;
    std::unique_ptr<Instances> instances_;
    std::unique_ptr<NodeEditor> nodeEditor_;  // after the instances its nodes are made in
};

}  // namespace hostsim
