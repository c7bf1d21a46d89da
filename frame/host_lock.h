// Lock object over one mutex group of the host's "MultiThreading
// Utilities". Indices are per object. The function set is chosen once, when
// the lock is built, from the host's major version.
#pragma once

#include <memory>
#include <mutex>

#include "host_access.h"
#include "lwmtutil.h"

namespace korvalith {

// Holder of "MultiThreading Utilities" plus the group the host created.
class MutexHolder : public HostService<LWMTUtilFuncs> {
public:
    MutexHolder() : HostService<LWMTUtilFuncs>(slots::mtutil) {}
    ~MutexHolder() override = default;
    virtual void lock(int index) = 0;
    virtual void unlock(int index) = 0;
};

class HostLock {
public:
    HostLock();
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;
    virtual ~HostLock();
    // An index outside 0 … kIndices − 1 is refused: nothing is locked or
    // unlocked and nothing reaches the host.
    virtual void lock(int index);
    virtual void unlock(int index);

    // True when the host's mutexes guard this lock. Without the service the
    // lock falls back to mutexes of its own, so nothing runs unguarded.
    bool hostBacked() const;
    // True when the current (major version 9 and later) function set is used.
    bool usesCurrentSet() const;

    // Number of indices this system uses per lock object.
    static constexpr int kIndices = 4;

private:
    std::unique_ptr<MutexHolder> holder_;
};

// Locks one index for the lifetime of the scope, also when it is left by an
// exception.
class ScopedHostLock {
public:
    ScopedHostLock(HostLock& lock, int index) : lock_(lock), index_(index) { lock_.lock(index_); }
    ScopedHostLock(const ScopedHostLock&) = delete;
    ScopedHostLock& operator=(const ScopedHostLock&) = delete;
    ~ScopedHostLock() { lock_.unlock(index_); }

private:
    HostLock& lock_;
    int index_;
};

// True when a host with this product word gets the current function set.
bool usesCurrentMutexSet(uint32_t productWord);

}  // namespace korvalith
