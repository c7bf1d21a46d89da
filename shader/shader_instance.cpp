#include "shader_instance.h"

#include <cstdio>
#include <new>

#include "surface_channels.h"

namespace korvalith {

ShaderInstance::ShaderInstance() : LayerInstance(kShaderInstance) { className_ = LWSHADER_HCLASS; }

// The UV map list goes (and gives its object service back) before the layer.
ShaderInstance::~ShaderInstance() { uvMaps_.reset(); }

ShaderInstance* ShaderInstance::create(void* surface) {
    auto* instance = new (std::nothrow) ShaderInstance();
    if (!instance) return nullptr;
    instance->context_ = surface;
    HostService<LWSurfaceFuncs> surfaces(slots::surfaceFuncs);
    LWChanGroupID parent = nullptr;
    if (const LWSurfaceFuncs* s = surfaces.table(); s && surface) parent = s->chanGrp(instance->surface());
    instance->uvMaps_ = std::make_unique<UVMapList>();
    if (!instance->setUpLayer(parent, true)) {
        delete instance;
        return nullptr;
    }
    return instance;
}

LWError ShaderInstance::newTime(LWFrame frame, LWTime time) {
    if (!layer_.image() || !core()) return nullptr;
    layer_.mapping.refreshForShader(time);
    prepareFrame(frame, time);
    return nullptr;
}

const char* ShaderInstance::description() {
    const CoreServices* c = core();
    if (!layer_.image() || !c) return setDescription("Korvalith Pro 1.0.5a (Win64)", "");
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "KVP:%s - ", surfaceChannelShortName(layer_.surfaceChannel));
    return setDescription(prefix, c->imageName(layer_.image()));
}

LWTextureID ShaderInstance::targetTexture() const {
    HostService<LWSurfaceFuncs> surfaces(slots::surfaceFuncs);
    const LWSurfaceFuncs* s = surfaces.table();
    return s && context_ ? s->getTex(surface(), SURF_COLR) : nullptr;
}

unsigned int ShaderInstance::flags() const { return surfaceChannelFlag(layer_.surfaceChannel); }

}  // namespace korvalith
