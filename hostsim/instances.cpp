#include "instances.h"

#include <algorithm>

namespace hostsim {

namespace {
// Longest used-items list read before it counts as unterminated.
constexpr int kMaxUsedItems = 4096;
}  // namespace

LWInstance Instances::create(const LWInstanceFuncs* funcs, const LWItemFuncs* items, void* context,
                             LWError* error) {
    LWError said = nullptr;
    LWInstance made = funcs && funcs->create ? funcs->create(funcs->priv, context, &said) : nullptr;
    if (error) *error = said;
    if (!made) return nullptr;
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{made, *funcs, items ? *items : LWItemFuncs{}, {}, 0});
    return made;
}

void Instances::destroy(LWInstance instance) {
    void (*destroyFunc)(LWInstance) = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.instance == instance; });
        if (it == entries_.end()) return;
        destroyFunc = it->funcs.destroy;
        entries_.erase(it);
    }
    if (destroyFunc) destroyFunc(instance);
}

void Instances::destroyAll() {
    for (;;) {
        LWInstance last = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (entries_.empty()) return;
            last = entries_.back().instance;
        }
        destroy(last);
    }
}

std::vector<Instances::Entry> Instances::snapshot() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void Instances::gatherUsedItems() {
    for (const Entry& e : snapshot()) {
        if (!e.items.useItems) continue;
        std::vector<LWItemID> used;
        if (const LWItemID* ids = e.items.useItems(e.instance))
            for (int i = 0; i < kMaxUsedItems && ids[i]; ++i) used.push_back(ids[i]);
        std::lock_guard lock(mutex_);
        for (Entry& live : entries_)
            if (live.instance == e.instance) {
                live.used = std::move(used);
                live.asked++;
            }
    }
}

std::vector<LWItemID> Instances::usedItems(LWInstance instance) const {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_)
        if (e.instance == instance) return e.used;
    return {};
}

int Instances::usedItemsAsked(LWInstance instance) const {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_)
        if (e.instance == instance) return e.asked;
    return 0;
}

void Instances::changeIds(const std::vector<IdChange>& changes) {
    if (changes.empty()) return;
    std::vector<LWItemID> pairs;
    for (const auto& [from, to] : changes) {
        pairs.push_back(from);
        pairs.push_back(to);
    }
    pairs.push_back(nullptr);
    pairs.push_back(nullptr);
    for (const Entry& e : snapshot())
        if (e.items.changeID) e.items.changeID(e.instance, pairs.data());
}

void Instances::changeName(LWItemID item, const std::string& oldName, const std::string& newName) {
    const LWNameChangeData change{oldName.c_str(), newName.c_str(), item};
    for (const Entry& e : snapshot())
        if (e.items.changeName) e.items.changeName(e.instance, &change);
}

int Instances::count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(entries_.size());
}

}  // namespace hostsim
