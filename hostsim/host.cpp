#include "host.h"

#include "animation.h"
#include "geometry.h"
#include "instances.h"
#include "node_editor.h"
#include "object_info.h"
#include "objects.h"
#include "scene.h"
#include "surfaces.h"
#include "textures.h"
#include "xpanels.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "lwglobsrv.h"
#include "lwhost.h"
#include "lwio.h"
#include "lwmtutil.h"
#include "lwpanel.h"
#include "lwserver.h"
#include "lwxpanel.h"

namespace hostsim {

namespace {
std::atomic<Host*> g_current{nullptr};

// Longest server list a descriptor may hold before it counts as unterminated.
constexpr int kMaxServers = 4096;
constexpr int kMaxTags = 4096;
// The symbol under which a module exports its descriptor.
constexpr char kDescriptorSymbol[] = "_mod_descrip";
// A server tag is a SRVTAG_ code ORed with a language id.
constexpr uint32_t kTagCodeBits = 0xFFFF0000u;
constexpr uint32_t kTagLanguageBits = 0x0000FFFFu;

extern "C" void* hostLookup(const char* name, int use) {
    Host* host = Host::current();
    return host ? host->lookup(name, use) : nullptr;
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

std::string checkDescriptor(const ModuleDescriptor& d) {
    if (d.sysSync != MOD_SYSSYNC)
        return "bad synchronisation word " + hex(d.sysSync) + " (expected " + hex(MOD_SYSSYNC) + ")";
    if (d.sysVersion != MOD_SYSVER)
        return "unsupported module format version " + std::to_string(d.sysVersion) + " (expected " +
               std::to_string(MOD_SYSVER) + ")";
    if (d.sysMachine != MOD_MACHINE)
        return "module built for machine word " + hex(d.sysMachine) + " (expected " + hex(MOD_MACHINE) + ")";
    if (!d.serverDefs) return "the descriptor has no server list";
    for (int i = 0; i < kMaxServers; ++i) {
        const ServerRecord& s = d.serverDefs[i];
        if (!s.className) return {};
        if (!s.name || !s.activate)
            return "server record " + std::to_string(i) + " lacks a name or an activation function";
        // A tag list ends at a zero tag code.
        int tags = 0;
        while (s.tagInfo && tags < kMaxTags && s.tagInfo[tags].tag != 0) ++tags;
        if (tags == kMaxTags)
            return "the tag list of server record " + std::to_string(i) + " has no terminating entry";
    }
    return "the server list has no terminating record";
}
}  // namespace

// ---------------------------------------------------------------- Module

Module::~Module() {
    if (handle_) dlclose(handle_);
}

std::vector<ServerInfo> Module::servers() const {
    std::vector<ServerInfo> out;
    for (const ServerRecord* s = descriptor_->serverDefs; s->className; ++s) {
        ServerInfo info{s->className, s->name, {}};
        for (const ServerTagInfo* t = s->tagInfo; t && t->tag != 0; ++t)
            if (t->string) info.tags.push_back({t->tag & kTagCodeBits, t->tag & kTagLanguageBits, t->string});
        out.push_back(std::move(info));
    }
    return out;
}

const ServerRecord* Module::findServer(const std::string& className, const std::string& name) const {
    for (const ServerRecord* s = descriptor_->serverDefs; s->className; ++s)
        if (className == s->className && name == s->name) return s;
    return nullptr;
}

// ---------------------------------------------------------------- Host

Host::Host() {
    Host* expected = nullptr;
    if (!g_current.compare_exchange_strong(expected, this)) throw HostError("another host is already running");
    services_[LWMESSAGEFUNCS_GLOBAL] = const_cast<LWMessageFuncs*>(messages_.table());
    services_[LWMTUTILFUNCS_GLOBAL] = const_cast<LWMTUtilFuncs*>(mutexGroups_.table());
    services_[LWFILEIOFUNCS_GLOBAL] = const_cast<LWFileIOFuncs*>(fileIO_.table());
    services_[LWPANELFUNCS_GLOBAL] = const_cast<LWPanelFuncs*>(panels_.table());
    // These services are functions rather than tables.
    services_[LWDIRINFOFUNC_GLOBAL] = reinterpret_cast<void*>(Directories::function());
    services_[LWFILEACTIVATEFUNC_GLOBAL] = reinterpret_cast<void*>(FileRequests::function());
    services_[LWFILEREQFUNC_GLOBAL] = reinterpret_cast<void*>(FileRequests::simpleFunction());
    xpanels_ = std::make_unique<XPanels>();
    animation_ = std::make_unique<Animation>();
    scene_ = std::make_unique<Scene>();
    textures_ = std::make_unique<Textures>();
    geometry_ = std::make_unique<Geometry>();
    surfaces_ = std::make_unique<Surfaces>(*scene_, *geometry_, *animation_);
    objects_ = std::make_unique<SceneObjects>(*scene_, *geometry_);
    instances_ = std::make_unique<Instances>();
    nodeEditor_ = std::make_unique<NodeEditor>(*this);
    xpanels_->registerWith(*this);
    animation_->registerWith(*this);
    scene_->registerWith(*this);
    objects_->registerWith(*this);
    registerObjectInfo(*this);
    textures_->registerWith(*this);
    surfaces_->registerWith(*this);
    nodeEditor_->registerWith(*this);
}

Host::~Host() {
    unloadAll();
    g_current.store(nullptr);
}

void Host::unloadAll() {
    // Channel servers, node graphs, instances and panels go first, while the
    // code of their callbacks is still loaded.
    animation_->removeServers();
    nodeEditor_->clear();  // node instances tell their inputs and outputs to go
    instances_->destroyAll();
    xpanels_->destroyAll();
    while (!modules_.empty()) unload(*modules_.back(), true);
}

Host* Host::current() { return g_current.load(); }

GlobalFunc* Host::lookupFunction() { return hostLookup; }

Module& Host::loadModule(const std::string& path) {
    for (const auto& m : modules_)
        if (m->path() == path) throw HostError("module " + path + " is already loaded");
    dlerror();
    // HOSTSIM_KEEP_MODULES_MAPPED keeps unloaded code mapped, so sanitizer
    // reports at exit can still name it.
    const bool keepMapped = std::getenv("HOSTSIM_KEEP_MODULES_MAPPED") != nullptr;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0));
    if (!handle) {
        const char* why = dlerror();
        throw HostError("cannot load module " + path + ": " + (why ? why : "unknown error"));
    }
    std::unique_ptr<Module> module(new Module);
    module->path_ = path;
    module->handle_ = handle;
    auto* descriptor = static_cast<const ModuleDescriptor*>(dlsym(handle, kDescriptorSymbol));
    if (!descriptor) throw HostError(path + " is not a plug-in module: it exports no " + kDescriptorSymbol);
    std::string problem = checkDescriptor(*descriptor);
    if (!problem.empty()) throw HostError(path + " is not a usable plug-in module: " + problem);
    module->descriptor_ = descriptor;
    if (descriptor->startup) {
        module->moduleData_ = descriptor->startup();
        if (!module->moduleData_) throw HostError("module " + path + " failed to start");
    }
    modules_.push_back(std::move(module));
    return *modules_.back();
}

