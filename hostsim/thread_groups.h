// The threads of one thread group of "MultiThreading Utilities". Threads
// are added while the group is idle; running starts one real thread each.
// A thread's function sees its record through the thread functions of the
// service (argument, index, data, abort flag), which find it through a
// per-thread pointer.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "lwmtutil.h"

namespace hostsim {

class ThreadSet;

struct GroupThread {
    ThreadSet* set = nullptr;
    LWMTThreadFunc func = nullptr;
    void* arg = nullptr;
    void* data = nullptr;
    int index = 0;
    std::atomic<int> result{0};
    std::thread thread;
};

class ThreadSet {
public:
    explicit ThreadSet(LWMTGroupID group) : group_(group) {}
    // Aborts a running group and waits for its threads.
    ~ThreadSet();
    ThreadSet(const ThreadSet&) = delete;
    ThreadSet& operator=(const ThreadSet&) = delete;

    LWMTGroupID group() const { return group_; }
    // A new thread, or null while the group runs or for a null function.
    LWMTThreadID add(LWMTThreadFunc func, void* arg);
    // The thread at the index, or null.
    LWMTThreadID thread(int index) const;
    int count() const;
    bool holds(LWMTThreadID thread) const;
    // Starts every thread (1), or answers 0 when the group has no threads
    // or runs already. A new run clears the abort flag and the results.
    int begin();
    // Waits for the threads of the current run.
    void sync();
    void abort() { aborted_.store(true); }
    bool aborted() const { return aborted_.load(); }
    // No thread of the current run is still working.
    bool done() const;
    int result(int index) const;

    // The group thread the caller runs in, or null outside one.
    static GroupThread* current();

private:
    LWMTGroupID group_;
    mutable std::mutex mutex_;  // guards threads_ and running_
    std::vector<std::unique_ptr<GroupThread>> threads_;
    bool running_ = false;  // begun and not yet synced
    std::atomic<int> working_{0};
    std::atomic<bool> aborted_{false};
};

}  // namespace hostsim
