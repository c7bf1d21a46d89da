// "MultiThreading Utilities": real mutex sets and thread groups. Each
// group remembers which set of functions created it; every call is counted
// so tests can see which set a plug-in used and whether it stayed balanced.
//
// The locks are critical sections, as on the host's own platform: the
// owner may take a lock again. That is counted apart, since a plug-in
// that relies on it would deadlock on a host with plain mutexes.
//
// The host also watches the lock order: it keeps, per thread, the mutexes
// the thread holds, and remembers every ordered pair (held, requested).
// When a pair is ever requested in both orders the two mutexes can
// deadlock, and the pair is counted once as an inversion.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "lwmtutil.h"
#include "thread_groups.h"

namespace hostsim {

struct MutexGroupStats {
    int createdOlder = 0;
    int createdCurrent = 0;
    int destroyed = 0;
    long locksOlder = 0;    // locks taken, not counting refused calls
    long locksCurrent = 0;
    long unlocks = 0;
    long reentrantLocks = 0;  // locks of a mutex the thread held already
    long badCalls = 0;  // unknown group, index out of range, unlock of a mutex the thread does not hold,
                        // mixed sets, a group destroyed while locked
    long inversions = 0;  // pairs of mutexes taken in both orders
    int live = 0;
    // Locks taken with either set; read it before and after a stretch of
    // work to see how many that work took.
    long locks() const { return locksOlder + locksCurrent; }
};

class MutexGroups {
public:
    MutexGroups();
    ~MutexGroups();
    const LWMTUtilFuncs* table() const { return &table_; }
    MutexGroupStats stats() const;

    LWMTGroupID create(bool current, int kind);
    void destroy(LWMTGroupID group, bool current);
    int lock(LWMTGroupID group, int index, bool current);
    int unlock(LWMTGroupID group, int index, bool current);
    // The threads of a group of the current set, or null (counted as a bad
    // call) for anything else.
    ThreadSet* threads(LWMTGroupID group);
    // The thread set that holds a thread id, or null.
    ThreadSet* setOf(LWMTThreadID thread);

private:
    struct Group;
    using MutexId = std::pair<const Group*, int>;
    Group* find(LWMTGroupID group, bool current);
    // Records that this thread asks for the mutex while holding others.
    void noteOrder(const std::vector<MutexId>& held, MutexId requested);
    void forget(const Group* group);

    LWMTUtilFuncs table_;
    mutable std::mutex mutex_;  // guards everything below
    std::set<Group*> groups_;
    std::map<std::thread::id, std::vector<MutexId>> held_;  // in the order taken
    std::set<std::pair<MutexId, MutexId>> order_;           // (taken first, taken while holding it)
    MutexGroupStats stats_;
};

}  // namespace hostsim
