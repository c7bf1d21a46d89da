// "NodeHandler" and "NodeInterface" servers "KorvalithPro" of KorvalithNode:
// the texture node.
#include "activation.h"
#include "host_guard.h"
#include "instance_callbacks.h"
#include "lwhandler.h"
#include "lwnodes.h"
#include "servers.h"
#include "texture_node.h"
#include "texture_node_panel.h"

namespace {

using korvalith::guardHostCall;
using korvalith::TextureNode;

LWInstance create(void*, void* context, LWError* error) {
    return guardHostCall<LWInstance>(nullptr, [&]() -> LWInstance {
        const char* reason = nullptr;
        TextureNode* made = TextureNode::create(context, &reason);
        if (!made && error) *error = reason ? reason : korvalith::kHostCallFailed;
        return made;
    });
}

void evaluate(LWInstance instance, LWNodalAccess* access, NodeOutputID output, NodeValue value) {
    guardHostCall([&] {
        if (instance && access) static_cast<TextureNode*>(instance)->evaluate(*access, output, value);
    });
}

}  // namespace

extern "C" int korvalithNodeActivate(int version, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        korvalith::HandlerActivation activation(global);
        if (version < LWNODECLASS_VERSION) return AFUNC_BADVERSION;
        // The records are the host's: fill their members, never the pointers.
        auto* handler = static_cast<LWNodeHandler*>(local);
        if (!handler || !handler->inst || !handler->rend) return AFUNC_BADLOCAL;
        korvalith::fillInstanceFuncs(handler->inst, create);
        korvalith::fillItemFuncs(handler->item);
        korvalith::fillRenderFuncs(handler->rend);
        handler->evaluate = evaluate;
        handler->customPreview = nullptr;
        return AFUNC_OK;
    });
}

extern "C" int korvalithNodeInterfaceActivate(int version, GlobalFunc* global, void* local, void*) {
    return guardHostCall(AFUNC_BADGLOBAL, [&] {
        if (version != LWINTERFACE_VERSION) return AFUNC_BADVERSION;
        korvalith::activationPrologue(global);
        auto* ui = static_cast<LWInterface*>(local);
        if (!ui) return AFUNC_BADLOCAL;
        LWXPanelID panel = korvalith::textureNodePanel(static_cast<TextureNode*>(ui->inst));
        ui->panel = panel;
        return panel ? AFUNC_OK : AFUNC_BADGLOBAL;
    });
}
