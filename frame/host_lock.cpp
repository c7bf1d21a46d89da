#include "host_lock.h"

#include <array>

namespace korvalith {

bool usesCurrentMutexSet(uint32_t productWord) { return (productWord & 0xF00000u) > 0x800000u; }

namespace {

// Major version 9 and later: functions five to eight.
class CurrentMutexHolder final : public MutexHolder {
public:
    CurrentMutexHolder() {
        if (available()) group_ = table()->groupCreate(1);
    }
    ~CurrentMutexHolder() override {
        if (group_) table()->groupDestroy(group_);
    }
    void lock(int index) override { table()->groupLockMutex(group_, index); }
    void unlock(int index) override { table()->groupUnlockMutex(group_, index); }
    LWMTGroupID group() const { return group_; }

private:
    LWMTGroupID group_ = nullptr;
};

// Older hosts: functions one to four.
class OlderMutexHolder final : public MutexHolder {
public:
    OlderMutexHolder() {
        if (available()) group_ = table()->create();
    }
    ~OlderMutexHolder() override {
        if (group_) table()->destroy(group_);
    }
    void lock(int index) override { table()->lock(group_, index); }
    void unlock(int index) override { table()->unlock(group_, index); }
    LWMTUtilID group() const { return group_; }

private:
    LWMTUtilID group_ = nullptr;
};

// The host gave no mutex group: guard with process-local mutexes instead of
// running shared structures unguarded.
class LocalMutexHolder final : public MutexHolder {
public:
    void lock(int index) override { mutexes_[static_cast<size_t>(index)].lock(); }
    void unlock(int index) override { mutexes_[static_cast<size_t>(index)].unlock(); }

private:
    std::array<std::mutex, HostLock::kIndices> mutexes_;
};

template <typename Holder>
std::unique_ptr<MutexHolder> makeHolder() {
    auto holder = std::make_unique<Holder>();
    if (holder->group()) return holder;
    holder.reset();  // release the service before falling back
    return std::make_unique<LocalMutexHolder>();
}

}  // namespace

HostLock::HostLock()
    : holder_(usesCurrentMutexSet(hostProductWord()) ? makeHolder<CurrentMutexHolder>()
                                                     : makeHolder<OlderMutexHolder>()) {}

HostLock::~HostLock() = default;

namespace {
bool validIndex(int index) { return index >= 0 && index < HostLock::kIndices; }
}  // namespace

void HostLock::lock(int index) {
    if (validIndex(index)) holder_->lock(index);
}

void HostLock::unlock(int index) {
    if (validIndex(index)) holder_->unlock(index);
}

bool HostLock::hostBacked() const { return dynamic_cast<LocalMutexHolder*>(holder_.get()) == nullptr; }

bool HostLock::usesCurrentSet() const { return dynamic_cast<CurrentMutexHolder*>(holder_.get()) != nullptr; }

}  // namespace korvalith
