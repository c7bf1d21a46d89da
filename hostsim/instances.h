// The handler instances of the stand-in host's scene. The host makes and
// destroys them through their server's instance functions, asks each one
// that tracks items which items it uses before a render, and tells it when
// item ids change (an item that is deleted changes to the null id) and
// when an item is renamed.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "lwhandler.h"
#include "lwrender.h"

namespace hostsim {

using IdChange = std::pair<LWItemID, LWItemID>;  // old id, new id

class Instances {
public:
    Instances() = default;
    Instances(const Instances&) = delete;
    Instances& operator=(const Instances&) = delete;

    // Makes an instance through funcs; items may be null (the server does
    // not track items). Null when the server made none; error then holds
    // what it said. The host keeps copies of both records for the instance.
    LWInstance create(const LWInstanceFuncs* funcs, const LWItemFuncs* items, void* context,
                      LWError* error = nullptr);
    // Destroys an instance this host made; unknown ones are ignored.
    void destroy(LWInstance instance);
    // Destroys every instance left, newest first, as the host does when it
    // clears its scene.
    void destroyAll();

    // Before a render: asks every instance that tracks items for the items
    // it uses and keeps each list (copied up to its null end).
    void gatherUsedItems();
    // The list the instance gave at the last gathering; empty before one.
    std::vector<LWItemID> usedItems(LWInstance instance) const;
    // How often the host asked the instance for its items.
    int usedItemsAsked(LWInstance instance) const;

    // Tells every instance that tracks items about ids that changed, in one
    // call each: the pairs in order, ended by a null old id.
    void changeIds(const std::vector<IdChange>& changes);

    // Tells every instance that tracks names that an item was renamed.
    void changeName(LWItemID item, const std::string& oldName, const std::string& newName);

    int count() const;

private:
    struct Entry {
        LWInstance instance;
        LWInstanceFuncs funcs;
        LWItemFuncs items;  // all null for a server that tracks no items
        std::vector<LWItemID> used;
        int asked = 0;
    };
    // Copies of the entries, so that plug-in code runs without the lock.
    std::vector<Entry> snapshot() const;

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;  // in creation order
};

}  // namespace hostsim