void Host::unloadModule(Module& module) { unload(module, false); }

void Host::unload(Module& module, bool quitting) {
    for (auto it = modules_.begin(); it != modules_.end(); ++it) {
        if (it->get() != &module) continue;
        {
            std::lock_guard lock(mutex_);
            // A held global locks its module; only a quitting host unloads
            // it anyway.
            if (module.locks_ > 0 && !quitting)
                throw HostError("module " + module.path() + " is locked: " + std::to_string(module.locks_) +
                                " hold(s) of its global services were not released");
            // Answers of its global servers die with the module.
            globalAnswers_.clear();
        }
        if (module.descriptor_->shutdown) module.descriptor_->shutdown(module.moduleData_);
        modules_.erase(it);
        return;
    }
    throw HostError("module " + module.path() + " is not loaded by this host");
}

int Host::activate(const std::string& className, const std::string& name, int version, void* local,
                   void* serverData, GlobalFunc* lookup) {
    for (const auto& m : modules_)
        if (const ServerRecord* s = m->findServer(className, name))
            return s->activate(version, lookup, local, serverData);
    throw HostError("no loaded module serves " + className + " \"" + name + "\"");
}

void Host::registerService(const std::string& name, void* table) {
    std::lock_guard lock(mutex_);
    services_[name] = table;
}

