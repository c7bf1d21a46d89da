#include "mutex_groups.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "host.h"

namespace hostsim {

struct MutexGroups::Group {
    bool current;
    std::array<std::mutex, LWMT_GROUP_MUTEXES> mutexes;
    std::array<std::atomic<std::thread::id>, LWMT_GROUP_MUTEXES> owners{};
};

namespace {
MutexGroups* groups() {
    Host* host = Host::current();
    return host ? &host->mutexGroups() : nullptr;
}

LWMTGroupID olderCreate() { return groups() ? groups()->create(false, 0) : nullptr; }
void olderDestroy(LWMTGroupID g) {
    if (groups()) groups()->destroy(g, false);
}
int olderLock(LWMTGroupID g, int i) { return groups() ? groups()->lock(g, i, false) : 0; }
int olderUnlock(LWMTGroupID g, int i) { return groups() ? groups()->unlock(g, i, false) : 0; }
LWMTGroupID currentCreate(int kind) { return groups() ? groups()->create(true, kind) : nullptr; }
void currentDestroy(LWMTGroupID g) {
    if (groups()) groups()->destroy(g, true);
}
int currentLock(LWMTGroupID g, int i) { return groups() ? groups()->lock(g, i, true) : 0; }
int currentUnlock(LWMTGroupID g, int i) { return groups() ? groups()->unlock(g, i, true) : 0; }
}  // namespace

MutexGroups::MutexGroups()
    : table_{olderCreate,  olderDestroy,   olderLock,   olderUnlock,
             currentCreate, currentDestroy, currentLock, currentUnlock} {}

MutexGroups::~MutexGroups() {
    for (Group* g : groups_) delete g;
}

MutexGroupStats MutexGroups::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

LWMTGroupID MutexGroups::create(bool current, int) {
    auto* g = new Group;
    g->current = current;
    std::lock_guard lock(mutex_);
    groups_.insert(g);
    (current ? stats_.createdCurrent : stats_.createdOlder)++;
    stats_.live++;
    return reinterpret_cast<LWMTGroupID>(g);
}

MutexGroups::Group* MutexGroups::find(LWMTGroupID id, bool current) {
    auto* g = reinterpret_cast<Group*>(id);
    if (!groups_.count(g) || g->current != current) {
        stats_.badCalls++;
        return nullptr;
    }
    return g;
}

void MutexGroups::destroy(LWMTGroupID id, bool current) {
    std::lock_guard lock(mutex_);
    Group* g = find(id, current);
    if (!g) return;
    for (auto& owner : g->owners) {
        if (owner.load() != std::thread::id()) stats_.badCalls++;  // destroyed while locked
    }
    forget(g);
    groups_.erase(g);
    delete g;
    stats_.destroyed++;
    stats_.live--;
}

int MutexGroups::lock(LWMTGroupID id, int index, bool current) {
    Group* g;
    {
        std::lock_guard lock(mutex_);
        g = find(id, current);
        if (!g) return 0;
        if (index < 0 || index >= LWMT_GROUP_MUTEXES) {
            stats_.badCalls++;
            return 0;
        }
        // The group's mutexes are not recursive: a second lock by the owner
        // would deadlock, so it is refused and counted instead.
        if (g->owners[static_cast<size_t>(index)].load() == std::this_thread::get_id()) {
            stats_.badCalls++;
            return 0;
        }
        (current ? stats_.locksCurrent : stats_.locksOlder)++;
        // The order is noted before waiting, so a pair that would deadlock
        // is seen even when this run happens not to.
        const auto held = held_.find(std::this_thread::get_id());
        if (held != held_.end()) noteOrder(held->second, MutexId{g, index});
    }
    g->mutexes[static_cast<size_t>(index)].lock();
    g->owners[static_cast<size_t>(index)].store(std::this_thread::get_id());
    std::lock_guard lock(mutex_);
    held_[std::this_thread::get_id()].push_back(MutexId{g, index});
    return 1;
}

int MutexGroups::unlock(LWMTGroupID id, int index, bool current) {
    Group* g;
    {
        std::lock_guard lock(mutex_);
        g = find(id, current);
        if (!g) return 0;
        if (index < 0 || index >= LWMT_GROUP_MUTEXES ||
            g->owners[static_cast<size_t>(index)].load() != std::this_thread::get_id()) {
            stats_.badCalls++;
            return 0;
        }
        stats_.unlocks++;
        // Mutexes may be unlocked in any order.
        const auto held = held_.find(std::this_thread::get_id());
        if (held != held_.end()) {
            auto& list = held->second;
            const auto at = std::find(list.begin(), list.end(), MutexId{g, index});
            if (at != list.end()) list.erase(at);
            if (list.empty()) held_.erase(held);
        }
    }
    g->owners[static_cast<size_t>(index)].store(std::thread::id());
    g->mutexes[static_cast<size_t>(index)].unlock();
    return 1;
}

void MutexGroups::noteOrder(const std::vector<MutexId>& held, MutexId requested) {
    for (const MutexId& first : held) {
        if (!order_.insert({first, requested}).second) continue;  // pair known already
        if (order_.count({requested, first})) stats_.inversions++;
    }
}

// A destroyed group's address may be reused by a new group, which must not
// inherit its order or its holds.
void MutexGroups::forget(const Group* group) {
    std::erase_if(order_, [&](const auto& pair) { return pair.first.first == group || pair.second.first == group; });
    for (auto it = held_.begin(); it != held_.end();) {
        std::erase_if(it->second, [&](const MutexId& m) { return m.first == group; });
        it = it->second.empty() ? held_.erase(it) : std::next(it);
    }
}

}  // namespace hostsim
