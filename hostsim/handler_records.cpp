#include "handler_records.h"

#include "host.h"

namespace hostsim {

int TextureHandlerRecords::activate(Host& host, const std::string& name, int version) {
    inst = {};
    item = {};
    rend = {};
    const bool tracksItems = host.application() != AppType::Modeler;
    local = {&inst, tracksItems ? &item : nullptr, &rend, nullptr, nullptr};
    const int result = host.activate(LWTEXTURE_HCLASS, name, version, &local);
    local.inst = &inst;
    local.item = tracksItems ? &item : nullptr;
    local.rend = &rend;
    return result;
}

int ShaderHandlerRecords::activate(Host& host, const std::string& name, int version) {
    inst = {};
    item = {};
    rend = {};
    const bool tracksItems = host.application() != AppType::Modeler;
    local = {&inst, tracksItems ? &item : nullptr, &rend, nullptr, nullptr};
    const int result = host.activate(LWSHADER_HCLASS, name, version, &local);
    local.inst = &inst;
    local.item = tracksItems ? &item : nullptr;
    local.rend = &rend;
    return result;
}

int ChannelHandlerRecords::activate(Host& host, const std::string& name, int version) {
    inst = {};
    item = {};
    const bool tracksItems = host.application() != AppType::Modeler;
    local = {&inst, tracksItems ? &item : nullptr, nullptr, nullptr};
    const int result = host.activate(LWCHANNEL_HCLASS, name, version, &local);
    local.inst = &inst;
    local.item = tracksItems ? &item : nullptr;
    return result;
}

int NodeHandlerRecords::activate(Host& host, const std::string& name, int version) {
    inst = {};
    item = {};
    rend = {};
    const bool tracksItems = host.application() != AppType::Modeler;
    local = {&inst, tracksItems ? &item : nullptr, &rend, nullptr, nullptr};
    const int result = host.activate(LWNODE_HCLASS, name, version, &local);
    local.inst = &inst;
    local.item = tracksItems ? &item : nullptr;
    local.rend = &rend;
    return result;
}

}  // namespace hostsim
