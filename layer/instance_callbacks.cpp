#include "instance_callbacks.h"

#include "host_access.h"
#include "host_guard.h"
#include "layer_instance.h"
#include "lwhost.h"

namespace korvalith {

namespace {

LayerInstance* asLayer(LWInstance instance) { return static_cast<LayerInstance*>(instance); }

void destroy(LWInstance instance) {
    guardHostCall([&] { delete asLayer(instance); });
}
LWError copy(LWInstance to, LWInstance from) {
    return guardHostCall<LWError>(kHostCallFailed, [&]() -> LWError {
        if (to && from) asLayer(to)->copy(*asLayer(from));
        return nullptr;
    });
}
LWError load(LWInstance instance, const LWLoadState* state) {
    return guardHostCall<LWError>(kHostCallFailed, [&] { return instance ? asLayer(instance)->load(state) : nullptr; });
}
LWError save(LWInstance instance, const LWSaveState* state) {
    return guardHostCall<LWError>(kHostCallFailed, [&] { return instance ? asLayer(instance)->save(state) : nullptr; });
}
const char* describe(LWInstance instance) {
    return guardHostCall<const char*>("", [&] { return instance ? asLayer(instance)->description() : ""; });
}

const LWItemID* useItems(LWInstance instance) {
    return guardHostCall<const LWItemID*>(
        nullptr, [&] { return instance ? asLayer(instance)->layer().mapping.usedItems() : nullptr; });
}
void changeID(LWInstance instance, const LWItemID* ids) {
    guardHostCall([&] {
        if (instance) asLayer(instance)->layer().mapping.changeItemIds(ids);
    });
}

LWError init(LWInstance instance, int mode) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asLayer(instance)->renderInit(mode) : nullptr; });
}
void cleanup(LWInstance instance) {
    guardHostCall([&] {
        if (instance) asLayer(instance)->renderCleanup();
    });
}
LWError newTime(LWInstance instance, LWFrame frame, LWTime time) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asLayer(instance)->newTime(frame, time) : nullptr; });
}

}  // namespace

void fillInstanceFuncs(LWInstanceFuncs* inst, InstanceCreate* create) {
    inst->priv = nullptr;
    inst->create = create;
    inst->destroy = destroy;
    inst->copy = copy;
    inst->load = load;
    inst->save = save;
    inst->descln = describe;
}

void fillItemFuncs(LWItemFuncs* item) {
    if (!item || hostApplicationType() == LWSYS_MODELER) return;
    item->useItems = useItems;
    item->changeID = changeID;
}

void fillRenderFuncs(LWRenderFuncs* rend) {
    rend->init = init;
    rend->cleanup = cleanup;
    rend->newTime = newTime;
}

}  // namespace korvalith
