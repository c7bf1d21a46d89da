// "ShaderHandler" and "ShaderInterface" servers "KorvalithPro".
#include "activation.h"
#include "host_guard.h"
#include "instance_callbacks.h"
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
        korvalith::fillInstanceFuncs(handler->inst, create);
        korvalith::fillItemFuncs(handler->item);
        korvalith::fillRenderFuncs(handler->rend);
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
