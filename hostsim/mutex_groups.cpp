#include "mutex_groups.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

#include "host.h"

namespace hostsim {

struct MutexGroups::Group {
    explicit Group(bool current) : current(current), threads(this) {}
    bool current;
    std::array<std::mutex, LWMT_MUTEX_COUNT> mutexes;
    std::array<std::atomic<std::thread::id>, LWMT_MUTEX_COUNT> owners{};
    std::array<int, LWMT_MUTEX_COUNT> depth{};  // further takes by the owner; only the owner touches it
    ThreadSet threads;                          // used by groups of the current set only
};

namespace {
MutexGroups* groups() {
    Host* host = Host::current();
    return host ? &host->mutexGroups() : nullptr;
}

LWMTUtilID olderCreate() { return groups() ? groups()->create(false, 0) : nullptr; }
void olderDestroy(LWMTUtilID g) {
    if (groups()) groups()->destroy(g, false);
}
int olderLock(LWMTUtilID g, int i) { return groups() ? groups()->lock(g, i, false) : 0; }
int olderUnlock(LWMTUtilID g, int i) { return groups() ? groups()->unlock(g, i, false) : 0; }
LWMTGroupID currentCreate(int kind) { return groups() ? groups()->create(true, kind) : nullptr; }
void currentDestroy(LWMTGroupID g) {
    if (groups()) groups()->destroy(g, true);
}
int currentLock(LWMTGroupID g, int i) { return groups() ? groups()->lock(g, i, true) : 0; }
int currentUnlock(LWMTGroupID g, int i) { return groups() ? groups()->unlock(g, i, true) : 0; }

ThreadSet* threadsOf(LWMTGroupID g) { return groups() ? groups()->threads(g) : nullptr; }
LWMTThreadID groupAddThread(LWMTGroupID g, LWMTThreadFunc func, int, void* arg) {
    ThreadSet* t = threadsOf(g);
    return t ? t->add(func, arg) : nullptr;
}
LWMTThreadID groupGetThreadID(LWMTGroupID g, int index) {
    ThreadSet* t = threadsOf(g);
    return t ? t->thread(index) : nullptr;
}
int groupGetThreadCount(LWMTGroupID g) {
    ThreadSet* t = threadsOf(g);
    return t ? t->count() : 0;
}
int groupBegin(LWMTGroupID g) {
    ThreadSet* t = threadsOf(g);
    return t ? t->begin() : 0;
}
void groupSync(LWMTGroupID g) {
    if (ThreadSet* t = threadsOf(g)) t->sync();
}
int groupRun(LWMTGroupID g) {
    ThreadSet* t = threadsOf(g);
    if (!t || !t->begin()) return 0;
    t->sync();
    return 1;
}
void groupAbort(LWMTGroupID g) {
    if (ThreadSet* t = threadsOf(g)) t->abort();
}
// Threads cannot be killed safely here: killing aborts and waits.
void groupKill(LWMTGroupID g) {
    if (ThreadSet* t = threadsOf(g)) {
        t->abort();
        t->sync();
    }
}
int groupIsDone(LWMTGroupID g) {
    ThreadSet* t = threadsOf(g);
    return t && t->done() ? 1 : 0;
}
int groupIsAborted(LWMTGroupID g) {
    ThreadSet* t = threadsOf(g);
    return t && t->aborted() ? 1 : 0;
}
int groupThreadResult(LWMTGroupID g, int index) {
    ThreadSet* t = threadsOf(g);
    return t ? t->result(index) : 0;
}

// Threads outside any group keep their data here.
thread_local void* t_outsideData = nullptr;

GroupThread* byId(LWMTThreadID id) {
    return groups() && groups()->setOf(id) ? static_cast<GroupThread*>(id) : nullptr;
}
LWMTThreadID threadGetID() { return ThreadSet::current(); }
void threadSetData(void* ptr) {
    if (GroupThread* t = ThreadSet::current()) t->data = ptr;
    else t_outsideData = ptr;
}
void* threadGetData() {
    GroupThread* t = ThreadSet::current();
    return t ? t->data : t_outsideData;
}
void* threadGetArg() {
    GroupThread* t = ThreadSet::current();
    return t ? t->arg : nullptr;
}
void* threadGetArgByID(LWMTThreadID id) {
    GroupThread* t = byId(id);
    return t ? t->arg : nullptr;
}
int threadGetIndex() {
    GroupThread* t = ThreadSet::current();
    return t ? t->index : -1;
}
int threadGetIndexByID(LWMTThreadID id) {
    GroupThread* t = byId(id);
    return t ? t->index : -1;
}
int threadGetThreadCount(LWMTThreadID id) {
    GroupThread* t = byId(id);
    return t ? t->set->count() : 0;
}
LWMTGroupID threadGetGroupID(LWMTThreadID id) {
    GroupThread* t = byId(id);
    return t ? t->set->group() : nullptr;
}
int threadCheckAbort() {
    GroupThread* t = ThreadSet::current();
    return t && t->set->aborted() ? 1 : 0;
}
int threadCheckAbortByID(LWMTThreadID id) {
    GroupThread* t = byId(id);
    return t && t->set->aborted() ? 1 : 0;
}
void threadSleep(int delay) {
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}
void threadSetArg(void* ptr) {
    if (GroupThread* t = ThreadSet::current()) t->arg = ptr;
}
void threadSetIndex(int index) {
    if (GroupThread* t = ThreadSet::current()) t->index = index;
}
}  // namespace

MutexGroups::MutexGroups()
    : table_{olderCreate,        olderDestroy,        olderLock,          olderUnlock,         currentCreate,
             currentDestroy,     currentLock,         currentUnlock,      groupAddThread,      groupGetThreadID,
             groupGetThreadCount, groupRun,           groupBegin,         groupSync,           groupAbort,
             groupKill,          groupIsDone,         groupIsAborted,     groupThreadResult,   threadGetID,
             threadSetData,      threadGetData,       threadGetArg,       threadGetArgByID,    threadGetIndex,
             threadGetIndexByID, threadGetThreadCount, threadGetGroupID,  threadCheckAbort,    threadCheckAbortByID,
             threadSleep,        threadSetArg,        threadSetIndex} {}

MutexGroups::~MutexGroups() {
    for (Group* g : groups_) delete g;
}

MutexGroupStats MutexGroups::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

LWMTGroupID MutexGroups::create(bool current, int) {
    auto* g = new Group(current);
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
    Group* g;
    {
        std::lock_guard lock(mutex_);
        g = find(id, current);
        if (!g) return;
        for (auto& owner : g->owners) {
            if (owner.load() != std::thread::id()) stats_.badCalls++;  // destroyed while locked
        }
        forget(g);
        groups_.erase(g);
        stats_.destroyed++;
        stats_.live--;
    }
    // Deleting waits for the group's threads, which may call the service.
    delete g;
}

ThreadSet* MutexGroups::threads(LWMTGroupID id) {
    std::lock_guard lock(mutex_);
    Group* g = find(id, true);
    return g ? &g->threads : nullptr;
}

ThreadSet* MutexGroups::setOf(LWMTThreadID thread) {
    if (!thread) return nullptr;
    std::lock_guard lock(mutex_);
    for (Group* g : groups_)
        if (g->threads.holds(thread)) return &g->threads;
    return nullptr;
}

int MutexGroups::lock(LWMTGroupID id, int index, bool current) {
    Group* g;
    {
        std::lock_guard lock(mutex_);
        g = find(id, current);
        if (!g) return 0;
        if (index < 0 || index >= LWMT_MUTEX_COUNT) {
            stats_.badCalls++;
            return 0;
        }
        // A critical section lets its owner in again.
        if (g->owners[static_cast<size_t>(index)].load() == std::this_thread::get_id()) {
            g->depth[static_cast<size_t>(index)]++;
            stats_.reentrantLocks++;
            (current ? stats_.locksCurrent : stats_.locksOlder)++;
            return 1;
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
        if (index < 0 || index >= LWMT_MUTEX_COUNT ||
            g->owners[static_cast<size_t>(index)].load() != std::this_thread::get_id()) {
            stats_.badCalls++;
            return 0;
        }
        stats_.unlocks++;
        if (g->depth[static_cast<size_t>(index)] > 0) {
            g->depth[static_cast<size_t>(index)]--;
            return 1;
        }
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
