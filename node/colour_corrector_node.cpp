#include "colour_corrector_node.h"

#include "block_io.h"

namespace korvalith {

namespace {

constexpr char kPlugin[] = "SimpleColourCorrector";

struct InputSpec {
    ConnectionType type;
    const char* name;
};
constexpr InputSpec kInputs[ColourCorrectorNode::kInputCount] = {
    {NOT_COLOR, "Colour"},    {NOT_SCALAR, "Scalar"},     {NOT_SCALAR, "Brightness"}, {NOT_SCALAR, "Contrast"},
    {NOT_SCALAR, "Hue"},      {NOT_SCALAR, "Saturation"}, {NOT_SCALAR, "Gamma"},      {NOT_INTEGER, "Invert"},
};

using namespace blocks;
const Level kNodeLevel{{id("VERS"), "Version"},
                       {id("ICOL"), "InColour"},
                       {id("ISCL"), "InScala"},
                       {id("SICC"), "SimpleColourCorrection"}};

}  // namespace

ColourCorrectorNode::ColourCorrectorNode(NodeID node) : NodeInstanceBase(node) {
    if (nodeFuncs_.table()) nodeFuncs_->setNodeColor3(node, 120, 160, 0);
    for (int i = 0; i < kInputCount; ++i) inputs_[i].create(node, kInputs[i].type, kInputs[i].name, inputEvent);
    colourOut_.create(node, NOT_COLOR, "Colour");
    scalarOut_.create(node, NOT_SCALAR, "Scalar");
    correction_.makeIn(channelGroup(), kPlugin);
    colour_.make(kParamColour, "Colour", channelGroup(), 0.0, kPlugin);
    scalar_.make(kParamNumber, "Scalar", channelGroup(), 0.0, kPlugin);
}

ColourCorrectorNode::~ColourCorrectorNode() {
    for (NodeInput& input : inputs_) input.destroy();
    colourOut_.destroy();
    scalarOut_.destroy();
    // The parameters go; the channel group is the node's and stays.
    correction_.destroy();
    colour_.destroy();
    scalar_.destroy();
    if (panel_ && ownsPanel_ && xpanel_.table()) xpanel_->destroy(panel_);
    panel_ = nullptr;
}

void ColourCorrectorNode::evaluate(LWNodalAccess* access, NodeOutputID output, NodeValue value) {
    if (!output || (output != colourOut_.id() && output != scalarOut_.id())) return;
    // The values in force for this spot: the connected inputs' where they
    // are connected, the settings of the last time change otherwise. They
    // stay on this call's stack, so no other spot sees them.
    double contrast = correction_.contrast.x(), brightness = correction_.brightness.x(), hue = correction_.hue.x(),
           saturation = correction_.saturation.x(), gamma = correction_.gamma.x();
    inputs_[kContrastIn].evaluate(access, &contrast);
    inputs_[kBrightnessIn].evaluate(access, &brightness);
    inputs_[kHueIn].evaluate(access, &hue);
    inputs_[kSaturationIn].evaluate(access, &saturation);
    inputs_[kGammaIn].evaluate(access, &gamma);
    int invert = correction_.invert ? 1 : 0;
    inputs_[kInvertIn].evaluate(access, &invert);
    const CorrectionValues settings =
        CorrectionValues::from(brightness, contrast, hue, saturation, gamma, invert != 0);

    if (output == colourOut_.id()) {
        double in[3] = {colour_.value()[0], colour_.value()[1], colour_.value()[2]};
        inputs_[kColourIn].evaluate(access, in);
        float rgb[3] = {static_cast<float>(in[0]), static_cast<float>(in[1]), static_cast<float>(in[2])};
        correctColour(settings, rgb);
        const double out[3] = {rgb[0], rgb[1], rgb[2]};
        colourOut_.set(value, out);
    } else {
        double in = scalar_.x();
        inputs_[kScalarIn].evaluate(access, &in);
        const double out = correctScalar(settings, static_cast<float>(in));
        scalarOut_.set(value, &out);
    }
}

void ColourCorrectorNode::newTime(LWTime time) {
    correction_.updateCorrection(time);
    scalar_.evaluate(time);
    colour_.evaluate(time);
}

void ColourCorrectorNode::copyFrom(const ColourCorrectorNode& other) {
    if (&other == this) return;
    colour_.copyFrom(other.colour_);
    scalar_.copyFrom(other.scalar_);
    correction_.copyFrom(other.correction_);
}

LWError ColourCorrectorNode::load(const LWLoadState* l) {
    for (LWID code; (code = kNodeLevel.next(l)) != 0; l->endBlk(l->readData)) {
        switch (code) {
            case id("VERS"): readI2(l, 0); break;
            case id("ICOL"): colour_.load(l); break;
            case id("ISCL"): scalar_.load(l); break;
            case id("SICC"): correction_.load(l); break;
            default: break;
        }
    }
    return nullptr;
}

LWError ColourCorrectorNode::save(const LWSaveState* s) const {
    leafI2(s, "VERS", "Version", 1);
    paramBlock(s, "ICOL", "InColour", colour_);
    paramBlock(s, "ISCL", "InScala", scalar_);
    block(s, "SICC", "SimpleColourCorrection", false, [&] { correction_.save(s); });
    return nullptr;
}

int ColourCorrectorNode::inputEvent(void* instance, NodeInputID, LWNodalEvent event, ConnectionType) {
    auto* node = static_cast<ColourCorrectorNode*>(instance);
    if (!node) return 1;
    if (node->panel_ && node->xpanel_.table()) node->xpanel_->viewRefresh(node->panel_);
    if (event == NIE_INPUTNODEDESTROY) node->instanceChanged();
    return 1;
}

}  // namespace korvalith
