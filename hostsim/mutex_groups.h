// "MultiThreading Utilities": real mutex groups with both function sets.
// Each group remembers which set created it; every call is counted so
// tests can see which set a plug-in used and whether it stayed balanced.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

#include "lw_mtutil.h"

namespace hostsim {

struct MutexGroupStats {
    int createdOlder = 0;
    int createdCurrent = 0;
    int destroyed = 0;
    long locksOlder = 0;
    long locksCurrent = 0;
    long unlocks = 0;
    long badCalls = 0;  // unknown group, index out of range, unlock of an unlocked mutex, mixed sets
    int live = 0;
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

private:
    struct Group;
    Group* find(LWMTGroupID group, bool current);

    LWMTUtilFuncs table_;
    mutable std::mutex mutex_;
    std::set<Group*> groups_;
    MutexGroupStats stats_;
};

}  // namespace hostsim
