// "NodeHandler" and "NodeInterface" servers "SimpleColourCorrector" of
// KorvalithNode.
#include "activation.h"
#include "colour_corrector_node.h"
#include "host_guard.h"
#include "lwhandler.h"
#include "lwnodes.h"
#include "servers.h"

namespace {

using korvalith::ColourCorrectorNode;
using korvalith::guardHostCall;
using korvalith::kHostCallFailed;

ColourCorrectorNode* asNode(LWInstance instance) { return static_cast<ColourCorrectorNode*>(instance); }

LWInstance create(void*, void* context, LWError*) {
    return guardHostCall<LWInstance>(nullptr, [&] { return new ColourCorrectorNode(context); });
}
void destroy(LWInstance instance) {
    guardHostCall([&] { delete asNode(instance); });
}
LWError copy(LWInstance to, LWInstance from) {
    return guardHostCall<LWError>(kHostCallFailed, [&]() -> LWError {
        if (to && from) asNode(to)->copyFrom(*asNode(from));
        return nullptr;
    });
}
LWError load(LWInstance instance, const LWLoadState* state) {
    return guardHostCall<LWError>(kHostCallFailed, [&] { return instance ? asNode(instance)->load(state) : nullptr; });
}
LWError save(LWInstance instance, const LWSaveState* state) {
    return guardHostCall<LWError>(kHostCallFailed, [&] { return instance ? asNode(instance)->save(state) : nullptr; });
}
const char* describe(LWInstance instance) {
    return guardHostCall<const char*>("", [&] { return instance ? asNode(instance)->description() : ""; });
}

const LWItemID kNoItems[] = {nullptr};
const LWItemID* useItems(LWInstance) { return kNoItems; }
void changeID(LWInstance, const LWItemID*) {}

LWError init(LWInstance, int) { return nullptr; }
void cleanup(LWInstance) {}
LWError newTime(LWInstance instance, LWFrame, LWTime time) {
    return guardHostCall<LWError>(kHostCallFailed, [&]() -> LWError {
        if (instance) asNode(instance)->newTime(time);
        return nullptr;
    });
}

void evaluate(LWInstance instance, LWNodalAccess* access, NodeOutputID output, NodeValue value) {
    guardHostCall([&] {
        if (instance) asNode(instance)->evaluate(access, output, value);
    });
}
void customPreview(LWInstance, int, int) {}

}  // namespace

// Any handler version: the node uses nothing a later generation changed.
extern "C" int colourCorrectorActivate(int, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        korvalith::HandlerActivation activation(global);
        // The records are the host's: fill their members, never the pointers.
        auto* handler = static_cast<LWNodeHandler*>(local);
        if (!handler || !handler->inst || !handler->rend) return AFUNC_BADLOCAL;
        handler->inst->priv = nullptr;
        handler->inst->create = create;
        handler->inst->destroy = destroy;
        handler->inst->copy = copy;
        handler->inst->load = load;
        handler->inst->save = save;
        handler->inst->descln = describe;
        if (handler->item) {
            handler->item->useItems = useItems;
            handler->item->changeID = changeID;
        }
        handler->rend->init = init;
        handler->rend->cleanup = cleanup;
        handler->rend->newTime = newTime;
        handler->evaluate = evaluate;
        handler->customPreview = customPreview;
        return AFUNC_OK;
    });
}

extern "C" int colourCorrectorInterfaceActivate(int version, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version < LWINTERFACE_VERSION) return AFUNC_BADVERSION;
        auto* ui = static_cast<LWInterface*>(local);
        if (!ui) return AFUNC_OK;
        korvalith::activationPrologue(global);
        if (!ui->inst) return AFUNC_BADGLOBAL;
        ui->panel = static_cast<ColourCorrectorNode*>(ui->inst)->panel();
        return ui->panel ? AFUNC_OK : AFUNC_BADGLOBAL;
    });
}
