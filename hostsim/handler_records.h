// The records the host hands a handler's activation. The host owns the
// handler record and the instance, item and render records it points to;
// the activation fills their members (local->inst->create = ...) and the
// handler's own functions, and leaves the pointers alone. The host reads
// only its own records afterwards: a server that points the handler record
// elsewhere has filled nothing the host sees. In Modeler the host tracks no
// items and hands no item record: local->item is null.
#pragma once

#include <string>

#include "lwchannel.h"
#include "lwnodes.h"
#include "lwshader.h"
#include "lwtexture.h"

namespace hostsim {

class Host;

class TextureHandlerRecords {
public:
    TextureHandlerRecords() = default;
    TextureHandlerRecords(const TextureHandlerRecords&) = delete;
    TextureHandlerRecords& operator=(const TextureHandlerRecords&) = delete;

    // Clears the records, points local at them (the item record only
    // outside Modeler) and activates the "TextureHandler" server of this
    // name with them. Answers what the activation returned; throws
    // HostError when no loaded module serves the name.
    int activate(Host& host, const std::string& name, int version = LWTEXTURE_VERSION);

    // The item record as the host uses it: null where it handed none.
    const LWItemFuncs* items() const { return local.item; }

    // The handler record as the activation left it, pointing at the host's
    // records below.
    LWTextureHandler local{};
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
};

// The same for a "ShaderHandler" activation, which the host makes when a
// shader is added to a surface.
class ShaderHandlerRecords {
public:
    ShaderHandlerRecords() = default;
    ShaderHandlerRecords(const ShaderHandlerRecords&) = delete;
    ShaderHandlerRecords& operator=(const ShaderHandlerRecords&) = delete;

    int activate(Host& host, const std::string& name, int version = LWSHADER_VERSION);
    const LWItemFuncs* items() const { return local.item; }

    LWShaderHandler local{};
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
};

// The same for a "ChannelHandler" activation, which the host makes when a
// channel handler is applied to a channel.
class ChannelHandlerRecords {
public:
    ChannelHandlerRecords() = default;
    ChannelHandlerRecords(const ChannelHandlerRecords&) = delete;
    ChannelHandlerRecords& operator=(const ChannelHandlerRecords&) = delete;

    int activate(Host& host, const std::string& name, int version = LWCHANNEL_VERSION);
    const LWItemFuncs* items() const { return local.item; }

    LWChannelHandler local{};
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
};

// The same for a "NodeHandler" activation, which the host makes when a node
// of the server's type is first added to a graph; the node's evaluate and
// customPreview are read from local.
class NodeHandlerRecords {
public:
    NodeHandlerRecords() = default;
    NodeHandlerRecords(const NodeHandlerRecords&) = delete;
    NodeHandlerRecords& operator=(const NodeHandlerRecords&) = delete;

    int activate(Host& host, const std::string& name, int version = LWNODECLASS_VERSION);
    const LWItemFuncs* items() const { return local.item; }

    LWNodeHandler local{};
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
};

}  // namespace hostsim
