// The "Simple Colour Corrector" node: a colour and a scalar through the
// layers' colour correction (brightness, contrast, hue, saturation, gamma,
// invert), every setting drivable per spot by a node input. It needs no
// image core and works without KorvalithPro.
#pragma once

#include "anim_param.h"
#include "colour_correction.h"
#include "lwio.h"
#include "lwxpanel.h"
#include "node_instance_base.h"
#include "node_ports.h"

namespace korvalith {

class ColourCorrectorNode final : public NodeInstanceBase {
public:
    // Inputs in creation order.
    enum Input { kColourIn, kScalarIn, kBrightnessIn, kContrastIn, kHueIn, kSaturationIn, kGammaIn, kInvertIn,
                 kInputCount };

    explicit ColourCorrectorNode(NodeID node);
    ~ColourCorrectorNode() override;

    // One output at one spot; sets nothing for an output not its own.
    void evaluate(LWNodalAccess* access, NodeOutputID output, NodeValue value);
    void newTime(LWTime time);
    void copyFrom(const ColourCorrectorNode& other);
    LWError load(const LWLoadState* state);
    LWError save(const LWSaveState* state) const;

    // The host's input events: the panel shows the change, and a destroyed
    // source node changes the instance.
    static int inputEvent(void* instance, NodeInputID input, LWNodalEvent event, ConnectionType type);

    // The panel, made on the first request; null when the host has none.
    LWXPanelID panel();
    void* panelGet(unsigned int id);
    LWXPRefreshCode panelSet(unsigned int id, void* value);
    void panelDestroyed() { panel_ = nullptr; }
    SimpleColourCorrection& correction() { return correction_; }
    LWXPanelID openPanel() const { return panel_; }

private:
    HostService<LWXPanelFuncs> xpanel_{slots::xpanel};
    LWXPanelID panel_ = nullptr;
    bool ownsPanel_ = true;
    NodeInput inputs_[kInputCount];
    NodeOutput colourOut_, scalarOut_;
    SimpleColourCorrection correction_;
    AnimParam colour_, scalar_;
};

}  // namespace korvalith
