// Process-wide access to the host: the service lookup of the latest
// activation, the host's system and product words, and counted service
// holders. Each module compiles its own copy, so each keeps its own state.
#pragma once

#include <atomic>
#include <cstdint>

#include "lwserver.h"

namespace korvalith {

// The lookup function handed to the most recent activation (null before any).
void setHostLookup(GlobalFunc* lookup);
GlobalFunc* hostLookup();

// Asks the host through the stored lookup; null when there is none.
void* lookupService(const char* name, int use);

// Words as read by the latest activation prologue (0 before any).
void setHostWords(uint32_t systemWord, uint32_t productWord);
uint32_t hostSystemWord();
uint32_t hostProductWord();
uint32_t hostApplicationType();  // LWSYS_LAYOUT, LWSYS_MODELER or LWSYS_SCREAMERNET
int hostMajorVersion();

// One process-wide pair per acquired service: the pointer the host last
// returned and the number of holders alive. Counts change from render
// threads, so both are atomic. The host keeps a use count of its own per
// service; it sees one release for every acquisition it answered.
struct ServiceSlot {
    const char* name;
    std::atomic<void*> pointer{nullptr};
    std::atomic<int32_t> count{0};
};

// Asks with use 1; a non-null answer is stored and counted. Returns the answer.
void* acquireService(ServiceSlot& slot);
// Subtracts one and tells the host with use 2, so the host's count of the
// service drops by the one use this acquisition added.
void releaseService(ServiceSlot& slot);

// Holder of one acquired service: acquires when built, releases when
// destroyed. A holder answers with what its own acquisition returned, and a
// holder whose acquisition the host refused releases nothing, so a refusal
// can never take a use away from another holder.
class HostServices {
public:
    explicit HostServices(ServiceSlot& slot) : slot_(slot), service_(acquireService(slot_)) {}
    HostServices(const HostServices&) = delete;
    HostServices& operator=(const HostServices&) = delete;
    virtual ~HostServices() {
        if (service_) releaseService(slot_);
    }
    virtual bool available() const { return service_ != nullptr; }
    virtual void* get() const { return service_; }
    const char* name() const { return slot_.name; }

private:
    ServiceSlot& slot_;
    void* service_;
};

// Typed holder: `HostService<LWMessageFuncs> m(slots::messages);`
template <typename Table>
class HostService : public HostServices {
public:
    explicit HostService(ServiceSlot& slot) : HostServices(slot) {}
    const Table* table() const { return static_cast<const Table*>(get()); }
    const Table* operator->() const { return table(); }
};

namespace slots {
// The services this module acquires.
inline ServiceSlot messages{"Info Messages 2"};
inline ServiceSlot mtutil{"MultiThreading Utilities"};
inline ServiceSlot panels{"LWPanelServices"};
inline ServiceSlot xpanel{"LWXPanel"};
inline ServiceSlot fileIO{"File IO"};
inline ServiceSlot dirInfo{"Directory Info"};
inline ServiceSlot fileRequest{"File Request 2"};
inline ServiceSlot vparm{"LWVParmFuncs 2"};
inline ServiceSlot textureFuncs{"Texture Functions 3"};
inline ServiceSlot core{"KorvalithCoreServices"};
}  // namespace slots

}  // namespace korvalith