void Host::unregisterService(const std::string& name) {
    std::lock_guard lock(mutex_);
    services_.erase(name);
}

uint32_t Host::systemWord() const {
    switch (application_) {
        case AppType::Modeler: return LWSYS_MODELER;
        case AppType::RenderNode: return LWSYS_SCREAMERNET;
        case AppType::Layout: break;
    }
    return LWSYS_LAYOUT;
}

uint32_t Host::productWord() const {
    return (static_cast<uint32_t>(major_) << 20) & LWINF_MAJORREV;
}

std::pair<void*, Module*> Host::answerFromGlobals(const std::string& name) {
    for (const auto& m : modules_) {
        const ServerRecord* s = m->findServer(LWGLOBALSERVICE_CLASS, name);
        if (!s) continue;
        LWGlobalService service{name.c_str(), nullptr};
        if (s->activate(globalVersion_, lookupFunction(), &service, nullptr) == AFUNC_OK && service.data)
            return {service.data, m.get()};
    }
    return {nullptr, nullptr};
}

void* Host::lookup(const char* cname, int use) {
    if (!cname) return nullptr;
    const std::string name = cname;
    void* answer = nullptr;
    bool known = true;
    if (name == LWSYSTEMID_GLOBAL) {
        answer = reinterpret_cast<void*>(static_cast<uintptr_t>(systemWord()));
    } else if (name == LWPRODUCTINFO_GLOBAL) {
        answer = reinterpret_cast<void*>(static_cast<uintptr_t>(productWord()));
    } else {
        std::unique_lock lock(mutex_);
        Module* supplier = nullptr;
        if (auto it = services_.find(name); it != services_.end()) {
            answer = it->second;
        } else if (auto g = globalAnswers_.find(name); g != globalAnswers_.end()) {
            std::tie(answer, supplier) = g->second;
        } else if (use != GFUSE_RELEASE) {
            // Activating a global runs plug-in code that looks services up
            // itself, so the host's lock is not held meanwhile.
            lock.unlock();
            auto found = answerFromGlobals(name);
            lock.lock();
            if (found.first) {
                // Another thread may have asked meanwhile; the first answer stays.
                std::tie(answer, supplier) = globalAnswers_.try_emplace(name, found).first->second;
            }
        }
        if (supplier && use == GFUSE_ACQUIRE) supplier->locks_++;
        if (supplier && use == GFUSE_RELEASE && uses_[name].held() > 0) supplier->locks_--;
        known = answer != nullptr || use == GFUSE_RELEASE;
    }
    count(name, use, known);
    return use == GFUSE_RELEASE ? nullptr : answer;
}

void Host::count(const std::string& name, int use, bool answered) {
    std::lock_guard lock(mutex_);
    ServiceUse& u = uses_[name];
    switch (use) {
        case GFUSE_ACQUIRE:
            if (answered) u.acquired++;
            else u.refused++;
            break;
        case GFUSE_RELEASE:
            if (u.held() > 0) u.released++;
            else u.unbalancedReleases++;
            break;
        default:
            u.transient++;
            if (!answered) u.refused++;
            break;
    }
}

ServiceUse Host::use(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = uses_.find(name);
    return it == uses_.end() ? ServiceUse{} : it->second;
}

std::map<std::string, ServiceUse> Host::uses() const {
    std::lock_guard lock(mutex_);
    return uses_;
}

bool Host::allBalanced() const {
    std::lock_guard lock(mutex_);
    for (const auto& [name, u] : uses_)
        if (!u.balanced()) return false;
    return true;
}

void Host::resetUses() {
    std::lock_guard lock(mutex_);
    uses_.clear();
}

}  // namespace hostsim
