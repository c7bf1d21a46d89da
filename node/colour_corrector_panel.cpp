// The colour corrector's panel: its two input values, the correction
// settings and the "Default" button. A control whose input is connected
// shows as unavailable.
#include "colour_corrector_node.h"
#include "host_guard.h"

namespace korvalith {

namespace {

enum : unsigned int {
    kColour = 0x9150,
    kScalar = 0x9156,
    kBrightness = 0x9147,
    kContrast = 0x9148,
    kHue = 0x9149,
    kSaturation = 0x914A,
    kGamma = 0x914B,
    kInvert = 0x914C,
    kDefault = 0x914D,
};

LWXPanelControl kControls[] = {
    {kColour, "Colour", "color-env"},         {kScalar, "Scalar", "float-env"},
    {kBrightness, "Brightness", "percent-env"}, {kContrast, "Contrast", "percent-env"},
    {kHue, "Hue", "angle-env"},               {kSaturation, "Saturation", "percent-env"},
    {kGamma, "Gamma", "float-env"},           {kInvert, "Invert", "iBoolean"},
    {kDefault, "Default", "vButton"},         {0, nullptr, nullptr},
};
LWXPanelDataDesc kData[] = {
    {kColour, "Colour", "color-env"},         {kScalar, "Scalar", "float-env"},
    {kBrightness, "Brightness", "percent-env"}, {kContrast, "Contrast", "percent-env"},
    {kHue, "Hue", "angle-env"},               {kSaturation, "Saturation", "percent-env"},
    {kGamma, "Gamma", "float-env"},           {kInvert, "Invert", "integer"},
    {0, nullptr, nullptr},
};

// The input that drives each value control.
int inputOf(unsigned int id) {
    switch (id) {
        case kColour: return ColourCorrectorNode::kColourIn;
        case kScalar: return ColourCorrectorNode::kScalarIn;
        case kBrightness: return ColourCorrectorNode::kBrightnessIn;
        case kContrast: return ColourCorrectorNode::kContrastIn;
        case kHue: return ColourCorrectorNode::kHueIn;
        case kSaturation: return ColourCorrectorNode::kSaturationIn;
        case kGamma: return ColourCorrectorNode::kGammaIn;
        case kInvert: return ColourCorrectorNode::kInvertIn;
        default: return -1;
    }
}

// The answer for "Invert", kept where the host can read it after the call.
int gInvertSlot = 0;

void* getValue(void* instance, unsigned int id) {
    return guardHostCall<void*>(nullptr, [&] {
        return instance ? static_cast<ColourCorrectorNode*>(instance)->panelGet(id) : nullptr;
    });
}

LWXPRefreshCode setValue(void* instance, unsigned int id, void* value) {
    return guardHostCall<LWXPRefreshCode>(LWXPRC_NONE, [&] {
        return instance ? static_cast<ColourCorrectorNode*>(instance)->panelSet(id, value) : LWXPRC_NONE;
    });
}

// A value being dragged redraws the node's preview; a changed value tells
// the host that the instance changed.
LWXPRefreshCode changed(LWXPanelID panel, unsigned int, unsigned int, int event) {
    guardHostCall([&] {
        auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
        auto* node = xpanel ? static_cast<ColourCorrectorNode*>(xpanel->getData(panel, 0)) : nullptr;
        if (!node) return;
        if (event == LWXPEVENT_TRACK) {
            auto* funcs = static_cast<const LWNodeFuncs*>(lookupService(LWNODEFUNCS_GLOBAL, GFUSE_TRANSIENT));
            if (funcs) funcs->UpdateNodePreview(node->node());
        } else if (event == LWXPEVENT_VALUE) {
            node->instanceChanged();
        }
    });
    return LWXPRC_NONE;
}

void destroyed(void* data) {
    guardHostCall([&] {
        if (data) static_cast<ColourCorrectorNode*>(data)->panelDestroyed();
    });
}

// "Default": neutral correction settings, invert left alone.
void resetButton(LWXPanelID panel, int) {
    guardHostCall([&] {
        auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
        if (!xpanel) return;
        if (auto* correction = static_cast<SimpleColourCorrection*>(xpanel->getData(panel, kDefault)))
            correction->resetCorrection();
        xpanel->viewRefresh(panel);
    });
}

}  // namespace

LWXPanelID ColourCorrectorNode::panel() {
    if (panel_) return panel_;
    const LWXPanelFuncs* x = xpanel_.table();
    if (!x) return nullptr;
    LWXPanelID made = x->create(LWXP_VIEW, kControls);
    if (!made) return nullptr;
    x->describe(made, kData, getValue, setValue);
    x->viewInst(made, this);
    x->setData(made, 0, this);
    LWXPanelHint hints[] = {
        XpBUTNOTIFY(kDefault, resetButton), XpDIVADD(kScalar), XpCHGNOTIFY(changed), XpDESTROYNOTIFY(destroyed),
        XpEND,
    };
    x->hint(made, 0, hints);
    x->setData(made, kDefault, &correction_);
    panel_ = made;
    ownsPanel_ = true;
    return panel_;
}

void* ColourCorrectorNode::panelGet(unsigned int id) {
    const int input = inputOf(id);
    if (input < 0 || inputs_[input].connected()) return nullptr;
    switch (id) {
        case kColour: return colour_.id();
        case kScalar: return scalar_.id();
        case kInvert: gInvertSlot = correction_.invert ? 1 : 0; return &gInvertSlot;
        default: return correction_.panelGet(id);
    }
}

LWXPRefreshCode ColourCorrectorNode::panelSet(unsigned int id, void* value) {
    if (id == kInvert && value) correction_.invert = *static_cast<int*>(value) != 0;
    correction_.markChanged();
    return LWXPRC_DFLT;
}

}  // namespace korvalith
