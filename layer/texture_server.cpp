// "TextureHandler" and "TextureInterface" servers "KorvalithPro".
#include "activation.h"
#include "host_guard.h"
#include "layer_instance.h"
#include "lwhandler.h"
#include "lwhost.h"
#include "lwserver.h"
#include "lwtexture.h"
#include "servers.h"
#include "texture_panel.h"

namespace {

using korvalith::TextureInstance;

TextureInstance* asTexture(LWInstance instance) { return static_cast<TextureInstance*>(instance); }

// Every callback answers its failure result when anything inside throws.
using korvalith::guardHostCall;
using korvalith::kHostCallFailed;

LWInstance create(void*, void* context, LWError* error) {
    return guardHostCall<LWInstance>(nullptr, [&]() -> LWInstance {
        LWInstance made = TextureInstance::create(context);
        if (!made && error) *error = kHostCallFailed;
        return made;
    });
}
void destroy(LWInstance instance) {
    guardHostCall([&] { delete asTexture(instance); });
}
LWError copy(LWInstance to, LWInstance from) {
    return guardHostCall<LWError>(kHostCallFailed, [&]() -> LWError {
        if (to && from) asTexture(to)->copy(*asTexture(from));
        return nullptr;
    });
}
LWError load(LWInstance instance, const LWLoadState* state) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asTexture(instance)->load(state) : nullptr; });
}
LWError save(LWInstance instance, const LWSaveState* state) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asTexture(instance)->save(state) : nullptr; });
}
const char* describe(LWInstance instance) {
    return guardHostCall<const char*>("", [&] { return instance ? asTexture(instance)->description() : ""; });
}

const LWItemID* useItems(LWInstance instance) {
    return guardHostCall<const LWItemID*>(
        nullptr, [&] { return instance ? asTexture(instance)->layer().mapping.usedItems() : nullptr; });
}
void changeID(LWInstance instance, const LWItemID* ids) {
    guardHostCall([&] {
        if (instance) asTexture(instance)->layer().mapping.changeItemIds(ids);
    });
}

LWError init(LWInstance instance, int mode) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asTexture(instance)->renderInit(mode) : nullptr; });
}
void cleanup(LWInstance instance) {
    guardHostCall([&] {
        if (instance) asTexture(instance)->renderCleanup();
    });
}
LWError newTime(LWInstance instance, LWFrame frame, LWTime time) {
    return guardHostCall<LWError>(kHostCallFailed,
                                  [&] { return instance ? asTexture(instance)->newTime(frame, time) : nullptr; });
}

double evaluate(LWInstance instance, LWTextureAccess* access) {
    return guardHostCall(0.0, [&] { return instance && access ? asTexture(instance)->evaluate(access) : 0.0; });
}
unsigned int flags(LWInstance instance) {
    return guardHostCall(TextureInstance::kFlags,
                         [&] { return instance ? asTexture(instance)->flags() : TextureInstance::kFlags; });
}

}  // namespace

extern "C" int korvalithTextureActivate(int version, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        korvalith::HandlerActivation activation(global);
        if (version < LWTEXTURE_VERSION) return AFUNC_BADVERSION;
        // The records are the host's: fill their members, never the pointers.
        auto* handler = static_cast<LWTextureHandler*>(local);
        if (!handler || !handler->inst || !handler->rend) return AFUNC_BADLOCAL;
        LWInstanceFuncs* inst = handler->inst;
        inst->priv = nullptr;
        inst->create = create;
        inst->destroy = destroy;
        inst->copy = copy;
        inst->load = load;
        inst->save = save;
        inst->descln = describe;
        // Modeler tracks no items and hands no item record; elsewhere a host
        // may still leave it out.
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

extern "C" int korvalithTextureInterfaceActivate(int version, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version != LWINTERFACE_VERSION) return AFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        auto* ui = static_cast<LWInterface*>(local);
        if (!ui) return AFUNC_BADLOCAL;
        LWXPanelID panel = korvalith::createTexturePanel(static_cast<korvalith::LayerInstance*>(ui->inst));
        ui->panel = panel;
        return panel ? AFUNC_OK : AFUNC_BADGLOBAL;
    });
}
