#include "texture_node.h"

#include <cstdint>
#include <new>

#include "block_io.h"
#include "host_guard.h"
#include "lwhost.h"
#include "lwserver.h"

namespace korvalith {

namespace {

// The host's input event: the instance is the user data.
int onInputEvent(void* instance, NodeInputID input, LWNodalEvent event, ConnectionType) {
    return guardHostCall(1, [&] {
        return instance ? static_cast<TextureNode*>(instance)->inputEvent(input, event) : 1;
    });
}

struct PortSpec {
    ConnectionType type;
    const char* name;
};

const PortSpec kOutputs[TextureNode::kOutputCount] = {
    {NOT_COLOR, "Colour"}, {NOT_COLOR, "RGB"}, {NOT_SCALAR, "Alpha"}, {NOT_VECTOR, "Normal"}, {NOT_VECTOR, "Bump"},
};

const PortSpec kInputs[TextureNode::kInputCount] = {
    {NOT_COLOR, "BG Colour"}, {NOT_INTEGER, "Blending"}, {NOT_SCALAR, "Opacity"},   {NOT_SCALAR, "BumpAmp"},
    {NOT_INTEGER, "Invert"},  {NOT_SCALAR, "Quality"},   {NOT_SCALAR, "LoD Blending"}, {NOT_SCALAR, "LeftEdge"},
    {NOT_SCALAR, "Width"},    {NOT_SCALAR, "TopEdge"},   {NOT_SCALAR, "Height"},    {NOT_SCALAR, "U Tiles"},
    {NOT_SCALAR, "V Tiles"},  {NOT_SCALAR, "U Offset"},  {NOT_SCALAR, "V Offset"},  {NOT_VECTOR, "Scale"},
    {NOT_VECTOR, "Position"}, {NOT_VECTOR, "Rotation"},
};

using blocks::block;
using blocks::id;

const blocks::Level kNodeLevel{{id("VERS"), "Version"},   {id("KRVL"), "KorvalithImage"},
                               {id("OPAC"), "Opacity"},   {id("INVT"), "Invert"},
                               {id("BLDM"), "BlendMode"}, {id("BAMP"), "BumpAmplitude"},
                               {id("BCOL"), "BGColour"}};

}  // namespace

TextureNode::TextureNode() : LayerInstance(kTextureNodeInstance, false) { className_ = LWNODE_HCLASS; }

TextureNode* TextureNode::create(NodeID node, const char** error) {
    static const char* const kSetUpFailed = "The Korvalith Pro texture node could not be set up";
    // The base's constructor has asked for the core table.
    auto* instance = new (std::nothrow) TextureNode();
    if (!instance) return nullptr;
    instance->nodeFuncs_ = std::make_unique<HostService<LWNodeFuncs>>(slots::nodeFuncs);
    instance->inputFuncs_ = std::make_unique<HostService<LWNodeInputFuncs>>(slots::nodeInputFuncs);
    instance->outputFuncs_ = std::make_unique<HostService<LWNodeOutputFuncs>>(slots::nodeOutputFuncs);
    instance->utility_ = std::make_unique<HostService<LWNodeUtilityFuncs>>(slots::nodeUtilityFuncs);
    const char* failure = nullptr;
    const CoreServices* core = instance->core();
    if (!core) failure = kMissingCore;
    else if (core->apiVersion() != kCoreApiVersion) failure = kIncompatibleCore;
    else if (!instance->nodeFuncs_->available() || !instance->inputFuncs_->available() ||
             !instance->outputFuncs_->available() || !instance->utility_->available())
        failure = kSetUpFailed;
    if (failure) {
        if (error) *error = failure;
        delete instance;
        return nullptr;
    }

    instance->node_ = node;
    instance->context_ = node;
    const LWNodeFuncs* nodes = instance->nodeFuncs_->table();
    nodes->setNodeColor3(node, 120, 160, 0);
    LWChanGroupID group = nodes->chanGrp(node);
    instance->bgColour_.make(kParamColour, "BG_Colour", group, 0.0, "KorvalithPro");
    instance->bumpAmp_.make(kParamPercent, "BumpAmplitude", group, 1.0, "KorvalithPro");
    bool made = true;
    for (int o = 0; o < kOutputCount; ++o)
        made = instance->outputs_[o].create(node, kOutputs[o].type, kOutputs[o].name) && made;
    for (int i = 0; i < kInputCount; ++i)
        made = instance->inputs_[i].create(node, kInputs[i].type, kInputs[i].name, onInputEvent) && made;
    instance->uvMaps_ = std::make_unique<UVMapList>();
    if (!made || !instance->setUpLayer(group, true, false)) {
        if (error) *error = kSetUpFailed;
        delete instance;
        return nullptr;
    }
    return instance;
}

TextureNode::~TextureNode() {
    uvMaps_.reset();
    bgColour_.destroy();
    bumpAmp_.destroy();
    for (NodeOutput& o : outputs_) o.destroy();
    for (NodeInput& i : inputs_) i.destroy();
    if (panel_)
        if (const LWXPanelFuncs* x = panelService_.table()) x->destroy(panel_);
    panel_ = nullptr;
    utility_.reset();
    outputFuncs_.reset();
    inputFuncs_.reset();
    nodeFuncs_.reset();
    // The base then drops the image and hands the core table back.
}

int TextureNode::inputEvent(NodeInputID, LWNodalEvent event) {
    if (panel_)
        if (const LWXPanelFuncs* x = panelService_.table()) x->viewRefresh(panel_);
    if (event == NIE_INPUTNODEDESTROY) {
        auto* update = reinterpret_cast<LWInstUpdate*>(lookupService(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT));
        if (update) update(className_, this);
    }
    return 1;
}

LWError TextureNode::newTime(LWFrame frame, LWTime time) {
    LayerMapping& mapping = layer_.mapping;
    mapping.refreshForShader(time);
    // The segment too: a connected input starts from it whatever the projection.
    for (AnimParam* p : {&mapping.segLeft, &mapping.segTop, &mapping.segWidth, &mapping.segHeight})
        p->evaluate(time);
    bgColour_.evaluate(time);
    bumpAmp_.evaluate(time);
    return LayerInstance::newTime(frame, time);
}

// ---- panel values

void* TextureNode::panelGet(unsigned int cid) {
    // A control whose input is connected shows as unavailable.
    int overriding = -1;
    switch (cid) {
        case cid::kScale: overriding = kInScale; break;
        case cid::kPosition: overriding = kInPosition; break;
        case cid::kRotation: overriding = kInRotation; break;
        case cid::kQuality: overriding = kInQuality; break;
        case cid::kLodBlending: overriding = kInLodBlending; break;
        case cid::kStrength: overriding = kInOpacity; break;
        case cid::kInvert: overriding = kInInvert; break;
        case cid::kLeftEdge: overriding = kInLeftEdge; break;
        case cid::kSegmentWidth: overriding = kInWidth; break;
        case cid::kTopEdge: overriding = kInTopEdge; break;
        case cid::kSegmentHeight: overriding = kInHeight; break;
        case cid::kUTiles: overriding = kInUTiles; break;
        case cid::kVTiles: overriding = kInVTiles; break;
        case cid::kUOffset: overriding = kInUOffset; break;
        case cid::kVOffset: overriding = kInVOffset; break;
        case cid::kBlending: overriding = kInBlending; break;
        case cid::kBumpAmplitude: overriding = kInBumpAmp; break;
        case cid::kBgColour: overriding = kInBgColour; break;
        default: break;
    }
    if (overriding >= 0 && inputs_[overriding].connected()) return nullptr;
    // One process-wide int answers the blend mode; panel reads come from
    // the interface thread only.
    static int blendAnswer = 0;
    switch (cid) {
        case cid::kBlending: blendAnswer = blendMode; return &blendAnswer;
        case cid::kBumpAmplitude: return bumpAmp_.id();
        case cid::kBgColour: return bgColour_.id();
        default: return LayerInstance::panelGet(cid);
    }
}

int TextureNode::panelSet(unsigned int cid, void* value) {
    if (cid == cid::kBlending) {
        blendMode = value ? *static_cast<const int*>(value) : 0;
        return 1;
    }
    return LayerInstance::panelSet(cid, value);
}

// ---- copy, load, save

void TextureNode::copy(const LayerInstance& from) {
    if (from.kind() != kTextureNodeInstance) return;
    const auto& other = static_cast<const TextureNode&>(from);
    bgColour_.copyFrom(other.bgColour_);
    bumpAmp_.copyFrom(other.bumpAmp_);
    blendMode = other.blendMode;
    LayerInstance::copy(from);
}

LWError TextureNode::save(const LWSaveState* s) {
    blocks::leafI2(s, "VERS", "Version", 1);
    block(s, "KRVL", "KorvalithImage", false, [&] { layer_.save(s); });
    blocks::paramBlock(s, "OPAC", "Opacity", layer_.strength);
    block(s, "INVT", "Invert", true, [&] {
        const unsigned char v = layer_.invert ? 1 : 0;
        s->writeU1(s->writeData, &v, 1);
    });
    block(s, "BLDM", "BlendMode", true, [&] {
        const int32_t v = blendMode;
        s->writeI4(s->writeData, &v, 1);
    });
    blocks::paramBlock(s, "BAMP", "BumpAmplitude", bumpAmp_);
    blocks::paramBlock(s, "BCOL", "BGColour", bgColour_);
    return nullptr;
}

LWError TextureNode::load(const LWLoadState* l) {
    for (LWID code; (code = kNodeLevel.next(l)) != 0; l->endBlk(l->readData)) {
        if (code == id("VERS")) {
            blocks::readI2(l, 0);
        } else if (code == id("KRVL")) {
            layer_.load(l);
        } else if (code == id("OPAC")) {
            layer_.strength.load(l);
        } else if (code == id("INVT")) {
            unsigned char v = 0;
            // Only a 1 turns Invert on; any other byte (or none) is off.
            layer_.invert = l->readU1(l->readData, &v, 1) == 1 && v == 1;
        } else if (code == id("BLDM")) {
            int32_t v = 0;
            if (l->readI4(l->readData, &v, 1) == 1) blendMode = v;
        } else if (code == id("BAMP")) {
            bumpAmp_.load(l);
        } else if (code == id("BCOL")) {
            bgColour_.load(l);
        }
    }
    return nullptr;
}

}  // namespace korvalith
