// The texture node's evaluation of one output at one spot: footprint, the
// inputs in force for the spot, mapping, one core sample, and the value.
// Everything a connected input changes lives on this call's stack.
#include <cmath>

#include "lwhost.h"
#include "texture_node.h"

namespace korvalith {

namespace {

double distance(const double a[3], const double b[3]) {
    const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

}  // namespace

double TextureNode::spotFootprint(const LWNodalAccess& a) const {
    // Without a camera (Modeler) the host's spot size is the spot's size.
    if (cameraless) return a.spotSize;
    // A camera ray's spot is one pixel at its length, as the texture layer
    // measures it; any other ray's widens with the camera's distance to
    // where it started as well.
    if (a.sourceID == cameraItem) return pixelAngle * a.rayLength;
    return (distance(cameraPosition, a.raySource) + a.rayLength) * pixelAngle * 0.5;
}

void TextureNode::evaluate(LWNodalAccess& a, NodeOutputID output, NodeValue slot) const {
    KorvalithImage* image = layer_.image();
    const CoreServices* c = core();
    if (!image || !c || !output) return;
    int which = -1;
    for (int o = 0; o < kOutputCount; ++o)
        if (outputs_[o].id() == output) which = o;
    if (which < 0) return;

    const double base = spotFootprint(a);
    const LayerMapping& mapping = layer_.mapping;
    SpotMapping m = mapping.spotMapping();
    inputs_[kInScale].evaluate(&a, m.scale);
    inputs_[kInPosition].evaluate(&a, m.position);
    inputs_[kInRotation].evaluate(&a, m.rotation);
    inputs_[kInUTiles].evaluate(&a, &m.uTiles);
    inputs_[kInVTiles].evaluate(&a, &m.vTiles);
    inputs_[kInUOffset].evaluate(&a, &m.uOffset);
    inputs_[kInVOffset].evaluate(&a, &m.vOffset);
    inputs_[kInLeftEdge].evaluate(&a, &m.segment[0]);
    inputs_[kInWidth].evaluate(&a, &m.segment[2]);
    inputs_[kInTopEdge].evaluate(&a, &m.segment[1]);
    inputs_[kInHeight].evaluate(&a, &m.segment[3]);
    int invertValue = layer_.invert ? 1 : 0;
    inputs_[kInInvert].evaluate(&a, &invertValue);
    const bool invert = invertValue != 0;
    double lodBlending = layer_.lodBlending.x();
    inputs_[kInLodBlending].evaluate(&a, &lodBlending);
    double quality = layer_.quality.x();
    inputs_[kInQuality].evaluate(&a, &quality);
    // Only a connected rotation moves the matrix off the cached one.
    if (inputs_[kInRotation].connected()) mapping.spotTransform(m);

    double lodScale = 1.0 / quality;
    const CoreServices* layerCore = layer_.core();
    if (layerCore && layerCore->getPreviewFlag() && (hostApplicationType() == LWSYS_MODELER || renderMode == 0))
        lodScale *= 25;

    const bool bump = which == kNormal || which == kBump;
    ProjectionSample s;
    s.withDirections = bump;
    s.footprint = base * lodScale;
    if (!mapping.mapNode(a, m, s)) return;
    // The projection's footprint: still the world size for the planar kinds,
    // 1 where its scales already turned the world size into image units.
    const double footprint = (s.uScale + s.vScale) * 0.5 * s.footprint;
    const double uv[2] = {s.u, s.v};

    if (bump) {
        double amplitude = bumpAmp_.x();
        inputs_[kInBumpAmp].evaluate(&a, &amplitude);
        if (invert) amplitude = -amplitude;
        float du = 0, dv = 0;
        c->sampleGradient(image, uv, footprint, lodBlending, layer_.channel, &du, &dv, mapping.uTiling,
                          mapping.vTiling);
        // The image's directions are the mapping's, in the object's space;
        // the gradient goes into world space through the object's axes (t
        // as a row vector), as the shader's bump does, so that it tilts the
        // world normal the right way on a turned object.
        double t[3], g[3];
        for (int k = 0; k < 3; ++k) t[k] = amplitude * (du * s.uDirection[k] + dv * s.vDirection[k]);
        for (int j = 0; j < 3; ++j) g[j] = t[0] * a.oXfrm[j] + t[1] * a.oXfrm[3 + j] + t[2] * a.oXfrm[6 + j];
        if (which == kBump) {
            outputs_[kBump].set(slot, g);
            return;
        }
        double n[3];
        for (int k = 0; k < 3; ++k) n[k] = a.wNorm[k] - g[k];
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        // A gradient that cancels the normal leaves no direction: the spot
        // keeps its shading normal.
        if (!(length > 0) || !std::isfinite(length))
            for (int k = 0; k < 3; ++k) n[k] = a.wNorm[k];
        else
            for (double& x : n) x /= length;
        outputs_[kNormal].set(slot, n);
        return;
    }

    float rgba[4] = {0, 0, 0, 1};
    float value = 0;
    c->sampleImage(image, uv, footprint, lodBlending, layer_.channel, rgba, &value, mapping.uTiling,
                   mapping.vTiling);
    if (which == kAlpha) {
        const double alpha = rgba[3];
        outputs_[kAlpha].set(slot, &alpha);
        return;
    }
    double rgb[3] = {rgba[0], rgba[1], rgba[2]};
    if (invert)
        for (double& x : rgb) x = 1 - x;
    if (which == kRGB) {
        outputs_[kRGB].set(slot, rgb);
        return;
    }
    int mode = blendMode;
    inputs_[kInBlending].evaluate(&a, &mode);
    double opacity = layer_.strength.x();
    inputs_[kInOpacity].evaluate(&a, &opacity);
    double background[3] = {bgColour_.value()[0], bgColour_.value()[1], bgColour_.value()[2]};
    inputs_[kInBgColour].evaluate(&a, background);
    double result[3] = {rgb[0], rgb[1], rgb[2]};
    // The host blends its fg (the image) over its bg (the background).
    if (const LWNodeUtilityFuncs* u = utilities())
        u->Blend(result, background, rgb, rgba[3] * opacity, static_cast<BlendingMode>(mode));
    outputs_[kColour].set(slot, result);
}

}  // namespace korvalith
