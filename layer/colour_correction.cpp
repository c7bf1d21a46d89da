#include "colour_correction.h"

#include <algorithm>
#include <cmath>

#include "host_channels.h"

namespace korvalith {

void SimpleColourCorrection::make(LWChanGroupID parent) {
    group_ = channels::createGroup(parent, "SimpleColourCorrection");
    brightness.make(kParamPercent, "Brightness", group_, 1.0);
    contrast.make(kParamPercent, "Contrast", group_, 1.0);
    hue.make(kParamAngle, "Hue", group_, 0.0);
    saturation.make(kParamPercent, "Saturation", group_, 1.0);
    gamma.make(kParamNumber, "Gamma", group_, 1.0);
}

void SimpleColourCorrection::destroy() {
    for (AnimParam* p : {&brightness, &contrast, &hue, &saturation, &gamma}) p->destroy();
    channels::destroyGroup(group_);
    group_ = nullptr;
}

void SimpleColourCorrection::updateCorrection(double time) {
    for (AnimParam* p : {&brightness, &contrast, &hue, &saturation, &gamma}) p->evaluate(time);
    markChanged();
    adjustActive = !(brightness.x() == 1 && contrast.x() == 1 && hue.x() == 0 && saturation.x() == 1);
    gammaActive = gamma.x() != 1;
    inverseGamma = 1.0f / static_cast<float>(gamma.x());
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

void SimpleColourCorrection::correctColour(float rgb[3]) const {
    float r = rgb[0], g = rgb[1], b = rgb[2];
    if (adjustActive) {
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
        const float h2 = h + static_cast<float>(hue.x());
        const float s2 = s * static_cast<float>(saturation.x());
        const float v2 = (static_cast<float>(brightness.x()) * mx - 0.5f) * static_cast<float>(contrast.x()) + 0.5f;
        float out[3];
        hsvToRgb(h2, s2, v2, out);
        r = out[0], g = out[1], b = out[2];
    }
    if (gammaActive) {
        r = std::pow(r, inverseGamma);
        g = std::pow(g, inverseGamma);
        b = std::pow(b, inverseGamma);
    }
    if (invert) {
        r = 1 - r;
        g = 1 - g;
        b = 1 - b;
    }
    rgb[0] = r, rgb[1] = g, rgb[2] = b;
}

float SimpleColourCorrection::correctScalar(float x) const {
    if (adjustActive) x = (static_cast<float>(brightness.x()) * x - 0.5f) * static_cast<float>(contrast.x()) + 0.5f;
    if (gammaActive) x = std::pow(x, inverseGamma);
    if (invert) x = 1 - x;
    return x;
}

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
