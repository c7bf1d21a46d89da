// The instance of the "NodeHandler" server "KorvalithPro": a layer instance
// that maps each spot of the node editor through the whole mapping, samples
// the image through the core table of KorvalithPro and hands the host five
// outputs. Connected inputs replace settings for the spot being evaluated.
#pragma once

#include <memory>

#include "anim_param.h"
#include "layer_instance.h"
#include "lwnodes.h"
#include "node_ports.h"
#include "uv_map_list.h"

namespace korvalith {

class TextureNode final : public LayerInstance {
public:
    enum Output : int { kColour, kRGB, kAlpha, kNormal, kBump, kOutputCount };
    enum Input : int {
        kInBgColour,
        kInBlending,
        kInOpacity,
        kInBumpAmp,
        kInInvert,
        kInQuality,
        kInLodBlending,
        kInLeftEdge,
        kInWidth,
        kInTopEdge,
        kInHeight,
        kInUTiles,
        kInVTiles,
        kInUOffset,
        kInVOffset,
        kInScale,
        kInPosition,
        kInRotation,
        kInputCount
    };

    // The node of a node handle. On failure null, with *error set to the
    // reason the host shows (the incompatible-version text among them).
    static TextureNode* create(NodeID node, const char** error);
    ~TextureNode() override;

    LWError load(const LWLoadState* state) override;
    LWError save(const LWSaveState* state) override;
    void copy(const LayerInstance& from) override;
    LWError newTime(LWFrame frame, LWTime time) override;
    void* panelGet(unsigned int id) override;
    int panelSet(unsigned int id, void* value) override;

    // The value of one output at one spot, handed to the host through the
    // value slot. Reads the instance and the spot only, from any thread.
    void evaluate(LWNodalAccess& access, NodeOutputID output, NodeValue value) const;

    // The host's input event: refreshes the panel; a destroyed input node
    // asks the host to update the instance.
    int inputEvent(NodeInputID input, LWNodalEvent event);

    NodeID node() const { return node_; }
    UVMapList& uvMaps() { return *uvMaps_; }
    const NodeInput& input(Input i) const { return inputs_[i]; }
    const NodeOutput& output(Output o) const { return outputs_[o]; }
    const LWNodeUtilityFuncs* utilities() const { return utility_ ? utility_->table() : nullptr; }
    AnimParam& backgroundColour() { return bgColour_; }
    AnimParam& bumpAmplitude() { return bumpAmp_; }
    int blendMode = 0;

private:
    TextureNode();
    // The base footprint of a spot before quality and projection.
    double spotFootprint(const LWNodalAccess& access) const;

    NodeID node_ = nullptr;
    std::unique_ptr<HostService<LWNodeFuncs>> nodeFuncs_;
    std::unique_ptr<HostService<LWNodeInputFuncs>> inputFuncs_;
    std::unique_ptr<HostService<LWNodeOutputFuncs>> outputFuncs_;
    std::unique_ptr<HostService<LWNodeUtilityFuncs>> utility_;
    std::unique_ptr<UVMapList> uvMaps_;
    NodeOutput outputs_[kOutputCount];
    NodeInput inputs_[kInputCount];
    AnimParam bgColour_, bumpAmp_;
};

// The text shown when KorvalithPro's table has another interface version.
inline constexpr const char* kIncompatibleCore = "Incompatible version of Korvalith Pro installed, Version 1.0.5a expected";
// The text shown when the host has no core table (KorvalithPro is missing).
inline constexpr const char* kMissingCore = "Korvalith Pro is not installed: the texture node needs its core services";
// The interface version of the core table this module is built against.
inline constexpr int kCoreApiVersion = 112;

}  // namespace korvalith
