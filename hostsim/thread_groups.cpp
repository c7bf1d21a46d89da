#include "thread_groups.h"

namespace hostsim {

namespace {
thread_local GroupThread* t_current = nullptr;
}

GroupThread* ThreadSet::current() { return t_current; }

ThreadSet::~ThreadSet() {
    abort();
    sync();
}

LWMTThreadID ThreadSet::add(LWMTThreadFunc func, void* arg) {
    if (!func) return nullptr;
    std::lock_guard lock(mutex_);
    if (running_) return nullptr;
    auto t = std::make_unique<GroupThread>();
    t->set = this;
    t->func = func;
    t->arg = arg;
    t->index = static_cast<int>(threads_.size());
    threads_.push_back(std::move(t));
    return threads_.back().get();
}

LWMTThreadID ThreadSet::thread(int index) const {
    std::lock_guard lock(mutex_);
    return index >= 0 && index < static_cast<int>(threads_.size()) ? threads_[static_cast<size_t>(index)].get()
                                                                     : nullptr;
}

int ThreadSet::count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(threads_.size());
}

bool ThreadSet::holds(LWMTThreadID thread) const {
    std::lock_guard lock(mutex_);
    for (const auto& t : threads_)
        if (t.get() == thread) return true;
    return false;
}

int ThreadSet::begin() {
    std::lock_guard lock(mutex_);
    if (running_ || threads_.empty()) return 0;
    running_ = true;
    aborted_.store(false);
    working_.store(static_cast<int>(threads_.size()));
    for (auto& t : threads_) {
        t->result.store(0);
        GroupThread* record = t.get();
        t->thread = std::thread([this, record] {
            t_current = record;
            record->result.store(record->func(record->arg));
            t_current = nullptr;
            working_.fetch_sub(1);
        });
    }
    return 1;
}

void ThreadSet::sync() {
    std::vector<std::thread> running;
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        for (auto& t : threads_) running.push_back(std::move(t->thread));
    }
    // Joined without the lock: the threads' functions may ask the group.
    for (auto& t : running)
        if (t.joinable()) t.join();
    std::lock_guard lock(mutex_);
    running_ = false;
}

bool ThreadSet::done() const { return working_.load() == 0; }

int ThreadSet::result(int index) const {
    std::lock_guard lock(mutex_);
    return index >= 0 && index < static_cast<int>(threads_.size())
               ? threads_[static_cast<size_t>(index)]->result.load()
               : 0;
}

}  // namespace hostsim
