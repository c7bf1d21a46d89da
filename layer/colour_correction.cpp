#include "colour_correction.h"

#include <algorithm>
#include <cmath>

#include "host_channels.h"

namespace korvalith {

void SimpleColourCorrection::make(LWChanGroupID parent) {
    group_ = channels::createGroup(parent, "SimpleColourCorrection");
    makeParameters(group_, kPluginName);
}

void SimpleColourCorrection::makeIn(LWChanGroupID group, const char* plugin) {
    group_ = nullptr;
    makeParameters(group, plugin);
}

void SimpleColourCorrection::makeParameters(LWChanGroupID group, const char* plugin) {
    brightness.make(kParamPercent, "Brightness", group, 1.0, plugin);
    contrast.make(kParamPercent, "Contrast", group, 1.0, plugin);
    hue.make(kParamAngle, "Hue", group, 0.0, plugin);
    saturation.make(kParamPercent, "Saturation", group, 1.0, plugin);
    gamma.make(kParamNumber, "Gamma", group, 1.0, plugin);
}

void SimpleColourCorrection::destroy() {
    for (AnimParam* p : {&brightness, &contrast, &hue, &saturation, &gamma}) p->destroy();
    channels::destroyGroup(group_);
    group_ = nullptr;
}

CorrectionValues CorrectionValues::from(double brightness, double contrast, double hue, double saturation,
                                        double gamma, bool invert) {
    CorrectionValues v;
    v.brightness = static_cast<float>(brightness);
    v.contrast = static_cast<float>(contrast);
    v.hue = static_cast<float>(hue);
    v.saturation = static_cast<float>(saturation);
    v.adjust = !(brightness == 1 && contrast == 1 && hue == 0 && saturation == 1);
    v.gammaActive = gamma != 1;
    v.inverseGamma = 1.0f / static_cast<float>(gamma);
    v.invert = invert;
    return v;
}

void SimpleColourCorrection::updateCorrection(double time) {
    for (AnimParam* p : {&brightness, &contrast, &hue, &saturation, &gamma}) p->evaluate(time);
    markChanged();
    const CorrectionValues v = CorrectionValues::from(brightness.x(), contrast.x(), hue.x(), saturation.x(),
                                                      gamma.x(), invert);
    adjustActive = v.adjust;
    gammaActive = v.gammaActive;
    inverseGamma = v.inverseGamma;
}

CorrectionValues SimpleColourCorrection::values() const {
    CorrectionValues v;
    v.brightness = static_cast<float>(brightness.x());
    v.contrast = static_cast<float>(contrast.x());
    v.hue = static_cast<float>(hue.x());
    v.saturation = static_cast<float>(saturation.x());
    v.inverseGamma = inverseGamma;
    v.adjust = adjustActive;
    v.gammaActive = gammaActive;
    v.invert = invert;
    return v;
}

void hsvToRgb(float h, float s, float v, float rgb[3]) {
    if (s == 0) {
        rgb[0] = rgb[1] = rgb[2] = v;
        return;
    }
    float hh = h * 0.95492965f;
    // Far-off hues are brought into range in one step before the loops, so
    // that a huge angle cannot keep them spinning.
    if (!(std::fabs(hh) < 1e6f)) hh = std::isfinite(hh) ? std::fmod(hh, 6.0f) : 0.0f;
    while (hh < 0) hh += 6;
    // A whole turn is sector 0 again: a hue a hair below 0 rounds up to 6.
    while (hh >= 6) hh -= 6;
    const int i = static_cast<int>(std::floor(hh));
    const float f = hh - static_cast<float>(i);
    const float p = v * (1 - s);
    const float q = v * (1 - s * f);
    const float t = v * (1 - s * (1 - f));
    switch (i) {
        case 0: rgb[0] = v, rgb[1] = t, rgb[2] = p; break;
        case 1: rgb[0] = q, rgb[1] = v, rgb[2] = p; break;
        case 2: rgb[0] = p, rgb[1] = v, rgb[2] = t; break;
        case 3: rgb[0] = p, rgb[1] = q, rgb[2] = v; break;
        case 4: rgb[0] = t, rgb[1] = p, rgb[2] = v; break;
        default: rgb[0] = v, rgb[1] = p, rgb[2] = q; break;
    }
}

void correctColour(const CorrectionValues& values, float rgb[3]) {
    float r = rgb[0], g = rgb[1], b = rgb[2];
    if (values.adjust) {
        const float mx = std::max(r, std::max(g, b));
        const float mn = std::min(r, std::min(g, b));
        const float d = mx - mn;
        float h = 0, s = 0;
        if (mx != 0) {
            s = d / mx;
            if (d != 0) {
                if (r == mx) h = (g - b) / d;
                else if (g == mx) h = (b - r) / d + 2;
                else h = (r - g) / d + 4;
            }
            if (h < 0) h += 6;
            h *= 1.0471976f;
        }
        const float h2 = h + values.hue;
        const float s2 = s * values.saturation;
        const float v2 = (values.brightness * mx - 0.5f) * values.contrast + 0.5f;
        float out[3];
        hsvToRgb(h2, s2, v2, out);
        r = out[0], g = out[1], b = out[2];
    }
    if (values.gammaActive) {
        r = std::pow(r, values.inverseGamma);
        g = std::pow(g, values.inverseGamma);
        b = std::pow(b, values.inverseGamma);
    }
    if (values.invert) {
        r = 1 - r;
        g = 1 - g;
        b = 1 - b;
    }
    rgb[0] = r, rgb[1] = g, rgb[2] = b;
}

float correctScalar(const CorrectionValues& values, float x) {
    if (values.adjust) x = (values.brightness * x - 0.5f) * values.contrast + 0.5f;
    if (values.gammaActive) x = std::pow(x, values.inverseGamma);
    if (values.invert) x = 1 - x;
    return x;
}

void SimpleColourCorrection::correctColour(float rgb[3]) const { korvalith::correctColour(values(), rgb); }

float SimpleColourCorrection::correctScalar(float x) const { return korvalith::correctScalar(values(), x); }

void SimpleColourCorrection::resetCorrection() {
    brightness.reset(1, 1, 1);
    contrast.reset(1, 1, 1);
    saturation.reset(1, 1, 1);
    gamma.reset(1, 1, 1);
    hue.reset(0, 0, 0);
    markChanged();
}

void SimpleColourCorrection::copyFrom(const SimpleColourCorrection& other) {
    if (&other == this) return;
    brightness.copyFrom(other.brightness);
    contrast.copyFrom(other.contrast);
    hue.copyFrom(other.hue);
    saturation.copyFrom(other.saturation);
    gamma.copyFrom(other.gamma);
    invert = other.invert;
    adjustActive = other.adjustActive;
    gammaActive = other.gammaActive;
}

void* SimpleColourCorrection::panelGet(unsigned int id) {
    switch (id) {
        case 0x9147: return brightness.id();
        case 0x9148: return contrast.id();
        case 0x9149: return hue.id();
        case 0x914A: return saturation.id();
        case 0x914B: return gamma.id();
        case 0x914C: invertSlot_ = invert ? 1 : 0; return &invertSlot_;
        default: return nullptr;
    }
}

}  // namespace korvalith
