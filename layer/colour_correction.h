// Brightness, contrast, hue, saturation, gamma and invert of a layer's
// values, as animated parameters in their own channel group.
#pragma once

#include <atomic>

#include "anim_param.h"
#include "colour_settings.h"

namespace korvalith {

class SimpleColourCorrection final : public ColourSettings {
public:
    SimpleColourCorrection() = default;
    ~SimpleColourCorrection() override { destroy(); }

    // Creates the group "SimpleColourCorrection" under parent and its parameters.
    void make(LWChanGroupID parent);
    void destroy();

    void updateCorrection(double time);
    void correctColour(float rgb[3]) const override;
    float correctScalar(float x) const override;
    // The "Default" button: neutral settings, invert left alone.
    void resetCorrection();
    void copyFrom(const SimpleColourCorrection& other);
    // Panel values of 0x9147 … 0x914C; null for other ids.
    void* panelGet(unsigned int id);
    void markChanged() { changed_.store(true, std::memory_order_relaxed); }

    bool changed() const override { return changed_.load(std::memory_order_relaxed); }
    void clearChanged() override { changed_.store(false, std::memory_order_relaxed); }

    LWError load(const LWLoadState* state);
    LWError save(const LWSaveState* state) const;

    AnimParam brightness, contrast, hue, saturation, gamma;
    bool invert = false;
    bool gammaActive = false;
    bool adjustActive = false;
    float inverseGamma = 1.0f;

private:
    std::atomic<bool> changed_{true};
    LWChanGroupID group_ = nullptr;
    int invertSlot_ = 0;
};

// HSV (hue in radians) to RGB, single precision.
void hsvToRgb(float h, float s, float v, float rgb[3]);

}  // namespace korvalith
