// The shader's evaluation of one spot: footprint, mapping, sample, and the
// blend of the image value into the surface channel.
#include <cmath>
#include <cstdint>

#include "shader_instance.h"
#include "surface_channels.h"

namespace korvalith {

namespace {

// The id that spots of surfaces belonging to no object carry.
const LWItemID kNoObjectSpot = reinterpret_cast<LWItemID>(static_cast<uintptr_t>(0x10007FFF));

double distance(const double a[3], const double b[3]) {
    const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// s := (1 − d)·s + x·d
inline void blend(double& s, double x, double d) { s = (1 - d) * s + x * d; }

}  // namespace

double ShaderInstance::spotFootprint(const LWShaderAccess& a) const {
    // Without a camera (Modeler) the host's spot size is the spot's size.
    if (cameraless) return a.spotSize;
    // A camera ray's spot widens with its length; any other ray's with the
    // camera's distance to where it started as well.
    if (a.sourceID == cameraItem) return pixelAngle * a.rayLength * 0.5;
    return (distance(a.raySource, cameraPosition) + a.rayLength) * pixelAngle * 0.5;
}

void ShaderInstance::evaluate(LWShaderAccess& a) const {
    const LayerMapping& mapping = layer_.mapping;
    if (a.objID == kNoObjectSpot && mapping.projectionKind() == kUV) return;
    KorvalithImage* image = layer_.image();
    const CoreServices* c = core();
    const int channel = layer_.surfaceChannel;
    if (!image || !c || channel < 0 || channel >= kSurfaceChannelCount) return;

    const double footprint = spotFootprint(a) * footprintFactor;
    ProjectionSample sample;
    sample.footprint = footprint;
    // Only the bump tilts the normal along the image's directions.
    sample.withDirections = channel == kChannelBump;
    double falloff = 1.0;
    if (!mapping.mapPoint(a, sample, &falloff)) return;
    const double amount = falloff * layer_.strength.x();
    // The projection's footprint: still the world size for the planar kinds,
    // 1 where its scales already turned the world size into image units.
    const double imageFootprint = (sample.uScale + sample.vScale) * 0.5 * sample.footprint;
    const double uv[2] = {sample.u, sample.v};

    if (channel == kChannelBump) {
        bump(a, sample, uv, imageFootprint, layer_.invert ? -amount : amount);
        return;
    }

    float rgba[4] = {0, 0, 0, 0};
    float value = 0;
    c->sampleImage(image, uv, imageFootprint, layer_.lodBlending.x(), layer_.channel, rgba, &value, mapping.uTiling,
                   mapping.vTiling);
    if (layer_.invert) value = 1 - value;
    const SimpleColourCorrection* cc = layer_.correction.get();
    const double corrected = cc ? cc->correctScalar(value) : value;
    const double d = amount;
    switch (channel) {
        case kChannelColour: {
            float rgb[3] = {rgba[0], rgba[1], rgba[2]};
            if (layer_.invert)
                for (float& x : rgb) x = 1 - x;
            if (cc) cc->correctColour(rgb);
            for (int k = 0; k < 3; ++k) a.color[k] = rgb[k] * d + (1 - d) * a.color[k];
            break;
        }
        case kChannelLuminosity: blend(a.luminous, corrected, d); break;
        case kChannelDiffuse: blend(a.diffuse, corrected, d); break;
        case kChannelSpecularity: blend(a.specular, corrected, d); break;
        case kChannelGlossiness: {
            // The exponent is formed in single precision, the power in double.
            const float exponent = 10.0f * static_cast<float>(corrected) + 2.0f;
            a.roughness = (1 - d) * a.roughness + d / std::pow(2.0, static_cast<double>(exponent));
            break;
        }
        case kChannelReflection: blend(a.mirror, corrected, d); break;
        case kChannelTransparency: blend(a.transparency, corrected, d); break;
        case kChannelRefraction: blend(a.eta, corrected, d); break;
        case kChannelTranslucency: blend(a.translucency, corrected, d); break;
        // Highlights take the image value without the correction group.
        case kChannelColourHighlights: blend(a.colorHL, value, d); break;
        case kChannelColourFiltering: blend(a.colorFL, corrected, d); break;
        case kChannelAdditiveTransparency: blend(a.addTransparency, corrected, d); break;
        case kChannelDiffuseSharpness: blend(a.difSharpness, corrected, d); break;
        default: break;
    }
}

void ShaderInstance::bump(LWShaderAccess& a, const ProjectionSample& s, const double uv[2], double footprint,
                          double d) const {
    const LayerMapping& mapping = layer_.mapping;
    float gu = 0, gv = 0;
    core()->sampleGradient(layer_.image(), uv, footprint, layer_.lodBlending.x(), layer_.channel, &gu, &gv,
                           mapping.uTiling, mapping.vTiling);
    double t[3];
    for (int i = 0; i < 3; ++i) t[i] = gu * d * s.uDirection[i] + gv * d * s.vDirection[i];
    // Into world space through the object's axes, t as a row vector.
    double n[3];
    for (int j = 0; j < 3; ++j) {
        const double w = t[0] * a.oXfrm[j] + t[1] * a.oXfrm[3 + j] + t[2] * a.oXfrm[6 + j];
        n[j] = a.wNorm0[j] - w;
    }
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    // A bump that cancels the normal (or overflows it) leaves no direction:
    // the spot keeps its unperturbed normal.
    if (!(length > 0) || !std::isfinite(length)) {
        for (int j = 0; j < 3; ++j) a.wNorm[j] = a.wNorm0[j];
        return;
    }
    for (int j = 0; j < 3; ++j) a.wNorm[j] = n[j] / length;
}

}  // namespace korvalith
