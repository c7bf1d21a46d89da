#include "uv_map_list.h"

#include "host_guard.h"

namespace korvalith {

namespace {
// Only the UV map lists hold the object service.
ServiceSlot objectFuncs{LWOBJECTFUNCS_GLOBAL};
}  // namespace

UVMapList::UVMapList() : objects_(objectFuncs) {}

UVMapList::~UVMapList() = default;

int UVMapList::count() const {
    const LWObjectFuncs* o = objects_.table();
    if (!o || !o->numVMaps) return 1;
    const int n = o->numVMaps(LWVMAP_TXUV);
    return n > 0 ? n + 1 : 1;
}

const char* UVMapList::name(int i) const {
    const LWObjectFuncs* o = objects_.table();
    if (i <= 0 || !o || !o->vmapName) return "(none)";
    const char* n = o->vmapName(LWVMAP_TXUV, i - 1);
    return n ? n : "(none)";
}

int uvMapListCount(void* list) {
    return guardHostCall(1, [&] { return list ? static_cast<UVMapList*>(list)->count() : 1; });
}

const char* uvMapListName(void* list, int index) {
    return guardHostCall<const char*>("(none)",
                                      [&] { return list ? static_cast<UVMapList*>(list)->name(index) : "(none)"; });
}

}  // namespace korvalith
