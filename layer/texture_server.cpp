// "TextureHandler" and "TextureInterface" servers "KorvalithPro".
#include "activation.h"
#include "host_guard.h"
#include "instance_callbacks.h"
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
        korvalith::fillInstanceFuncs(handler->inst, create);
        korvalith::fillItemFuncs(handler->item);
        korvalith::fillRenderFuncs(handler->rend);
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
