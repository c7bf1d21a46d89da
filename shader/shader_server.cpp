// "ShaderHandler" and "ShaderInterface" servers "KorvalithPro".
#include "activation.h"
#include "host_guard.h"
#include "lwhandler.h"
#include "lwhost.h"
#include "lwserver.h"
#include "lwshader.h"
#include "servers.h"
#include "shader_instance.h"
#include "shader_panel.h"

namespace {

using korvalith::ShaderInstance;

ShaderInstance* asShader(LWInstance instance) { return static_cast<ShaderInstance*>(instance); }

// Every callback answers its failure result when anything inside throws.
using korvalith::guardHostCall;
using korvalith::kHostCallFailed;

LWInstance create(void*, void* context, LWError* error) {
    return guardHostCall<LWInstance>(nullptr, [&]() -> LWInstance {
        LWInstance made = ShaderInstance::create(context);
        if (!made && error) *error = kHostCallFailed;
        return made;
    });
}
void destroy(LWInstance instance) {
    guardHostCall([&] { delete asShader(instance); });
}
LWError copy(LWInstance to, LWInstance from) {
    return guardHostCall<LWError>(kHostCallFailed, [&]() -> LWError {
        if (to && from) asShader(to)->copy(*asShader(from));
        return nullptr;
    });
}
LWError load(LWInstance instance, const LWLoadState* state) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asShader(instance)->load(state) : nullptr; });
}
LWError save(LWInstance instance, const LWSaveState* state) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asShader(instance)->save(state) : nullptr; });
}
const char* describe(LWInstance instance) {
    return guardHostCall<const char*>("", [&] { return instance ? asShader(instance)->description() : ""; });
}

const LWItemID* useItems(LWInstance instance) {
    return guardHostCall<const LWItemID*>(
        nullptr, [&] { return instance ? asShader(instance)->layer().mapping.usedItems() : nullptr; });
}
void changeID(LWInstance instance, const LWItemID* ids) {
    guardHostCall([&] {
        if (instance) asShader(instance)->layer().mapping.changeItemIds(ids);
    });
}

LWError init(LWInstance instance, int mode) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asShader(instance)->renderInit(mode) : nullptr; });
}
void cleanup(LWInstance instance) {
    guardHostCall([&] {
        if (instance) asShader(instance)->renderCleanup();
    });
}
LWError newTime(LWInstance instance, LWFrame frame, LWTime time) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asShader(instance)->newTime(frame, time) : nullptr; });
}

void evaluate(LWInstance instance, LWShaderAccess* access) {
    guardHostCall([&] {
        if (instance && access) asShader(instance)->evaluate(*access);
    });
}
unsigned int flags(LWInstance instance) {
    return guardHostCall(static_cast<unsigned int>(LWSHF_COLOR),
                         [&] { return instance ? asShader(instance)->flags() : static_cast<unsigned int>(LWSHF_COLOR); });
}

}  // namespace

extern "C" int korvalithShaderActivate(int version, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        korvalith::HandlerActivation activation(global);
        if (version < LWSHADER_VERSION) return AFUNC_BADVERSION;
        // The records are the host's: fill their members, never the pointers.
        auto* handler = static_cast<LWShaderHandler*>(local);
        if (!handler || !handler->inst || !handler->rend) return AFUNC_BADLOCAL;
        LWInstanceFuncs* inst = handler->inst;
        inst->priv = nullptr;
        inst->create = create;
        inst->destroy = destroy;
        inst->copy = copy;
        inst->load = load;
        inst->save = save;
        inst->descln = describe;
        // Modeler tracks no items and hands no item record.
        if (handler->item && korvalith::hostApplicationType() != LWSYS_MODELER) {
            handler->item->useItems = useItems;
            handler->item->changeID = changeID;
        }
        handler->rend->init = init;
        handler->rend->cleanup = cleanup;
        handler->rend->newTime = newTime;
        handler->evaluate = evaluate;
        handler->flags = flags;
        return AFUNC_OK;
    });
}

extern "C" int korvalithShaderInterfaceActivate(int version, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version != LWINTERFACE_VERSION) return AFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        auto* ui = static_cast<LWInterface*>(local);
        if (!ui) return AFUNC_BADLOCAL;
        LWXPanelID panel = korvalith::createShaderPanel(static_cast<ShaderInstance*>(ui->inst));
        ui->panel = panel;
        return panel ? AFUNC_OK : AFUNC_BADGLOBAL;
    });
}
