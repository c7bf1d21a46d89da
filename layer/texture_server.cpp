// "TextureHandler" and "TextureInterface" servers "KorvalithPro".
#include "activation.h"
#include "layer_instance.h"
#include "lw_handler.h"
#include "lw_host.h"
#include "servers.h"
#include "texture_panel.h"

namespace {

using korvalith::TextureInstance;

TextureInstance* asTexture(LWInstance instance) { return static_cast<TextureInstance*>(instance); }

LWInstance create(void*, void* context, LWError*) { return TextureInstance::create(context); }
void destroy(LWInstance instance) { delete asTexture(instance); }
LWError copy(LWInstance to, LWInstance from) {
    if (to && from) asTexture(to)->copy(*asTexture(from));
    return nullptr;
}
LWError load(LWInstance instance, const LWLoadState* state) {
    return instance ? asTexture(instance)->load(state) : nullptr;
}
LWError save(LWInstance instance, const LWSaveState* state) {
    return instance ? asTexture(instance)->save(state) : nullptr;
}
const char* describe(LWInstance instance) { return instance ? asTexture(instance)->description() : ""; }

const LWItemID* useItems(LWInstance instance) {
    return instance ? asTexture(instance)->layer().mapping.usedItems() : nullptr;
}
void changeID(LWInstance instance, const LWItemID* ids) {
    if (instance) asTexture(instance)->layer().mapping.changeItemIds(ids);
}

LWError init(LWInstance instance, int mode) { return instance ? asTexture(instance)->renderInit(mode) : nullptr; }
void cleanup(LWInstance instance) {
    if (instance) asTexture(instance)->renderCleanup();
}
LWError newTime(LWInstance instance, LWFrame frame, LWTime time) {
    return instance ? asTexture(instance)->newTime(frame, time) : nullptr;
}

double evaluate(LWInstance instance, LWTextureAccess* access) {
    return instance && access ? asTexture(instance)->evaluate(access) : 0.0;
}
unsigned int flags(LWInstance instance) { return instance ? asTexture(instance)->flags() : 0x0Fu; }

LWInstanceFuncs kInstanceFuncs{nullptr, create, destroy, copy, load, save, describe};
LWItemFuncs kItemFuncs{useItems, changeID};
LWRenderFuncs kRenderFuncs{init, cleanup, newTime};

}  // namespace

extern "C" int korvalithTextureActivate(int version, LWGlobalFunc* global, void* local, void*) {
    korvalith::HandlerActivation activation(global);
    if (version < LWTEXTURE_VERSION) return LWAFUNC_BADVERSION;
    auto* handler = static_cast<LWTextureHandler*>(local);
    if (!handler) return LWAFUNC_BADAPP;
    handler->inst = &kInstanceFuncs;
    handler->item = korvalith::hostApplicationType() == LWSYS_MODELER ? nullptr : &kItemFuncs;
    handler->rend = &kRenderFuncs;
    handler->evaluate = evaluate;
    handler->flags = flags;
    return LWAFUNC_OK;
}

extern "C" int korvalithTextureInterfaceActivate(int version, LWGlobalFunc* global, void* local, void*) {
    if (version != LWINTERFACE_VERSION) return LWAFUNC_BADVERSION;
    korvalith::activationPrologue(global);
    auto* ui = static_cast<LWInterface*>(local);
    if (!ui) return LWAFUNC_BADAPP;
    LWXPanelID panel = korvalith::createTexturePanel(static_cast<korvalith::LayerInstance*>(ui->inst));
    ui->panel = panel;
    return panel ? LWAFUNC_OK : LWAFUNC_BADAPP;
}
